#include "platform/xbase/expr/expr.h"
#include "platform/xbase/expr/tests/test_record.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>

using namespace xbase::expr;
using xbase::expr::testing::TestRecord;

namespace {

// A RECEIVED-shaped row plus a few fields of the other types.
TestRecord Received() {
    TestRecord r;
    r.Add("MESSAGE_ID", 'C', 40, "<abc@example.com>")
        .Add("LINK_ID", 'C', 20, "20240101120000ab")
        .Add("RECDATE", 'D', 8, "20240131")
        .Add("FROM", 'C', 40, "Anna Smith")
        .Add("DATE", 'D', 8, "19991231")
        .Add("GROUP", 'C', 40, "Sales")
        .Add("FREQVAL", 'N', 4, "  15")
        .Add("PRICE", 'N', 8, "  -12.50", 2)
        .Add("FLAG", 'L', 1, "T")
        .Add("EMPTYD", 'D', 8, "")
        .Add("NOTES", 'M', 10, "         1");
    std::string i(4, '\0');
    std::int32_t v = -42;
    std::memcpy(i.data(), &v, 4);
    r.Add("COUNT", 'I', 4, i);
    r.memos[r.FieldIndex("NOTES")] = "memo text";
    return r;
}

std::string Show(const Value& v) {
    switch (v.type) {
    case Type::Character:
        return "C:" + v.text;
    case Type::Numeric: { // "%g", with "." whatever the locale
        char buf[64];
        auto end = std::to_chars(buf, buf + sizeof buf, v.number, std::chars_format::general, 6);
        return "N:" + std::string(buf, end.ptr);
    }
    case Type::Date:
        return "D:" + Dtos(v.julian);
    case Type::DateTime:
        return "T:" + Dtos(v.julian) + "+" + std::to_string(v.millis);
    case Type::Logical:
        return v.logical ? "L:T" : "L:F";
    }
    return "?";
}

std::string Eval(const std::string& text, const TestRecord& r) {
    return Show(Expression::Compile(text, r).Evaluate(r));
}

struct Case {
    const char* expr;
    const char* expected;
};

void RunTable(const std::vector<Case>& cases, const TestRecord& r) {
    for (const auto& c : cases)
        EXPECT_EQ(Eval(c.expr, r), c.expected) << c.expr;
}

} // namespace

TEST(Expr, FieldsComeBeforeFunctions) {
    TestRecord r = Received();
    RunTable({{"DATE", "D:19991231"},
              {"date", "D:19991231"},
              {"DATE()", "D:20240229"},
              {"FROM", "C:Anna Smith                              "},
              {"GROUP", "C:Sales                                   "},
              {"received->FROM = 'Anna'", "L:T"},
              {"FREQVAL", "N:15"},
              {"PRICE", "N:-12.5"},
              {"COUNT", "N:-42"},
              {"FLAG", "L:T"},
              {"NOTES", "C:memo text"},
              {"EMPTY(EMPTYD)", "L:T"}},
             r);
}

TEST(Expr, Literals) {
    TestRecord r = Received();
    RunTable({{"\"it's\"", "C:it's"},
              {"[brackets]", "C:brackets"},
              {"\"dq\"", "C:dq"},
              {".T.", "L:T"},
              {".f.", "L:F"},
              {".y.", "L:T"},
              {"1.5 * 2", "N:3"},
              {".5 + 1", "N:1.5"},
              {"{^2024-03-01}", "D:20240301"},
              {"{2024-03-01}", "D:20240301"},
              {"{03/01/24}", "D:19240301"},
              {"{}", "D:        "},
              {"EMPTY({})", "L:T"}},
             r);
}

TEST(Expr, ArithmeticAndConcatenation) {
    TestRecord r = Received();
    RunTable(
        {{"1 + 2 * 3", "N:7"},
         {"(1 + 2) * 3", "N:9"},
         {"2 ^ 3 ^ 2", "N:512"},
         {"2 ** 3", "N:8"},
         {"-2 ^ 2", "N:-4"},
         {"7 % 3", "N:1"},
         {"-7 % 3", "N:2"},
         {"7 / 2", "N:3.5"},
         {"'ab  ' + 'cd'", "C:ab  cd"},
         {"'ab  ' - 'cd'", "C:abcd  "},
         {"'ab  ' - 'cd' + '|'", "C:abcd  |"},
         {"RECDATE + 1", "D:20240201"},
         {"RECDATE - 31", "D:20231231"},
         {"RECDATE - DATE", "N:8797"},
         {"UPPER(FROM) + DTOS(RECDATE)", "C:ANNA SMITH                              20240131"}},
        r);
}

