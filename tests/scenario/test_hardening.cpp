// Whole games under the conditions a long-running desktop brings: the tick counter wrapping in the
// middle of a round, the sound output giving up, the player closing the result window or the
// main window at any moment, and keys arriving in every phase of the game.

#include "fake/FakePlatform.h"
#include "present/Module1.h"
#include "present/NumberFormat.h"
#include "present/Spinner.h"
#include "results/RoundEndSupport.h"
#include "results/frmResult.h"
#include "round/frmClackon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace vx::test {
namespace {

// ---- A game on its own fake machine ---------------------------------------------------------------

struct Game {
    explicit Game(std::uint32_t startTick = 1'000'000)
        : pf(startTick)
    {
        bannerBusy = false;
        form = std::make_unique<frmClackon>(pf);
        pf.target = form.get();
    }
    ~Game()
    {
        pf.onYield = nullptr;
        pf.randomOverride = nullptr;
        form.reset();
        screenForm = nullptr;
        bannerBusy = false;
    }
    Game(const Game &) = delete;
    Game &operator=(const Game &) = delete;

    void settings(int chars, int speed)
    {
        form->vsNt->setValue(110 - chars);
        form->vsnS->setValue(105 - speed);
    }
    // A click on the start button: the whole round runs inside the yield that delivers it.
    void clickStart()
    {
        pf.clickAt(pf.tickCount(), QStringLiteral("cmdStart"));
        pf.doEvents();
    }
    RoundState &rs() { return form->rs; }

    FakePlatform pf;
    std::unique_ptr<frmClackon> form;
};

bool isDigitCue(const QString &name)
{
    return name.size() == 5 && name[0].isDigit() && name.endsWith(QStringLiteral(".wav"));
}

// The banner a cue announces, or empty for the cues that announce none.
QString bannerOf(const QString &cue)
{
    if (cue == QStringLiteral("ready.wav"))
        return QStringLiteral("Ready?");
    if (cue == QStringLiteral("herewego.wav"))
        return QStringLiteral("Here We Go!");
    if (cue == QStringLiteral("cleared.wav") || cue == QStringLiteral("failure.wav"))
        return QStringLiteral("outcome");
    if (cue == QStringLiteral("total.wav"))
        return QStringLiteral("Total");
    if (cue == QStringLiteral("pts.wav"))
        return QStringLiteral("points");
    if (isDigitCue(cue))
        return QStringLiteral("digit");
    return {};
}

// Names the phase of the game at every yield: an intro banner, a round's banner, a redraw pass
// of play ("play"), a step of the re-entry sweep ("sweep"), or "idle".
class PhaseTracker {
public:
    explicit PhaseTracker(Game &g)
        : g_(g)
    {
        // Every redraw pass draws one random number for the gauge; a sweep step draws none.
        g_.pf.randomOverride = [this] {
            ++draws_;
            return std::uniform_real_distribution<double>(0.0, 1.0)(gen_);
        };
    }
    ~PhaseTracker() { g_.pf.randomOverride = nullptr; }
    PhaseTracker(const PhaseTracker &) = delete;
    PhaseTracker &operator=(const PhaseTracker &) = delete;

