Dim n, i, calls, r, c, s
Function Fact(k, ByRef calls)
  calls = calls + 1
  If k <= 1 Then
    Return 1
  Else
    Return k * Fact(k - 1, calls)
  End If
End Function
n = 0 : calls = 0 : c = 0 : s = ""
For i = 1 To 10
  If i Mod 2 = 0 Then Continue
  n = n + i
Next
While n > 0
  n = n - 1
  If n = 20 Then Break
Wend
Do
  c = c + 1
Loop Until c >= 3
Select Case n
Case 1, 2:
  s = "small"
Case 20..25:
  s = "middle"
Case Else:
  s = "large"
End Select
r = Fact(5, calls)
Try
  r = r Mod (c - 3)
Catch
  r = -1
End Try
