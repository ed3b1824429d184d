#include "platform/com/typeinfo_p.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <new>

namespace com::detail {

namespace {

OLECHAR Upper(OLECHAR c) {
    return c >= u'a' && c <= u'z' ? static_cast<OLECHAR>(c - 32) : c;
}

BSTR Wide(const char* s) {
    return BstrFromBytes(s ? s : "");
}

class TypeLib;

class TypeInfo final : public ITypeInfo {
public:
    // Either an interface or a coclass of lib.
    TypeInfo(TypeLib* lib, UINT index, const InterfaceInfo* itf, const CoclassInfo* cls);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
            *ppv = static_cast<ITypeInfo*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** pp) override;
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** pp) override;
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT cMax,
                                       UINT* pcNames) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT cNames, MEMBERID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc,
                                               DWORD* helpContext, BSTR* helpFile) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, DWORD* ref) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(DWORD ref, ITypeInfo** pp) override;
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** pp, UINT* index) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* p) override { std::free(p); }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* p) override {
        if (p)
            std::free(p->lprgelemdescParam);
        std::free(p);
    }

private:
    ~TypeInfo();
    UINT FuncCount() const { return itf_ ? itf_->cFuncs : 0; }
    const FuncInfo* Find(MEMBERID id, WORD flags) const;

    std::atomic<ULONG> refs_{1};
    TypeLib* lib_;
    UINT index_;
    const InterfaceInfo* itf_;
    const CoclassInfo* cls_;
};