TEST(Expr, ComparisonsFollowExact) {
    TestRecord r = Received();
    // The SET EXACT table: exact off compares up to the end of the right side.
    std::vector<Case> off = {{"'abc' = 'abc'", "L:T"},
                             {"'ab' = 'abc'", "L:F"},
                             {"'abc' = 'ab'", "L:T"},
                             {"'abc' = 'ab '", "L:F"},
                             {"'ab' = 'ab '", "L:F"},
                             {"'ab ' = 'ab'", "L:T"},
                             {"'' = 'ab'", "L:F"},
                             {"'ab' = ''", "L:T"},
                             {"' ' = ''", "L:T"},
                             {"'' = '   '", "L:F"},
                             {"'abc' == 'ab'", "L:F"},
                             {"'ab ' == 'ab'", "L:F"},
                             {"'ab' == 'ab'", "L:T"},
                             {"'abc' <> 'ab'", "L:F"},
                             {"'abc' # 'abd'", "L:T"},
                             {"'abc' != 'abd'", "L:T"},
                             {"'a' < 'b'", "L:T"},
                             {"'b' >= 'a'", "L:T"},
                             {"'ab' < 'abc'", "L:T"},
                             {"FROM = 'Anna'", "L:T"},
                             {"LINK_ID = '20240101120000ab'", "L:T"},
                             {"1 < 2", "L:T"},
                             {"2 <= 1", "L:F"},
                             {"RECDATE > DATE", "L:T"},
                             {".T. = .T.", "L:T"},
                             {"'ell' $ 'hello'", "L:T"},
                             {"'' $ 'hello'", "L:F"},
                             {"'x' $ 'hello'", "L:F"}};
    RunTable(off, r);
    r.settings.exact = true;
    RunTable({{"'abc' = 'ab'", "L:F"},
              {"'ab' = 'ab  '", "L:T"},
              {"'ab ' = 'ab'", "L:T"},
              {"'' = '   '", "L:T"},
              {"'' = 'ab'", "L:F"},
              {"'ab' = ''", "L:F"},
              {"'ab ' == 'ab'", "L:F"},
              {"FROM = 'Anna'", "L:F"},
              {"FROM = 'Anna Smith'", "L:T"}},
             r);
}

TEST(Expr, LogicalOperators) {
    TestRecord r = Received();
    RunTable({{".T. .AND. .F.", "L:F"},
              {".T. .and. .T.", "L:T"},
              {".F. .OR. .T.", "L:T"},
              {".NOT. .T.", "L:F"},
              {"!.F.", "L:T"},
              {"!FLAG .OR. FREQVAL = 15", "L:T"},
              {".T. .OR. .F. .AND. .F.", "L:T"},
              {"NOT .F. AND .T.", "L:T"},
              {"1 = 1 .AND. 'a' $ 'abc'", "L:T"},
              {"DELETED()", "L:F"},
              {"RECNO()", "N:7"}},
             r);
    r.deleted = true;
    EXPECT_EQ(Eval("DELETED()", r), "L:T");
}

