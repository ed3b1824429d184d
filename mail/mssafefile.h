#pragma once
// Files written whole or not at all: the bytes go to a temporary name in
// the same folder, are flushed to the disk, and the file is renamed into
// place, so no reader (and no later step that trusts the file) ever sees a
// part of it. The temporary name is "<name>.~<pid>.part", which
// win::RemoveAbandonedParts recognises when a kill left it behind.
#include <iosfwd>
#include <string>
#include <string_view>

// Creates or replaces path. Raises EFCreateError when the file cannot be
// written whole; nothing is left behind then.
void WriteFileWhole(const std::string& path, std::string_view data);
// The same with the rest of a stream; one that fails to read writes nothing.
void WriteFileWhole(const std::string& path, std::istream& data);
