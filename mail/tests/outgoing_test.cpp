// What a message becomes on its way out: the date and identity of the
// send, trace fields left behind, lines within 998 characters; and the
// mailboxes SMTP takes.
#include <gtest/gtest.h>

#include "mail/msmime.h"
#include "mail/msoutgoing.h"
#include "mail/mssevenbit.h"
#include "mail/msutils.h"
#include "mail/tests/pyfields.h"
#include "mail/tests/testutil.h"

#include <cstdlib>
#include <ctime>
#include <set>

using namespace mailtest;

namespace {

// The lines of a text that uses CR LF throughout; a bare LF is a failure.
std::vector<std::string> CrlfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string Unfold(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l;
    return s;
}

TOutgoingStamp Stamp() {
    return {"Tue, 08 Dec 1998 10:20:30 +0100", "<new.1@example.org>"};
}

std::string Filter(const std::string& text) {
    TOutgoingFilter f(Stamp());
    return f.Feed(text, true);
}

// The same text fed one byte at a time.
std::string FilterByBytes(const std::string& text) {
    TOutgoingFilter f(Stamp());
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        out += f.Feed(text.substr(i, 1), i + 1 == text.size());
    return out;
}

// Sets TZ for the life of the object.
class Zone {
public:
    explicit Zone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            old_ = old, had_ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Zone() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool had_ = false;
};

} // namespace

// One field through OutgoingField, given as one line.
std::vector<std::string> Field(const std::string& line, std::vector<std::string>* notes = nullptr) {
    std::vector<std::string> told;
    auto out = OutgoingField({line}, true, notes ? *notes : told);
    return out;
}

TEST(Outgoing, HeaderFieldsFoldAtBlanksEncodeWhatCannotAndNeverCutAnIdentifier) {
    EXPECT_EQ(Field("Subject: short"), std::vector<std::string>{"Subject: short"});
    const std::string exact = "X-A: " + std::string(kMaxLineLength - 5, 'a');
    EXPECT_EQ(Field(exact), std::vector<std::string>{exact});
    // Lines within the limit stay as written, folds included.
    std::vector<std::string> told;
    EXPECT_EQ(OutgoingField({"Subject: a", "\tb"}, true, told),
              (std::vector<std::string>{"Subject: a", "\tb"}));

    // Words: every piece within the limit, continuation pieces begin with
    // the blank they were folded at, and unfolding gives the line back.
    std::string words = "X-Words:";
    for (int i = 0; words.size() < 5000; ++i)
        words += (i % 7 ? " " : "\t") + std::string(1 + i % 40, 'w');
    const auto folded = Field(words);
    ASSERT_GT(folded.size(), 5u);
    for (size_t i = 0; i < folded.size(); ++i) {
        EXPECT_LE(folded[i].size(), kMaxLineLength);
        EXPECT_TRUE(i == 0 || folded[i][0] == ' ' || folded[i][0] == '\t') << i;
        EXPECT_NE(folded[i].find_first_not_of(" \t"), std::string::npos) << i;
    }
    EXPECT_EQ(Unfold(folded), words);

    // Free text that cannot fold, or that holds 8-bit bytes, becomes
    // encoded words that read back as the same text; blanks beside encoded
    // words go inside them.
    const auto blob = Field("X-Blob:" + std::string(3000, 'b') + " tail");
    ASSERT_GT(blob.size(), 1u);
    for (const auto& l : blob)
        EXPECT_LE(l.size(), kMaxLineLength);
    EXPECT_EQ(Trim(DecodeHeaderWords(Unfold(blob).substr(7))), std::string(3000, 'b') + " tail");
    const auto mixed = Field("Subject: =?utf-8?q?Gr=C3=BC=C3=9F?= K\xC3\xB6ln " +
                             std::string(1000, 'x') + " =?utf-8?q?=C3=A4?= end");
    EXPECT_EQ(Trim(DecodeHeaderWords(Unfold(mixed).substr(8))),
              "Gr\xC3\xBC\xC3\x9F K\xC3\xB6ln " + std::string(1000, 'x') + " \xC3\xA4 end");
    for (const auto& l : mixed)
        for (unsigned char c : l)
            EXPECT_LT(c, 128);
    // An encoded word too long for a line: the same bytes in shorter words.
    const std::string longWord = "=?iso-8859-1?q?" + std::string(2000, 'z') + "=E4?=";
    EXPECT_EQ(Trim(DecodeHeaderWords(Unfold(Field("X-Z: " + longWord)).substr(4))),
              std::string(2000, 'z') + "\xE4");

    // Display names in 8-bit go as encoded words, the addresses as they are.
    const auto names = Field("Reply-To: J\xC3\xBCrgen Gro\xC3\x9F <j@example.net>, b@example.net, "
                             "\"Desk, Sales\" <d@example.net>");
    ASSERT_EQ(names.size(), 1u);
    for (unsigned char c : names[0])
        EXPECT_LT(c, 128);
    EXPECT_EQ(DecodeHeaderWords(names[0]), "Reply-To: J\xC3\xBCrgen Gro\xC3\x9F <j@example.net>, "
                                           "<b@example.net>, \"Desk, Sales\" <d@example.net>");

    // An identifier too long for a line is left out, never cut; the field
    // goes when nothing is left of it. Either is told.
    const std::string id = "<" + std::string(5000, 'i') + "@example.org>";
    std::vector<std::string> notes;
    EXPECT_EQ(Field("References: <a@x> " + id + " <b@x>", &notes),
              std::vector<std::string>{"References: <a@x> <b@x>"});
    EXPECT_TRUE(Field("In-Reply-To: " + id, &notes).empty());
    // Another structured field's word that cannot fold is cut, and told.
    EXPECT_EQ(Field("To: " + std::string(2000, 't'), &notes),
              (std::vector<std::string>{"To: " + std::string(255, 't')}));
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "References: an identifier of 5014 characters was left out",
                         "In-Reply-To: an identifier of 5014 characters was left out",
                         "To: a word of 2000 characters was cut to 255"}));
}

