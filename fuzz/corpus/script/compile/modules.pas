 var l: TStringList; ini: TMemIniFile; ro: TIniFile; f: TFont; p: TPen; m: TMemoryStream;
    d: TksXMLDocument; c: TComponent; s: String; i: Integer;
begin
  l := TStringList.Create; l.Sorted := True; l.Duplicates := dupIgnore;
  l.Add('b=2'); l.Add('a=1'); l.Add('a=1'); s := l.Values['a'] + l.CommaText;
  ini := TMemIniFile.Create('a.ini'); ini.WriteString('s', 'k', s);
  ini.WriteInteger('s', 'n', l.Count); ini.UpdateFile; ini.ReadSection('s', l);
  i := ini.ReadInteger('s', 'n', 0); ini.Free;
  f := TFont.Create; f.Name := 'SimSun'; f.Style := [fsBold, fsItalic]; f.Color := clRed;
  p := TPen.Create; p.Style := psDash; p.Mode := pmXor;
  m := TMemoryStream.Create; l.SaveToStream(m); m.Position := 0;
  d := TksXMLDocument.Create; d.Root.Name := 'r'; d.Root.Add.Text := s; d.SaveToStream(m);
  c := TComponent.Create(nil); if (c is TForm) or (i = mrOk) then s := TForm(c).Name;
  l.SaveToFile('l.txt'); l.LoadFromFile('l.txt');
  f.Free; p.Free; m.Free; d.Free; c.Free;
  try l.LoadFromFile('none.txt') except s := ExceptionMessage end;
  ro := TIniFile.Create('a.ro'); ro.WriteBool('s', 'b', True); ro.Free
end.
