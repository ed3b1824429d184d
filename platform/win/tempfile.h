#pragma once
#include <string>

namespace win {

// $TMPDIR, else /tmp, with a trailing "/".
[[nodiscard]] std::string GetTempPath();
// Creates a new, empty file of mode 0600 named <dir><prefix><unique>.tmp
// and returns its path; throws std::runtime_error when that fails.
[[nodiscard]] std::string CreateTempFile(const std::string& dir, const std::string& prefix);

} // namespace win
