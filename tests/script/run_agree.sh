#!/bin/sh
# Runs one computation written in every dialect through scriptrun and
# checks that the variables agree (the loop counter `i` aside, whose final
# value differs by the loops' own rules), and that --eval reads them.
# usage: run_agree.sh SCRIPTRUN DATA_DIR
set -u
tool=$1
dir=$2
expected="n = 20
calls = 5
r = -1
c = 3
s = 'middle'"
status=0
for pair in PascalScript:agree.pas C++Script:agree.cpp JScript:agree.js BasicScript:agree.vb; do
  lang=${pair%%:*}
  file=${pair#*:}
  out=$("$tool" --lang "$lang" --eval 'n * 2 + calls' "$dir/$file") || { echo "$file: scriptrun failed: $out"; status=1; continue; }
  got=$(printf '%s\n' "$out" | grep -v '^i:' | sed -n '1,5p' | sed 's/: [A-Za-z0-9]* = / = /')
  if [ "$got" != "$expected" ]; then
    echo "$file: variables differ:"; printf '%s\n' "$got"; status=1
  fi
  last=$(printf '%s\n' "$out" | tail -n 1)
  if [ "$last" != "45" ]; then echo "$file: --eval gave '$last'"; status=1; fi
done
# A run-time error is reported with its position and exit status 1.
printf 'var n: Integer;\nbegin\n  n := 1 div n\nend.\n' > "${TMPDIR:-/tmp}/scriptrun_err_$$.pas"
out=$("$tool" "${TMPDIR:-/tmp}/scriptrun_err_$$.pas"); code=$?
rm -f "${TMPDIR:-/tmp}/scriptrun_err_$$.pas"
if [ $code -ne 1 ] || ! printf '%s\n' "$out" | grep -q '^error 3:[0-9]*: Division by zero$'; then
  echo "run-time error: exit $code, output: $out"; status=1
fi
exit $status
