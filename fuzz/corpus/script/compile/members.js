var v = Thing; v.Left = 3; var s = Kept.Twice("ab"); Drop(); try { v.Name = s; } except { s = ExceptionMessage; }
