#!/usr/bin/env bash
# Packs the build it is given, unpacks the .deb into a throwaway root and checks
# what a desktop and a technician will find there.
#   tests/package/package_test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$tmp/out") >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack"; }
debs=("$tmp"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

root=$tmp/root
dpkg-deb -x "$deb" "$root"
ctl=$tmp/control
dpkg-deb -e "$deb" "$ctl"

app=com.corvane.Diagnostics
expect=(
  usr/bin/corvane-diagnostics usr/bin/corvane-radiosim usr/bin/corvane-decode
  "usr/share/applications/$app.desktop" "usr/share/metainfo/$app.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$app.svg"
  usr/share/man/man1/corvane-diagnostics.1 usr/share/man/man1/corvane-radiosim.1 usr/share/man/man1/corvane-decode.1
)
for s in 16 24 32 48 64 128 256; do expect+=("usr/share/icons/hicolor/${s}x$s/apps/$app.png"); done
if [[ -e $root/usr/bin/corvane-monitor ]]; then
  expect+=(usr/share/man/man1/corvane-monitor.1 usr/lib/systemd/system/corvane-monitor.service)
fi
for f in "${expect[@]}"; do [[ -s $root/$f ]] || fail "missing $f"; done

# PNG icons are the size their folder says.
for s in 16 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${s}x$s/apps/$app.png
  read -r w h < <(od -An -j16 -N8 -tu1 "$png" | awk '{print $3*256+$4, $7*256+$8}')
  [[ "$w $h" == "$s $s" ]] || fail "$png is ${w}x$h"
done

desktop-file-validate "$root/usr/share/applications/$app.desktop" | grep -v '^[^:]*: hint:' && fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >"$tmp/as.log" 2>&1 ||
  { cat "$tmp/as.log" >&2; fail "metainfo"; }

for page in "$root"/usr/share/man/man1/*.1; do
  out=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page"
  [[ -z $out ]] || fail "man -l $page warns: $out"
  [[ $(MANWIDTH=80 man -l "$page" 2>/dev/null) == *NAME* ]] || fail "$page renders no NAME section"
done

for p in corvane-diagnostics corvane-radiosim corvane-decode; do
  v=$(QT_QPA_PLATFORM=offscreen timeout 10 "$root/usr/bin/$p" --version) || fail "$p --version"
  [[ $v == "$p "[0-9]* ]] || fail "$p --version printed \"$v\""
  h=$(QT_QPA_PLATFORM=offscreen timeout 10 "$root/usr/bin/$p" --help) || fail "$p --help"
  [[ $h == *--version* ]] || fail "$p --help does not list --version"
done

depends=$(dpkg-deb --field "$deb" Depends)
[[ $depends == *libc6* && $depends == *libqt6widgets6* ]] || fail "Depends not computed: $depends"
for s in postinst prerm postrm; do [[ -x $ctl/$s ]] || fail "no $s"; done
grep -q 'dialout' "$ctl/postinst" || fail "postinst does not add the user to dialout"
echo "package ok: $(basename "$deb")"
