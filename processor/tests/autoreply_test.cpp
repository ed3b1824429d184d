// Which mail an automatic reply answers, where it goes, and how it names
// the message it answers.
#include "processor/autoreply.h"

#include "mail/msmsg.h"
#include "mail/msmsgcls.h"
#include "processor/store.h"

#include <gtest/gtest.h>

TEST(AutoReply, AutomaticMailIsNeverAnswered) {
    const std::string from = "From: Ann <ann@example.net>";
    const struct {
        std::vector<std::string> lines;
        std::string reason;
    } cases[] = {
        {{from}, ""},
        {{from, "Auto-Submitted: no"}, ""},
        {{from, "Auto-Submitted: No (a person wrote this)"}, ""},
        {{from, "Precedence: first-class"}, ""},
        {{from, "Return-Path: <ann@example.net>"}, ""},
        {{from, "X-QueltaAuto-Reply: True"}, "the message is automatic mail (X-QueltaAuto-Reply)"},
        {{from, "x-queltaforward: True"}, "the message is automatic mail (X-QueltaForward)"},
        {{from, "X-QueltaRedirect: True"}, "the message is automatic mail (X-QueltaRedirect)"},
        {{from, "Auto-Submitted: Auto-Replied (vacation)"},
         "the message is automatic mail (Auto-Submitted: auto-replied)"},
        {{from, "Auto-Submitted: auto-generated; x=1"},
         "the message is automatic mail (Auto-Submitted: auto-generated)"},
        // What other responders and lists mark their mail with.
        {{from, "Auto-Submitted: (vacation; \\) program) auto-replied"},
         "the message is automatic mail (Auto-Submitted: auto-replied)"},
        {{from, "Auto-Submitted: (a person) no"}, ""},
        {{from, "X-Autoreply: yes"}, "the message is automatic mail (X-Autoreply)"},
        {{from, "X-Autorespond: 1"}, "the message is automatic mail (X-Autorespond)"},
        {{from, "Precedence: auto_reply"},
         "the message is automatic mail (Precedence: auto_reply)"},
        {{from, "List-Id: Sales <sales.lists.example.net>"}, "the message is list mail (List-Id)"},
        {{from, "List-Unsubscribe: <mailto:leave@example.net>"},
         "the message is list mail (List-Unsubscribe)"},
        {{from, "X-Auto-Response-Suppress: DR, OOF, AutoReply"},
         "the message asks for no automatic reply (X-Auto-Response-Suppress: DR, OOF, "
         "AutoReply)"},
        {{from, "X-Auto-Response-Suppress: All"},
         "the message asks for no automatic reply (X-Auto-Response-Suppress: All)"},
        {{from, "X-Auto-Response-Suppress: DR, RN"}, ""},
        {{"From: owner-sales@lists.example.net"},
         "the sender is a mailing list (owner-sales@lists.example.net)"},
        {{"From: Sales <sales-request@lists.example.net>"},
         "the sender is a mailing list (sales-request@lists.example.net)"},
        {{"From: request-desk@example.net"}, ""},
        {{from, "Precedence: BULK"}, "the message is bulk or list mail (Precedence: bulk)"},
        {{from, "Precedence: junk"}, "the message is bulk or list mail (Precedence: junk)"},
        {{from, "Precedence: list"}, "the message is bulk or list mail (Precedence: list)"},
        {{from, "Return-Path: < >"}, "the message has no sender (Return-Path: <>)"},
        {{"To: desk@example.com"}, "the message has no sender"},
        {{"From: Nobody <>"}, "the message has no sender"},
        {{"From: Mail Delivery System <MAILER-DAEMON@mx.example.net>"},
         "the sender is a mailer daemon (MAILER-DAEMON@mx.example.net)"},
        {{"From: postmaster@example.net"},
         "the sender is a mailer daemon (postmaster@example.net)"},
        {{"From: Desk <desk@example.COM>"},
         "the sender is the account's own address (desk@example.COM)"},
        // An address that is one encoded word counts by what it decodes to.
        {{"From: =?utf-8?b?ZGVza0BleGFtcGxlLmNvbQ==?="},
         "the sender is the account's own address (desk@example.com)"},
    };
    for (const auto& c : cases) {
        TmsHeaders h;
        for (const auto& l : c.lines)
            h.Add(l);
        TmsMessage m;
        m.ParseHeaders(h);
        EXPECT_EQ(quelta::AutomaticMailReason(m, "Desk@Example.com"), c.reason) << c.lines.back();
    }
    // Without an account address only the other rules hold.
    TmsHeaders h;
    h.Add("From: desk@example.com");
    TmsMessage own;
    own.ParseHeaders(h);
    EXPECT_EQ(quelta::AutomaticMailReason(own, ""), "");
}

TEST(AutoReply, OnlyPlainMailboxesBecomeRecipients) {
    EXPECT_EQ(quelta::PlainMailbox(" ann@example.net "), "ann@example.net");
    EXPECT_EQ(quelta::PlainMailbox("=?utf-8?b?YW5uQGV4YW1wbGUubmV0?="), "ann@example.net");
    EXPECT_EQ(quelta::PlainMailbox("=?utf-8?b?QW5uIFNtaXRo?="), ""); // "Ann Smith"
    EXPECT_EQ(quelta::PlainMailbox("=?x-unknown?q?ann?="), "");
    EXPECT_EQ(quelta::PlainMailbox("Ann Smith"), "");
    EXPECT_EQ(quelta::PlainMailbox(""), "");
}

