// The MIME parser and composer on fixed messages: every layout, the error
// fallback and the file format's exact lines.
#include <gtest/gtest.h>

#include <set>

#include "mail/msmime.h"
#include "mail/mspars.h"
#include "mail/msuucode.h"
#include "mail/tests/mimeutil.h"
#include "mail/tests/testutil.h"

using namespace mailtest;

namespace {

const std::string kNoteHead = "The following error has been occured while processing the message:";
const std::string kNoteTail = "The original message will be stored as an attachment";

std::unique_ptr<TmsAttItem> item(const std::string& name, const std::string& data) {
    auto a = std::make_unique<TmsAttItem>();
    a->SetFileName(name);
    a->SetData(data);
    return a;
}

std::vector<std::string> lines(const std::string& text) {
    return SplitLines(text);
}

bool hasLine(const std::string& text, const std::string& line) {
    for (const auto& l : SplitLines(text))
        if (l == line)
            return true;
    return false;
}

} // namespace

TEST(Parser, PlainTextAndMimeVersionForms) {
    TmsMessage m;
    Load(m, Crlf({"From: a@b", "Subject: hi", "", "line 1", "Content-Type: text/html", "", "end"}));
    EXPECT_EQ(m.Body(), (TStringList{"line 1", "Content-Type: text/html", "", "end"}));
    EXPECT_EQ(m.Subject(), "hi");
    // MIME-Version with a comment is still MIME.
    Load(m, Crlf({"MIME-Version: 1.0 (produced by x)", "Content-Type: text/html; charset=utf-8", "",
                  "<p>x</p>"}));
    EXPECT_EQ(m.Body(), (TStringList{"<p>x</p>"}));
    EXPECT_EQ(m.ContentType(), "text/html");
    EXPECT_EQ(m.CharsetName(), "utf-8");
    // A quoted-printable single part is decoded and marks the character set.
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Transfer-Encoding: quoted-printable", "",
                  "caf=E9 au=", "lait", "x=3Dy"}));
    EXPECT_EQ(m.Body(), (TStringList{"caf\xe9 aulait", "x=y"}));
    EXPECT_EQ(m.CharSet(), csISO8859);
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Transfer-Encoding: base64", "",
                  EncodeBase64("one\r\ntwo\r\n")}));
    EXPECT_EQ(m.Body(), (TStringList{"one", "two"}));
}

TEST(Parser, UuencodedFiles) {
    TmsMessage m;
    Load(m, Crlf({"From: a@b", "", "see file", "", "begin 644 a.zip", EncodeUULine("PK data"), "`",
                  "end", "", "after", "begin 644 \"b c.txt\"", EncodeUULine("x"), "end"}));
    EXPECT_EQ(m.Encoding(), meUU);
    EXPECT_EQ(m.Body(), (TStringList{"see file", "after"}));
    ASSERT_EQ(m.Attachments().Count(), 2);
    EXPECT_EQ(m.Attachments()[0].FileName(), "a.zip");
    EXPECT_EQ(m.Attachments()[0].Data(), "PK data");
    EXPECT_EQ(m.Attachments()[1].FileName(), "b c.txt");
    EXPECT_EQ(m.ContentType(), "");
    // In a MIME text body a begin line turns the reading into plain text.
    TmsMessage mime;
    Load(mime, Crlf({"Mime-Version: 1.0", "To: x@y", "Content-Type: text/plain", "", "hello",
                     "begin 644 q.bin", EncodeUULine("qq"), "end"}));
    EXPECT_EQ(mime.Encoding(), meUU);
    EXPECT_EQ(mime.Body(), (TStringList{"hello"}));
    EXPECT_EQ(mime.Recipients().Count(), 1);
    EXPECT_EQ(mime.Attachments()[0].Data(), "qq");
}

