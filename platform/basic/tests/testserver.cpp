// A small in-process COM server for the CreateObject test: one class,
// "BasicTest.Counter", with a Value property and an Add method.
#include "platform/basic/tests/testserver.h"

#include <atomic>

namespace {

std::atomic<long> g_live{0};

class Counter final : public IDispatch {
public:
    Counter() { ++g_live; }
    Counter(const Counter&) = delete;
    Counter& operator=(const Counter&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IDispatch) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) {
            --g_live;
            delete this;
        }
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                            DISPID* ids) override {
        std::string name = com::BytesFromBstr(names[0], com::OleStrLen(names[0]));
        for (char& c : name)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        ids[0] = name == "value" ? 1 : name == "add" ? 2 : DISPID_UNKNOWN;
        return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        com::Variant arg;
        if (p->cArgs > 0 && FAILED(VariantChangeType(&arg, &p->rgvarg[0], 0, VT_I4)))
            return DISP_E_TYPEMISMATCH;
        if (id == 1 && (flags & DISPATCH_PROPERTYPUT)) {
            value_ = arg.lVal;
            return S_OK;
        }
        if (id == 2) {
            if (p->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            value_ += arg.lVal;
        } else if (id != 1) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (result) {
            result->vt = VT_I4;
            result->lVal = value_;
        }
        return S_OK;
    }

private:
    ~Counter() = default;
    std::atomic<ULONG> refs_{1};
    LONG value_ = 0;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; } // one static factory
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* c = new Counter;
        HRESULT hr = c->QueryInterface(riid, ppv);
        c->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT
DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (clsid != CLSID_BasicTestCounter)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return g_live == 0 ? S_OK : S_FALSE;
}
