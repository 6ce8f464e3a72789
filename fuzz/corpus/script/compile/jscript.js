import "unit.js";
var i, n = 0, a[5], s = "a\"b";

function Count(&calls, stp) { calls += stp; }

function Fact(k, &calls)
{
  Count(calls, 1);
  if (k <= 1) return 1; else return k * Fact(k - 1, calls);
}

for (var i = 0, j = 0; i <= 10; i++)
{
  if ((i % 2) == 0) continue;
  n = n + i
}
while (n > 0) { n--; if (n == 3) break; }
do n++; while (n < 2);
switch (n)
{
  case 1, 2: s = "small";
  case 3..5: s = "middle";
  default: s = "large";
}
try { n = Fact(5, i); } except { n = -1; }
try n = n / 2; finally n *= 2;
with (Memo1) Font.Size = <Date>;
s = !n != 0x1F;
UnitProc(n);
