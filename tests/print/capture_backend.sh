#!/bin/sh
# A CUPS backend for the print tests. Each job's document goes unchanged to
# the folder named by the device URI (capture:/path/to/folder) as
# job-N.pdf, then its title, copies and options as job-N.txt; the text file
# comes last, so a test that sees it finds the whole document.
if [ $# -eq 0 ]; then
  echo 'direct capture "Unknown" "Velmora capture"'
  exit 0
fi
if [ $# -lt 5 ]; then
  echo "Usage: capture job-id user title copies options [file]" >&2
  exit 1
fi
dir="${DEVICE_URI#capture:}"
part="$dir/.job-$1"
if [ -n "$6" ]; then
  cat "$6" > "$part.pdf" || exit 1
else
  cat > "$part.pdf" || exit 1
fi
printf 'title=%s\ncopies=%s\noptions=%s\n' "$3" "$4" "$5" > "$part.txt" || exit 1
mv "$part.pdf" "$dir/job-$1.pdf" && mv "$part.txt" "$dir/job-$1.txt"
