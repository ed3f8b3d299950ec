#include "present/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vx {

namespace {

struct ToolkitOption {
    std::string_view name;
    bool takesValue;
};

// Qt's options for every application, its widgets' and its X11 platform's.
constexpr std::array toolkitOptions{
    ToolkitOption{"platform", true},   ToolkitOption{"platformpluginpath", true},
    ToolkitOption{"platformtheme", true}, ToolkitOption{"plugin", true},
    ToolkitOption{"qwindowgeometry", true}, ToolkitOption{"qwindowicon", true},
    ToolkitOption{"qwindowtitle", true}, ToolkitOption{"session", true},
    ToolkitOption{"display", true},    ToolkitOption{"geometry", true},
    ToolkitOption{"name", true},       ToolkitOption{"style", true},
    ToolkitOption{"stylesheet", true}, ToolkitOption{"qmljsdebugger", true},
    ToolkitOption{"reverse", false},   ToolkitOption{"widgetcount", false},
    ToolkitOption{"sync", false},      ToolkitOption{"nograb", false},
    ToolkitOption{"dograb", false},    ToolkitOption{"testability", false},
};

} // namespace

const char *usageLine()
{
    return "vx-clackon [--help] [--version] [Qt options such as -platform NAME or -display NAME]";
}

CommandLine readCommandLine(int argc, const char *const *argv)
{
    CommandLine result;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg == "--help" || arg == "-h")
            return {CommandLine::Action::Help, {}};
        if (arg == "--version") {
            result.action = CommandLine::Action::Version;
            continue;
        }
        // The toolkit takes its options with one dash or two, and some as -name=value.
        std::string_view name = arg;
        if (name.starts_with("--"))
            name.remove_prefix(2);
        else if (name.starts_with("-") && name.size() > 1)
            name.remove_prefix(1);
        else
            return {CommandLine::Action::Misuse, "unexpected argument '" + std::string(arg) + "'"};
        const auto equals = name.find('=');
        const bool inlineValue = equals != std::string_view::npos;
        const std::string_view bare = name.substr(0, equals);
        const auto known = std::find_if(toolkitOptions.begin(), toolkitOptions.end(),
                                        [&](const ToolkitOption &o) { return o.name == bare; });
        if (known == toolkitOptions.end() || (inlineValue && !known->takesValue))
            return {CommandLine::Action::Misuse, "unknown option '" + std::string(arg) + "'"};
        if (known->takesValue && !inlineValue) {
            if (i + 1 >= argc)
                return {CommandLine::Action::Misuse, "option '" + std::string(arg) + "' needs a value"};
            ++i;
        }
    }
    return result;
}

} // namespace vx
