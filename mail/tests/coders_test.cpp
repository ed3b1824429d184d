// Base64, quoted-printable and uuencode line coders, checked against fixed
// cases and against coreutils base64 and sharutils uuencode/uudecode.
#include <gtest/gtest.h>

#include "mail/exception.h"
#include "mail/msmime.h"
#include "mail/msuucode.h"
#include "mail/tests/testutil.h"
#include "platform/win/hooks.h"

using namespace mailtest;

namespace {

std::string base64Lines(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); i += 57) {
        EncodeBase64To(std::string_view(data).substr(i, 57), out);
        out += '\n';
    }
    return out;
}

std::vector<std::string> qpEncode(const std::string& data) {
    std::string stream = data;
    TStringList lines;
    TQuotedPrintable(stream, lines).Encode();
    return lines.Lines();
}

std::string qpDecode(const std::vector<std::string>& lines) {
    TStringList list;
    for (const auto& l : lines)
        list.Add(l);
    std::string out;
    TQuotedPrintable(out, list).Decode();
    return out;
}

// Every test data set: each length from 0 to 300, and 1 MiB.
std::vector<std::string> randomSet(unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> set;
    for (size_t n = 0; n <= 300; ++n)
        set.push_back(RandomBytes(rng, n));
    set.push_back(RandomBytes(rng, 1 << 20));
    return set;
}

} // namespace

TEST(Base64, FixedCases) {
    EXPECT_EQ(EncodeBase64("abc"), "YWJj");
    EXPECT_EQ(EncodeBase64("a"), "YQ==");
    EXPECT_EQ(EncodeBase64("ab"), "YWI=");
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64(std::string(57, 'x')).size(), 76u);
    EXPECT_EQ(DecodeBase64Line("YQ=="), "a");
    EXPECT_EQ(DecodeBase64Line("YWI="), "ab");
    EXPECT_EQ(DecodeBase64Line("YWJj"), "abc");
    EXPECT_EQ(DecodeBase64Line(""), "");
    // A final group without its padding still gives its bytes.
    EXPECT_EQ(DecodeBase64Line("YQ"), "a");
    EXPECT_EQ(DecodeBase64Line("YWI"), "ab");
    // Two padded groups in one line (joined lines) keep both bytes.
    EXPECT_EQ(DecodeBase64Line("YQ==YQ=="), "aa");
}

TEST(Base64, InvalidCharacters) {
    for (const char* bad : {"YW Jj", "YWJj\r", "YW-j", "YWJj\n", "Y\x80Jj"}) {
        try {
            (void)DecodeBase64Line(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), "Invalid Character");
        }
    }
}

TEST(Base64, PumpsOncePerLine) {
    int pumps = 0;
    win::SetPumpHook([&] { ++pumps; });
    (void)EncodeBase64("abc");
    (void)DecodeBase64Line("YWJj");
    win::SetPumpHook(nullptr);
    EXPECT_EQ(pumps, 2);
}

TEST(Base64, AgreesWithCoreutils) {
    if (!HaveProgram("/usr/bin/base64"))
        GTEST_SKIP() << "coreutils base64 not installed";
    ScratchDir dir;
    const auto set = randomSet(2045);
    for (size_t i = 0; i < set.size(); ++i)
        WriteFile(dir / (std::to_string(i) + ".bin"), set[i]);
    ASSERT_TRUE(
        RunShell("cd '" + dir.Path().string() +
                 "' && for f in *.bin; do base64 -w 76 \"$f\" > \"$f.b64\" || exit 1; done"));
    for (size_t i = 0; i < set.size(); ++i) {
        const std::string theirs = ReadFile(dir / (std::to_string(i) + ".bin.b64"));
        ASSERT_EQ(base64Lines(set[i]), theirs) << "length " << set[i].size();
        std::string decoded;
        for (const auto& line : SplitLines(theirs))
            DecodeBase64LineTo(line, decoded);
        ASSERT_EQ(decoded, set[i]) << "length " << set[i].size();
    }
}

TEST(QuotedPrintable, FixedCases) {
    EXPECT_EQ(qpEncode("a=b\r\n"), std::vector<std::string>{"a=3Db"});
    EXPECT_EQ(qpEncode("caf\xe9\tx\r\n"), std::vector<std::string>{"caf=E9=09x"});
    EXPECT_EQ(qpEncode("\r\n"), std::vector<std::string>{""});
    EXPECT_EQ(qpEncode(""), std::vector<std::string>{});
    // Data without a final break ends with a soft break, so it decodes
    // without a line break it never had.
    EXPECT_EQ(qpEncode("abc"), std::vector<std::string>{"abc="});
    EXPECT_EQ(qpDecode({"abc=", "def"}), "abcdef\r\n");
    EXPECT_EQ(qpDecode({"a=3D"}), "a=\r\n");
    EXPECT_EQ(qpDecode({"a=3d=e9"}), "a=\xe9\r\n");
    EXPECT_EQ(qpDecode({"a=zz=4"}), "a=zz=4\r\n");
    // Blanks a transport added after a soft break do not undo it.
    EXPECT_EQ(qpDecode({"abc=  ", "def"}), "abcdef\r\n");
    EXPECT_EQ(qpDecode({"end\x1a"}), "end\x1a");
}

