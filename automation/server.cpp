// The library's exports: class objects, unloading, and registration.
#include "automation/module.h"
#include "automation/qumsgobj.h"
#include "automation/qusmtpob.h"
#include "automation/sharedsmtp.h"
#include "automation/typelib.h"

#include <new>
#include <string>

#define QUELTA_EXPORT extern "C" __attribute__((visibility("default")))

namespace quelta {

com::ServerModule& Module() {
    static com::ServerModule module;
    return module;
}

namespace {

template <class T> HRESULT Create(REFIID riid, void** ppv) {
    auto* obj = new (std::nothrow) T();
    if (!obj)
        return E_OUTOFMEMORY;
    HRESULT hr = obj->QueryInterface(riid, ppv);
    obj->Release();
    return hr;
}

struct Factory {
    const com::CoclassInfo& coclass;
    const char* progId;
    com::ClassFactory factory;
};

// Both multi-instance. The SMTP class comes first, as its unit is set up first.
Factory gFactories[] = {
    {kSmtpClass, kSmtpProgId, {Module(), CLSID_QueltaSMTP, &Create<TQueltaSMTP>}},
    {kMessageClass, kMessageProgId, {Module(), CLSID_QueltaMessage, &Create<TQueltaMessage>}},
};

std::string LibraryPath() {
    return com::ModulePath(reinterpret_cast<const void*>(&LibraryPath));
}

bool Set(const std::string& key, const std::string& value) {
    return com::RegSetString(HKEY_CLASSES_ROOT, key, "", value) == ERROR_SUCCESS;
}

// A key that is already gone is no failure: unregistering twice is harmless.
bool Delete(const std::string& key) {
    LONG rc = RegDeleteKey(HKEY_CLASSES_ROOT, key.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool RegisterFactory(const Factory& f, const std::string& path) {
    const std::string classKey = "CLSID\\" + com::GuidToString(f.coclass.clsid);
    const std::string version =
        std::to_string(QueltaMajorVersion) + "." + std::to_string(QueltaMinorVersion);
    return Set(classKey, f.coclass.help) && Set(classKey + "\\InprocServer32", path) &&
           Set(f.progId, f.coclass.help) &&
           Set(std::string(f.progId) + "\\Clsid", com::GuidToString(f.coclass.clsid)) &&
           Set(classKey + "\\ProgID", f.progId) && Set(classKey + "\\Version", version) &&
           Set(classKey + "\\TypeLib", com::GuidToString(LIBID_Quelta));
}

bool UnregisterFactory(const Factory& f) {
    const std::string classKey = "CLSID\\" + com::GuidToString(f.coclass.clsid);
    bool ok = true;
    for (const std::string& key : {classKey + "\\TypeLib", classKey + "\\Version",
                                   classKey + "\\ProgID", std::string(f.progId) + "\\Clsid",
                                   std::string(f.progId), classKey + "\\InprocServer32", classKey})
        ok = Delete(key) && ok;
    return ok;
}

} // namespace

} // namespace quelta

using namespace quelta;

QUELTA_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    try {
        for (Factory& f : gFactories)
            if (f.factory.Clsid() == rclsid) {
                SharedSmtp(); // made with the first class object, before any object uses it
                return f.factory.QueryInterface(riid, ppv);
            }
        return CLASS_E_CLASSNOTAVAILABLE;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

QUELTA_EXPORT HRESULT DllCanUnloadNow() {
    return Module().CanUnload() ? S_OK : S_FALSE;
}

QUELTA_EXPORT const com::TypeLibInfo* DllGetTypeLibInfo() {
    return &kTypeLib;
}

QUELTA_EXPORT HRESULT DllRegisterServer() {
    try {
        const std::string path = LibraryPath();
        const std::u16string wide = com::WideFromBytes(path);
        ITypeLib* lib = nullptr;
        if (path.empty() || FAILED(LoadTypeLib(wide.c_str(), &lib)))
            return E_FAIL;
        HRESULT hr = RegisterTypeLib(lib, wide.c_str(), nullptr);
        lib->Release();
        if (FAILED(hr))
            return E_FAIL;
        for (const Factory& f : gFactories)
            if (!RegisterFactory(f, path))
                return E_FAIL;
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

QUELTA_EXPORT HRESULT DllUnregisterServer() {
    try {
        HRESULT hr = UnRegisterTypeLib(LIBID_Quelta, QueltaMajorVersion, QueltaMinorVersion,
                                       QueltaLcid, SYS_WIN32);
        // Not registered (any more) is no failure.
        bool ok = SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS;
        for (const Factory& f : gFactories)
            ok = UnregisterFactory(f) && ok;
        return ok ? S_OK : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}
