// What regsvr writes and removes, and what the library exports.
#include "automation/tests/fixture.h"

#include <algorithm>
#include <dlfcn.h>
#include <sstream>

using namespace qt;

namespace {

std::string Value(const std::string& key, const std::string& name = "") {
    std::string v;
    return com::RegGetString(HKEY_CLASSES_ROOT, key, name, v) ? v : "<none>";
}

// The registry file's key lines in file order (parents first, in creation order).
std::vector<std::string> KeyLines() {
    std::ifstream in(com::RegistryFileName());
    std::vector<std::string> keys;
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("[HKEY_CLASSES_ROOT\\"))
            keys.push_back(line.substr(19, line.size() - 20));
    return keys;
}

struct Coclass {
    CLSID clsid;
    const char* progId;
    const char* doc;
};
const Coclass kClasses[] = {
    {CLSID_QueltaMessage, "Quelta.QueltaMessage", "QueltaMessageObject"},
    {CLSID_QueltaSMTP, "Quelta.QueltaSMTP", "QueltaSMTPObject"},
};

void ExpectRegistered() {
    const std::string lib = com::GuidToString(LIBID_Quelta);
    for (const auto& c : kClasses) {
        const std::string key = "CLSID\\" + com::GuidToString(c.clsid);
        EXPECT_EQ(Value(key), c.doc);
        EXPECT_EQ(Value(key + "\\InprocServer32"), kLibrary);
        EXPECT_EQ(Value(c.progId), c.doc);
        EXPECT_EQ(Value(std::string(c.progId) + "\\Clsid"), com::GuidToString(c.clsid));
        EXPECT_EQ(Value(key + "\\ProgID"), c.progId);
        EXPECT_EQ(Value(key + "\\Version"), "1.0");
        EXPECT_EQ(Value(key + "\\TypeLib"), lib);

        // The class key's subkeys in the order they are written.
        std::vector<std::string> subs;
        for (const auto& k : KeyLines())
            if (k.starts_with(key + "\\"))
                subs.push_back(k.substr(key.size() + 1));
        EXPECT_EQ(subs,
                  (std::vector<std::string>{"InprocServer32", "ProgID", "Version", "TypeLib"}));

        // Nothing but the default value under InprocServer32.
        HKEY k;
        ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, (key + "\\InprocServer32").c_str(), &k),
                  ERROR_SUCCESS);
        char name[64];
        DWORD cch = sizeof name;
        EXPECT_EQ(RegEnumValue(k, 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
                  ERROR_NO_MORE_ITEMS);
        RegCloseKey(k);
    }
    EXPECT_EQ(Value("TypeLib\\" + lib + "\\1.0"), "Quelta OLE Object Library");
    EXPECT_EQ(Value("TypeLib\\" + lib + "\\1.0\\409\\linux"), kLibrary);
    EXPECT_EQ(Value("Interface\\" + com::GuidToString(IID_IQueltaMessage)), "IQueltaMessage");
    EXPECT_EQ(Value("Interface\\" + com::GuidToString(IID_IQueltaSMTP) + "\\TypeLib"), lib);
}

void ExpectUnregistered() {
    for (const auto& c : kClasses) {
        EXPECT_FALSE(com::RegKeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + com::GuidToString(c.clsid)));
        EXPECT_FALSE(com::RegKeyExists(HKEY_CLASSES_ROOT, c.progId));
    }
    EXPECT_FALSE(
        com::RegKeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + com::GuidToString(LIBID_Quelta)));
    EXPECT_FALSE(
        com::RegKeyExists(HKEY_CLASSES_ROOT, "Interface\\" + com::GuidToString(IID_IQueltaSMTP)));
}

} // namespace

using Registration = QueltaTest;

TEST_F(Registration, WritesEveryKeyOfBothClasses) {
    ExpectRegistered();
}

TEST_F(Registration, UnregisterRemovesThemAndCanBeRepeated) {
    ASSERT_EQ(Regsvr({"/u", "/s", kLibrary}), 0);
    ExpectUnregistered();
    EXPECT_EQ(Regsvr({"/u", "/s", kLibrary}), 0); // harmless a second time
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"Quelta.QueltaMessage", &clsid), CO_E_CLASSSTRING);
    IUnknown* unk = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_QueltaMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unk)),
              REGDB_E_CLASSNOTREG);

    ASSERT_EQ(Regsvr({"/s", kLibrary}), 0);
    ExpectRegistered();
    // Keys of other servers are left alone.
    ASSERT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "Other.Thing\\Clsid", "", "{x}"), 0);
    ASSERT_EQ(Regsvr({"/u", "/s", kLibrary}), 0);
    EXPECT_EQ(Value("Other.Thing\\Clsid"), "{x}");
}

TEST_F(Registration, FailsWhenTheRegistryCannotBeWritten) {
    std::filesystem::remove(com::RegistryFileName());
    std::filesystem::create_directory(com::RegistryFileName()); // unreadable as a file
    EXPECT_EQ(Regsvr({"/s", kLibrary}), 5);
    EXPECT_EQ(Regsvr({"/u", "/s", kLibrary}), 5);
    std::filesystem::remove(com::RegistryFileName());
}

TEST_F(Registration, ClassObjectsAndUnknownClasses) {
    void* h = dlopen(kLibrary.c_str(), RTLD_NOW);
    ASSERT_NE(h, nullptr);
    auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(h, "DllGetClassObject"));
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(get(IID_IQueltaMessage, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(get(CLSID_QueltaMessage, IID_IDispatch, &p), E_NOINTERFACE);
    ASSERT_EQ(get(CLSID_QueltaMessage, IID_IClassFactory, &p), S_OK);
    auto* f = static_cast<IClassFactory*>(p);
    IUnknown* outer = f;
    EXPECT_EQ(f->CreateInstance(outer, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    f->Release();
    dlclose(h);
}

TEST(Exports, ExactlyTheServerEntryPointsAndTheTypeDescription) {
    std::string out;
    ASSERT_EQ(qt::Run({"nm", "-D", "--defined-only", kLibrary}, &out), 0) << out;
    std::vector<std::string> names;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::string addr, type, name;
        std::istringstream(line) >> addr >> type >> name;
        if (!name.empty() && type != "A")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllGetTypeLibInfo",
                                        "DllRegisterServer", "DllUnregisterServer"}));
}
