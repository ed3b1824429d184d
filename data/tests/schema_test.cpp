// The ten tables as code, and the installer's files as outside readers see them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "data/schema.h"
#include "data/tests/testutil.h"
#include "platform/win/paths.h"

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

TEST(Mkschema, OutsideReaderSeesTheExactFields) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    for (const TableDef& t : Tables()) {
        SCOPED_TRACE(t.fileName);
        ASSERT_TRUE(win::FileExists(dir.Path() + t.fileName));
        std::ostringstream expected;
        for (const FieldDef& f : t.fields)
            expected << "F " << f.name << ' ' << f.type << ' ' << (f.type == 'M' ? -1 : f.width)
                     << ' ' << f.decimals << '\n';
        std::string got = ReadWithDbfread(dir.Path() + t.fileName);
        std::istringstream lines(got);
        std::ostringstream fields;
        std::string line;
        int rows = 0;
        while (std::getline(lines, line)) {
            if (line.rfind("F ", 0) == 0) {
                // Memo widths are the engine's; compare the rest.
                std::istringstream parts(line);
                std::string tag, name, type;
                int width = 0, dec = 0;
                parts >> tag >> name >> type >> width >> dec;
                fields << "F " << name << ' ' << type << ' ' << (type == "M" ? -1 : width) << ' '
                       << dec << '\n';
            } else if (line.rfind("R ", 0) == 0) {
                ++rows;
                if (t.fileName == "ORGS.DBF") {
                    EXPECT_NE(line.find(kDefaultOrgName), std::string::npos) << line;
                }
            } else {
                ADD_FAILURE() << line;
            }
        }
        EXPECT_EQ(fields.str(), expected.str());
        EXPECT_EQ(rows, t.fileName == "ORGS.DBF" ? 1 : 0);
    }
}

TEST(Mkschema, IndexReaderListsTheTags) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    for (const TableDef& t : Tables()) {
        if (t.tags.empty())
            continue;
        SCOPED_TRACE(t.fileName);
        const std::string cdx =
            win::ResolvePath(dir.Path() + win::ChangeFileExt(t.fileName, ".cdx"));
        ASSERT_TRUE(win::FileExists(cdx)) << cdx;
        std::string out;
        // index_dump wants a lower-case extension to know the format.
        const std::string link = dir.Path() + "probe.cdx";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(cdx, link);
        ASSERT_EQ(test::Run({"index_dump", "--type", "char", link}, &out), 0) << out;
        std::set<std::string> listed;
        std::istringstream lines(out);
        std::string line;
        while (std::getline(lines, line))
            listed.insert(line);
        for (const TagDef& tag : t.tags)
            EXPECT_TRUE(listed.count(tag.name)) << tag.name << " in " << out;
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
