#include "platform/com/runtime.h"
#include "platform/com/registry.h"
#include "platform/com/typeinfo_p.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <vector>

namespace {

thread_local int tInitCount = 0;

// Loaded server libraries by path; each holds one dlopen reference.
struct Server {
    void* handle = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;
};
std::mutex gServersMutex;
std::map<std::string, Server> gServers;

std::string Narrow(LPCOLESTR s) {
    return s ? com::BytesFromBstr(s, com::OleStrLen(s)) : "";
}

std::string ClassKey(REFCLSID clsid) {
    return "CLSID\\" + com::GuidToString(clsid);
}

HRESULT LoadServer(const std::string& path, Server& out) {
    std::lock_guard<std::mutex> guard(gServersMutex);
    auto it = gServers.find(path);
    if (it != gServers.end()) {
        out = it->second;
        return S_OK;
    }
    Server s;
    s.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!s.handle)
        return CO_E_DLLNOTFOUND;
    s.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(s.handle, "DllGetClassObject"));
    s.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(s.handle, "DllCanUnloadNow"));
    if (!s.getClassObject) {
        dlclose(s.handle);
        return CO_E_ERRORINDLL;
    }
    gServers.emplace(path, s);
    out = s;
    return S_OK;
}

} // namespace

extern "C" {

HRESULT CoInitialize(void*) {
    return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(void*, DWORD) {
    return tInitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (tInitCount > 0 && --tInitCount == 0)
        CoFreeUnusedLibraries();
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv) {
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (tInitCount == 0)
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)))
        return REGDB_E_CLASSNOTREG;
    try {
        std::string path;
        if (!com::RegGetString(HKEY_CLASSES_ROOT, ClassKey(rclsid) + "\\InprocServer32", "",
                               path) ||
            path.empty())
            return REGDB_E_CLASSNOTREG;
        Server s;
        HRESULT hr = LoadServer(path, s);
        if (FAILED(hr))
            return hr;
        return s.getClassObject(rclsid, riid, ppv);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv) {
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

void CoFreeUnusedLibraries() {
    std::lock_guard<std::mutex> guard(gServersMutex);
    for (auto it = gServers.begin(); it != gServers.end();) {
        const Server& s = it->second;
        if (s.canUnloadNow && s.canUnloadNow() == S_OK) {
            dlclose(s.handle);
            it = gServers.erase(it);
        } else {
            ++it;
        }
    }
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    try {
        std::string progId = Narrow(lpszProgID), text;
        if (progId.empty() || progId.find('\\') != std::string::npos ||
            !com::RegGetString(HKEY_CLASSES_ROOT, progId + "\\Clsid", "", text))
            return CO_E_CLASSSTRING;
        if (text.size() != 38 || text.front() != '{' || !com::ParseGuid(text, *lpclsid))
            return CO_E_CLASSSTRING;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    try {
        std::string progId;
        if (!com::RegGetString(HKEY_CLASSES_ROOT, ClassKey(clsid) + "\\ProgID", "", progId) ||
            progId.empty())
            return REGDB_E_CLASSNOTREG;
        auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
        if (!out)
            return E_OUTOFMEMORY;
        for (size_t i = 0; i < progId.size(); ++i)
            out[i] = static_cast<unsigned char>(progId[i]);
        out[progId.size()] = 0;
        *lplpszProgID = out;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

void* CoTaskMemAlloc(size_t cb) {
    return std::malloc(cb ? cb : 1);
}
void* CoTaskMemRealloc(void* pv, size_t cb) {
    return std::realloc(pv, cb ? cb : 1);
}
void CoTaskMemFree(void* pv) {
    std::free(pv);
}

HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
    if (!szFile || !pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    try {
        void* h = dlopen(Narrow(szFile).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h)
            return TYPE_E_CANTLOADLIBRARY;
        auto get = reinterpret_cast<LPFNGETTYPELIBINFO>(dlsym(h, "DllGetTypeLibInfo"));
        const com::TypeLibInfo* info = get ? get() : nullptr;
        if (!info) {
            dlclose(h);
            return TYPE_E_CANTLOADLIBRARY;
        }
        return com::detail::MakeTypeLib(info, h, pptlib);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // extern "C"

namespace {

std::string VersionKey(REFGUID libid, WORD major, WORD minor) {
    char ver[16];
    std::snprintf(ver, sizeof ver, "%u.%u", major, minor);
    return "TypeLib\\" + com::GuidToString(libid) + "\\" + ver;
}

std::string LcidName(LCID lcid) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(lcid));
    return buf;
}

// Standard marshaler of automation interfaces, recorded as Windows does.
constexpr const char* kOleAutProxy = "{00020424-0000-0000-C000-000000000046}";

} // namespace

extern "C" {

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                       ITypeLib** pptlib) {
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    try {
        std::string key = VersionKey(rguid, wVerMajor, wVerMinor), path;
        if (!com::RegGetString(HKEY_CLASSES_ROOT, key + "\\" + LcidName(lcid) + "\\linux", "",
                               path) &&
            !com::RegGetString(HKEY_CLASSES_ROOT, key + "\\0\\linux", "", path))
            return TYPE_E_LIBNOTREGISTERED;
        std::u16string wide = com::WideFromBytes(path);
        return LoadTypeLib(wide.c_str(), pptlib);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    if (!ptlib || !szFullPath)
        return E_INVALIDARG;
    try {
        TLIBATTR* attr = nullptr;
        HRESULT hr = ptlib->GetLibAttr(&attr);
        if (FAILED(hr))
            return hr;
        const GUID libid = attr->guid;
        const std::string key = VersionKey(libid, attr->wMajorVerNum, attr->wMinorVerNum);
        const std::string lcid = LcidName(attr->lcid);
        char ver[16];
        std::snprintf(ver, sizeof ver, "%u.%u", attr->wMajorVerNum, attr->wMinorVerNum);
        ptlib->ReleaseTLibAttr(attr);

        com::Bstr doc;
        ptlib->GetDocumentation(-1, nullptr, doc.out(), nullptr, nullptr);
        const std::string path = Narrow(szFullPath);
        std::string helpDir = szHelpDir ? Narrow(szHelpDir) : path.substr(0, path.rfind('/') + 1);

        bool ok =
            com::RegSetString(HKEY_CLASSES_ROOT, key, "", doc.Bytes()) == ERROR_SUCCESS &&
            com::RegSetString(HKEY_CLASSES_ROOT, key + "\\" + lcid + "\\linux", "", path) ==
                ERROR_SUCCESS &&
            com::RegSetString(HKEY_CLASSES_ROOT, key + "\\FLAGS", "", "0") == ERROR_SUCCESS &&
            com::RegSetString(HKEY_CLASSES_ROOT, key + "\\HELPDIR", "", helpDir) == ERROR_SUCCESS;
        for (UINT i = 0; ok && i < ptlib->GetTypeInfoCount(); ++i) {
            TYPEKIND kind;
            if (FAILED(ptlib->GetTypeInfoType(i, &kind)) ||
                (kind != TKIND_DISPATCH && kind != TKIND_INTERFACE))
                continue;
            ITypeInfo* ti = nullptr;
            if (FAILED(ptlib->GetTypeInfo(i, &ti)))
                return TYPE_E_INVALIDSTATE;
            TYPEATTR* ta = nullptr;
            ti->GetTypeAttr(&ta);
            com::Bstr name;
            ti->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr);
            const std::string ikey = "Interface\\" + com::GuidToString(ta->guid);
            ti->ReleaseTypeAttr(ta);
            ti->Release();
            ok = com::RegSetString(HKEY_CLASSES_ROOT, ikey, "", name.Bytes()) == ERROR_SUCCESS &&
                 com::RegSetString(HKEY_CLASSES_ROOT, ikey + "\\ProxyStubClsid", "",
                                   kOleAutProxy) == ERROR_SUCCESS &&
                 com::RegSetString(HKEY_CLASSES_ROOT, ikey + "\\ProxyStubClsid32", "",
                                   kOleAutProxy) == ERROR_SUCCESS &&
                 com::RegSetString(HKEY_CLASSES_ROOT, ikey + "\\TypeLib", "",
                                   com::GuidToString(libid)) == ERROR_SUCCESS &&
                 com::RegSetString(HKEY_CLASSES_ROOT, ikey + "\\TypeLib", "Version", ver) ==
                     ERROR_SUCCESS;
        }
        return ok ? S_OK : TYPE_E_REGISTRYACCESS;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND) {
    try {
        const std::string key = VersionKey(libID, wVerMajor, wVerMinor);
        if (!com::RegKeyExists(HKEY_CLASSES_ROOT, key))
            return TYPE_E_REGISTRYACCESS;
        // The interfaces come from the registered library itself.
        ITypeLib* lib = nullptr;
        if (SUCCEEDED(LoadRegTypeLib(libID, wVerMajor, wVerMinor, lcid, &lib))) {
            const std::string libText = com::GuidToString(libID);
            for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
                ITypeInfo* ti = nullptr;
                TYPEKIND kind;
                if (FAILED(lib->GetTypeInfoType(i, &kind)) ||
                    (kind != TKIND_DISPATCH && kind != TKIND_INTERFACE) ||
                    FAILED(lib->GetTypeInfo(i, &ti)))
                    continue;
                TYPEATTR* ta = nullptr;
                ti->GetTypeAttr(&ta);
                const std::string ikey = "Interface\\" + com::GuidToString(ta->guid);
                ti->ReleaseTypeAttr(ta);
                ti->Release();
                std::string owner;
                if (!com::RegGetString(HKEY_CLASSES_ROOT, ikey + "\\TypeLib", "", owner) ||
                    owner != libText)
                    continue; // another library's now
                for (const char* sub : {"\\ProxyStubClsid", "\\ProxyStubClsid32", "\\TypeLib", ""})
                    RegDeleteKey(HKEY_CLASSES_ROOT, (ikey + sub).c_str());
            }
            lib->Release();
        }
        HKEY k;
        if (RegOpenKey(HKEY_CLASSES_ROOT, key.c_str(), &k) == ERROR_SUCCESS) {
            char name[256];
            std::vector<std::string> locales;
            for (DWORD i = 0; RegEnumKey(k, i, name, sizeof name) == ERROR_SUCCESS; ++i)
                locales.emplace_back(name); // locales, FLAGS, HELPDIR
            RegCloseKey(k);
            for (const auto& l : locales) {
                RegDeleteKey(HKEY_CLASSES_ROOT, (key + "\\" + l + "\\linux").c_str());
                RegDeleteKey(HKEY_CLASSES_ROOT, (key + "\\" + l).c_str());
            }
        }
        if (RegDeleteKey(HKEY_CLASSES_ROOT, key.c_str()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
        // The library's key goes with its last version.
        RegDeleteKey(HKEY_CLASSES_ROOT, ("TypeLib\\" + com::GuidToString(libID)).c_str());
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // extern "C"
