#!/bin/bash
# Every writer of the program and its tools, made to fail: under a file-size
# limit (ulimit -f with SIGXFSZ ignored, so writes fail with EFBIG) and onto
# a full file system (a small tmpfs in a private mount namespace). Each must
# exit non-zero and leave the file it would have replaced byte for byte as
# it was (SHA-256). Device and pipe targets are refused and left as they
# were. Run by ctest with the programs' paths:
#
#   writers_test.sh BIN_DIR SOURCE_DIR
#
# BIN_DIR holds velmora and the tools: a build tree (app/, tools/) or an
# installed tree (bin/, tools/), so the same table runs on an older build.
set -u
BIN=$1
SRC=$2
find_program() {
  for dir in "$BIN/app" "$BIN/bin" "$BIN/tools" "$BIN"; do
    [ -x "$dir/$1" ] && { echo "$dir/$1"; return; }
  done
  echo "missing program $1" >&2
  exit 1
}
VELMORA=$(find_program velmora)
TEMPLATECOPY=$(find_program templatecopy)
FONTSUBSET=$(find_program fontsubset)
DRAWPAGE=$(find_program drawpage)
OP3DUMP=$(find_program op3dump)
EMFDUMP=$(find_program emfdump)
XMLCAT=$(find_program xmlcat)
export VELMORA_DATA_DIR="$SRC/app/data" QT_QPA_PLATFORM=offscreen

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0

# A short body text keeps the runs quick; the outputs are still larger than
# the limits below.
printf '道可道非常道名可名非常名無名天地之始有名萬物之母' > "$WORK/t.txt"
"$VELMORA" --text "$WORK/t.txt" --op3 "$WORK/in.op3" 2>/dev/null || { echo "cannot make in.op3"; exit 1; }

# name | the target the command writes (relative to its folder) | the command,
# with @ for that folder. Each command writes a single file or one page set.
CASES=(
  "velmora --pdf|out.pdf|$VELMORA --text $WORK/t.txt --pdf @/out.pdf"
  "velmora --jpeg|velmora.1.jpg|$VELMORA --text $WORK/t.txt --jpeg @/"
  "velmora --op3|out.op3|$VELMORA --text $WORK/t.txt --op3 @/out.op3"
  "velmora --emf|page-001.emf|$VELMORA --text $WORK/t.txt --emf @"
  "templatecopy|copy.ov3|$TEMPLATECOPY $SRC/tests/data/templates/everything.ov3 @/copy.ov3"
  "fontsubset|subset.otf|$FONTSUBSET $SRC/app/data/KaitiVelmora.otf @/subset.otf --text 道可名非常天地之始"
  "drawpage png|page.png|$DRAWPAGE $SRC/tests/data/templates/everything.ov3 @/page.png"
  "op3dump png|page.png|$OP3DUMP $WORK/in.op3 --png 1 @/page.png"
  "emfdump png|page.png|$EMFDUMP $SRC/fuzz/corpus/emf/velmora_body.emf --png @/page.png"
  "xmlcat -o|doc.xml|$XMLCAT $SRC/tests/data/templates/everything.ov3 -o @/doc.xml"
)

# The old file: random bytes, so no writer could produce it by chance.
make_old() { head -c 3000 /dev/urandom > "$1"; }
sum() { sha256sum "$1" | cut -d' ' -f1; }

check() {  # name, way, exit code, old sum, new sum, folder
  local name=$1 way=$2 code=$3 before=$4 after=$5 dir=$6
  local leftovers
  leftovers=$(find "$dir" -name '.*.tmp' | wc -l)
  if [ "$code" -eq 0 ] || [ "$before" != "$after" ] || [ "$leftovers" -ne 0 ]; then
    echo "FAIL $name ($way): exit $code, target $([ "$before" = "$after" ] && echo kept || echo CHANGED), $leftovers temporary files left"
    failures=$((failures + 1))
  else
    echo "ok   $name ($way): exit $code, target kept"
  fi
}