TEST(QuotedPrintable, LongParagraphsBreakAtBlanks) {
    std::string para;
    while (para.size() < 100)
        para += "word ";
    para.resize(100);
    const auto lines = qpEncode(para + "\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].back(), '=');
    EXPECT_LE(lines[0].size(), 66u);
    EXPECT_EQ(lines[1].front(), ' ');
    EXPECT_EQ(qpDecode(lines), para + "\r\n");
}

TEST(QuotedPrintable, AlwaysProgressesAndKeepsLinesShort) {
    // A leading blank before a long word, blanks only, escapes only.
    const std::string cases[] = {
        " " + std::string(300, 'x'),
        std::string(500, ' '),
        std::string(200, '\xff'),
        " " + std::string(70, '=') + " " + std::string(70, '\x01'),
        "a " + std::string(64, 'b') + " c",
    };
    for (const auto& c : cases) {
        for (const std::string& data : {c, c + "\r\n"}) {
            const auto lines = qpEncode(data);
            for (const auto& l : lines)
                EXPECT_LE(l.size(), 76u) << l;
            EXPECT_EQ(qpDecode(lines), data.back() == '\n' ? data : data);
        }
    }
}

TEST(QuotedPrintable, RoundTripsAnyBytes) {
    std::mt19937 rng(1105);
    const char alphabet[] = "ab =\t\r\n\xe9.";
    for (int round = 0; round < 400; ++round) {
        const size_t n = rng() % 400;
        std::string data;
        if (round % 2) {
            data = RandomBytes(rng, n);
        } else {
            for (size_t i = 0; i < n; ++i)
                data += alphabet[rng() % (sizeof alphabet - 1)];
        }
        const auto lines = qpEncode(data);
        for (const auto& l : lines)
            ASSERT_LE(l.size(), 76u);
        ASSERT_EQ(qpDecode(lines), data) << Hex(data);
    }
}

TEST(QuotedPrintable, EveryByteNeedingAnEscapeGetsOneWherever) {
    // One byte in plain text, at the start, inside, at and around the cut
    // after 65 characters, and last. No line may carry a control byte or a
    // byte from 128 as it is, nor an "=" other than an escape or a final
    // soft break.
    const std::string plain = "abc defgh ijklmnop qrs tuvwxyz abc defgh ijklmnop qrs tuvwxyz abc "
                              "defgh ijklmnop qrs tuvwxyz abcdefghijklmnopqrstuvwxyz";
    auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    for (int b = 0; b < 256; ++b) {
        for (size_t at : {size_t{0}, size_t{30}, size_t{63}, size_t{64}, size_t{65}, size_t{66},
                          size_t{100}, plain.size()}) {
            std::string para = plain;
            para.insert(at, 1, static_cast<char>(b));
            for (const std::string& data : {para, para + "\r\n"}) {
                const auto lines = qpEncode(data);
                for (const auto& l : lines) {
                    ASSERT_LE(l.size(), 76u) << "byte " << b << " at " << at;
                    for (size_t k = 0; k < l.size(); ++k) {
                        const auto c = static_cast<unsigned char>(l[k]);
                        ASSERT_TRUE(c >= 32 && c < 128)
                            << "byte " << b << " at " << at << ": " << l;
                        if (c != '=')
                            continue;
                        const bool escape = k + 2 < l.size() && isHex(l[k + 1]) && isHex(l[k + 2]);
                        ASSERT_TRUE(escape || k + 1 == l.size())
                            << "byte " << b << " at " << at << ": " << l;
                    }
                }
                ASSERT_EQ(qpDecode(lines), data) << "byte " << b << " at " << at;
            }
        }
    }
}

TEST(QuotedPrintable, ParagraphLimit) {
    std::string data(100, 'x');
    TStringList lines;
    TQuotedPrintable qp(data, lines);
    qp.MaxParagraph = 50;
    try {
        qp.Encode();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Paragraph is too large");
    }
    // Without a limit (the default) a paragraph of any size goes through.
    std::string big(1 << 20, 'y');
    TStringList out;
    TQuotedPrintable(big, out).Encode();
    std::string back;
    TQuotedPrintable(back, out).Decode();
    EXPECT_EQ(back, big);
}

TEST(QuotedPrintable, PumpsPerLineAndPerLogicalLine) {
    int pumps = 0;
    win::SetPumpHook([&] { ++pumps; });
    (void)qpEncode("ab\r\nc");
    EXPECT_EQ(pumps, 2);
    pumps = 0;
    (void)qpEncode(std::string(200, 'x') + "\r\n");
    EXPECT_EQ(pumps, 4); // 65, 65, 65 and 5 characters
    pumps = 0;
    (void)qpDecode({"a=", "b", "c"});
    EXPECT_EQ(pumps, 2);
    win::SetPumpHook(nullptr);
}

TEST(QuotedPrintable, DecodeQPText) {
    EXPECT_EQ(DecodeQPText("Caf=E9"), "Caf\xe9");
    EXPECT_EQ(DecodeQPText("a=0D=0Ab"), "a");
    EXPECT_EQ(DecodeQPText(std::string(300, 'z')).size(), 255u);
}

TEST(Uuencode, FixedCases) {
    const std::string l45 = EncodeUULine(std::string(45, 'q'));
    EXPECT_EQ(l45.size(), 61u);
    EXPECT_EQ(l45[0], 'M');
    const std::string l1 = EncodeUULine("a");
    EXPECT_EQ(l1, "!80");
    EXPECT_EQ(EncodeUULine(""), "`");
    EXPECT_EQ(DecodeUULine("!80"), "a");
    EXPECT_EQ(DecodeUULine("!80``"), "a");
    EXPECT_EQ(DecodeUULine("`"), "");
    EXPECT_EQ(DecodeUULine(l45), std::string(45, 'q'));
    for (const char* bad : {"!8 0", "!8a0", " 80"}) {
        try {
            (void)DecodeUULine(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), "Invalid Character");
        }
    }
}

