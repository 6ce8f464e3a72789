#include "unit.cpp"
#define Limit 10
int i, n = 0, a[5];
string s = "a\"b";

void Count(int &calls, int step)
{
  calls += step;
}

int Fact(int k, int &calls)
{
  Count(calls, 1);
  if (k <= 1) return 1;
  else return k * Fact(k - 1, calls);
}

{
  for (i = 1, n = 0; i <= Limit; i++)
  {
    if ((i % 2) == 0) continue;
    n = n + i;
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
  try { n = n / 2; } finally { n *= 2; }
  s = <Date>;
  n = 0x1F != !n;
  UnitProc(n);
}
