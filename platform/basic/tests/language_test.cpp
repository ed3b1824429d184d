// The language by feature: each case is a script and what it prints.
#include "platform/basic/tests/script_runner.h"
#include "platform/win/datetime.h"

#include <gtest/gtest.h>

namespace {

using basic::test::RunScript;

struct Case {
    const char* name;
    const char* script;
    const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class Language : public ::testing::TestWithParam<Case> {};

TEST_P(Language, PrintsExpected) {
    win::DateParts p;
    p.year = 2026;
    p.month = 12;
    p.day = 9;
    p.hour = 14;
    p.minute = 5;
    p.second = 7;
    win::TDateTime fixed = win::EncodeDateTime(p);
    win::SetClock([fixed] { return fixed; });
    auto o = RunScript(GetParam().script);
    win::SetClock({});
    EXPECT_FALSE(o.failed) << "line " << o.line << ": " << o.text;
    EXPECT_EQ(o.output, GetParam().expected);
}

const Case kLexical[] = {
    {"case_insensitive_names_and_keywords", R"(
DIM Total : total = 1
If TOTAL = 1 THEN print "one" ELSE Print "other"
)",
     "one\n"},
    {"comments_and_rem", R"(
' a comment
Rem another one
x = 2 ' after code
Print x & "" : Rem after a colon
)",
     "2\n"},
    {"continuation_and_colons", R"(
s = "a" & _
    "b" & _
  "c"
a = 1: b = 2: Print s & a + b
)",
     "abc3\n"},
    {"string_quotes_and_bracket_names", R"(
Print "say ""hi"""
[my var] = 5
Print [my var] * 2 & ""
)",
     "say \"hi\"\n10\n"},
    {"hex_and_date_literals", R"(
Print &HFF & " " & &O17 & " " & &HFFFFFFFF
Print #2024-02-29# & "|" & #1/2/2020 10:30:00 PM#
)",
     "255 15 -1\n2/29/2024|1/2/2020 10:30:00 PM\n"},
};

const Case kValues[] = {
    {"kinds_and_empty_null", R"(
Dim e
Print IsEmpty(e) & IsNull(Null) & IsEmpty(0) & IsObject(Nothing)
Print "[" & e & "]" & (e + 1) & (Null & "x")
Print IsNull(Null + 1) & IsNull(Len(Null))
)",
     "TrueTrueFalseTrue\n[]1x\nTrueTrue\n"},
    {"numbers_as_text", R"(
Print 1/3 & " " & 1E+20 & " " & 0.0001 & " " & 1E-05 & " " & 2.50 & " " & -0.5
Print 2147483647 + 1 & " " & 65536 * 65536 & " " & 10/4
)",
     "0.333333333333333 1E+20 0.0001 1E-05 2.5 -0.5\n2147483648 4294967296 2.5\n"},
    {"conversions", R"(
Print CInt(2.5) & CInt(3.5) & CInt("-1.5") & " " & CLng("  42 ") & " " & CDbl("1e3")
Print CBool("true") & CBool(0) & CBool(-3) & " " & CStr(True) & " " & Str(5) & "|" & Str(-5)
Print Val("  12ab") & " " & Val("1 2 3") & " " & Val("&H10") & " " & Val("x")
Print CDate("2020-03-01") - 1 & " " & CDate("13:45") & " " & CDate(1.5)
)",
     "24-2 42 1000\nTrueFalseTrue True  5|-5\n12 123 16 0\n2/29/2020 1:45:00 PM 12/31/1899 "
     "12:00:00 PM\n"},
    {"is_numeric_and_is_date", R"(
Print IsNumeric("12.5") & IsNumeric("1e3") & IsNumeric("abc") & IsNumeric("") & IsNumeric(Empty)
Print IsDate("2020-02-30") & IsDate("2020-02-28") & IsDate(Now) & IsDate("noon")
)",
     "TrueTrueFalseFalseTrue\nFalseTrueTrueFalse\n"},
};

