#include "processor/mergecodes.h"

#include "mail/msmsg.h"
#include "platform/basic/engine.h"
#include "platform/win/datetime.h"
#include "processor/store.h"

#include <gtest/gtest.h>

namespace {

struct MergeCodes : ::testing::Test {
    TmsMessage incoming, reply;
    quelta::TMergeContext ctx;
    std::vector<std::string> log;

    void SetUp() override {
        TmsHeaders h;
        h.Add("From: John Smith <john@example.com>");
        h.Add("Subject: Order 17");
        h.Add("X-Ref: R-99");
        incoming.ParseHeaders(h);
        incoming.Body().Add("order=17");
        incoming.Body().Add("Order=18");
        incoming.Body().Add("Email=buyer@example.com");
        ctx.NodeName = "Sales";
        ctx.NodeAddress = "sales@example.com";
        ctx.Log = [this](const std::string& s) { log.push_back(s); };
        win::SetClock([] {
            return win::EncodeDateTime(win::DateParts{2026, 12, 9, 7, 5, 3, 0, 0});
        });
    }
    void TearDown() override { win::SetClock({}); }

    std::string Expand(const std::string& line) {
        reply.Body().Clear();
        reply.Body().Add(line);
        quelta::ProccessMergeCodes(reply, incoming, ctx);
        return reply.Body().Text();
    }
};

} // namespace

TEST_F(MergeCodes, CommandsAndParameters) {
    EXPECT_EQ(Expand("Dear <<REPLYHEADER~FROMNAME>>,"), "Dear John Smith,\r\n");
    EXPECT_EQ(Expand("<<replyheader~fromaddress>>"), "john@example.com\r\n");
    EXPECT_EQ(Expand("ref <<REPLYHEADER~X-Ref>>!"), "ref R-99!\r\n");
    EXPECT_EQ(Expand("<<REPLYHEADER~Missing>>"), "<no value provided>\r\n");
    EXPECT_EQ(Expand("<<REPLYFIELD~Order>>"), "18\r\n"); // the last match wins
    EXPECT_EQ(Expand("<<SYSTEM~FORMATDATETIME(yyyy-mm-dd)>>"), "2026-12-09\r\n");
    EXPECT_EQ(Expand("<<SYSTEM~TIME>>"), "12/9/26 7:05:03 AM\r\n");
    EXPECT_EQ(Expand("<<SYSTEM~DATE>>"), "12/9/26\r\n");
    EXPECT_EQ(Expand("<<SYSTEM~CURRENTNODE>>/<<SYSTEM~CURRENTNODEADDRESS>>"),
              "Sales/<<SYSTEM~CURRENTNODEADDRESS>>\r\n"); // one code a line
    EXPECT_EQ(Expand("<<SYSTEM~VERSION>>"),
              "Dovira Quelta Mail Management System Version: 0.999\r\n");
    EXPECT_EQ(Expand("<<SYSTEM>>"), "<no value provided>\r\n");
    EXPECT_EQ(Expand("<<SCRIPTFUNCTION~x>>"), "<no value provided>\r\n");
    EXPECT_EQ(Expand("a >> b << c"), "a >> b <no value provided> b << c\r\n");
    EXPECT_EQ(Expand("no code here"), "no code here\r\n");
}

TEST_F(MergeCodes, FormatDateTimeWithoutBracketIsLogged) {
    EXPECT_EQ(Expand("<<SYSTEM~FORMATDATETIME>>"), "<no value provided>\r\n");
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "The FORMATDATETIME command is missing paramaters, please see the "
                        "documentation on how to use this merge code"),
              log.end());
}

TEST_F(MergeCodes, LogLinesWordForWord) {
    Expand("x<<SYSTEM~VERSION>>");
    std::vector<std::string> expected = {
        "SYSTEM~VERSION", "Merge Template the command is: SYSTEM the param is: VERSION",
        "the result of the SYSTEM merge code was  Dovira Quelta Mail Management System "
        "Version: 0.999",
        "the newline reads  xDovira Quelta Mail Management System Version: 0.999"};
    EXPECT_EQ(log, expected);
}

TEST_F(MergeCodes, ExpressionsThroughTheEngine) {
    ctx.Evaluate = [](const std::string& expr, std::string& result) {
        if (expr == "bad")
            return false;
        result = "\"" + expr + "!\"";
        return true;
    };
    EXPECT_EQ(Expand("v=<<EXPRESSION~1+1>>"), "v=1+1!\r\n");
    EXPECT_EQ(Expand("<<SCRIPTCOMMAND~x>>"), "x!\r\n");
    EXPECT_EQ(Expand("keep <<EXPRESSION~bad>>"), "keep <<EXPRESSION~bad>>\r\n");
    ctx.Preview = true;
    EXPECT_EQ(Expand("<<EXPRESSION~1+1>>"), "<no value provided>\r\n");
    EXPECT_EQ(Expand("<<SYSTEM~CURRENTNODE>>"), "<no value provided>\r\n");
}

