Option Explicit
Dim total
Function Twice(x)
  Twice = x * 2
End Function
Sub Main()
  Dim i, s
  For i = 1 To 10 Step 2
    total = total + Twice(i)
  Next
  s = UCase(Left("hello world", 5)) & Mid("abc", 2)
  If total > 10 And s <> "" Then
    Print s; total
  ElseIf total = 0 Then
    MsgBox "none"
  Else
    Debug.Print "x"
  End If
End Sub
