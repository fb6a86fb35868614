#!/usr/bin/env bash
# Installs a build under /usr in a temporary DESTDIR and checks what an installed Corvane
# brings: the two programs, the desktop entry, the icon in the hicolor theme, the AppStream
# metadata, the manual pages, the user manual and the package documents, each accepted by the
# tool that checks its kind, and nothing else.
#   check_install.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! DESTDIR="$dest" cmake --install "$build" --prefix /usr >"$dest.log" 2>&1; then
  cat "$dest.log" >&2
  rm -f "$dest.log"
  fail "cmake --install failed"
  exit 1
fi
rm -f "$dest.log"
usr=$dest/usr

# Exactly these files.
expected="bin/corvane
bin/corvane-merge
share/applications/corvane.desktop
share/corvane/manual/dialog3.png
share/corvane/manual/main-window.png
share/corvane/manual/manual.html
share/corvane/manual/workbook-window.png
share/doc/corvane/changelog.gz
share/doc/corvane/copyright"
for size in 16 24 32 48 64 128 256; do expected+=$'\n'"share/icons/hicolor/${size}x${size}/apps/corvane.png"; done
expected+="
share/icons/hicolor/scalable/apps/corvane.svg
share/lintian/overrides/corvane
share/man/man1/corvane-merge.1.gz
share/man/man1/corvane.1.gz
share/metainfo/example.corvane.corvane.metainfo.xml"
actual=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<<"$expected")
[ "$actual" = "$expected" ] || fail "installed files differ from the expected ones:
$(diff <(echo "$expected") <(echo "$actual"))"
[ -z "$(find "$dest" -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "something was installed outside /usr"

# The programs.
for p in corvane corvane-merge; do
  [ -x "$usr/bin/$p" ] || fail "bin/$p is not executable"
  if readelf -d "$usr/bin/$p" 2>/dev/null | grep -qE 'RPATH|RUNPATH'; then fail "bin/$p carries a library search path"; fi
done
out=$("$usr/bin/corvane-merge" --version) || fail "corvane-merge --version failed"
[ "$out" = "corvane-merge $version" ] || fail "corvane-merge --version printed '$out', not 'corvane-merge $version'"

# The desktop entry and the AppStream metadata, as the desktop and software centres read them.
desktop=$usr/share/applications/corvane.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects corvane.desktop"
grep -qx 'Categories=Office;Spreadsheet;' "$desktop" || fail "corvane.desktop lacks Categories=Office;Spreadsheet;"
grep -qx 'Exec=corvane' "$desktop" || fail "corvane.desktop does not start corvane"
grep -qx 'Icon=corvane' "$desktop" || fail "corvane.desktop does not name the icon corvane"
metainfo=$usr/share/metainfo/example.corvane.corvane.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >"$dest.as" 2>&1 || { cat "$dest.as" >&2; fail "appstreamcli rejects the metainfo"; }
# The one note allowed: the maker's .example domain is not a known top-level domain.
if grep -E '^[EWP]:|^I:' "$dest.as" | grep -v 'cid-maybe-not-rdns' | grep -q .; then
  cat "$dest.as" >&2
  fail "appstreamcli has remarks on the metainfo"
fi
rm -f "$dest.as"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
grep -q '<screenshot' "$metainfo" || fail "the metainfo has no screenshot"
appstreamcli validate-tree --no-net "$dest" >"$dest.as" 2>&1 || { cat "$dest.as" >&2; fail "appstreamcli validate-tree rejects the installed tree"; }
rm -f "$dest.as"

# The icon: an SVG and a PNG of each size.
file -b "$usr/share/icons/hicolor/scalable/apps/corvane.svg" | grep -q SVG || fail "corvane.svg is not an SVG image"
for size in 16 24 32 48 64 128 256; do
  png=$usr/share/icons/hicolor/${size}x${size}/apps/corvane.png
  file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size x $size PNG"
done

# The manual pages: they render without a warning, and corvane-merge's names every option.
for page in corvane corvane-merge; do
  gz=$usr/share/man/man1/$page.1.gz
  gzip -t "$gz" || fail "$page.1.gz is not a sound gzip file"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns on $page.1: $warnings"
done
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$usr/share/man/man1/corvane-merge.1.gz" 2>/dev/null | col -b)
for option in $("$usr/bin/corvane-merge" --help | grep -oE '(^|[[ ,])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u); do
  grep -qF -- "$option" <<<"$page" || fail "corvane-merge.1 does not document $option"
done
for status in 0 1 2; do
  grep -qE "^ +$status +" <<<"$page" || fail "corvane-merge.1 does not document exit status $status"
done

# The user manual and the pictures it shows.
manual=$usr/share/corvane/manual/manual.html
for img in $(grep -oE 'src="[^"]+"' "$manual" | sed 's/src="//;s/"$//'); do
  [ -f "$(dirname "$manual")/$img" ] || fail "the manual shows $img, which is not installed"
done

# The package documents.
gzip -t "$usr/share/doc/corvane/changelog.gz" || fail "changelog.gz is not a sound gzip file"
zcat "$usr/share/doc/corvane/changelog.gz" | head -1 | grep -q "^corvane ($version) " || fail "the changelog does not start with version $version"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$usr/share/doc/corvane/copyright" ||
  fail "the copyright file is not in the machine-readable format"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) of the installed layout failed" >&2
  exit 1
fi
echo "installed layout: all checks passed"
