// Mail that breaks the rules as real senders do: address groups, header
// blocks without their blank line, types without a subtype, two names for
// one file, and RFC 2231 parameters. Python's email package reads the same
// texts as the reference.
#include <gtest/gtest.h>

#include "mail/msmime.h"
#include "mail/msmsg.h"
#include "mail/msutils.h"
#include "mail/tests/mimeutil.h"
#include "mail/tests/testutil.h"

using namespace mailtest;

namespace {

std::vector<std::string> addresses(const TmsAddressList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i].Address());
    return out;
}

std::vector<std::string> fileNames(const TmsMessage& m) {
    std::vector<std::string> out;
    for (int i = 0; i < m.Attachments().Count(); ++i)
        out.push_back(m.Attachments()[i].FileName());
    return out;
}

const std::string kGroups =
    Crlf({"From: Staff: boss@example.org;",
          "To: IETF-Announce:;, Team: a@example.org, \"Bee, B\" <b@example.org>;, c@example.org",
          "Cc: Undisclosed recipients:;", "Subject: groups", "", "body"});

const std::string kNoBlankLine =
    Crlf({"To: x@example.org", "Subject: no separator", "Hello there,", "the text goes on."});

const std::string kNoHeaders = Crlf({"Hello world", "second: line"});

const std::string kMultipartSigned = Crlf(
    {"MIME-Version: 1.0", "To: x@example.org", "Content-Type: multipart/signed; micalg=pgp-sha256;",
     " protocol=\"application/pgp-signature\"; boundary*=us-ascii'en'sig%3D42", "", "--sig=42",
     "Content-Type: text/plain", "", "signed text", "--sig=42",
     "Content-Type: application/pgp-signature; name*0=\"signa\"; name*1=\"ture.asc\"", "",
     "-----BEGIN PGP SIGNATURE-----", "-----END PGP SIGNATURE-----", "--sig=42--"});

const std::string kEncodedNames =
    Crlf({"MIME-Version: 1.0",
          "To: x@example.org",
          "Content-Type: multipart/mixed; boundary=b",
          "",
          "--b",
          "Content-Type: text",
          "",
          "a text without a subtype",
          "--b",
          "Content-Type: application/pdf; name*0*=iso-8859-1''r%E9sum; name*1*=%E9.pdf",
          "Content-Transfer-Encoding: base64",
          "",
          EncodeBase64("%PDF"),
          "--b",
          "Content-Type: text/plain; name=\"old.txt\"",
          "Content-Disposition: attachment; filename*=utf-8''%E2%82%AC%20rates.txt",
          "",
          "rates",
          "--b",
          "Content-Type: application/pdf; name=\"a.pdf\"",
          "Content-Disposition: attachment; filename=\"b.pdf\"",
          "Content-Transfer-Encoding: base64",
          "",
          EncodeBase64("%PDF-b"),
          "--b",
          "Content-Type: text",
          "Content-Disposition: attachment",
          "",
          "untyped",
          "--b--"});

} // namespace

TEST(LooseMail, AddressGroupsGiveTheirMembers) {
    TmsMessage m;
    Load(m, kGroups);
    EXPECT_EQ(m.Sender().Address(), "boss@example.org");
    EXPECT_EQ(addresses(m.Recipients()),
              (std::vector<std::string>{"a@example.org", "b@example.org", "c@example.org"}));
    EXPECT_EQ(m.Recipients()[1].Name(), "Bee, B");
    EXPECT_EQ(m.CC().Count(), 0);
    // A colon in a quoted name, a comment or a route is no group.
    EXPECT_EQ(SplitAddressList("\"Re: x\" <r@x>, (a:b) c@x, <@relay:d@x>"),
              (std::vector<std::string>{"\"Re: x\" <r@x>", "(a:b) c@x", "<@relay:d@x>"}));
}

TEST(LooseMail, ALineThatIsNoFieldEndsTheHeader) {
    TmsMessage m;
    Load(m, kNoBlankLine);
    EXPECT_EQ(m.Subject(), "no separator");
    EXPECT_EQ(m.Body(), (TStringList{"Hello there,", "the text goes on."}));
    EXPECT_EQ(m.Headers().Count(), 2);
    Load(m, kNoHeaders);
    EXPECT_EQ(m.Headers().Count(), 0);
    EXPECT_EQ(m.Body(), (TStringList{"Hello world", "second: line"}));
    // Folded fields and an mbox "From " line still belong to the header.
    Load(m, Crlf({"From sender@example.org Tue Dec  8 12:34:56 1998", "Subject: folded",
                  "\tsubject", "body"}));
    EXPECT_EQ(m.Subject(), "folded subject");
    EXPECT_EQ(m.Body(), (TStringList{"body"}));
    // In a part, the delimiter itself ends a header block that has no blank line.
    Load(m, Crlf({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=b", "", "--b",
                  "Content-Type: text/plain", "body", "--b",
                  "Content-Type: application/octet-stream; name=d.bin",
                  "Content-Transfer-Encoding: base64", EncodeBase64("bin"), "--b",
                  "Content-Type: text/plain; name=e.txt", "--b--"}));
    EXPECT_EQ(m.Body(), (TStringList{"body"}));
    ASSERT_EQ(fileNames(m), (std::vector<std::string>{"d.bin", "e.txt"}));
    EXPECT_EQ(m.Attachments()[0].Data(), "bin");
    EXPECT_EQ(m.Attachments()[1].Data(), "");
}

