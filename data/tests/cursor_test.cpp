// The cursor functions on a table of every field kind, as the data-set
// layer calls them.
#include <gtest/gtest.h>

#include <cstring>

#include "data/cursor.h"
#include "data/tests/testutil.h"
#include "platform/xbase/xbengine.h"

namespace data {
namespace {

// NAME C10, SMALL N4, PRICE N4.2, BIG N8, DAY D, FLAG L, NOTES M, LINK C5;
// tags LINK and NAME.
class CursorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CurInit(), CUR_OK);
        const XbFieldDef defs[] = {
            {"NAME", 'C', 10, 0}, {"SMALL", 'N', 4, 0}, {"PRICE", 'N', 4, 2},  {"BIG", 'N', 8, 0},
            {"DAY", 'D', 8, 0},   {"FLAG", 'L', 1, 0},  {"NOTES", 'M', 10, 0}, {"LINK", 'C', 5, 0}};
        path_ = dir_.Path() + "my-items.dbf";
        ASSERT_EQ(xb_Create(path_.c_str(), defs, 8), 1);
        ASSERT_NE(xb_Use(path_.c_str(), "", XB_EXCLUSIVE, XB_DRIVER_FOX), 0);
        ASSERT_NE(xb_IndexTag("", "LINK", "LINK", 0, 0, ""), 0);
        ASSERT_NE(xb_IndexTag("", "NAME", "NAME", 0, 0, ""), 0);
        xb_Close();
        ASSERT_EQ(CurOpenDatabase(nullptr, db_), CUR_OK);
        ASSERT_EQ(CurSetDirectory(db_, dir_.Path().c_str()), CUR_OK);
    }
    void TearDown() override {
        CurExit();
        CurCloseDatabase(db_);
    }

    hCurCur Open(const char* tag = nullptr, int share = 0) {
        hCurCur c = 0;
        EXPECT_EQ(CurOpenTable(db_, "my-items.dbf", "XBFOX", tag, tag, 0, 0, share, c), CUR_OK);
        return c;
    }
    std::vector<std::uint8_t> Blank(hCurCur c) {
        CURProps p;
        EXPECT_EQ(CurGetCursorProps(c, p), CUR_OK);
        std::vector<std::uint8_t> rec(static_cast<std::size_t>(p.iRecBufSize));
        EXPECT_EQ(CurInitRecord(c, rec.data()), CUR_OK);
        return rec;
    }
    void AddRow(hCurCur c, const char* name, const char* link) {
        auto rec = Blank(c);
        ASSERT_EQ(CurPutField(c, 1, rec.data(), name), CUR_OK);
        ASSERT_EQ(CurPutField(c, 8, rec.data(), link), CUR_OK);
        ASSERT_EQ(CurAppendRecord(c, rec.data()), CUR_OK);
    }
    std::string Name(hCurCur c, const std::vector<std::uint8_t>& rec) {
        char buf[11] = {};
        bool blank = false;
        EXPECT_EQ(CurGetField(c, 1, rec.data(), buf, &blank), CUR_OK);
        return blank ? "<blank>" : buf;
    }
    // Names in cursor order from the beginning.
    std::string Walk(hCurCur c) {
        std::string names;
        auto rec = Blank(c);
        EXPECT_EQ(CurSetToBegin(c), CUR_OK);
        while (CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr) == CUR_OK)
            names += Name(c, rec) + ",";
        return names;
    }

    test::TempFolder dir_;
    std::string path_;
    hCurDb db_ = 0;
};

TEST_F(CursorTest, AliasesAreStemsNumberedWhenInUse) {
    const hCurCur a = Open();
    const hCurCur b = Open();
    const hCurCur c = Open();
    char alias[32] = {};
    xb_Alias(a, alias, sizeof alias);
    EXPECT_STREQ(alias, "my_items");
    xb_Alias(b, alias, sizeof alias);
    EXPECT_STREQ(alias, "my_items_1");
    xb_Alias(c, alias, sizeof alias);
    EXPECT_STREQ(alias, "my_items_2");
    EXPECT_EQ(CurCloseCursor(b), CUR_OK);
    EXPECT_EQ(CurCloseCursor(b), CURERR_INVALIDHNDL);
}

