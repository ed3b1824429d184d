#pragma once
// Files other programs read are replaced whole: the bytes go to a temporary
// name beside the file, which is then renamed into place, so a reader sees
// the old file or the new one, never a part. The temporary name is
// "<name>.~<pid>.part".
#include <string>
#include <string_view>

namespace win {

// Creates or replaces path; throws std::runtime_error when it cannot be
// written, leaving the old file as it was.
void WriteWholeFile(const std::string& path, std::string_view text);

// Writes all of text to fd, going on after interrupted and short writes;
// false on an error (errno says which; ENOSPC when nothing more was taken).
bool WriteAll(int fd, std::string_view text);

// Removes the temporary files ("<name>.~<pid>.part", "<name>.~<pid>.<n>.part")
// that writers killed in mid-write left in the folder: those of processes
// that no longer run. Returns how many went.
int RemoveAbandonedParts(const std::string& folder);

} // namespace win