TEST(AutoReply, ForwardAndRedirectMarksAreCounted) {
    TmsHeaders h;
    h.Add("X-QueltaForward: True");
    h.Add("X-Other: X-QueltaForward: True");
    h.Add(" X-QueltaRedirect: True"); // a continuation line, not a field
    h.Add("x-queltaredirect : True");
    h.Add("X-QueltaAuto-Reply: True");
    EXPECT_EQ(quelta::PassedOnCount(h), 2);
    EXPECT_EQ(quelta::PassedOnCount(TmsHeaders{}), 0);
}

TEST(AutoReply, ReplyIsMarkedAndNamesTheMessageItAnswers) {
    // A template made from an older message carries that message's fields.
    TmsHeaders reply;
    reply.Add("In-Reply-To: <old@example.org>");
    reply.Add("References: <older@example.org>");
    reply.Add("  <old@example.org>");
    reply.Add("Auto-Submitted: no");
    reply.Add("X-Template: 1");
    reply.Add(quelta::kAutoReplyMarker);
    TmsHeaders answered;
    answered.Add("Message-ID: <m.3@example.net>");
    answered.Add("References: <m.1@example.net>");
    answered.Add(" <m.2@example.net>");
    quelta::MarkAutomaticReply(reply, answered);
    EXPECT_EQ(reply.Lines(),
              (std::vector<std::string>{
                  "X-Template: 1", quelta::kAutoReplyMarker, "Auto-Submitted: auto-replied",
                  "In-Reply-To: <m.3@example.net>",
                  "References: <m.1@example.net> <m.2@example.net> <m.3@example.net>"}));

    // The first answer in a thread; and a message without an identifier.
    TmsHeaders first;
    first.Add(quelta::kAutoReplyMarker);
    TmsHeaders root;
    root.Add("Message-ID: <r@example.net>");
    quelta::MarkAutomaticReply(first, root);
    EXPECT_EQ(first.Lines(), (std::vector<std::string>{
                                 quelta::kAutoReplyMarker, "Auto-Submitted: auto-replied",
                                 "In-Reply-To: <r@example.net>", "References: <r@example.net>"}));
    TmsHeaders lone;
    quelta::MarkAutomaticReply(lone, TmsHeaders{});
    EXPECT_EQ(lone.Lines(), std::vector<std::string>{"Auto-Submitted: auto-replied"});
}

TEST(AutoReply, TextsOfSeveralSetsMeetInOneThatHoldsThem) {
    // Lines put on top of a body: in the body's own set while it holds them.
    TmsMessage latin;
    latin.SetCharsetName("iso-8859-1");
    latin.Body() = {"Gr\xFC\xDF"
                    "e"};
    quelta::InsertLinesOnTop(latin, {"K\xC3\xB6ln", "-"});
    EXPECT_EQ(latin.CharsetName(), "iso-8859-1");
    EXPECT_EQ(latin.Body().Lines(), (std::vector<std::string>{"K\xF6ln", "-",
                                                              "Gr\xFC\xDF"
                                                              "e"}));
    // A line it cannot hold: all of it in UTF-8.
    quelta::InsertLinesOnTop(latin, {"\xE2\x82\xAC 40"});
    EXPECT_EQ(latin.CharsetName(), "utf-8");
    EXPECT_EQ(latin.Body().Lines(), (std::vector<std::string>{"\xE2\x82\xAC 40", "K\xC3\xB6ln", "-",
                                                              "Gr\xC3\xBC\xC3\x9F"
                                                              "e"}));
    // A body without a label: UTF-8 when it reads so, else windows-1252.
    TmsMessage bare;
    bare.Body() = {"caf\xE9 \x80"};
    quelta::InsertLinesOnTop(bare, {"K\xC3\xB6ln"});
    EXPECT_EQ(bare.CharsetName(), "windows-1252");
    EXPECT_EQ(bare.Body()[0], "K\xF6ln");

    // A template: its body read in its set, its subject word by word.
    TmsMessage tmpl;
    TmsHeaders h;
    h.Add("Subject: =?koi8-r?b?8NLJ18XU?= f=?iso-8859-1?q?=FC?=r");
    tmpl.ParseHeaders(h);
    tmpl.SetCharsetName("iso-8859-1");
    tmpl.Body() = {"Gr\xFC\xDF"
                   "e"};
    quelta::TemplateToUtf8(tmpl);
    EXPECT_EQ(tmpl.CharsetName(), "utf-8");
    EXPECT_EQ(tmpl.Subject(), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 f\xC3\xBCr");
    EXPECT_EQ(tmpl.Body()[0], "Gr\xC3\xBC\xC3\x9F"
                              "e");
    // The sender's name, each word in its own set.
    TmsMessage m;
    TmsHeaders from;
    from.Add("From: =?iso-8859-1?q?J=FCrgen?= =?utf-8?q?Gro=C3=9F?= <j@example.net>");
    m.ParseHeaders(from);
    m.SetCharsetName("koi8-r");
    const TmsMailAddress sender = quelta::SenderInUtf8(m);
    EXPECT_EQ(sender.Name(), "J\xC3\xBCrgenGro\xC3\x9F");
    EXPECT_EQ(sender.Address(), "j@example.net");
}
