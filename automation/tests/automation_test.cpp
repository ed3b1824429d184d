// Both objects through the registry, early- and late-bound.
#include "automation/tests/fixture.h"

#include <dlfcn.h>
#include <sys/stat.h>

using namespace qt;

namespace {

const char* const kSample = "From: \"Ann Smith\" <ann@example.com>\r\n"
                            "To: \"Bob\" <bob@example.com>, carol@example.com\r\n"
                            "Subject: Order 42\r\n"
                            "Message-ID: <abc@example.com>\r\n"
                            "X-Custom: hello\r\n"
                            "\r\n"
                            "Name: Smith\r\n"
                            "Street: Main\r\n";

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

using Message = QueltaTest;

TEST_F(Message, LoadsEditsAndSavesEarlyBound) {
    IQueltaMessage* m = NewMessage();
    ASSERT_NE(m, nullptr);
    const std::string file = dir_ + "/in.eml";
    WriteFile(file, kSample);
    ASSERT_EQ(m->LoadFromFile(V(file)), S_OK);

    com::Variant v;
    ASSERT_EQ(m->get_SenderName(v.out()), S_OK);
    EXPECT_EQ(Text(v), "Ann Smith");
    ASSERT_EQ(m->get_SenderAddress(v.out()), S_OK);
    EXPECT_EQ(Text(v), "ann@example.com");
    ASSERT_EQ(m->get_Subject(v.out()), S_OK);
    EXPECT_EQ(Text(v), "Order 42");
    LONG n = 0;
    ASSERT_EQ(m->get_RecipientCount(&n), S_OK);
    ASSERT_EQ(n, 2);
    ASSERT_EQ(m->GetRecipientAddress(1, v.out()), S_OK);
    EXPECT_EQ(Text(v), "carol@example.com");
    ASSERT_EQ(m->GetRecipientName(0, v.out()), S_OK);
    EXPECT_EQ(Text(v), "Bob");
    ASSERT_EQ(m->GetHeaderField(V("x-CUSTOM"), v.out()), S_OK);
    EXPECT_EQ(Text(v), "hello");
    ASSERT_EQ(m->GetHeaderField(V("X-Absent"), v.out()), S_OK);
    EXPECT_EQ(Text(v), "");
    ASSERT_EQ(m->get_Header(v.out()), S_OK);
    EXPECT_NE(Text(v).find("Subject: Order 42\r\n"), std::string::npos);
    ASSERT_EQ(m->get_Body(v.out()), S_OK);
    EXPECT_EQ(Text(v), "Name: Smith\r\nStreet: Main\r\n");

    // Edit every part that can be edited.
    ASSERT_EQ(m->put_Body(V("one\rtwo\nthree\r\n")), S_OK);
    ASSERT_EQ(m->get_Body(v.out()), S_OK);
    EXPECT_EQ(Text(v), "one\r\ntwo\r\nthree\r\n");
    ASSERT_EQ(m->put_Subject(V(std::string(300, 's'))), S_OK);
    ASSERT_EQ(m->get_Subject(v.out()), S_OK);
    EXPECT_EQ(Text(v).size(), 255u); // fixed fields are cut
    ASSERT_EQ(m->put_Subject(V("Re: Order 42")), S_OK);
    ASSERT_EQ(m->put_SenderName(V("Desk")), S_OK);
    ASSERT_EQ(m->put_SenderAddress(V("desk@example.com")), S_OK);
    ASSERT_EQ(m->SetRecipientName(0, V("Robert")), S_OK);
    ASSERT_EQ(m->SetRecipientAddress(0, V("robert@example.com")), S_OK);
    ASSERT_EQ(m->DeleteRecipient(1), S_OK);
    ASSERT_EQ(m->AddRecipient(V("Dora"), V("dora@example.com")), S_OK);
    const std::string attached = dir_ + "/notes.txt";
    WriteFile(attached, "attached text\r\n");
    ASSERT_EQ(m->AddAttachment(V(attached)), S_OK);
    ASSERT_EQ(m->get_AttachmentCount(&n), S_OK);
    EXPECT_EQ(n, 1);
    ASSERT_EQ(m->GetAttachment(0, v.out()), S_OK);
    EXPECT_NE(Text(v).find("notes.txt"), std::string::npos);

    const std::string out = dir_ + "/out.eml";
    ASSERT_EQ(m->SaveToFile(V(out)), S_OK);
    m->Release();

    // A fresh object reads back what was saved.
    IQueltaMessage* back = NewMessage();
    ASSERT_EQ(back->LoadFromFile(V(out)), S_OK);
    ASSERT_EQ(back->get_Subject(v.out()), S_OK);
    EXPECT_EQ(Text(v), "Re: Order 42");
    ASSERT_EQ(back->get_RecipientCount(&n), S_OK);
    ASSERT_EQ(n, 2);
    ASSERT_EQ(back->GetRecipientAddress(0, v.out()), S_OK);
    EXPECT_EQ(Text(v), "robert@example.com");
    ASSERT_EQ(back->GetRecipientName(1, v.out()), S_OK);
    EXPECT_EQ(Text(v), "Dora");
    ASSERT_EQ(back->get_AttachmentCount(&n), S_OK);
    EXPECT_EQ(n, 1);
    ASSERT_EQ(back->RemoveAttachment(0), S_OK);
    ASSERT_EQ(back->ClearRecipients(), S_OK);
    ASSERT_EQ(back->get_RecipientCount(&n), S_OK);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(back->AddAttachment(V(attached)), S_OK);
    ASSERT_EQ(back->ClearAttachments(), S_OK);
    ASSERT_EQ(back->get_AttachmentCount(&n), S_OK);
    EXPECT_EQ(n, 0);
    back->Release();
}

TEST_F(Message, LoadFailuresAreSwallowedSaveFailuresReported) {
    IQueltaMessage* m = NewMessage();
    ASSERT_EQ(m->put_Subject(V("before")), S_OK);
    ASSERT_EQ(m->LoadFromFile(V(dir_ + "/missing.eml")), S_OK);
    com::Variant v;
    m->get_Subject(v.out());
    EXPECT_EQ(Text(v), ""); // cleared
    LONG n = -1;
    m->get_RecipientCount(&n);
    EXPECT_EQ(n, 0);

    // A save that cannot be written fails and leaves the old file whole.
    const std::string file = dir_ + "/kept.eml";
    WriteFile(file, kSample);
    chmod(file.c_str(), 0640);
    ASSERT_EQ(m->put_Subject(V("new")), S_OK);
    EXPECT_EQ(m->SaveToFile(V(dir_ + "/no/such/folder/x.eml")), E_UNEXPECTED);
    EXPECT_NE(TakeError().first, "<none>");
    ASSERT_EQ(m->SaveToFile(V(file)), S_OK);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the replaced file keeps its mode
    IQueltaMessage* back = NewMessage();
    ASSERT_EQ(back->LoadFromFile(V(file)), S_OK);
    com::Variant subject;
    back->get_Subject(subject.out());
    EXPECT_EQ(Text(subject), "new");
    back->Release();
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".quelta."), std::string::npos);
    m->Release();
}

