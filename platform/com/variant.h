#pragma once
// VARIANT and one-dimensional SAFEARRAY with the Windows layout of the
// fields automation code uses, and the Variant* / SafeArray* calls.
#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

struct IDispatch;
struct SAFEARRAY;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6, // not supported: conversions give DISP_E_BADVARTYPE
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_UI1 = 17,
    VT_VOID = 24,    // type descriptions only: no value
    VT_HRESULT = 25, // type descriptions only
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        LONGLONG llVal_; // keeps the union 8 bytes and fully initialisable
    };
};
using VARIANTARG = VARIANT;

#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (((v)->vt & VT_BYREF) != 0)
#define V_ISARRAY(v) (((v)->vt & VT_ARRAY) != 0)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_UI1(v) ((v)->bVal)
#define V_R4(v) ((v)->fltVal)
#define V_R8(v) ((v)->dblVal)
#define V_DATE(v) ((v)->date)
#define V_BSTR(v) ((v)->bstrVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_ERROR(v) ((v)->scode)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_ARRAY(v) ((v)->parray)
#define V_VARIANTREF(v) ((v)->pvarVal)
#define V_BYREF(v) ((v)->byref)

// VariantChangeType flags.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01; // no default-property fetch from objects
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;   // bool <-> "True"/"False"
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;

inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;

extern "C" {
void VariantInit(VARIANTARG* pvarg);
// Frees the value (SysFreeString, Release, SafeArrayDestroy) unless it is
// by reference, and leaves VT_EMPTY. DISP_E_BADVARTYPE for unknown types.
HRESULT VariantClear(VARIANTARG* pvarg);
// Clears dest, then deep-copies src (BSTR copied, interfaces AddRef'd,
// arrays copied). By-reference values copy the reference.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, but a by-reference source is copied as its value.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Converts src to type vt into dest (dest may be src). Numbers convert with
// range checks (DISP_E_OVERFLOW) and round half to even; text is parsed
// (DISP_E_TYPEMISMATCH when not a number, date or "True"/"False"); bool
// text is "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL; dates as
// "m/d/yyyy h:mm:ss AM"; an object gives its default property (DISPID_VALUE)
// unless VARIANT_NOVALUEPROP; VT_NULL converts only to VT_NULL.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                            USHORT wFlags, VARTYPE vt);
}

// One-dimensional arrays only: SafeArrayCreate with cDims != 1 gives null.
struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_UNKNOWN = 0x0200;
inline constexpr USHORT FADF_DISPATCH = 0x0400;
inline constexpr USHORT FADF_VARIANT = 0x0800;

extern "C" {
// Element types: VT_I2, VT_I4, VT_R4, VT_R8, VT_DATE, VT_BSTR, VT_DISPATCH,
// VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN, VT_UI1. Elements start zeroed
// (empty variants, null strings and interfaces).
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// Frees every element, then the array; DISP_E_ARRAYISLOCKED while locked.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
// pv receives (Get) or supplies (Put) the element as its own type: a copy
// (BSTR copied, interface AddRef'd, VARIANT copied). DISP_E_BADINDEX out of range.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Changes the last dimension's bounds, keeping the elements that fit and
// freeing the ones that fall out.
HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
}

namespace com {

// Owns one VARIANT; clears it on destruction.
class Variant : public VARIANT {
public:
    Variant() { VariantInit(this); }
    Variant(const Variant& o) : Variant() { VariantCopy(this, &o); }
    Variant& operator=(const Variant& o) {
        if (this != &o)
            VariantCopy(this, &o);
        return *this;
    }
    Variant(Variant&& o) noexcept : VARIANT(o) { VariantInit(&o); }
    Variant& operator=(Variant&& o) noexcept {
        if (this != &o) {
            VariantClear(this);
            static_cast<VARIANT&>(*this) = o;
            VariantInit(&o);
        }
        return *this;
    }
    ~Variant() { VariantClear(this); }

    // Bytes as a VT_BSTR.
    explicit Variant(std::string_view bytes) : Variant() {
        vt = VT_BSTR;
        bstrVal = BstrFromBytes(bytes);
    }
    explicit Variant(LONG v) : Variant() {
        vt = VT_I4;
        lVal = v;
    }
    explicit Variant(double v) : Variant() {
        vt = VT_R8;
        dblVal = v;
    }
    static Variant Bool(bool b) {
        Variant v;
        v.vt = VT_BOOL;
        v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    // Clears and returns the slot for an [out] parameter.
    VARIANT* out() {
        VariantClear(this);
        return this;
    }
};

// The value as bytes (VariantChangeType to VT_BSTR with VARIANT_ALPHABOOL);
// false when it cannot be converted.
bool VariantToBytes(const VARIANT& v, std::string& out);

} // namespace com
