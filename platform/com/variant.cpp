#include "platform/com/variant.h"
#include "platform/com/dispatch.h"
#include "platform/com/variant_p.h"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <system_error>

namespace com::detail {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr long long kOleEpoch = -25569; // 1899-12-30 in days from 1970-01-01

bool ValidDay(int y, int m, int d) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1)
        return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

// Reads 1..maxDigits decimal digits.
bool ReadInt(std::string_view& s, int maxDigits, int& out) {
    int n = 0;
    out = 0;
    while (!s.empty() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s.front()))) {
        out = out * 10 + (s.front() - '0');
        s.remove_prefix(1);
        ++n;
    }
    return n > 0;
}

bool Eat(std::string_view& s, char c) {
    if (!s.empty() && s.front() == c) {
        s.remove_prefix(1);
        return true;
    }
    return false;
}

bool ParseTime(std::string_view s, double& frac) {
    int h, mi, sec = 0;
    if (!ReadInt(s, 2, h) || !Eat(s, ':') || !ReadInt(s, 2, mi))
        return false;
    if (Eat(s, ':') && !ReadInt(s, 2, sec))
        return false;
    s = Trim(s);
    if (!s.empty()) {
        bool pm;
        if (IEquals(s, "AM") || IEquals(s, "A"))
            pm = false;
        else if (IEquals(s, "PM") || IEquals(s, "P"))
            pm = true;
        else
            return false;
        if (h < 1 || h > 12)
            return false;
        h = h % 12 + (pm ? 12 : 0);
    }
    if (h > 23 || mi > 59 || sec > 59)
        return false;
    frac = (h * 3600 + mi * 60 + sec) / 86400.0;
    return true;
}

} // namespace

bool ParseNumber(std::string_view s, double& out) {
    s = Trim(s);
    if (s.size() > 2 && s[0] == '&') {
        int base = (s[1] == 'H' || s[1] == 'h') ? 16 : (s[1] == 'O' || s[1] == 'o') ? 8 : 0;
        if (!base)
            return false;
        unsigned long long v = 0;
        for (char c : s.substr(2)) {
            int dgt = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                          ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                          : -1;
            if (dgt < 0 || dgt >= base)
                return false;
            v = v * base + dgt;
            if (v > 0xFFFFFFFFull)
                return false;
        }
        // 16-bit and 32-bit hex literals are signed, as in Basic.
        if (v <= 0xFFFF && s.size() <= 6 && base == 16)
            out = static_cast<SHORT>(v);
        else
            out = static_cast<LONG>(static_cast<std::uint32_t>(v));
        return true;
    }
    size_t i = 0, digits = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i, ++digits;
    }
    if (!digits)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        size_t e = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i, ++e;
        if (!e)
            return false;
    }
    if (i != s.size())
        return false;
    // "." whatever the process's locale (Qt programs take the user's).
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", nullptr);
    std::string text(s);
    out = ::strtod_l(text.c_str(), nullptr, c);
    return true;
}

bool ParseDate(std::string_view s, DATE& out) {
    s = Trim(s);
    std::string_view rest = s;
    int a, b, c;
    int y = 1899, m = 12, d = 30;
    bool haveDate = false;
    std::string_view t = rest;
    if (ReadInt(t, 4, a)) {
        if (!t.empty() && t.front() == '-' && rest.size() - t.size() == 4) {
            t.remove_prefix(1);
            if (!ReadInt(t, 2, b) || !Eat(t, '-') || !ReadInt(t, 2, c))
                return false;
            y = a, m = b, d = c;
            haveDate = true;
        } else if (!t.empty() && t.front() == '/') {
            t.remove_prefix(1);
            size_t before = t.size();
            if (!ReadInt(t, 2, b) || !Eat(t, '/'))
                return false;
            before = t.size();
            if (!ReadInt(t, 4, c))
                return false;
            size_t yearDigits = before - t.size();
            if (yearDigits <= 2)
                c += c < 30 ? 2000 : 1900;
            else if (yearDigits != 4)
                return false;
            m = a, d = b, y = c;
            haveDate = true;
        }
    }
    if (haveDate) {
        if (!ValidDay(y, m, d))
            return false;
        rest = t;
        if (!rest.empty() && (rest.front() == 'T' || rest.front() == 't'))
            rest.remove_prefix(1);
        rest = Trim(rest);
    }
    double frac = 0;
    if (!rest.empty() && !ParseTime(rest, frac))
        return false;
    if (!haveDate && rest.empty())
        return false;
    double days = static_cast<double>(DaysFromCivil(y, m, d) - kOleEpoch);
    out = days < 0 ? days - frac : days + frac;
    return true;
}

