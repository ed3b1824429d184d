// Indexes whose keys no longer match their table: the table changed by a
// program that knows nothing of the index (python3-dbf), or another table's
// index beside it. Walks follow the index and always end; changes repair
// the entries they touch.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#include "platform/xbase/tests/xbtest_util.h"

#ifdef XBASE_HAS_INDEXES

namespace {

using namespace xbtest;

const std::string kScript = std::string(QUELTA_SOURCE_DIR) + "/platform/xbase/tests/dbf_make.py";

// A table of CODE and QTY with a tag on CODE, rows in this order.
std::string MakeTable(const TempDir& dir, const std::string& name,
                      std::initializer_list<const char*> codes) {
    const XbFieldDef fields[] = {Def("CODE", 'C', 6), Def("QTY", 'N', 4)};
    std::string p = dir.File(name + ".dbf");
    EXPECT_EQ(xb_Create(p.c_str(), fields, 2), 1) << ErrorText();
    EXPECT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    EXPECT_EQ(xb_IndexTag("", "CODE", "CODE", 0, 0, ""), 1) << ErrorText();
    for (const char* c : codes) {
        EXPECT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("CODE", c);
        Put("QTY", "1");
    }
    xb_CloseAll();
    return p;
}

// Record numbers met walking the current order, at most limit of them:
// "LOOP" when the walk would not end, "ERR" when it failed.
std::string Walk(bool forward, int limit = 20) {
    std::string out;
    if ((forward ? xb_GoTop() : xb_GoBottom()) != 1)
        return "ERR";
    for (int n = 0; !(forward ? xb_Eof() : xb_Bof()); ++n) {
        if (n == limit)
            return out + "LOOP";
        out += std::to_string(xb_RecNo()) + " ";
        if (xb_Skip(forward ? 1 : -1) != 1)
            return out + "ERR";
    }
    return out;
}

class StaleIndex : public ::testing::Test {
protected:
    void SetUp() override {
        int status = 0;
        Capture("/usr/bin/python3 -c 'import dbf' 2>&1", &status);
        if (status != 0)
            GTEST_SKIP() << "python3-dbf is not installed (apt-get install python3-dbf)";
    }
    void Edit(const std::string& path, int recno, const std::string& value) {
        int status = 0;
        std::string out = Capture("/usr/bin/python3 '" + kScript + "' set '" + path + "' " +
                                      std::to_string(recno) + " CODE " + value + " 2>&1",
                                  &status);
        ASSERT_EQ(status, 0) << out;
    }
    EngineReset reset_;
    TempDir dir_;
};

// Row 2 was "c" when indexed and reads "a" now: walks follow the entries
// (b 1, c 2, d 3) instead of going round from the key the row makes now.
TEST_F(StaleIndex, WalksFollowTheEntriesAndEnd) {
    std::string p = MakeTable(dir_, "stale", {"b", "c", "d"});
    Edit(p, 2, "a");
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    ASSERT_EQ(xb_SetOrder(1), 0);
    EXPECT_EQ(Walk(true), "1 2 3 ");
    EXPECT_EQ(Walk(false), "3 2 1 ");
    // From a record reached by number there is no entry to go on from: the
    // walk starts at the record's key now, and still ends.
    ASSERT_EQ(xb_Go(2), 1);
    std::string from2;
    for (int n = 0; n < 20 && !xb_Eof(); ++n, xb_Skip(1))
        from2 += std::to_string(xb_RecNo()) + " ";
    EXPECT_EQ(from2, "2 1 2 3 ");
    EXPECT_EQ(xb_Count(), 3);
}

// A pass that changes every row it walks (not the key) ends too, and a
// changed key replaces the stale entry instead of adding a second one.
TEST_F(StaleIndex, ChangesDuringAWalkEndAndRepairTheEntry) {
    std::string p = MakeTable(dir_, "stale", {"b", "c", "d"});
    Edit(p, 2, "a");
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    ASSERT_EQ(xb_SetOrder(1), 0);
    std::string visited;
    int n = 0;
    for (xb_GoTop(); !xb_Eof() && n < 20; xb_Skip(1), ++n) {
        visited += std::to_string(xb_RecNo()) + " ";
        ASSERT_TRUE(Put("QTY", std::to_string(n + 2))) << ErrorText();
        ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    }
    EXPECT_EQ(visited, "1 2 3 ");
    ASSERT_EQ(xb_Go(2), 1);
    ASSERT_TRUE(Put("CODE", "e"));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    EXPECT_EQ(Walk(true), "1 3 2 ");
    EXPECT_EQ(xb_Seek("e"), 1);
    EXPECT_EQ(xb_RecNo(), 2);
    EXPECT_EQ(xb_Seek("c"), 0);
}

// Another table's index: the same tag over other rows.
TEST_F(StaleIndex, AnotherTablesIndexWalksAndEnds) {
    std::string p = MakeTable(dir_, "mine", {"m", "k", "z", "a"});
    std::string other = MakeTable(dir_, "other", {"c", "a", "d", "b"});
    std::filesystem::copy_file(dir_.File("other.cdx"), dir_.File("mine.cdx"),
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    ASSERT_EQ(xb_SetOrder(1), 0);
    EXPECT_EQ(Walk(true), "2 4 1 3 ");
    EXPECT_EQ(Walk(false), "3 1 4 2 ");
}

// A longer table's index names records this table does not have: the walk,
// the seek and the count stop with "corrupt file" naming the index and tag
// instead of reading past the end or passing over the entry.
TEST_F(StaleIndex, AnEntryPastTheTablesEndIsACorruptIndex) {
    std::string p = MakeTable(dir_, "mine", {"b", "a"});
    MakeTable(dir_, "other", {"c", "a", "d", "b"});
    std::filesystem::copy_file(dir_.File("other.cdx"), dir_.File("mine.cdx"),
                               std::filesystem::copy_options::overwrite_existing);
    for (int mode : {XB_SHARED, XB_EXCLUSIVE}) {
        SCOPED_TRACE(mode);
        ASSERT_NE(xb_Use(p.c_str(), nullptr, mode, 2), 0) << ErrorText();
        ASSERT_EQ(xb_SetOrder(1), 0);
        EXPECT_EQ(Walk(true), "2 ERR");
        std::string text = ErrorText();
        EXPECT_EQ(xb_LastError(), XB_ERR_CORRUPT);
        EXPECT_NE(text.find("Corrupt file"), std::string::npos) << text;
        EXPECT_NE(text.find("mine.cdx"), std::string::npos) << text;
        EXPECT_NE(text.find("tag CODE"), std::string::npos) << text;
        EXPECT_NE(text.find("record 4"), std::string::npos) << text;
        EXPECT_EQ(xb_Seek("d"), 0);
        EXPECT_EQ(xb_LastError(), XB_ERR_CORRUPT);
        EXPECT_EQ(Walk(false), "ERR");
        xb_CloseAll();
    }
}

} // namespace

#endif