    // Runs first at every yield.
    void atYield()
    {
        const auto &requests = g_.pf.recorder().requests;
        QString announced;
        for (std::size_t i = seen_; i < requests.size(); ++i)
            if (!bannerOf(requests[i].name).isEmpty())
                announced = bannerOf(requests[i].name);
        seen_ = requests.size();
        // The intro's banners have no cue; a 500 ms nap without a yield separates them.
        const bool busy = bannerBusy;
        if (!announced.isEmpty()) {
            banner_ = announced;
            inRound_ = true;
        } else if (busy && !inRound_ && (!wasBusy_ || g_.pf.micros() - lastMicros_ > 400'000)) {
            static const QString intro[] = {QStringLiteral("Welcome to"), QStringLiteral("VX"), QStringLiteral("Clackon!")};
            banner_ = intro[std::min(introBanners_++, 2)];
        }
        wasBusy_ = busy;
        lastMicros_ = g_.pf.micros();
        if (busy)
            label_ = banner_;
        else if (g_.form->picTxt->isVisible())
            label_ = draws_ != lastDraws_ ? QStringLiteral("play") : QStringLiteral("sweep");
        else
            label_ = QStringLiteral("idle");
        lastDraws_ = draws_;
    }

    const QString &label() const { return label_; }

private:
    Game &g_;
    std::mt19937_64 gen_{99};
    int draws_ = 0;
    int lastDraws_ = 0;
    std::size_t seen_ = 0;
    QString banner_;
    QString label_ = QStringLiteral("idle");
    bool inRound_ = false;
    bool wasBusy_ = false;
    int introBanners_ = 0;
    std::uint64_t lastMicros_ = 0;
};

// The round record's standing rules; empty when they hold.
std::string brokenInvariant(const RoundState &rs)
{
    if (rs.hitCount != rs.perfectCount + rs.greatCount + rs.goodCount)
        return "hitCount is not the sum of the hit counts";
    if (rs.missTotal != rs.missCount)
        return "missTotal differs from missCount";
    if (rs.combo > rs.maxCombo)
        return "combo above maxCombo";
    if (rs.gauge > 20)
        return "gauge above 20";
    return {};
}

// The state a finished round leaves, whatever happened in it.
void expectRoundFinished(Game &g)
{
    const RoundState &rs = g.rs();
    EXPECT_EQ(brokenInvariant(rs), "");
    EXPECT_TRUE(rs.targetText.isEmpty());
    EXPECT_EQ(rs.gauge, 0);
    EXPECT_FALSE(rs.isPlaying);
    EXPECT_TRUE(g.form->frSetting->isVisible());
    EXPECT_TRUE(g.form->cmdStart->isVisible());
    EXPECT_EQ(g.form->windowTitle(), QStringLiteral("Total : ") + formatGrouped(rs.shownScore));
    ASSERT_FALSE(g.form->resultWindow.isNull());
    const QStringList lines = reportLines(newestReport(*g.form));
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("Total\t") + formatGrouped(rs.shownScore) + QStringLiteral("pts"));
}

// ---- The tick counter wrapping mid-round ---------------------------------------------------------

// A player who types the next character at set intervals, by the virtual clock (which never wraps),
// so the same keys come at the same moments whatever the tick counter reads.
class IntervalPlayer {
public:
    explicit IntervalPlayer(std::vector<int> delaysMs)
        : delays_(std::move(delaysMs))
    {
    }
    void atYield(Game &g)
    {
        if (!g.rs().isPlaying || bannerBusy || !g.form->picTxt->isVisible() || g.rs().targetText.isEmpty())
            return;
        if (last_ == 0)
            last_ = g.pf.micros();
        const int delay = delays_[std::min(next_, delays_.size() - 1)];
        if (g.pf.micros() - last_ < static_cast<std::uint64_t>(delay) * 1000)
            return;
        g.pf.typeAt(g.pf.tickCount(), g.rs().targetText.left(1));
        last_ = g.pf.micros();
        ++next_;
    }

private:
    std::vector<int> delays_;
    std::size_t next_ = 0;
    std::uint64_t last_ = 0;
};

// One moment of a game: a yield (with the phase and the whole visible state) or a sound request.
struct Moment {
    bool sound = false;
    QString label; // the phase at a yield, the file name of a request
    std::uint32_t tick = 0;
    std::string trace; // everything the player could tell, with ticks taken from the start
    int perfect = 0, great = 0, good = 0;
};

std::string hex(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a", v);
    return buf;
}

std::size_t imageHash(const QImage &image)
{
    return qHashBits(image.constBits(), static_cast<std::size_t>(image.sizeInBytes()));
}

struct GameRecord {
    std::vector<Moment> moments;
    QString report;
    QString caption;
};

// Plays the intro and one round (12 characters at speed 10) with keys at the given intervals,
// noting every yield and every cue with ticks counted from `startTick`.
GameRecord playTimed(std::uint32_t startTick)
{
    Game g(startTick);
    PhaseTracker phases(g);
    IntervalPlayer player({200, 700, 2300, 150, 150, 150, 150, 2500, 100});
    GameRecord rec;
    std::size_t requestsNoted = 0;
    const auto noteRequests = [&] {
        const auto &requests = g.pf.recorder().requests;
        for (; requestsNoted < requests.size(); ++requestsNoted) {
            const SoundRequest &r = requests[requestsNoted];
            Moment m;
            m.sound = true;
            m.label = r.name;
            m.tick = r.tick;
            m.trace = "cue " + r.name.toStdString() + " @" + std::to_string(r.tick - startTick) + (r.started ? "" : " failed");
            rec.moments.push_back(m);
        }
    };
    g.pf.onYield = [&] {
        phases.atYield();
        noteRequests();
        const RoundState &rs = g.rs();
        const std::uint32_t tick = g.pf.tickCount();
        std::ostringstream s;
        s << phases.label().toStdString() << " @" << (tick - startTick) << " x=" << hex(rs.textLeft) << " gauge=" << rs.gauge
          << " playing=" << rs.isPlaying << " P/G/G/M=" << rs.perfectCount << '/' << rs.greatCount << '/' << rs.goodCount
          << '/' << rs.missCount << " hits=" << rs.hitCount << " combo=" << rs.combo << '/' << rs.maxCombo
          << " score=" << hex(rs.score) << " shown=" << hex(rs.shownScore) << " judge=" << rs.judgeText.toStdString()
          << " fade=" << hex(rs.judgeFade) << " left=" << rs.targetText.toStdString() << " lastHit="
          << (rs.lastHitTick == 0 ? std::string("none") : std::to_string(static_cast<std::uint32_t>(rs.lastHitTick) - startTick))
          << " screen=" << imageHash(g.form->surface().image()) << " txt=" << imageHash(g.form->picTxt->surface().image())
          << " pts=" << imageHash(g.form->picPTS->surface().image());
        Moment m;
        m.label = phases.label();
        m.tick = tick;
        m.trace = s.str();
        m.perfect = rs.perfectCount;
        m.great = rs.greatCount;
        m.good = rs.goodCount;
        rec.moments.push_back(m);
        player.atYield(g);
    };
    g.form->Form_Load();
    g.settings(12, 10);
    g.clickStart();
    noteRequests();
    g.pf.onYield = nullptr;
    expectRoundFinished(g);
    rec.report = g.form->resultWindow ? g.form->resultWindow->text() : QString();
    rec.caption = g.form->windowTitle();
    return rec;
}

// Where the counter passes the boundary: the index of the last moment before it, or -1.
int crossingAfter(const std::vector<Moment> &moments, std::uint64_t boundary)
{
    for (std::size_t i = 1; i < moments.size(); ++i) {
        const std::uint32_t a = moments[i - 1].tick, b = moments[i].tick;
        const bool crossed = boundary == (std::uint64_t{1} << 32) ? b < a
                                                                  : static_cast<std::int32_t>(a) >= 0 && static_cast<std::int32_t>(b) < 0;
        if (crossed)
            return static_cast<int>(i - 1);
    }
    return -1;
}

// Indexes of the moments that match.
std::vector<std::size_t> where(const std::vector<Moment> &moments, const std::function<bool(const Moment &)> &match)
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < moments.size(); ++i)
        if (match(moments[i]))
            out.push_back(i);
    return out;
}