class TypeLib final : public ITypeLib {
public:
    TypeLib(const TypeLibInfo* info, void* module) : info_(info), module_(module) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeLib) {
            *ppv = static_cast<ITypeLib*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override {
        return info_->cInterfaces + info_->cCoclasses;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** pp) override {
        if (!pp)
            return E_INVALIDARG;
        *pp = nullptr;
        if (index >= GetTypeInfoCount())
            return TYPE_E_ELEMENTNOTFOUND;
        TypeInfo* t =
            index < info_->cInterfaces
                ? new (std::nothrow) TypeInfo(this, index, info_->interfaces[index], nullptr)
                : new (std::nothrow)
                      TypeInfo(this, index, nullptr, info_->coclasses[index - info_->cInterfaces]);
        if (!t)
            return E_OUTOFMEMORY;
        *pp = t;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override {
        if (!kind)
            return E_INVALIDARG;
        if (index >= GetTypeInfoCount())
            return TYPE_E_ELEMENTNOTFOUND;
        *kind = index < info_->cInterfaces ? TKIND_DISPATCH : TKIND_COCLASS;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** pp) override {
        if (!pp)
            return E_INVALIDARG;
        *pp = nullptr;
        for (UINT i = 0; i < info_->cInterfaces; ++i)
            if (info_->interfaces[i]->iid == guid)
                return GetTypeInfo(i, pp);
        for (UINT i = 0; i < info_->cCoclasses; ++i)
            if (info_->coclasses[i]->clsid == guid)
                return GetTypeInfo(info_->cInterfaces + i, pp);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** pp) override {
        if (!pp)
            return E_INVALIDARG;
        auto* a = static_cast<TLIBATTR*>(std::calloc(1, sizeof(TLIBATTR)));
        if (!a)
            return E_OUTOFMEMORY;
        a->guid = info_->libid;
        a->lcid = info_->lcid;
        a->syskind = SYS_WIN32;
        a->wMajorVerNum = info_->majorVersion;
        a->wMinorVerNum = info_->minorVersion;
        *pp = a;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* helpContext,
                                               BSTR* helpFile) override {
        const char *n, *d;
        if (index == -1) {
            n = info_->name;
            d = info_->help;
        } else if (index >= 0 && static_cast<UINT>(index) < info_->cInterfaces) {
            n = info_->interfaces[index]->name;
            d = info_->interfaces[index]->help;
        } else if (index >= 0 && static_cast<UINT>(index) < GetTypeInfoCount()) {
            n = info_->coclasses[index - info_->cInterfaces]->name;
            d = info_->coclasses[index - info_->cInterfaces]->help;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (name)
            *name = Wide(n);
        if (doc)
            *doc = Wide(d);
        if (helpContext)
            *helpContext = 0;
        if (helpFile)
            *helpFile = nullptr;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* p) override { std::free(p); }

    const TypeLibInfo* info() const { return info_; }

private:
    ~TypeLib() {
        if (module_)
            dlclose(module_);
    }
    std::atomic<ULONG> refs_{1};
    const TypeLibInfo* info_;
    void* module_;
};

TypeInfo::TypeInfo(TypeLib* lib, UINT index, const InterfaceInfo* itf, const CoclassInfo* cls)
    : lib_(lib), index_(index), itf_(itf), cls_(cls) {
    lib_->AddRef();
}

TypeInfo::~TypeInfo() {
    lib_->Release();
}

ULONG TypeInfo::Release() {
    ULONG n = --refs_;
    if (n == 0)
        delete this;
    return n;
}

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** pp) {
    if (!pp)
        return E_INVALIDARG;
    auto* a = static_cast<TYPEATTR*>(std::calloc(1, sizeof(TYPEATTR)));
    if (!a)
        return E_OUTOFMEMORY;
    a->guid = itf_ ? itf_->iid : cls_->clsid;
    a->lcid = lib_->info()->lcid;
    a->typekind = itf_ ? TKIND_DISPATCH : TKIND_COCLASS;
    a->cFuncs = static_cast<WORD>(FuncCount());
    a->cImplTypes = 1;
    a->wTypeFlags = itf_ ? itf_->typeFlags : TYPEFLAG_FCANCREATE;
    a->wMajorVerNum = lib_->info()->majorVersion;
    a->wMinorVerNum = lib_->info()->minorVersion;
    *pp = a;
    return S_OK;
}

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** pp) {
    if (!pp)
        return E_INVALIDARG;
    *pp = nullptr;
    if (index >= FuncCount())
        return TYPE_E_ELEMENTNOTFOUND;
    const FuncInfo& f = itf_->funcs[index];
    auto* d = static_cast<FUNCDESC*>(std::calloc(1, sizeof(FUNCDESC)));
    auto* params = static_cast<ELEMDESC*>(std::calloc(f.cParams ? f.cParams : 1, sizeof(ELEMDESC)));
    if (!d || !params) {
        std::free(d);
        std::free(params);
        return E_OUTOFMEMORY;
    }
    d->memid = f.dispid;
    d->funckind = FUNC_PUREVIRTUAL;
    d->invkind = f.invkind;
    d->callconv = CC_STDCALL;
    d->cParams = f.cParams;
    d->oVft = static_cast<SHORT>((7 + index) * sizeof(void*)); // after IDispatch's seven
    d->lprgelemdescParam = params;
    for (SHORT i = 0; i < f.cParams; ++i) {
        params[i].tdesc.vt = f.paramTypes[i];
        params[i].paramdesc.wParamFlags = PARAMFLAG_FIN;
    }
    d->elemdescFunc.tdesc.vt = f.retType;
    d->elemdescFunc.paramdesc.wParamFlags =
        f.retType == VT_VOID ? PARAMFLAG_NONE : PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    *pp = d;
    return S_OK;
}

const FuncInfo* TypeInfo::Find(MEMBERID id, WORD flags) const {
    for (UINT i = 0; i < FuncCount(); ++i)
        if (itf_->funcs[i].dispid == id && (itf_->funcs[i].invkind & flags))
            return &itf_->funcs[i];
    return nullptr;
}

HRESULT TypeInfo::GetNames(MEMBERID memid, BSTR* names, UINT cMax, UINT* pcNames) {
    if (!names || !pcNames)
        return E_INVALIDARG;
    const FuncInfo* f = Find(memid, 0xF);
    if (!f)
        return TYPE_E_ELEMENTNOTFOUND;
    UINT n = 0;
    if (n < cMax)
        names[n++] = Wide(f->name);
    for (SHORT i = 0; i < f->cParams && n < cMax; ++i)
        names[n++] = Wide(f->paramNames[i]);
    *pcNames = n;
    return S_OK;
}

