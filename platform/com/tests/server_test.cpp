// A server built by the tests, registered with regsvr, created by ProgID
// and called late-bound, the way scripts call automation objects.
#include "platform/com/com.h"
#include "platform/com/tests/comtest.h"
#include "platform/com/tests/testserver.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

const std::string kBin = QUELTA_BIN_DIR;
const std::string kServer = kBin + "/libcom_testserver.so";

// Runs regsvr with args; its exit code, and stderr kept in *errText.
int Regsvr(std::vector<std::string> args, std::string* errText = nullptr) {
    std::string errFile = std::string(std::getenv("QUELTA_WINDIR")) + "/regsvr.err";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    args.insert(args.begin(), kBin + "/regsvr");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&fa);
    if (errText) {
        std::ifstream in(errFile);
        errText->assign(std::istreambuf_iterator<char>(in), {});
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

DISPID IdOf(IDispatch* d, const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    return id;
}

HRESULT Put(IDispatch* d, DISPID id, VARIANT value, WORD flags = DISPATCH_PROPERTYPUT) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&value, &named, 1, 1};
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &p, nullptr, nullptr, nullptr);
}

com::Variant Get(IDispatch* d, DISPID id) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    com::Variant r;
    EXPECT_EQ(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                        &none, &r, nullptr, nullptr),
              S_OK);
    return r;
}

std::string Text(const VARIANT& v) {
    std::string s;
    com::VariantToBytes(v, s);
    return s;
}

class Server : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        ASSERT_EQ(Regsvr({"/s", kServer}), 0);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        CLSID clsid;
        ASSERT_EQ(CLSIDFromProgID(u"comtest.calc", &clsid), S_OK);
        ASSERT_EQ(clsid, CLSID_TestCalc);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&obj_)),
                  S_OK);
    }
    void TearDown() override {
        if (obj_)
            obj_->Release();
        CoUninitialize();
        ComTest::TearDown();
    }
    IDispatch* obj_ = nullptr;
};

} // namespace

TEST_F(Server, RegisteredKeysNameTheLibrary) {
    std::string v;
    ASSERT_TRUE(com::RegGetString(
        HKEY_CLASSES_ROOT, "CLSID\\" + com::GuidToString(CLSID_TestCalc) + "\\InprocServer32", "",
        v));
    EXPECT_EQ(v, kServer);
    ASSERT_TRUE(com::RegGetString(
        HKEY_CLASSES_ROOT, "TypeLib\\" + com::GuidToString(LIBID_TestLib) + "\\1.0\\409\\linux", "",
        v));
    EXPECT_EQ(v, kServer);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestCalc, &progId), S_OK);
    EXPECT_EQ(com::BytesFromBstr(progId, com::OleStrLen(progId)), kTestProgId);
    CoTaskMemFree(progId);

    // The registered type library describes the interface.
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_TestLib, 1, 0, 0x409, &lib), S_OK);
    ITypeInfo* ti = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ITestCalc, &ti), S_OK);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(ti->GetTypeAttr(&ta), S_OK);
    EXPECT_EQ(ta->cFuncs, 9);
    EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FDUAL);
    ti->ReleaseTypeAttr(ta);
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(ti->GetFuncDesc(4, &fd), S_OK);
    EXPECT_EQ(fd->memid, 3);
    EXPECT_EQ(fd->cParams, 3);
    EXPECT_EQ(fd->lprgelemdescParam[2].tdesc.vt, VT_I4);
    EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_VARIANT);
    ti->ReleaseFuncDesc(fd);
    ti->Release();
    lib->Release();
}

TEST_F(Server, NamesMatchWithoutCaseAndPropertiesPut) {
    EXPECT_EQ(IdOf(obj_, u"NAME"), 1);
    EXPECT_EQ(IdOf(obj_, u"join"), 3);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Nothing")};
    DISPID id = 0;
    EXPECT_EQ(obj_->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    ASSERT_EQ(Put(obj_, 1, com::Variant(std::string_view("caf\xE9\x00x", 6))), S_OK);
    EXPECT_EQ(Text(Get(obj_, 1)), std::string("caf\xE9\x00x", 6));
    // Put by reference is taken as a put; a value is converted to the type.
    ASSERT_EQ(Put(obj_, 2, com::Variant(std::string_view("12")), DISPATCH_PROPERTYPUTREF), S_OK);
    com::Variant count = Get(obj_, 2);
    EXPECT_EQ(count.vt, VT_I4);
    EXPECT_EQ(count.lVal, 12);
    EXPECT_EQ(Put(obj_, 2, com::Variant(std::string_view("many"))), DISP_E_TYPEMISMATCH);

    // An indexed property: the index positional, the value named.
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_BSTR;
    args[0].bstrVal = com::BstrFromBytes("second");
    args[1].vt = VT_I2;
    args[1].iVal = 1;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{args, &named, 2, 1};
    ASSERT_EQ(obj_->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr),
              S_OK);
    VariantClear(&args[0]);
    DISPPARAMS get{&args[1], nullptr, 1, 0};
    com::Variant item;
    ASSERT_EQ(obj_->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYGET, &get, &item, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Text(item), "second");
}

