#include "platform/basic/dispatch.h"

#include "platform/basic/engine.h"

#include <unordered_map>

namespace basic {

namespace {

// VB-style error numbers travel as 0x800Axxxx; others keep their HRESULT.
int ErrorNumberOf(HRESULT hr) {
    if ((static_cast<std::uint32_t>(hr) & 0xFFFF0000u) == 0x800A0000u)
        return hr & 0xFFFF;
    return hr;
}

[[noreturn]] void RaiseFromHresult(HRESULT hr, EXCEPINFO& ei, const std::string& member) {
    switch (hr) {
    case DISP_E_EXCEPTION: {
        if (ei.pfnDeferredFillIn)
            ei.pfnDeferredFillIn(&ei);
        HRESULT code = ei.scode ? ei.scode : (ei.wCode ? MAKE_HRESULT(1, 0xA, ei.wCode) : E_FAIL);
        std::string text = ei.bstrDescription ? com::BytesFromBstr(ei.bstrDescription,
                                                                   SysStringLen(ei.bstrDescription))
                                              : std::string();
        com::ClearExcepInfo(ei);
        if (text.empty())
            text = com::ErrorMessage(code);
        throw RunError(ErrorNumberOf(code), text);
    }
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
        Raise(errNoMember, member);
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL:
        Raise(errWrongArgs, member);
    case DISP_E_TYPEMISMATCH:
        Raise(errTypeMismatch, member);
    case DISP_E_OVERFLOW:
        Raise(errOverflow);
    case DISP_E_BADINDEX:
        Raise(errSubscript);
    case DISP_E_DIVBYZERO:
        Raise(errDivByZero);
    default:
        throw RunError(ErrorNumberOf(hr), com::ErrorMessage(hr));
    }
}

class DispatchObject : public Object {
public:
    explicit DispatchObject(IDispatch* d) : disp_(d) {
        disp_->AddRef();
        IUnknown* unk = nullptr;
        if (SUCCEEDED(disp_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk))) && unk) {
            identity_ = unk;
            unk->Release();
        } else {
            identity_ = disp_;
        }
    }
    ~DispatchObject() override { disp_->Release(); }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    [[nodiscard]] IDispatch* Get() const { return disp_; }
    [[nodiscard]] const void* Identity() const override { return identity_; }

    Value Invoke(const std::string& name, InvokeKind kind, std::vector<Value>& args) override {
        DISPID id = name.empty() ? DISPID_VALUE : IdOf(name);
        // Arguments go last-first; a put's value is the named DISPID_PROPERTYPUT argument.
        std::vector<com::Variant> vargs(args.size());
        for (std::size_t i = 0; i < args.size(); ++i)
            ToVariant(args[i], vargs[args.size() - 1 - i]);
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS params{vargs.empty() ? nullptr : vargs.data(), nullptr,
                          static_cast<UINT>(vargs.size()), 0};
        WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
        if (kind == InvokeKind::Method) {
            flags = DISPATCH_METHOD;
        } else if (kind == InvokeKind::Put || kind == InvokeKind::PutRef) {
            flags = kind == InvokeKind::Put ? DISPATCH_PROPERTYPUT : DISPATCH_PROPERTYPUTREF;
            params.rgdispidNamedArgs = &putId;
            params.cNamedArgs = 1;
        }
        com::Variant result;
        EXCEPINFO ei{};
        UINT argErr = 0;
        HRESULT hr = disp_->Invoke(
            id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
            kind == InvokeKind::Put || kind == InvokeKind::PutRef ? nullptr : result.out(), &ei,
            &argErr);
        if (FAILED(hr))
            RaiseFromHresult(hr, ei, name);
        return FromVariant(result);
    }

private:
    DISPID IdOf(const std::string& name) {
        std::string key = Lower(name);
        auto it = ids_.find(key);
        if (it != ids_.end())
            return it->second;
        std::u16string wide = com::WideFromBytes(name);
        LPOLESTR names[] = {wide.data()};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = disp_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr) || id == DISPID_UNKNOWN)
            Raise(errNoMember, name);
        ids_.emplace(key, id);
        return id;
    }

    IDispatch* disp_;
    const void* identity_;
    std::unordered_map<std::string, DISPID> ids_;
};

} // namespace

std::shared_ptr<Object> WrapDispatch(IDispatch* dispatch) {
    if (!dispatch)
        return nullptr;
    return std::make_shared<DispatchObject>(dispatch);
}

std::shared_ptr<Object> CreateComObject(const std::string& progId) {
    std::u16string wide = com::WideFromBytes(progId);
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(wide.c_str(), &clsid)))
        return nullptr;
    IDispatch* disp = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&disp))) ||
        !disp)
        return nullptr;
    std::shared_ptr<Object> obj = WrapDispatch(disp);
    disp->Release();
    return obj;
}