TEST(Uuencode, BeginLines) {
    EXPECT_TRUE(IsUUBeginLine("begin 644 a.zip"));
    EXPECT_TRUE(IsUUBeginLine("BEGIN 600 x"));
    EXPECT_FALSE(IsUUBeginLine("begin the letter"));
    EXPECT_FALSE(IsUUBeginLine("begin 64"));
    EXPECT_FALSE(IsUUBeginLine("beginning 644 x"));
    EXPECT_EQ(UUFileName("begin 644 a.zip"), "a.zip");
    EXPECT_EQ(UUFileName("begin 644 a b.zip"), "a");
    EXPECT_EQ(UUFileName("begin 644 \"a b.zip\""), "a b.zip");
    EXPECT_EQ(UUFileName("begin 644 \"a b.zip"), "");
    EXPECT_EQ(UUFileName("begin 0644 report.doc"), "report.doc");
}

TEST(Uuencode, AgreesWithSharutils) {
    if (!HaveProgram("/usr/bin/uuencode") || !HaveProgram("/usr/bin/uudecode"))
        GTEST_SKIP() << "sharutils not installed";
    ScratchDir dir;
    const auto set = randomSet(1205);
    for (size_t i = 0; i < set.size(); ++i) {
        const std::string name = std::to_string(i);
        WriteFile(dir / (name + ".bin"), set[i]);
        // Our encoding, framed as a file for uudecode.
        std::string ours = "begin 644 " + name + ".out\n";
        for (size_t pos = 0; pos < set[i].size(); pos += 45)
            ours += EncodeUULine(set[i].substr(pos, 45)) + "\n";
        ours += "`\nend\n";
        WriteFile(dir / (name + ".ours"), ours);
    }
    ASSERT_TRUE(RunShell("cd '" + dir.Path().string() +
                         "' && for f in *.bin; do uuencode \"$f\" x > \"$f.uu\" || exit 1; done"
                         " && for f in *.ours; do uudecode \"$f\" || exit 1; done"));
    for (size_t i = 0; i < set.size(); ++i) {
        const std::string name = std::to_string(i);
        const std::string& data = set[i];
        // uudecode reads our lines back to the same bytes.
        ASSERT_EQ(ReadFile(dir / (name + ".out")), data) << "length " << data.size();
        // Their lines decode to the data; full lines are byte for byte ours,
        // a short last line is ours plus their group padding.
        const auto lines = SplitLines(ReadFile(dir / (name + ".bin.uu")));
        ASSERT_GE(lines.size(), 3u);
        std::string decoded;
        for (size_t k = 1; k + 2 < lines.size(); ++k) {
            const std::string block = data.substr(std::min(data.size(), (k - 1) * 45), 45);
            const std::string mine = EncodeUULine(block);
            ASSERT_EQ(lines[k].substr(0, mine.size()), mine) << "length " << data.size();
            ASSERT_LE(lines[k].size() - mine.size(), 3u);
            DecodeUULineTo(lines[k], decoded);
        }
        ASSERT_EQ(decoded, data) << "length " << data.size();
    }
}
