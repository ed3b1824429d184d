Dim a(5), n
n = 0
Do While n < 5
  a(n) = n ^ 2
  n = n + 1
Loop
Select Case a(2)
  Case 1, 2: n = -1
  Case Is > 3: n = UBound(a)
  Case Else: n = 0
End Select
On Error Resume Next
n = 1 / 0
If Err.Number <> 0 Then n = Err.Number
While n > 0: n = n - 1: Wend
x = Split("a,b,c", ",")
y = Join(x, "-") & Format(Now, "yyyy") & CStr(DateAdd("d", 1, #1/2/2003#))
