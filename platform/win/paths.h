#pragma once
// Folders and path building. Paths from settings and tables may use "\" or
// "/"; every existing component is found without regard to case, so a path
// written for a case-insensitive file system still reaches its file here.
#include <string>

namespace win {

// $QUELTA_WINDIR, else $XDG_CONFIG_HOME/quelta, else ~/.config/quelta; with
// a trailing "/". Created on first use.
[[nodiscard]] std::string WindowsDirectory();
// Folder of the running executable, with a trailing "/".
[[nodiscard]] std::string ProgramFolder();

// Turns "\" into "/" and resolves each existing component without regard
// to case; components that do not exist stay as written.
[[nodiscard]] std::string ResolvePath(const std::string& path);

[[nodiscard]] bool FileExists(const std::string& path);
[[nodiscard]] bool DirectoryExists(const std::string& path);
// Creates the folder and its parents; true when it exists afterwards.
bool ForceDirectories(const std::string& path);

[[nodiscard]] std::string IncludeTrailingPathDelimiter(const std::string& path);
// The parts after and before the last "\" or "/" (the path keeps its separator).
[[nodiscard]] std::string ExtractFileName(const std::string& path);
[[nodiscard]] std::string ExtractFilePath(const std::string& path);
// ".ext" including the dot, or "" when the name has none.
[[nodiscard]] std::string ExtractFileExt(const std::string& path);
[[nodiscard]] std::string ChangeFileExt(const std::string& path, const std::string& ext);

} // namespace win
