// Tables made and changed through the xb_ operations: creation, work areas,
// record buffers, field access by type, memos, navigation under the deleted
// setting, locks and maintenance.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

// A RECEIVED-shaped table with a memo and a few typed fields.
std::string MakeTable(const TempDir& dir, const char* name = "received.dbf") {
    const XbFieldDef fields[] = {Def("MESSAGE_ID", 'C', 40), Def("LINK_ID", 'C', 20),
                                 Def("RECDATE", 'D', 8),     Def("FROM", 'C', 40),
                                 Def("POSITION", 'N', 4),    Def("PRICE", 'N', 4, 2),
                                 Def("SEEN", 'L', 1),        Def("NOTES", 'M', 10)};
    std::string p = dir.File(name);
    EXPECT_EQ(xb_Create(p.c_str(), fields, 8), 1) << ErrorText();
    return p;
}

void AppendRow(const std::string& id, const std::string& link = "L1") {
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK) << ErrorText();
    ASSERT_TRUE(Put("MESSAGE_ID", id));
    ASSERT_TRUE(Put("LINK_ID", link));
    ASSERT_EQ(xb_Unlock(0), 1) << ErrorText();
}

class Table : public ::testing::Test {
protected:
    EngineReset reset_;
    TempDir dir_;
};

TEST_F(Table, CreateRefusesToOverwriteAndDescribesItsFields) {
    std::string p = MakeTable(dir_);
    const XbFieldDef one[] = {Def("A", 'C', 1)};
    EXPECT_EQ(xb_Create(p.c_str(), one, 1), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_EXISTS);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    EXPECT_EQ(xb_FieldCount(), 8);
    EXPECT_EQ(xb_RecSize(), 1 + 40 + 20 + 8 + 40 + 4 + 4 + 1 + 10);
    EXPECT_EQ(xb_FieldOffset(1), 2); // offset 1 is the deletion byte
    EXPECT_EQ(xb_FieldOffset(2), 42);
    EXPECT_EQ(xb_FieldNum("from"), 4);
    EXPECT_EQ(xb_FieldNum("NOPE"), 0);
    EXPECT_EQ(xb_FieldType(3), 'D');
    EXPECT_EQ(xb_FieldWidth(5), 4);
    EXPECT_EQ(xb_FieldDecimals(6), 2);
    char name[16];
    xb_FieldName(8, name, sizeof name);
    EXPECT_STREQ(name, "NOTES");
    EXPECT_EQ(xb_FieldType(99), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_FIELD);
    EXPECT_EQ(xb_RecCount(), 0);
    EXPECT_TRUE(xb_Eof());
    EXPECT_TRUE(xb_Bof());
}

TEST_F(Table, WorkAreasAliasesAndSelect) {
    std::string p = MakeTable(dir_);
    int a = xb_Use(p.c_str(), "RECEIVED", XB_SHARED, 2);
    ASSERT_EQ(a, 1);
    EXPECT_EQ(xb_WorkArea("received"), 1);
    EXPECT_EQ(xb_WorkArea(nullptr), 1);
    // The same alias twice is refused; another alias opens the file again.
    EXPECT_EQ(xb_Use(p.c_str(), "RECEIVED", XB_SHARED, 2), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_ALIAS);
    int b = xb_Use(p.c_str(), "RECEIVED_1", XB_SHARED, 2);
    ASSERT_EQ(b, 2);
    EXPECT_EQ(xb_Select(1), 2);
    EXPECT_EQ(xb_WorkArea(nullptr), 1);
    char alias[32];
    xb_Alias(2, alias, sizeof alias);
    EXPECT_STREQ(alias, "RECEIVED_1");
    EXPECT_EQ(xb_Alias(7, alias, sizeof alias), 0);
    EXPECT_EQ(xb_SysProp(XB_PROP_AREA_OPEN, 2), 1);
    EXPECT_EQ(xb_SysProp(XB_PROP_AREA_OPEN, 3), 0);
    EXPECT_EQ(xb_Select(300), 1); // out of range: nothing changes
    EXPECT_EQ(xb_Close(), 1);
    EXPECT_EQ(xb_WorkArea("RECEIVED"), 0);
    EXPECT_EQ(xb_RecCount(), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_NOAREA);
    // The lowest free area is taken again.
    EXPECT_EQ(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 1);
}

