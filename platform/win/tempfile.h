#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace win {

// $TMPDIR, else /tmp, with a trailing "/".
[[nodiscard]] std::string GetTempPath();
// Creates a new, empty file of mode 0600 named <dir><prefix><pid>-<unique>.tmp
// and returns its path; throws std::runtime_error when that fails. The
// process id in the name tells whose file it is.
[[nodiscard]] std::string CreateTempFile(const std::string& dir, const std::string& prefix);
// Removes the files CreateTempFile made in dir with this prefix for
// processes that no longer run (a program killed while it held one), and
// only the current user's. Returns how many went.
int RemoveAbandonedTempFiles(const std::string& dir, const std::string& prefix);

// Removes the current user's files in folder ("" for the working folder;
// else with a trailing "/") whose names owner maps to a process that no
// longer runs (0 for a name that is not such a file). Returns how many went.
int RemoveFilesOfEndedProcesses(const std::string& folder,
                                const std::function<pid_t(std::string_view name)>& owner);
// A process id written in decimal (at most 9 digits), or 0.
[[nodiscard]] pid_t ProcessIdText(std::string_view digits);

} // namespace win