const Case kOperators[] = {
    {"precedence", R"(
Print 1 + 2 * 3 ^ 2 & " " & -2 ^ 2 & " " & 2 ^ -1 & " " & 2 ^ 3 ^ 2
Print 7 \ 2 & " " & 7 Mod 3 & " " & -7 Mod 3 & " " & 10 - 2 - 3 & " " & 6 / 2 * 3
Print 1 + 2 & 3 + 4 & " " & 5 \ 2 * 2 & " " & 7 Mod 2 * 3
)",
     "19 -4 0.5 64\n3 1 -1 5 9\n37 1 1\n"},
    {"comparisons", R"(
Print ("a" < "b") & ("B" < "a") & (10 < 9) & ("10" = 10) & (2 >= 2) & (3 <> 3)
Print ("abc" = "ABC") & (Empty = 0) & (Empty = "") & IsNull(Null = Null)
)",
     "TrueTrueFalseTrueTrueFalse\nFalseTrueTrueTrue\n"},
    {"logic_and_bits", R"(
Print (True And False) & (True Or False) & (True Xor True) & (Not False)
Print (6 And 3) & " " & (6 Or 3) & " " & (6 Xor 3) & " " & (Not 0)
Print (Not 1 = 2) & (False And Null) & (True Or Null) & IsNull(True And Null)
)",
     "FalseTrueFalseTrue\n2 7 5 -1\nTrueFalseTrueTrue\n"},
    {"plus_on_text_and_dates", R"(
Print "ab" + "cd" & " " & "1" + 2 & " " & #2020-12-31# + 1 & " " & #2020-03-01# - #2020-02-01#
)",
     "abcd 3 1/1/2021 29\n"},
    {"objects_compare_with_is", R"(
Dim a, b
Set a = Nothing
Print (a Is Nothing) & IsObject(a)
)",
     "TrueTrue\n"},
};

const Case kStrings[] = {
    {"slicing", R"(
Print Len("hello") & Left("hello", 2) & Right("hello", 3) & Mid("hello", 2, 2) & Mid("hello", 4)
Print "[" & Left("ab", 5) & Mid("ab", 5) & "]" & UCase("MiX") & LCase("MiX")
Print "[" & Trim("  a b  ") & "][" & LTrim("  a ") & "][" & RTrim(" a  ") & "]"
)",
     "5helloello\n[ab]MIXmix\n[a b][a ][ a]\n"},
    {"searching", R"(
Print InStr("hello", "l") & InStr(4, "hello", "l") & InStr("hello", "z") & InStr("Hello", "h")
Print InStr(1, "Hello", "h", 1) & InStrRev("hello", "l") & InStrRev("hello", "l", 3) & InStr("abc", "")
)",
     "3400\n1431\n"},
    {"replace_split_join", R"(
Print Replace("a.b.c", ".", "-") & " " & Replace("aAa", "a", "x", 1, -1, 1) & " " & Replace("abcabc", "b", "", 3)
Dim p : p = Split("x,y,,z", ",")
Print UBound(p) & ":" & Join(p, "|") & " " & UBound(Split("")) & " " & Join(Split("a b c"), "+")
Print Join(Split("a,b,c,d", ",", 2), "|")
)",
     "a-b-c xxx cac\n3:x|y||z -1 a+b+c\na|b,c,d\n"},
    {"building", R"(
Print "[" & Space(3) & "]" & String(3, "*") & String(2, 65) & Chr(66) & Asc("a")
)",
     "[   ]***AAB97\n"},
    {"format", R"(
Print Format(1234.5, "#,##0.00") & " " & Format(0.256, "0.0%") & " " & Format(3, "000") & " " & Format(2.5, "0")
Print Format(#2021-03-04 13:05:09#, "yyyy-mm-dd hh:nn:ss") & " " & Format(#2021-03-04#, "d mmm yy")
Print Format(#2021-03-04 13:05:09#, "h:mm AM/PM") & " " & Format(1234.5, "Standard") & " " & Format(True, "Yes/No")
)",
     "1,234.50 25.6% 003 3\n2021-03-04 13:05:09 4 Mar 21\n1:05 PM 1,234.50 Yes\n"},
};