TEST_F(Server, ArgumentsInReverseOrderNamedAndByReference) {
    // Join(First, Second, Times): rgvarg holds the last argument first.
    com::Variant times(LONG{2}), second(std::string_view("b")), first(std::string_view("a"));
    VARIANT args[3] = {times, second, first};
    DISPPARAMS p{args, nullptr, 3, 0};
    com::Variant r;
    UINT argErr = 99;
    ASSERT_EQ(obj_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &p, &r, nullptr, &argErr), S_OK);
    EXPECT_EQ(Text(r), "abab");

    // Named arguments by the ids of their names, one of them by reference.
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Join"), const_cast<LPOLESTR>(u"times"),
                        const_cast<LPOLESTR>(u"SECOND")};
    DISPID ids[3];
    ASSERT_EQ(obj_->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 1);
    LONG three = 3;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_I4 | VT_BYREF;
    byRef.plVal = &three;
    VARIANT named[3] = {byRef, second, first}; // Times, Second by name; First positional
    DISPID namedIds[2] = {2, 1};
    DISPPARAMS np{named, namedIds, 3, 2};
    r = com::Variant();
    ASSERT_EQ(obj_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &np, &r, nullptr, nullptr), S_OK);
    EXPECT_EQ(Text(r), "ababab");

    // Too few arguments, and an argument of the wrong type.
    DISPPARAMS few{args, nullptr, 2, 0};
    EXPECT_EQ(obj_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &few, &r, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    VARIANT badArgs[3] = {second, second, first};
    DISPPARAMS bad{badArgs, nullptr, 3, 0};
    EXPECT_EQ(obj_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &bad, &r, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(obj_->Invoke(42, IID_NULL, 0, DISPATCH_METHOD, &p, &r, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(Server, FailuresFillExcepInfoFromTheErrorObject) {
    com::Variant message(std::string_view("it broke"));
    DISPPARAMS p{&message, nullptr, 1, 0};
    EXCEPINFO ei{};
    ASSERT_EQ(obj_->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, &ei, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, E_UNEXPECTED);
    EXPECT_EQ(com::BytesFromBstr(ei.bstrDescription), "it broke");
    EXPECT_EQ(com::BytesFromBstr(ei.bstrSource), kTestProgId);
    com::ClearExcepInfo(ei);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(obj_->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &ei, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, E_INVALIDARG); // an error carrying its own code keeps it
    EXPECT_EQ(com::BytesFromBstr(ei.bstrDescription), "bad argument");
    com::ClearExcepInfo(ei);

    // Early-bound: the HRESULT and the thread's error object.
    ITestCalc* calc = nullptr;
    ASSERT_EQ(obj_->QueryInterface(IID_ITestCalc, reinterpret_cast<void**>(&calc)), S_OK);
    BSTR item = nullptr;
    EXPECT_EQ(calc->get_Item(7, &item), E_UNEXPECTED);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    GUID g{};
    info->GetGUID(&g);
    EXPECT_EQ(g, IID_ITestCalc);
    info->Release();
    ISupportErrorInfo* sei = nullptr;
    ASSERT_EQ(obj_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_ITestCalc), S_OK);
    sei->Release();
    calc->Release();
}

TEST_F(Server, ObjectsAreIndependentAndKeepTheLibraryLoaded) {
    IDispatch* other = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&other)),
              S_OK);
    ASSERT_EQ(Put(obj_, 2, com::Variant(LONG{5})), S_OK);
    EXPECT_EQ(Get(other, 2).lVal, 0);
    IUnknown* unk = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, other, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unk)),
              CLASS_E_NOAGGREGATION);

    void* h = dlopen(kServer.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(h, "DllCanUnloadNow"));
    EXPECT_EQ(canUnload(), S_FALSE);
    other->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    obj_->Release();
    obj_ = nullptr;
    EXPECT_EQ(canUnload(), S_OK);
    dlclose(h);
}

TEST_F(Server, UnregisteringRemovesTheKeysAndCreationFails) {
    ASSERT_EQ(Regsvr({"/u", "/s", kServer}), 0);
    std::string v;
    EXPECT_FALSE(
        com::RegKeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + com::GuidToString(CLSID_TestCalc)));
    EXPECT_FALSE(com::RegKeyExists(HKEY_CLASSES_ROOT, kTestProgId));
    EXPECT_FALSE(
        com::RegKeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + com::GuidToString(LIBID_TestLib)));
    EXPECT_FALSE(
        com::RegKeyExists(HKEY_CLASSES_ROOT, "Interface\\" + com::GuidToString(IID_ITestCalc)));
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"ComTest.Calc", &clsid), CO_E_CLASSSTRING);
    IUnknown* unk = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unk)),
              REGDB_E_CLASSNOTREG);
}

TEST(Regsvr, ReportsEachKindOfFailure) {
    char tmpl[] = "/tmp/com_tests.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    setenv("QUELTA_WINDIR", tmpl, 1);
    std::string err;
    EXPECT_EQ(Regsvr({}, &err), 1);
    EXPECT_NE(err.find("usage"), std::string::npos);
    EXPECT_EQ(Regsvr({"/x", kServer}, &err), 1);
    EXPECT_EQ(Regsvr({std::string(tmpl) + "/missing.so"}, &err), 3);
    EXPECT_NE(err.find("cannot load"), std::string::npos);
    EXPECT_EQ(Regsvr({"/s", kBin + "/libcom_noentry.so"}, &err), 4);
    EXPECT_NE(err.find("DllRegisterServer was not found"), std::string::npos);
    // Unregistering what was never registered is harmless.
    EXPECT_EQ(Regsvr({"/u", "/s", kServer}, &err), 0);
    // A registry that cannot be read or written fails the entry point.
    std::filesystem::create_directory(std::string(tmpl) + "/quelta.reg");
    EXPECT_EQ(Regsvr({"/s", kServer}, &err), 5);
    EXPECT_NE(err.find("DllRegisterServer in " + kServer + " failed: Unspecified error"),
              std::string::npos)
        << err;
    std::filesystem::remove_all(tmpl);
}

TEST(Runtime, NeedsInitialisationAndKnowsNoUnregisteredClass) {
    IUnknown* unk = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unk)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}