Value FromVariant(const VARIANT& v0) {
    com::Variant v;
    if (V_ISBYREF(&v0)) {
        if (FAILED(VariantCopyInd(&v, &v0)))
            Raise(errTypeMismatch);
    } else if (FAILED(VariantCopy(&v, &v0))) {
        Raise(errTypeMismatch);
    }
    if (V_ISARRAY(&v)) {
        SAFEARRAY* sa = V_ARRAY(&v);
        LONG lo = 0, hi = -1;
        if (!sa || SafeArrayGetDim(sa) != 1 || FAILED(SafeArrayGetLBound(sa, 1, &lo)) ||
            FAILED(SafeArrayGetUBound(sa, 1, &hi)))
            Raise(errTypeMismatch);
        VARTYPE vt = VT_EMPTY;
        SafeArrayGetVartype(sa, &vt);
        Value out = Value::Array(0);
        for (LONG i = lo; i <= hi; ++i) {
            com::Variant item;
            if (vt == VT_VARIANT) {
                if (FAILED(SafeArrayGetElement(sa, &i, &item)))
                    Raise(errTypeMismatch);
            } else {
                // A typed element is read into a variant of its own type.
                item.llVal_ = 0;
                if (FAILED(SafeArrayGetElement(sa, &i, &item.llVal_)))
                    Raise(errTypeMismatch);
                item.vt = vt;
            }
            out.arr->items.push_back(FromVariant(item));
        }
        return out;
    }
    switch (V_VT(&v)) {
    case VT_EMPTY:
        return {};
    case VT_NULL:
        return Value::Null();
    case VT_I2:
        return Value::Long(V_I2(&v));
    case VT_I4:
        return Value::Long(V_I4(&v));
    case VT_UI1:
        return Value::Long(V_UI1(&v));
    case VT_R4:
        return Value::Dbl(V_R4(&v));
    case VT_R8:
        return Value::Dbl(V_R8(&v));
    case VT_BOOL:
        return Value::Bool(V_BOOL(&v) != VARIANT_FALSE);
    case VT_DATE:
        return Value::Date(V_DATE(&v));
    case VT_BSTR:
        return Value::Str(com::BytesFromBstr(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
    case VT_ERROR:
        return Value::Long(V_ERROR(&v));
    case VT_DISPATCH:
        return Value::Obj(WrapDispatch(V_DISPATCH(&v)));
    case VT_UNKNOWN: {
        IDispatch* d = nullptr;
        if (V_UNKNOWN(&v) &&
            SUCCEEDED(V_UNKNOWN(&v)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) &&
            d) {
            Value out = Value::Obj(WrapDispatch(d));
            d->Release();
            return out;
        }
        if (!V_UNKNOWN(&v))
            return Value::Nothing();
        Raise(errTypeMismatch);
    }
    default:
        Raise(errTypeMismatch);
    }
}

void ToVariant(const Value& v, VARIANT& out) {
    VariantClear(&out);
    switch (v.type) {
    case VType::Empty:
        return;
    case VType::Null:
        out.vt = VT_NULL;
        return;
    case VType::Boolean:
        out.vt = VT_BOOL;
        out.boolVal = v.l ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case VType::Long:
        out.vt = VT_I4;
        out.lVal = v.l;
        return;
    case VType::Double:
        out.vt = VT_R8;
        out.dblVal = v.d;
        return;
    case VType::Date:
        out.vt = VT_DATE;
        out.date = v.d;
        return;
    case VType::String:
        out.vt = VT_BSTR;
        out.bstrVal = com::BstrFromBytes(v.s);
        if (!out.bstrVal)
            Raise(errOutOfMemory);
        return;
    case VType::Object: {
        out.vt = VT_DISPATCH;
        out.pdispVal = nullptr;
        if (!v.obj)
            return;
        auto* d = dynamic_cast<DispatchObject*>(v.obj.get());
        if (!d) {
            out.vt = VT_EMPTY;
            Raise(errTypeMismatch);
        }
        out.pdispVal = d->Get();
        out.pdispVal->AddRef();
        return;
    }
    case VType::Array: {
        SAFEARRAY* sa =
            SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(v.arr->items.size()));
        if (!sa)
            Raise(errOutOfMemory);
        for (LONG i = 0; i < static_cast<LONG>(v.arr->items.size()); ++i) {
            com::Variant item;
            try {
                ToVariant(v.arr->items[static_cast<std::size_t>(i)], item);
            } catch (...) {
                SafeArrayDestroy(sa);
                throw;
            }
            SafeArrayPutElement(sa, &i, &item);
        }
        out.vt = VT_ARRAY | VT_VARIANT;
        out.parray = sa;
        return;
    }
    }
}

void TBasicEngine::AddNamedObject(const std::string& name, IDispatch* object) {
    AddNamedObject(name, WrapDispatch(object));
}

} // namespace basic
