var n, i, calls, r, c: Integer; s: String;
function Fact(k: Integer; var calls: Integer): Integer;
begin
  calls := calls + 1;
  if k <= 1 then Result := 1 else Result := k * Fact(k - 1, calls);
end;
begin
  n := 0; calls := 0; c := 0; s := '';
  for i := 1 to 10 do
  begin
    if i mod 2 = 0 then continue;
    n := n + i;
  end;
  while n > 0 do begin n := n - 1; if n = 20 then break end;
  repeat c := c + 1 until c >= 3;
  case n of
    1, 2: s := 'small';
    20..25: s := 'middle';
  else
    s := 'large';
  end;
  r := Fact(5, calls);
  try r := r mod (c - 3) except r := -1 end;
end.
