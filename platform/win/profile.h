#pragma once
// Profile (INI) files with the Windows profile functions' semantics:
// sections and keys without regard to case, the first match wins, values
// are trimmed, unknown and comment lines are kept, and every write rewrites
// the file atomically (temp file and rename) so a reader never sees half.
#include <string>
#include <vector>

namespace win {

class TIniFile {
public:
    // A bare name (no separator) lives in the Windows directory, as the
    // profile functions place it.
    explicit TIniFile(const std::string& fileName);

    [[nodiscard]] const std::string& FileName() const { return path_; }

    [[nodiscard]] std::string ReadString(const std::string& section, const std::string& key,
                                         const std::string& def) const;
    // A whole decimal number (or hex with "0x" or "$"); anything else yields def.
    [[nodiscard]] long ReadInteger(const std::string& section, const std::string& key,
                                   long def) const;
    // An integer: 0 is false, any other value true; "true"/"false", "yes"/"no"
    // and "on"/"off" are read too; anything else yields def.
    [[nodiscard]] bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Throws std::runtime_error when the file cannot be written.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, long value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    [[nodiscard]] bool SectionExists(const std::string& section) const;
    [[nodiscard]] bool ValueExists(const std::string& section, const std::string& key) const;
    // Key names of a section in file order (first spelling of each).
    [[nodiscard]] std::vector<std::string> ReadSection(const std::string& section) const;
    [[nodiscard]] std::vector<std::string> ReadSections() const;
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);

private:
    std::string path_;
};

// Case-insensitive (ASCII) equality, as the profile functions compare names.
[[nodiscard]] bool SameText(const std::string& a, const std::string& b);

} // namespace win
