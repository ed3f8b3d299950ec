#pragma once

#include <string>

namespace vx {

// What the command line asks of the program, read before any window exists.
struct CommandLine {
    enum class Action { Play, Help, Version, Misuse };
    Action action = Action::Play;
    // With Misuse: one line saying what is wrong.
    std::string problem;
};

// The game's own options (--help, -h, --version) and the toolkit's (-platform NAME, -display NAME,
// -style=NAME …, with one dash or two), which the toolkit reads itself; anything else is misuse.
CommandLine readCommandLine(int argc, const char *const *argv);

// The one-line synopsis, for --help and for a misuse.
const char *usageLine();

} // namespace vx
