// The message model: defaults, validation, content types, header parsing,
// copies, attachments and the message list.
#include <gtest/gtest.h>

#include "mail/msmsg.h"
#include "mail/msstrings.h"
#include "mail/msutils.h"
#include "mail/tests/testutil.h"

using namespace mailtest;

namespace {

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

std::unique_ptr<TmsAttItem> attachment(const std::string& name, const std::string& data = "x") {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(name);
    item->SetData(data);
    return item;
}

TmsHeaders headersOf(std::initializer_list<std::string> lines) {
    TmsHeaders h;
    for (const auto& l : lines)
        h.Add(l);
    return h;
}

} // namespace

TEST(Message, NewMessageDefaults) {
    TmsMessage m;
    EXPECT_EQ(m.ContentType(), "text/plain");
    EXPECT_EQ(m.Priority(), ptNormal);
    EXPECT_EQ(m.Encoding(), meMIME);
    EXPECT_EQ(m.CharSet(), csUSASCII);
    EXPECT_FALSE(m.ReturnReceipt());
    EXPECT_EQ(m.Recipients().Count() + m.CC().Count() + m.BCC().Count(), 0);
    EXPECT_EQ(m.Attachments().Count(), 0);
    EXPECT_TRUE(m.Body().Empty());
    EXPECT_TRUE(m.Headers().Empty());
}

TEST(Message, Validate) {
    TmsMessage m;
    EXPECT_EQ(errorOf([&] { m.Validate(); }), "The address of sender is required");
    m.Sender().SetAddress("me@x");
    EXPECT_EQ(errorOf([&] { m.Validate(); }), "At least one Recipient, CC or BCC must be entered");
    m.Recipients().Add("", "Nobody");
    m.CC().Add("", "");
    EXPECT_EQ(errorOf([&] { m.Validate(); }), "At least one Recipient, CC or BCC must be entered");
    m.BCC().Add("hidden@x", "");
    EXPECT_EQ(errorOf([&] { m.Validate(); }), "");
    EXPECT_THROW(TmsMessage().Validate(), EMessageError);

    TmsArticle a;
    a.Sender().SetAddress("me@x");
    EXPECT_EQ(errorOf([&] { a.Validate(); }), "Newsgroup header is required");
    a.SetNewsGroups("comp.lang");
    EXPECT_EQ(errorOf([&] { a.Validate(); }), "Subject header is required");
    a.SetSubject("s");
    EXPECT_EQ(errorOf([&] { a.Validate(); }), "");
}

TEST(Message, ContentTypeFollowsContent) {
    TmsMessage m;
    m.Body() = {"one", "two"};
    m.SetContentType("");
    EXPECT_EQ(m.ContentType(), "text/plain");
    m.SetContentType("Text/HTML");
    EXPECT_EQ(m.ContentType(), "text/html");
    m.Attachments().AddItem(attachment("photo.gif"));
    EXPECT_EQ(m.ContentType(), "multipart/mixed");
    m.Body().Clear();
    EXPECT_EQ(m.ContentType(), m.Attachments()[0].ContentType());
    m.Attachments().AddItem(attachment("b.bin"));
    EXPECT_EQ(m.ContentType(), "multipart/mixed");

    TmsMessage alt;
    alt.Body() = {"text"};
    alt.Attachments().AddItem(attachment("_alt.1"));
    EXPECT_EQ(alt.ContentType(), "multipart/alternative");
    alt.Body().Clear();
    EXPECT_EQ(alt.ContentType(), "multipart/alternative");

    TmsMessage html;
    html.Attachments().AddItem(attachment("c:\\tmp\\_HTMBODY.htm"));
    EXPECT_EQ(html.ContentType(), "text/html");
    html.Attachments()[0].SetFileName("_rtfbody.rtf");
    EXPECT_EQ(html.ContentType(), "text/rtf");

    TmsMessage uu;
    uu.SetEncoding(meUU);
    uu.Body() = {"x"};
    EXPECT_EQ(uu.ContentType(), "");
    uu.SetEncoding(meMIME);
    // The empty stored type stays until the content decides otherwise.
    EXPECT_EQ(uu.ContentType(), "text/plain");

    TmsMessage set;
    TmsAttList list;
    list.AddItem(attachment("a.zip"));
    set.SetAttachments(list);
    EXPECT_EQ(set.Attachments().Count(), 1);
    list.Clear();
    EXPECT_EQ(set.Attachments().Count(), 1);
    set.SetAttachments(list);
    EXPECT_EQ(set.ContentType(), "text/plain");
}

