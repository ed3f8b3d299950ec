#include "present/CommandLine.h"
#include "present/StartupGuard.h"

#include <gtest/gtest.h>

#include <vector>

namespace vx::test {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, TheGamesOwnAndTheToolkitsOptionsAreTakenAnythingElseIsMisuse)
{
    struct Case {
        std::vector<const char *> args;
        Action action;
        const char *problem;
    };
    const std::vector<Case> cases = {
        {{}, Action::Play, ""},
        {{"--help"}, Action::Help, ""},
        {{"-h"}, Action::Help, ""},
        {{"--version"}, Action::Version, ""},
        {{"--version", "--help"}, Action::Help, ""},
        {{"-platform", "xcb"}, Action::Play, ""},
        {{"--platform", "offscreen", "-display", ":1"}, Action::Play, ""},
        {{"-style=fusion", "-reverse", "-qwindowtitle", "x"}, Action::Play, ""},
        {{"-platform", "--help"}, Action::Play, ""}, // a value is a value, whatever it looks like
        {{"--bogus"}, Action::Misuse, "unknown option '--bogus'"},
        {{"-x"}, Action::Misuse, "unknown option '-x'"},
        {{"-reverse=yes"}, Action::Misuse, "unknown option '-reverse=yes'"},
        {{"extra"}, Action::Misuse, "unexpected argument 'extra'"},
        {{"-"}, Action::Misuse, "unexpected argument '-'"},
        {{"-platform"}, Action::Misuse, "option '-platform' needs a value"},
        {{"--version", "--nope"}, Action::Misuse, "unknown option '--nope'"},
    };
    for (const Case &c : cases) {
        std::vector<const char *> argv{"vx-clackon"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CommandLine got = readCommandLine(static_cast<int>(argv.size()), argv.data());
        std::string shown;
        for (const char *a : c.args)
            shown += std::string(a) + ' ';
        EXPECT_EQ(got.action, c.action) << shown;
        EXPECT_EQ(got.problem, c.problem) << shown;
    }
}

TEST(StartupGuard, NamesTheProblemInOneLineWithoutTheAdviceToReinstall)
{
    struct Case {
        std::vector<QString> messages;
        const char *names;
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("could not connect to display "),
          QStringLiteral("Could not load the Qt platform plugin \"xcb\" in \"\" even though it was found.")},
         "could not connect to display (DISPLAY is not set)"},
        {{QStringLiteral("could not connect to display :77")}, "could not connect to display :77;"},
        {{QStringLiteral("Could not find the Qt platform plugin \"foo\" in \"\"")}, "could not find the Qt platform plugin \"foo\";"},
        {{}, "no window system could be reached"},
    };
    for (const Case &c : cases) {
        const QString line = StartupGuard::problemLine(c.messages);
        EXPECT_TRUE(line.startsWith(QStringLiteral("vx-clackon: "))) << line.toStdString();
        EXPECT_TRUE(line.contains(QString::fromUtf8(c.names))) << line.toStdString();
        EXPECT_FALSE(line.contains(QLatin1Char('\n')));
        EXPECT_FALSE(line.contains(QStringLiteral("einstall")));
    }
}

} // namespace
} // namespace vx::test