TEST_F(Table, FieldValuesByType) {
    std::string p = MakeTable(dir_);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    EXPECT_TRUE(Put("MESSAGE_ID", std::string(50, 'x'))); // cut to 40
    EXPECT_EQ(Str("MESSAGE_ID"), std::string(40, 'x'));
    EXPECT_TRUE(Put("FROM", "Ann"));
    EXPECT_EQ(Str("FROM"), "Ann" + std::string(37, ' '));
    EXPECT_EQ(Trim("FROM"), "Ann");
    double d = 3.14159;
    EXPECT_EQ(xb_Replace("PRICE", XB_REPLACE_DOUBLE, &d, 0), 1);
    EXPECT_EQ(Str("PRICE"), "3.14");
    d = 999.9; // decimals dropped until it fits
    EXPECT_EQ(xb_Replace("PRICE", XB_REPLACE_DOUBLE, &d, 0), 1);
    EXPECT_EQ(Str("PRICE"), "1000");
    d = 123456;
    EXPECT_EQ(xb_Replace("POSITION", XB_REPLACE_DOUBLE, &d, 0), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_FIELD);
    EXPECT_TRUE(Put("POSITION", "12"));
    EXPECT_EQ(Str("POSITION"), "  12");
    EXPECT_EQ(Trim("POSITION"), "12");
    int yes = 1;
    EXPECT_EQ(xb_Replace("SEEN", XB_REPLACE_LOGICAL, &yes, 0), 1);
    EXPECT_EQ(xb_GetLogical("SEEN"), 1);
    EXPECT_TRUE(Put("SEEN", "Y"));
    EXPECT_EQ(Str("SEEN"), "T");
    EXPECT_EQ(xb_Empty("RECDATE"), 1);
    EXPECT_EQ(xb_Replace("RECDATE", XB_REPLACE_DATE, "03/04/21", -1), 1);
    EXPECT_EQ(Str("RECDATE"), "19210304"); // two-digit year in the epoch 1900
    EXPECT_EQ(xb_Empty("RECDATE"), 0);
    char buf[32];
    xb_GetDateString("RECDATE", buf, sizeof buf);
    EXPECT_STREQ(buf, "03/04/21");
    xb_SetCentury(1);
    xb_SetDateFormat(XB_DATE_GERMAN);
    xb_GetDateString("RECDATE", buf, sizeof buf);
    EXPECT_STREQ(buf, "04.03.1921");
    EXPECT_EQ(xb_Replace("RECDATE", XB_REPLACE_DATE, "31.12.1999", -1), 1);
    EXPECT_EQ(Str("RECDATE"), "19991231");
    EXPECT_EQ(xb_Replace("RECDATE", XB_REPLACE_DATE, "31.02.1999", -1), 0);
    EXPECT_EQ(xb_Replace("RECDATE", XB_REPLACE_STRING, "", 0), 1);
    EXPECT_EQ(Str("RECDATE"), std::string(8, ' '));
    EXPECT_EQ(xb_Replace("NOPE", XB_REPLACE_STRING, "x", 1), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_FIELD);
    EXPECT_EQ(xb_Commit(), 1);
    EXPECT_EQ(xb_RecCount(), 1);
}

TEST_F(Table, EpochPlacesTwoDigitYears) {
    std::string p = MakeTable(dir_);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    EXPECT_EQ(xb_SetEpoch(1950), 1900);
    EXPECT_EQ(xb_Replace("RECDATE", XB_REPLACE_DATE, "01/01/49", -1), 1);
    EXPECT_EQ(Str("RECDATE"), "20490101");
    EXPECT_EQ(xb_Replace("RECDATE", XB_REPLACE_DATE, "01/01/50", -1), 1);
    EXPECT_EQ(Str("RECDATE"), "19500101");
    EXPECT_EQ(xb_SetEpoch(1900), 1950);
    EXPECT_EQ(xb_SetEpoch(5), 1900); // out of range: unchanged
}

