#pragma once
// Building blocks of in-process automation servers: the exception frame
// that turns exceptions into HRESULTs and error objects, an automation
// object base that implements IDispatch from the type information of its
// dual interface, and a class factory. No exception leaves any of them.
#include "platform/com/dispatch.h"

#include <atomic>
#include <stdexcept>
#include <string>

namespace com {

// An error that carries its own HRESULT (an OLE system error). Its type
// information lives in this library, visible to servers built with hidden
// visibility, so the frame below recognises it whoever throws it.
class __attribute__((visibility("default"))) EOleSysError : public std::runtime_error {
public:
    EOleSysError(const std::string& message, HRESULT code, DWORD helpContext = 0)
        : std::runtime_error(message), code_(code), helpContext_(helpContext) {}
    ~EOleSysError() override;
    [[nodiscard]] HRESULT ErrorCode() const { return code_; }
    [[nodiscard]] DWORD HelpContext() const { return helpContext_; }

private:
    HRESULT code_;
    DWORD helpContext_;
};

// Call inside a catch block: makes an error object for the exception in
// flight (GUID = iid, source = progId, description = its message) current
// for the thread and returns E_UNEXPECTED, or an EOleSysError's negative
// code. E_UNEXPECTED without an error object when none can be created.
HRESULT HandleException(REFIID iid, const char* progId) noexcept;

// Runs body (returning void) inside that frame: S_OK when it returns.
template <class F> HRESULT SafeCall(REFIID iid, const char* progId, F&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (...) {
        return HandleException(iid, progId);
    }
}

// The full path of the shared library (or program) that holds address.
[[nodiscard]] std::string ModulePath(const void* address);

// Live objects and outside factory references of one server library; the
// server keeps one (DllCanUnloadNow answers from it).
class ServerModule {
public:
    void Lock() { ++count_; }
    void Unlock() { --count_; }
    [[nodiscard]] bool CanUnload() const { return count_ == 0; }

private:
    std::atomic<long> count_{0};
};

// Base of an automation object implementing the dual interface I. typeInfo
// is I's type information (AddRef'd here); progId names the error source.
template <class I> class AutoObject : public I, public ISupportErrorInfo {
public:
    AutoObject(ServerModule& module, ITypeInfo* typeInfo, REFIID iid, const char* progId)
        : module_(module), typeInfo_(typeInfo), iid_(iid), progId_(progId) {
        module_.Lock();
        if (typeInfo_)
            typeInfo_->AddRef();
    }
    AutoObject(const AutoObject&) = delete;
    AutoObject& operator=(const AutoObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_)
            *ppv = static_cast<I*>(this);
        else if (riid == IID_ISupportErrorInfo)
            *ppv = static_cast<ISupportErrorInfo*>(this);
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

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo)
            return E_INVALIDARG;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** pp) override {
        if (!pp)
            return E_INVALIDARG;
        *pp = nullptr;
        if (iTInfo != 0)
            return DISP_E_BADINDEX;
        if (!typeInfo_)
            return E_UNEXPECTED;
        typeInfo_->AddRef();
        *pp = typeInfo_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT cNames, LCID,
                                            DISPID* ids) override {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(typeInfo_, names, cNames, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispInvoke(static_cast<I*>(this), typeInfo_, id, flags, params, result, excep,
                          argErr);
    }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == iid_ ? S_OK : S_FALSE;
    }

protected:
    virtual ~AutoObject() {
        if (typeInfo_)
            typeInfo_->Release();
        module_.Unlock();
    }
    // Runs a member's body inside the exception frame.
    template <class F> HRESULT Guard(F&& body) noexcept {
        return SafeCall(iid_, progId_, std::forward<F>(body));
    }

private:
    std::atomic<ULONG> refs_{1};
    ServerModule& module_;
    ITypeInfo* typeInfo_;
    IID iid_;
    const char* progId_;
};

// A multi-instance class factory: each CreateInstance calls create. Its
// references from outside (and LockServer) keep the module loaded.
class ClassFactory final : public IClassFactory {
public:
    using Creator = HRESULT (*)(REFIID riid, void** ppv);
    ClassFactory(ServerModule& module, REFCLSID clsid, Creator create)
        : module_(module), clsid_(clsid), create_(create) {}

    [[nodiscard]] const CLSID& Clsid() const { return clsid_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        module_.Lock();
        return ++refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        module_.Unlock();
        return --refs_;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        try {
            return create_(riid, ppv);
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            module_.Lock();
        else
            module_.Unlock();
        return S_OK;
    }

private:
    ServerModule& module_;
    CLSID clsid_;
    Creator create_;
    std::atomic<ULONG> refs_{0}; // the server's own reference is not counted
};

} // namespace com
