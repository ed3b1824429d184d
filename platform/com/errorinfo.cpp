#include "platform/com/dispatch.h"

#include <atomic>
#include <new>

namespace {

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* p) override {
        if (!p)
            return E_INVALIDARG;
        *p = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* p) override { return Get(source_, p); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* p) override { return Get(description_, p); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* p) override { return Get(helpFile_, p); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* p) override {
        if (!p)
            return E_INVALIDARG;
        *p = helpContext_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID g) override {
        guid_ = g;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR s) override { return Set(source_, s); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR s) override { return Set(description_, s); }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR s) override { return Set(helpFile_, s); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD c) override {
        helpContext_ = c;
        return S_OK;
    }

private:
    static HRESULT Get(const std::u16string& s, BSTR* p) {
        if (!p)
            return E_INVALIDARG;
        *p = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return *p ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Set(std::u16string& field, LPOLESTR s) {
        try {
            field = s ? std::u16string(s) : std::u16string();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    ~ErrorObject() = default;

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    std::u16string source_, description_, helpFile_;
    DWORD helpContext_ = 0;
};

// The thread's current error object; released when the thread ends.
struct Slot {
    IErrorInfo* info = nullptr;
    ~Slot() {
        if (info)
            info->Release();
    }
};
thread_local Slot current;

} // namespace

extern "C" {

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo)
        return E_INVALIDARG;
    auto* e = new (std::nothrow) ErrorObject();
    *pperrinfo = e;
    return e ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
    if (perrinfo)
        perrinfo->AddRef();
    IErrorInfo* old = current.info;
    current.info = perrinfo;
    if (old)
        old->Release();
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
    if (!pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = current.info;
    current.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

} // extern "C"
