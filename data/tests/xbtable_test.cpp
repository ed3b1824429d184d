// The table component's operations and the environment component.
#include <gtest/gtest.h>

#include "data/dataset.h"
#include "data/tests/testutil.h"
#include "data/xbtable.h"
#include "platform/win/formatdatetime.h"
#include "platform/xbase/xbengine.h"

namespace data {
namespace {

class EnvTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = win::DefaultFormatSettings(); }
    void TearDown() override {
        TXbEnv::Release();
        win::DefaultFormatSettings() = saved_;
        xb_SetEpoch(1900);
        xb_SetCentury(0);
        xb_SetDateFormat(XB_DATE_WINDOWS);
    }
    win::FormatSettings saved_;
};

TEST_F(EnvTest, OnlyOneEnvironmentPerProgram) {
    TXbEnv& env = TXbEnv::Create();
    EXPECT_EQ(TXbEnv::Instance(), &env);
    try {
        TXbEnv::Create();
        FAIL();
    } catch (const EXbEnvError& e) {
        EXPECT_STREQ(e.what(), "Removing extra TXbEnv component");
        EXPECT_EQ(&e.Existing(), &env);
    }
    EXPECT_EQ(TXbEnv::Instance(), &env);
    TXbEnv::Release();
    EXPECT_EQ(TXbEnv::Instance(), nullptr);
}

TEST_F(EnvTest, DefaultsTouchNothing) {
    const int epoch = xb_SetEpoch(1977);
    xb_SetEpoch(epoch);
    TXbEnv& env = TXbEnv::Create();
    EXPECT_FALSE(env.Exact());
    EXPECT_FALSE(env.Century());
    EXPECT_EQ(env.Epoch(), 1900);
    EXPECT_EQ(env.DateFormat(), TXbDateFrmt::dfWinDefault);
    EXPECT_EQ(env.LockTimeout(), 1);
    EXPECT_EQ(env.MemoBlockSize(), 64);
    EXPECT_FALSE(env.SoftSeek());
    EXPECT_FALSE(env.Deleted());
    EXPECT_EQ(xb_SetEpoch(epoch), epoch);
}

TEST_F(EnvTest, EpochIsClamped) {
    TXbEnv& env = TXbEnv::Create();
    const struct {
        int in, out;
    } cases[] = {{0, 1900}, {50, 100}, {5000, 2999}, {3000, 2999}, {1950, 1950}, {100, 100}};
    for (const auto& c : cases) {
        env.SetEpoch(c.in);
        EXPECT_EQ(env.Epoch(), c.out) << c.in;
        EXPECT_EQ(xb_SetEpoch(c.out), c.out) << "the engine holds it too";
    }
}

TEST_F(EnvTest, DateFormatsAndCentury) {
    TXbEnv& env = TXbEnv::Create();
    win::FormatSettings& fs = win::DefaultFormatSettings();
    const struct {
        TXbDateFrmt f;
        const char* format;
        char sep;
    } cases[] = {
        {TXbDateFrmt::dfAmerican, "mm/dd/yy", '/'}, {TXbDateFrmt::dfAnsi, "yy.mm.dd", '.'},
        {TXbDateFrmt::dfBritish, "dd/mm/yy", '/'},  {TXbDateFrmt::dfFrench, "dd/mm/yy", '/'},
        {TXbDateFrmt::dfGerman, "dd.mm.yy", '.'},   {TXbDateFrmt::dfItalian, "dd-mm-yy", '-'},
        {TXbDateFrmt::dfSpanish, "dd-mm-yy", '-'},  {TXbDateFrmt::dfWinDefault, "m/d/yy", '/'}};
    for (const auto& c : cases) {
        env.SetDateFormat(c.f);
        EXPECT_EQ(fs.ShortDateFormat, c.format);
        EXPECT_EQ(fs.DateSeparator, c.sep);
        EXPECT_EQ(xb_SetDateFormat(0),
                  c.f == TXbDateFrmt::dfWinDefault ? XB_DATE_WINDOWS : static_cast<int>(c.f));
    }
    env.SetDateFormat(TXbDateFrmt::dfBritish);
    env.SetCentury(true);
    EXPECT_EQ(fs.ShortDateFormat, "dd/mm/yyyy");
    env.SetDateFormat(TXbDateFrmt::dfGerman); // century stays on
    EXPECT_EQ(fs.ShortDateFormat, "dd.mm.yyyy");
    env.SetCentury(false);
    EXPECT_EQ(fs.ShortDateFormat, "dd.mm.yy");
    // Text dates follow the program's format.
    env.SetDateFormat(TXbDateFrmt::dfBritish);
    EXPECT_EQ(win::FormatDateTime("yyyymmdd", StrToDate("09/12/2026")), "20261209");
    EXPECT_EQ(win::FormatDateTime("yyyymmdd", StrToDate("9/12/26")), "20261209");
    EXPECT_THROW((void)StrToDate("12/31/26"), EConvertError);
    EXPECT_THROW((void)StrToDate("abc"), EConvertError);
}

