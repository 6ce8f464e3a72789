#!/bin/sh
# Compares the syntax tree scriptrun prints for one program with its golden
# file; VELMORA_UPDATE_GOLDENS=1 rewrites the golden file instead.
#   il_golden.sh SCRIPTRUN DIR CASE   (CASE: file name; its extension picks the dialect)
set -eu
tool=$1 dir=$2 case=$3
case "$case" in
  *.pas) lang=PascalScript ;;
  *.cpp) lang=C++Script ;;
  *.vb) lang=BasicScript ;;
  *.js) lang=JScript ;;
  *) echo "unknown extension: $case" >&2; exit 2 ;;
esac
golden="$dir/${case%.*}.${case##*.}.xml"
actual=$("$tool" --lang "$lang" --il "$dir/$case"; echo x)
if [ "${VELMORA_UPDATE_GOLDENS:-}" = 1 ]; then
  printf '%s' "${actual%x}" > "$golden"
  exit 0
fi
printf '%s' "${actual%x}" | cmp -s - "$golden" || {
  echo "syntax tree of $case differs from $golden:" >&2
  printf '%s' "${actual%x}" | diff "$golden" - >&2 || true
  exit 1
}
