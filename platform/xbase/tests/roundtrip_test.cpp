// Tables the engine writes open in outside readers: dbfread sees the same
// fields, values, deleted flags and memos; dbf_dump lists the rows.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

#include "platform/xbase/tests/canonical.h"
#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

TEST(RoundTrip, DbfreadReadsWhatWeWrite) {
    EngineReset reset;
    TempDir dir;
    const XbFieldDef fields[] = {Def("UNIQUE_ID", 'C', 20), Def("GROUP", 'C', 40),
                                 Def("POSITION", 'N', 4),   Def("AMOUNT", 'N', 10, 2),
                                 Def("CREATEON", 'D', 8),   Def("ACTIVE", 'L', 1),
                                 Def("NOTES", 'M', 10)};
    std::string p = dir.File("groups.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 7), 1) << ErrorText();
    std::string empty = DbfreadDump(p);
    EXPECT_EQ(empty, "");
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    for (int i = 1; i <= 40; ++i) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("UNIQUE_ID", "20240101120000g" + std::to_string(i));
        Put("GROUP", i % 3 ? "Group " + std::to_string(i) : "Ümlaut \xe9t\xe9");
        if (i % 4)
            Put("POSITION", std::to_string(i));
        double amount = i * 10.25 - 100;
        xb_Replace("AMOUNT", XB_REPLACE_DOUBLE, &amount, 0);
        if (i % 5)
            xb_Replace("CREATEON", XB_REPLACE_DATE,
                       ("01/" + std::to_string(i % 28 + 1) + "/99").c_str(), -1);
        int on = i % 2;
        xb_Replace("ACTIVE", XB_REPLACE_LOGICAL, &on, 0);
        if (i % 3 == 0) {
            std::string memo =
                "Notes of row " + std::to_string(i) + "\r\n" + std::string(i * 7, 'n');
            xb_Replace("NOTES", XB_REPLACE_MEMO, memo.c_str(), -1);
        }
        ASSERT_EQ(xb_Commit(), 1) << ErrorText();
        xb_Unlock(0);
    }
    for (int r : {3, 10, 11, 40}) {
        xb_Go(r);
        ASSERT_EQ(xb_Delete(), 1);
    }
    // Rewriting a memo in place and moving a longer one.
    xb_Go(6);
    xb_Replace("NOTES", XB_REPLACE_MEMO, "short", -1);
    xb_Go(9);
    std::string longer(3000, 'L');
    xb_Replace("NOTES", XB_REPLACE_MEMO, longer.c_str(), -1);
    xb_Commit();
    xb_CloseAll();

    std::string theirs = DbfreadDump(p);
    std::string ours = EngineDump(p);
    EXPECT_EQ(ours, theirs);
    EXPECT_NE(theirs.find("\nD\t"), std::string::npos); // deleted rows travel

    // DBD::XBase lists the live rows.
    std::string dumped = Capture("dbf_dump '" + p + "'");
    int rows = 0;
    for (std::size_t at = 0; (at = dumped.find("20240101120000g", at)) != std::string::npos; ++at)
        ++rows;
    EXPECT_EQ(rows, 36); // it leaves out the deleted ones
}

TEST(RoundTrip, AppendsToAVisualFoxproTableKeepBinaryFieldsEmpty) {
    EngineReset reset;
    TempDir dir;
    CopyShared("infused-dbf", dir);
    std::string p = dir.File("dbase_31.dbf");
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    Put("PRODUCTNAM", "Added by the engine");
    Put("PRODUCTID", "78");
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    xb_CloseAll();
    std::string theirs = DbfreadDump(p);
    EXPECT_NE(theirs.find(Hex("Added by the engine")), std::string::npos);
    EXPECT_EQ(EngineDump(p), theirs);
}

TEST(RoundTrip, TablesWrittenByPythonDbfOpenAndTakeOurRows) {
    EngineReset reset;
    TempDir dir;
    std::string script = std::string(QUELTA_SOURCE_DIR) + "/platform/xbase/tests/dbf_make.py";
    std::string p = dir.File("made.dbf");
    int status = 0;
    Capture("/usr/bin/python3 '" + script + "' make '" + p + "' 2>&1", &status);
    if (status != 0)
        GTEST_SKIP() << "python3-dbf is not installed (apt-get install python3-dbf)";
    EXPECT_EQ(EngineDump(p), DbfreadDump(p));
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    xb_Go(3);
    EXPECT_EQ(xb_Deleted(), 1);
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    Put("NAME", "from the engine");
    xb_Replace("NOTES", XB_REPLACE_MEMO, "engine memo", -1);
    ASSERT_EQ(xb_Commit(), 1);
    xb_CloseAll();
    EXPECT_EQ(Capture("/usr/bin/python3 '" + script + "' read '" + p + "' 2>&1"),
              "6 from the engine engine memo\n");
}

TEST(RoundTrip, PackedTableStaysReadable) {
    EngineReset reset;
    TempDir dir;
    CopyShared("infused-dbf", dir);
    std::string p = dir.File("dbase_f5.dbf");
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    for (int r = 1; r <= 975; r += 3) {
        xb_Go(r);
        xb_Delete();
    }
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    Put("NOM", "Appended");
    xb_Replace("OBSE", XB_REPLACE_MEMO, "a new memo", -1);
    ASSERT_EQ(xb_Pack(), 1) << ErrorText();
    EXPECT_EQ(xb_RecCount(), 975 - 325 + 1);
    xb_CloseAll();
    EXPECT_EQ(EngineDump(p), DbfreadDump(p));
}

} // namespace
