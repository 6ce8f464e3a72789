procedure UnitProc(x: Integer);
begin
end;

begin
end.