TEST_F(CursorTest, OpenFailuresAndDirectories) {
    hCurCur c = 0;
    EXPECT_EQ(CurOpenTable(db_, "missing.dbf", "XBFOX", nullptr, nullptr, 0, 0, 0, c),
              CURERR_TABLEOPEN);
    EXPECT_EQ(c, 0);
    // File names are found without regard to case.
    EXPECT_EQ(CurOpenTable(db_, "MY-ITEMS.DBF", "XBFOX", nullptr, nullptr, 0, 0, 0, c), CUR_OK);
    test::InfoBoxes boxes;
    EXPECT_EQ(CurSetDirectory(0, "/tmp"), CUR_OK);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "CurSetDirectory : hDb = 0");
    // A database without a directory: the box, and the folder used last.
    EXPECT_EQ(CurOpenTable(150, "my-items.dbf", "XBFOX", nullptr, nullptr, 0, 0, 0, c), CUR_OK);
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[1], "Could not find directory associated with this database");
    std::string full;
    EXPECT_EQ(CurFormFullName(db_, "x.dbf", full), CUR_OK);
    EXPECT_EQ(full, dir_.Path() + "x.dbf");
}

TEST_F(CursorTest, DescriptorsByFieldKind) {
    const hCurCur c = Open();
    std::vector<FLDDesc> d;
    ASSERT_EQ(CurGetFieldDescs(c, d), CUR_OK);
    ASSERT_EQ(d.size(), 8u);
    EXPECT_STREQ(d[0].szName, "NAME");
    EXPECT_EQ(d[0].iFldType, fldZSTRING);
    EXPECT_EQ(d[0].iUnits1, 10);
    EXPECT_EQ(d[0].iLen, 11);
    EXPECT_EQ(d[0].iOffset, 2); // 1-based, after the deletion byte
    EXPECT_EQ(d[1].iFldType, fldINT16);
    EXPECT_EQ(d[2].iFldType, fldFLOAT);
    EXPECT_EQ(d[2].iUnits2, 2);
    EXPECT_EQ(d[3].iFldType, fldFLOAT); // width 8: too wide for 16 bits
    EXPECT_EQ(d[4].iFldType, fldDATE);
    EXPECT_EQ(d[5].iFldType, fldBOOL);
    EXPECT_EQ(d[6].iFldType, fldBLOB);
    EXPECT_EQ(d[6].iSubType, fldstMEMO);
    CURProps p;
    ASSERT_EQ(CurGetCursorProps(c, p), CUR_OK);
    EXPECT_EQ(p.szName, "my-items");
    EXPECT_EQ(p.szTableType, "XBFOX");
    EXPECT_EQ(p.iFields, 8);
    EXPECT_EQ(p.iIndexes, 2);
    EXPECT_FALSE(p.bIndexed);
    EXPECT_EQ(p.iRecBufSize, 1 + 10 + 4 + 4 + 8 + 8 + 1 + xb_FieldWidth(7) + 5);
}