TEST(Message, ParseHeaders) {
    TmsMessage m;
    m.SetSubject("kept");
    m.ParseHeaders(headersOf({"From: =?utf-8?Q?J=C3=B6rg?= <j@x>", "To: a@b, \"Smith, John\" <s@j>",
                              "CC: c@d,", " e@f", "BCC: hidden@x", "X-Priority: 1",
                              "Return-Receipt-To: <j@x>", "Subject:"}));
    EXPECT_EQ(m.Sender().Name(), "J\xc3\xb6rg");
    EXPECT_EQ(m.Sender().Address(), "j@x");
    ASSERT_EQ(m.Recipients().Count(), 2);
    EXPECT_EQ(m.Recipients()[1].Name(), "Smith, John");
    EXPECT_EQ(m.CC().Count(), 2);
    EXPECT_EQ(m.BCC().Count(), 0);
    EXPECT_EQ(m.Subject(), "kept");
    EXPECT_EQ(m.Priority(), ptHigh);
    EXPECT_TRUE(m.ReturnReceipt());
    EXPECT_EQ(m.Headers().Count(), 8);

    for (auto [value, expected] : {std::pair{"3", ptNormal}, std::pair{"5", ptLow},
                                   std::pair{"1 (Highest)", ptNormal}, std::pair{"2", ptNormal}}) {
        TmsMessage p;
        p.ParseHeaders(headersOf({std::string("X-Priority: ") + value}));
        EXPECT_EQ(p.Priority(), expected) << value;
    }

    // A second message read into the same object takes its own receipt flag.
    m.Clear();
    m.ParseHeaders(headersOf({"From: k@x", "Subject: " + std::string(300, 's')}));
    EXPECT_FALSE(m.ReturnReceipt());
    EXPECT_EQ(m.Subject().size(), 255u);

    TmsMessage again;
    const TmsHeaders block = headersOf({"To: a@b"});
    again.ParseHeaders(block);
    again.ParseHeaders(block, false);
    EXPECT_EQ(again.Recipients().Count(), 1);

    TmsArticle a;
    a.ParseHeaders(headersOf(
        {"From: n@x", "Newsgroups: comp.mail", "Path: a!b", "Message-ID: <1@x>", "Subject: news"}));
    EXPECT_EQ(a.NewsGroups(), "comp.mail");
    EXPECT_EQ(a.Path(), "a!b");
    EXPECT_EQ(a.MessageID(), "<1@x>");
    EXPECT_EQ(a.Subject(), "news");
}

TEST(Message, ClearAndAssign) {
    TmsMessage m;
    m.Sender() = TmsMailAddress("me@x", "Me");
    m.SetSubject("s");
    m.Recipients().Add("a@b", "A");
    m.BCC().Add("h@b", "");
    m.Body() = {"line"};
    m.Headers().Add("X-A: 1");
    m.Attachments().AddItem(attachment("a.zip", "data"));
    m.SetPriority(ptLow);
    m.SetReturnReceipt(true);
    m.SetCharSet(csISO8859);
    m.SetTag(7);

    TmsMessage copy;
    copy.Assign(m);
    EXPECT_EQ(copy.Sender().Name(), "Me");
    EXPECT_EQ(copy.Recipients()[0].Address(), "a@b");
    EXPECT_EQ(copy.BCC().Count(), 1);
    EXPECT_EQ(copy.Priority(), ptLow);
    EXPECT_TRUE(copy.ReturnReceipt());
    EXPECT_EQ(copy.CharSet(), csISO8859);
    EXPECT_EQ(copy.Tag(), 7);
    EXPECT_EQ(copy.ContentType(), "multipart/mixed");
    m.Clear();
    ASSERT_EQ(copy.Attachments().Count(), 1);
    EXPECT_EQ(copy.Attachments()[0].Data(), "data");
    EXPECT_EQ(copy.Body().Count(), 1);
    EXPECT_EQ(m.Priority(), ptLow);
    EXPECT_TRUE(m.ReturnReceipt());
    EXPECT_EQ(m.Recipients().Count() + m.BCC().Count() + m.Attachments().Count(), 0);
    EXPECT_EQ(m.Sender().Address(), "");
    copy.Assign(copy);
    EXPECT_EQ(copy.Attachments().Count(), 1);

    // Between kinds only the common part is copied.
    TmsArticle a;
    a.Assign(copy);
    EXPECT_EQ(a.Subject(), "s");
    a.SetNewsGroups("g");
    TmsArticle b;
    b.Assign(a);
    EXPECT_EQ(b.NewsGroups(), "g");
}

