#!/usr/bin/env bash
# Makes the manual page of a program from its --help and --version with
# help2man, compressed as Debian wants it (gzip -9n). DATE (YYYY-MM-DD) is
# the release's: the page shows it instead of the day of the build, so the
# page is the same whenever it is made. help2man reads one --help only;
# where the program has subcommands (relan-cli), each one's options follow
# the main ones under a heading of its usage, through a stand-in program
# that prints them all.
#
# manpage.sh PROGRAM SUMMARY DATE OUT.gz
set -euo pipefail
program=$1 summary=$2 date=$3 out=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=$(basename "$program")

# The subcommands are the first words of the lines under "Subcommands:".
"$program" --help | sed 's#^Usage: [^ ]*/#Usage: #' >"$work/help"
subcommands=$(awk '/^Subcommands:$/ {on = 1; next} on && /^  [^ ]/ {print $1} on && !/^  / {on = 0}' "$work/help")
for sub in $subcommands; do
  # Without its first line (the summary, listed above already) and its
  # "Positionals:"/"Options:" headings and blank lines: help2man makes a
  # subsection of a line ending in ":" only when the list follows it.
  {
    echo
    "$program" "$sub" --help | sed -e 1d -e '/^\(Positionals\|Options\):$/d' -e '/^$/d' \
      -e "s#^Usage: [^ ]*/$name \\(.*\\)\$#$name \\1:#"
  } >>"$work/help"
done

mkdir "$work/bin"
cat >"$work/bin/$name" <<STANDIN
#!/bin/sh
if [ "\$1" = --version ]; then exec "$program" --version; fi
cat "$work/help"
STANDIN
chmod +x "$work/bin/$name"

SOURCE_DATE_EPOCH=$(date -u -d "$date" +%s) help2man --locale=C.UTF-8 --no-info --section=1 \
  --name="$summary" --output="$work/$name.1" "$work/bin/$name"
gzip -9n -c "$work/$name.1" >"$work/$name.1.gz"
mv "$work/$name.1.gz" "$out"