TEST_F(CursorTest, FieldConversionsAndFitRules) {
    const hCurCur c = Open();
    auto rec = Blank(c);
    const auto before = rec;
    bool blank = false;
    char text[11];
    // All spaces read as blank, not as an empty string.
    EXPECT_EQ(CurGetField(c, 1, rec.data(), text, &blank), CUR_OK);
    EXPECT_TRUE(blank);

    std::int16_t small = 12345;
    EXPECT_EQ(CurPutField(c, 2, rec.data(), &small), CURERR_NOTSUFFFIELDSIZE);
    EXPECT_EQ(rec, before);
    small = -123;
    EXPECT_EQ(CurPutField(c, 2, rec.data(), &small), CUR_OK);
    std::int16_t back = 0;
    EXPECT_EQ(CurGetField(c, 2, rec.data(), &back, &blank), CUR_OK);
    EXPECT_EQ(back, -123);

    struct {
        double in;
        const char* stored;
    } floats[] = {{3.14159, "3.14"}, {999.9, "1000"}, {-1.5, "-1.5"}, {0.0, "0.00"}};
    const int off = 1 + 10 + 4;
    for (const auto& f : floats) {
        EXPECT_EQ(CurPutField(c, 3, rec.data(), &f.in), CUR_OK) << f.in;
        std::string stored(reinterpret_cast<char*>(rec.data()) + off, 4);
        EXPECT_EQ(stored.substr(stored.find_first_not_of(' ')), f.stored) << f.in;
    }
    const double huge = 123456.0;
    EXPECT_EQ(CurPutField(c, 3, rec.data(), &huge), CURERR_NOTSUFFFIELDSIZE);
    const double part = 0.25;
    EXPECT_EQ(CurPutField(c, 3, rec.data(), &part), CUR_OK);
    double partBack = 0;
    EXPECT_EQ(CurGetField(c, 3, rec.data(), &partBack, &blank), CUR_OK);
    EXPECT_EQ(partBack, 0.25);

    // Dates are day numbers from 1 January of year 1; null writes spaces.
    const std::int32_t day = 693594 + 45000; // 2023-03-15
    EXPECT_EQ(CurPutField(c, 5, rec.data(), &day), CUR_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rec.data()) + off + 4 + 8, 8), "20230315");
    std::int32_t dayBack = 0;
    EXPECT_EQ(CurGetField(c, 5, rec.data(), &dayBack, &blank), CUR_OK);
    EXPECT_EQ(dayBack, day);
    EXPECT_EQ(CurPutField(c, 5, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(CurGetField(c, 5, rec.data(), &dayBack, &blank), CUR_OK);
    EXPECT_TRUE(blank);

    // A logical "Y" is not true; only "T" is.
    rec[static_cast<std::size_t>(off + 4 + 8 + 8)] = 'Y';
    std::int16_t flag = 1;
    EXPECT_EQ(CurGetField(c, 6, rec.data(), &flag, &blank), CUR_OK);
    EXPECT_EQ(flag, 0);
    const std::uint8_t on = 1;
    EXPECT_EQ(CurPutField(c, 6, rec.data(), &on), CUR_OK);
    EXPECT_EQ(CurGetField(c, 6, rec.data(), &flag, &blank), CUR_OK);
    EXPECT_EQ(flag, 1);

    // Strings are cut to the width and read back without trailing spaces.
    EXPECT_EQ(CurPutField(c, 1, rec.data(), "a much longer name"), CUR_OK);
    EXPECT_EQ(CurGetField(c, 1, rec.data(), text, &blank), CUR_OK);
    EXPECT_STREQ(text, "a much lon");
    EXPECT_EQ(CurGetField(c, 99, rec.data(), text, &blank), CURERR_INVALIDHNDL);
    EXPECT_EQ(CurGetField(77, 1, rec.data(), text, &blank), CURERR_INVALIDHNDL);
}

TEST_F(CursorTest, DatesAreStoredAsTheyAre) {
    xb_SetEpoch(1950);
    xb_SetCentury(0);
    const hCurCur c = Open();
    auto rec = Blank(c);
    // 1930-06-01: before the epoch, but a full date is never moved by it.
    const std::int32_t day = 693594 + 11110;
    ASSERT_EQ(CurPutField(c, 5, rec.data(), &day), CUR_OK);
    const int off = 1 + 10 + 4 + 4 + 8;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rec.data()) + off, 8), "19300601");
    xb_SetEpoch(1900);
}

TEST_F(CursorTest, NavigationEndsAndStarts) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    AddRow(c, "two", "B");
    auto rec = Blank(c);
    RECProps props;
    ASSERT_EQ(CurSetToBegin(c), CUR_OK);
    EXPECT_EQ(CurGetPriorRecord(c, CurLock::NoLock, rec.data(), &props), CURERR_BOF);
    ASSERT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), &props), CUR_OK);
    EXPECT_EQ(props.iPhyRecNum, 1u); // on the first record
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), &props), CUR_OK);
    EXPECT_EQ(Name(c, rec), "two");
    EXPECT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), &props), CURERR_EOF);
    EXPECT_EQ(xb_RecNo(), 2); // left on the last record
    EXPECT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), &props), CURERR_EOF);
    EXPECT_EQ(CurGetPriorRecord(c, CurLock::NoLock, rec.data(), &props), CUR_OK);
    EXPECT_EQ(Name(c, rec), "one");

    ASSERT_EQ(CurSetToEnd(c), CUR_OK);
    EXPECT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), &props), CURERR_EOF);
    ASSERT_EQ(CurGetPriorRecord(c, CurLock::NoLock, rec.data(), &props), CUR_OK);
    EXPECT_EQ(Name(c, rec), "two");

    // Bookmarks are record numbers; one past the count is the end.
    std::uint8_t bm[4];
    std::int32_t n = 7;
    std::memcpy(bm, &n, 4);
    ASSERT_EQ(CurSetToBookMark(c, bm), CUR_OK);
    EXPECT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), &props), CURERR_EOF);
    n = 1;
    std::memcpy(bm, &n, 4);
    ASSERT_EQ(CurSetToBookMark(c, bm), CUR_OK);
    ASSERT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), &props), CUR_OK);
    EXPECT_EQ(Name(c, rec), "one");
    std::uint32_t count = 0;
    EXPECT_EQ(CurGetRecordCount(c, count), CUR_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(CurGetNextRecord(300, CurLock::NoLock, rec.data(), &props), CURERR_EOF);
}

