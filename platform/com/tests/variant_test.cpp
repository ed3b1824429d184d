#include "platform/com/com.h"
#include "platform/com/variant_p.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

// An object with a default property, counting its references.
class Counted final : public IDispatch {
public:
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = this;
        ++refs;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET))
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = 42;
        return S_OK;
    }
};

com::Variant Text(const char* s) {
    return com::Variant(std::string_view(s));
}

std::string AsText(const VARIANT& v, USHORT flags = 0) {
    com::Variant r;
    EXPECT_EQ(VariantChangeType(&r, &v, flags, VT_BSTR), S_OK);
    return com::BytesFromBstr(r.bstrVal);
}

} // namespace

TEST(Variant, NumbersAndTextConvert) {
    struct Case {
        const char* name;
        com::Variant from;
        VARTYPE to;
        HRESULT hr;
        double value; // numeric result when hr == S_OK
    };
    com::Variant i2;
    i2.vt = VT_I2;
    i2.iVal = -5;
    Case cases[] = {
        {"text to long", Text(" 123 "), VT_I4, S_OK, 123},
        {"text with fraction rounds half to even", Text("2.5"), VT_I4, S_OK, 2},
        {"3.5 rounds up to even", com::Variant(3.5), VT_I4, S_OK, 4},
        {"negative half", com::Variant(-2.5), VT_I2, S_OK, -2},
        {"hex text", Text("&H10"), VT_I4, S_OK, 16},
        {"exponent", Text("1.5e3"), VT_R8, S_OK, 1500},
        {"decimal point", Text("-3.25"), VT_R8, S_OK, -3.25},
        {"short to double", std::move(i2), VT_R8, S_OK, -5},
        {"not a number", Text("12abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"empty text", Text(""), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"long overflows short", com::Variant(LONG{40000}), VT_I2, DISP_E_OVERFLOW, 0},
        {"negative to byte", com::Variant(LONG{-1}), VT_UI1, DISP_E_OVERFLOW, 0},
        {"255 to byte", com::Variant(LONG{255}), VT_UI1, S_OK, 255},
        {"true text to bool", Text("True"), VT_BOOL, S_OK, -1},
        {"zero text to bool", Text("0"), VT_BOOL, S_OK, 0},
        {"empty to long", com::Variant(), VT_I4, S_OK, 0},
        {"huge to float", com::Variant(1e300), VT_R4, DISP_E_OVERFLOW, 0},
    };
    for (auto& c : cases) {
        com::Variant r;
        ASSERT_EQ(VariantChangeType(&r, &c.from, 0, c.to), c.hr) << c.name;
        if (c.hr != S_OK) {
            EXPECT_EQ(r.vt, VT_EMPTY) << c.name;
            continue;
        }
        EXPECT_EQ(r.vt, c.to) << c.name;
        com::Variant d;
        ASSERT_EQ(VariantChangeType(&d, &r, 0, VT_R8), S_OK) << c.name;
        EXPECT_EQ(d.dblVal, c.value) << c.name;
    }
}

TEST(Variant, ValuesAsText) {
    EXPECT_EQ(AsText(com::Variant(LONG{-17})), "-17");
    EXPECT_EQ(AsText(com::Variant(0.1)), "0.1");
    EXPECT_EQ(AsText(com::Variant(1e20)), "1E+20");
    EXPECT_EQ(AsText(com::Variant(1.5e-5)), "1.5E-05");
    EXPECT_EQ(AsText(com::Variant(-2.75)), "-2.75");
    EXPECT_EQ(AsText(com::Variant::Bool(true)), "-1");
    EXPECT_EQ(AsText(com::Variant::Bool(true), VARIANT_ALPHABOOL), "True");
    EXPECT_EQ(AsText(com::Variant()), "");
    com::Variant date;
    date.vt = VT_DATE;
    date.date = 45000.75; // 2023-03-15 18:00
    EXPECT_EQ(AsText(date), "3/15/2023 6:00:00 PM");
    date.date = 45000;
    EXPECT_EQ(AsText(date), "3/15/2023");
    date.date = 0.5;
    EXPECT_EQ(AsText(date), "12:00:00 PM");

    com::Variant null;
    null.vt = VT_NULL;
    com::Variant r;
    EXPECT_EQ(VariantChangeType(&r, &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

TEST(Variant, DatesParseAndFormatRoundTrip) {
    struct Case {
        const char* text;
        bool ok;
        const char* formatted;
    };
    const Case cases[] = {
        {"3/15/2023 6:00:00 PM", true, "3/15/2023 6:00:00 PM"},
        {"2023-03-15 18:00", true, "3/15/2023 6:00:00 PM"},
        {"2023-03-15T07:05:09", true, "3/15/2023 7:05:09 AM"},
        {"12/30/1899", true, "12:00:00 AM"},
        {"1/1/99", true, "1/1/1999"},
        {"12:30 AM", true, "12:30:00 AM"},
        {"2/29/2023", false, ""},
        {"13/1/2023", false, ""},
        {"25:00", false, ""},
        {"hello", false, ""},
        {"12/29/1899 6:00 AM", true, "12/29/1899 6:00:00 AM"},
    };
    for (const auto& c : cases) {
        DATE d = 0;
        ASSERT_EQ(com::detail::ParseDate(c.text, d), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(com::detail::FormatDate(d), c.formatted) << c.text;
        }
    }
    DATE before = 0;
    ASSERT_TRUE(com::detail::ParseDate("12/29/1899 6:00 AM", before));
    EXPECT_DOUBLE_EQ(before, -1.25);
}

TEST(Variant, CopyAndClearCountReferences) {
    Counted obj;
    com::Variant a;
    a.vt = VT_DISPATCH;
    a.pdispVal = &obj;
    obj.AddRef(); // a's reference
    {
        com::Variant b(a);
        EXPECT_EQ(obj.refs, 3u);
        com::Variant c;
        ASSERT_EQ(VariantCopy(&c, &b), S_OK);
        EXPECT_EQ(obj.refs, 4u);
        // Copying over a value releases what was there.
        ASSERT_EQ(VariantCopy(&c, &a), S_OK);
        EXPECT_EQ(obj.refs, 4u);
    }
    EXPECT_EQ(obj.refs, 2u);
    ASSERT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(obj.refs, 1u);
    EXPECT_EQ(a.vt, VT_EMPTY);

    // A reference owns nothing: clearing it leaves the target alone.
    com::Variant text = Text("kept");
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BSTR | VT_BYREF;
    ref.pbstrVal = &text.bstrVal;
    com::Variant value;
    ASSERT_EQ(VariantCopyInd(&value, &ref), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_NE(value.bstrVal, text.bstrVal);
    ASSERT_EQ(VariantClear(&ref), S_OK);
    EXPECT_EQ(com::BytesFromBstr(text.bstrVal), "kept");

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(Variant, ChangeTypeInPlaceAndThroughObjects) {
    com::Variant v = Text("77");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 77);

    // A failed change leaves the destination as it was.
    com::Variant keep = Text("abc");
    EXPECT_EQ(VariantChangeType(&keep, &keep, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(com::BytesFromBstr(keep.bstrVal), "abc");

    Counted obj;
    com::Variant o;
    o.vt = VT_DISPATCH;
    o.pdispVal = &obj;
    obj.AddRef();
    com::Variant r;
    ASSERT_EQ(VariantChangeType(&r, &o, 0, VT_BSTR), S_OK);
    EXPECT_EQ(com::BytesFromBstr(r.bstrVal), "42");
    EXPECT_EQ(VariantChangeType(&r, &o, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&r, &o, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(obj.refs, 3u);
    VariantClear(&r);
    VariantClear(&o);
    EXPECT_EQ(obj.refs, 1u);
}

TEST(SafeArray, ElementsCopyRedimAndDestroy) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 1, 3);
    ASSERT_NE(sa, nullptr);
    LONG lb = 0, ub = 0;
    SafeArrayGetLBound(sa, 1, &lb);
    SafeArrayGetUBound(sa, 1, &ub);
    EXPECT_EQ(lb, 1);
    EXPECT_EQ(ub, 3);
    com::Variant v = Text("two");
    LONG idx = 2;
    ASSERT_EQ(SafeArrayPutElement(sa, &idx, &v), S_OK);
    idx = 4;
    EXPECT_EQ(SafeArrayPutElement(sa, &idx, &v), DISP_E_BADINDEX);

    com::Variant holder;
    holder.vt = VT_ARRAY | VT_VARIANT;
    holder.parray = sa;
    com::Variant copy(holder);
    ASSERT_NE(copy.parray, sa);
    idx = 2;
    VARIANT got;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &idx, &got), S_OK);
    EXPECT_EQ(com::BytesFromBstr(got.bstrVal), "two");
    VariantClear(&got);

    SAFEARRAYBOUND smaller{1, 1};
    ASSERT_EQ(SafeArrayRedim(copy.parray, &smaller), S_OK); // frees "two"
    ASSERT_EQ(SafeArrayLock(copy.parray), S_OK);
    EXPECT_EQ(SafeArrayDestroy(copy.parray), DISP_E_ARRAYISLOCKED);
    SafeArrayUnlock(copy.parray);

    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
    BSTR s = com::BstrFromBytes("x");
    idx = 0;
    ASSERT_EQ(SafeArrayPutElement(strings, &idx, s), S_OK);
    SysFreeString(s); // the array holds its own copy
    BSTR back = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &idx, &back), S_OK);
    EXPECT_EQ(com::BytesFromBstr(back), "x");
    SysFreeString(back);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 2, &smaller), nullptr);
}
