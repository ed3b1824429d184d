// Scripts calling a COM object through IDispatch: a hand-written test
// object checks what arrives (flags, argument order, the put convention)
// and answers with values, errors and objects as a server would.
#include "platform/basic/dispatch.h"
#include "platform/basic/tests/script_runner.h"
#include "platform/basic/tests/testserver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

using basic::TBasicEngine;
using basic::test::RunScript;

class TestMessage : public IDispatch {
public:
    enum : DISPID { idSubject = 1, idAdd, idCount, idFail, idSelf, idItems, idEcho };

    std::string subject = "Hello";
    std::vector<std::string> recipients;
    std::vector<std::string> log; // "<dispid>:<flags>:<args>:<named>"
    ULONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; } // lives on the test's stack

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        static const std::map<std::string, DISPID> known = {
            {"subject", idSubject}, {"addrecipient", idAdd}, {"recipientcount", idCount},
            {"fail", idFail},       {"self", idSelf},        {"items", idItems},
            {"echo", idEcho}};
        std::string name = basic::Lower(com::BytesFromBstr(names[0], com::OleStrLen(names[0])));
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        auto it = known.find(name);
        if (it == known.end())
            return DISP_E_UNKNOWNNAME;
        ids[0] = it->second;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p,
                                     VARIANT* result, EXCEPINFO* ei, UINT*) override {
        std::string named = p->cNamedArgs ? std::to_string(p->rgdispidNamedArgs[0]) : "-";
        log.push_back(std::to_string(id) + ":" + std::to_string(flags) + ":" +
                      std::to_string(p->cArgs) + ":" + named);
        auto arg = [&](UINT i) -> std::string { // i-th argument, first = 0
            std::string s;
            com::VariantToBytes(p->rgvarg[p->cArgs - 1 - i], s);
            return s;
        };
        switch (id) {
        case DISPID_VALUE:
        case idSubject:
            if (flags & DISPATCH_PROPERTYPUT) {
                if (p->cNamedArgs != 1 || p->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                    return DISP_E_PARAMNOTFOUND;
                subject = arg(0);
                return S_OK;
            }
            result->vt = VT_BSTR;
            result->bstrVal = com::BstrFromBytes(subject);
            return S_OK;
        case idAdd:
            if (p->cArgs != 2)
                return DISP_E_BADPARAMCOUNT;
            recipients.push_back(arg(0) + " <" + arg(1) + ">");
            return S_OK;
        case idCount:
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(recipients.size());
            return S_OK;
        case idFail:
            ei->scode = E_FAIL;
            ei->bstrDescription = com::BstrFromBytes("List index out of bounds (7)");
            return DISP_E_EXCEPTION;
        case idSelf:
            result->vt = VT_DISPATCH;
            result->pdispVal = this;
            AddRef();
            return S_OK;
        case idItems: {
            SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, 3);
            const char* words[] = {"one", "two", "three"};
            for (LONG i = 0; i < 3; ++i) {
                BSTR b = com::BstrFromBytes(words[i]);
                SafeArrayPutElement(sa, &i, b);
                SysFreeString(b);
            }
            result->vt = VT_ARRAY | VT_BSTR;
            result->parray = sa;
            return S_OK;
        }
        case idEcho:
            if (p->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            return VariantCopy(result, &p->rgvarg[0]);
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }
};

TEST(Dispatch, ScriptsReadWriteAndCallThroughIDispatch) {
    TestMessage msg;
    {
        TBasicEngine engine;
        engine.AddNamedObject("CurrentMessage.", static_cast<IDispatch*>(&msg));
        auto o =
            RunScript(engine, "Print CurrentMessage.Subject\n"
                              "CurrentMessage.Subject = \"Re: \" & CurrentMessage.subject\n"
                              "CurrentMessage.AddRecipient \"Ann\", \"ann@example.com\"\n"
                              "CurrentMessage.AddRecipient(\"Bob\", \"bob@example.com\")\n"
                              "Print CurrentMessage.RecipientCount & \" \" & CurrentMessage\n");
        ASSERT_FALSE(o.failed) << o.line << ": " << o.text;
        EXPECT_EQ(o.output, "Hello\n2 Re: Hello\n");
    }
    EXPECT_EQ(msg.subject, "Re: Hello");
    ASSERT_EQ(msg.recipients.size(), 2u);
    EXPECT_EQ(msg.recipients[0], "Ann <ann@example.com>");
    EXPECT_EQ(msg.recipients[1], "Bob <bob@example.com>");
    ASSERT_GE(msg.log.size(), 5u);
    EXPECT_EQ(msg.log[0], "1:3:0:-");  // get: METHOD | PROPERTYGET
    EXPECT_EQ(msg.log[2], "1:4:1:-3"); // put: the value as DISPID_PROPERTYPUT
    EXPECT_EQ(msg.log[3], "2:1:2:-");  // statement call: METHOD
    EXPECT_EQ(msg.log[4], "2:1:2:-");
    // Every reference the engine took is given back.
    EXPECT_EQ(msg.refs, 1u);
}

TEST(Dispatch, ValuesCrossBothWays) {
    TestMessage msg;
    TBasicEngine engine;
    engine.AddNamedObject("M", static_cast<IDispatch*>(&msg));
    auto o =
        RunScript(engine, "Print M.Echo(42) + 1 & \" \" & M.Echo(2.5) * 2 & \" \" & M.Echo(True)\n"
                          "Print M.Echo(#2020-02-29#) + 1 & \" \" & IsNull(M.Echo(Null)) & "
                          "IsEmpty(M.Echo(Empty))\n"
                          "Print Len(M.Echo(\"a\" & Chr(0) & Chr(255))) & \" \" & "
                          "Asc(Right(M.Echo(Chr(200)), 1))\n"
                          "For Each w In M.Items : Print w; : Next : Print\n"
                          "a = M.Echo(Array(1, \"x\"))\n"
                          "Print UBound(a) & a(1)\n");
    ASSERT_FALSE(o.failed) << o.line << ": " << o.text;
    EXPECT_EQ(o.output, "43 5 True\n3/1/2020 TrueTrue\n3 200\nonetwothree\n1x\n");
}

TEST(Dispatch, ObjectsKeepTheirIdentityAndAreReleased) {
    TestMessage msg;
    {
        TBasicEngine engine;
        engine.AddNamedObject("CurrentMessage.", static_cast<IDispatch*>(&msg));
        // A run that fails while it holds references still gives them back.
        auto o = RunScript(engine, "Set a = CurrentMessage.Self\n"
                                   "Set b = a.Self\n"
                                   "x = 1 / 0\n");
        EXPECT_TRUE(o.failed);
        o = RunScript(engine, "Set a = CurrentMessage.Self\n"
                              "Print (a Is CurrentMessage) & (CurrentMessage.Echo(a) Is a)\n"
                              "Set a = Nothing\n");
        ASSERT_FALSE(o.failed) << o.text;
        EXPECT_EQ(o.output, "TrueTrue\n");
    }
    EXPECT_EQ(msg.refs, 1u);
}

TEST(Dispatch, FailuresBecomeTheDialectsErrors) {
    TestMessage msg;
    TBasicEngine engine;
    engine.AddNamedObject("CurrentMessage.", static_cast<IDispatch*>(&msg));
    auto o = RunScript(engine, "x = 1\nCurrentMessage.Fail\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.line, 2);
    EXPECT_EQ(o.text, "List index out of bounds (7)");
    o = RunScript(engine, "CurrentMessage.Nope = 1\n");
    EXPECT_EQ(o.text, "Object doesn't support this property or method: 'Nope'");
    o = RunScript(engine, "CurrentMessage.AddRecipient \"only one\"\n");
    EXPECT_EQ(o.text, "Wrong number of arguments or invalid property assignment: 'AddRecipient'");
    o = RunScript(engine, "On Error Resume Next\nCurrentMessage.Fail\nPrint Err.Description\n");
    EXPECT_EQ(o.output, "List index out of bounds (7)\n");
    EXPECT_EQ(msg.refs, 2u); // the engine's own reference to its named object
}

// CreateObject reads the registry of its own, beside quelta.ini: point it
// at an empty folder for these tests.
class RegistryFolder : public ::testing::Environment {
public:
    void SetUp() override {
        char dir[] = "/tmp/basic_windir_XXXXXX";
        path_ = mkdtemp(dir);
        setenv("QUELTA_WINDIR", path_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(path_); }

private:
    std::string path_;
};
const auto* const kRegistry = ::testing::AddGlobalTestEnvironment(new RegistryFolder);

TEST(Dispatch, CreateObjectOfAnUnregisteredProgIdFails) {
    EXPECT_EQ(basic::CreateComObject("Quelta.NoSuchThing"), nullptr);
    auto o = RunScript("Set x = CreateObject(\"Quelta.NoSuchThing\")\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.text, "ActiveX component can't create object: 'Quelta.NoSuchThing'");
}

TEST(Dispatch, CreateObjectReachesARegisteredServer) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string clsid = com::GuidToString(CLSID_BasicTestCounter);
    ASSERT_EQ(
        com::RegSetString(HKEY_CLASSES_ROOT, std::string(kBasicTestProgId) + "\\Clsid", "", clsid),
        ERROR_SUCCESS);
    ASSERT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", "",
                                QUELTA_BIN_DIR "/libbasic_testserver.so"),
              ERROR_SUCCESS);
    auto o = RunScript("Set c = CreateObject(\"BasicTest.Counter\")\n"
                       "c.Value = 5\n"
                       "c.Add 3\n"
                       "Print c.Add(\"2\") & \" \" & c.Value\n"
                       "Set d = CreateObject(\"basictest.counter\")\n"
                       "Print d.Value & \" \" & (c Is d)\n"
                       "Set c = Nothing\n");
    EXPECT_FALSE(o.failed) << o.line << ": " << o.text;
    EXPECT_EQ(o.output, "10 10\n0 False\n");
    CoUninitialize();
}

} // namespace