TEST_F(CursorTest, CompareBookmarksInOrder) {
    const hCurCur c = Open("NAME");
    AddRow(c, "zeta", "A");
    AddRow(c, "alpha", "A");
    std::uint8_t b1[4], b2[4];
    std::int32_t r1 = 1, r2 = 2;
    std::memcpy(b1, &r1, 4);
    std::memcpy(b2, &r2, 4);
    int cmp = 0;
    ASSERT_EQ(CurCompareBookMarks(c, b1, b2, cmp), CUR_OK);
    EXPECT_EQ(cmp, 1); // zeta after alpha in NAME order
    ASSERT_EQ(CurSwitchToIndex(c, nullptr, "", 0, false), CUR_OK);
    ASSERT_EQ(CurCompareBookMarks(c, b1, b2, cmp), CUR_OK);
    EXPECT_EQ(cmp, -1);
}

TEST_F(CursorTest, ComparingBookmarksKeepsTheCursorBeforeTheFirstRecord) {
    const hCurCur c = Open("NAME");
    AddRow(c, "zeta", "A");
    AddRow(c, "alpha", "A");
    AddRow(c, "mid", "A");
    std::uint8_t b1[4], b2[4];
    const std::int32_t r1 = 1, r2 = 3;
    std::memcpy(b1, &r1, 4);
    std::memcpy(b2, &r2, 4);
    auto rec = Blank(c);
    int cmp = 0;
    ASSERT_EQ(CurSetToBegin(c), CUR_OK);
    ASSERT_EQ(CurCompareBookMarks(c, b1, b2, cmp), CUR_OK);
    EXPECT_EQ(cmp, 1); // zeta after mid
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(c, rec), "alpha"); // the first row, not the second
    // On a row, the cursor stays on it.
    ASSERT_EQ(CurCompareBookMarks(c, b2, b1, cmp), CUR_OK);
    EXPECT_EQ(cmp, -1);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(c, rec), "mid");
}

TEST_F(CursorTest, RangesCarryMasterDetailLinks) {
    const hCurCur c = Open("LINK");
    AddRow(c, "a1", "A");
    AddRow(c, "b1", "B");
    AddRow(c, "a2", "A");
    AddRow(c, "ab", "AB");
    // Both ends the padded key: exactly the rows of A, not those of AB.
    ASSERT_EQ(CurSetRange(c, true, 0, 0, "A    ", true, 0, 0, "A    ", true), CUR_OK);
    EXPECT_EQ(Walk(c), "a1,a2,");
    auto rec = Blank(c);
    ASSERT_EQ(CurSetToBegin(c), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    ASSERT_EQ(CurResetRange(c), CUR_OK);
    ASSERT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(c, rec), "a2"); // the row is kept
    EXPECT_EQ(Walk(c), "a1,a2,ab,b1,");
}

TEST_F(CursorTest, SeeksAndKeys) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    AddRow(c, "two", "B");
    auto rec = Blank(c);
    EXPECT_EQ(CurGetRecordForKey(c, true, 0, 0, "B", rec.data()), CURERR_NOASSOCINDEX);
    ASSERT_EQ(CurSwitchToIndex(c, nullptr, "LINK", 0, false), CUR_OK);
    ASSERT_EQ(CurGetRecordForKey(c, true, 0, 0, "B", rec.data()), CUR_OK);
    EXPECT_EQ(Name(c, rec), "two");
    std::string key;
    ASSERT_EQ(CurExtractKey(c, nullptr, key), CUR_OK);
    EXPECT_EQ(key.substr(0, 1), "B");
    // A missing direct key leaves the cursor on the row it was on.
    EXPECT_EQ(CurGetRecordForKey(c, true, 0, 0, "Q", nullptr), CURERR_RECNOTFOUND);
    EXPECT_EQ(xb_RecNo(), 2);
    // Greater-or-equal from a record buffer.
    auto probe = Blank(c);
    ASSERT_EQ(CurPutField(c, 8, probe.data(), "AA"), CUR_OK);
    ASSERT_EQ(CurGetRecordForKey(c, false, 0, 0, probe.data(), rec.data()), CUR_OK);
    EXPECT_EQ(Name(c, rec), "two");
    ASSERT_EQ(CurExtractKey(c, probe.data(), key), CUR_OK);
    EXPECT_EQ(key, "AA   ");
    // Extracting a key from a buffer leaves the current row as stored.
    ASSERT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(c, rec), "two");
}