const Case kNumbersAndDates[] = {
    {"math", R"(
Print Abs(-3) & " " & Int(-2.5) & " " & Fix(-2.5) & " " & Int(2.7) & " " & Sqr(16)
Print Round(2.5) & " " & Round(3.5) & " " & Round(2.675, 2) & " " & Round(-1.234, 1)
)",
     "3 -3 -2 2 4\n2 4 2.68 -1.2\n"},
    {"random_is_repeatable_and_in_range", R"(
Dim i, ok : ok = True
Rnd -1 : Randomize 7
Dim first : first = Rnd
Rnd -1 : Randomize 7
ok = (first = Rnd)
For i = 1 To 100
  Dim r : r = Rnd
  If r < 0 Or r >= 1 Then ok = False
Next
Print ok
)",
     "True\n"},
    {"clock", R"(
Print Now & "|" & Date & "|" & Time
Print Year(Now) & "-" & Month(Now) & "-" & Day(Now) & " " & Hour(Now) & ":" & Minute(Now) & ":" & Second(Now)
)",
     "12/9/2026 2:05:07 PM|12/9/2026|2:05:07 PM\n2026-12-9 14:5:7\n"},
    {"date_arithmetic", R"(
Print DateAdd("m", 1, #2020-01-31#) & " " & DateAdd("yyyy", 1, #2020-02-29#) & " " & DateAdd("d", -1, #2021-01-01#)
Print DateAdd("h", 25, #2020-01-01#) & " " & DateAdd("n", 90, #2020-01-01 23:00#) & " " & DateAdd("q", 1, #2020-11-15#)
Print DateDiff("d", #2020-01-01#, #2020-03-01#) & " " & DateDiff("m", #2020-01-31#, #2020-02-01#) & " " & DateDiff("yyyy", #2020-12-31#, #2021-01-01#)
Print DateDiff("h", #2020-01-01 1:59#, #2020-01-01 2:00#) & " " & DateDiff("n", #2020-01-02#, #2020-01-01#) & " " & DateDiff("ww", #2020-01-04#, #2020-01-05#)
)",
     "2/29/2020 2/28/2021 12/31/2020\n1/2/2020 1:00:00 AM 1/2/2020 12:30:00 AM 2/15/2021\n"
     "60 1 1\n1 -1440 1\n"},
};

const Case kControl[] = {
    {"if_forms", R"(
x = 5
If x > 3 Then Print "a"
If x > 9 Then Print "b" Else Print "c"
If x > 9 Then
  Print "d"
ElseIf x = 5 Then
  Print "e"
Else
  Print "f"
End If
If x = 5 Then y = 1: Print "g" & y Else Print "h"
If Null Then Print "null is true" Else Print "null is false"
)",
     "a\nc\ne\ng1\nnull is false\n"},
    {"select_case", R"(
Sub Show(v)
  Select Case v
    Case 1, 2, 3: Print v & " small"
    Case "x"
      Print "letter"
    Case 4 To 10
      Print v & " mid"
    Case Is > 10, -1
      Print v & " big"
    Case Else
      Print v & " other"
  End Select
End Sub
Show 2 : Show 7 : Show 11 : Show -1 : Show 0 : Show "x"
)",
     "2 small\n7 mid\n11 big\n-1 big\n0 other\nletter\n"},
    {"for_next", R"(
s = ""
For i = 1 To 10 Step 3 : s = s & i : Next
For i = 5 To 1 Step -2 : s = s & "," & i : Next i
For i = 1 To 0 : s = s & "never" : Next
For d = 0 To 1 Step 0.25 : s = s & ";" & d : Next
Print s & " after=" & i
)",
     "14710,5,3,1;0;0.25;0.5;0.75;1 after=1\n"},
    {"for_each_and_exit_for", R"(
For Each w In Array("a", "b", "stop", "c")
  If w = "stop" Then Exit For
  Print w
Next
)",
     "a\nb\n"},
    {"do_loops", R"(
n = 0
Do While n < 3 : n = n + 1 : Loop
Print n
Do : n = n - 1 : Loop Until n <= 0
Print n
Do Until n = 2 : n = n + 1 : Loop
Do : n = n + 10 : Loop While n < 0
Print n
Do
  n = n + 1
  If n > 15 Then Exit Do
Loop
Print n
While n > 10 : n = n - 4 : Wend
Print n
)",
     " 3 \n 0 \n 12 \n 16 \n 8 \n"},
    {"exit_for_inside_do", R"(
For i = 1 To 3
  Do
    If i = 2 Then Exit For
    Exit Do
  Loop
  Print i
Next
Print "end " & i
)",
     " 1 \nend 2\n"},
};