TEST_F(EnvTest, SettingsReachTheEngine) {
    TXbEnv& env = TXbEnv::Create();
    env.SetDeleted(true);
    EXPECT_EQ(xb_SetDeleted(1), 1);
    env.SetSoftSeek(true);
    EXPECT_EQ(xb_SysProp(XB_PROP_GET_SOFTSEEK, 0), 1);
    env.SetExact(true);
    EXPECT_EQ(xb_SysProp(XB_PROP_GET_EXACT, 0), 1);
    env.SetLockTimeout(3);
    EXPECT_EQ(xb_SetLockTimeout(1), 3);
    env.SetSoftSeek(false);
    env.SetExact(false);
    env.SetDeleted(false);
}

TEST(XbTable, ExtraIndexExtensions) {
    EXPECT_EQ(ExtraIndexFileName(TTableType::ttXBFOX, "extra"), "extra.IDX");
    EXPECT_EQ(ExtraIndexFileName(TTableType::ttXBNTX, "extra"), "extra.NTX");
    EXPECT_EQ(ExtraIndexFileName(TTableType::ttXBNSX, "extra"), "extra.NSX");
    EXPECT_EQ(ExtraIndexFileName(TTableType::ttXBFOX, "extra.cdx"), "extra.cdx");
    EXPECT_EQ(ExtraIndexFileName(TTableType::ttDBase, "extra"), "extra");
}

TEST(XbTable, WithoutADataSetNothingRuns) {
    TXbTable xb;
    EXPECT_FALSE(xb.Seek("x"));
    EXPECT_EQ(xb.Count(), 0);
    EXPECT_EQ(xb.RecNo(), 0);
    xb.Go(3);
    xb.SetTurboRead(true);
    EXPECT_TRUE(xb.TurboRead());
}

TEST(XbTable, OperationsRunOnTheTablesAreaAndSelectTheOldOneAgain) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    TTable nodes, groups;
    TDataSource source;
    source.SetDataSet(&nodes);
    TXbTable xb;
    xb.SetDataSource(&source);
    for (TTable* t : {&nodes, &groups}) {
        t->SetDatabaseName(dir.Path());
        t->SetTableType(TTableType::ttXBFOX);
    }
    nodes.SetTableName("NODES.DBF");
    groups.SetTableName("GROUPS.DBF");
    nodes.Open();
    groups.Open();
    for (const char* id : {"A", "B", "C"}) {
        nodes.Append();
        nodes.FieldByName("UNIQUE_ID").SetAsString(id);
        nodes.Post();
    }
    xb_Select(groups.Handle());
    xb.Go(2);
    EXPECT_EQ(xb_WorkArea(nullptr), groups.Handle());
    EXPECT_EQ(nodes.FieldByName("UNIQUE_ID").AsString(), "B");
    EXPECT_EQ(xb.RecNo(), 2);
    nodes.Next();
    EXPECT_EQ(nodes.FieldByName("UNIQUE_ID").AsString(), "C");
    xb_Select(groups.Handle());
    EXPECT_EQ(xb.SetOrder(1), 0);
    EXPECT_EQ(nodes.IndexName(), "UNIQUE_ID");
    EXPECT_EQ(xb.TagName(3), "NODE");
    EXPECT_TRUE(xb.Seek("A"));
    EXPECT_EQ(xb.RecNo(), 1);
    EXPECT_EQ(xb.SysProp(XB_PROP_INDEX_COUNT, 0), 3);
    EXPECT_EQ(xb_WorkArea(nullptr), groups.Handle());
    xb.SetTurboRead(false);
}

TEST(XbTable, FollowsTheDataSourcesDataSetAndOpensExtraIndexes) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    // A second index file beside the table, with a tag of its own.
    const std::string table = dir.Path() + "RECEIVED.DBF";
    ASSERT_NE(xb_Use(table.c_str(), "", XB_EXCLUSIVE, XB_DRIVER_FOX), 0);
    ASSERT_NE(xb_IndexTag((dir.Path() + "extra.cdx").c_str(), "BYSUBJECT", "SUBJECT", 0, 0, ""), 0);
    xb_Close();

    TDataSource source;
    TXbTable xb;
    xb.SetDataSource(&source);
    {
        TTable gone;
        source.SetDataSet(&gone);
        EXPECT_EQ(xb.Count(), 0);
    }
    // The destroyed table is not used again.
    EXPECT_EQ(xb.Count(), 0);
    EXPECT_FALSE(xb.Seek("x"));

    TTable received;
    received.SetDatabaseName(dir.Path());
    received.SetTableName("received.dbf");
    received.SetIndexName("LINK_ID");
    source.SetDataSet(&received);
    xb.SetExtraIndexes({"extra.cdx"});
    received.Open();
    EXPECT_EQ(received.IndexName(), "LINK_ID"); // the table's own order is kept
    EXPECT_EQ(xb.TagName(xb.IndexOrd()), "LINK_ID");
    bool extra = false;
    for (const IDXDesc& d : received.IndexDefs())
        extra = extra || d.szTagName == "BYSUBJECT";
    EXPECT_TRUE(extra);
}

} // namespace
} // namespace data