# --- under a file-size limit -----------------------------------------------------
for case in "${CASES[@]}"; do
  IFS='|' read -r name target command <<< "$case"
  dir="$WORK/limit"
  rm -rf "$dir" && mkdir -p "$dir"
  make_old "$dir/$target"
  before=$(sum "$dir/$target")
  bash -c "trap '' XFSZ; ulimit -f 2; exec ${command//@/$dir}" > /dev/null 2> "$WORK/err"
  code=$?
  check "$name" "ulimit -f 2" "$code" "$before" "$(sum "$dir/$target")" "$dir"
  grep -q "File too large" "$WORK/err" || { echo "     no system reason in: $(head -c 300 "$WORK/err")"; failures=$((failures + 1)); }
done

# --- onto a full file system -------------------------------------------------------
if unshare -rm true 2>/dev/null; then
  for case in "${CASES[@]}"; do
    IFS='|' read -r name target command <<< "$case"
    dir="$WORK/full"
    rm -rf "$dir" && mkdir -p "$dir"
    out=$(unshare -rm bash -c '
      dir=$1; target=$2; command=$3
      mount -t tmpfs -o size=256k velmora-full "$dir" || exit 99
      head -c 3000 /dev/urandom > "$dir/$target"
      before=$(sha256sum "$dir/$target" | cut -d" " -f1)
      # Fill what is left of it.
      dd if=/dev/zero of="$dir/fill" bs=4k 2>/dev/null
      $command > /dev/null 2> "$dir/../full-err"
      code=$?
      after=$(sha256sum "$dir/$target" | cut -d" " -f1)
      leftovers=$(find "$dir" -name ".*.tmp" | wc -l)
      echo "$code $before $after $leftovers"' _ "$dir" "$target" "${command//@/$dir}")
    read -r code before after leftovers <<< "$out"
    if [ "$code" = 99 ]; then echo "skip $name (full file system): cannot mount a tmpfs"; continue; fi
    if [ "$code" -eq 0 ] || [ "$before" != "$after" ] || [ "$leftovers" -ne 0 ]; then
      echo "FAIL $name (full tmpfs): exit $code, target $([ "$before" = "$after" ] && echo kept || echo CHANGED), $leftovers temporary files left"
      failures=$((failures + 1))
    else
      echo "ok   $name (full tmpfs): exit $code, target kept"
    fi
    grep -q "No space left on device" "$WORK/full-err" || { echo "     no system reason in: $(head -c 300 "$WORK/full-err")"; failures=$((failures + 1)); }
  done
else
  echo "skip full file system: no private mount namespace here (unshare -rm)"
fi

# --- devices and pipes ----------------------------------------------------------------
dir="$WORK/special"
mkdir -p "$dir"
mkfifo "$dir/fifo"
targets=("$dir/fifo")
if mknod "$dir/device" c 1 3 2>/dev/null; then targets+=("$dir/device"); fi
ln -s "$dir/fifo" "$dir/link-to-fifo" && targets+=("$dir/link-to-fifo")
for target in "${targets[@]}"; do
  kind_before=$(stat -c %F "$target")
  for command in "$VELMORA --text $WORK/t.txt --pdf $target" "$VELMORA --text $WORK/t.txt --op3 $target" \
                 "$TEMPLATECOPY $SRC/tests/data/templates/everything.ov3 $target" \
                 "$EMFDUMP $SRC/fuzz/corpus/emf/velmora_body.emf --png $target"; do
    timeout 60 $command > /dev/null 2> "$WORK/err"
    code=$?
    kind_after=$(stat -c %F "$target")
    if [ "$code" -eq 0 ] || [ "$code" -eq 124 ] || [ "$kind_before" != "$kind_after" ]; then
      echo "FAIL ${command##*/} onto $kind_before: exit $code, now $kind_after"
      failures=$((failures + 1))
    else
      echo "ok   ${command%% *} onto $kind_before $(basename "$target"): exit $code, $(head -c 120 "$WORK/err" | tr '\n' ' ')"
    fi
  done
done

echo "$failures failures"
[ "$failures" -eq 0 ]
