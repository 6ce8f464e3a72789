program Sample;
uses 'unit.pas';
const Limit = 10;
var i, n: Integer;
    a: array[5] of Integer;
    s: String = 'it''s';

procedure Count(var calls: Integer; const step: Integer);
begin
  calls := calls + step
end;

function Fact(k: Integer; var calls: Integer): Integer;
begin
  Count(calls, 1);
  if k <= 1 then
    Result := 1
  else
    Result := k * Fact(k - 1, calls);
end;

begin
  n := 0;
  for i := 1 to Limit do
    if i mod 2 = 0 then continue else n := n + i;
  for i := 5 downto 1 do a[i - 1] := i;
  while n > 0 do begin n := n - 1; if n = 3 then break end;
  repeat n := n + 1 until n >= 2;
  case n of
    1, 2: s := 'small';
    3..5: s := 'middle';
  else
    s := 'large';
  end;
  try
    n := Fact(5, i);
  except
    n := -1
  end;
  try n := n div 2 finally exit end;
  with Memo1, Font do Size := <Date> ;
  UnitProc(n)
end.