HRESULT TypeInfo::GetIDsOfNames(LPOLESTR* names, UINT cNames, MEMBERID* ids) {
    if (!names || !ids || cNames == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        ids[i] = DISPID_UNKNOWN;
    // The member with the most parameters of that name names them (a put).
    const FuncInfo* member = nullptr;
    for (UINT i = 0; i < FuncCount(); ++i) {
        const FuncInfo& f = itf_->funcs[i];
        if (names[0] && SameName(names[0], f.name) && (!member || f.cParams > member->cParams))
            member = &f;
    }
    if (!member)
        return DISP_E_UNKNOWNNAME;
    ids[0] = member->dispid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        for (SHORT p = 0; p < member->cParams; ++p)
            if (names[i] && SameName(names[i], member->paramNames[p]))
                ids[i] = p;
        if (ids[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT TypeInfo::Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    if (!instance || !params || (params->cArgs && !params->rgvarg) ||
        params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    const FuncInfo* f = Find(memid, flags);
    // A property put is accepted both as put and as put-by-reference.
    if (!f && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)))
        f = Find(memid, DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    if (!f)
        return DISP_E_MEMBERNOTFOUND;
    const bool put = f->invkind == INVOKE_PROPERTYPUT || f->invkind == INVOKE_PROPERTYPUTREF;
    const UINT cArgs = params->cArgs, cNamed = params->cNamedArgs;
    const UINT cParams = static_cast<UINT>(f->cParams);

    // slot[k]: index into rgvarg of parameter k.
    int slot[kMaxParams];
    for (int& s : slot)
        s = -1;
    UINT firstPositional = 0;
    UINT valueParams = 0; // trailing parameters given by name only
    if (put) {
        if (cParams == 0)
            return DISP_E_BADPARAMCOUNT;
        valueParams = 1;
        if (cNamed > 0 && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT) {
            slot[cParams - 1] = 0;
            firstPositional = 0;
        } else if (cArgs > 0 && cNamed == 0) {
            slot[cParams - 1] = 0; // the value without its name: the last argument
            firstPositional = 1;
        } else {
            return DISP_E_PARAMNOTOPTIONAL;
        }
    }
    for (UINT i = 0; i < cNamed; ++i) {
        DISPID id = params->rgdispidNamedArgs[i];
        if (put && i == 0 && id == DISPID_PROPERTYPUT)
            continue;
        if (id < 0 || static_cast<UINT>(id) >= cParams - valueParams || slot[id] >= 0) {
            if (argErr)
                *argErr = i;
            return DISP_E_PARAMNOTFOUND;
        }
        slot[id] = static_cast<int>(i);
    }
    const UINT positional = cArgs - cNamed - firstPositional;
    if (positional > cParams - valueParams)
        return DISP_E_BADPARAMCOUNT;
    for (UINT k = 0; k < positional; ++k) {
        UINT index = cArgs - 1 - k;
        if (slot[k] >= 0) {
            if (argErr)
                *argErr = index;
            return DISP_E_PARAMNOTFOUND;
        }
        slot[k] = static_cast<int>(index);
    }
    for (UINT k = 0; k < cParams; ++k)
        if (slot[k] < 0)
            return cNamed > (put ? 1u : 0u) ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;

    VARIANT args[kMaxParams];
    for (VARIANT& a : args)
        VariantInit(&a);
    auto clearArgs = [&] {
        for (VARIANT& a : args)
            VariantClear(&a);
    };
    for (UINT k = 0; k < cParams; ++k) {
        const VARIANT& src = params->rgvarg[slot[k]];
        HRESULT hr = VariantCopyInd(&args[k], &src);
        VARTYPE want = f->paramTypes[k];
        if (SUCCEEDED(hr) && want != VT_VARIANT) {
            if (args[k].vt == VT_ERROR && args[k].scode == DISP_E_PARAMNOTFOUND)
                hr = DISP_E_PARAMNOTOPTIONAL; // an omitted argument
            else
                hr = VariantChangeType(&args[k], &args[k], 0, want);
        }
        if (FAILED(hr)) {
            clearArgs();
            if (argErr)
                *argErr = static_cast<UINT>(slot[k]);
            return hr == DISP_E_PARAMNOTOPTIONAL || hr == DISP_E_OVERFLOW ? hr
                                                                          : DISP_E_TYPEMISMATCH;
        }
    }

    VARIANT value;
    VariantInit(&value);
    SetErrorInfo(0, nullptr); // no stale error object is taken for this call's
    HRESULT hr;
    try {
        hr = f->invoke(instance, args, f->retType == VT_VOID ? nullptr : &value);
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    clearArgs();
    if (FAILED(hr)) {
        VariantClear(&value);
        if (!excep)
            return hr;
        *excep = EXCEPINFO{};
        excep->scode = hr;
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) == S_OK && info) {
            info->GetSource(&excep->bstrSource);
            info->GetDescription(&excep->bstrDescription);
            info->GetHelpFile(&excep->bstrHelpFile);
            info->GetHelpContext(&excep->dwHelpContext);
            info->Release();
        }
        return DISP_E_EXCEPTION;
    }
    if (result)
        *result = value; // an [out] value: what the slot held is the caller's
    else
        VariantClear(&value);
    return hr;
}

HRESULT TypeInfo::GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* helpContext,
                                   BSTR* helpFile) {
    const char *n, *d;
    if (memid == MEMBERID_NIL) {
        n = itf_ ? itf_->name : cls_->name;
        d = itf_ ? itf_->help : cls_->help;
    } else {
        const FuncInfo* f = Find(memid, 0xF);
        if (!f)
            return TYPE_E_ELEMENTNOTFOUND;
        n = f->name;
        d = f->help;
    }
    if (name)
        *name = Wide(n);
    if (doc)
        *doc = Wide(d);
    if (helpContext)
        *helpContext = 0;
    if (helpFile)
        *helpFile = nullptr;
    return S_OK;
}

HRESULT TypeInfo::GetRefTypeOfImplType(UINT index, DWORD* ref) {
    if (!ref)
        return E_INVALIDARG;
    if (!cls_ || index != 0 || !cls_->defaultInterface)
        return TYPE_E_ELEMENTNOTFOUND;
    const TypeLibInfo* li = lib_->info();
    for (UINT i = 0; i < li->cInterfaces; ++i)
        if (li->interfaces[i] == cls_->defaultInterface) {
            *ref = i;
            return S_OK;
        }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfo::GetRefTypeInfo(DWORD ref, ITypeInfo** pp) {
    if (!pp)
        return E_INVALIDARG;
    if (ref >= lib_->info()->cInterfaces) {
        *pp = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return lib_->GetTypeInfo(ref, pp);
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** pp, UINT* index) {
    if (!pp)
        return E_INVALIDARG;
    lib_->AddRef();
    *pp = lib_;
    if (index)
        *index = index_;
    return S_OK;
}

} // namespace

bool SameName(const OLECHAR* a, const char* b) {
    if (!a || !b)
        return false;
    for (; *a && *b; ++a, ++b)
        if (Upper(*a) != Upper(static_cast<unsigned char>(*b)))
            return false;
    return *a == 0 && *b == 0;
}

HRESULT MakeTypeLib(const TypeLibInfo* info, void* module, ITypeLib** out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!info) {
        if (module)
            dlclose(module);
        return E_INVALIDARG;
    }
    auto* lib = new (std::nothrow) TypeLib(info, module);
    if (!lib) {
        if (module)
            dlclose(module);
        return E_OUTOFMEMORY;
    }
    *out = lib;
    return S_OK;
}

} // namespace com::detail

namespace com {

HRESULT TypeLibFromInfo(const TypeLibInfo* info, ITypeLib** out) {
    return detail::MakeTypeLib(info, nullptr, out);
}

void ClearExcepInfo(EXCEPINFO& ei) {
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrHelpFile);
    ei = EXCEPINFO{};
}

} // namespace com

extern "C" {

HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgdispid) {
    if (!ptinfo)
        return E_INVALIDARG;
    return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                   DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                   UINT* puArgErr) {
    if (!ptinfo)
        return E_INVALIDARG;
    return ptinfo->Invoke(_this, dispidMember, wFlags, pparams, pvarResult, pexcepinfo, puArgErr);
}

} // extern "C"