TEST(Expr, StringFunctions) {
    TestRecord r = Received();
    RunTable({{"UPPER('aBc')", "C:ABC"},
              {"LOWER('aBc')", "C:abc"},
              {"TRIM(' a  ')", "C: a"},
              {"RTRIM(' a  ')", "C: a"},
              {"LTRIM(' a  ')", "C:a  "},
              {"ALLTRIM(' a  ')", "C:a"},
              {"ALLT(' a  ')", "C:a"},
              {"SUBSTR('hello', 2, 3)", "C:ell"},
              {"SUBS('hello', 2)", "C:ello"},
              {"SUBSTR('hello', 9)", "C:"},
              {"SUBSTR('hello', 0, 2)", "C:"},
              {"LEFT('hello', 2)", "C:he"},
              {"LEFT('hello', 99)", "C:hello"},
              {"RIGHT('hello', 2)", "C:lo"},
              {"RIGHT('hello', -1)", "C:"},
              {"LEN(FROM)", "N:40"},
              {"LEN(TRIM(FROM))", "N:10"},
              {"SPACE(3) + '|'", "C:   |"},
              {"PADR('ab', 4) + '|'", "C:ab  |"},
              {"PADL('ab', 4, '0')", "C:00ab"},
              {"PADC('ab', 5, '*')", "C:*ab**"},
              {"PADR('abcdef', 3)", "C:abc"},
              {"PADL(42, 5)", "C:   42"},
              {"AT('l', 'hello')", "N:3"},
              {"AT('l', 'hello', 2)", "N:4"},
              {"AT('z', 'hello')", "N:0"},
              {"REPLICATE('ab', 3)", "C:ababab"},
              {"CHR(65)", "C:A"},
              {"ASC('a')", "N:97"},
              {"STRTRAN('a-b-c', '-', '')", "C:abc"},
              {"IIF(FLAG, 'yes', 'no')", "C:yes"},
              {"IIF(.F., 1, 2)", "N:2"},
              {"EMPTY('   ')", "L:T"},
              {"EMPTY(0)", "L:T"},
              {"EMPTY(.F.)", "L:T"},
              {"EMPTY(FROM)", "L:F"},
              {"INLIST(FREQVAL, 1, 15, 30)", "L:T"},
              {"BETWEEN(FREQVAL, 16, 30)", "L:F"},
              {"MAX(3, 5)", "N:5"},
              {"MIN('b', 'a')", "C:a"}},
             r);
}

TEST(Expr, NumbersAndStr) {
    TestRecord r = Received();
    RunTable({{"STR(15)", "C:        15"},
              {"STR(3.14159, 6, 2)", "C:  3.14"},
              {"STR(2.5, 1)", "C:3"},
              {"STR(-2.5, 2)", "C:-3"},
              {"STR(999.9, 4, 2)", "C:1000"},
              {"STR(123456, 4)", "C:****"},
              {"STR(1.005, 5, 2)", "C: 1.01"},
              {"LTRIM(STR(FREQVAL, 19))", "C:15"},
              {"STR(PRICE, 8, 2)", "C:  -12.50"},
              {"VAL('  12.5abc')", "N:12.5"},
              {"VAL('-3')", "N:-3"},
              {"VAL('abc')", "N:0"},
              {"ABS(PRICE)", "N:12.5"},
              {"INT(-2.7)", "N:-2"},
              {"ROUND(2.345, 2)", "N:2.35"},
              {"ROUND(1250, -2)", "N:1300"},
              {"PADR(1.25, 6) + '|'", "C:1.25  |"},
              {"VAL('3.14') * 100", "N:314"}},
             r);
}

// Keys are built from STR's text, so it must be FoxPro's exact decimal text
// of the number as typed, however many decimals are asked for.
TEST(Expr, StrGivesTheExactDecimalText) {
    TestRecord r = Received();
    RunTable({{"STR(55555, 30, 10)", "C:              55555.0000000000"},
              {"STR(0.1, 25, 20)", "C:   0.10000000000000000000"},
              {"STR(-1234.5678, 20, 12)", "C:  -1234.567800000000"},
              {"STR(1/3, 20, 18)", "C:0.333333333333333300"},
              {"STR(123456789012.25, 20, 1)", "C:      123456789012.3"},
              {"STR(0.5, 3)", "C:  1"},
              {"STR(-0.4, 3)", "C:  0"},
              {"STR(0.0049, 6, 2)", "C:  0.00"},
              {"STR(9.995, 6, 2)", "C: 10.00"},
              {"STR(10 ^ 20, 22)", "C: 100000000000000000000"},
              {"STR(PRICE, 12, 6)", "C:  -12.500000"},
              {"ROUND(55555, 10) = 55555", "L:T"},
              {"STR(ROUND(1.2345678901234, 10), 14, 10)", "C:  1.2345678901"}},
             r);
}