TEST_F(CursorTest, IndexDescriptors) {
    const hCurCur c = Open();
    std::vector<IDXDesc> descs;
    ASSERT_EQ(CurGetIndexDescs(c, descs), CUR_OK);
    ASSERT_EQ(descs.size(), 2u);
    EXPECT_EQ(descs[0].szTagName, "LINK");
    EXPECT_FALSE(descs[0].bExpIdx);
    EXPECT_EQ(descs[0].iFldsInKey, 1);
    EXPECT_EQ(descs[0].aiKeyFld[0], 8);
    EXPECT_FALSE(descs[0].bUnique);
    IDXDesc d;
    EXPECT_EQ(CurGetIndexDesc(c, 3, d), CURERR_NOSUCHINDEX);
    EXPECT_EQ(xb_IndexOrd(), 0); // the order is put back
}

TEST_F(CursorTest, ExpressionFiltersJoinAndSearchFiltersAreOneOff) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    AddRow(c, "two", "B");
    AddRow(c, "three", "A");
    static const char tree = 1;
    const std::string e1 = "LINK = \"A\"", e2 = "NAME = \"t\"";
    hCurFilter f1 = 0, f2 = 0, f3 = 0;
    ASSERT_EQ(
        CurAddFilter(c, reinterpret_cast<std::uintptr_t>(e1.c_str()), 1, false, &tree, nullptr, f1),
        CUR_OK);
    ASSERT_EQ(
        CurAddFilter(c, reinterpret_cast<std::uintptr_t>(e2.c_str()), 1, false, &tree, nullptr, f2),
        CUR_OK);
    EXPECT_EQ(Walk(c), "one,two,three,"); // not active yet
    ASSERT_EQ(CurActivateFilter(c, 0), CUR_OK);
    char text[256] = {};
    xb_DBFilter(text, sizeof text);
    EXPECT_EQ(std::string(text), e1 + " .and. " + e2);
    EXPECT_EQ(Walk(c), "three,");
    ASSERT_EQ(CurDropFilter(c, f2), CUR_OK);
    EXPECT_EQ(Walk(c), "one,three,");
    ASSERT_EQ(CurDeactivateFilter(c, 0), CUR_OK);
    EXPECT_EQ(Walk(c), "one,two,three,");

    // A search filter positions before the first match and leaves no filter behind.
    const std::string search = "NAME = \"two\"";
    ASSERT_EQ(CurAddFilter(c, reinterpret_cast<std::uintptr_t>(search.c_str()), 2, false, &tree,
                           nullptr, f3),
              CUR_OK);
    ASSERT_EQ(CurActivateFilter(c, f3), CUR_OK);
    auto rec = Blank(c);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(c, rec), "two");
    ASSERT_EQ(CurDropFilter(c, f3), CUR_OK);
    ASSERT_EQ(CurActivateFilter(c, f1), CUR_OK);
    xb_Select(c);
    xb_DBFilter(text, sizeof text);
    EXPECT_EQ(std::string(text), e1);
    CURProps p;
    ASSERT_EQ(CurGetCursorProps(c, p), CUR_OK);
    EXPECT_EQ(p.iFilters, 1);
}

