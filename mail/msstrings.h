#pragma once
// The string table: fixed identifiers and their texts. The mail, MIME and
// news texts (57100-57118) live here; other components add their ranges
// with AddStringTable so every text is found by one LoadStr.
#include <span>
#include <string>

enum : int {
    SSenderRequired = 57100,
    SRecipientRequired = 57101,
    SMailMessageNotAssigned = 57102,
    SUserNameRequired = 57103,
    SPasswordRequired = 57104,
    SIDsAreDifferent = 57105,
    SMultipartPreamble = 57106,
    SNoClosingBoundary = 57109,
    SNoBoundary = 57110,
    SAttachmentDecodeError = 57111,
    SNewsgroupRequired = 57115,
    SSubjectRequired = 57116,
};

struct StringEntry {
    int id;
    const char* text;
};

// The text of an entry; empty when no table holds the id.
[[nodiscard]] std::string LoadStr(int id);
// True when some table holds the id.
[[nodiscard]] bool HasStr(int id);
// Adds a table (kept by reference: pass static storage). Later tables do
// not replace ids an earlier one holds.
void AddStringTable(std::span<const StringEntry> table);