std::size_t middleOf(const std::vector<std::size_t> &v) { return v.empty() ? 0 : v[v.size() / 2]; }

bool isYield(const Moment &m, const char *label) { return !m.sound && m.label == QLatin1String(label); }

TEST(TickWrap, ARoundPlaysTheSameWhereverTheCounterWraps)
{
    constexpr std::uint32_t usualStart = 1'000'000;
    const GameRecord usual = playTimed(usualStart);
    ASSERT_FALSE(HasFailure());
    const auto &m = usual.moments;
    ASSERT_FALSE(m.empty());
    // The timed keys give every kind of hit, and the pause lets the line reach the edge once.
    const Moment &last = m.back();
    ASSERT_GE(last.perfect, 1);
    ASSERT_GE(last.great, 1);
    ASSERT_GE(last.good, 1);
    ASSERT_FALSE(where(m, [](const Moment &x) { return isYield(x, "sweep"); }).empty());
    ASSERT_TRUE(usual.report.contains(QStringLiteral("- CLEARED -")));

    const auto pis = where(m, [](const Moment &x) { return x.sound && x.label == QStringLiteral("pi.wav"); });
    ASSERT_GE(pis.size(), 3u);
    const auto playWhere = [&](const std::function<bool(const Moment &)> &also) {
        return middleOf(where(m, [&](const Moment &x) { return isYield(x, "play") && also(x); }));
    };

    struct Case {
        const char *phase;
        std::size_t before; // the counter passes the boundary after this moment, before the next
        std::uint32_t after = 7; // ms after it; never a reading of the counter, so no key is judged at tick 0
    };
    const std::vector<Case> cases = {
        {"an intro banner", middleOf(where(m, [](const Moment &x) { return isYield(x, "VX"); }))},
        {"the Ready? banner", middleOf(where(m, [](const Moment &x) { return isYield(x, "Ready?"); }))},
        {"the nap before Here We Go!", where(m, [](const Moment &x) { return isYield(x, "Ready?"); }).back()},
        {"play, before a key judged Good", playWhere([](const Moment &x) { return x.great == 1 && x.good == 0; })},
        {"play, between two keys judged Perfect", playWhere([](const Moment &x) { return x.good == 1 && x.perfect == 2; })},
        {"the re-entry sweep", middleOf(where(m, [](const Moment &x) { return isYield(x, "sweep"); }))},
        {"the outcome banner", middleOf(where(m, [](const Moment &x) { return isYield(x, "outcome"); }))},
        {"a count-up wait of the tally", pis[1]},
        {"the hold after the tally", pis.back(), 507},
        {"a digit banner", middleOf(where(m, [](const Moment &x) { return isYield(x, "digit"); }))},
        {"the points banner", middleOf(where(m, [](const Moment &x) { return isYield(x, "points"); }))},
    };
    for (const Case &c : cases) {
        for (const std::uint64_t boundary : {std::uint64_t{1} << 32, std::uint64_t{1} << 31}) {
            SCOPED_TRACE(::testing::Message() << c.phase << (boundary == (std::uint64_t{1} << 32) ? ", 2^32 wrap" : ", int32 sign flip"));
            const std::uint32_t rel = m[c.before].tick - usualStart;
            const auto start = static_cast<std::uint32_t>(boundary - rel - c.after);
            const GameRecord wrapped = playTimed(start);
            ASSERT_EQ(crossingAfter(wrapped.moments, boundary), static_cast<int>(c.before)) << m[c.before].trace;

            ASSERT_EQ(wrapped.moments.size(), m.size());
            for (std::size_t i = 0; i < m.size(); ++i)
                ASSERT_EQ(wrapped.moments[i].trace, m[i].trace) << "moment " << i;
            EXPECT_EQ(wrapped.report, usual.report);
            EXPECT_EQ(wrapped.caption, usual.caption);
        }
    }
}