TEST(Parser, MultipartLayouts) {
    TmsMessage m;
    Load(m, Crlf({"Mime-Version: 1.0",
                  "Content-Type: multipart/mixed; boundary=\"b1\"",
                  "",
                  "preamble",
                  "--b1",
                  "Content-Type: text/plain",
                  "",
                  "body",
                  "",
                  "--b1",
                  "Content-Type: application/pdf; name=\"x.pdf\"",
                  "Content-Transfer-Encoding: base64",
                  "",
                  EncodeBase64("%PDF"),
                  "",
                  "--b1",
                  "Content-Type: text/plain",
                  "",
                  "no name",
                  "--b1--",
                  "epilogue"}));
    EXPECT_EQ(m.Body(), (TStringList{"body"}));
    ASSERT_EQ(m.Attachments().Count(), 2);
    EXPECT_EQ(m.Attachments()[0].FileName(), "x.pdf");
    EXPECT_EQ(m.Attachments()[0].ContentType(), "application/pdf");
    EXPECT_EQ(m.Attachments()[0].Data(), "%PDF");
    EXPECT_EQ(m.Attachments()[1].FileName(), "att.1");
    EXPECT_EQ(m.Attachments()[1].Data(), "no name");

    // multipart/alternative: the plain text is the body, the HTML "_alt.0".
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: multipart/alternative; boundary=a", "", "--a",
                  "Content-Type: text/plain", "", "plain", "--a", "Content-Type: text/html", "",
                  "<b>html</b>", "--a--"}));
    EXPECT_EQ(m.Body(), (TStringList{"plain"}));
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments()[0].FileName(), "_alt.0");
    EXPECT_EQ(m.Attachments()[0].Data(), "<b>html</b>");
    EXPECT_EQ(m.ContentType(), "multipart/alternative");

    // An alternative nested first in a mixed message, then a file.
    Load(m, Crlf({"Mime-Version: 1.0",
                  "Content-Type: multipart/mixed; boundary=o",
                  "",
                  "--o",
                  "Content-Type: multipart/alternative; boundary=i",
                  "",
                  "--i",
                  "Content-Type: text/plain",
                  "",
                  "plain",
                  "--i",
                  "Content-Type: text/html",
                  "",
                  "<i>h</i>",
                  "--i--",
                  "",
                  "--o",
                  "Content-Type: image/gif; name=p.gif",
                  "Content-Transfer-Encoding: base64",
                  "",
                  EncodeBase64("GIF89a"),
                  "--o--"}));
    EXPECT_EQ(m.Body(), (TStringList{"plain"}));
    ASSERT_EQ(m.Attachments().Count(), 2);
    EXPECT_EQ(m.Attachments()[0].FileName(), "_alt.0");
    EXPECT_EQ(m.Attachments()[1].FileName(), "p.gif");
    EXPECT_EQ(m.Attachments()[1].Data(), "GIF89a");

    // The alternative as the last outer part; a closing delimiter right after
    // the first part; a base64 first part; a filename from the disposition.
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: multipart/mixed; boundary=o", "", "--o",
                  "Content-Type: multipart/alternative; boundary=i", "", "--i", "", "plain", "--i",
                  "Content-Type: text/html", "", "h", "--i--", "--o--"}));
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments()[0].FileName(), "_alt.0");
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: multipart/mixed; boundary=o", "", "--o", "",
                  "only", "--o--"}));
    EXPECT_EQ(m.Body(), (TStringList{"only"}));
    EXPECT_EQ(m.Attachments().Count(), 0);
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: multipart/mixed; boundary=o", "", "--o",
                  "Content-Type: application/octet-stream", "Content-Transfer-Encoding: base64",
                  "Content-Disposition: attachment; filename=\"d.bin\"", "", EncodeBase64("bin"),
                  "--o--"}));
    EXPECT_TRUE(m.Body().Empty());
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments()[0].FileName(), "d.bin");
    EXPECT_EQ(m.Attachments()[0].Data(), "bin");
}

TEST(Parser, SinglePartAttachments) {
    TmsMessage m;
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: application/pdf; name=x.pdf",
                  "Content-Transfer-Encoding: base64", "", EncodeBase64("pdf bytes")}));
    EXPECT_TRUE(m.Body().Empty());
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments()[0].FileName(), "x.pdf");
    EXPECT_EQ(m.Attachments()[0].ContentType(), "application/pdf");
    EXPECT_EQ(m.Attachments()[0].Data(), "pdf bytes");
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: application/msword",
                  "Content-Disposition: attachment; filename=y.doc",
                  "Content-Transfer-Encoding: x-uuencode", "", "begin 644 y.doc",
                  EncodeUULine("doc"), "`", "end"}));
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments()[0].FileName(), "y.doc");
    EXPECT_EQ(m.Attachments()[0].Data(), "doc");
}

