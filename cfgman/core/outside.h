#pragma once
// The outside programs the configuration manager starts and never waits
// for: the script editor from its own folder, and the desktop's viewer for
// the log files, the help page and the maker's web pages. Every start goes
// through one launcher, from an argument list (never a shell), so tests
// record the starts.
#include <functional>
#include <string>
#include <vector>

namespace cfgman {

using TLauncher = std::function<bool(const std::vector<std::string>& argv)>;
// nullptr (or {}) puts the real launcher back.
void SetLauncher(TLauncher launcher);
bool Launch(const std::vector<std::string>& argv);

// The desktop's default program for a file or a web address.
inline constexpr const char* kViewer = "xdg-open";
bool OpenDocument(const std::string& pathOrAddress);

// The script editor "qide" of the program folder; empty when it is missing.
[[nodiscard]] std::string ScriptEditor(const std::string& programFolder);

// The help page beside the program, at its welcome topic.
inline constexpr const char* kHelpFile = "QUELTAM.html";
[[nodiscard]] std::string HelpAddress(const std::string& programFolder);

// The maker's web pages.
inline constexpr const char* kMakerSite = "https://www.dovira.example";
[[nodiscard]] std::string MakerPage(const std::string& path);

} // namespace cfgman