TEST_F(Message, FailingMembersReportThroughErrorObjects) {
    IQueltaMessage* m = NewMessage();
    com::Variant v;
    EXPECT_EQ(m->GetRecipientName(0, v.out()), E_UNEXPECTED);
    auto [description, source] = TakeError();
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(source, "Quelta.QueltaMessage");
    EXPECT_EQ(m->DeleteRecipient(-1), E_UNEXPECTED);
    EXPECT_EQ(TakeError().second, "Quelta.QueltaMessage");
    EXPECT_EQ(m->AddAttachment(V(dir_ + "/missing.bin")), E_UNEXPECTED);
    TakeError();
    com::Variant null;
    null.vt = VT_NULL;
    EXPECT_EQ(m->put_Subject(null), E_UNEXPECTED);
    EXPECT_EQ(TakeError().first, "Invalid variant type conversion");

    // Late-bound: DISP_E_EXCEPTION with the same texts.
    Late late(m);
    com::Variant r;
    EXPECT_EQ(late.Call("getrecipientaddress", {com::Variant(LONG{3})}, &r), DISP_E_EXCEPTION);
    EXPECT_EQ(late.excep.scode, E_UNEXPECTED);
    EXPECT_EQ(com::BytesFromBstr(late.excep.bstrSource), "Quelta.QueltaMessage");
    EXPECT_FALSE(com::BytesFromBstr(late.excep.bstrDescription).empty());

    ISupportErrorInfo* sei = nullptr;
    ASSERT_EQ(m->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IQueltaMessage), S_OK);
    sei->Release();
    m->Release();
}

