// Visual FoxPro's varchar (V), varbinary (Q) and blob (W) fields, in files
// built byte by byte from the FoxPro layout (foxpro_make.py varlen): read
// as their values, written back so FoxPro reads them so, and a tag on a
// nullable varchar walked and sought.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

std::string Blob(const char* field) {
    int len = xb_GetBlobLength(field);
    std::vector<char> buf(static_cast<std::size_t>(len) + 1);
    int got = xb_GetBlob(field, buf.data(), len);
    return std::string(buf.data(), static_cast<std::size_t>(std::max(got, 0)));
}

class VarLength : public ::testing::Test {
protected:
    void SetUp() override {
        int status = 0;
        std::string out = Capture("/usr/bin/python3 '" + std::string(QUELTA_SOURCE_DIR) +
                                      "/platform/xbase/tests/foxpro_make.py' varlen '" +
                                      dir_.File("shop") + "' 2>&1",
                                  &status);
        ASSERT_EQ(status, 0) << out;
        ASSERT_NE(xb_Use(dir_.File("shop.dbf").c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    }
    EngineReset reset_;
    TempDir dir_;
};

// Rows: 1 "pear" (short), 2 null, 3 "watermelon" (the whole width); CODE
// 01 02, ABCDEF (whole), empty; PIC two blobs holding zero bytes, one empty.
TEST_F(VarLength, FieldsReadAsTheirValues) {
    EXPECT_EQ(xb_FieldType(2), 'V');
    EXPECT_EQ(xb_SysProp(XB_PROP_VARLEN_FIELD, 2), 1); // NAME V
    EXPECT_EQ(xb_SysProp(XB_PROP_VARLEN_FIELD, 3), 1); // CODE Q
    EXPECT_EQ(xb_SysProp(XB_PROP_VARLEN_FIELD, 1), 0); // ID I
    EXPECT_EQ(xb_SysProp(XB_PROP_VARLEN_FIELD, 5), 0); // NOTE C
    struct Row {
        const char* name;
        const char* trimmed;
        std::string code;
        std::string pic;
    } rows[] = {{"pear", "pear", "\x01\x02",
                 std::string("\x89PNG\0\x01"
                             "blob one",
                             14)},
                {"          ", "", "ABCDEF", ""},
                {"watermelon", "watermelon", "", std::string("\0\0blob two\xff", 11)}};
    for (int r = 1; r <= 3; ++r) {
        SCOPED_TRACE(r);
        const Row& want = rows[r - 1];
        ASSERT_EQ(xb_Go(r), 1);
        EXPECT_EQ(Str("NAME"), want.name);
        EXPECT_EQ(Trim("NAME"), want.trimmed);
        EXPECT_EQ(xb_Empty("NAME"), *want.trimmed ? 0 : 1);
        EXPECT_EQ(xb_GetBlobLength("CODE"), static_cast<int>(want.code.size()));
        EXPECT_EQ(Blob("CODE"), want.code);
        EXPECT_EQ(xb_Empty("CODE"), want.code.empty() ? 1 : 0);
        EXPECT_EQ(xb_GetBlobLength("PIC"), static_cast<int>(want.pic.size()));
        EXPECT_EQ(Blob("PIC"), want.pic);
        EXPECT_EQ(Trim("NOTE"), std::string(1, static_cast<char>('x' + r - 1)));
    }
    ASSERT_EQ(xb_Go(1), 1);
    EXPECT_EQ(Memo("PIC"), rows[0].pic);
}

TEST_F(VarLength, WrittenValuesReadBackAfterReopening) {
    ASSERT_EQ(xb_Go(3), 1);
    ASSERT_TRUE(Put("NAME", "kiwi"));
    ASSERT_EQ(xb_PutBlob("CODE", "\0\x7f", 2), 1) << ErrorText();
    ASSERT_EQ(xb_PutBlob("PIC", "new\0blob", 8), 1) << ErrorText();
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    ASSERT_EQ(xb_Go(2), 1);
    ASSERT_TRUE(Put("NAME", "a name that is too long"));
    ASSERT_TRUE(Put("CODE", "123456789"));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    xb_CloseAll();
    ASSERT_NE(xb_Use(dir_.File("shop.dbf").c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    ASSERT_EQ(xb_Go(3), 1);
    EXPECT_EQ(Str("NAME"), "kiwi");
    EXPECT_EQ(Blob("CODE"), std::string("\0\x7f", 2));
    EXPECT_EQ(Blob("PIC"), std::string("new\0blob", 8));
    ASSERT_EQ(xb_Go(2), 1);
    EXPECT_EQ(Str("NAME"), "a name tha");
    EXPECT_EQ(Str("CODE"), "123456");
    // A blank row holds empty values, not a field of blanks or zero bytes.
    ASSERT_EQ(xb_Go(4), 1);
    EXPECT_EQ(Str("NAME"), "");
    EXPECT_EQ(xb_GetBlobLength("CODE"), 0);
    EXPECT_EQ(xb_GetBlobLength("PIC"), 0);
}

#ifdef XBASE_HAS_INDEXES
// NAME is a nullable varchar: keys are the value padded with blanks, led by
// the null flag.
TEST_F(VarLength, TagOnANullableVarchar) {
    ASSERT_GE(xb_SetOrder(xb_TagArea("NAME")), 0) << ErrorText();
    std::string walk;
    for (xb_GoTop(); !xb_Eof() && walk.size() < 40; xb_Skip(1))
        walk += std::to_string(xb_RecNo()) + " ";
    EXPECT_EQ(walk, "2 1 3 ");
    EXPECT_EQ(xb_Seek("pear"), 1);
    EXPECT_EQ(xb_RecNo(), 1);
    xb_SetExact(1);
    EXPECT_EQ(xb_Seek("watermelon"), 1);
    EXPECT_EQ(xb_RecNo(), 3);
    ASSERT_TRUE(Put("NAME", "kiwi"));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    EXPECT_EQ(xb_Seek("kiwi"), 1);
    EXPECT_EQ(xb_RecNo(), 3);
    EXPECT_EQ(xb_Seek("watermelon"), 0);
    xb_SetExact(0);
}
#endif

} // namespace