TEST(Expr, DatesFollowSettings) {
    TestRecord r = Received();
    RunTable({{"DTOS(RECDATE)", "C:20240131"},
              {"DTOS(EMPTYD)", "C:        "},
              {"DTOC(RECDATE)", "C:01/31/24"},
              {"DTOC(RECDATE, 1)", "C:20240131"},
              {"DTOC(EMPTYD)", "C:  /  /  "},
              {"CTOD('01/31/24')", "D:19240131"},
              {"CTOD('02/30/24')", "D:        "},
              {"CTOD('')", "D:        "},
              {"YEAR(RECDATE)", "N:2024"},
              {"MONTH(RECDATE)", "N:1"},
              {"DAY(RECDATE)", "N:31"}},
             r);
    r.settings.century = true;
    r.settings.dateFormat = DateFormat::German;
    r.settings.epoch = 1950;
    RunTable({{"DTOC(RECDATE)", "C:31.01.2024"},
              {"CTOD('31.01.49')", "D:20490131"},
              {"CTOD('31.01.50')", "D:19500131"},
              {"CTOD('31.01.1849')", "D:18490131"}},
             r);
    r.settings.dateFormat = DateFormat::Ansi;
    EXPECT_EQ(Eval("DTOC(RECDATE)", r), "C:2024.01.31");
}

TEST(Expr, KeyTypesAndLengths) {
    TestRecord r = Received();
    struct K {
        const char* expr;
        KeyType type;
        int length;
    };
    for (const K& k : std::vector<K>{{"MESSAGE_ID", KeyType::Character, 40},
                                     {"UPPER(FROM)", KeyType::Character, 40},
                                     {"LINK_ID + DTOS(RECDATE)", KeyType::Character, 28},
                                     {"SUBSTR(FROM, 3, 5)", KeyType::Character, 5},
                                     {"LEFT(FROM, 12)", KeyType::Character, 12},
                                     {"STR(FREQVAL, 6)", KeyType::Character, 6},
                                     {"FREQVAL", KeyType::Numeric, 8},
                                     {"COUNT", KeyType::Integer, 4},
                                     {"COUNT + 1", KeyType::Numeric, 8},
                                     {"RECDATE", KeyType::Date, 8},
                                     {"FLAG", KeyType::Logical, 1}}) {
        KeyInfo ki = Expression::Compile(k.expr, r).Key();
        EXPECT_EQ(ki.type, k.type) << k.expr;
        EXPECT_EQ(ki.length, k.length) << k.expr;
    }
}

TEST(Expr, KeyBytesSortLikeValues) {
    KeyInfo num{KeyType::Numeric, 8};
    std::vector<double> values = {-1e10, -2.5, -1, -0.001, 0, 0.001, 1, 2.5, 1e10};
    for (std::size_t i = 0; i + 1 < values.size(); ++i)
        EXPECT_LT(KeyBytes(Value::Num(values[i]), num), KeyBytes(Value::Num(values[i + 1]), num))
            << values[i];
    EXPECT_EQ(KeyBytes(Value::Num(-0.0), num), KeyBytes(Value::Num(0), num));
    EXPECT_EQ(SearchKeyBytes("-2.5", num, {}), KeyBytes(Value::Num(-2.5), num));
    EXPECT_EQ(KeyBytes(Value::Num(1), num), std::string("\xBF\xF0\0\0\0\0\0\0", 8));
    KeyInfo in{KeyType::Integer, 4};
    EXPECT_EQ(KeyBytes(Value::Num(1), in), std::string("\x80\0\0\x01", 4));
    EXPECT_LT(KeyBytes(Value::Num(-1), in), KeyBytes(Value::Num(0), in));
    KeyInfo ch{KeyType::Character, 5};
    EXPECT_EQ(KeyBytes(Value::Char("ab"), ch), "ab   ");
    EXPECT_EQ(KeyBytes(Value::Char("abcdefg"), ch), "abcde");
    EXPECT_EQ(SearchKeyBytes("abcdefg", ch, {}), "abcde");
    EXPECT_EQ(SearchKeyBytes("ab", ch, {}), "ab");
    KeyInfo dt{KeyType::Date, 8};
    EXPECT_EQ(SearchKeyBytes("20240131", dt, {}),
              KeyBytes(Value::Date(JulianFromYmd(2024, 1, 31)), dt));
    EXPECT_EQ(SearchKeyBytes("01/31/2024", dt, {}), SearchKeyBytes("20240131", dt, {}));
    EXPECT_THROW((void)KeyBytes(Value::Num(1), ch), ExprError);
}