TEST_F(Message, LateBoundByNameWithoutRegardToCase) {
    IQueltaMessage* m = NewMessage();
    Late late(m);
    EXPECT_EQ(late.Id("GETDATAFIELD"), 15);
    EXPECT_EQ(late.Id("body"), 1);
    EXPECT_EQ(late.Id("SendVia"), 22);
    ASSERT_EQ(late.Put("SUBJECT", V("late")), S_OK);
    EXPECT_EQ(Text(late.Get("subject")), "late");
    ASSERT_EQ(late.Call("AddRecipient", {V("Eve"), V("eve@example.com")}, nullptr), S_OK);
    com::Variant count = late.Get("RecipientCount");
    EXPECT_EQ(count.vt, VT_I4);
    EXPECT_EQ(count.lVal, 1);
    // An index given as text is converted to the declared long.
    com::Variant r;
    ASSERT_EQ(late.Call("GetRecipientAddress", {V("0")}, &r), S_OK);
    EXPECT_EQ(Text(r), "eve@example.com");
    ASSERT_EQ(late.Put("Body", V("Code: 7")), S_OK);
    ASSERT_EQ(late.Call("GetDataField", {V("code"), V(":"), V("")}, &r), S_OK);
    EXPECT_EQ(Text(r), " 7");
    EXPECT_EQ(late.Put("Header", V("x")), DISP_E_MEMBERNOTFOUND); // get only

    UINT count2 = 0;
    IDispatch* d = nullptr;
    m->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
    d->GetTypeInfoCount(&count2);
    EXPECT_EQ(count2, 1u);
    ITypeInfo* ti = nullptr;
    EXPECT_EQ(d->GetTypeInfo(1, 0, &ti), DISP_E_BADINDEX);
    ASSERT_EQ(d->GetTypeInfo(0, 0, &ti), S_OK);
    TYPEATTR* ta = nullptr;
    ti->GetTypeAttr(&ta);
    EXPECT_EQ(ta->cFuncs, 28);
    EXPECT_EQ(ta->guid, IID_IQueltaMessage);
    ti->ReleaseTypeAttr(ta);
    ti->Release();
    d->Release();
    m->Release();
}

