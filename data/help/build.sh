#!/bin/sh
# Builds the help file from these pages (written as UTF-8, stored as code
# page 932 like every text the program ships) into data/appdir/Orvalis.Chm.
# Needs chmcmd (Debian package fp-utils); the result is committed.
set -e
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in "$here"/*.html "$here"/toc.hhc "$here"/Orvalis.hhp; do
  iconv -f UTF-8 -t CP932 "$f" > "$work/$(basename "$f")"
done
(cd "$work" && chmcmd Orvalis.hhp > /dev/null)
cp "$work/Orvalis.Chm" "$here/../appdir/Orvalis.Chm"