TEST(Outgoing, HeaderBlockIsStampedAndTraceFieldsGo) {
    const std::string body = "Body line\r\nDate: not a header here\r\n";
    const std::string text = "From:     A <a@example.org>\r\n"
                             "Received: from x by y;\r\n\tTue, 8 Dec 1998 10:00:00 +0100\r\n"
                             "return-path: <a@example.org>\r\n"
                             "Delivered-To: desk@example.com\r\n"
                             "Date: Mon, 1 Jan 2001 00:00:00 +0000\r\n"
                             "Message-ID: <old@example.net>\r\n"
                             "Message-ID: <second@example.net>\r\n"
                             "X-Kept: yes\r\n  and more\r\n"
                             "Subject:  Hi\r\n\r\n" +
                             body;
    const std::string fresh = "Date: Tue, 08 Dec 1998 10:20:30 +0100\r\n"
                              "Message-ID: <new.1@example.org>\r\n"
                              "From:     A <a@example.org>\r\n"
                              "X-Kept: yes\r\n  and more\r\n"
                              "Subject:  Hi\r\n\r\n" +
                              body;
    EXPECT_EQ(Filter(text), fresh);
    EXPECT_EQ(FilterByBytes(text), fresh);
    // No empty line: all of it is header block; an empty block still gets both.
    EXPECT_EQ(Filter("x\r\n"),
              "Date: Tue, 08 Dec 1998 10:20:30 +0100\r\nMessage-ID: <new.1@example.org>\r\nx\r\n");
    EXPECT_EQ(Filter("\r\nbody\r\n"),
              "Date: Tue, 08 Dec 1998 10:20:30 +0100\r\nMessage-ID: <new.1@example.org>\r\n"
              "\r\nbody\r\n");
}

