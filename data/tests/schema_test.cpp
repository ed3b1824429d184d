// The ten tables as code, and the installer's files as outside readers see
// them, held against the tables' listed layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "data/schema.h"
#include "data/tests/testutil.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"

namespace data {
namespace {

TEST(Schema, DefinitionsHoldTogether) {
    ASSERT_EQ(Tables().size(), 10u);
    std::set<std::string> files;
    for (const TableDef& t : Tables()) {
        SCOPED_TRACE(t.fileName);
        files.insert(t.fileName);
        std::set<std::string> names;
        for (const FieldDef& f : t.fields) {
            EXPECT_LE(f.name.size(), 10u) << f.name;
            EXPECT_TRUE(names.insert(f.name).second) << "duplicate " << f.name;
            EXPECT_GE(f.width, 1);
            EXPECT_LE(f.width, 254);
        }
        // Every tag is the bare field of its name; at most the first is unique.
        for (std::size_t i = 0; i < t.tags.size(); ++i) {
            EXPECT_EQ(t.tags[i].expression, t.tags[i].name);
            EXPECT_NE(t.Field(t.tags[i].name), nullptr) << t.tags[i].name;
            if (i > 0) {
                EXPECT_FALSE(t.tags[i].unique);
            }
        }
        EXPECT_EQ(t.tags.empty(), t.bagName.empty());
        if (!t.bagName.empty()) {
            // The bag is the table's own compound index.
            std::string stem = t.fileName.substr(0, t.fileName.find('.'));
            std::transform(stem.begin(), stem.end(), stem.begin(), ::tolower);
            std::string bag = t.bagName;
            std::transform(bag.begin(), bag.end(), bag.begin(), ::tolower);
            EXPECT_EQ(stem, bag);
        }
    }
    EXPECT_EQ(files.size(), 10u);
}

TEST(Schema, WidthsThatJoinTablesAgree) {
    // A child's LINK_ID holds its parent's UNIQUE_ID; action keys hold the message key.
    const int key = FindTable("NODES.DBF")->Field("UNIQUE_ID")->width;
    for (const char* t : {"GROUPS.DBF", "NODES.DBF", "Agents.dbf", "rules.dbf", "RECEIVED.DBF",
                          "PENDING.DBF", "sent.dbf", "outbox.dbf"})
        EXPECT_EQ(FindTable(t)->Field("LINK_ID")->width, key) << t;
    EXPECT_EQ(FindTable("ACTIONS.DBF")->Field("NODE_ID")->width, key);
    EXPECT_EQ(FindTable("ACTIONS.DBF")->Field("AGENT_ID")->width, key);
    EXPECT_EQ(FindTable("ACTIONS.DBF")->Field("MESSAGE_ID")->width,
              FindTable("RECEIVED.DBF")->Field("MESSAGE_ID")->width);
    EXPECT_EQ(static_cast<std::size_t>(FindTable("RECEIVED.DBF")->Field("MESSAGE_ID")->width),
              kMessageKeyWidth);
    for (const char* one : {"COND", "ACT1", "ACT2"})
        EXPECT_EQ(FindTable("rules.dbf")->Field(one)->width, 1) << one;
    EXPECT_EQ(FindTable("NODES.DBF")->Field("FREQVAL")->type, 'N');
    EXPECT_LE(FindTable("NODES.DBF")->Field("FREQVAL")->width, 4);
}

TEST(Schema, FileNamesMatchWithoutRegardToCase) {
    EXPECT_EQ(FindTable("nodes.dbf"), FindTable("NODES.DBF"));
    EXPECT_EQ(FindTable("actions.DBF"), FindTable("ACTIONS.DBF"));
    EXPECT_EQ(FindTable("/some/where/received.dbf"), FindTable("RECEIVED.DBF"));
    EXPECT_EQ(FindTable("C:\\db\\Sent.DBF"), FindTable("sent.dbf"));
    EXPECT_EQ(FindTable("nodes.cdx"), nullptr);
}

TEST(Schema, RowKeys) {
    win::TDateTime t = 0;
    ASSERT_TRUE(win::TryEncodeDate(2026, 3, 4, t));
    win::TDateTime tod = 0;
    ASSERT_TRUE(win::TryEncodeTime(5, 6, 7, 0, tod));
    EXPECT_EQ(UniqueId(t + tod, "Sales people", kGroupSuffix), "20260304050607Sa");
    EXPECT_EQ(UniqueId(t + tod, "X", kAgentSuffix), "20260304050607X");
    EXPECT_EQ(UniqueId(t + tod, "", kRuleSuffix), "20260304050607");
    EXPECT_EQ(TimeOfDayText(t + tod), "05:06");
    EXPECT_EQ(StoredMessageKey("<a@b>"), "<a@b>");
    const std::string fits = "<" + std::string(38, 'f') + ">";
    EXPECT_EQ(StoredMessageKey(fits), fits);
    // Longer keys that differ anywhere, even past 255 characters, stay apart.
    const std::string pr = "<example-org/a-long-repository-name/pull/4711/";
    std::set<std::string> stored;
    for (const std::string& key :
         {pr + "c1001@x>", pr + "c1002@x>", "<" + std::string(300, 'h') + "1>",
          "<" + std::string(300, 'h') + "2>", fits + "x"}) {
        const std::string value = StoredMessageKey(key);
        EXPECT_EQ(value.size(), kMessageKeyWidth) << key;
        EXPECT_EQ(value.substr(0, 23), key.substr(0, 23)) << key;
        EXPECT_EQ(value, StoredMessageKey(key)) << key;
        stored.insert(value);
        EXPECT_EQ(CutMessageKey(key), key.substr(0, kMessageKeyWidth));
    }
    EXPECT_EQ(stored.size(), 5u);
}

// ---- the installer ---------------------------------------------------------------

// The ten tables as their description lists them, written out here so that
// the installer's files are held against the list and not against the
// definitions they are made from. Widths: dates 8; kMemo a memo reference
// (its width is the engine's); kShort a numeric of width 1 to 4. ACTIONS.DBF
// and rules.dbf fix only names, types and what a value needs, so their
// widths are least widths and their order is free.
constexpr int kMemo = -1;
constexpr int kShort = -2;

struct ListedField {
    const char* name;
    char type;
    int width;
};

struct ListedTag {
    const char* name;
    bool unique;
};

struct ListedTable {
    const char* file;
    std::vector<ListedField> fields;
    bool leastWidths = false;
    const char* bag = nullptr;        // nullptr: no index file
    std::vector<ListedTag> tags = {}; // in build order
};

std::vector<ListedField> TreeFields(const char* nameField) {
    return {{"UNIQUE_ID", 'C', 20},    {nameField, 'C', 40}, {"LINK_ID", 'C', 20},
            {"POSITION", 'N', kShort}, {"REF", 'C', 40},     {"KEY1", 'C', 20},
            {"KEY2", 'C', 20},         {"KEY3", 'C', 20},    {"KEY4", 'C', 20},
            {"KEY5", 'C', 20},         {"STATUS", 'C', 3},   {"NOTES", 'M', kMemo},
            {"CREATEBY", 'C', 8},      {"OWNER", 'C', 8},    {"LASTUSER", 'C', 8},
            {"CREATEON", 'D', 8}};
}

std::vector<ListedField> MessageFields() {
    return {{"MESSAGE_ID", 'C', 40}, {"LINK_ID", 'C', 20}, {"RECDATE", 'D', 8},
            {"STATUS", 'C', 5},      {"FROM", 'C', 40},    {"SUBJECT", 'C', 80},
            {"FILENAME", 'C', 30},   {"CREATEON", 'D', 8}, {"CREATEAT", 'C', 6},
            {"LASTUSER", 'C', 10},   {"LASTDATE", 'D', 8}, {"LASTTIME", 'C', 6}};
}

std::vector<ListedField> OutgoingFields() {
    return {{"UNIQUE_ID", 'C', 20}, {"LINK_ID", 'C', 20},  {"DATE", 'D', 8},
            {"STATUS", 'C', 5},     {"TONAME", 'C', 40},   {"TOADDRESS", 'C', 50},
            {"SUBJECT", 'C', 80},   {"FILENAME", 'C', 30}, {"CREATEON", 'D', 8},
            {"CREATEAT", 'C', 6},   {"LASTUSER", 'C', 10}, {"LASTDATE", 'D', 8},
            {"LASTTIME", 'C', 6}};
}

const std::vector<ListedTable>& ListedTables() {
    static const std::vector<ListedTable> tables = {
        {"ORGS.DBF", TreeFields("ORG")},
        {"GROUPS.DBF",
         TreeFields("GROUP"),
         false,
         "groups",
         {{"UNIQUE_ID", true}, {"LINK_ID", false}, {"GROUP", false}}},
        {"NODES.DBF",
         {{"UNIQUE_ID", 'C', 20},    {"LINK_ID", 'C', 20},     {"NODE", 'C', 40},
          {"POSITION", 'N', kShort}, {"REF", 'C', 40},         {"ADDRESS", 'C', 75},
          {"LOGIN", 'C', 25},        {"PASSWORD", 'C', 25},    {"POPADDRESS", 'C', 50},
          {"SMTPADDRES", 'C', 50},   {"KEY1", 'C', 20},        {"KEY2", 'C', 20},
          {"KEY3", 'C', 20},         {"KEY4", 'C', 20},        {"KEY5", 'C', 20},
          {"STATUS", 'C', 3},        {"NOTES", 'M', kMemo},    {"CREATEBY", 'C', 8},
          {"OWNER", 'C', 8},         {"LASTUSER", 'C', 8},     {"LASTDATE", 'D', 8},
          {"LASTTIME", 'C', 6},      {"NEXTDATE", 'D', 8},     {"NEXTTIME", 'C', 5},
          {"FREQTYPE", 'C', 1},      {"FREQVAL", 'N', kShort}, {"LASTRESULT", 'C', 20}},
         false,
         "nodes",
         {{"UNIQUE_ID", true}, {"LINK_ID", false}, {"NODE", false}}},
        {"Agents.dbf",
         {{"UNIQUE_ID", 'C', 20},
          {"LINK_ID", 'C', 20},
          {"AGENT", 'C', 99},
          {"TYPE", 'C', 30},
          {"CREATEON", 'D', 8},
          {"CREATEAT", 'C', 6},
          {"LASTUSER", 'C', 10},
          {"LASTDATE", 'D', 8}},
         false,
         "Agents",
         {{"UNIQUE_ID", true}, {"LINK_ID", false}, {"AGENT", false}}},
        {"ACTIONS.DBF",
         {{"UNIQUE_ID", 'C', 20},
          {"MESSAGE_ID", 'C', 40},
          {"NODE_ID", 'C', 20},
          {"AGENT_ID", 'C', 20},
          {"ACTION", 'C', 1},
          {"CREATEON", 'D', 8},
          {"CREATEAT", 'C', 5}}, // "hh:mm"
         true,
         "actions",
         {{"MESSAGE_ID", false}, {"UNIQUE_ID", false}, {"AGENT_ID", false}, {"NODE_ID", false}}},
        {"rules.dbf",
         {{"UNIQUE_ID", 'C', 20},
          {"LINK_ID", 'C', 20},
          {"RULE", 'C', 1},
          {"COND", 'C', 1},
          {"CONDVAL1", 'C', 1},
          {"CONDVAL2", 'C', 1},
          {"ACT1", 'C', 1},
          {"ACT2", 'C', 1}},
         true,
         "rules",
         {{"UNIQUE_ID", true}, {"LINK_ID", false}, {"RULE", false}}},
        {"RECEIVED.DBF",
         MessageFields(),
         false,
         "received",
         {{"MESSAGE_ID", true}, {"LINK_ID", false}, {"FROM", false}}},
        {"PENDING.DBF",
         MessageFields(),
         false,
         "pending",
         {{"MESSAGE_ID", true}, {"LINK_ID", false}, {"FROM", false}}},
        {"sent.dbf",
         OutgoingFields(),
         false,
         "Sent",
         {{"UNIQUE_ID", true}, {"LINK_ID", false}, {"SUBJECT", false}, {"TONAME", false}}},
        {"outbox.dbf",
         OutgoingFields(),
         false,
         "OutBox",
         {{"UNIQUE_ID", true}, {"LINK_ID", false}, {"SUBJECT", false}, {"TONAME", false}}},
    };
    return tables;
}

// Fields as dbfread reads them: "name type width decimals", in record
// order, then one "R" line per row with the values joined by "|".
std::string ReadWithDbfread(const std::string& path) {
    const std::string script =
        "import sys\n"
        "from dbfread import DBF\n"
        "t = DBF(sys.argv[1], load=True, char_decode_errors='strict')\n"
        "for f in t.fields: print('F', f.name, f.type, f.length, f.decimal_count)\n"
        "for r in t.records: print('R', '|'.join(str(v) for v in r.values()))\n";
    std::string out;
    const int rc = test::Run({"/usr/bin/python3", "-c", script, path}, &out);
    return rc == 0 ? out : "ERROR " + out;
}

struct ReadField {
    std::string name;
    char type = 0;
    int width = 0, decimals = 0;
};

// Whether a field read from the file is the listed one; what differs, else "".
std::string Differs(const ListedField& want, const ReadField& got, bool leastWidth) {
    std::ostringstream why;
    if (got.name != want.name || got.type != want.type)
        why << "is " << got.name << ' ' << got.type;
    else if (got.decimals != 0)
        why << "has " << got.decimals << " decimals";
    else if (want.width == kShort  ? got.width < 1 || got.width > 4
             : want.width == kMemo ? false
             : leastWidth          ? got.width < want.width
                                   : got.width != want.width)
        why << "is " << got.width << " wide";
    return why.str();
}

TEST(Mkschema, OutsideReaderSeesTheListedFields) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    for (const ListedTable& t : ListedTables()) {
        SCOPED_TRACE(t.file);
        const std::string path = win::ResolvePath(dir.Path() + t.file);
        ASSERT_TRUE(win::FileExists(path));
        std::istringstream lines(ReadWithDbfread(path));
        std::vector<ReadField> fields;
        std::string line;
        int rows = 0;
        while (std::getline(lines, line)) {
            std::istringstream parts(line);
            std::string tag, type;
            ReadField f;
            parts >> tag;
            if (tag == "F" && parts >> f.name >> type >> f.width >> f.decimals) {
                f.type = type.empty() ? '?' : type[0];
                fields.push_back(f);
            } else if (tag == "R") {
                ++rows;
                if (std::string(t.file) == "ORGS.DBF") {
                    EXPECT_NE(line.find(kDefaultOrgName), std::string::npos) << line;
                }
            } else {
                ADD_FAILURE() << line;
            }
        }
        EXPECT_EQ(rows, std::string(t.file) == "ORGS.DBF" ? 1 : 0);
        ASSERT_EQ(fields.size(), t.fields.size());
        for (std::size_t i = 0; i < t.fields.size(); ++i) {
            const ListedField& want = t.fields[i];
            // In record order, or for the free-order tables anywhere.
            const ReadField* got = &fields[i];
            if (t.leastWidths)
                for (const ReadField& f : fields)
                    if (f.name == want.name)
                        got = &f;
            EXPECT_EQ(Differs(want, *got, t.leastWidths), "") << want.name;
        }
    }
}

// Each tag of a compound index as DBD::XBase's index reader (the module
// index_dump runs on) finds it: "name offset unique descending key|for".
// Tags are listed by name; their header offsets follow the order in which
// they were built.
std::vector<std::string> ReadTagsWithIndexReader(const std::string& cdx) {
    const std::string script =
        "use XBase::Index;\n"
        "my $f = shift;\n"
        "my $i = XBase::Index->new($f, type => 'C') or die XBase::Index->errstr;\n"
        "for my $t ($i->tags) {\n"
        "  my $x = XBase::Index->new($f, tag => $t, type => 'C') or die XBase::Index->errstr;\n"
        "  printf \"%s %d %d %d %s|%s\\n\", $t, $x->{adjusted_offset},\n"
        "    $x->{index_options} & 1, $x->{sort_order}, $x->{key_string}, $x->{for_string};\n"
        "}\n";
    std::string out;
    if (test::Run({"perl", "-e", script, cdx}, &out) != 0)
        return {"ERROR " + out};
    // By offset: the build order.
    std::vector<std::pair<long, std::string>> tags;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream parts(line);
        std::string name, rest;
        long offset = 0;
        parts >> name >> offset;
        std::getline(parts, rest);
        tags.emplace_back(offset, name + rest);
    }
    std::sort(tags.begin(), tags.end());
    std::vector<std::string> ordered;
    for (const auto& [offset, text] : tags)
        ordered.push_back(text);
    return ordered;
}

