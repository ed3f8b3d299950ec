# shellcheck shell=bash disable=SC2034 # the scripts that source this read its variables
# Shared by the end-to-end scripts: a private X server, the game process, polling waits,
# screen probes and the PASS/FAIL tally. Sourced, not run.
#
# Every wait polls a condition until it holds or VX_E2E_TIMEOUT seconds pass, so a slow or
# loaded machine only makes the run longer, never wrong.

: "${VX_E2E_TIMEOUT:=60}"

passed=0
failed=0
skipped=0
work=""
xvfb_pid=""
wm_pid=""
game_pid=""
main_x=0 main_y=0 # the main window's client origin, set by the scripts
watchdog_pid=""
keep_work=${VX_E2E_KEEP:-0}

say() { printf '%s\n' "$*"; }
pass() { say "PASS: $*"; passed=$((passed + 1)); }
fail() { say "FAIL: $*"; failed=$((failed + 1)); keep_work=1; }
skip() { say "SKIP: $*"; skipped=$((skipped + 1)); }

# check DESCRIPTION COMMAND... : PASS when the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# expect_eq DESCRIPTION EXPECTED ACTUAL
expect_eq() {
    if [[ $2 == "$3" ]]; then
        pass "$1"
    else
        fail "$1: expected '$2', got '$3'"
    fi
}

finish() {
    if ((skipped > 0)); then
        say "$passed passed, $failed failed, $skipped skipped"
    else
        say "$passed passed, $failed failed"
    fi
    ((failed == 0))
}

