#include "data/schema.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace data {
namespace {

FieldDef C(const char* name, int width) {
    return {name, 'C', width, 0};
}
FieldDef D(const char* name) {
    return {name, 'D', 8, 0};
}
// Short numerics: width 4 holds every interval up to 9999 minutes.
FieldDef N4(const char* name) {
    return {name, 'N', 4, 0};
}
// FoxPro memo reference: 10 characters in the record.
FieldDef M(const char* name) {
    return {name, 'M', 10, 0};
}

std::vector<TagDef> Tags(std::initializer_list<const char*> names, const char* unique) {
    std::vector<TagDef> tags;
    for (const char* n : names)
        tags.push_back({n, n, unique != nullptr && std::string(unique) == n});
    return tags;
}

// ORGS.DBF and GROUPS.DBF share one layout; only the name field differs.
std::vector<FieldDef> TreeFields(const char* nameField) {
    return {C("UNIQUE_ID", 20), C(nameField, 40), C("LINK_ID", 20), N4("POSITION"),
            C("REF", 40),       C("KEY1", 20),    C("KEY2", 20),    C("KEY3", 20),
            C("KEY4", 20),      C("KEY5", 20),    C("STATUS", 3),   M("NOTES"),
            C("CREATEBY", 8),   C("OWNER", 8),    C("LASTUSER", 8), D("CREATEON")};
}

std::vector<FieldDef> MessageFields() {
    return {C("MESSAGE_ID", 40), C("LINK_ID", 20),  D("RECDATE"),      C("STATUS", 5),
            C("FROM", 40),       C("SUBJECT", 80),  C("FILENAME", 30), D("CREATEON"),
            C("CREATEAT", 6),    C("LASTUSER", 10), D("LASTDATE"),     C("LASTTIME", 6)};
}

std::vector<FieldDef> OutgoingFields() {
    return {C("UNIQUE_ID", 20), C("LINK_ID", 20),   D("DATE"),         C("STATUS", 5),
            C("TONAME", 40),    C("TOADDRESS", 50), C("SUBJECT", 80),  C("FILENAME", 30),
            D("CREATEON"),      C("CREATEAT", 6),   C("LASTUSER", 10), D("LASTDATE"),
            C("LASTTIME", 6)};
}

std::vector<TableDef> Build() {
    std::vector<TableDef> t;
    t.push_back({"ORGS.DBF", "", TreeFields("ORG"), {}});
    t.push_back({"GROUPS.DBF", "groups", TreeFields("GROUP"),
                 Tags({"UNIQUE_ID", "LINK_ID", "GROUP"}, "UNIQUE_ID")});
    t.push_back({"NODES.DBF",
                 "nodes",
                 {C("UNIQUE_ID", 20),  C("LINK_ID", 20),    C("NODE", 40),      N4("POSITION"),
                  C("REF", 40),        C("ADDRESS", 75),    C("LOGIN", 25),     C("PASSWORD", 25),
                  C("POPADDRESS", 50), C("SMTPADDRES", 50), C("KEY1", 20),      C("KEY2", 20),
                  C("KEY3", 20),       C("KEY4", 20),       C("KEY5", 20),      C("STATUS", 3),
                  M("NOTES"),          C("CREATEBY", 8),    C("OWNER", 8),      C("LASTUSER", 8),
                  D("LASTDATE"),       C("LASTTIME", 6),    D("NEXTDATE"),      C("NEXTTIME", 5),
                  C("FREQTYPE", 1),    N4("FREQVAL"),       C("LASTRESULT", 20)},
                 Tags({"UNIQUE_ID", "LINK_ID", "NODE"}, "UNIQUE_ID")});
    t.push_back({"Agents.dbf",
                 "Agents",
                 {C("UNIQUE_ID", 20), C("LINK_ID", 20), C("AGENT", 99), C("TYPE", 30),
                  D("CREATEON"), C("CREATEAT", 6), C("LASTUSER", 10), D("LASTDATE")},
                 Tags({"UNIQUE_ID", "LINK_ID", "AGENT"}, "UNIQUE_ID")});
    // Widths ours: keys as elsewhere, the action text as long as a character field goes.
    t.push_back({"ACTIONS.DBF",
                 "actions",
                 {C("UNIQUE_ID", 20), C("MESSAGE_ID", 40), C("NODE_ID", 20), C("AGENT_ID", 20),
                  C("ACTION", 254), D("CREATEON"), C("CREATEAT", 6)},
                 Tags({"MESSAGE_ID", "UNIQUE_ID", "AGENT_ID", "NODE_ID"}, nullptr)});
    // Widths ours: the editors allow 49 characters of name.
    t.push_back({"rules.dbf",
                 "rules",
                 {C("UNIQUE_ID", 20), C("LINK_ID", 20), C("RULE", 50), C("COND", 1),
                  C("CONDVAL1", 50), C("CONDVAL2", 100), C("ACT1", 1), C("ACT2", 1)},
                 Tags({"UNIQUE_ID", "LINK_ID", "RULE"}, "UNIQUE_ID")});
    t.push_back({"RECEIVED.DBF", "received", MessageFields(),
                 Tags({"MESSAGE_ID", "LINK_ID", "FROM"}, "MESSAGE_ID")});
    t.push_back({"PENDING.DBF", "pending", MessageFields(),
                 Tags({"MESSAGE_ID", "LINK_ID", "FROM"}, "MESSAGE_ID")});
    t.push_back({"sent.dbf", "Sent", OutgoingFields(),
                 Tags({"UNIQUE_ID", "LINK_ID", "SUBJECT", "TONAME"}, "UNIQUE_ID")});
    t.push_back({"outbox.dbf", "OutBox", OutgoingFields(),
                 Tags({"UNIQUE_ID", "LINK_ID", "SUBJECT", "TONAME"}, "UNIQUE_ID")});
    return t;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

bool TableDef::HasMemo() const {
    for (const FieldDef& f : fields)
        if (f.type == 'M')
            return true;
    return false;
}

const FieldDef* TableDef::Field(const std::string& name) const {
    for (const FieldDef& f : fields)
        if (SameName(f.name, name))
            return &f;
    return nullptr;
}

int TableDef::RecordSize() const {
    int size = 1;
    for (const FieldDef& f : fields)
        size += f.width;
    return size;
}

const std::vector<TableDef>& Tables() {
    static const std::vector<TableDef> tables = Build();
    return tables;
}

const TableDef* FindTable(const std::string& fileName) {
    std::string base = fileName;
    std::size_t sep = base.find_last_of("/\\:");
    if (sep != std::string::npos)
        base.erase(0, sep + 1);
    for (const TableDef& t : Tables())
        if (SameName(t.fileName, base))
            return &t;
    return nullptr;
}

std::string UniqueId(win::TDateTime moment, const std::string& source, std::size_t suffixLength) {
    const win::DateParts p = win::DecodeDateTime(moment);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", p.year % 10000, p.month, p.day,
                  p.hour, p.minute, p.second);
    return buf + source.substr(0, suffixLength);
}

std::string StoredMessageKey(const std::string& key) {
    if (key.size() <= kMessageKeyWidth)
        return key;
    // FNV-1a over the whole key.
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : key)
        hash = (hash ^ c) * 1099511628211ull;
    char digest[24];
    std::snprintf(digest, sizeof digest, "#%016llx", static_cast<unsigned long long>(hash));
    return key.substr(0, kMessageKeyWidth - 17) + digest;
}

std::string CutMessageKey(const std::string& key) {
    return key.substr(0, kMessageKeyWidth);
}

std::string TimeOfDayText(win::TDateTime moment) {
    const win::DateParts p = win::DecodeDateTime(moment);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d", p.hour, p.minute);
    return buf;
}

} // namespace data
