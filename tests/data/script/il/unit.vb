Sub UnitProc(x)
End Sub