TEST_F(CursorTest, ARecordThatLeftTheFilterIsNoCurrentRecord) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    AddRow(c, "two", "A");
    static const char tree = 1;
    const std::string onlyA = "LINK = \"A\"";
    hCurFilter f = 0;
    ASSERT_EQ(CurAddFilter(c, reinterpret_cast<std::uintptr_t>(onlyA.c_str()), 1, false, &tree,
                           nullptr, f),
              CUR_OK);
    ASSERT_EQ(CurActivateFilter(c, f), CUR_OK);
    auto rec = Blank(c);
    ASSERT_EQ(CurSetToBegin(c), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    // Another user moves the row out of the filter.
    const hCurCur other = Open();
    auto orec = Blank(other);
    ASSERT_EQ(CurSetToBegin(other), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(other, CurLock::WriteLock, orec.data(), nullptr), CUR_OK);
    ASSERT_EQ(CurPutField(other, 8, orec.data(), "B"), CUR_OK);
    ASSERT_EQ(CurModifyRecord(other, orec.data(), true), CUR_OK);
    EXPECT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), nullptr), CURERR_NOCURRREC);
    EXPECT_EQ(Walk(c), "two,");
}

TEST_F(CursorTest, ALockedReadReturnsWhatIsStoredNow) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    auto rec = Blank(c);
    ASSERT_EQ(CurSetToBegin(c), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    // Another user changes the row while this cursor stands on it.
    const hCurCur other = Open();
    auto orec = Blank(other);
    ASSERT_EQ(CurSetToBegin(other), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(other, CurLock::WriteLock, orec.data(), nullptr), CUR_OK);
    ASSERT_EQ(CurPutField(other, 1, orec.data(), "changed"), CUR_OK);
    ASSERT_EQ(CurModifyRecord(other, orec.data(), true), CUR_OK);
    ASSERT_EQ(CurGetRecord(c, CurLock::WriteLock, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(c, rec), "changed");
}

TEST_F(CursorTest, FilterSlotsRunOut) {
    const hCurCur c = Open();
    hCurFilter f = 0;
    auto accept = [](std::uintptr_t, const std::uint8_t*, std::int32_t) { return 1; };
    for (int i = 1; i <= 100; ++i) {
        ASSERT_EQ(CurAddFilter(c, 0, 1, false, nullptr, accept, f), CUR_OK);
        EXPECT_EQ(f, i);
    }
    EXPECT_EQ(CurAddFilter(c, 0, 1, false, nullptr, accept, f), CURERR_FILTERSFULL);
    EXPECT_EQ(f, 0);
}

int RejectName(std::uintptr_t data, const std::uint8_t* record, std::int32_t) {
    const char* name = reinterpret_cast<const char*>(data);
    return std::strncmp(reinterpret_cast<const char*>(record) + 1, name, std::strlen(name)) != 0;
}

TEST_F(CursorTest, CallbackFiltersSkipRecordsAndDroppingOneKeepsTheOthers) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    AddRow(c, "two", "B");
    AddRow(c, "three", "A");
    hCurFilter f1 = 0, f2 = 0;
    ASSERT_EQ(
        CurAddFilter(c, reinterpret_cast<std::uintptr_t>("one"), 1, false, nullptr, RejectName, f1),
        CUR_OK);
    ASSERT_EQ(
        CurAddFilter(c, reinterpret_cast<std::uintptr_t>("two"), 1, false, nullptr, RejectName, f2),
        CUR_OK);
    ASSERT_EQ(CurActivateFilter(c, f1), CUR_OK);
    ASSERT_EQ(CurActivateFilter(c, f2), CUR_OK);
    EXPECT_EQ(Walk(c), "two,three,"); // the first active callback decides
    ASSERT_EQ(CurDropFilter(c, f1), CUR_OK);
    EXPECT_EQ(Walk(c), "one,three,"); // the second still works
    auto rec = Blank(c);
    ASSERT_EQ(CurSetToEnd(c), CUR_OK);
    ASSERT_EQ(CurGetPriorRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    ASSERT_EQ(CurGetPriorRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(c, rec), "one");
}

TEST_F(CursorTest, MemosAreTextAndEmptyAtEnd) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    auto rec = Blank(c);
    ASSERT_EQ(CurSetToBegin(c), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::WriteLock, rec.data(), nullptr), CUR_OK);
    const std::string text("line 1\r\nwith a \0 byte", 21);
    ASSERT_EQ(CurPutBlob(c, rec.data(), 7, 0, static_cast<std::uint32_t>(text.size()),
                         reinterpret_cast<const std::uint8_t*>(text.data())),
              CUR_OK);
    ASSERT_EQ(CurModifyRecord(c, rec.data(), true), CUR_OK);
    // Still a text memo in the descriptors.
    std::vector<FLDDesc> d;
    ASSERT_EQ(CurGetFieldDescs(c, d), CUR_OK);
    EXPECT_EQ(d[6].iSubType, fldstMEMO);

    ASSERT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    std::uint32_t size = 0;
    ASSERT_EQ(CurGetBlobSize(c, rec.data(), 7, size), CUR_OK);
    EXPECT_EQ(size, text.size());
    std::string back(size, '\0');
    std::uint32_t read = 0;
    ASSERT_EQ(
        CurGetBlob(c, rec.data(), 7, 0, size, reinterpret_cast<std::uint8_t*>(back.data()), read),
        CUR_OK);
    EXPECT_EQ(back, text);
    char piece[8] = {};
    EXPECT_EQ(CurGetBlob(c, rec.data(), 7, 18, 8, reinterpret_cast<std::uint8_t*>(piece), read),
              CURERR_ENDOFBLOB);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(CurGetBlob(c, rec.data(), 7, 40, 2, reinterpret_cast<std::uint8_t*>(piece), read),
              CURERR_OUTOFRANGE);
    EXPECT_EQ(CurTruncateBlob(c, rec.data(), 7, 4), CUR_OK);
    ASSERT_EQ(CurGetBlobSize(c, rec.data(), 7, size), CUR_OK);
    EXPECT_EQ(size, 4u);

    // At end of file there is no record, so no memo: never the last row's.
    ASSERT_EQ(CurSetToEnd(c), CUR_OK);
    auto blank = Blank(c);
    ASSERT_EQ(CurGetBlobSize(c, blank.data(), 7, size), CUR_OK);
    EXPECT_EQ(size, 0u);
}