TEST(Mkschema, IndexReaderSeesTheListedTags) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    for (const ListedTable& t : ListedTables()) {
        SCOPED_TRACE(t.file);
        // The bag is the table's own compound index, beside it.
        const std::string cdx = win::ResolvePath(dir.Path() + win::ChangeFileExt(t.file, ".cdx"));
        if (t.bag == nullptr) {
            EXPECT_FALSE(win::FileExists(cdx)) << cdx;
            continue;
        }
        ASSERT_TRUE(win::FileExists(cdx)) << cdx;
        EXPECT_TRUE(win::SameText(win::ChangeFileExt(win::ExtractFileName(cdx), ""), t.bag));
        std::vector<std::string> expected;
        // The bare field, ascending, no condition.
        for (const ListedTag& tag : t.tags)
            expected.push_back(std::string(tag.name) + " " + (tag.unique ? "1" : "0") + " 0 " +
                               tag.name + "|");
        // The reader wants a lower-case extension to know the format.
        const std::string probe = dir.Path() + "probe.cdx";
        std::filesystem::remove(probe);
        std::filesystem::create_symlink(cdx, probe);
        EXPECT_EQ(ReadTagsWithIndexReader(probe), expected);
        std::string out;
        ASSERT_EQ(test::Run({"index_dump", "--type", "char", probe}, &out), 0) << out;
        std::set<std::string> listed;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            listed.insert(line);
        EXPECT_EQ(listed.size(), t.tags.size()) << out;
    }
}

TEST(Mkschema, RefusesToOverwrite) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    // A table in another case counts as the same table.
    std::filesystem::remove(dir.Path() + "ORGS.DBF");
    {
        std::FILE* f = std::fopen((dir.Path() + "orgs.dbf").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("keep", f);
        std::fclose(f);
    }
    std::string out;
    EXPECT_NE(test::Run({QUELTA_BIN_DIR "/mkschema", dir.Path()}, &out), 0);
    EXPECT_NE(out.find("exists"), std::string::npos) << out;
    std::FILE* f = std::fopen((dir.Path() + "orgs.dbf").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[8] = {};
    EXPECT_EQ(std::fread(buf, 1, 4, f), 4u);
    std::fclose(f);
    EXPECT_STREQ(buf, "keep");
    EXPECT_NE(test::Run({QUELTA_BIN_DIR "/mkschema"}, &out), 0);
}

} // namespace
} // namespace data