// ---- A close request in every phase ----------------------------------------------------------------

// Where every yield of a lazy game falls: the intro, then ten characters at speed 5 that nobody types,
// so the line reaches the edge twice (one recovery and its sweep, then the failure).
struct Stop {
    QString label;
    std::uint32_t tick;
};
struct Timeline {
    std::vector<Stop> yields;
    std::vector<SoundRequest> cues;

    std::vector<std::uint32_t> ticksOf(const char *label) const
    {
        std::vector<std::uint32_t> out;
        for (const Stop &s : yields)
            if (s.label == QLatin1String(label))
                out.push_back(s.tick);
        return out;
    }
    std::uint32_t middle(const char *label) const
    {
        const auto t = ticksOf(label);
        return t.empty() ? 0 : t[t.size() / 2];
    }
    std::uint32_t lastOf(const char *label) const
    {
        const auto t = ticksOf(label);
        return t.empty() ? 0 : t.back();
    }
    std::uint32_t cueTick(const char *name, bool last = false) const
    {
        std::uint32_t at = 0;
        for (const SoundRequest &r : cues)
            if (r.name == QLatin1String(name)) {
                at = r.tick;
                if (!last)
                    break;
            }
        return at;
    }
};

void playLazyGame(Game &g)
{
    g.form->Form_Load();
    g.settings(10, 5);
    g.clickStart();
}

// The offscreen window system cannot raise a window and says so each time a report is published.
QtMessageHandler passedOn = nullptr;
void withoutRaiseNotice(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message != QStringLiteral("This plugin does not support raise()"))
        passedOn(type, context, message);
}

Timeline lazyTimeline()
{
    // A death test's child plays this game again before its own, and must stay silent.
    passedOn = qInstallMessageHandler(withoutRaiseNotice);
    struct Restore {
        ~Restore() { qInstallMessageHandler(passedOn); }
    } restore;
    Game g;
    PhaseTracker phases(g);
    Timeline t;
    g.pf.onYield = [&] {
        phases.atYield();
        t.yields.push_back({phases.label(), g.pf.tickCount()});
    };
    playLazyGame(g);
    t.cues = g.pf.recorder().requests;
    return t;
}

// Runs the lazy game with a close request at `at`; complains on stderr about anything that runs after it.
void closeDuring(std::uint32_t at, const QString &handledIn)
{
    Game g;
    PhaseTracker phases(g);
    bool closing = false;
    g.pf.onYield = [&] {
        phases.atYield();
        if (closing)
            std::fputs("the game yielded after the close\n", stderr);
    };
    g.pf.onAnswer = [&] {
        // The close handler answers the window system once; the round is dropped before it.
        if (closing && (!g.rs().targetText.isEmpty() || g.rs().isPlaying))
            std::fputs("round state kept across the close\n", stderr);
    };
    g.pf.recorder().clock = [&] {
        if (closing)
            std::fputs("a sound after the close\n", stderr);
        return g.pf.tickCount();
    };
    g.pf.callAt(at, [&] {
        if (phases.label() != handledIn)
            std::fprintf(stderr, "close handled in %s\n", qPrintable(phases.label()));
        closing = true;
    });
    g.pf.closeAt(at);
    playLazyGame(g);
    std::fputs("the game went on past the close\n", stderr);
}

// Where a death test's child writes its stdout, so the test can look at it: one file per test process.
std::string childStdoutPath(pid_t testProcess) { return "/tmp/vx-close-stdout-" + std::to_string(testProcess); }

class CloseRequest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Forking would inherit the painter's worker threads half-way; the child starts afresh instead.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // The child's start-up must be as quiet as the close: without this Qt warns about it on stderr.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            qputenv("XDG_RUNTIME_DIR", QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toLocal8Bit());
    }
};

