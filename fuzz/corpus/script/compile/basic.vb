Imports "unit.vb"
Dim i, a[5], s As String = "it""s"
n = 0

Sub Count(ByRef calls, ByVal stp)
  calls = calls + stp
End Sub

Function Fact(k, ByRef calls)
  Count(calls, 1)
  If k <= 1 Then
    Return 1
  Else
    Return k * Fact(k - 1, calls)
  End If
End Function

' a comment line
For i = 1 To 10 Step 1
  If i Mod 2 = 0 Then Continue
  n = n + i 
rem trailing note
Next
While n > 0
  n = n - 1
  If n = 3 Then
    Break
  ElseIf n = 4 Then
    n -= 1
  End If
Wend
Do
  n = n + 1
Loop Until n >= 2
Do
  n = n + 1
Loop While n < 3
Select Case n
Case 1, 2:
  s = "small"
Case 3..5:
  s = "middle"
Case Else:
  s = "large"
End Select
Try
  n = Fact(5, i)
Catch
  n = -1
End Try
Try
  n = n \ 2 & "x"
Finally
  Set s = <Date>
End Try
With Memo1
  Font.Size = _
    10
End With
UnitProc(n) : Exit