TEST(Message, AttachmentItems) {
    TmsAttItem item;
    item.SetFileName("report.htm");
    EXPECT_EQ(item.ContentType(), "text/html");
    EXPECT_EQ(item.Encoding(), aeQuotedPrintable);
    item.SetFileName("x.eml");
    EXPECT_EQ(item.Encoding(), aeSevenBit);
    item.SetFileName("a.unknownext");
    EXPECT_EQ(item.ContentType(), "application/octet-stream");
    EXPECT_EQ(item.Encoding(), aeBase64);
    item.SetFileName("");
    EXPECT_EQ(item.ContentType(), "application/octet-stream");
    EXPECT_STREQ(AttachmentEncodingNames[0], "7 bit");

    ScratchDir dir;
    WriteFile(dir / "notes.txt", "hello\r\n");
    TmsAttList list;
    TmsAttItem& added = list.AddFile((dir / "notes.txt").string());
    EXPECT_EQ(added.Data(), "hello\r\n");
    EXPECT_EQ(added.Encoding(), aeQuotedPrintable);
    EXPECT_THROW(list.AddFile((dir / "missing.bin").string()), EFOpenError);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_THROW((void)list[1], EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    TmsAddressList addresses;
    EXPECT_THROW((void)addresses[0], EListError);
}

TEST(Message, SaveAttachmentStaysInItsFolder) {
    ScratchDir dir;
    TmsMessage m;
    m.Attachments().AddItem(attachment("../../evil.txt", "e"));
    m.Attachments().AddItem(attachment("c:\\windows\\plain.bin", "p"));
    m.Attachments().AddItem(attachment("..", "d"));
    m.Attachments().AddItem(attachment("", "n"));
    const std::filesystem::path sub = dir / "sub";
    std::filesystem::create_directory(sub);
    m.SaveAttachment(0, sub.string());
    m.SaveAttachment(1, sub.string() + "/");
    EXPECT_EQ(ReadFile(sub / "evil.txt"), "e");
    EXPECT_EQ(ReadFile(sub / "plain.bin"), "p");
    EXPECT_FALSE(std::filesystem::exists(dir / "evil.txt"));
    EXPECT_THROW(m.SaveAttachment(2, sub.string()), EFCreateError);
    EXPECT_THROW(m.SaveAttachment(3, sub.string()), EFCreateError);
    EXPECT_THROW(m.SaveAttachment(4, sub.string()), EListError);
    // An existing file is replaced.
    m.Attachments()[0].SetData("again");
    m.SaveAttachment(0, sub.string());
    EXPECT_EQ(ReadFile(sub / "evil.txt"), "again");
}

TEST(Message, AddressEditGoesThroughTheDialogHook) {
    TmsMailAddress a("a@b", "Old");
    a.Edit(); // no dialog installed: nothing changes
    EXPECT_EQ(a.Name(), "Old");
    SetMailAddressDlgHook([](TmsMailAddress& copy) {
        copy.SetName(std::string(300, 'n'));
        return false;
    });
    a.Edit();
    EXPECT_EQ(a.Name(), "Old");
    SetMailAddressDlgHook([](TmsMailAddress& copy) {
        copy.SetName("New");
        copy.SetAddress("n@b");
        return true;
    });
    a.Edit();
    EXPECT_EQ(a.Name(), "New");
    EXPECT_EQ(a.Address(), "n@b");
    SetMailAddressDlgHook(nullptr);
}

TEST(MessageList, OwnsItsMessages) {
    EXPECT_THROW(TmsListMessage(nullptr), EComponentError);
    auto list = std::make_unique<TmsMessageList>();
    auto* first = new TmsListMessage(list.get());
    auto* second = new TmsListMessage(list.get());
    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(&list->GetItem(1), second);
    delete first; // leaves the list on its own
    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(&list->GetItem(0), second);
    list->Remove(second);
    EXPECT_EQ(list->Count(), 0);
    list->Add(second);
    new TmsListMessage(list.get());
    list->Clear();
    EXPECT_EQ(list->Count(), 0);
    new TmsListMessage(list.get());
    list.reset(); // frees what it holds (checked under the sanitizers)
}

TEST(StringTable, MailTexts) {
    EXPECT_EQ(LoadStr(57106), "This is a multipart message in MIME format");
    EXPECT_EQ(LoadStr(57110), "Cannot find boundary");
    EXPECT_EQ(LoadStr(57999), "");
    static const StringEntry extra[] = {{57000, "extra text"}, {57100, "not this"}};
    AddStringTable(extra);
    EXPECT_EQ(LoadStr(57000), "extra text");
    EXPECT_EQ(LoadStr(57100), "The address of sender is required");
    EXPECT_TRUE(HasStr(57000));
}
