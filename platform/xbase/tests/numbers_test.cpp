// Numbers in fields, keys and expressions are written and read with a
// decimal point, whatever the process's locale (these tests run once more
// under a German one, whose decimal separator is a comma).
#include <gtest/gtest.h>

#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

std::string Eval(const char* expression) {
    char buf[256] = {};
    xb_EvalString(expression, buf, sizeof buf);
    return buf;
}

} // namespace

TEST(Numbers, FieldsTakeAndGiveADecimalPoint) {
    EngineReset reset;
    TempDir dir;
    const XbFieldDef fields[] = {Def("NAME", 'C', 12), Def("PRICE", 'N', 8, 2),
                                 Def("RATE", 'F', 10, 4)};
    const std::string p = dir.File("prices.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 3), 1) << ErrorText();
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK) << ErrorText();
    EXPECT_TRUE(Put("PRICE", "3.14")) << ErrorText();
    EXPECT_EQ(Str("PRICE"), "    3.14");
    const double rate = 0.125, half = 2.5;
    EXPECT_EQ(xb_Replace("RATE", XB_REPLACE_DOUBLE, &rate, 0), 1) << ErrorText();
    EXPECT_EQ(Str("RATE"), "    0.1250");
    EXPECT_EQ(xb_Replace("NAME", XB_REPLACE_DOUBLE, &half, 0), 1) << ErrorText();
    EXPECT_EQ(Trim("NAME"), "2.5");
    EXPECT_FALSE(Put("PRICE", "3,14")); // not a number here
    EXPECT_EQ(xb_LastError(), XB_ERR_FIELD);
    EXPECT_TRUE(Put("PRICE", "0.50"));
    EXPECT_EQ(xb_Empty("PRICE"), 0);
    EXPECT_TRUE(Put("PRICE", "0.00"));
    EXPECT_EQ(xb_Empty("PRICE"), 1);
    EXPECT_EQ(xb_Commit(), 1) << ErrorText();
    xb_CloseAll();
}

#ifdef XBASE_HAS_INDEXES
TEST(Numbers, KeysFiltersAndExpressionsReadADecimalPoint) {
    EngineReset reset;
    TempDir dir;
    const XbFieldDef fields[] = {Def("ID", 'C', 4), Def("PRICE", 'N', 8, 2)};
    const std::string p = dir.File("prices.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 2), 1) << ErrorText();
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
    ASSERT_GT(xb_IndexTag("", "PRICE", "PRICE", 0, 0, ""), 0) << ErrorText();
    ASSERT_GT(xb_IndexTag("", "PRICESTR", "STR(PRICE * 10, 8, 1)", 0, 0, ""), 0) << ErrorText();
    for (const char* price : {"3.14", "3.00", "1.50", "12.75"}) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK) << ErrorText();
        ASSERT_TRUE(Put("ID", price));
        ASSERT_TRUE(Put("PRICE", price)) << ErrorText();
        ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    }
    xb_SetOrder(xb_TagArea("PRICE"));
    EXPECT_NE(xb_Seek("3.14"), 0);
    EXPECT_EQ(Trim("ID"), "3.14");
    EXPECT_NE(xb_Seek("1.5"), 0);
    EXPECT_EQ(Trim("ID"), "1.50");
    xb_SetOrder(xb_TagArea("PRICESTR"));
    EXPECT_NE(xb_Seek("    31.4"), 0);
    EXPECT_EQ(Trim("ID"), "3.14");
    xb_GoTop();
    EXPECT_EQ(Trim("ID"), "1.50");
    EXPECT_EQ(Eval("STR(PRICE * 2, 8, 2)"), "    3.00");
    EXPECT_EQ(Eval("STR(VAL('2.25') + 0.5, 6, 2)"), "  2.75");
    ASSERT_EQ(xb_Query("PRICE > 3.1 .AND. PRICE < 3.2"), 1) << ErrorText();
    EXPECT_EQ(xb_Count(), 1);
    xb_CloseAll();
}
#endif
