#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks the tree (exactly these files), the
# desktop entry and the Debian documents. Arguments: the build folder, the configured install prefix,
# the built program, the repository's LICENSE.
set -euo pipefail
build="$1" prefix="$2" program="$3" license="$4"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" >/dev/null
root="$stage$prefix"
fail() { echo "FAIL: $*" >&2; exit 1; }

sizes=(16 22 24 32 48 64 128 256)
expected=(bin/tindralume share/applications/tindralume.desktop share/icons/hicolor/scalable/apps/tindralume.svg
          share/doc/tindralume/copyright share/doc/tindralume/changelog.gz)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/tindralume.png"); done
want="$(printf '%s\n' "${expected[@]}" | sort)"
got="$(cd "$stage" && find . -type f -o -type l | sed "s|^\./${prefix#/}/||" | sort)"
[ "$got" = "$want" ] || fail "installed tree differs:"$'\n'"$(diff <(echo "$want") <(echo "$got") || true)"

[ -x "$root/bin/tindralume" ] || fail "the program is not executable"
cmp -s "$root/bin/tindralume" "$program" || fail "the installed program is not the built one"

entry="$root/share/applications/tindralume.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate refuses the entry"
# Key=value of the main group, or of the group named in $2.
value() {
    awk -v key="$1" -v group="${2:-Desktop Entry}" '
        /^\[/ { in_group = ($0 == "[" group "]") ; next }
        in_group && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$entry"
}
checks=("Type|Application" "Name|Tindralume" "Exec|tindralume" "Icon|tindralume" "Categories|Utility;"
        "Terminal|false" "Actions|Settings;")
for c in "${checks[@]}"; do
    [ "$(value "${c%%|*}")" = "${c#*|}" ] || fail "${c%%|*}=$(value "${c%%|*}"), expected ${c#*|}"
done
[ -n "$(value Comment)" ] || fail "no Comment"
[ "$(value Exec 'Desktop Action Settings')" = "tindralume --settings" ] || fail "the Settings action does not open the settings"
[ -n "$(value Name 'Desktop Action Settings')" ] || fail "the Settings action has no name"

# Every PNG is a PNG of its folder's size.
for s in "${sizes[@]}"; do
    png="$root/share/icons/hicolor/${s}x${s}/apps/tindralume.png"
    dims="$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "not a PNG")' "$png")"
    [ "$dims" = "${s}x${s}" ] || fail "$png is $dims"
done
grep -q "<svg" "$root/share/icons/hicolor/scalable/apps/tindralume.svg" || fail "the scalable icon is no SVG"
# The copyright in the machine-readable format, holding LICENSE's holder and text.
copyright="$root/share/doc/tindralume/copyright"
[ "$(head -1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "the copyright file is not machine-readable"
grep -qx "Copyright: $(sed -n 's/^Copyright (c) //p' "$license")" "$copyright" || fail "the copyright names another holder"
grep -qx "License: Expat" "$copyright" || fail "the copyright names no Expat licence"
[ "$(sed -n '/^License:/,$p' "$copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')" = \
  "$(sed -n '/^Permission/,$p' "$license")" ] || fail "the copyright's licence text is not LICENSE's"
zcat "$root/share/doc/tindralume/changelog.gz" | head -1 | grep -q "^tindralume (" || fail "the changelog is unreadable"
echo "install tree, desktop entry and documents OK under $prefix"
