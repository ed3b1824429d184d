// A small in-process server for the tests: one multi-instance class with a
// dual interface, registered by regsvr and created by ProgID.
#include "platform/com/tests/testserver.h"

#include <new>
#include <string>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

com::ServerModule gModule;

constexpr com::FuncInfo kFuncs[] = {
    com::Member<&ITestCalc::get_Name>("Name", 1, INVOKE_PROPERTYGET),
    com::Member<&ITestCalc::put_Name>("Name", 1, INVOKE_PROPERTYPUT, {"Value"}),
    com::Member<&ITestCalc::get_Count>("Count", 2, INVOKE_PROPERTYGET),
    com::Member<&ITestCalc::put_Count>("Count", 2, INVOKE_PROPERTYPUT, {"Value"}),
    com::Member<&ITestCalc::Join>("Join", 3, INVOKE_FUNC, {"First", "Second", "Times"}),
    com::Member<&ITestCalc::Fail>("Fail", 4, INVOKE_FUNC, {"Message"}),
    com::Member<&ITestCalc::FailCode>("FailCode", 5, INVOKE_FUNC),
    com::Member<&ITestCalc::get_Item>("Item", 6, INVOKE_PROPERTYGET, {"Index"}),
    com::Member<&ITestCalc::put_Item>("Item", 6, INVOKE_PROPERTYPUT, {"Index", "Value"}),
};
constexpr com::InterfaceInfo kCalc{"ITestCalc",
                                   IID_ITestCalc,
                                   "Test calculator",
                                   TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION,
                                   kFuncs,
                                   sizeof kFuncs / sizeof kFuncs[0]};
constexpr com::CoclassInfo kCalcClass{"Calc", CLSID_TestCalc, "Test calculator object", &kCalc};
constexpr const com::InterfaceInfo* kInterfaces[] = {&kCalc};
constexpr const com::CoclassInfo* kClasses[] = {&kCalcClass};
constexpr com::TypeLibInfo kLib{
    "ComTest", "COM test library", LIBID_TestLib, 1, 0, 0x409, kInterfaces, 1, kClasses, 1};

// Made on first use, released when the library is unloaded.
struct TypeInfoHolder {
    ITypeInfo* info = nullptr;
    ~TypeInfoHolder() {
        if (info)
            info->Release();
    }
} gTypeInfo;

ITypeInfo* CalcTypeInfo() {
    if (!gTypeInfo.info) {
        ITypeLib* lib = nullptr;
        if (SUCCEEDED(com::TypeLibFromInfo(&kLib, &lib))) {
            lib->GetTypeInfoOfGuid(IID_ITestCalc, &gTypeInfo.info);
            lib->Release();
        }
    }
    return gTypeInfo.info;
}

class Calc final : public com::AutoObject<ITestCalc> {
public:
    Calc() : AutoObject(gModule, CalcTypeInfo(), IID_ITestCalc, kTestProgId) {}

    HRESULT STDMETHODCALLTYPE get_Name(VARIANT* value) override {
        return Guard([&] {
            VariantInit(value);
            value->vt = VT_BSTR;
            value->bstrVal = com::BstrFromBytes(name_);
        });
    }
    HRESULT STDMETHODCALLTYPE put_Name(VARIANT value) override {
        return Guard([&] {
            if (!com::VariantToBytes(value, name_))
                throw std::runtime_error("Name needs text");
        });
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* value) override {
        *value = count_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Count(LONG value) override {
        count_ = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Join(VARIANT first, VARIANT second, LONG times,
                                   VARIANT* result) override {
        return Guard([&] {
            std::string a, b, out;
            com::VariantToBytes(first, a);
            com::VariantToBytes(second, b);
            for (LONG i = 0; i < times; ++i)
                out += a + b;
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = com::BstrFromBytes(out);
        });
    }
    HRESULT STDMETHODCALLTYPE Fail(VARIANT message) override {
        return Guard([&] {
            std::string text;
            com::VariantToBytes(message, text);
            throw std::runtime_error(text);
        });
    }
    HRESULT STDMETHODCALLTYPE FailCode() override {
        return Guard([] { throw com::EOleSysError("bad argument", E_INVALIDARG); });
    }
    HRESULT STDMETHODCALLTYPE get_Item(LONG index, BSTR* value) override {
        return Guard([&] { *value = com::BstrFromBytes(items_.at(static_cast<size_t>(index))); });
    }
    HRESULT STDMETHODCALLTYPE put_Item(LONG index, BSTR value) override {
        return Guard([&] { items_.at(static_cast<size_t>(index)) = com::BytesFromBstr(value); });
    }

private:
    std::string name_;
    LONG count_ = 0;
    std::vector<std::string> items_ = std::vector<std::string>(3);
};

HRESULT CreateCalc(REFIID riid, void** ppv) {
    auto* c = new (std::nothrow) Calc();
    if (!c)
        return E_OUTOFMEMORY;
    HRESULT hr = c->QueryInterface(riid, ppv);
    c->Release();
    return hr;
}

com::ClassFactory gFactory(gModule, CLSID_TestCalc, &CreateCalc);

std::string ClassKey() {
    return "CLSID\\" + com::GuidToString(CLSID_TestCalc);
}

} // namespace

EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_TestCalc)
        return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, ppv);
}

EXPORT HRESULT DllCanUnloadNow() {
    return gModule.CanUnload() ? S_OK : S_FALSE;
}

EXPORT const com::TypeLibInfo* DllGetTypeLibInfo() {
    return &kLib;
}

EXPORT HRESULT DllRegisterServer() {
    try {
        std::string path = com::ModulePath(reinterpret_cast<const void*>(&DllRegisterServer));
        ITypeLib* lib = nullptr;
        if (FAILED(com::TypeLibFromInfo(&kLib, &lib)))
            return E_FAIL;
        std::u16string wpath = com::WideFromBytes(path);
        HRESULT hr = RegisterTypeLib(lib, wpath.c_str(), nullptr);
        lib->Release();
        bool ok =
            SUCCEEDED(hr) &&
            com::RegSetString(HKEY_CLASSES_ROOT, ClassKey(), "", kCalcClass.help) == 0 &&
            com::RegSetString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", "", path) == 0 &&
            com::RegSetString(HKEY_CLASSES_ROOT, kTestProgId, "", kCalcClass.help) == 0 &&
            com::RegSetString(HKEY_CLASSES_ROOT, std::string(kTestProgId) + "\\Clsid", "",
                              com::GuidToString(CLSID_TestCalc)) == 0 &&
            com::RegSetString(HKEY_CLASSES_ROOT, ClassKey() + "\\ProgID", "", kTestProgId) == 0;
        return ok ? S_OK : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

EXPORT HRESULT DllUnregisterServer() {
    try {
        UnRegisterTypeLib(LIBID_TestLib, 1, 0, 0x409, SYS_WIN32);
        for (std::string key :
             {ClassKey() + "\\ProgID", std::string(kTestProgId) + "\\Clsid",
              std::string(kTestProgId), ClassKey() + "\\InprocServer32", ClassKey()})
            RegDeleteKey(HKEY_CLASSES_ROOT, key.c_str());
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}