TEST(LooseMail, TypeWithoutSubtypeIsPlainText) {
    TmsMessage m;
    Load(m, Crlf({"MIME-Version: 1.0", "Content-Type: text", "", "just text"}));
    EXPECT_EQ(m.Body(), (TStringList{"just text"}));
    EXPECT_EQ(m.Attachments().Count(), 0);
    EXPECT_EQ(m.ContentType(), "text/plain");
    Load(m, kEncodedNames);
    EXPECT_EQ(m.Body(), (TStringList{"a text without a subtype"}));
    ASSERT_EQ(m.Attachments().Count(), 4);
    EXPECT_EQ(m.Attachments()[3].ContentType(), "text/plain");
    EXPECT_EQ(m.Attachments()[3].Data(), "untyped");
}

TEST(LooseMail, DispositionFileNameWinsOverTypeName) {
    TmsMessage m;
    Load(m, Crlf({"MIME-Version: 1.0", "Content-Type: application/pdf; name=\"a.pdf\"",
                  "Content-Disposition: attachment; filename=\"b.pdf\"",
                  "Content-Transfer-Encoding: base64", "", EncodeBase64("%PDF")}));
    ASSERT_EQ(fileNames(m), std::vector<std::string>{"b.pdf"});
    EXPECT_EQ(m.Attachments()[0].ContentType(), "application/pdf");
    Load(m, kEncodedNames);
    EXPECT_EQ(m.Attachments()[2].FileName(), "b.pdf");
    EXPECT_EQ(m.Attachments()[2].ContentType(), "application/pdf");
    EXPECT_EQ(m.Attachments()[2].Data(), "%PDF-b");
    // A disposition longer than a fixed field still gives its file name.
    Load(m, Crlf({"MIME-Version: 1.0", "Content-Type: application/octet-stream",
                  "Content-Disposition: attachment; x-note=\"" + std::string(300, 'n') + "\";",
                  " filename=late.bin", "Content-Transfer-Encoding: base64", "",
                  EncodeBase64("late")}));
    EXPECT_EQ(fileNames(m), std::vector<std::string>{"late.bin"});
}

TEST(LooseMail, Rfc2231ParametersAreDecoded) {
    TmsMessage m;
    Load(m, kMultipartSigned);
    EXPECT_EQ(m.Body(), (TStringList{"signed text"}));
    ASSERT_EQ(fileNames(m), std::vector<std::string>{"signature.asc"});
    EXPECT_EQ(m.Attachments()[0].ContentType(), "application/pgp-signature");
    Load(m, kEncodedNames);
    EXPECT_EQ(fileNames(m), (std::vector<std::string>{"r\xe9sum\xe9.pdf", "\xe2\x82\xac rates.txt",
                                                      "b.pdf", "att.3"}));
    EXPECT_EQ(m.Attachments()[0].Data(), "%PDF");

    struct Case {
        const char *param, *value, *expected;
    };
    const Case cases[] = {
        {"name", "a; name*=utf-8''%41%42c", "ABc"},
        {"name", "a; name*=%41", "A"}, // no charset part
        {"name", "a; name*1=\"two\"; name*0=one", "onetwo"},
        {"name", "a; name*0*=''%25; name*1*=%4", "%%4"},
        // The plain form wins, as in Python's email package.
        {"name", "a; name*=''ext; name=plain", "plain"},
        {"name", "a; filename*=''f", ""},
        {"boundary", "multipart/mixed; boundary*0=\"x y\"; boundary*1=z", "x yz"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetHeaderParam(c.param, c.value), c.expected) << c.value;
}

TEST(LooseMail, AgreesWithPython) {
    // Per message: the To addresses, then the name and type of each leaf
    // part after the text body, as Python's email package sees them.
    const std::string messages[] = {kGroups, kNoBlankLine, kMultipartSigned, kEncodedNames};
    ScratchDir dir;
    std::string list;
    for (size_t i = 0; i < std::size(messages); ++i) {
        const std::string path = (dir / ("m" + std::to_string(i) + ".eml")).string();
        WriteFile(path, messages[i]);
        list += path + "\n";
    }
    WriteFile(dir / "list.txt", list);
    WriteFile(dir / "peer.py", R"(
import sys, binascii, email
from email import policy
for line in sys.stdin:
    msg = email.message_from_binary_file(open(line.strip(), 'rb'), policy=policy.default)
    out = ['to'] + [a.addr_spec for a in msg['to'].addresses]
    leaves = [p for p in msg.walk() if not p.is_multipart()]
    for p in leaves[1:]:
        name = p.get_filename() or '-'
        out.append(binascii.hexlify(name.encode('utf-8' if '\u20ac' in name else 'latin-1')).decode()
                   + ':' + p.get_content_type())
    sys.stdout.write(' '.join(out) + '\n')
)");
    ASSERT_TRUE(RunShell(std::string(kPython) + " '" + (dir / "peer.py").string() + "' < '" +
                         (dir / "list.txt").string() + "' > '" + (dir / "out.txt").string() + "'"));
    const auto answers = SplitLines(ReadFile(dir / "out.txt"));
    ASSERT_EQ(answers.size(), std::size(messages));
    for (size_t i = 0; i < std::size(messages); ++i) {
        TmsMessage m;
        Load(m, messages[i]);
        std::string ours = "to";
        for (const std::string& a : addresses(m.Recipients()))
            ours += " " + a;
        for (int k = 0; k < m.Attachments().Count(); ++k) {
            const TmsAttItem& a = m.Attachments()[k];
            // Python gives unnamed parts no name; ours are numbered.
            const bool numbered = a.FileName().starts_with("att.");
            ours += " " + (numbered ? Hex("-") : Hex(a.FileName())) + ":" + a.ContentType();
        }
        EXPECT_EQ(ours, answers[i]) << messages[i];
    }
}