TEST_F(Message, DataFieldsOfTheBody) {
    struct Case {
        const char* name;
        const char* body;
        const char* field;
        const char* start;
        const char* end;
        const char* expected;
    };
    const Case cases[] = {
        {"rest of the line", "Name: Smith\r\nStreet: Main", "name", ":", "", " Smith"},
        {"block up to the end mark", "Notes: one\r\ntwo\r\nthree END four", "notes", ":", "END",
         " one\rtwo\rthree "},
        {"end mark of any case", "Notes: one\r\ntwo end", "NOTES", ":", "End", " one\rtwo "},
        {"CR ends at an empty line", "Addr: 1 Main\r\n  Springfield \r\n\r\nafter", "addr", ":",
         "\r", " 1 Main\rSpringfield"},
        {"key on the last line", "x\r\nKey=last", "key", "=", "END", "last"},
        {"lines run out", "A: 1\r\n2\r\n3", "a", ":", "END", " 1\r2\r3"},
        {"leading blanks trimmed before the match", "   \tName: X", "name", ":", "", " X"},
        {"not found", "Name: Smith", "street", ":", "", ""},
        {"empty body", "", "name", ":", "", ""},
        {"key must start the line", "My Name: X", "name", ":", "", ""},
    };
    IQueltaMessage* m = NewMessage();
    for (const auto& c : cases) {
        ASSERT_EQ(m->put_Body(V(c.body)), S_OK) << c.name;
        com::Variant r;
        ASSERT_EQ(m->GetDataField(V(c.field), V(c.start), V(c.end), r.out()), S_OK) << c.name;
        EXPECT_EQ(Text(r), c.expected) << c.name;
    }
    m->Release();
}

TEST_F(Message, ObjectsAreIndependent) {
    IQueltaMessage* a = NewMessage();
    IQueltaMessage* b = NewMessage();
    ASSERT_NE(a, b);
    a->put_Subject(V("first"));
    b->put_Subject(V("second"));
    com::Variant v;
    a->get_Subject(v.out());
    EXPECT_EQ(Text(v), "first");
    a->Release();
    b->get_Subject(v.out());
    EXPECT_EQ(Text(v), "second");
    b->Release();
}

using Smtp = QueltaTest;

TEST_F(Smtp, ObjectsShareOneComponent) {
    IQueltaSMTP* a = NewSmtp();
    IQueltaSMTP* b = NewSmtp();
    ASSERT_EQ(a->put_Server(V("mail.example.com")), S_OK);
    com::Variant v;
    ASSERT_EQ(b->get_Server(v.out()), S_OK);
    EXPECT_EQ(Text(v), "mail.example.com");

    LONG n = 0;
    ASSERT_EQ(a->get_Port(&n), S_OK);
    EXPECT_EQ(n, 25);
    ASSERT_EQ(a->put_Port(65561), S_OK); // the low 16 bits
    ASSERT_EQ(b->get_Port(&n), S_OK);
    EXPECT_EQ(n, 25);
    ASSERT_EQ(b->put_Port(2525), S_OK);
    ASSERT_EQ(a->get_Port(&n), S_OK);
    EXPECT_EQ(n, 2525);
    ASSERT_EQ(a->get_TimeOut(&n), S_OK);
    EXPECT_EQ(n, 60);
    ASSERT_EQ(a->put_TimeOut(5), S_OK);
    ASSERT_EQ(b->get_TimeOut(&n), S_OK);
    EXPECT_EQ(n, 5);
    ASSERT_EQ(a->get_Ready(&n), S_OK);
    EXPECT_EQ(n, 1); // the Winsock library sits beside the programs

    Late late(b);
    EXPECT_EQ(late.Id("READY"), 4);
    EXPECT_EQ(late.Put("Ready", com::Variant(LONG{0})), DISP_E_MEMBERNOTFOUND);
    ASSERT_EQ(late.Put("server", V("other.example.com")), S_OK);
    a->get_Server(v.out());
    EXPECT_EQ(Text(v), "other.example.com");
    a->Release();
    b->Release();
}

TEST_F(Smtp, LibraryStaysWhileReferencesLive) {
    IQueltaSMTP* s = NewSmtp();
    IQueltaMessage* m = NewMessage();
    void* h = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(h, "DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);
    s->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    IClassFactory* f = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_QueltaSMTP, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&f)),
              S_OK);
    m->Release();
    EXPECT_EQ(canUnload(), S_FALSE); // the factory reference
    f->Release();
    EXPECT_EQ(canUnload(), S_OK);
    dlclose(h);
}
