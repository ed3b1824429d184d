#include "platform/com/com.h"

#include <gtest/gtest.h>
#include <thread>

TEST(Guid, TextRoundTrip) {
    const GUID g = com::MakeGuid("{AA447DF0-09EA-11D2-B639-00A0C9B805AB}");
    OLECHAR buf[39];
    ASSERT_EQ(StringFromGUID2(g, buf, 39), 39);
    EXPECT_EQ(com::BytesFromBstr(buf, 38), "{AA447DF0-09EA-11D2-B639-00A0C9B805AB}");
    EXPECT_EQ(StringFromGUID2(g, buf, 38), 0); // no room for the NUL

    CLSID back{};
    ASSERT_EQ(CLSIDFromString(buf, &back), S_OK);
    EXPECT_EQ(back, g);
    // Lower-case hex reads the same.
    std::u16string lower = u"{aa447df0-09ea-11d2-b639-00a0c9b805ab}";
    ASSERT_EQ(CLSIDFromString(lower.c_str(), &back), S_OK);
    EXPECT_EQ(back, g);

    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(g, &text), S_OK);
    EXPECT_EQ(com::BytesFromBstr(text, com::OleStrLen(text)), com::GuidToString(g));
    CoTaskMemFree(text);
}

TEST(Guid, MalformedTextRejected) {
    CLSID out{};
    for (const char16_t* bad :
         {u"", u"AA447DF0-09EA-11D2-B639-00A0C9B805AB", u"{AA447DF0-09EA-11D2-B639-00A0C9B805AB",
          u"{AA447DF0-09EA-11D2-B639-00A0C9B805AG}", u"{AA447DF0+09EA-11D2-B639-00A0C9B805AB}",
          u"{AA447DF0-09EA-11D2-B639-00A0C9B805AB}x"})
        EXPECT_EQ(CLSIDFromString(bad, &out), CO_E_CLASSSTRING)
            << com::BytesFromBstr(bad, com::OleStrLen(bad));
    EXPECT_EQ(out, GUID_NULL);
    IID iid{};
    EXPECT_EQ(IIDFromString(u"nonsense", &iid), CO_E_IIDSTRING);
}

TEST(Bstr, EveryByteSurvives) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    all += std::string("\0\x80\xFF", 3);
    BSTR b = com::BstrFromBytes(all);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), all.size());
    EXPECT_EQ(SysStringByteLen(b), all.size() * 2);
    EXPECT_EQ(b[0x80], 0x80);
    EXPECT_EQ(b[SysStringLen(b)], 0); // terminated after the last unit
    EXPECT_EQ(com::BytesFromBstr(b), all);

    // Copies keep embedded NULs; SysAllocString stops at the first.
    BSTR copy = SysAllocStringLen(b, SysStringLen(b));
    EXPECT_EQ(com::BytesFromBstr(copy), all);
    BSTR upToNul = SysAllocString(b + 1);
    EXPECT_EQ(SysStringLen(upToNul), 255u);
    SysFreeString(b);
    SysFreeString(copy);
    SysFreeString(upToNul);
}

TEST(Bstr, NullAndEmptyAndWide) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(com::BytesFromBstr(nullptr), "");
    SysFreeString(nullptr);
    BSTR empty = com::BstrFromBytes("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);

    // Code units above 0xFF only come from outside text; they read as '?'.
    BSTR wide = SysAllocString(u"a\u20ACb");
    EXPECT_EQ(com::BytesFromBstr(wide), "a?b");
    ASSERT_EQ(SysReAllocString(&wide, u"xyz"), 1);
    EXPECT_EQ(com::BytesFromBstr(wide), "xyz");
    SysFreeString(wide);

    BSTR odd = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    SysFreeString(odd);
}

TEST(ErrorText, KnownAndUnknownCodes) {
    EXPECT_EQ(com::ErrorMessage(REGDB_E_CLASSNOTREG), "Class not registered (0x80040154)");
    EXPECT_EQ(com::ErrorMessage(static_cast<HRESULT>(0x8123ABCD)), "Error 0x8123ABCD");
}

TEST(ErrorInfo, PerThreadObjectIsHandedOverOnce) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(u"boom"));
    create->SetSource(const_cast<LPOLESTR>(u"Test.Source"));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    SetErrorInfo(0, info);
    info->Release();

    // Another thread sees none.
    HRESULT other = S_OK;
    std::thread([&] {
        IErrorInfo* e = nullptr;
        other = GetErrorInfo(0, &e);
    }).join();
    EXPECT_EQ(other, S_FALSE);

    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    com::Bstr d, s;
    got->GetDescription(d.out());
    got->GetSource(s.out());
    EXPECT_EQ(d.Bytes(), "boom");
    EXPECT_EQ(s.Bytes(), "Test.Source");
    got->Release();
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE); // taken: cleared
    EXPECT_EQ(got, nullptr);
}
