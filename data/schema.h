#pragma once
// The ten shared tables: file names, fields in record order, index bags and
// tags. The installer creates the files from these definitions and the
// tests compare what the engine reports against them.
#include <string>
#include <vector>

#include "platform/win/datetime.h"

namespace data {

struct FieldDef {
    std::string name;
    char type = 'C'; // C character, D date, N numeric, M memo
    int width = 20;
    int decimals = 0;
};

struct TagDef {
    std::string name;
    std::string expression; // the bare field of the same name
    bool unique = false;
};

struct TableDef {
    std::string fileName; // as the installer spells it
    std::string bagName;  // compound index base name; "" when the table has no tags
    std::vector<FieldDef> fields;
    std::vector<TagDef> tags; // in build order

    [[nodiscard]] bool HasMemo() const;
    [[nodiscard]] const FieldDef* Field(const std::string& name) const;
    // Sum of the widths plus the deletion flag.
    [[nodiscard]] int RecordSize() const;
};

// All ten tables, organisations first.
[[nodiscard]] const std::vector<TableDef>& Tables();
// The definition for a file name in any case, with or without folder; nullptr when unknown.
[[nodiscard]] const TableDef* FindTable(const std::string& fileName);

// The organisation row that the installer writes: the configuration manager
// hangs every group on the first organisation row. Its key is made like
// the other tables' keys, from the moment of installation and its name.
inline constexpr const char* kDefaultOrgName = "Quelta";

// Row keys: the moment formatted "yyyymmddhhmmss" followed by the first
// suffixLength characters of source (fewer when source is shorter).
[[nodiscard]] std::string UniqueId(win::TDateTime moment, const std::string& source,
                                   std::size_t suffixLength);
// Suffix lengths the writers use.
inline constexpr std::size_t kGroupSuffix = 2;
inline constexpr std::size_t kAgentSuffix = 6;
inline constexpr std::size_t kRuleSuffix = 6;
inline constexpr std::size_t kActionSuffix = 6;

// Width of the MESSAGE_ID fields. A key that fits is stored as it is. A
// longer one is stored as its first characters, "#" and a digest of the
// whole key (16 hexadecimal digits), so two long keys that differ anywhere
// are told apart within the field.
inline constexpr std::size_t kMessageKeyWidth = 40;
[[nodiscard]] std::string StoredMessageKey(const std::string& key);
// What rows written before the digest hold for a longer key: its first 40
// characters, which other keys may share.
[[nodiscard]] std::string CutMessageKey(const std::string& key);

// "hh:mm" of the time-of-day fields.
[[nodiscard]] std::string TimeOfDayText(win::TDateTime moment);

} // namespace data
