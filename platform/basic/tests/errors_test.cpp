// Failures: the line and text of syntax and run-time errors, and the limits
// that keep a script from hanging or crashing its host.
#include "platform/basic/tests/script_runner.h"
#include "platform/win/hooks.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <pthread.h>

namespace {

using basic::TBasicEngine;
using basic::test::RunScript;

struct ErrorCase {
    const char* name;
    const char* script;
    int line;
    const char* text;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class Failure : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(Failure, ReportsLineAndText) {
    auto o = RunScript(GetParam().script);
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.line, GetParam().line);
    EXPECT_EQ(o.text, GetParam().text);
}

const ErrorCase kSyntax[] = {
    {"missing_then", "x = 1\nIf x = 1\n  x = 2\nEnd If\n", 2, "Expected 'Then'"},
    {"missing_end_if", "x = 1\nIf x Then\n  x = 2\n", 4, "Expected 'End'"},
    {"missing_next", "For i = 1 To 2\n  x = i\n", 3, "Expected 'Next'"},
    {"missing_loop", "Do\n  x = 1\n", 3, "Expected 'Loop'"},
    {"missing_wend", "While x\n", 2, "Expected 'Wend'"},
    {"trailing_tokens", "x = 1 2\n", 1, "Expected end of statement"},
    {"unterminated_string", "a = 1\nb = \"abc\n", 2, "Unterminated string constant"},
    {"bad_character", "a = 1 $ 2\n", 1, "Invalid character"},
    {"missing_operand", "\n\nx = (1 +)\n", 3, "Expected expression"},
    {"missing_bracket", "x = (1 + 2\n", 1, "Expected ')'"},
    {"reserved_name", "Dim If\n", 1, "Expected identifier"},
    {"duplicate_procedure", "Sub A\nEnd Sub\nSub a\nEnd Sub\n", 3, "Name redefined"},
    {"exit_outside_loop", "Exit For\n", 1, "Syntax error: 'Exit' outside its block"},
    {"next_of_other_variable", "For i = 1 To 2\nNext j\n", 2,
     "Syntax error: 'Next j' does not match 'For i'"},
    {"sub_inside_sub", "Sub A\nSub B\nEnd Sub\nEnd Sub\n", 2, "Syntax error"},
    {"two_dimensions", "Dim a(2, 3)\n", 1, "Syntax error: arrays have one dimension only"},
    {"continuation_keeps_line_count", "x = 1 + _\n  2\ny = )\n", 3, "Expected expression"},
    {"date_literal_before_year_100", "x = 1\ny = #1/22/003#\n", 2, "Overflow"},
};

const ErrorCase kRuntime[] = {
    {"division_by_zero", "a = 1\nb = 0\nc = a / b\n", 3, "Division by zero"},
    {"type_mismatch", "x = \"abc\" * 2\n", 1, "Type mismatch: 'abc'"},
    {"undefined_under_option_explicit", "Option Explicit\nDim a\na = 1\nb = 2\n", 4,
     "Variable is undefined: 'b'"},
    {"unknown_sub", "\nFoo 1\n", 2, "Sub or Function not defined: 'Foo'"},
    {"wrong_argument_count", "Sub S(a)\nEnd Sub\nS 1, 2\n", 3,
     "Wrong number of arguments or invalid property assignment: 'S'"},
    {"builtin_argument_count", "x = Left(\"a\")\n", 1,
     "Wrong number of arguments or invalid property assignment: 'Left'"},
    {"subscript_out_of_range", "Dim a(2)\na(3) = 1\n", 2, "Subscript out of range: 'a'"},
    {"redim_of_fixed_array", "Dim a(2)\nReDim a(5)\n", 2,
     "This array is fixed or temporarily locked: 'a'"},
    {"assign_to_constant", "Const c = 1\nc = 2\n", 2, "Illegal assignment: 'c'"},
    {"set_needs_object", "Set x = 5\n", 1, "Object required"},
    {"member_of_nothing", "Set o = Nothing\nx = o.Name\n", 2, "Object variable not set"},
    {"member_of_number", "x = 5\ny = x.Name\n", 2, "Object required: 'Name'"},
    {"null_to_text", "x = CStr(Null)\n", 1, "Invalid use of Null"},
    {"error_inside_procedure_has_its_line", "Sub S\n  x = 1\n  y = 1 / 0\nEnd Sub\nS\n", 3,
     "Division by zero"},
    {"error_in_main", "Sub Main\n  Err.Raise 5\nEnd Sub\n", 2,
     "Invalid procedure call or argument"},
    {"overflow", "x = CInt(40000)\n", 1, "Overflow"},
    {"no_shell_function", "Shell \"rm -rf /\"\n", 1, "Sub or Function not defined: 'Shell'"},
    {"no_shell_object", "Set s = CreateObject(\"WScript.Shell\")\n", 1,
     "ActiveX component can't create object: 'WScript.Shell'"},
};

INSTANTIATE_TEST_SUITE_P(Syntax, Failure, ::testing::ValuesIn(kSyntax),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Runtime, Failure, ::testing::ValuesIn(kRuntime),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Failure, OutputBeforeTheErrorReachesTheLog) {
    auto o = RunScript("Print \"before\"\nPrint \"partial\";\nx = 1 / 0\nPrint \"after\"\n");
    EXPECT_TRUE(o.failed);
    EXPECT_EQ(o.output, "before\npartial\n");
}

// ---- limits

TEST(Limits, RunawayLoopEndsWithAnError) {
    TBasicEngine engine;
    engine.Limits().MaxStatements = 100000;
    for (const char* script : {"Do\nLoop\n", "While True\nWend\n", "x = 1\nDo: x = x + 1: Loop\n",
                               "For i = 1 To 2\n  i = 1\nNext\n"}) {
        auto o = RunScript(engine, script);
        ASSERT_TRUE(o.failed) << script;
        EXPECT_EQ(o.text, "Script stopped: statement limit reached") << script;
    }
}

TEST(Limits, OnErrorResumeNextCannotSwallowTheLimit) {
    TBasicEngine engine;
    engine.Limits().MaxStatements = 10000;
    auto o = RunScript(engine, "On Error Resume Next\nDo\n  x = 1 / 0\nLoop\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.number, basic::errRunaway);
}

TEST(Limits, DeepRecursionEndsWithAnError) {
    const std::pair<const char*, int> scripts[] = {
        {"Sub R(n)\n  R n + 1\nEnd Sub\nR 1\n", 2},
        {"Function F(n)\n  F = F(n + 1) + 1\nEnd Function\nx = F(1)\n", 2},
        {"On Error Resume Next\nSub R\n  R\nEnd Sub\nR\nPrint \"back\"\n", 3}};
    for (const auto& [script, line] : scripts) {
        auto o = RunScript(script);
        ASSERT_TRUE(o.failed) << script;
        EXPECT_EQ(o.text, "Out of stack space") << script;
        EXPECT_EQ(o.line, line) << script;
    }
}

TEST(Limits, RecursionWithinTheDepthRuns) {
    TBasicEngine engine;
    auto o = RunScript(engine, "Function D(n)\n  If n = 0 Then D = 0 Else D = 1 + D(n - 1)\n"
                               "End Function\nPrint D(200) & \"\"\n");
    EXPECT_FALSE(o.failed) << o.text;
    EXPECT_EQ(o.output, "200\n");
}

TEST(Limits, RecursionOnASmallThreadStackEndsWithAnError) {
    // The host may run scripts on a thread with little stack; the engine
    // must notice before the thread runs out.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 512 * 1024);
    basic::test::Outcome o;
    pthread_t t;
    auto body = +[](void* arg) -> void* {
        *static_cast<basic::test::Outcome*>(arg) = RunScript("Sub R(n)\n  R n + 1\nEnd Sub\nR 1\n");
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&t, &attr, body, &o), 0);
    pthread_join(t, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_TRUE(o.failed);
    EXPECT_EQ(o.text, "Out of stack space");
}

TEST(Limits, DeepNestingInTheSourceIsASyntaxError) {
    std::string deep = "x = " + std::string(5000, '(') + "1" + std::string(5000, ')') + "\n";
    auto o = RunScript(deep);
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.line, 1);
    std::string blocks;
    for (int i = 0; i < 3000; ++i)
        blocks += "If True Then\n";
    o = RunScript(blocks);
    ASSERT_TRUE(o.failed);
    std::string chain = "x = 1";
    for (int i = 0; i < 20000; ++i)
        chain += " + 1";
    o = RunScript(chain + "\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.text, "Syntax error: expression too complex");
}

TEST(Limits, HugeStringsAndArraysEndWithAnError) {
    TBasicEngine engine;
    engine.Limits().MaxStringLength = 1 << 20;
    engine.Limits().MaxArrayLength = 1000;
    auto o = RunScript(engine, "s = \"x\"\nDo\n  s = s & s\nLoop\n");
    EXPECT_EQ(o.text, "Out of memory");
    EXPECT_EQ(o.line, 3);
    o = RunScript(engine, "x = Space(2000000)\n");
    EXPECT_EQ(o.text, "Out of memory");
    o = RunScript(engine, "Dim a()\nReDim a(5000)\n");
    EXPECT_EQ(o.text, "Out of memory");
    o = RunScript(engine, "On Error Resume Next\nx = String(2000000, \"a\")\nPrint \"on\"\n");
    EXPECT_TRUE(o.failed);
}

TEST(Limits, ArraysHoldingThemselvesEndWithAnError) {
    // Each turn doubles the array's contents, or nests it one level deeper.
    for (const char* script : {"Dim a(1)\nFor i = 1 To 60\n  a(0) = a\n  a(1) = a\nNext\n",
                               "a = Array()\nFor i = 1 To 100000\n  a = Array(a)\nNext\n"}) {
        TBasicEngine engine;
        engine.Limits().MaxArrayLength = 10000;
        auto o = RunScript(engine, script);
        ASSERT_TRUE(o.failed) << script;
        EXPECT_EQ(o.text, "Out of memory") << script;
    }
    auto o =
        RunScript("a = Array(1, Array(2, Array(3)))\nb = a\nPrint b(1)(1)(0) & UBound(b(1))\n");
    EXPECT_FALSE(o.failed) << o.text;
    EXPECT_EQ(o.output, "31\n");
}

TEST(Limits, OneLineIfsNestedWithoutEndAreASyntaxError) {
    std::string line;
    for (int i = 0; i < 5000; ++i)
        line += "If True Then ";
    auto o = RunScript(line + "x = 1\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.text, "Syntax error: nesting too deep");
}

TEST(Limits, FormatWithManyPlacesStaysBounded) {
    auto o = RunScript("Print Format(1E+300, \"0.\" & String(500, \"0\"))\n"
                       "Print Len(Format(2, \"0.\" & String(50, \"0\")))\n");
    EXPECT_FALSE(o.failed) << o.text;
    EXPECT_EQ(o.output.substr(o.output.find('\n') + 1), " 32 \n");
}

TEST(Limits, DoEventsFiresEveryIntervalAndCanStopTheScript) {
    TBasicEngine engine;
    engine.Limits().DoEventsInterval = 100;
    int calls = 0;
    engine.OnDoEvents = [&] { ++calls; };
    auto o = RunScript(engine, "For i = 1 To 1000\n  x = i\nNext\n");
    EXPECT_FALSE(o.failed);
    // Two counted steps per turn: the statement in the body and the turn itself.
    EXPECT_EQ(calls, 20);

    calls = 0;
    engine.OnDoEvents = [&] {
        if (++calls == 3)
            engine.Stop();
    };
    o = RunScript(engine, "Do\n  x = x + 1\nLoop\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.text, "Script stopped by the host");
    EXPECT_EQ(calls, 3);

    // Without a handler of its own the engine pumps the program's queue.
    TBasicEngine plain;
    plain.Limits().DoEventsInterval = 10;
    int pumps = 0;
    win::SetPumpHook([&] { ++pumps; });
    o = RunScript(plain, "For i = 1 To 100: Next\n");
    win::SetPumpHook({});
    EXPECT_EQ(pumps, 10); // one counted step per turn of an empty loop

    // A stop belongs to the run it ended: the next run starts afresh.
    engine.OnDoEvents = nullptr;
    o = RunScript(engine, "For i = 1 To 1000: Next\nPrint \"ran\"\n");
    EXPECT_FALSE(o.failed);
    EXPECT_EQ(o.output, "ran\n");
}

} // namespace

namespace {

// Crash-only: every cut and every byte flip of a real script either runs or
// ends with a script error, never with a crash or a hang.
TEST(Robustness, DamagedScriptsFailCleanly) {
    std::ifstream f(QUELTA_SOURCE_DIR "/platform/basic/tests/scripts/features.bas",
                    std::ios::binary);
    std::string script((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(script.empty());
    basic::TBasicEngine engine;
    engine.Limits().MaxStatements = 20000;
    engine.OnCreateObject = [](const std::string&) { return nullptr; };
    auto attempt = [&](const std::string& text) {
        try {
            engine.RunText(text);
        } catch (const basic::EScriptError&) {
        }
    };
    for (std::size_t cut = 0; cut < script.size(); cut += 5)
        attempt(script.substr(0, cut));
    const char noise[] = {'(', ')', '"', ':', '_', '\n', '#', '.', ',', '\'', '&', '\0', '\xff'};
    for (std::size_t at = 0; at < script.size(); at += 3) {
        std::string damaged = script;
        damaged[at] = noise[at % sizeof noise];
        attempt(damaged);
    }
}

} // namespace
