#pragma once
// Whether a message file is stored already in a session's Pending or In
// folder, without regard to case, without reading the folders again for
// every message: the folders are read once when the session starts; a name
// is then looked for exactly, and as every spelling the folders held.
#include <string>
#include <unordered_map>
#include <vector>

namespace retriever {

class TStoredNames {
public:
    // folders: resolved paths ending with a separator; a missing one holds nothing.
    void Load(const std::vector<std::string>& folders);
    // The path of folder + name, or of a spelling of name read at Load, that
    // is a file now; "" when there is none.
    [[nodiscard]] std::string Find(const std::string& folder, const std::string& name) const;
    [[nodiscard]] bool Contains(const std::string& folder, const std::string& name) const {
        return !Find(folder, name).empty();
    }

private:
    // Lower-case name -> the spellings read.
    std::unordered_map<std::string, std::vector<std::string>> spellings_;
};

} // namespace retriever