TEST_F(CursorTest, AppendResultsAndLocks) {
    const hCurCur c = Open();
    auto rec = Blank(c);
    ASSERT_EQ(CurPutField(c, 1, rec.data(), "locked"), CUR_OK);
    ASSERT_EQ(CurInsertRecord(c, CurLock::WriteLock, rec.data()), CUR_OK);
    // A second open behaves as another user.
    const hCurCur other = Open();
    auto orec = Blank(other);
    ASSERT_EQ(CurSetToBegin(other), CUR_OK);
    xb_SetLockTimeout(0);
    EXPECT_EQ(CurGetNextRecord(other, CurLock::WriteLock, orec.data(), nullptr), CURERR_LOCKED);
    ASSERT_EQ(CurRelRecordLock(c, false), CUR_OK);
    ASSERT_EQ(CurSetToBegin(other), CUR_OK);
    EXPECT_EQ(CurGetNextRecord(other, CurLock::WriteLock, orec.data(), nullptr), CUR_OK);
    ASSERT_EQ(CurRelRecordLock(other, true), CUR_OK);
    // Without a lock request the new record is free at once.
    ASSERT_EQ(CurAppendRecord(c, rec.data()), CUR_OK);
    ASSERT_EQ(CurSetToEnd(other), CUR_OK);
    EXPECT_EQ(CurGetPriorRecord(other, CurLock::WriteLock, orec.data(), nullptr), CUR_OK);
    EXPECT_EQ(Name(other, orec), "locked");
    xb_SetLockTimeout(1);

    // Read-only cursors cannot append.
    hCurCur ro = 0;
    ASSERT_EQ(CurOpenTable(db_, "my-items.dbf", "XBFOX", nullptr, nullptr, 0, 1, 0, ro), CUR_OK);
    EXPECT_EQ(CurAppendRecord(ro, rec.data()), CURERR_APPEND5);
    EXPECT_EQ(CurAppendRecord(254, rec.data()), CURERR_INVALIDHNDL);
}

TEST_F(CursorTest, DeletedRecordsHideWithTheDeletedSetting) {
    const hCurCur c = Open();
    AddRow(c, "one", "A");
    AddRow(c, "two", "B");
    auto rec = Blank(c);
    ASSERT_EQ(CurSetToBegin(c), CUR_OK);
    ASSERT_EQ(CurGetNextRecord(c, CurLock::NoLock, rec.data(), nullptr), CUR_OK);
    ASSERT_EQ(CurDeleteRecord(c, rec.data()), CUR_OK);
    RECProps props;
    ASSERT_EQ(CurGetRecord(c, CurLock::NoLock, rec.data(), &props), CUR_OK);
    EXPECT_TRUE(props.bDeleteFlag);
    xb_SetDeleted(1);
    EXPECT_EQ(Walk(c), "two,");
    xb_SetDeleted(0);
    EXPECT_EQ(Walk(c), "one,two,");
}

