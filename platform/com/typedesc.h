#pragma once
// Static type description of a server's type library, declared in C++.
// Each member names a method of the dual interface; com::Member deduces the
// parameter types from its signature and makes the call thunk that the
// type information's Invoke uses, so no vtable offsets are computed by hand.
//
//   inline constexpr com::FuncInfo kFuncs[] = {
//       com::Member<&IThing::get_Name>("Name", 1, INVOKE_PROPERTYGET),
//       com::Member<&IThing::put_Name>("Name", 1, INVOKE_PROPERTYPUT, {"Value"}),
//       com::Member<&IThing::Find>("Find", 2, INVOKE_FUNC, {"Key", "Start"}),
//   };
//
// Parameter types: LONG (VT_I4), SHORT (VT_I2), BYTE (VT_UI1), FLOAT (VT_R4),
// DOUBLE (VT_R8), BSTR, IDispatch*, IUnknown*, VARIANT (by value, owned by
// the caller). A last parameter that points to one of these (BSTR* etc.) is
// the [out, retval] value.
#include "platform/com/dispatch.h"

#include <initializer_list>
#include <tuple>
#include <type_traits>
#include <utility>

namespace com {

inline constexpr int kMaxParams = 8;

// args: the [in] arguments in declaration order, already converted to the
// declared types; result: an empty VARIANT to fill, or null when the caller
// wants no value.
using InvokeThunk = HRESULT (*)(void* instance, VARIANT* args, VARIANT* result);

struct FuncInfo {
    const char* name;
    DISPID dispid;
    INVOKEKIND invkind;
    VARTYPE retType; // VT_VOID when the member gives no value
    SHORT cParams;
    VARTYPE paramTypes[kMaxParams];
    const char* paramNames[kMaxParams];
    const char* help;
    InvokeThunk invoke;
};

struct InterfaceInfo {
    const char* name;
    IID iid;
    const char* help;
    WORD typeFlags; // TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | ...
    const FuncInfo* funcs;
    UINT cFuncs;
};

struct CoclassInfo {
    const char* name;
    CLSID clsid;
    const char* help;
    const InterfaceInfo* defaultInterface;
};

struct TypeLibInfo {
    const char* name;
    const char* help;
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    const InterfaceInfo* const* interfaces;
    UINT cInterfaces;
    const CoclassInfo* const* coclasses;
    UINT cCoclasses;
};

// A type library over a static description (which must outlive it).
HRESULT TypeLibFromInfo(const TypeLibInfo* info, ITypeLib** out);

namespace detail {

template <class T> struct In; // [in] parameter types
template <> struct In<LONG> {
    static constexpr VARTYPE vt = VT_I4;
    static LONG Get(const VARIANT& v) { return v.lVal; }
};
template <> struct In<SHORT> {
    static constexpr VARTYPE vt = VT_I2;
    static SHORT Get(const VARIANT& v) { return v.iVal; }
};
template <> struct In<BYTE> {
    static constexpr VARTYPE vt = VT_UI1;
    static BYTE Get(const VARIANT& v) { return v.bVal; }
};
template <> struct In<FLOAT> {
    static constexpr VARTYPE vt = VT_R4;
    static FLOAT Get(const VARIANT& v) { return v.fltVal; }
};
template <> struct In<DOUBLE> {
    static constexpr VARTYPE vt = VT_R8;
    static DOUBLE Get(const VARIANT& v) { return v.dblVal; }
};
template <> struct In<BSTR> {
    static constexpr VARTYPE vt = VT_BSTR;
    static BSTR Get(const VARIANT& v) { return v.bstrVal; }
};
template <> struct In<IDispatch*> {
    static constexpr VARTYPE vt = VT_DISPATCH;
    static IDispatch* Get(const VARIANT& v) { return v.pdispVal; }
};
template <> struct In<IUnknown*> {
    static constexpr VARTYPE vt = VT_UNKNOWN;
    static IUnknown* Get(const VARIANT& v) { return v.punkVal; }
};
template <> struct In<VARIANT> {
    static constexpr VARTYPE vt = VT_VARIANT;
    static VARIANT Get(const VARIANT& v) { return v; }
};
template <> struct In<const VARIANT&> {
    static constexpr VARTYPE vt = VT_VARIANT;
    static const VARIANT& Get(const VARIANT& v) { return v; }
};

template <class T> struct Out { static constexpr bool is = false; };
template <class T> struct OutOf {
    static constexpr bool is = true;
    static constexpr VARTYPE vt = In<T>::vt;
    static void Init(T& t) { t = T{}; }
    static void Store(T& t, VARIANT* r) {
        r->vt = vt;
        if constexpr (std::is_same_v<T, LONG>)
            r->lVal = t;
        else if constexpr (std::is_same_v<T, SHORT>)
            r->iVal = t;
        else if constexpr (std::is_same_v<T, BYTE>)
            r->bVal = t;
        else if constexpr (std::is_same_v<T, FLOAT>)
            r->fltVal = t;
        else if constexpr (std::is_same_v<T, DOUBLE>)
            r->dblVal = t;
        else if constexpr (std::is_same_v<T, BSTR>)
            r->bstrVal = t;
        else if constexpr (std::is_same_v<T, IDispatch*>)
            r->pdispVal = t;
        else
            r->punkVal = t;
    }
    static void Free(T& t) {
        if constexpr (std::is_same_v<T, BSTR>)
            SysFreeString(t);
        else if constexpr (std::is_pointer_v<T>) {
            if (t)
                t->Release();
        }
    }
};
template <> struct Out<LONG*> : OutOf<LONG> {};
template <> struct Out<SHORT*> : OutOf<SHORT> {};
template <> struct Out<BYTE*> : OutOf<BYTE> {};
template <> struct Out<FLOAT*> : OutOf<FLOAT> {};
template <> struct Out<DOUBLE*> : OutOf<DOUBLE> {};
template <> struct Out<BSTR*> : OutOf<BSTR> {};
template <> struct Out<IDispatch**> : OutOf<IDispatch*> {};
template <> struct Out<IUnknown**> : OutOf<IUnknown*> {};
template <> struct Out<VARIANT*> {
    static constexpr bool is = true;
    static constexpr VARTYPE vt = VT_VARIANT;
    static void Init(VARIANT& t) { VariantInit(&t); }
    static void Store(VARIANT& t, VARIANT* r) { *r = t; }
    static void Free(VARIANT& t) { VariantClear(&t); }
};

template <class... A> struct LastIsOut { static constexpr bool value = false; };
template <class A0, class... A> struct LastIsOut<A0, A...> {
    static constexpr bool value = Out<std::tuple_element_t<sizeof...(A), std::tuple<A0, A...>>>::is;
};

template <auto M> struct Method;
template <class I, class... A, HRESULT (STDMETHODCALLTYPE I::*M)(A...)> struct Method<M> {
    using Args = std::tuple<A...>;
    static constexpr size_t kAll = sizeof...(A);
    static constexpr bool kHasOut = LastIsOut<A...>::value;
    static constexpr size_t kIn = kHasOut ? kAll - 1 : kAll;
    static_assert(kIn <= kMaxParams, "too many parameters");

    template <size_t... K>
    static HRESULT Call(I* obj, VARIANT* args, VARIANT* result, std::index_sequence<K...>) {
        if constexpr (kHasOut) {
            using P = std::tuple_element_t<kAll - 1, Args>;
            using T = std::remove_pointer_t<P>;
            T out;
            Out<P>::Init(out);
            HRESULT hr = (obj->*M)(In<std::tuple_element_t<K, Args>>::Get(args[K])..., &out);
            if (SUCCEEDED(hr) && result) {
                Out<P>::Store(out, result);
            } else {
                Out<P>::Free(out);
            }
            return hr;
        } else {
            (void)args;
            (void)result;
            return (obj->*M)(In<std::tuple_element_t<K, Args>>::Get(args[K])...);
        }
    }
    static HRESULT Invoke(void* instance, VARIANT* args, VARIANT* result) {
        return Call(static_cast<I*>(instance), args, result, std::make_index_sequence<kIn>{});
    }
    template <size_t... K> static constexpr void Types(VARTYPE* out, std::index_sequence<K...>) {
        ((out[K] = In<std::tuple_element_t<K, Args>>::vt), ...);
    }
    static constexpr VARTYPE RetType() {
        if constexpr (kHasOut)
            return Out<std::tuple_element_t<kAll - 1, Args>>::vt;
        else
            return VT_VOID;
    }
};

} // namespace detail

// One member of a dual interface; names lists its [in] parameters' names
// (missing names are left empty).
template <auto M>
constexpr FuncInfo Member(const char* name, DISPID dispid, INVOKEKIND kind,
                          std::initializer_list<const char*> names = {}, const char* help = "") {
    using T = detail::Method<M>;
    FuncInfo f{name, dispid, kind, T::RetType(), static_cast<SHORT>(T::kIn),
               {},   {},     help, &T::Invoke};
    T::Types(f.paramTypes, std::make_index_sequence<T::kIn>{});
    int i = 0;
    for (const char* n : names)
        if (i < kMaxParams)
            f.paramNames[i++] = n;
    for (; i < kMaxParams; ++i)
        f.paramNames[i] = "";
    return f;
}

} // namespace com