std::string FormatDate(DATE v) {
    double days = std::trunc(v);
    long long secs = std::llround(std::fabs(v - days) * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        days += v < 0 ? -1 : 1;
    }
    char buf[64];
    std::string out;
    if (days != 0) {
        int y, m, d;
        CivilFromDays(static_cast<long long>(days) + kOleEpoch, y, m, d);
        std::snprintf(buf, sizeof buf, "%d/%d/%d", m, d, y);
        out = buf;
        if (secs == 0)
            return out;
        out += ' ';
    }
    int h = static_cast<int>(secs / 3600), mi = static_cast<int>(secs / 60 % 60),
        sc = static_cast<int>(secs % 60);
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, mi, sc,
                  h < 12 ? "AM" : "PM");
    return out + buf;
}

std::string FormatReal(double v, int digits) {
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Infinity" : "Infinity";
    // "%.*G", with "." whatever the process's locale.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
    std::string out(buf, r.ec == std::errc() ? r.ptr : buf);
    for (char& c : out)
        if (c == 'e')
            c = 'E';
    return out;
}

} // namespace com::detail

namespace {

using namespace com::detail;

bool ValidScalar(VARTYPE t) {
    switch (t) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_UI1:
        return true;
    default:
        return false;
    }
}

bool ValidType(VARTYPE vt) {
    VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_ARRAY)
        return base != VT_EMPTY && base != VT_NULL && (ValidScalar(base) || base == VT_VARIANT);
    if (vt & VT_BYREF)
        return (ValidScalar(base) && base != VT_EMPTY && base != VT_NULL) || base == VT_VARIANT;
    return (vt & ~VT_TYPEMASK) == 0 && ValidScalar(vt);
}

// Stores a new value into dest, clearing what it held (dest may be the source).
void Assign(VARIANT* dest, const VARIANT& value) {
    VariantClear(dest);
    *dest = value;
}

HRESULT ToInteger(double v, double lo, double hi, long long& out) {
    if (std::isnan(v))
        return DISP_E_OVERFLOW;
    double r = std::nearbyint(v); // half to even under the default rounding mode
    if (r < lo || r > hi)
        return DISP_E_OVERFLOW;
    out = static_cast<long long>(r);
    return S_OK;
}

