#pragma once
// The dual interface of the small server the tests build and register.
#include "platform/com/com.h"

inline constexpr CLSID CLSID_TestCalc = com::MakeGuid("{5D0C1A40-7F3B-4C1E-9B6A-2E8D4F1C7A01}");
inline constexpr IID IID_ITestCalc = com::MakeGuid("{5D0C1A41-7F3B-4C1E-9B6A-2E8D4F1C7A01}");
inline constexpr GUID LIBID_TestLib = com::MakeGuid("{5D0C1A42-7F3B-4C1E-9B6A-2E8D4F1C7A01}");
inline constexpr const char* kTestProgId = "ComTest.Calc";

struct ITestCalc : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Name(VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Count(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Join(VARIANT first, VARIANT second, LONG times,
                                           VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail(VARIANT message) = 0;
    virtual HRESULT STDMETHODCALLTYPE FailCode() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Item(LONG index, BSTR value) = 0;

protected:
    ~ITestCalc() = default;
};