TEST(Parser, BrokenBodiesBecomeANoteAndTheOriginal) {
    const std::string cases[] = {
        // boundary never found
        Crlf({"Mime-Version: 1.0", "Subject: s", "Content-Type: multipart/mixed; boundary=zz", "",
              "text", "--other"}),
        // invalid base64 inside an attachment
        Crlf({"Mime-Version: 1.0", "Content-Type: multipart/mixed; boundary=b", "", "--b", "",
              "body", "--b", "Content-Type: image/gif; name=a.gif",
              "Content-Transfer-Encoding: base64", "", "R0lG*ODlh", "--b--"}),
        // invalid base64 in a text body
        Crlf({"Mime-Version: 1.0", "Content-Transfer-Encoding: base64", "", "not base64!"}),
        // a broken uuencoded file
        Crlf({"From: a@b", "", "begin 644 x.bin", "M bad line", "end"}),
    };
    const char* texts[] = {"Cannot find boundary", "Error decoding the attachment",
                           "Invalid Character", "Error decoding the attachment"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        TmsMessage m;
        ASSERT_NO_THROW(Load(m, cases[i])) << i;
        const TStringList& body = m.Body();
        ASSERT_GE(body.Count(), 3) << i;
        EXPECT_EQ(body[body.Count() - 3], kNoteHead);
        EXPECT_EQ(body[body.Count() - 2], texts[i]) << i;
        EXPECT_EQ(body[body.Count() - 1], kNoteTail);
        const TmsAttItem& last = m.Attachments()[m.Attachments().Count() - 1];
        EXPECT_EQ(last.FileName(), "original.eml");
        EXPECT_EQ(last.ContentType(), "message/rfc822");
        EXPECT_EQ(last.Encoding(), aeSevenBit);
        EXPECT_EQ(last.Data(), cases[i]);
    }
    // Lines of any length, NUL bytes and a huge quoted-printable paragraph load.
    TmsMessage m;
    const std::string longLine(200000, 'w');
    Load(m, "Subject: x\r\n\r\n" + longLine + std::string("\r\nnul\0byte\r\n", 12));
    EXPECT_EQ(m.Body()[0], longLine);
    EXPECT_EQ(m.Body()[1], std::string("nul\0byte", 8));
    std::string qp = Crlf({"Mime-Version: 1.0", "Content-Transfer-Encoding: quoted-printable", ""});
    for (int i = 0; i < 2000; ++i)
        qp += std::string(70, 'q') + "=\r\n";
    qp += "end\r\n";
    Load(m, qp);
    ASSERT_EQ(m.Body().Count(), 1);
    EXPECT_EQ(m.Body()[0].size(), 2000u * 70 + 3);
}