// The source as a number; VT_BSTR is parsed (dates and "True"/"False" too).
HRESULT NumberOf(const VARIANT& s, double& out) {
    switch (s.vt) {
    case VT_EMPTY:
        out = 0;
        return S_OK;
    case VT_I2:
        out = s.iVal;
        return S_OK;
    case VT_I4:
        out = s.lVal;
        return S_OK;
    case VT_UI1:
        out = s.bVal;
        return S_OK;
    case VT_R4:
        out = s.fltVal;
        return S_OK;
    case VT_R8:
        out = s.dblVal;
        return S_OK;
    case VT_DATE:
        out = s.date;
        return S_OK;
    case VT_BOOL:
        out = s.boolVal ? -1 : 0;
        return S_OK;
    case VT_BSTR: {
        std::string text = com::BytesFromBstr(s.bstrVal);
        if (ParseNumber(text, out))
            return S_OK;
        std::string_view t = text;
        while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front())))
            t.remove_prefix(1);
        while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back())))
            t.remove_suffix(1);
        if (t.size() == 4 && strncasecmp(t.data(), "true", 4) == 0) {
            out = -1;
            return S_OK;
        }
        if (t.size() == 5 && strncasecmp(t.data(), "false", 5) == 0) {
            out = 0;
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToText(const VARIANT& s, USHORT flags, std::string& out) {
    char buf[32];
    switch (s.vt) {
    case VT_EMPTY:
        out.clear();
        return S_OK;
    case VT_I2:
    case VT_I4:
    case VT_UI1:
        std::snprintf(buf, sizeof buf, "%ld",
                      static_cast<long>(s.vt == VT_I2   ? s.iVal
                                        : s.vt == VT_I4 ? s.lVal
                                                        : s.bVal));
        out = buf;
        return S_OK;
    case VT_R4:
        out = FormatReal(s.fltVal, 7);
        return S_OK;
    case VT_R8:
        out = FormatReal(s.dblVal, 15);
        return S_OK;
    case VT_DATE:
        out = FormatDate(s.date);
        return S_OK;
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            out = s.boolVal ? "True" : "False";
        else
            out = s.boolVal ? "-1" : "0";
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ConvertScalar(const VARIANT& s, USHORT flags, VARTYPE vt, VARIANT& r) {
    VariantInit(&r);
    if (s.vt == VT_NULL)
        return DISP_E_TYPEMISMATCH;
    if (s.vt == VT_ERROR || vt == VT_ERROR)
        return DISP_E_TYPEMISMATCH;
    double n = 0;
    long long i = 0;
    HRESULT hr = S_OK;
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_UI1: {
        if (FAILED(hr = NumberOf(s, n)))
            return hr;
        double lo = vt == VT_I2 ? -32768.0 : vt == VT_I4 ? -2147483648.0 : 0.0;
        double hi = vt == VT_I2 ? 32767.0 : vt == VT_I4 ? 2147483647.0 : 255.0;
        if (FAILED(hr = ToInteger(n, lo, hi, i)))
            return hr;
        r.vt = vt;
        if (vt == VT_I2)
            r.iVal = static_cast<SHORT>(i);
        else if (vt == VT_I4)
            r.lVal = static_cast<LONG>(i);
        else
            r.bVal = static_cast<BYTE>(i);
        return S_OK;
    }
    case VT_R4:
    case VT_R8:
        if (FAILED(hr = NumberOf(s, n)))
            return hr;
        if (vt == VT_R4) {
            if (std::isfinite(n) && std::fabs(n) > FLT_MAX)
                return DISP_E_OVERFLOW;
            r.fltVal = static_cast<FLOAT>(n);
        } else {
            r.dblVal = n;
        }
        r.vt = vt;
        return S_OK;
    case VT_DATE:
        if (s.vt == VT_BSTR) {
            if (!ParseDate(com::BytesFromBstr(s.bstrVal), n))
                return DISP_E_TYPEMISMATCH;
        } else if (FAILED(hr = NumberOf(s, n))) {
            return hr;
        }
        if (!(n >= -657434.0 && n < 2958466.0))
            return DISP_E_OVERFLOW;
        r.vt = VT_DATE;
        r.date = n;
        return S_OK;
    case VT_BOOL:
        if (FAILED(hr = NumberOf(s, n)))
            return hr;
        r.vt = VT_BOOL;
        r.boolVal = n != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case VT_BSTR: {
        std::string text;
        if (FAILED(hr = ToText(s, flags, text)))
            return hr;
        r.bstrVal = com::BstrFromBytes(text);
        if (!r.bstrVal)
            return E_OUTOFMEMORY;
        r.vt = VT_BSTR;
        return S_OK;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
}

HRESULT DefaultValue(IDispatch* d, VARIANT& out) {
    VariantInit(&out);
    if (!d)
        return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = d->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                           &out, nullptr, nullptr);
    if (FAILED(hr)) {
        VariantClear(&out);
        return DISP_E_TYPEMISMATCH;
    }
    if (out.vt == VT_DISPATCH || out.vt == VT_UNKNOWN) {
        VariantClear(&out); // an object again: no further default values
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

} // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg)
        return;
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    if (!ValidType(pvarg->vt))
        return DISP_E_BADVARTYPE;
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            if (pvarg->parray) {
                HRESULT hr = SafeArrayDestroy(pvarg->parray);
                if (FAILED(hr))
                    return hr;
            }
        } else if (pvarg->vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((pvarg->vt == VT_DISPATCH || pvarg->vt == VT_UNKNOWN) && pvarg->punkVal) {
            pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    if (!ValidType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    if (!(copy.vt & VT_BYREF)) {
        if (copy.vt & VT_ARRAY) {
            if (copy.parray) {
                HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
                if (FAILED(hr))
                    return hr;
            }
        } else if (copy.vt == VT_BSTR) {
            if (copy.bstrVal) {
                copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(copy.bstrVal),
                                                     SysStringByteLen(pvargSrc->bstrVal));
                if (!copy.bstrVal)
                    return E_OUTOFMEMORY;
            }
        } else if ((copy.vt == VT_DISPATCH || copy.vt == VT_UNKNOWN) && copy.punkVal) {
            copy.punkVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc)
        return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);
    if (!ValidType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    if (!pvargSrc->byref)
        return E_INVALIDARG;
    VARTYPE base = pvargSrc->vt & ~VT_BYREF;
    VARIANT value;
    VariantInit(&value);
    if (base == VT_VARIANT) {
        if (pvargSrc->pvarVal->vt & VT_BYREF)
            return E_INVALIDARG; // a reference to a reference
        HRESULT hr = VariantCopy(&value, pvargSrc->pvarVal);
        if (FAILED(hr))
            return hr;
    } else {
        VARIANT view;
        VariantInit(&view);
        view.vt = base;
        if (base & VT_ARRAY)
            view.parray = *pvargSrc->pparray;
        else
            switch (base) {
            case VT_I2:
                view.iVal = *pvargSrc->piVal;
                break;
            case VT_I4:
                view.lVal = *pvargSrc->plVal;
                break;
            case VT_UI1:
                view.bVal = *pvargSrc->pbVal;
                break;
            case VT_R4:
                view.fltVal = *pvargSrc->pfltVal;
                break;
            case VT_R8:
                view.dblVal = *pvargSrc->pdblVal;
                break;
            case VT_DATE:
                view.date = *pvargSrc->pdate;
                break;
            case VT_BOOL:
                view.boolVal = *pvargSrc->pboolVal;
                break;
            case VT_ERROR:
                view.scode = *pvargSrc->pscode;
                break;
            case VT_BSTR:
                view.bstrVal = *pvargSrc->pbstrVal;
                break;
            default:
                view.punkVal = *pvargSrc->ppunkVal;
                break;
            }
        HRESULT hr = VariantCopy(&value, &view); // view borrows; the copy owns
        if (FAILED(hr))
            return hr;
    }
    if (pvarDest == pvargSrc) {
        *pvarDest = value; // a reference owns nothing
        return S_OK;
    }
    HRESULT hr = VariantClear(pvarDest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *pvarDest = value;
    return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID, USHORT wFlags,
                            VARTYPE vt) {
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (!ValidType(pvarSrc->vt))
        return DISP_E_BADVARTYPE;
    VARIANT src;
    VariantInit(&src);
    HRESULT hr = VariantCopyInd(&src, pvarSrc); // own copy: dest may be src
    if (FAILED(hr))
        return hr;
    VARIANT r;
    VariantInit(&r);
    if (vt == src.vt || vt == VT_VARIANT) {
        r = src;
        VariantInit(&src);
    } else if ((vt & VT_ARRAY) || (src.vt & VT_ARRAY) || (vt & VT_BYREF)) {
        hr = DISP_E_TYPEMISMATCH;
    } else if (vt == VT_EMPTY) {
        // clearing is always possible
    } else if (vt == VT_NULL) {
        if (src.vt == VT_EMPTY)
            r.vt = VT_NULL;
        else
            hr = DISP_E_TYPEMISMATCH;
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
            if (!src.punkVal) {
                r.vt = vt;
            } else {
                void* p = nullptr;
                hr = src.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                                 &p);
                if (SUCCEEDED(hr)) {
                    r.vt = vt;
                    r.punkVal = static_cast<IUnknown*>(p);
                } else {
                    hr = DISP_E_TYPEMISMATCH;
                }
            }
        } else {
            hr = DISP_E_TYPEMISMATCH;
        }
    } else if (!ValidType(vt) || vt == VT_CY) {
        hr = DISP_E_BADVARTYPE;
    } else if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
        VARIANT value;
        if ((wFlags & VARIANT_NOVALUEPROP) || src.vt == VT_UNKNOWN)
            hr = DISP_E_TYPEMISMATCH;
        else if (SUCCEEDED(hr = DefaultValue(src.pdispVal, value))) {
            hr = vt == value.vt ? (r = value, VariantInit(&value), S_OK)
                                : ConvertScalar(value, wFlags, vt, r);
            VariantClear(&value);
        }
    } else {
        hr = ConvertScalar(src, wFlags, vt, r);
    }
    VariantClear(&src);
    if (FAILED(hr)) {
        VariantClear(&r);
        return hr;
    }
    Assign(pvargDest, r);
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

} // extern "C"

namespace com {

bool VariantToBytes(const VARIANT& v, std::string& out) {
    VARIANT r;
    VariantInit(&r);
    if (FAILED(VariantChangeType(&r, &v, VARIANT_ALPHABOOL, VT_BSTR)))
        return false;
    out = BytesFromBstr(r.bstrVal);
    VariantClear(&r);
    return true;
}

} // namespace com