TEST_F(Table, MemosAndBlobs) {
    std::string p = MakeTable(dir_);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    AppendRow("a");
    std::string text = "first line\r\nsecond line";
    ASSERT_EQ(xb_Replace("NOTES", XB_REPLACE_MEMO, text.c_str(), -1), 1) << ErrorText();
    EXPECT_EQ(Memo("NOTES"), text);
    EXPECT_EQ(xb_GetBlobLength("NOTES"), 0); // text, not binary
    // Growing past its blocks moves it; shrinking keeps the place.
    std::string big(5000, 'm');
    ASSERT_EQ(xb_Replace("NOTES", XB_REPLACE_MEMO, big.c_str(), -1), 1);
    EXPECT_EQ(Memo("NOTES"), big);
    ASSERT_EQ(xb_Replace("NOTES", XB_REPLACE_MEMO, "short", -1), 1);
    EXPECT_EQ(Memo("NOTES"), "short");
    std::string bin("a\0b\0c", 5);
    ASSERT_EQ(xb_PutBlob("NOTES", bin.data(), 5), 1);
    EXPECT_EQ(xb_GetBlobLength("NOTES"), 5);
    char out[8] = {};
    EXPECT_EQ(xb_GetBlob("NOTES", out, sizeof out), 5);
    EXPECT_EQ(std::string(out, 5), bin);
    ASSERT_EQ(xb_Commit(), 1);
    ASSERT_EQ(xb_PutBlob("NOTES", nullptr, 0), 1);
    EXPECT_EQ(xb_Empty("NOTES"), 1);
    EXPECT_EQ(xb_GetMemo("FROM", nullptr), nullptr);
    EXPECT_EQ(xb_LastError(), XB_ERR_FIELD);
    // The memo survives a reopen.
    ASSERT_EQ(xb_Replace("NOTES", XB_REPLACE_MEMO, "kept", -1), 1);
    xb_CloseAll();
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_READONLY, 2), 0);
    xb_GoTop();
    EXPECT_EQ(Memo("NOTES"), "kept");
}

TEST_F(Table, NavigationObeysTheDeletedSetting) {
    std::string p = MakeTable(dir_);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    for (const char* id : {"1", "2", "3", "4"})
        AppendRow(id);
    ASSERT_EQ(xb_Go(1), 1);
    ASSERT_EQ(xb_Delete(), 1);
    ASSERT_EQ(xb_Go(3), 1);
    ASSERT_EQ(xb_Delete(), 1);
    EXPECT_EQ(xb_Deleted(), 1);
    EXPECT_EQ(xb_Count(), 4);
    EXPECT_EQ(xb_SetDeleted(1), 0);
    EXPECT_EQ(xb_Count(), 2);
    xb_GoTop();
    EXPECT_EQ(xb_RecNo(), 2);
    EXPECT_FALSE(xb_Bof());
    xb_Skip(1);
    EXPECT_EQ(xb_RecNo(), 4);
    xb_Skip(1);
    EXPECT_TRUE(xb_Eof());
    EXPECT_EQ(xb_RecNo(), 5);
    xb_Skip(1); // stays at the end
    EXPECT_TRUE(xb_Eof());
    xb_Skip(-1);
    EXPECT_EQ(xb_RecNo(), 4);
    xb_Skip(-5);
    EXPECT_TRUE(xb_Bof());
    EXPECT_EQ(xb_RecNo(), 2); // before the first: on the first visible one
    xb_GoBottom();
    EXPECT_EQ(xb_RecNo(), 4);
    // Go lands anywhere, deleted or not; out of range is end of file.
    xb_Go(3);
    EXPECT_EQ(xb_RecNo(), 3);
    EXPECT_EQ(xb_Deleted(), 1);
    EXPECT_EQ(Trim("MESSAGE_ID"), "3");
    xb_Go(99);
    EXPECT_TRUE(xb_Eof());
    EXPECT_EQ(Trim("MESSAGE_ID"), "");
    xb_Go(3);
    ASSERT_EQ(xb_Recall(), 1);
    EXPECT_EQ(xb_Count(), 3);
    // Nothing visible: end and beginning at once.
    for (int r = 1; r <= 4; ++r) {
        xb_Go(r);
        xb_Delete();
    }
    xb_GoTop();
    EXPECT_TRUE(xb_Eof());
    EXPECT_TRUE(xb_Bof());
    EXPECT_EQ(xb_Skip(1), 1);
    EXPECT_EQ(xb_Delete(), 0); // no current record
    EXPECT_EQ(xb_LastError(), XB_ERR_RANGE);
}

