// Tables written by FoxPro and Visual FoxPro: every row and memo read through
// the engine equals what dbfread reads; damaged files give a clear error.
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

#include "platform/xbase/tests/canonical.h"
#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

struct FoxproTable {
    const char* folder;
    const char* file;
    int rows;
};

class FoxproFiles : public ::testing::TestWithParam<FoxproTable> {
protected:
    EngineReset reset_;
};

TEST_P(FoxproFiles, EveryRowAndMemoReadsAsDbfreadReadsIt) {
    TempDir dir;
    CopyShared(GetParam().folder, dir);
    std::string path = dir.File(GetParam().file);
    std::string expected = DbfreadDump(path);
    ASSERT_FALSE(expected.empty());
    std::string got = EngineDump(path);
    EXPECT_EQ(got, expected);
    ASSERT_NE(xb_Use(path.c_str(), nullptr, XB_READONLY, XB_DRIVER_FOX), 0) << ErrorText();
    EXPECT_EQ(xb_RecCount(), GetParam().rows);
    xb_CloseAll();
}

INSTANTIATE_TEST_SUITE_P(Real, FoxproFiles,
                         ::testing::Values(FoxproTable{"infused-dbf", "dbase_f5.dbf", 975},
                                           FoxproTable{"infused-dbf", "dbase_30.dbf", 34},
                                           FoxproTable{"infused-dbf", "dbase_31.dbf", 77},
                                           FoxproTable{"infused-dbf/foxprodb", "calls.dbf", 16},
                                           FoxproTable{"infused-dbf/foxprodb", "contacts.dbf", 5},
                                           FoxproTable{"infused-dbf/foxprodb", "setup.dbf", 3},
                                           FoxproTable{"infused-dbf/foxprodb", "types.dbf", 2},
                                           FoxproTable{"go-dbase", "employees.dbf", 3}),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             return n.substr(0, n.find('.'));
                         });

TEST(FoxproFiles, FileNamesAreFoundWithoutRegardToCase) {
    EngineReset reset;
    TempDir dir;
    CopyShared("go-dbase", dir);
    // The memo file on disk is "employees.FPT".
    ASSERT_NE(xb_Use(dir.File("EMPLOYEES.DBF").c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    EXPECT_EQ(xb_RecCount(), 3);
    std::string memos;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        memos += Memo("ADDRESS") + Memo("NOTES");
    EXPECT_FALSE(memos.empty()) << ErrorText();
    xb_CloseAll();
}

// ---- damaged files ---------------------------------------------------------

std::string ReadAll(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void WriteAll(const std::string& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << data;
}

struct Damage {
    const char* name;
    std::string (*apply)(std::string);
    const char* where; // expected in the error text
};

const Damage kDamages[] = {
    {"TruncatedHeader", [](std::string s) { return s.substr(0, 20); }, "header"},
    {"TruncatedDescriptors", [](std::string s) { return s.substr(0, 100); }, "header length"},
    {"NoTerminator",
     [](std::string s) {
         // Header length claims fewer bytes than the descriptors need.
         s[8] = 64;
         s[9] = 0;
         return s;
     },
     "field descriptors"},
    {"RecordLengthDisagrees",
     [](std::string s) {
         s[10] = static_cast<char>(s[10] + 1);
         return s;
     },
     "field descriptors"},
    {"CountPastEnd",
     [](std::string s) {
         s[4] = '\xff';
         s[5] = '\xff';
         return s;
     },
     "header"},
    {"NotATable",
     [](std::string s) {
         s[0] = 'x';
         return s;
     },
     "header"},
};

TEST(DamagedFiles, GiveACorruptFileErrorNamingThePlace) {
    EngineReset reset;
    for (const auto& d : kDamages) {
        SCOPED_TRACE(d.name);
        TempDir dir;
        CopyShared("infused-dbf", dir);
        std::string p = dir.File("dbase_f5.dbf");
        WriteAll(p, d.apply(ReadAll(p)));
        EXPECT_EQ(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
        EXPECT_EQ(xb_LastError(), XB_ERR_CORRUPT);
        std::string text = ErrorText();
        EXPECT_NE(text.find("Corrupt file"), std::string::npos) << text;
        EXPECT_NE(text.find(d.where), std::string::npos) << text;
        EXPECT_NE(text.find("dbase_f5.dbf"), std::string::npos) << text;
    }
}

TEST(DamagedFiles, MemoPointingPastTheEndIsReportedNotRead) {
    EngineReset reset;
    TempDir dir;
    CopyShared("infused-dbf", dir);
    std::string fpt = dir.File("dbase_f5.fpt");
    WriteAll(fpt, ReadAll(fpt).substr(0, 600));
    ASSERT_NE(xb_Use(dir.File("dbase_f5.dbf").c_str(), nullptr, XB_SHARED, 2), 0);
    int failures = 0;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
        int len = 0;
        char* m = xb_GetMemo("OBSE", &len);
        if (!m) {
            ++failures;
            EXPECT_EQ(xb_LastError(), XB_ERR_CORRUPT);
            EXPECT_NE(ErrorText().find("memo block"), std::string::npos) << ErrorText();
        }
        xb_MemDealloc(m);
    }
    EXPECT_GT(failures, 0);
    xb_CloseAll();
}

TEST(DamagedFiles, MissingFileIsNotFound) {
    EngineReset reset;
    TempDir dir;
    EXPECT_EQ(xb_Use(dir.File("nothing.dbf").c_str(), nullptr, XB_SHARED, 2), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_NOFILE);
}

} // namespace