TEST(Outgoing, EveryLineWithinTheLimitWhateverTheChunks) {
    std::string text = "From:     A <a@example.org>\r\nX-Long:";
    for (int i = 0; i < 20000; ++i)
        text += " w" + std::to_string(i);
    text += "\r\nX-Blob: " + std::string(3000, 'b') + "\r\n\r\n";
    const std::string shortLine = "short line\r\n";
    const std::string longLine = std::string(2500, 'L') + "\r\n";
    text += shortLine + longLine + std::string(998, 'e') + "\r\n.\r\n";
    const std::string whole = Filter(text);
    EXPECT_EQ(FilterByBytes(text), whole);
    // In uneven chunks too.
    TOutgoingFilter f(Stamp());
    std::string chunked;
    for (size_t at = 0, n = 1; at < text.size(); at += n, n = n * 3 % 4093 + 1)
        chunked += f.Feed(text.substr(at, n), at + n >= text.size());
    EXPECT_EQ(chunked, whole);

    const auto lines = CrlfLines(whole);
    for (const auto& l : lines)
        EXPECT_LE(l.size(), kMaxLineLength) << l.substr(0, 40);
    const size_t blank = std::find(lines.begin(), lines.end(), "") - lines.begin();
    ASSERT_LT(blank, lines.size());
    std::vector<std::string> body(lines.begin() + static_cast<long>(blank) + 1, lines.end());
    EXPECT_EQ(body,
              (std::vector<std::string>{"short line", std::string(998, 'L'), std::string(998, 'L'),
                                        std::string(504, 'L'), std::string(998, 'e'), "."}));
    const size_t blob = whole.find("\r\nX-Blob:");
    ASSERT_NE(blob, std::string::npos);
    const std::string field = whole.substr(blob + 9, whole.find("\r\n\r\n") - blob - 9);
    std::string unfolded;
    for (char c : field)
        if (c != '\r' && c != '\n')
            unfolded += c;
    EXPECT_EQ(DecodeHeaderWords(unfolded), " " + std::string(3000, 'b'));
}

TEST(Outgoing, DateOfSendingAndIdentifiers) {
    {
        Zone zone("UTC0");
        EXPECT_EQ(MailDateText(913112430), "Tue, 08 Dec 1998 10:20:30 +0000");
    }
    {
        Zone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(MailDateText(913108830), "Tue, 08 Dec 1998 10:20:30 +0100");
        EXPECT_EQ(MailDateText(1719867909), "Mon, 01 Jul 2024 23:05:09 +0200");
        // The hour that repeats when summer time ends: one wall time, two moments.
        EXPECT_EQ(MailDateText(1792888200), "Sun, 25 Oct 2026 02:30:00 +0200");
        EXPECT_EQ(MailDateText(1792891800), "Sun, 25 Oct 2026 02:30:00 +0100");
    }
    {
        Zone zone("NST+3:30");
        EXPECT_EQ(MailDateText(913125030), "Tue, 08 Dec 1998 10:20:30 -0330");
    }

    EXPECT_EQ(MessageIDDomain("Desk@Example.COM"), "example.com");
    EXPECT_EQ(MessageIDDomain("box@[127.0.0.1]>"), "127.0.0.1");
    EXPECT_EQ(MessageIDDomain("mail.example.org"), "mail.example.org");
    EXPECT_EQ(MessageIDDomain("a@ <bad> ..x."), "bad.x");
    EXPECT_EQ(MessageIDDomain("nobody@"), "");
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        const std::string id = MakeMessageID("example.com");
        EXPECT_TRUE(id.starts_with("<") && id.ends_with("@example.com>")) << id;
        EXPECT_EQ(id.find_first_of(" \t\r\n"), std::string::npos) << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 1000u);
    EXPECT_TRUE(MakeMessageID("").ends_with("@localhost>"));
}