TEST(Expr, JulianDays) {
    EXPECT_EQ(JulianFromYmd(2000, 1, 1), 2451545);
    EXPECT_EQ(JulianFromYmd(2023, 2, 29), 0);
    EXPECT_EQ(JulianFromYmd(2024, 2, 29) + 1, JulianFromYmd(2024, 3, 1));
    for (std::int32_t j = JulianFromYmd(1899, 12, 25); j < JulianFromYmd(1901, 3, 1); ++j) {
        int y, m, d;
        YmdFromJulian(j, y, m, d);
        ASSERT_EQ(JulianFromYmd(y, m, d), j);
    }
}

TEST(Expr, CompileErrorsNameThePosition) {
    TestRecord r = Received();
    struct E {
        const char* expr;
        std::size_t pos;
    };
    for (const E& e : std::vector<E>{{"", 0},
                                     {"NOSUCH", 0},
                                     {"FROM + 1", 5},
                                     {"UPPER(1)", 6},
                                     {"SUBSTR('a')", 0},
                                     {"NOFUNC(1)", 0},
                                     {"(1 + 2", 6},
                                     {"'abc", 0},
                                     {"1 +", 3},
                                     {"1 2", 2},
                                     {".T. .AND. 1", 4},
                                     {"IIF(.T., 1, 'a')", 12},
                                     {"{^2024-02-30}", 0},
                                     {"a ~ b", 2},
                                     {".XOR.", 0}}) {
        try {
            (void)Expression::Compile(e.expr, r);
            ADD_FAILURE() << "compiled: " << e.expr;
        } catch (const ExprError& err) {
            EXPECT_EQ(err.Position(), e.pos) << e.expr << ": " << err.what();
        }
    }
}

// Far-out numbers as widths, decimals and codes are cut to what the function
// takes; as days they are an error. Never an int they do not fit.
TEST(Expr, FarOutNumbersAsArguments) {
    TestRecord r = Received();
    RunTable({{"LEN(STR(FREQVAL, 10 ^ 30))", "N:255"},
              {"STR(FREQVAL, 4, 10 ^ 30)", "C:15.0"},
              {"STR(FREQVAL, -(10 ^ 30))", "C:*"},
              {"ROUND(2.5, 10 ^ 30)", "N:2.5"},
              {"ASC(CHR(10 ^ 30))", "N:0"}},
             r);
    for (const char* e : {"RECDATE + 10 ^ 30", "RECDATE - 10 ^ 30", "RECDATE + 4000000"})
        EXPECT_THROW((void)Expression::Compile(e, r).Evaluate(r), ExprError) << e;
}

TEST(Expr, RunTimeFaultsAreErrors) {
    TestRecord r = Received();
    EXPECT_THROW((void)Expression::Compile("1 / (FREQVAL - 15)", r).Evaluate(r), ExprError);
    EXPECT_THROW((void)Expression::Compile("5 % 0", r).Evaluate(r), ExprError);
    EXPECT_THROW((void)Expression::Compile("SPACE(1e12)", r).Evaluate(r), ExprError);
    std::string deep(5000, '(');
    EXPECT_THROW((void)Expression::Compile(deep + "1" + std::string(5000, ')'), r), ExprError);
    std::string chain = "1";
    for (int i = 0; i < 100000; ++i)
        chain += "+1";
    EXPECT_THROW((void)Expression::Compile(chain, r), ExprError);
    std::string ands = "FLAG";
    for (int i = 0; i < 99; ++i)
        ands += " .and. FLAG";
    EXPECT_TRUE(Expression::Compile(ands, r).Evaluate(r).logical); // a hundred joined filters
    std::string nots;
    for (int i = 0; i < 5000; ++i)
        nots += "!";
    EXPECT_THROW((void)Expression::Compile(nots + ".T.", r), ExprError);
}

TEST(Expr, CompiledOnceEvaluatedPerRecord) {
    TestRecord r = Received();
    Expression e = Expression::Compile("LINK_ID = '2024' .AND. FREQVAL > 10", r);
    EXPECT_TRUE(e.Evaluate(r).logical);
    r.Set("FREQVAL", "   5");
    EXPECT_FALSE(e.Evaluate(r).logical);
    r.Set("FREQVAL", "  11");
    r.Set("LINK_ID", "2023");
    EXPECT_FALSE(e.Evaluate(r).logical);
}

