// Header look-ups, encoded words, addresses, parameters and dates, with the
// encoded words and address lists checked against Python's email package.
#include <gtest/gtest.h>

#include "mail/msmime.h"
#include "mail/msmsg.h"
#include "mail/msutils.h"
#include "mail/tests/testutil.h"
#include "platform/win/datetime.h"

using namespace mailtest;

namespace {

TmsHeaders headersOf(std::initializer_list<std::string> lines) {
    TmsHeaders h;
    for (const auto& l : lines)
        h.Add(l);
    return h;
}

} // namespace

TEST(HeaderWords, FixedCases) {
    const std::pair<std::string, std::string> cases[] = {
        {"=?iso-8859-1?Q?Caf=E9?=", "Caf\xe9"},
        {"=?us-ascii?B?SGVsbG8=?=", "Hello"},
        {"=?x?q?c?=", "c"},
        // "_" is a blank only inside Q words.
        {"a_b =?x?Q?c_d?=", "a_b c d"},
        // Blanks between adjacent words go, blanks around plain text stay.
        {"=?x?Q?a?= =?x?Q?b?=", "ab"},
        {"=?x?Q?a?=\t =?x?B?Yg==?=", "ab"},
        {"=?x?Q?a?=   b  =?x?Q?c?=", "a   b  c"},
        {"Re: =?utf-8?Q?=C3=A9t=C3=A9?= news", "Re: \xc3\xa9t\xc3\xa9 news"},
        // Decoded text is never decoded again.
        {"=?x?Q?=3D=3Fx=3FQ=3Fy=3F=3D?=", "=?x?Q?y?="},
        // Unclosed or malformed words stay as written, and the work ends.
        {"=?abc", "=?abc"},
        {"x =?x?Q?a?= =?bad", "x a =?bad"},
        {"=?x?Z?abc?= tail", "=?x?Z?abc?= tail"},
        {"=?x?B?ab!d?=", "=?x?B?ab!d?="},
        {"a =? b =?x?Q?c?=", "a =? b c"},
        // A "?=" of the Q text right after the marker does not end the word.
        {"=?x?Q?=41?=", "A"},
        {"=?x?Q?"
         "?=",
         ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(DecodeHeaderWords(in), out) << in;
}

TEST(HeaderWords, AgreeWithPython) {
    std::mt19937 rng(2047);
    const char* charsets[] = {"utf-8", "iso-8859-1"};
    std::vector<std::string> values, expected;
    for (int n = 0; n < 300; ++n) {
        const bool utf8 = n % 2 == 0;
        std::string value;
        const int parts = 1 + static_cast<int>(rng() % 4);
        for (int p = 0; p < parts; ++p) {
            if (p)
                value += ' ';
            // The text of one piece: letters, blanks, punctuation, "_", and
            // non-ASCII text in the value's character set.
            std::string text;
            const int len = 1 + static_cast<int>(rng() % 12);
            for (int k = 0; k < len; ++k) {
                const int r = static_cast<int>(rng() % 10);
                if (r < 5)
                    text += static_cast<char>('a' + rng() % 26);
                else if (r == 5)
                    text += ' ';
                else if (r == 6)
                    text += "_?=.,"[rng() % 5];
                else
                    text += utf8 ? std::string("\xc3\xa9") : std::string("\xe9");
            }
            const int kind = static_cast<int>(rng() % 3);
            if (kind == 0) {
                // Plain text: printable ASCII words only.
                std::string word;
                for (int k = 0; k < len; ++k)
                    word += static_cast<char>('a' + rng() % 26);
                if (rng() % 3 == 0)
                    word += "_x";
                value += word;
                continue;
            }
            std::string encoded;
            if (kind == 1) {
                encoded = std::string("=?") + charsets[n % 2] + "?B?" + EncodeBase64(text) + "?=";
            } else {
                encoded = std::string("=?") + charsets[n % 2] + "?Q?";
                for (unsigned char c : text) {
                    if (c == ' ')
                        encoded += '_';
                    else if (std::isalnum(c))
                        encoded += static_cast<char>(c);
                    else {
                        char buf[4];
                        std::snprintf(buf, sizeof buf, "=%02X", c);
                        encoded += buf;
                    }
                }
                encoded += "?=";
            }
            value += encoded;
        }
        values.push_back(value);
    }
    const std::string program = R"(
import sys, binascii
from email.policy import default
for line in sys.stdin:
    charset, raw = line.split()
    value = binascii.unhexlify(raw).decode('ascii')
    header = default.header_factory('Subject', value)
    sys.stdout.write(binascii.hexlify(str(header).encode(charset)).decode() + '\n')
)";
    // The charset name travels in front of each value.
    ScratchDir dir;
    std::string in;
    for (size_t i = 0; i < values.size(); ++i)
        in += std::string(charsets[i % 2]) + " " + Hex(values[i]) + "\n";
    WriteFile(dir / "in.txt", in);
    WriteFile(dir / "peer.py", program);
    ASSERT_TRUE(RunShell(std::string(kPython) + " '" + (dir / "peer.py").string() + "' < '" +
                         (dir / "in.txt").string() + "' > '" + (dir / "out.txt").string() + "'"));
    const auto answers = SplitLines(ReadFile(dir / "out.txt"));
    ASSERT_EQ(answers.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(Hex(DecodeHeaderWords(values[i])), answers[i]) << values[i];
}

TEST(Headers, GetFieldValue) {
    EXPECT_EQ(headersOf({"Subject: Hello", "  world"}).GetFieldValue("subject"), "Hello world");
    EXPECT_EQ(headersOf({"Subject:Hello"}).GetFieldValue("Subject"), "Hello");
    EXPECT_EQ(headersOf({"Subject: a", "no colon here", "X: y"}).GetFieldValue("Subject:"),
              "a no colon here");
    EXPECT_EQ(headersOf({}).GetFieldValue("Subject"), "");
    // Whole names only.
    EXPECT_EQ(headersOf({"Top: 1", "To: a@b"}).GetFieldValue("To"), "a@b");
    EXPECT_EQ(headersOf({"Top: 1"}).GetFieldValue("To"), "");
    EXPECT_EQ(headersOf({"Subject : spaced"}).GetFieldValue("Subject"), "spaced");
    // The first field of a name wins; an empty line ends the block.
    EXPECT_EQ(headersOf({"X-A: 1", "X-A: 2"}).GetFieldValue("x-a"), "1");
    EXPECT_EQ(headersOf({"X-A: 1", "", "body"}).GetFieldValue("x-a"), "1");

    const std::string longType = "multipart/mixed; boundary=\"" + std::string(270, 'b') + "\"";
    EXPECT_EQ(headersOf({"Content-Type: " + longType}).GetFieldValue("Content-Type"), longType);
    EXPECT_EQ(headersOf({"Subject: " + std::string(300, 's')}).GetFieldValue("Subject").size(),
              255u);
    // Content-Type and X-UIDL stay undecoded.
    EXPECT_EQ(headersOf({"X-UIDL: =?x?Q?a?="}).GetFieldValue("X-UIDL"), "=?x?Q?a?=");
    // A long encoded subject is decoded whole, then cut.
    std::string encoded;
    for (int i = 0; i < 8; ++i)
        encoded += " =?utf-8?B?" + EncodeBase64(std::string(30, 'k')) + "?=";
    EXPECT_EQ(headersOf({"Subject:" + encoded}).GetFieldValue("Subject"), std::string(240, 'k'));
}

TEST(Headers, AddressFieldsAndEdits) {
    TmsHeaders h = headersOf({"To: \"Smith, John\" <j@x>, b@y,", " ,c@z", "Top: no", "Cc: d@w",
                              "to: =?x?Q?Caf=E9?= <e@v>"});
    TStringList list;
    h.GetAddressField("To", list);
    EXPECT_EQ(list, (TStringList{"\"Smith, John\" <j@x>", "b@y", "c@z", "Caf\xe9 <e@v>"}));
    h.GetAddressField("Bcc", list);
    EXPECT_TRUE(list.Empty());

    TmsHeaders two = headersOf({"To: a@b", "  more@c", "Subject: s", "To: second@d"});
    two.DeleteField("To");
    EXPECT_EQ(two, headersOf({"Subject: s", "To: second@d"}));

    TmsHeaders cut = headersOf({"A: 1", "B: 2", "", "body", ""});
    cut.CutAtBlankLine();
    EXPECT_EQ(cut, headersOf({"A: 1", "B: 2"}));

    TmsHeaders any = headersOf({"A: 1", "X-Last: Needle here"});
    EXPECT_TRUE(any.ContainsText("Needle", true));
    EXPECT_FALSE(any.ContainsText("needle", true));
    EXPECT_TRUE(any.ContainsText("needle", false));
    EXPECT_FALSE(headersOf({}).ContainsText("", false));
}

TEST(Addresses, ParseMailAddress) {
    struct Case {
        const char *text, *address, *name;
    };
    const Case cases[] = {
        {"Order Desk <box1>", "box1", "Order Desk"},
        {"box1 (Desk)", "box1", "Desk"},
        {"Desk <box1", "", "Desk <box1"},
        {"a@b", "a@b", ""},
        {"<a@b>", "a@b", ""},
        {"\"Smith, John\" <j@x>", "j@x", "Smith, John"},
        {"\"A \\\"B\\\" C\" <q@x>", "q@x", "A \"B\" C"},
        {"\"x <y>\" <z@w>", "z@w", "x <y>"},
        {"  \"Quoted\"  <a@b>  ", "a@b", "Quoted"},
    };
    for (const auto& c : cases) {
        TmsMailAddress a;
        ParseMailAddress(c.text, a);
        EXPECT_EQ(a.Address(), c.address) << c.text;
        EXPECT_EQ(a.Name(), c.name) << c.text;
    }
    TmsMailAddress big;
    ParseMailAddress(std::string(300, 'n') + " <" + std::string(300, 'a') + ">", big);
    EXPECT_EQ(big.Name().size(), 255u);
    EXPECT_EQ(big.Address().size(), 255u);
    EXPECT_EQ(StripQuotes("  \"\"x\"y\"\" "), "x\"y");
}

TEST(Addresses, QuotingForHeaders) {
    EXPECT_EQ(FormatMailAddress("Order Desk", "a@b"), "Order Desk <a@b>");
    EXPECT_EQ(FormatMailAddress("O. Desk", "a@b"), "\"O. Desk\" <a@b>");
    EXPECT_EQ(FormatMailAddress("Smith, John", "j@x"), "\"Smith, John\" <j@x>");
    EXPECT_EQ(FormatMailAddress("A \"B\" \\C", "q@x"), "\"A \\\"B\\\" \\\\C\" <q@x>");
    EXPECT_EQ(FormatMailAddress("", "a@b"), " <a@b>");
    // Written, split and parsed again: the same name and address.
    for (const char* name :
         {"Smith, John", "A \"B\" C", "x <y>", "semi;colon", "(c)", "a@b", " edge blank "}) {
        TmsHeaders h = headersOf({"To: " + FormatMailAddress(name, "p@q") + ", r@s"});
        TmsMessage m;
        m.ParseHeaders(h);
        ASSERT_EQ(m.Recipients().Count(), 2) << name;
        EXPECT_EQ(m.Recipients()[0].Name(), name);
        EXPECT_EQ(m.Recipients()[0].Address(), "p@q");
    }
}

TEST(Addresses, AgreeWithPython) {
    std::mt19937 rng(5322);
    auto word = [&] {
        std::string w;
        const int n = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < n; ++i)
            w += static_cast<char>('a' + rng() % 26);
        return w;
    };
    auto addrSpec = [&] {
        return word() + (rng() % 2 ? "." + word() : "") + "@" + word() + ".org";
    };
    std::vector<std::vector<std::string>> fields; // each a list of header lines
    for (int n = 0; n < 300; ++n) {
        std::vector<std::string> entries;
        const int count = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < count; ++k) {
            const std::string addr = addrSpec();
            switch (rng() % 6) {
            case 0:
                entries.push_back(addr);
                break;
            case 1:
                entries.push_back(word() + " " + word() + " <" + addr + ">");
                break;
            case 2: {
                std::string name = word() + ", " + word();
                if (rng() % 2)
                    name += " \"" + word() + "\"";
                if (rng() % 3 == 0)
                    name += " (x.y) [z]; @";
                entries.push_back(FormatMailAddress(name, addr));
                break;
            }
            case 3:
                entries.push_back("=?utf-8?Q?" + word() + "_=C3=A9?= <" + addr + ">");
                break;
            case 4:
                entries.push_back("=?iso-8859-1?B?" + EncodeBase64(word() + " \xe9") + "?= <" +
                                  addr + ">");
                break;
            default:
                entries.push_back("<" + addr + ">");
                break;
            }
        }
        // Some lists fold onto continuation lines.
        std::vector<std::string> lines{"To: " + entries[0]};
        for (size_t k = 1; k < entries.size(); ++k) {
            if (rng() % 2)
                lines.back() += ", " + entries[k];
            else {
                lines.back() += ",";
                lines.push_back("\t" + entries[k]);
            }
        }
        fields.push_back(lines);
    }
    ScratchDir dir;
    std::string in;
    for (const auto& lines : fields) {
        std::string block;
        for (const auto& l : lines)
            block += l + "\r\n";
        in += Hex(block) + "\n";
    }
    WriteFile(dir / "in.txt", in);
    WriteFile(dir / "peer.py", R"(
import sys, binascii, email
from email.policy import default
for line in sys.stdin:
    raw = binascii.unhexlify(line.strip())
    msg = email.message_from_bytes(raw + b'\r\n', policy=default)
    out = []
    for a in msg['To'].addresses:
        name = a.display_name
        try:
            enc = name.encode('iso-8859-1')
        except UnicodeEncodeError:
            enc = name.encode('utf-8')
        out.append(binascii.hexlify(enc).decode() + ':' + binascii.hexlify(a.addr_spec.encode()).decode())
    sys.stdout.write(' '.join(out) + '\n')
)");
    ASSERT_TRUE(RunShell(std::string(kPython) + " '" + (dir / "peer.py").string() + "' < '" +
                         (dir / "in.txt").string() + "' > '" + (dir / "out.txt").string() + "'"));
    const auto answers = SplitLines(ReadFile(dir / "out.txt"));
    ASSERT_EQ(answers.size(), fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        TmsHeaders h;
        for (const auto& l : fields[i])
            h.Add(l);
        TmsMessage m;
        m.ParseHeaders(h);
        std::string ours;
        for (int k = 0; k < m.Recipients().Count(); ++k) {
            std::string name = m.Recipients()[k].Name();
            // Python gives text; the é of a UTF-8 name is U+00E9 there,
            // which goes back as Latin-1 unless the name needs UTF-8.
            const size_t utf = name.find("\xc3\xa9");
            if (utf != std::string::npos)
                name.replace(utf, 2, "\xe9");
            if (k)
                ours += ' ';
            ours += Hex(name) + ":" + Hex(m.Recipients()[k].Address());
        }
        EXPECT_EQ(ours, answers[i]) << fields[i][0];
    }
}