TEST_F(CloseRequest, EndsTheProcessQuietlyInEveryPhase)
{
    const Timeline t = lazyTimeline();
    for (const char *phase : {"Welcome to", "VX", "Clackon!", "Ready?", "Here We Go!", "play", "sweep", "outcome", "Total",
                              "digit", "points"})
        ASSERT_FALSE(t.ticksOf(phase).empty()) << phase;
    ASSERT_GE(t.cueTick("pi.wav"), 1u);

    struct Case {
        const char *phase;
        std::uint32_t at;
        // The phase of the last yield before the request is handled: a wait answers it itself,
        // so a request made in one is handled before the next phase begins.
        const char *handledIn;
    };
    const std::vector<Case> cases = {
        {"the Welcome to banner", t.middle("Welcome to"), "Welcome to"},
        {"the nap after Welcome to", t.lastOf("Welcome to") + 250, "Welcome to"},
        {"the VX banner", t.middle("VX"), "VX"},
        {"the nap after VX", t.lastOf("VX") + 250, "VX"},
        {"the Clackon! banner", t.middle("Clackon!"), "Clackon!"},
        {"the Ready? banner", t.middle("Ready?"), "Ready?"},
        {"the nap after Ready?", t.lastOf("Ready?") + 1000, "Ready?"},
        {"the Here We Go! banner", t.middle("Here We Go!"), "Here We Go!"},
        {"play", t.middle("play"), "play"},
        {"the re-entry sweep", t.middle("sweep"), "sweep"},
        {"the outcome banner", t.middle("outcome"), "outcome"},
        {"the tally's count-up", t.cueTick("pi.wav") + 20, "outcome"},
        {"the hold after the tally", t.cueTick("pi.wav", true) + 500, "outcome"},
        {"the Total banner", t.middle("Total"), "Total"},
        {"the nap after Total", t.lastOf("Total") + 250, "Total"},
        {"a digit banner", t.middle("digit"), "digit"},
        {"the points banner", t.middle("points"), "points"},
    };

    const std::string outPath = childStdoutPath(getpid());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.phase);
        std::fclose(std::fopen(outPath.c_str(), "w"));
        EXPECT_EXIT(
            {
                // This runs in the child, which the test process started.
                const int out = open(childStdoutPath(getppid()).c_str(), O_WRONLY | O_APPEND);
                dup2(out, STDOUT_FILENO);
                // Unbuffered, so nothing written is lost when the process ends at once.
                std::setvbuf(stdout, nullptr, _IONBF, 0);
                closeDuring(c.at, QString::fromLatin1(c.handledIn));
            },
            ::testing::ExitedWithCode(0), "^$");
        std::ifstream written(outPath);
        const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "") << "the game wrote to stdout";
    }
    std::remove(outPath.c_str());
}

// ---- A key in every phase --------------------------------------------------------------------------

// Everything in the round record, and the caption, as one comparable text.
std::string recordOf(Game &g)
{
    const RoundState &rs = g.rs();
    std::ostringstream s;
    s << hex(rs.judgeX) << ' ' << hex(rs.judgeFade) << ' ' << rs.lastKey.toStdString() << ' ' << rs.perfectCount << ' '
      << rs.greatCount << ' ' << rs.goodCount << ' ' << rs.missCount << ' ' << rs.lastHitTick << ' ' << hex(rs.score)
      << ' ' << rs.judgeText.toStdString() << ' ' << rs.judgeColor << ' ' << rs.targetText.toStdString() << ' '
      << hex(rs.textLeft) << ' ' << rs.isPlaying << ' ' << rs.hitCount << ' ' << rs.missTotal << ' ' << rs.digitIndex
      << ' ' << rs.charCount << ' ' << rs.speedSetting << ' ' << rs.missFlag << ' ' << rs.gauge << ' ' << rs.combo << ' '
      << rs.maxCombo << ' ' << hex(rs.shownScore) << " | " << g.form->windowTitle().toStdString();
    return s.str();
}

// Where the window system sends a key: the focus widget of the main window, or the window itself.
QWidget *keyTarget(Game &g)
{
    QWidget *focus = QApplication::focusWidget();
    return focus && focus->window() == g.form.get() ? focus : g.form.get();
}

// A key as the window system delivers it, handled before this returns.
void pressNow(Game &g, const QString &text)
{
    QWidget *to = keyTarget(g);
    const int key = text.size() == 1 && text[0].isLetterOrNumber() ? text[0].toUpper().unicode() : 0;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &release);
}

// Counts the key presses that reach the main window.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(Game &g)
        : g_(g)
    {
        qApp->installEventFilter(this);
    }
    ~KeyCounter() override { qApp->removeEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && watched == keyTarget(g_))
            ++presses;
        return false;
    }

private:
    Game &g_;
};