TEST_F(MergeCodes, BodyValueBecomesLinesAndIsCutWhenLong) {
    incoming.Body().Clear();
    incoming.Body().Add("first");
    incoming.Body().Add(".");
    incoming.Body().Add("last");
    reply.Body().Add("> <<REPLYHEADER~BODY>>");
    reply.Body().Add("end");
    quelta::ProccessMergeCodes(reply, incoming, ctx);
    EXPECT_EQ(reply.Body().Lines(), (std::vector<std::string>{"> first", ".", "last", "end"}));

    incoming.Body().Clear();
    for (int i = 0; i < 50; ++i)
        incoming.Body().Add(std::string(98, 'a' + i % 26)); // 100 bytes a line
    EXPECT_EQ(Expand("<<REPLYHEADER~BODY>>").size(), 3000u);
    incoming.Body().Clear();
    for (int i = 0; i < 40; ++i)
        incoming.Body().Add(std::string(98, 'x')); // exactly 4000: not cut
    EXPECT_EQ(Expand("<<REPLYHEADER~BODY>>").size(), 4000u);
}

TEST_F(MergeCodes, HeaderPassSetsOverrideRecipient) {
    reply.Headers().Add("X-Other: <<REPLYFIELD~Order>>");
    reply.Headers().Add("To: <<REPLYFIELD~Email>>");
    reply.Headers().Add("X-After: <<SYSTEM~DATE>>");
    std::string to = quelta::ProccessMergeCodes(reply, incoming, ctx);
    EXPECT_EQ(to, "buyer@example.com");
    EXPECT_EQ(reply.Headers()[0], "X-Other: <<REPLYFIELD~Order>>"); // no override yet
    EXPECT_EQ(reply.Headers()[1], "To: buyer@example.com");
    EXPECT_EQ(reply.Headers()[2], "X-After: <no value provided>");
}

TEST_F(MergeCodes, SubjectIsExpanded) {
    reply.SetSubject("Re: <<REPLYHEADER~Subject>>");
    quelta::ProccessMergeCodes(reply, incoming, ctx);
    EXPECT_EQ(reply.Subject(), "Re: Order 17");
}

TEST(MessageKey, IdOrDateKeyAndTheWholeHeaderBlock) {
    TmsMessage m;
    m.Headers().Add("Message-ID: <12.34>");
    EXPECT_EQ(quelta::MessageKey(m), "<12.34>");
    EXPECT_EQ(quelta::NameKey(m.Headers()), "<12.34>");
    // Without one: the date key, named after it, and keyed with a digest of
    // every header line, so reports alike in date and subject stay apart.
    auto report = [](const std::string& from, const std::string& subject) {
        TmsHeaders h;
        h.Add("Date: Tue, 8 Dec 1998 10:20:30 +0100");
        h.Add("From: " + from);
        h.Add("Subject: " + subject);
        return h;
    };
    const TmsHeaders disk = report("a@host", "Re: order"), fan = report("b@host", "Re: order");
    EXPECT_EQ(quelta::DateKey(disk), "19981208102030Re: o");
    EXPECT_EQ(quelta::MessageFileName(quelta::NameKey(disk)), "19981208102030Re- o.eml");
    const std::string key = quelta::HeaderKey(disk);
    EXPECT_EQ(key.substr(0, 20), "19981208102030Re: o#");
    EXPECT_EQ(key.size(), 36u);
    EXPECT_EQ(quelta::HeaderKey(report("a@host", "Re: order")), key);
    EXPECT_NE(quelta::HeaderKey(fan), key);
    EXPECT_NE(quelta::HeaderKey(report("a@host", "Re: order!")), key);
    m.Headers().Clear();
    m.Headers().Add("Date: garbage");
    EXPECT_EQ(quelta::DateKey(m.Headers()), "18991230000000");
    // A Message-ID is the key whole, however long.
    const std::string id = "<" + std::string(300, 'x') + "@y>";
    m.Headers().Clear();
    m.Headers().Add("Message-ID: " + id);
    EXPECT_EQ(quelta::MessageKey(m), id);
}

TEST_F(MergeCodes, ExpressionsThroughTheBasicEngine) {
    basic::TBasicEngine engine;
    ctx.Evaluate = quelta::ScriptEvaluator(engine);
    EXPECT_EQ(Expand("<<EXPRESSION~1 + 2 * 3>>"), "7\r\n");
    EXPECT_EQ(Expand("<<SCRIPTCOMMAND~UCase(\"abc\") & Len(\"xy\")>>"), "ABC2\r\n");
    EXPECT_EQ(Expand("a <<EXPRESSION~1 +* 2>>"), "a <<EXPRESSION~1 +* 2>>\r\n");
    EXPECT_EQ(Expand("<<EXPRESSION~\"\">>"), "<no value provided>\r\n");
}