TEST(HeaderParams, WholeNamesOnly) {
    EXPECT_EQ(GetHeaderParam("boundary", "multipart/mixed; boundary=\"0123\""), "0123");
    EXPECT_EQ(GetHeaderParam("name", "text/plain; name=a.txt; x=1"), "a.txt");
    EXPECT_EQ(GetHeaderParam("name", "text/plain; filename=f.txt"), "");
    EXPECT_EQ(GetHeaderParam("name", "text/plain; filename=f.txt; name=n.txt"), "n.txt");
    EXPECT_EQ(GetHeaderParam("NAME", "a; Name = \"x y;z\""), "x y;z");
    EXPECT_EQ(GetHeaderParam("name", "a; x=\"name=no\""), "");
    EXPECT_EQ(GetHeaderParam("name", "a;name=b;c=d"), "b");
    EXPECT_EQ(GetHeaderParam("charset", "text/plain"), "");
    EXPECT_EQ(GetFirstToken("text/html; charset=x"), "text/html");
    EXPECT_EQ(GetFirstToken("text/html;charset=x"), "text/html");
    EXPECT_EQ(GetFirstToken("text/plain"), "text/plain");
}

TEST(ContentTypes, OfFiles) {
    EXPECT_EQ(GetContentTypeOfFile("a.TXT"), "text/plain");
    EXPECT_EQ(GetContentTypeOfFile("c:\\x\\report.htm"), "text/html");
    EXPECT_EQ(GetContentTypeOfFile("r.html"), "text/html");
    EXPECT_EQ(GetContentTypeOfFile("r.rtf"), "text/rtf");
    EXPECT_EQ(GetContentTypeOfFile("x.eml"), "message/rfc822");
    EXPECT_EQ(GetContentTypeOfFile("noext"), "application/octet-stream");
    ScratchDir dir;
    WriteFile(dir / "mime.types", "# comment\napplication/zip\t\tzip\nimage/gif gif GIFF\n\n");
    SetMimeTypesFile((dir / "mime.types").string());
    EXPECT_EQ(GetContentTypeOfFile("a.zip"), "application/zip");
    EXPECT_EQ(GetContentTypeOfFile("photo.GIF"), "image/gif");
    EXPECT_EQ(GetContentTypeOfFile("a.xyz"), "application/octet-stream");
    SetMimeTypesFile("/nonexistent/mime.types");
    EXPECT_EQ(GetContentTypeOfFile("a.zip"), "application/octet-stream");
    SetMimeTypesFile("/etc/mime.types");
}

