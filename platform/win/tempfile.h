#pragma once
#include <string>

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

} // namespace win