TEST_F(CursorTest, FieldListCursor) {
    const hCurCur c = Open();
    (void)c;
    hCurCur list = 0;
    ASSERT_EQ(CurOpenFieldList(db_, "my-items.dbf", "XBFOX", list), CUR_OK);
    EXPECT_EQ(list, 260);
    FLDDesc d{};
    int n = 0;
    while (CurGetNextRecord(list, CurLock::NoLock, reinterpret_cast<std::uint8_t*>(&d), nullptr) ==
           CUR_OK)
        ++n;
    EXPECT_EQ(n, 8);
    EXPECT_STREQ(d.szName, "LINK");
    EXPECT_EQ(CurCloseCursor(list), CUR_OK);
    // A table that is not open is opened for the list and closed again.
    CurExit();
    ASSERT_EQ(CurOpenFieldList(db_, "my-items.dbf", "XBFOX", list), CUR_OK);
    EXPECT_EQ(xb_WorkArea("my_items"), 0);
    hCurCur empty = 0;
    ASSERT_EQ(CurOpenVchkList(c, empty), CUR_OK);
    EXPECT_EQ(empty, 261);
    EXPECT_EQ(CurGetNextRecord(empty, CurLock::NoLock, nullptr, nullptr), CURERR_EOF);
}

TEST(CursorMisc, ErrorTextsPropertiesAndUnsupportedFunctions) {
    std::string text;
    CurGetErrorString(10024, text);
    EXPECT_EQ(text, "Cursor Error : 10024");
    CurGetErrorString(11011, text);
    EXPECT_EQ(text, "File Open Error");
    EXPECT_EQ(ErrCat(CURERR_RECNOTFOUND), ERRCAT_NOTFOUND);
    EXPECT_EQ(ErrCat(CURERR_EOF), ERRCAT_NOTFOUND);
    EXPECT_NE(ErrCat(CURERR_LOCKED), ERRCAT_NOTFOUND);

    test::InfoBoxes boxes;
    char value[16] = {};
    int len = 0;
    EXPECT_EQ(CurGetProp(0, dbDATABASETYPE, value, sizeof value, &len), CUR_OK);
    EXPECT_STREQ(value, "STANDARD");
    EXPECT_EQ(len, 8);
    EXPECT_EQ(CurGetProp(0, 0x20002, value, sizeof value, &len), CUR_OK);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(CurGetProp(0, 0xABC, value, sizeof value, &len), CUR_OK);
    EXPECT_EQ(CurCloseIndex(), CUR_OK);
    EXPECT_EQ(CurGetLdNameFromDB(), CUR_OK);
    ASSERT_EQ(boxes.texts.size(), 3u);
    EXPECT_EQ(boxes.texts[0], "CurGetProp: iProp = 00000ABC");
    EXPECT_EQ(boxes.texts[1], "This cursor function is not supported: CurCloseIndex");
    EXPECT_EQ(boxes.texts[2], "This cursor function is not supported: GetCurLdNameFromDb");
    int session = 0;
    EXPECT_EQ(CurGetCurrSession(session), CUR_OK);
    EXPECT_EQ(session, 1);
    EXPECT_EQ(CurGetDatabaseDesc("x"), CURERR_OBJNOTFOUND);
    std::string ld;
    EXPECT_EQ(CurGetLdName("x", "y", ld), CURERR_NOSUCHLDRV);
}

TEST(CursorMisc, AliasPathsBecomeTheDefaultDirectory) {
    EXPECT_EQ(CurAddAlias("A", "STANDARD", "PATH:\"/srv/Tables/\""), CUR_OK);
    hCurDb db = 0;
    ASSERT_EQ(CurOpenDatabase(nullptr, db), CUR_OK);
    std::string full;
    CurFormFullName(db, "t.dbf", full);
    EXPECT_EQ(full, "/SRV/TABLES/t.dbf");
    CurCloseDatabase(db);
    ASSERT_EQ(CurOpenDatabase("/data", db), CUR_OK);
    CurFormFullName(db, "t.dbf", full);
    EXPECT_EQ(full, "/data/t.dbf");
    CurCloseDatabase(db);
}

} // namespace
} // namespace data