TEST(KeysInEveryPhase, AreJudgedExactlyWhileJudgingIsOn)
{
    struct Case {
        const char *phase;
        bool judged; // whether judging is on there in this game (the line reaches the edge twice)
    };
    const std::vector<Case> cases = {
        {"Welcome to", false}, {"VX", false},      {"Clackon!", false}, {"Ready?", false}, {"Here We Go!", false},
        {"play", true},        {"sweep", true},    {"outcome", true},   {"Total", false},  {"digit", false},
        {"points", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.phase);
        Game g;
        PhaseTracker phases(g);
        int pressed = 0, judged = 0, ignored = 0;
        std::string broken;
        g.pf.onYield = [&] {
            phases.atYield();
            if (phases.label() != QLatin1String(c.phase))
                return;
            // The next character, a wrong one, one from outside the keyboard, the next in lower case.
            const QString next = g.rs().targetText.left(1);
            const QString wrong = next == QStringLiteral("Q") ? QStringLiteral("W") : QStringLiteral("Q");
            const QString keys[] = {next.isEmpty() ? QStringLiteral("A") : next, wrong, QStringLiteral("\U0001F600"),
                                    next.isEmpty() ? QStringLiteral("a") : next.toLower()};
            const QString k = keys[pressed++ % 4];
            const bool on = g.rs().isPlaying;
            const std::string before = recordOf(g);
            const RoundState was = g.rs();
            const std::size_t cues = g.pf.recorder().requests.size();
            pressNow(g, k);
            const RoundState &now = g.rs();
            if (!on) {
                ++ignored;
                EXPECT_EQ(recordOf(g), before) << "a key changed the record with judging off";
                EXPECT_EQ(g.pf.recorder().requests.size(), cues);
            } else {
                ++judged;
                const bool hit = now.hitCount == was.hitCount + 1;
                EXPECT_EQ(now.perfectCount + now.greatCount + now.goodCount + now.missCount,
                          was.perfectCount + was.greatCount + was.goodCount + was.missCount + 1);
                EXPECT_EQ(now.missTotal, was.missTotal + (hit ? 0 : 1));
                EXPECT_EQ(hit, !was.targetText.isEmpty() && k.toUpper() == was.targetText.left(1));
                EXPECT_EQ(now.lastKey, k.toUpper());
                ASSERT_EQ(g.pf.recorder().requests.size(), cues + 1);
                const QString cue = g.pf.recorder().requests.back().name;
                if (hit)
                    EXPECT_TRUE(cue == "perfect.wav" || cue == "great.wav" || cue == "good.wav") << cue.toStdString();
                else
                    EXPECT_EQ(cue, QStringLiteral("miss.wav"));
            }
            if (broken.empty())
                broken = brokenInvariant(now);
        };
        g.form->Form_Load();
        g.settings(10, 5);
        g.clickStart();
        g.pf.onYield = nullptr;
        EXPECT_GT(pressed, 0);
        EXPECT_EQ(judged + ignored, pressed);
        if (c.judged)
            EXPECT_GT(judged, 0);
        else
            EXPECT_EQ(judged, 0);
        EXPECT_EQ(broken, "");
        expectRoundFinished(g);
    }
}

TEST(KeysInEveryPhase, KeysDuringTheTallyWaitForTheTotalBannerAndAreIgnored)
{
    Game g;
    PhaseTracker phases(g);
    KeyCounter counter(g);
    bool outcomeSeen = false;
    bool queued = false;
    std::vector<std::string> atTotal;
    std::size_t cuesAtTotal = 0;
    g.pf.onYield = [&] {
        phases.atYield();
        outcomeSeen = outcomeSeen || phases.label() == QStringLiteral("outcome");
        if (phases.label() == QStringLiteral("Total") && atTotal.size() < 2) {
            atTotal.push_back(recordOf(g));
            cuesAtTotal = g.pf.recorder().requests.size();
        }
    };
    g.pf.recorder().clock = [&] {
        // The tally's first click: the keys wait in the queue, nothing yields until the next banner.
        if (outcomeSeen && !bannerBusy && !queued) {
            queued = true;
            g.pf.typeAt(g.pf.tickCount(), g.rs().targetText.left(1) + QStringLiteral("Qq"));
            g.pf.keyAt(g.pf.tickCount(), Qt::Key_Escape);
        }
        return g.pf.tickCount();
    };
    playLazyGame(g);
    g.pf.onYield = nullptr;
    ASSERT_TRUE(queued);
    EXPECT_EQ(counter.presses, 4) << "the keys reached the window";
    ASSERT_EQ(atTotal.size(), 2u);
    EXPECT_EQ(atTotal[1], atTotal[0]) << "a key changed the record during the Total banner";
    EXPECT_EQ(g.pf.recorder().requests[cuesAtTotal - 1].name, QStringLiteral("total.wav"));
    expectRoundFinished(g);
}

TEST(KeysInEveryPhase, KeysBetweenRoundsChangeNothing)
{
    Game g;
    playLazyGame(g);
    ASSERT_FALSE(HasFailure());
    const std::string before = recordOf(g);
    const std::size_t cues = g.pf.recorder().requests.size();
    const QString report = g.form->resultWindow->text();
    for (const QString &k : {QStringLiteral("A"), QStringLiteral("q"), QStringLiteral("\U0001F600"), QStringLiteral("1234")}) {
        g.pf.typeAt(g.pf.tickCount(), k);
        g.pf.doEvents();
    }
    EXPECT_EQ(recordOf(g), before);
    EXPECT_EQ(g.pf.recorder().requests.size(), cues);
    EXPECT_EQ(g.form->resultWindow->text(), report);
    EXPECT_TRUE(g.form->cmdStart->isVisible());
}