const Case kProcedures[] = {
    {"functions_and_recursion", R"(
Function Fact(n)
  If n <= 1 Then Fact = 1 Else Fact = n * Fact(n - 1)
End Function
Function Nothing2()
End Function
Print Fact(10) & "[" & Nothing2() & "]"
)",
     "3628800[]\n"},
    {"byref_byval_optional", R"(
Sub Bump(ByRef a, ByVal b, Optional c = 100)
  a = a + 1 : b = b + 1 : c = c + 1
  Print a & " " & b & " " & c
End Sub
x = 1 : y = 1
Bump x, y
Call Bump(x, y, 5)
Bump (x), y
Print x & " " & y
)",
     "2 2 101\n3 2 6\n4 2 101\n3 1\n"},
    {"byval_for_expressions_and_constants", R"(
Sub SetIt(v) : v = "set" : End Sub
Const k = 1
z = 1
SetIt z + 1
SetIt undeclared
SetIt k
Print z & " " & undeclared & " " & k
)",
     "1 set 1\n"},
    {"exit_sub_and_function", R"(
Function F(n)
  F = "early"
  If n > 0 Then Exit Function
  F = "late"
End Function
Sub S
  Print "in"
  Exit Sub
  Print "never"
End Sub
S
Print F(1) & " " & F(0)
)",
     "in\nearly late\n"},
    {"main_runs_after_module_code", R"(
Dim g : g = "module"
Sub Main()
  Print "main sees " & g
End Sub
Print "first"
)",
     "first\nmain sees module\n"},
    {"locals_and_globals", R"(
Dim g : g = 1
Sub T
  Dim g : g = 2
  h = 3
End Sub
T
Print g & "[" & h & "]"
)",
     "1[]\n"},
    {"call_with_and_without_parentheses", R"(
Sub Two(a, b) : Print a & "+" & b : End Sub
Two 1, 2
Call Two(3, 4)
Two (5), 6
Two (1 + 2) * 3, 0
)",
     "1+2\n3+4\n5+6\n9+0\n"},
};

const Case kArrays[] = {
    {"dim_redim_preserve", R"(
Dim a(2), b()
a(0) = "x" : a(2) = "z"
Print UBound(a) & LBound(a) & Join(a, ",")
ReDim b(1) : b(0) = 1 : b(1) = 2
ReDim Preserve b(3) : b(3) = 4
Print UBound(b) & ":" & Join(b, ",")
ReDim b(0)
Print UBound(b) & ":[" & b(0) & "]"
)",
     "20x,,z\n3:1,2,,4\n0:[]\n"},
    {"arrays_copy_on_assignment", R"(
a = Array(1, 2, 3)
b = a
b(0) = 9
Print a(0) & b(0)
For Each v In a : v = 0 : Next
Print Join(a, "")
)",
     "19\n123\n"},
};

const Case kErrors[] = {
    {"resume_next_and_err", R"(
On Error Resume Next
x = 1 / 0
Print Err.Number & " " & Err.Description
Err.Clear
Print Err.Number & "[" & Err.Description & "]"
y = CInt("abc")
Print Err.Number & " " & Err
On Error GoTo 0
Print Err.Number
)",
     "11 Division by zero\n0[]\n13 13\n 0 \n"},
    {"err_raise_and_propagation", R"(
Sub Fails
  Err.Raise 1000, "me", "custom failure"
  Print "not reached"
End Sub
On Error Resume Next
Fails
Print Err.Number & ": " & Err.Description
Err.Raise 9
Print Err.Number & ": " & Err.Description
)",
     "1000: custom failure\n9: Subscript out of range\n"},
    {"resume_next_is_per_procedure", R"(
Sub Inner
  On Error Resume Next
  x = 1 / 0
  Print "inner goes on " & Err.Number
End Sub
Inner
Print "outer goes on"
)",
     "inner goes on 11\nouter goes on\n"},
};

const Case kPrint[] = {
    {"print_separators", R"(
Print 1; 2; "x"
Print "a", "b"
Print "no newline";
Print " joined"
Debug.Print -3; "y"
Print
MsgBox "boxed " & MsgBox("inner")
Print (MsgBox("?", vbYesNo) = vbYes) & (MsgBox("?", 4 + 256) = vbNo) & MsgBox("?", 1 + 256)
)",
     " 1  2 x\na             b\nno newline joined\n-3 y\n\ninner\nboxed 1\n?\n?\n?\nTrueTrue2\n"},
};