// UPPER() and LOWER() follow the table's code page: FoxPro builds the key
// UPPER(CITY) of "Bräcke" in a Windows-1252 table as "BRÄCKE".
TEST(Expr, CaseFollowsTheTablesCodePage) {
    EXPECT_EQ(CodePageOfMark(0x01), CodePage::Cp437);
    EXPECT_EQ(CodePageOfMark(0x02), CodePage::Cp850);
    EXPECT_EQ(CodePageOfMark(0x03), CodePage::Cp1252);
    EXPECT_EQ(CodePageOfMark(0xC8), CodePage::Cp1250);
    EXPECT_EQ(CodePageOfMark(0x00), CodePage::Ascii);
    EXPECT_EQ(CodePageOfMark(0xC9), CodePage::Ascii); // 1251: not one of ours

    TestRecord r;
    r.Add("CITY", 'C', 6, "Br\344cke");               // Bräcke in Windows-1252
    EXPECT_EQ(Eval("UPPER(CITY)", r), "C:BR\344CKE"); // no code page: ASCII letters only
    r.codePage = CodePage::Cp1252;
    EXPECT_EQ(Eval("UPPER(CITY)", r), "C:BR\304CKE");
    EXPECT_EQ(Eval("LOWER('\305RHUS')", r), "C:\345rhus");
    r.codePage = CodePage::Cp850;
    r.Set("CITY", "Br\204cke");
    EXPECT_EQ(Eval("UPPER(CITY)", r), "C:BR\216CKE");
}

// The case maps of the four code pages against Python's Unicode case
// mapping: a letter maps to the one byte of the code page that is its other
// case, when that byte maps back to it; every other byte stays.
TEST(Expr, CaseMapsMatchUnicodeInEachCodePage) {
    const char* script = R"(/usr/bin/python3 -c '
for cp in ("cp437", "cp850", "cp1250", "cp1252"):
    def other(b, up):
        try:
            c = bytes([b]).decode(cp)
            o = c.upper() if up else c.lower()
            e = o.encode(cp)
            back = e.decode(cp).lower() if up else e.decode(cp).upper()
            return e[0] if len(e) == 1 and back == c else b
        except (UnicodeError, IndexError):
            return b
    print(cp, bytes(other(b, True) for b in range(256)).hex(), bytes(other(b, False) for b in range(256)).hex())
')";
    FILE* p = ::popen(script, "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    ASSERT_EQ(::pclose(p), 0) << "python3 failed";
    auto hex = [](std::string_view h, std::size_t i) {
        return static_cast<unsigned char>(std::stoi(std::string(h.substr(2 * i, 2)), nullptr, 16));
    };
    const std::vector<std::pair<std::string, CodePage>> pages = {{"cp437", CodePage::Cp437},
                                                                 {"cp850", CodePage::Cp850},
                                                                 {"cp1250", CodePage::Cp1250},
                                                                 {"cp1252", CodePage::Cp1252}};
    std::size_t at = 0;
    for (const auto& [name, page] : pages) {
        std::size_t eol = out.find('\n', at);
        ASSERT_NE(eol, std::string::npos) << name;
        std::string_view line(out.data() + at, eol - at);
        at = eol + 1;
        ASSERT_EQ(line.substr(0, name.size() + 1), name + " ");
        std::string_view upper = line.substr(name.size() + 1, 512);
        std::string_view lower = line.substr(name.size() + 514, 512);
        for (int b = 0; b < 256; ++b) {
            auto c = static_cast<unsigned char>(b);
            EXPECT_EQ(int(UpperChar(c, page)), int(hex(upper, c))) << name << " upper of " << b;
            EXPECT_EQ(int(LowerChar(c, page)), int(hex(lower, c))) << name << " lower of " << b;
        }
    }
    for (int b = 0; b < 256; ++b) { // no code page: ASCII letters only
        auto c = static_cast<unsigned char>(b);
        EXPECT_EQ(UpperChar(c, CodePage::Ascii), b >= 'a' && b <= 'z' ? b - 32 : b);
        EXPECT_EQ(LowerChar(c, CodePage::Ascii), b >= 'A' && b <= 'Z' ? b + 32 : b);
    }
}