// ---- The sound output failing ----------------------------------------------------------------------

// Ten characters at speed 10, every key on time: 36,500 points, so ten banners a round.
std::vector<std::pair<QString, QString>> clearedRoundBanners()
{
    return {{"ready.wav", "Ready?"}, {"herewego.wav", "Here We Go!"}, {"cleared.wav", "CLEARED!"}, {"total.wav", "Total"},
            {"3.wav", "3"},          {"6.wav", "6"},                  {"5.wav", "5"},              {"0.wav", "0"},
            {"0.wav", "0"},          {"pts.wav", "36,500 pts."}};
}

class SoundFailure : public ::testing::Test {
protected:
    void SetUp() override
    {
        g = std::make_unique<Game>();
    }
    void TearDown() override
    {
        watch.reset();
        g.reset();
    }
    // Start-up, then the watch on every banner of the round.
    void startUp()
    {
        g->form->Form_Load();
        g->settings(10, 10);
        watch = std::make_unique<RoundWatch>(g->pf, *g->form);
        for (const auto &[cue, text] : clearedRoundBanners())
            watch->expectBanner(text);
        watch->forget();
    }
    void playRound()
    {
        watch->forget();
        const auto prompt = promptPlayer(g->pf, *g->form);
        watch->player = [this, prompt] {
            prompt();
            if (failNow && failNow())
                g->pf.recorder().allMissing = true;
        };
        watch->onCue = [this] {
            if (failNow && failNow())
                g->pf.recorder().allMissing = true;
        };
        g->clickStart();
        watch->player = nullptr;
        watch->onCue = nullptr;
    }
    // Each banner shows right after its own cue when that started, and after "gan.wav" when not.
    void expectImpactsInPlaceOfFailedCues(std::size_t failedFromBanner)
    {
        auto expected = clearedRoundBanners();
        for (std::size_t i = failedFromBanner; i < expected.size(); ++i)
            expected[i].first = QStringLiteral("gan.wav");
        EXPECT_EQ(watch->bannersWithCues(), expected);
        const auto &r = watch->requests();
        for (const std::size_t i : watch->indexesOf(QStringLiteral("gan.wav"))) {
            ASSERT_GE(i, 1u);
            EXPECT_FALSE(bannerOf(r[i - 1].name).isEmpty()) << "gan.wav follows " << r[i - 1].name.toStdString();
            EXPECT_FALSE(r[i - 1].started);
            // The impact comes as the entrance ends, while the banner runs.
            EXPECT_TRUE(watch->cues()[i].bannerRunning);
        }
        // The game went on: every key judged and sounded, the whole tally, the report.
        EXPECT_EQ(g->rs().perfectCount, 10);
        EXPECT_EQ(watch->indexesOf(QStringLiteral("perfect.wav")).size(), 10u);
        EXPECT_EQ(g->form->windowTitle(), QStringLiteral("Total : 36,500"));
        const QStringList lines = reportLines(newestReport(*g->form));
        ASSERT_GE(lines.size(), 14);
        EXPECT_EQ(lines[5], QStringLiteral("- CLEARED -"));
        EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("Total\t36,500pts"));
        expectRoundFinished(*g);
    }

    std::unique_ptr<Game> g;
    std::unique_ptr<RoundWatch> watch;
    std::function<bool()> failNow;
};

TEST_F(SoundFailure, BannersAfterTheOutputStopsPlayTheirImpactInstead)
{
    struct Case {
        const char *when;
        std::size_t firstSilentBanner; // of the ten
        std::function<bool(Game &)> failNow;
    };
    const auto count = [](Game &game, const char *name) { return game.pf.recorder().count(QString::fromLatin1(name)); };
    const std::vector<Case> cases = {
        {"during the Ready? banner", 1, [](Game &game) { return bannerBusy && game.pf.recorder().requests.size() >= 1; }},
        {"after five keys of play", 2, [](Game &game) { return game.rs().perfectCount >= 5; }},
        {"during the tally's count-up", 3, [count](Game &game) { return count(game, "pi.wav") >= 3; }},
        {"during the read-out", 6, [count](Game &game) { return bannerBusy && count(game, "6.wav") >= 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.when);
        TearDown();
        SetUp();
        startUp();
        failNow = [this, &c] { return c.failNow(*g); };
        playRound();
        expectImpactsInPlaceOfFailedCues(c.firstSilentBanner);
        // Once it stopped, nothing started again.
        const auto &r = watch->requests();
        const auto firstFailed = std::find_if(r.begin(), r.end(), [](const SoundRequest &x) { return !x.started; });
        ASSERT_NE(firstFailed, r.end());
        EXPECT_TRUE(std::none_of(firstFailed, r.end(), [](const SoundRequest &x) { return x.started; }));
    }
}

TEST_F(SoundFailure, AGameWithoutAnyWaveFileStillRuns)
{
    g->pf.recorder().allMissing = true;
    startUp();
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        playRound();
        expectImpactsInPlaceOfFailedCues(0);
    }
    EXPECT_EQ(g->form->resultWindow->text().count(QStringLiteral("VX-Clackon! Result")), 2);
}