TEST(Outgoing, PlainMailboxes) {
    for (const char* yes :
         {"a@b", "john.smith@example.com", "o'brien+tag@mail-1.example.org", "x@[127.0.0.1]",
          "=?x?q?y?=@example.com", "\"quoted\"@b", "\"john doe\"@example.com", "\"a\\\"b\"@c"})
        EXPECT_TRUE(IsPlainMailbox(yes)) << yes;
    for (const char* no : {"",
                           "john",
                           "=?utf-8?b?Sm9obiBTbWl0aA==?=",
                           "@example.com",
                           "a@",
                           "a b@example.com",
                           "a@exa mple.com",
                           ".a@b",
                           "a.@b",
                           "a..b@c",
                           "a@b..c",
                           "a@-b.c",
                           "a@b-.c",
                           "\"unclosed@b",
                           "\"a\"b\"@c",
                           "\"a\r\n\"@b",
                           "\"\xc3\xb6\"@b",
                           "\"a\\\"@b",
                           "a@b>\r\nRCPT TO:<c@d",
                           "j\xc3\xb6@example.com",
                           "a@b@c",
                           "<a@b>"})
        EXPECT_FALSE(IsPlainMailbox(no)) << no;
    EXPECT_TRUE(IsPlainMailbox(std::string(64, 'l') + "@b"));
    EXPECT_FALSE(IsPlainMailbox(std::string(65, 'l') + "@b"));
    EXPECT_FALSE(IsPlainMailbox("a@" + std::string(64, 'd') + ".com"));
}

TEST(SevenBit, EntitiesComeBackWithTheSameContent) {
    // A forwarded message holding parts of its own: text in 8-bit with a
    // line no server takes, a binary part sent as it was, a base64 part in
    // one long line, a preamble in 8-bit; an entity that can go as it is.
    std::string longLine;
    while (longLine.size() < 3000)
        longLine += "Gr\xC3\xBC\xC3\x9F"
                    "e ";
    const std::string entity =
        "From: Bob <bob@example.net>\r\nSubject: =?utf-8?q?K=C3=B6ln?=\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"o\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        "Vorwort \xC3\xA4\r\n--o\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: 8bit\r\n\r\n" +
        longLine + "\r\nzwei\r\n--o\r\nContent-Type: application/octet-stream\r\n\r\n\x01\xFF\xFE" +
        "\r\n--o\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        std::string(1200, 'Q') +
        "\r\n--o\r\nContent-Type: message/rfc822\r\n\r\n"
        "Subject: inner\r\nContent-Type: text/plain; "
        "charset=iso-8859-1\r\n\r\ncaf\xE9\r\n--o--\r\n";
    std::vector<std::string> notes;
    const std::string safe = SevenBitEntity(entity, notes);
    EXPECT_TRUE(notes.empty());
    for (const auto& l : CrlfLines(safe)) {
        EXPECT_LE(l.size(), kMaxLineLength);
        for (unsigned char c : l)
            ASSERT_LT(c, 128) << l.substr(0, 60);
    }
    ScratchDir dir;
    WriteFile(dir / "before.eml", entity);
    WriteFile(dir / "after.eml", safe);
    const QJsonObject before = testpeers::PythonFields((dir / "before.eml").string(), {"Subject"});
    const QJsonObject after = testpeers::PythonFields((dir / "after.eml").string(), {"Subject"});
    EXPECT_EQ(after["parts"], before["parts"]);
    EXPECT_EQ(after["texts"], before["texts"]);
    EXPECT_EQ(after["types"], before["types"]);
    EXPECT_EQ(testpeers::Values(after, "Subject"), testpeers::Values(before, "Subject"));

    // What can go as it is, stays as it is.
    const std::string plain = "Subject: x\r\n\r\nhello\r\n";
    EXPECT_EQ(SevenBitEntity(plain, notes), plain);
}