TEST_F(Table, RecordBuffersReadAndOverwrite) {
    std::string p = MakeTable(dir_);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    AppendRow("one");
    std::string rec(static_cast<std::size_t>(xb_RecSize()), '\0');
    ASSERT_EQ(xb_GetRecord(rec.data(), static_cast<int>(rec.size())), xb_RecSize());
    EXPECT_EQ(rec[0], ' ');
    EXPECT_EQ(rec.substr(1, 3), "one");
    auto* buffer = reinterpret_cast<const char*>(xb_SysProp(XB_PROP_RECORD_BUFFER, 0));
    EXPECT_EQ(std::string(buffer, rec.size()), rec);
    rec.replace(1, 3, "two");
    ASSERT_EQ(xb_PutRecord(rec.data(), static_cast<int>(rec.size())), xb_RecSize());
    EXPECT_EQ(Trim("MESSAGE_ID"), "two");
    // Moving away writes the changed buffer.
    xb_GoBottom();
    xb_Go(1);
    EXPECT_EQ(Trim("MESSAGE_ID"), "two");
    xb_Go(5);
    EXPECT_EQ(xb_PutRecord(rec.data(), static_cast<int>(rec.size())), 0);
}

TEST_F(Table, PackAndZapNeedAnExclusiveOpen) {
    std::string p = MakeTable(dir_);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    for (int i = 1; i <= 10; ++i)
        AppendRow(std::to_string(i));
    ASSERT_EQ(xb_Replace("NOTES", XB_REPLACE_MEMO, "memo of ten", -1), 1);
    for (int r : {2, 5, 9}) {
        xb_Go(r);
        xb_Delete();
    }
    EXPECT_EQ(xb_Pack(), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_EXCLUSIVE);
    EXPECT_EQ(xb_Zap(), 0);
    EXPECT_EQ(xb_RecCount(), 10);
    xb_CloseAll();
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    ASSERT_EQ(xb_Pack(), 1) << ErrorText();
    EXPECT_EQ(xb_RecCount(), 7);
    std::string ids;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        ids += Trim("MESSAGE_ID") + ",";
    EXPECT_EQ(ids, "1,3,4,6,7,8,10,");
    xb_GoBottom();
    EXPECT_EQ(Memo("NOTES"), "memo of ten");
    ASSERT_EQ(xb_Zap(), 1);
    EXPECT_EQ(xb_RecCount(), 0);
    xb_GoTop();
    EXPECT_TRUE(xb_Eof());
    AppendRow("after zap");
    EXPECT_EQ(xb_RecCount(), 1);
}

TEST_F(Table, ReadOnlyOpensRefuseWrites) {
    std::string p = MakeTable(dir_);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_READONLY, 2), 0);
    EXPECT_EQ(xb_AppendEx(), XB_APPEND_READONLY);
    EXPECT_EQ(xb_Pack(), 0);
    xb_CloseAll();
    EXPECT_EQ(xb_AppendEx(), XB_APPEND_NOTABLE);
}

TEST_F(Table, VersionAndSettings) {
    std::string v = xb_Version();
    ASSERT_GE(v.size(), 8u);
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(v[6])));
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(v[7])));
    EXPECT_GE(std::stoi(v.substr(6, 2)), 0);
    EXPECT_EQ(xb_SetExact(1), 0);
    EXPECT_EQ(xb_SysProp(XB_PROP_GET_EXACT, 0), 1);
    EXPECT_EQ(xb_SysProp(XB_PROP_SET_EXACT, 0), 1);
    EXPECT_EQ(xb_SetSoftSeek(1), 0);
    EXPECT_EQ(xb_SysProp(XB_PROP_SET_SOFTSEEK, 0), 1);
    EXPECT_EQ(xb_SysProp(XB_PROP_GET_SOFTSEEK, 0), 0);
    EXPECT_EQ(xb_SysProp(XB_PROP_HEADER_CACHE, 0), 0);
    EXPECT_EQ(xb_SysProp(XB_PROP_ONE_TAG_FILES, 0), 0);
    EXPECT_EQ(xb_SetLockTimeout(3), 1);
    EXPECT_EQ(xb_SetMemoBlockSize(64), 64);
    EXPECT_EQ(xb_SetStringType(1), 1);
}

} // namespace