TEST_F(SoundFailure, TheIntroPlaysItsImpactsWithoutAnyWaveFile)
{
    g->pf.recorder().allMissing = true;
    g->form->Form_Load();
    const auto &r = g->pf.recorder().requests;
    ASSERT_EQ(r.size(), 3u);
    for (const SoundRequest &x : r) {
        EXPECT_EQ(x.name, QStringLiteral("gan.wav"));
        EXPECT_FALSE(x.started);
    }
    EXPECT_TRUE(g->form->cmdStart->isVisible());
}

// ---- The result window closed by the player ---------------------------------------------------------

TEST(ResultWindowClosed, TheNextReportOpensANewWindowWithOnlyThatReport)
{
    enum class How { CloseAndDelete, WindowSystem };
    struct Case {
        const char *when;
        const char *phase; // of the second round; empty: between the rounds
        bool lastYield;    // at the phase's last yield instead of its first
        How how;
    };
    const std::vector<Case> cases = {
        {"between rounds", "", false, How::CloseAndDelete},
        {"between rounds, by the window system", "", false, How::WindowSystem},
        {"during the outcome banner", "outcome", false, How::CloseAndDelete},
        {"during the Total banner", "Total", false, How::CloseAndDelete},
        {"during a digit banner", "digit", false, How::CloseAndDelete},
        {"during the points banner", "points", false, How::CloseAndDelete},
        {"at the points banner's last pass", "points", true, How::CloseAndDelete},
        {"during the Total banner, by the window system", "Total", false, How::WindowSystem},
        {"at the points banner's last pass, by the window system", "points", true, How::WindowSystem},
    };
    const auto closeWindow = [](Game &g, How how) {
        ASSERT_FALSE(g.form->resultWindow.isNull());
        if (how == How::CloseAndDelete) {
            g.form->resultWindow->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_TRUE(g.form->resultWindow.isNull());
        } else {
            // The close button: the window system's request, handled in this yield's dispatch.
            ASSERT_NE(g.form->resultWindow->windowHandle(), nullptr);
            QCoreApplication::postEvent(g.form->resultWindow->windowHandle(), new QCloseEvent);
        }
    };
    // Plays round 1, then round 2 with `atYield` watching; the rounds are the same in every run.
    const auto play = [](Game &g, PhaseTracker &phases, const std::function<void(int)> &atYield,
                         const std::function<void()> &between) {
        int round = 0;
        int yield = 0;
        g.pf.onYield = [&] {
            phases.atYield();
            const auto prompt = promptPlayer(g.pf, *g.form);
            prompt();
            if (round == 2)
                atYield(++yield);
        };
        g.form->Form_Load();
        g.settings(10, 10);
        round = 1;
        g.clickStart();
        between();
        round = 2;
        g.clickStart();
        // Back in the event loop, where deferred deletions happen.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        g.pf.onYield = nullptr;
    };

    for (const Case &c : cases) {
        SCOPED_TRACE(c.when);
        const QString phase = QString::fromLatin1(c.phase);
        // Which yield of round 2 is the moment.
        int moment = 0;
        QString roundTwo;
        if (!phase.isEmpty()) {
            Game probe;
            PhaseTracker phases(probe);
            play(probe, phases, [&](int yield) {
                if (phases.label() == phase && (c.lastYield || moment == 0))
                    moment = yield;
            }, [] {});
            ASSERT_GT(moment, 0);
        }
        Game g;
        PhaseTracker phases(g);
        bool closed = false;
        play(g, phases, [&](int yield) {
            if (yield == moment && !closed) {
                closed = true;
                closeWindow(g, c.how);
            }
        }, [&] {
            if (phase.isEmpty()) {
                closed = true;
                closeWindow(g, c.how);
                QCoreApplication::processEvents();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                EXPECT_TRUE(g.form->resultWindow.isNull());
            }
        });
        ASSERT_TRUE(closed);
        ASSERT_FALSE(g.form->resultWindow.isNull()) << "the second round's report is lost";
        const QString text = g.form->resultWindow->text();
        EXPECT_EQ(text.count(QStringLiteral("VX-Clackon! Result")), 1) << text.toStdString();
        EXPECT_EQ(text, newestReport(*g.form));
        EXPECT_TRUE(text.endsWith(QStringLiteral("Total\t36,500pts\r\n\r\n")));
        EXPECT_TRUE(g.form->resultWindow->isVisible());
        expectRoundFinished(g);
    }
}

} // namespace
} // namespace vx::test
