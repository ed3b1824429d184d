// Tags on nullable fields, as Visual FoxPro makes them: every key led by a
// null flag (0x00 null, 0x80 a value). The table comes from python3-dbf,
// its index is built byte by byte (foxpro_make.py), and the engine walks,
// seeks and updates both, and builds the same keys itself.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/xbase/tests/xbtest_util.h"

#ifdef XBASE_HAS_INDEXES

namespace {

using namespace xbtest;

const std::string kTests = std::string(QUELTA_SOURCE_DIR) + "/platform/xbase/tests/";

std::string Walk(bool forward, int limit = 20) {
    std::string out;
    if ((forward ? xb_GoTop() : xb_GoBottom()) != 1)
        return "ERR " + ErrorText();
    for (int n = 0; !(forward ? xb_Eof() : xb_Bof()); ++n) {
        if (n == limit)
            return out + "LOOP";
        out += std::to_string(xb_RecNo()) + " ";
        if (xb_Skip(forward ? 1 : -1) != 1)
            return out + "ERR " + ErrorText();
    }
    return out;
}

// "1 2 3 " gives "3 2 1 ".
std::string Reversed(const std::string& walk) {
    std::vector<std::string> parts;
    for (std::size_t at = 0, blank; (blank = walk.find(' ', at)) != std::string::npos;
         at = blank + 1)
        parts.push_back(walk.substr(at, blank - at));
    std::string out;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        out += *it + " ";
    return out;
}

class NullableTags : public ::testing::Test {
protected:
    void SetUp() override {
        int status = 0;
        std::string out = Capture("/usr/bin/python3 '" + kTests + "dbf_make.py' nullable '" +
                                      dir_.File("fruit.dbf") + "' 2>&1",
                                  &status);
        if (status != 0)
            GTEST_SKIP() << "python3-dbf is not installed (apt-get install python3-dbf): " << out;
        out = Capture("/usr/bin/python3 '" + kTests + "foxpro_make.py' nulltags '" +
                          dir_.File("fruit") + "' 2>&1",
                      &status);
        ASSERT_EQ(status, 0) << out;
    }
    void Use() {
        ASSERT_NE(xb_Use(dir_.File("fruit.dbf").c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    }
    void Order(const char* tag) { ASSERT_GE(xb_SetOrder(xb_TagArea(tag)), 0) << ErrorText(); }
    std::string Nulls() {
        return Capture("/usr/bin/python3 '" + kTests + "dbf_make.py' nulls '" +
                       dir_.File("fruit.dbf") + "' 2>&1");
    }
    EngineReset reset_;
    TempDir dir_;
};

// Rows: 1 pear 2.5 2021-03-04, 2 null null null, 3 apple -1 1999-12-31,
// 4 null 7 null, 5 fig null 2024-02-29, 6 apple 0 2000-01-01.
TEST_F(NullableTags, WalkBothWaysWithNullsFirstAndSeekValues) {
    Use();
    struct Row {
        const char* tag;
        const char* forward;
    } rows[] = {{"NAME", "2 4 3 6 5 1 "},
                {"UNAME", "2 4 3 6 5 1 "},
                {"QTY", "2 5 3 6 1 4 "},
                {"WHEN", "2 4 3 6 1 5 "},
                {"ID", "1 2 3 4 5 6 "}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.tag);
        Order(r.tag);
        EXPECT_EQ(Walk(true), r.forward);
        EXPECT_EQ(Walk(false), Reversed(r.forward));
    }
    for (int exact : {0, 1}) {
        SCOPED_TRACE(exact);
        xb_SetExact(exact);
        Order("NAME");
        EXPECT_EQ(xb_Seek("apple"), 1);
        EXPECT_EQ(xb_RecNo(), 3);
        EXPECT_EQ(xb_Seek("fig"), 1);
        EXPECT_EQ(xb_RecNo(), 5);
        EXPECT_EQ(xb_Seek("kiwi"), 0);
        Order("UNAME");
        EXPECT_EQ(xb_Seek("PEAR"), 1);
        EXPECT_EQ(xb_RecNo(), 1);
        Order("QTY");
        EXPECT_EQ(xb_Seek("7"), 1);
        EXPECT_EQ(xb_RecNo(), 4);
        Order("WHEN");
        EXPECT_EQ(xb_Seek("20000101"), 1);
        EXPECT_EQ(xb_RecNo(), 6);
    }
    xb_SetExact(0);
    Order("NAME");
    ASSERT_EQ(xb_Seek("fig"), 1);
    char key[32] = {};
    EXPECT_EQ(xb_KeyData(key, sizeof key), 10); // the value, without the null flag
    EXPECT_STREQ(key, "fig       ");
}

// A value stored into a null field clears its null flag and moves its keys;
// an appended row is indexed too; every tag stays in order.
TEST_F(NullableTags, ChangesMoveTheKeysAndClearTheNullFlag) {
    Use();
    ASSERT_EQ(xb_Go(2), 1);
    ASSERT_TRUE(Put("NAME", "banana"));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    ASSERT_EQ(xb_Go(5), 1);
    ASSERT_TRUE(Put("QTY", "1"));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    ASSERT_TRUE(Put("NAME", "cherry"));
    ASSERT_TRUE(Put("QTY", "3"));
    ASSERT_TRUE(Put("WHEN", "01/01/2010"));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    xb_Unlock(0);
    Order("NAME");
    EXPECT_EQ(Walk(true), "4 3 6 2 7 5 1 ");
    EXPECT_EQ(xb_Seek("banana"), 1);
    EXPECT_EQ(xb_RecNo(), 2);
    Order("QTY");
    EXPECT_EQ(Walk(true), "2 3 6 5 1 7 4 ");
    xb_CloseAll();
    EXPECT_EQ(Nulls(), "pear 2.5 2021-03-04\n"
                       "banana null null\n"
                       "apple -1.0 1999-12-31\n"
                       "null 7.0 null\n"
                       "fig 1.0 2024-02-29\n"
                       "apple 0.0 2000-01-01\n"
                       "cherry 3.0 2010-01-01\n");
}

// A tag the engine builds on a nullable field holds the keys FoxPro's does.
TEST_F(NullableTags, TheEngineBuildsTheSameKeys) {
    std::string theirs = Capture("index_dump --type char '" + dir_.File("fruit.cdx") + "' NAME");
    ASSERT_NE(xb_Use(dir_.File("fruit.dbf").c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    ASSERT_GT(xb_IndexTag("ours", "NAME", "NAME", 0, 0, ""), 0) << ErrorText();
    EXPECT_EQ(Walk(true), "2 4 3 6 5 1 ");
    xb_CloseAll();
    std::string ours = Capture("index_dump --type char '" + dir_.File("ours.cdx") + "' NAME");
    if (theirs.empty())
        GTEST_SKIP() << "index_dump is not installed (apt-get install libdbd-xbase-perl)";
    EXPECT_EQ(ours, theirs);
}

} // namespace

#endif
