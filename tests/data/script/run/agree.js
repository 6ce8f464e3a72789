var n, i, calls, r, c, s;
function Fact(k, &calls)
{
  calls = calls + 1;
  if (k <= 1) return 1; else return k * Fact(k - 1, calls);
}
n = 0; calls = 0; c = 0; s = "";
for (i = 1; i <= 10; i++)
{
  if (i % 2 == 0) continue;
  n = n + i;
}
while (n > 0) { n--; if (n == 20) break; }
do c++; while (c < 3);
switch (n)
{
  case 1, 2: s = "small";
  case 20..25: s = "middle";
  default: s = "large";
}
r = Fact(5, calls);
try { r = r % (c - 3); } except { r = -1; }