need_tools() {
    local t missing=()
    for t in "$@"; do
        command -v "$t" >/dev/null 2>&1 || missing+=("$t")
    done
    if ((${#missing[@]} > 0)); then
        fail "tools missing: ${missing[*]} (scripts/install-deps installs them)"
        finish
        exit 1
    fi
}

make_work() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/vx-e2e.XXXXXX")
    mkdir -p "$work/home" "$work/shots"
    mkdir -m 700 "$work/runtime"
}

alive() {
    local state
    [[ -n $1 && -r /proc/$1/stat ]] || return 1
    state=$(sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n $state && ${state:0:1} != Z ]]
}

stop_pid() {
    local pid=$1 i
    alive "$pid" || return 0
    kill "$pid" 2>/dev/null
    for ((i = 0; i < 50; i++)); do
        alive "$pid" || return 0
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
}

cleanup() {
    local rc=$?
    [[ -n $watchdog_pid ]] && kill -9 "$watchdog_pid" 2>/dev/null
    stop_pid "$game_pid"
    stop_pid "$wm_pid"
    stop_pid "$xvfb_pid"
    # Whatever else a script started and noted in a pid file (sound servers, recorders).
    local f
    if [[ -n $work ]]; then
        for f in "$work"/*.pid; do
            [[ -r $f ]] && stop_pid "$(cat "$f")"
        done
    fi
    if [[ -n $work && -d $work ]]; then
        if ((keep_work)); then
            say "kept for inspection: $work"
        else
            rm -rf "$work"
        fi
    fi
    exit "$rc"
}

install_traps() {
    trap cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
}

# A watchdog outlives a SIGKILL of this script (a test runner's timeout) and takes the
# X server and the game with it.
start_watchdog() {
    local me=$$
    (
        trap '' INT HUP
        while kill -0 "$me" 2>/dev/null; do sleep 1; done
        for f in "$work"/*.pid; do
            [[ -r $f ]] && kill -9 "$(cat "$f")" 2>/dev/null
        done
        [[ -n $work ]] && rm -rf "$work"
    ) >/dev/null 2>&1 &
    watchdog_pid=$!
    disown "$watchdog_pid"
}

# Starts Xvfb on a display number it picks itself and exports DISPLAY.
start_x() {
    local i
    : >"$work/displayfd"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$work/displayfd" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    echo "$xvfb_pid" >"$work/xvfb.pid"
    for ((i = 0; i < VX_E2E_TIMEOUT * 10; i++)); do
        if [[ -s $work/displayfd ]] && grep -q '^[0-9][0-9]*$' "$work/displayfd"; then
            DISPLAY=":$(head -n1 "$work/displayfd")"
            export DISPLAY
            if xdotool getmouselocation >/dev/null 2>&1; then
                return 0
            fi
        fi
        alive "$xvfb_pid" || break
        sleep 0.1
    done
    fail "Xvfb did not start (log: $(tr '\n' ' ' <"$work/xvfb.log"))"
    return 1
}

# Starts openbox on the X server and waits until it manages windows.
start_wm() {
    mkdir -p "$work/wm-home"
    HOME="$work/wm-home" XDG_CONFIG_HOME="$work/wm-home/.config" openbox --sm-disable >"$work/wm.log" 2>&1 &
    wm_pid=$!
    echo "$wm_pid" >"$work/wm.pid"
    wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
    if wait_for "the window manager" wm_running; then
        return 0
    fi
    fail "openbox did not start (log: $(tr '\n' ' ' <"$work/wm.log"))"
    return 1
}

# The game's locale settings; a script may set others before start_game.
game_locale=(LC_ALL=C.UTF-8 LANG=C.UTF-8)

# start_game LOG AUDIOFILE CWD COMMAND... : the game's pid in game_pid.
# AUDIOFILE "-" leaves the sound to whatever server the environment names.
start_game() {
    local log=$1 audio=$2 cwd=$3
    shift 3
    (
        cd "$cwd" || exit 127
        unset WAYLAND_DISPLAY QT_QPA_PLATFORMTHEME SESSION_MANAGER LC_ALL LANG LANGUAGE
        unset LC_CTYPE LC_NUMERIC LC_TIME LC_COLLATE LC_MONETARY LC_MESSAGES
        if [[ $audio != - ]]; then
            export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$audio"
        fi
        exec env QT_QPA_PLATFORM=xcb "${game_locale[@]}" \
            XDG_RUNTIME_DIR="$work/runtime" \
            "$@"
    ) >"$log" 2>&1 &
    game_pid=$!
    echo "$game_pid" >"$work/game.pid"
}

# wait_exit SECONDS : the game's exit status in game_status; 1 when it is still running.
wait_exit() {
    local i
    game_status=""
    for ((i = 0; i < $1 * 10; i++)); do
        if ! alive "$game_pid"; then
            wait "$game_pid"
            game_status=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# wait_for DESCRIPTION COMMAND... : polls the command until it succeeds; false on timeout.
wait_for() {
    local what=$1 deadline=$((SECONDS + VX_E2E_TIMEOUT))
    shift
    while ((SECONDS < deadline)); do
        "$@" && return 0
        if [[ -n $game_pid ]] && ! alive "$game_pid"; then
            say "note: the game is gone while waiting for: $what"
            return 1
        fi
        sleep 0.2
    done
    say "note: timed out after ${VX_E2E_TIMEOUT}s waiting for: $what"
    return 1
}

# find_window NAME-REGEX : the id of the game's visible window with that title.
find_window() {
    timeout "$VX_E2E_TIMEOUT" xdotool search --all --sync --onlyvisible --pid "$game_pid" --name "$1" 2>/dev/null | head -n1
}

title_of() { xdotool getwindowname "$1" 2>/dev/null; }
title_is() { [[ $(title_of "$1") == "$2" ]]; }
# The design's caption, possibly with something appended by the toolkit: enough to move on.
title_starts() { [[ $(title_of "$1") == "$2"* ]]; }

# geometry ID : sets win_x win_y win_w win_h, the client area on the screen. (xdotool's own
# answer counts a window manager's frame twice.)
geometry() {
    local info
    info=$(xwininfo -id "$1" 2>/dev/null)
    win_x=$(sed -n 's/^ *Absolute upper-left X: *\(-\{0,1\}[0-9]*\)$/\1/p' <<<"$info")
    win_y=$(sed -n 's/^ *Absolute upper-left Y: *\(-\{0,1\}[0-9]*\)$/\1/p' <<<"$info")
    win_w=$(sed -n 's/^ *Width: *\([0-9]*\)$/\1/p' <<<"$info")
    win_h=$(sed -n 's/^ *Height: *\([0-9]*\)$/\1/p' <<<"$info")
    if [[ -z $win_x || -z $win_y || -z $win_w || -z $win_h ]]; then
        fail "window $1 has no geometry (gone?)"
        return 1
    fi
}

shot_seq=0
# shot NAME : a screenshot of the whole screen; its path in $shot_file.
shot() {
    shot_seq=$((shot_seq + 1))
    shot_file=$(printf '%s/shots/%03d-%s.png' "$work" "$shot_seq" "$1")
    import -window root "$shot_file" 2>/dev/null
}

# pixels FILE X Y W H : one line "x y r g b" per pixel, row by row.
pixels() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 rgb:- 2>/dev/null |
        od -An -v -tu1 -w3 |
        awk -v ox="$2" -v oy="$3" -v w="$4" '{ i = NR - 1; print ox + i % w, oy + int(i / w), $1, $2, $3 }'
}

# region_hash FILE X Y W H : identifies what a small area shows.
region_hash() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}

# count_pixels FILE X Y W H AWK-CONDITION-ON-r,g,b
count_pixels() {
    pixels "$1" "$2" "$3" "$4" "$5" | awk "{ r = \$3; g = \$4; b = \$5; if ($6) n++ } END { print n + 0 }"
}

# The status strip's "0000000 PTS" in its blue: the strips are up and play has begun.
# Needs main_x and main_y, the main window's client origin.
play_shown() {
    shot play || return 1
    local n
    n=$(count_pixels "$shot_file" "$main_x" $((main_y + 22)) 130 30 'b >= 200 && g >= 80 && g <= 180 && r <= 70')
    ((n >= 40))
}

# XTest input is handled in order, so the click lands where the pointer was just put.
click_at() { xdotool mousemove "$1" "$2" click 1; }

# ---------- the main window (its client area's origin in main_x, main_y) ----------

readonly START=(224 80 137 24)   # the start button
readonly TITLE=(9 0 60 14)       # the frame's red "Setting"

main_x=0 main_y=0

light() { count_pixels "$1" $((main_x + $2)) $((main_y + $3)) "$4" "$5" 'r >= 200 && g >= 200 && b >= 200'; }

settings_shown_in() {
    local f=$1 lit red
    lit=$(light "$f" "${START[@]}")
    red=$(count_pixels "$f" $((main_x + TITLE[0])) $((main_y + TITLE[1])) "${TITLE[2]}" "${TITLE[3]}" \
        'r >= 150 && g < 90 && b < 90')
    ((lit * 10 >= START[2] * START[3] * 6 && red >= 10))
}
settings_shown() { shot settings && settings_shown_in "$shot_file"; }
settings_gone() { shot settings-gone && ! settings_shown_in "$shot_file"; }

start_round() {
    click_at $((main_x + START[0] + START[2] / 2)) $((main_y + START[1] + START[3] / 2))
}

# ---------- the result window ----------

result_id=""
# read_report N : copies the result window's text into $work/report.txt once it holds N reports
# (or more: the comparison then shows the extra ones).
read_report() {
    local n=$1 rx ry deadline
    xdotool windowfocus --sync "$result_id" 2>/dev/null
    geometry "$result_id" || return 1
    rx=$win_x ry=$win_y
    geometry "$main_id" || return 1
    click_at $((rx + 60)) $((ry + 60))
    xdotool key --clearmodifiers ctrl+a
    xdotool key --clearmodifiers ctrl+c
    deadline=$((SECONDS + VX_E2E_TIMEOUT))
    while ((SECONDS < deadline)); do
        if timeout 10 xclip -o -selection clipboard >"$work/report.txt" 2>/dev/null &&
            (($(grep -c '^VX-Clackon! Result$' "$work/report.txt") >= n)); then
            return 0
        fi
        sleep 0.3
    done
    return 1
}