TEST(Composer, EnvelopeAndHeaderLayout) {
    TmsMessage m;
    m.Sender() = TmsMailAddress("me@x", "O. Desk");
    m.Recipients().Add("a@b", "Order Desk");
    m.Recipients().Add("c@d", "Smith, John");
    m.Recipients().Add("e@f", "");
    m.CC().Add("cc@x", "");
    m.BCC().Add("secret@x", "Hidden");
    m.SetReturnReceipt(true);
    m.SetPriority(ptHigh);
    m.Headers() = TmsHeaders{"Date: Tue, 8 Dec 1998 12:34:56 +0100", "BCC: old@x", "X-Own: 1",
                             "bcc: second@x", "Subject: old"};
    const TmsHeaders before = m.Headers();
    m.SetSubject("Hello");
    m.Body() = {"line", ".", ".x"};
    const std::string text = Save(m);
    EXPECT_EQ(text, Crlf({"From:     \"O. Desk\" <me@x>", "To:       Order Desk <a@b>,",
                          "          \"Smith, John\" <c@d>,", "           <e@f>",
                          "CC:        <cc@x>", "Return-Receipt-To: <me@x>", "X-Priority: 1",
                          "Date: Tue, 8 Dec 1998 12:34:56 +0100", "X-Own: 1", "Subject:  Hello",
                          "Mime-Version: 1.0", "Content-Type: text/plain; charset=\"us-ascii\"",
                          "Content-Transfer-Encoding: 7bit", "", "line", ".", ".x"}));
    EXPECT_EQ(text.find("secret"), std::string::npos);
    // The message itself is untouched by saving.
    EXPECT_EQ(m.Headers(), before);
    EXPECT_EQ(m.Body(), (TStringList{"line", ".", ".x"}));

    TmsMessage normal;
    normal.Body() = {std::string(300, 'l')};
    const std::string t2 = Save(normal);
    EXPECT_TRUE(hasLine(t2, "Content-Type: text/plain; charset=\"us-ascii\""));
    EXPECT_TRUE(hasLine(t2, "Content-Transfer-Encoding: quoted-printable"));
    EXPECT_EQ(t2.find("X-Priority"), std::string::npos);
    // 8-bit text goes out quoted-printable with a character set that can hold it.
    TmsMessage latin;
    latin.Body() = {"caf\xe9"};
    const std::string t3 = Save(latin);
    EXPECT_TRUE(hasLine(t3, "Content-Type: text/plain; charset=\"iso-8859-1\""));
    EXPECT_TRUE(hasLine(t3, "caf=E9"));
    latin.SetSubject("Gr\xfc\xdf"
                     "e");
    latin.Sender().SetName("J\xf6rg");
    const std::string t4 = Save(latin);
    EXPECT_TRUE(hasLine(t4, "Subject:  =?iso-8859-1?Q?Gr=FC=DFe?="));
    TmsMessage back;
    Load(back, t4);
    EXPECT_EQ(back.Subject(), "Gr\xfc\xdf"
                              "e");
    EXPECT_EQ(back.Sender().Name(), "J\xf6rg");
    EXPECT_EQ(back.Body(), latin.Body());
}

TEST(Composer, AttachmentLayouts) {
    TmsMessage m;
    m.Sender().SetAddress("me@x");
    m.Body() = {"text"};
    m.Attachments().AddItem(item("report.pdf", std::string(57, 'p')));
    const std::string text = Save(m);
    const auto l = lines(text);
    auto at = [&](const std::string& s) {
        return static_cast<int>(std::find(l.begin(), l.end(), s) - l.begin());
    };
    const int ct = at("Content-Type: application/pdf; name=\"report.pdf\"");
    ASSERT_LT(ct, static_cast<int>(l.size()));
    EXPECT_EQ(l[ct + 1], "Content-Transfer-Encoding: Base64");
    EXPECT_EQ(l[ct + 2], "Content-Disposition: attachment; filename=\"report.pdf\"");
    EXPECT_EQ(l[ct + 3], "");
    EXPECT_EQ(l[ct + 4].size(), 76u);
    EXPECT_EQ(l[ct + 5], "");
    EXPECT_EQ(l[ct + 6], "");
    EXPECT_TRUE(l[ct + 7].starts_with("--") && l[ct + 7].ends_with("--"));
    const size_t b = text.find("boundary=\"");
    ASSERT_NE(b, std::string::npos);
    const std::string boundary = text.substr(b + 10, 8);
    EXPECT_EQ(boundary.find_first_not_of("012345678"), std::string::npos);
    EXPECT_TRUE(hasLine(text, "This is a multipart message in MIME format"));

    // Body plus "_alt.1" and a file: a nested alternative, then the file.
    TmsMessage alt;
    alt.Body() = {"plain"};
    alt.Attachments().AddItem(item("_alt.1", "<b>h</b>\r\n"));
    alt.Attachments()[0].SetContentType("text/html");
    alt.Attachments().AddItem(item("report.pdf", "%PDF"));
    const std::string t2 = Save(alt);
    EXPECT_NE(t2.find("\r\nContent-Type:  multipart/alternative; boundary=\""), std::string::npos);
    EXPECT_TRUE(hasLine(t2, "Content-Type: text/html"));
    EXPECT_TRUE(hasLine(t2, "Content-Type: application/pdf; name=\"report.pdf\""));
    TmsMessage back;
    Load(back, t2);
    EXPECT_EQ(back.Body(), alt.Body());
    ASSERT_EQ(back.Attachments().Count(), 2);
    EXPECT_EQ(back.Attachments()[0].FileName(), "_alt.0");
    EXPECT_EQ(back.Attachments()[0].Data(), "<b>h</b>\r\n");
    EXPECT_EQ(back.Attachments()[1].Data(), "%PDF");

    // An HTML body file alone: one part of type text/html, no disposition.
    TmsMessage html;
    html.Attachments().AddItem(item("c:\\x\\_htmbody.htm", "<p>hi</p>\r\n"));
    const std::string t3 = Save(html);
    EXPECT_TRUE(hasLine(t3, "Content-Type: text/html"));
    EXPECT_TRUE(hasLine(t3, "Content-Transfer-Encoding: Quoted-Printable"));
    EXPECT_EQ(t3.find("Content-Disposition"), std::string::npos);
    Load(back, t3);
    EXPECT_EQ(back.Body(), (TStringList{"<p>hi</p>"}));
    EXPECT_EQ(back.ContentType(), "text/html");

    // A stored multipart type with no attachments left is one text part.
    TmsMessage left;
    left.Body() = {"x"};
    left.SetContentType("multipart/mixed");
    const std::string t4 = Save(left);
    EXPECT_EQ(t4.find("multipart"), std::string::npos);
    EXPECT_TRUE(hasLine(t4, "Content-Type: text/plain; charset=\"us-ascii\""));

    // Data that "7 bit" would change goes out in base64; a message part
    // never does, it goes out as its lines.
    TmsMessage seven;
    seven.Body() = {"b"};
    seven.Attachments().AddItem(item("raw.dat", "8-bit \xff\nbare LF"));
    seven.Attachments()[0].SetEncoding(aeSevenBit);
    seven.Attachments().AddItem(item("m.eml", "Subject: x\n\nbare LF"));
    ASSERT_EQ(seven.Attachments()[1].Encoding(), aeSevenBit);
    const std::string t5 = Save(seven);
    EXPECT_TRUE(hasLine(t5, "Content-Transfer-Encoding: Base64"));
    EXPECT_TRUE(hasLine(t5, "Content-Transfer-Encoding: 7 bit"));
    Load(back, t5);
    EXPECT_EQ(back.Attachments()[0].Data(), "8-bit \xff\nbare LF");
    // in the canonical form of a message: CR LF line ends
    EXPECT_EQ(back.Attachments()[1].Data(), "Subject: x\r\n\r\nbare LF\r\n");
}

