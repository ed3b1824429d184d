// Case-folding keys in the code page FoxPro marks in a table's header: a
// seek of the key FoxPro stores for a row ("BRÄCKE" for UPPER(CITY) of
// "Bräcke" in a Windows-1252 table) finds that row.
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

#include "platform/xbase/tests/xbtest_util.h"

#ifdef XBASE_HAS_INDEXES

namespace {

using namespace xbtest;

// The code page byte of the DBF header, as FoxPro writes it.
void MarkCodePage(const std::string& path, unsigned char mark) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(29);
    f.put(static_cast<char>(mark));
}

struct Row {
    const char* city;   // in the table's code page
    const char* key;    // UPPER(CITY) as FoxPro builds it
    const char* region; // in the table's code page
    const char* lower;  // LOWER(REGION)
};

struct Page {
    unsigned char mark;
    std::vector<Row> rows;
};

// Keys in the code page of each mark; without a known mark only ASCII
// letters change.
const std::vector<Page>& Pages() {
    static const std::vector<Page> pages = {
        {0x03, // Windows-1252
         {{"Br\344cke", "BR\304CKE", "V\304STERNORRLAND", "v\344sternorrland"},
          {"Lule\345", "LULE\305", "NORRBOTTEN", "norrbotten"},
          {"Gen\350ve", "GEN\310VE", "GEN\310VE", "gen\350ve"},
          {"\345rhus", "\305RHUS", "\330STJYLLAND", "\370stjylland"}}},
        {0x02, // MS-DOS 850
         {{"Br\204cke", "BR\216CKE", "V\216STERNORRLAND", "v\204sternorrland"},
          {"Gen\212ve", "GEN\324VE", "GEN\324VE", "gen\212ve"}}},
        {0x01, // MS-DOS 437: no capital È
         {{"M\201nchen", "M\232NCHEN", "BAYERN", "bayern"},
          {"Gen\212ve", "GEN\212VE", "GEN\212VE", "gen\212ve"}}},
        {0xC8, // Windows-1250: Łódź
         {{"\243\363d\237", "\243\323D\217", "\243\323DZKIE", "\263\363dzkie"},
          {"Brno", "BRNO", "JIHOMORAVSK\335", "jihomoravsk\375"}}},
        {0x00, // none
         {{"Br\344cke", "BR\344CKE", "V\304STERNORRLAND", "v\304sternorrland"}}},
    };
    return pages;
}

} // namespace

TEST(CodePages, EachRowFindsItsOwnCaseFoldedKey) {
    for (const Page& page : Pages()) {
        SCOPED_TRACE("code page mark " + std::to_string(page.mark));
        EngineReset reset;
        TempDir dir;
        const XbFieldDef fields[] = {Def("CITY", 'C', 15), Def("REGION", 'C', 20)};
        const std::string p = dir.File("customers.dbf");
        ASSERT_EQ(xb_Create(p.c_str(), fields, 2), 1) << ErrorText();
        MarkCodePage(p, page.mark);
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
        ASSERT_GT(xb_IndexTag("", "CITY", "UPPER(CITY)", 0, 0, ""), 0) << ErrorText();
        ASSERT_GT(xb_IndexTag("", "REGION", "LOWER(REGION)", 0, 0, ""), 0) << ErrorText();
        for (const Row& r : page.rows) {
            ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK) << ErrorText();
            ASSERT_TRUE(Put("CITY", r.city));
            ASSERT_TRUE(Put("REGION", r.region));
            ASSERT_EQ(xb_Commit(), 1) << ErrorText();
        }
        xb_CloseAll();

        // Opened again: the tags were built with the table's case rules.
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        for (std::size_t i = 0; i < page.rows.size(); ++i) {
            const Row& r = page.rows[i];
            const int recno = static_cast<int>(i) + 1;
            xb_SetOrder(xb_TagArea("CITY"));
            EXPECT_NE(xb_Seek(r.key), 0) << r.city;
            EXPECT_EQ(xb_RecNo(), recno) << r.city;
            xb_SetOrder(xb_TagArea("REGION"));
            EXPECT_NE(xb_Seek(r.lower), 0) << r.region;
            EXPECT_EQ(xb_RecNo(), recno) << r.region;
            // Filters fold case the same way.
            ASSERT_EQ(xb_Query((std::string("UPPER(CITY) = '") + r.key + "'").c_str()), 1)
                << ErrorText();
            EXPECT_EQ(xb_Count(), 1) << r.city;
            xb_Query("");
        }
        xb_CloseAll();
    }
}

// Tags that FoxPro wrote: every row's key, built by this engine from the
// row, is one the tag holds.
TEST(CodePages, EveryRowOfAFoxproTableFindsItsOwnKeyInEachTag) {
    struct Table {
        const char* folder;
        const char* file;
    };
    int seeks = 0;
    for (const Table& t :
         {Table{"go-dbase", "employees.dbf"}, Table{"infused-dbf/foxprodb", "contacts.dbf"},
          Table{"infused-dbf/foxprodb", "calls.dbf"}, Table{"infused-dbf/foxprodb", "types.dbf"}}) {
        SCOPED_TRACE(t.file);
        EngineReset reset;
        TempDir dir;
        CopyShared(t.folder, dir);
        ASSERT_NE(xb_Use(dir.File(t.file).c_str(), nullptr, XB_READONLY, 2), 0) << ErrorText();
        const int orders = xb_SysProp(XB_PROP_INDEX_COUNT, 0);
        ASSERT_GT(orders, 0);
        for (int order = 1; order <= orders; ++order) {
            if (xb_SetOrder(order) < 0)
                continue; // a key naming what the table lacks
            char key[512] = {}, cond[512] = {};
            xb_IndexKey(order, key, sizeof key);
            xb_IndexCondition(order, cond, sizeof cond);
            for (int r = 1; r <= xb_RecCount(); ++r) {
                xb_SetOrder(0);
                xb_Go(r);
                if (cond[0] && xb_EvalLogical(cond) != 1)
                    continue;
                char value[512] = {};
                xb_EvalString(key, value, sizeof value);
                xb_SetOrder(order);
                EXPECT_NE(xb_Seek(value), 0) << key << " of record " << r << ": " << value;
                ++seeks;
            }
        }
        xb_CloseAll();
    }
    EXPECT_GT(seeks, 20);
}

#endif