// What evaluation must keep however it reads values: left before right,
// names bound as they are at each use, whole numbers that outgrow 32 bits.
const Case kEvaluation[] = {
    {"left_operand_is_read_before_a_call_on_the_right_changes_it", R"(
Function G()
  s = "changed"
  G = "!"
End Function
Function H()
  t = "y"
  H = "?"
End Function
Function K()
  n = 100
  K = 10
End Function
s = "abc"
s = s & G()
Print s
t = "x"
u = t & H()
Print u & t
n = 1
m = n + K()
Print m & " " & n
)",
     "abc!\nx?y\n11 100\n"},
    {"whole_numbers_past_32_bits_become_doubles", R"(
x = 2147483647
Print (x + 1) & " " & (-x - 2) & " " & (x * 2) & " " & ((x + 1) - 1)
Print (7 Mod 3) & " " & (-7 \ 2) & " " & (x \ -1)
For i = 2147483646 To 2147483647
  c = c + 1
Next
Print c & " " & i
)",
     "2147483648 -2147483649 4294967294 2147483647\n1 -3 -2147483647\n2 2147483648\n"},
    {"a_local_declared_later_hides_the_global_from_then_on", R"(
g = 1
Sub P()
  For k = 1 To 2
    If k = 2 Then Dim g
    Print "[" & g & "]"
  Next
End Sub
P
Print g & ""
)",
     "[1]\n[]\n1\n"},
    {"variables_lent_to_built_ins_come_back", R"(
s = "abcabc"
Print InStr(s, s) & " " & Len(s) & " " & Mid(s, 2, 2) & s
On Error Resume Next
x = Mid(s, 0)
Print Err.Number & " " & s
s = s & 1 & True
Print s
)",
     "1 6 bcabcabc\n5 abcabc\nabcabc1True\n"},
    {"len_and_comparisons_of_whole_numbers_keep_the_general_rules", R"(
s = "abcd"
n = 12345
Print Len(s) & " " & Len(n) & " " & IsNull(Len(Null)) & " " & Len(e)
Print (Len(s) > 3) & " " & (Len(s) = 4) & " " & (Len(n) <= 4) & " " & (2147483647 + 1 > 2147483647)
Dim len(2)
len(1) = 7
Print len(1) + 1
x = "text"
x = 1 + 2
Print x & " " & (x = 3)
d = 1.5
d = d * 2
y = 2
y = y * 1073741824
Print d & " " & y
)",
     "4 5 True 0\nTrue True False True\n 8 \n3 True\n3 2147483648\n"},
    {"calls_of_a_procedure_find_their_own_variables", R"(
Function F(flag, depth)
  If flag Then
    a = "a" & depth
  Else
    b = "b" & depth
  End If
  If depth > 0 Then r = F(Not flag, depth - 1)
  F = a & b & r
End Function
Print F(True, 3)
Print F(False, 2)
Function One(s)
  One = UCase(s) & s & Len(s)
End Function
t = "ab"
Print One(t) & t & One(t & "c")
)",
     "a3b2a1b0\nb2a1b0\nABab2abABCabc3\n"},
};

INSTANTIATE_TEST_SUITE_P(Lexical, Language, ::testing::ValuesIn(kLexical),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Values, Language, ::testing::ValuesIn(kValues),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Operators, Language, ::testing::ValuesIn(kOperators),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Strings, Language, ::testing::ValuesIn(kStrings),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(NumbersAndDates, Language, ::testing::ValuesIn(kNumbersAndDates),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Control, Language, ::testing::ValuesIn(kControl),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Procedures, Language, ::testing::ValuesIn(kProcedures),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Arrays, Language, ::testing::ValuesIn(kArrays),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Errors, Language, ::testing::ValuesIn(kErrors),
                         [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Evaluation, Language, ::testing::ValuesIn(kEvaluation),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Print, Language, ::testing::ValuesIn(kPrint),
                         [](const auto& i) { return std::string(i.param.name); });

} // namespace
