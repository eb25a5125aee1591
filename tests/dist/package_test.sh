#!/usr/bin/env bash
# The Debian package made by scripts/package: its contents (dpkg-deb -c),
# its computed dependencies, and an installation into a scratch root with
# an admin folder of its own, whose programs then run.
# Usage: package_test.sh SOURCE-DIR BUILD-DIR [hardened|plain]
#   hardened (the default): the build was made with Debian's hardening flags
#   (an optimised build); plain: it was not (a sanitizer build), and the
#   binaries are not checked for them.
set -euo pipefail
export LC_ALL=C.UTF-8
src=$1
build=$2
hardening=${3:-hardened}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qel-package-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$("$src/scripts/package" "$build" "$tmp/out")
[[ -f $deb ]] || fail "no package"
dpkg-deb -c "$deb" | awk '{print $NF}' >"$tmp/list"
for f in ./usr/bin/qel-gui ./usr/bin/qel ./usr/bin/qel-sim \
         ./usr/share/applications/qel.desktop ./usr/share/mime/packages/qel.xml \
         ./usr/share/icons/hicolor/scalable/apps/qel.svg \
         ./usr/share/icons/hicolor/scalable/mimetypes/application-x-qel-spectrum.svg \
         ./usr/share/man/man1/qel.1.gz ./usr/share/man/man1/qel-gui.1.gz ./usr/share/man/man1/qel-sim.1.gz \
         ./usr/share/doc/qel/copyright ./usr/share/doc/qel/changelog.gz; do
  grep -qxF "$f" "$tmp/list" || fail "$f not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libqt6serialport6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# Debian's own package checker: no error and no warning (what is overridden
# carries its reason in the package's override file).
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 ||
    { cat "$tmp/lintian.log" >&2; fail "lintian"; }
  grep -E "^(E|W): " "$tmp/lintian.log" >&2 && fail "lintian"
else
  fail "lintian is not installed (scripts/deps installs it)"
fi

# Built with Debian's hardening flags: read-only relocations bound at start,
# a position-independent program, the stack protector, fortified functions.
dpkg-deb -x "$deb" "$tmp/x"
if [[ $hardening == hardened ]]; then
  for b in qel-gui qel qel-sim; do
    f=$tmp/x/usr/bin/$b
    # Read whole first: `grep -q` ending a pipe early fails it under pipefail.
    dynamic=$(readelf -d "$f")
    segments=$(readelf -lW "$f")
    symbols=$(nm -D "$f")
    grep -q "BIND_NOW" <<<"$dynamic" || fail "$b: not bound at start (-z now)"
    grep -q "Flags:.*PIE" <<<"$dynamic" || fail "$b: not position-independent"
    grep -q GNU_RELRO <<<"$segments" || fail "$b: no read-only relocations"
    grep -q "__stack_chk_fail" <<<"$symbols" || fail "$b: no stack protector"
    grep -q "_chk@" <<<"$symbols" || fail "$b: no fortified functions"
  done
fi

root=$tmp/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --admindir="$root/var/lib/dpkg" --force-not-root --force-depends \
     --force-script-chrootless --log=/dev/null -i "$deb" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg -i"; }
dpkg --root="$root" --admindir="$root/var/lib/dpkg" -s qel | grep -q "^Status: install ok installed" || fail "not installed"
[[ -x $root/usr/bin/qel-gui && -f $root/usr/share/applications/qel.desktop ]] || fail "files not unpacked"
"$root/usr/bin/qel" --help | grep -q "qel export" || fail "installed qel does not run"
"$root/usr/bin/qel-sim" --help >/dev/null || fail "installed qel-sim does not run"
echo "package $(basename "$deb"): $(wc -l <"$tmp/list") entries, installs and runs"
