#include "cfgman/core/outside.h"

#include "platform/win/osactions.h"
#include "platform/win/paths.h"

#include <unistd.h>

namespace cfgman {

namespace {

TLauncher& Hook() {
    static TLauncher hook;
    return hook;
}

} // namespace

void SetLauncher(TLauncher launcher) {
    Hook() = std::move(launcher);
}

bool Launch(const std::vector<std::string>& argv) {
    if (Hook())
        return Hook()(argv);
    return win::LaunchProgram(argv);
}

bool OpenDocument(const std::string& pathOrAddress) {
    return Launch({kViewer, pathOrAddress});
}

std::string ScriptEditor(const std::string& programFolder) {
    const std::string path = win::IncludeTrailingPathDelimiter(programFolder) + "qide";
    return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

std::string HelpAddress(const std::string& programFolder) {
    return "file://" + win::IncludeTrailingPathDelimiter(programFolder) + kHelpFile + "#Welcome";
}

std::string MakerPage(const std::string& path) {
    return std::string(kMakerSite) + path;
}

} // namespace cfgman