TEST(Parser, DeeperMultipartsKeepTheirStructure) {
    // An HTML body with an inline image (multipart/related) inside the
    // alternative stays one part with its boundary, and goes out again whole.
    const std::string related = Crlf(
        {"--r", "Content-Type: text/html", "", "<img src=cid:1>", "--r", "Content-Type: image/png",
         "Content-ID: <1>", "Content-Transfer-Encoding: base64", "", "iVBORw0=", "--r--"});
    TmsMessage m;
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: multipart/alternative; boundary=a", "", "--a",
                  "Content-Type: text/plain", "", "plain", "--a",
                  "Content-Type: multipart/related; boundary=\"r\""}) +
                "\r\n" + related + Crlf({"--a--"}));
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments()[0].ContentType(), "multipart/related; boundary=\"r\"");
    EXPECT_EQ(m.Attachments()[0].Data() + "\r\n", related);
    const std::string text = Save(m);
    EXPECT_TRUE(hasLine(text, "Content-Type: multipart/related; boundary=\"r\""));
    EXPECT_NE(text.find("\r\n\r\n" + related), std::string::npos);
}

TEST(Composer, Uuencoded) {
    TmsMessage m;
    m.SetEncoding(meUU);
    m.Body() = {"see"};
    m.Attachments().AddItem(item("a.bin", std::string(90, 'a')));
    m.Attachments().AddItem(item("empty.bin", ""));
    const std::string text = Save(m);
    EXPECT_EQ(text.find("Mime-Version"), std::string::npos);
    EXPECT_EQ(text.find("Content-Type"), std::string::npos);
    const auto l = lines(text);
    ASSERT_GE(l.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(l.end() - 9, l.end()),
              (std::vector<std::string>{"begin 600 a.bin", EncodeUULine(std::string(45, 'a')),
                                        EncodeUULine(std::string(45, 'a')), "`", "end", "",
                                        "begin 600 empty.bin", "`", "end"}));
    TmsMessage back;
    Load(back, text);
    EXPECT_EQ(back.Encoding(), meUU);
    EXPECT_EQ(back.Body(), m.Body());
    ASSERT_EQ(back.Attachments().Count(), 2);
    EXPECT_EQ(back.Attachments()[0].Data(), std::string(90, 'a'));
    EXPECT_EQ(back.Attachments()[1].Data(), "");
}

