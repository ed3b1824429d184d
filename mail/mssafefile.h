#pragma once
// Files written whole or not at all: the bytes go to a temporary name in
// the same folder, are flushed to the disk, and the file is renamed into
// place, so no reader (and no later step that trusts the file) ever sees a
// part of it.
#include <string>
#include <string_view>

// Creates or replaces path. Raises EFCreateError when the file cannot be
// written whole; nothing is left behind then.
void WriteFileWhole(const std::string& path, std::string_view data);

// Removes the temporary files that writers killed in mid-write left in the
// folder: those of processes that no longer run. Returns how many went.
int RemoveAbandonedParts(const std::string& folder);
