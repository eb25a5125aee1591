#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: the programs, the menu entry, the
# .qel file type and its icon, the program's icon, the manual page; the
# entry and the type validate and name each other and the installed icons.
# Usage: install_test.sh BUILD-DIR
set -euo pipefail
export LC_ALL=C.UTF-8
build=$1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qel-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$tmp/usr" >/dev/null
p=$tmp/usr
for f in bin/qel bin/qel-sim bin/qel-gui \
         share/applications/qel.desktop share/mime/packages/qel.xml \
         share/icons/hicolor/scalable/apps/qel.svg \
         share/icons/hicolor/scalable/mimetypes/application-x-qel-spectrum.svg \
         share/man/man1/qel.1.gz share/man/man1/qel-gui.1.gz share/man/man1/qel-sim.1.gz \
         share/doc/qel/copyright share/doc/qel/changelog.gz; do
  [[ -f $p/$f ]] || fail "$f not installed"
done
[[ -x $p/bin/qel ]] || fail "qel not executable"
"$p/bin/qel" --help | grep -q "qel export" || fail "installed qel does not run"

desktop=$p/share/applications/qel.desktop
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
xmllint --noout "$p/share/mime/packages/qel.xml" || fail "MIME type is not well-formed XML"
for svg in "$p"/share/icons/hicolor/scalable/*/*.svg; do
  xmllint --noout "$svg" || fail "$svg is not well-formed"
done

entry() { sed -n "s/^$1=//p" "$desktop"; }
[[ $(entry Name) == "КЕЛ" ]] || fail "the entry's name: $(entry Name)"
[[ $(entry Comment) == *"спектров ЭПР"* ]] || fail "the entry's comment is not Russian: $(entry Comment)"
[[ $(entry Categories) == *Science\;* && $(entry Categories) == *Physics\;* ]] || fail "categories: $(entry Categories)"
[[ $(entry Exec) == "qel-gui %f" ]] || fail "Exec: $(entry Exec)"
[[ -f $p/share/icons/hicolor/scalable/apps/$(entry Icon).svg ]] || fail "icon $(entry Icon) not installed"
type=$(xmllint --xpath 'string(//*[local-name()="mime-type"]/@type)' "$p/share/mime/packages/qel.xml")
[[ $type == application/x-qel-spectrum ]] || fail "MIME type: $type"
[[ $(entry MimeType) == *"$type;"* ]] || fail "the entry does not open $type"
glob=$(xmllint --xpath 'string(//*[local-name()="glob"]/@pattern)' "$p/share/mime/packages/qel.xml")
[[ $glob == "*.qel" ]] || fail "glob: $glob"
passes=$(xmllint --xpath 'string(//*[@type="application/x-qel-passes"]/*[local-name()="glob"]/@pattern)' "$p/share/mime/packages/qel.xml")
[[ $passes == "*.qelpass" ]] || fail "the archive of passes has no type: $passes"
icon=$(xmllint --xpath 'string(//*[local-name()="icon"]/@name)' "$p/share/mime/packages/qel.xml")
[[ -f $p/share/icons/hicolor/scalable/mimetypes/$icon.svg ]] || fail "the type's icon $icon not installed"
if command -v man >/dev/null; then
  for page in qel qel-gui qel-sim; do
    MANWIDTH=80 man -l "$p/share/man/man1/$page.1.gz" 2>&1 >/dev/null | grep . && fail "$page: man page warnings"
    text=$(MANWIDTH=80 man -l "$p/share/man/man1/$page.1.gz" 2>/dev/null)
    grep -q "^NAME" <<<"$text" || fail "$page: no manual page"
  done
fi
changelog=$(zcat "$p/share/doc/qel/changelog.gz")
[[ ${changelog%%$'\n'*} =~ ^qel\ \([0-9.]+\)\ unstable\;\ urgency=medium$ ]] || fail "changelog's first line"
grep -q "localhost" "$p/share/doc/qel/copyright" "$p/share/doc/qel/changelog.gz" && fail "a maintainer at localhost"
# The fits' solver comes from MINPACK, whose licence asks for this acknowledgement.
copyright=$(<"$p/share/doc/qel/copyright")
for text in "University of Chicago, as" "License: Minpack" "License: MPL-2.0"; do
  grep -qF "$text" <<<"$copyright" || fail "copyright file without \"$text\""
done
echo "installed and valid"