TEST(Dates, ParseMailDate) {
    struct Case {
        const char* text;
        int y, mo, d, h, mi, s;
        const char* rest;
    };
    const Case cases[] = {
        {"Tue, 8 Dec 98 12:34:56 +0100", 1998, 12, 8, 12, 34, 56, "+0100"},
        {"8 Dec 1998", 1998, 12, 8, 0, 0, 0, ""},
        {"\"Wed, 01 Jan 2003 07:05 GMT\"", 2003, 1, 1, 7, 5, 0, "GMT"},
        {"1 feb 50 10:00:00, +0000", 2050, 2, 1, 10, 0, 0, "+0000"},
        {"1 feb 51 xx:yy", 1951, 2, 1, 0, 0, 0, ""},
        {"29 Feb 2000 25:00:00 -0500", 2000, 2, 29, 0, 0, 0, "-0500"},
    };
    for (const auto& c : cases) {
        win::TDateTime t = -1;
        std::string rest = "junk";
        ParseMailDate(c.text, t, rest);
        const win::DateParts p = win::DecodeDateTime(t);
        EXPECT_EQ(std::vector<int>({p.year, p.month, p.day, p.hour, p.minute, p.second}),
                  std::vector<int>({c.y, c.mo, c.d, c.h, c.mi, c.s}))
            << c.text;
        EXPECT_EQ(rest, c.rest) << c.text;
    }
    for (const char* bad :
         {"Dec 1998", "", "31 Feb 2001 10:00", "x 8 Dec 9", "8 Xyz 1998", "8 Dec", "1998-12-08"}) {
        win::TDateTime t = -1;
        std::string rest = "junk";
        ParseMailDate(bad, t, rest);
        EXPECT_EQ(t, 0) << bad;
        EXPECT_EQ(rest, "") << bad;
    }
}