TEST(Composer, BoundariesDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string b = TmsCustomEncoder::MakeBoundary();
        EXPECT_EQ(b.size(), 8u);
        EXPECT_EQ(b.find_first_not_of("012345678"), std::string::npos);
        seen.insert(b);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(MessageFiles, SaveAndLoad) {
    ScratchDir dir;
    TmsMessage m;
    m.Sender().SetAddress("me@x");
    m.Recipients().Add("a@b", "A");
    m.SetSubject("file");
    m.Body() = {"body"};
    m.Attachments().AddItem(item("f.zip", std::string("PK\0\x01", 4)));
    const std::string path = (dir / "m.eml").string();
    m.SaveToFile(path);
    TmsMessage back;
    back.Body() = {"stale"};
    back.LoadFromFile(path);
    EXPECT_EQ(back.Body(), m.Body());
    EXPECT_EQ(back.Attachments()[0].Data(), std::string("PK\0\x01", 4));
    back.SaveAttachment(0, dir.Path().string());
    EXPECT_EQ(ReadFile(dir / "f.zip"), std::string("PK\0\x01", 4));
    EXPECT_THROW(back.LoadFromFile((dir / "missing.eml").string()), EFOpenError);
    EXPECT_TRUE(back.Body().Empty()); // cleared before the failed open
    EXPECT_THROW(m.SaveToFile((dir / "no" / "such" / "dir.eml").string()), EFCreateError);
    // Saving again replaces the file and leaves nothing else in the folder.
    m.SetSubject("second");
    m.SaveToFile(path);
    back.LoadFromFile(path);
    EXPECT_EQ(back.Subject(), "second");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        files += e.path().filename() != "f.zip";
    EXPECT_EQ(files, 1);
}

TEST(Parser, PartsNamedByTheSenderStayAttachments) {
    TmsMessage m;
    // A named text first part is a file, not the body; the declared type wins
    // over a guess from the name; encoded words in names are decoded; a
    // base64 line of any length decodes whole.
    const std::string longLine = EncodeBase64(std::string(3000, 'z'));
    Load(m, Crlf({"Mime-Version: 1.0", "Content-Type: multipart/mixed; boundary=o", "", "--o",
                  "Content-Type: text/plain; name=\"first.txt\"", "", "file text", "--o",
                  "Content-Type: application/x-custom; name=\"=?iso-8859-1?Q?r=E9sum=E9?=.doc\"",
                  "Content-Transfer-Encoding: base64", "", longLine, "--o--"}));
    EXPECT_TRUE(m.Body().Empty());
    ASSERT_EQ(m.Attachments().Count(), 2);
    EXPECT_EQ(m.Attachments()[0].FileName(), "first.txt");
    EXPECT_EQ(m.Attachments()[0].Data(), "file text");
    EXPECT_EQ(m.Attachments()[1].FileName(), "r\xe9sum\xe9.doc");
    EXPECT_EQ(m.Attachments()[1].ContentType(), "application/x-custom");
    EXPECT_EQ(m.Attachments()[1].Data(), std::string(3000, 'z'));
}

TEST(Composer, HeaderTextsCannotBreakTheHeaderBlock) {
    TmsMessage m;
    m.Sender() = TmsMailAddress("me@x\r\nBcc: victim@y", "Me\r\nX-Injected: 1");
    m.SetSubject("hello\r\nBcc: other@z");
    m.Headers() = TmsHeaders{"X-A: 1", "", "X-B: 2"};
    m.Body() = {"body"};
    const std::string text = Save(m);
    for (const auto& l : SplitLines(text)) {
        EXPECT_FALSE(l.starts_with("Bcc:")) << l;
        EXPECT_FALSE(l.starts_with("X-Injected")) << l;
    }
    // The empty header line is not written: the block ends only before the body.
    EXPECT_TRUE(hasLine(text, "X-B: 2"));
    TmsMessage back;
    Load(back, text);
    EXPECT_EQ(back.Body(), (TStringList{"body"}));
    EXPECT_EQ(back.Subject(), "hello  Bcc: other@z");
}

TEST(Composer, HeaderTextGoesInASetThatHoldsItAndAsWrittenWhereUnchanged) {
    // Decoded UTF-8 in a message whose body is ISO 8859-1: labelled UTF-8.
    TmsMessage m;
    m.Sender() = TmsMailAddress("j@example.net", "J\xC3\xBCrgen Gro\xC3\x9F");
    m.Recipients().Add("desk@example.com", "");
    m.SetCharsetName("iso-8859-1");
    m.SetSubject("Bestellung f\xC3\xBCr K\xC3\xB6ln");
    m.Body() = {"caf\xe9"};
    // ASCII that reads like an encoded word, and a file name in UTF-8.
    m.Headers() = TmsHeaders{"X-Own: 1"};
    m.Attachments().AddItem(item("K\xC3\xB6ln.pdf", "%PDF"));
    std::string text = Save(m);
    EXPECT_TRUE(hasLine(text, "From:     =?utf-8?Q?J=C3=BCrgen_Gro=C3=9F?= <j@example.net>"));
    EXPECT_TRUE(hasLine(text, "Subject:  =?utf-8?Q?Bestellung_f=C3=BCr_K=C3=B6ln?="));
    EXPECT_TRUE(hasLine(text, "Content-Disposition: attachment; filename*=utf-8''K%C3%B6ln.pdf"));
    TmsMessage back;
    Load(back, text);
    EXPECT_EQ(back.Subject(), m.Subject());
    EXPECT_EQ(back.Sender().Name(), m.Sender().Name());
    ASSERT_EQ(back.Attachments().Count(), 1);
    EXPECT_EQ(back.Attachments()[0].FileName(), "K\xC3\xB6ln.pdf");
    TmsMessage literal;
    literal.SetSubject("see =?utf-8?q?x?= here");
    text = Save(literal);
    Load(back, text);
    EXPECT_EQ(back.Subject(), "see =?utf-8?q?x?= here");

    // A message read and written again keeps its subject and sender as
    // written, the sets of their words included, and a text part its set.
    const std::string read =
        Crlf({"From: =?iso-8859-1?q?J=FCrgen?= <j@example.net>", "To: desk@example.com",
              "Subject: =?koi8-r?b?8NLJ18XU?= and =?utf-8?q?K=C3=B6ln?=", "MIME-Version: 1.0",
              "Content-Type: multipart/alternative; boundary=\"b\"", "", "--b",
              "Content-Type: text/plain; charset=utf-8", "", "K\xC3\xB6ln", "--b",
              "Content-Type: text/html; charset=\"UTF-8\"", "", "<p>K\xC3\xB6ln</p>", "--b--"});
    TmsMessage again;
    Load(again, read);
    text = Save(again);
    EXPECT_TRUE(hasLine(text, "From: =?iso-8859-1?q?J=FCrgen?= <j@example.net>"));
    EXPECT_TRUE(hasLine(text, "Subject: =?koi8-r?b?8NLJ18XU?= and =?utf-8?q?K=C3=B6ln?="));
    EXPECT_TRUE(hasLine(text, "Content-Type: text/html; charset=\"UTF-8\"")) << text;
}

TEST(Composer, NewsArticles) {
    TmsArticle a;
    a.Sender() = TmsMailAddress("n@x", "Poster");
    a.SetNewsGroups("comp.mail.misc");
    a.SetSubject("news");
    a.Headers() = TmsHeaders{"Path: a!b", "Message-ID: <1@x>"};
    a.Body() = {"text"};
    const std::string text = Save(a);
    EXPECT_EQ(text, Crlf({"From:     Poster <n@x>", "Newsgroups: comp.mail.misc", "Path: a!b",
                          "Message-ID: <1@x>", "Subject:  news", "Mime-Version: 1.0",
                          "Content-Type: text/plain; charset=\"us-ascii\"",
                          "Content-Transfer-Encoding: 7bit", "", "text"}));
    TmsArticle back;
    Load(back, text);
    EXPECT_EQ(back.NewsGroups(), "comp.mail.misc");
    EXPECT_EQ(back.Path(), "a!b");
    EXPECT_EQ(back.MessageID(), "<1@x>");
    EXPECT_EQ(Save(back), text); // the parsed Newsgroups line is not written twice
}
