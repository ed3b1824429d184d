' Every feature of the language in one mail macro: the test runs it with a
' message object named "CurrentMessage." and compares the log with
' features.out.
Option Explicit
Rem constants, variables and arrays
Const Greeting = "Dear", Limit = 3
Dim names(2), extra(), count, i, item, total, text, msg, when
Dim flags : flags = Array(True, False, Null, Empty)

names(0) = "Ann" : names(1) = "bob" : names(2) = "Cy"
ReDim extra(1)
extra(0) = 1.5 : extra(1) = #2024-02-28#
ReDim Preserve extra(2)
extra(2) = extra(1) + 1

' Procedures: ByVal, ByRef, Optional, recursion, Exit
Function Title(ByVal s)
  If Len(s) = 0 Then Exit Function
  Title = UCase(Left(s, 1)) & LCase(Mid(s, 2))
End Function

Sub Tally(ByRef acc, value, Optional weight = 1)
  acc = acc + value * weight
End Sub

Function Fib(n)
  If n < 2 Then
    Fib = n
  Else
    Fib = Fib(n - 1) + Fib(n - 2)
  End If
End Function

Sub Classify(v)
  Select Case v
    Case Is < 0: Debug.Print "negative"
    Case 0, 1: Debug.Print "bit"
    Case 2 To 9: Debug.Print "digit"
    Case Else: Debug.Print "large"
  End Select
End Sub

Sub Main()
  ' Objects: property get and put, methods with and without parentheses
  Set msg = CurrentMessage
  Print "Subject: " & msg.Subject
  msg.Subject = "Re: " & _
                msg.Subject
  For Each item In names
    msg.AddRecipient Title(item), LCase(item) & "@example.com"
  Next
  Call msg.AddRecipient("Dee", "dee@example.com")
  Print msg.RecipientCount & " recipients, first " & msg.GetRecipient(0)
  Set msg = Nothing
  Print "released: " & (msg Is Nothing)

  Dim other : Set other = CreateObject("Quelta.QueltaMessage")
  other.Subject = "fresh"
  Print other.Subject & " / " & CurrentMessage.Subject

  ' Loops of every kind
  total = 0
  For i = 10 To 1 Step -3 : Tally total, i : Next
  Tally total, 2, 10
  Print "total " & total
  count = 0
  Do While count < Limit : count = count + 1 : Loop
  Do : count = count - 2 : Loop Until count < 0
  Do Until count >= 5
    count = count + 2
    If count = 3 Then Exit Do
  Loop
  While count < 7 : count = count + 1 : Wend
  Print "count " & count
  For i = 1 To 100
    If i * i > 50 Then Exit For
  Next
  Print "first square over 50: " & i & " " & Fib(15)
  Classify -5 : Classify 1 : Classify 7 : Classify 12

  ' Operators and variants
  Print 2 ^ 3 * 2 + 7 \ 2 - 7 Mod 4 & " " & (1 < 2 And Not 3 > 4 Or False Xor False)
  Print "1" + 2 & " " & "1" & 2 & " " & IsNull(flags(2)) & IsEmpty(flags(3)) & flags(0)
  Print extra(0) * 2 & " " & extra(2) & " " & (extra(2) - extra(1))

  ' Built-ins
  text = "  The quick brown fox  "
  Print "[" & Trim(text) & "] [" & LTrim(text) & "] [" & RTrim(text) & "]"
  text = Trim(text)
  Print InStr(text, "quick") & " " & InStrRev(text, "o") & " " & Replace(text, "o", "0") & " " & Right(text, 3)
  Print Join(Split(text, " "), "|") & " " & UBound(Split(text)) & " " & Len(text) & Space(1) & String(3, "=")
  Print Str(42) & "|" & Val("3.5 apples") & "|" & CStr(7) & CInt("12") + CLng(3.5) & "|" & CDbl("2.25") & "|" & CBool(1)
  Print Chr(65) & Asc("a") & " " & Abs(-2.5) & " " & Int(-1.5) & " " & Fix(-1.5) & " " & Round(1.005, 1) & " " & Sqr(2) ^ 2
  when = Now
  Print Year(when) & "-" & Month(when) & "-" & Day(when) & " " & Hour(when) & ":" & Minute(when) & ":" & Second(when)
  Print Date & " " & Time & " " & CDate("2025-01-31") & " " & DateAdd("m", 1, CDate("2025-01-31"))
  Print DateDiff("d", Date, #2027-01-01#) & " " & Format(when, "yyyy-mm-dd hh:nn") & " " & Format(1234567.891, "#,##0.00")
  Print IsNumeric("1e3") & IsDate("2024-13-01") & IsObject(CurrentMessage) & (Rnd >= 0)

  ' Errors: trapped, reported, raised
  On Error Resume Next
  i = 1 / 0
  Print "trapped " & Err.Number & ": " & Err.Description
  Err.Clear
  CurrentMessage.NoSuchMember
  Print "trapped " & Err.Number
  Err.Raise 1001, "features", "my own error"
  Print "trapped " & Err.Number & ": " & Err.Description
  On Error GoTo 0
  Print "done"; : Print " at " & MsgBox("last line")
End Sub
