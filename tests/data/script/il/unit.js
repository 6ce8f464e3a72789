function UnitProc(x) { }
