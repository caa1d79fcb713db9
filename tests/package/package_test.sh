#!/usr/bin/env bash
# Packs the build it is given, unpacks the .deb into a throwaway root and checks
# what a desktop and a technician will find there.
#   tests/package/package_test.sh BUILD_DIR [HARDENED]
# HARDENED=ON (a build with dpkg-buildflags) also fails on lintian's hardening tags.
set -euo pipefail
build=$1
hardened=${2:-OFF}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$tmp/out") >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack"; }
debs=("$tmp"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
ddebs=("$tmp"/out/*-dbgsym_*.ddeb)
[[ -f ${ddebs[0]} ]] || fail "no -dbgsym package"

# lintian: no error and no warning (information tags are allowed, but not the
# hardening ones when the build was made with the distribution's flags).
lintian --fail-on error,warning --display-info "$deb" "${ddebs[0]}" >"$tmp/lintian.log" 2>&1 ||
  { cat "$tmp/lintian.log" >&2; fail "lintian"; }
grep -E '^[EW]: ' "$tmp/lintian.log" >&2 && fail "lintian"
if [[ $hardened == ON ]]; then
  grep -E 'hardening-no-' "$tmp/lintian.log" >&2 && fail "lintian: not hardened"
fi

root=$tmp/root
dpkg-deb -x "$deb" "$root"
ctl=$tmp/control
dpkg-deb -e "$deb" "$ctl"

app=com.corvane.Diagnostics
expect=(
  usr/bin/corvane-diagnostics usr/bin/corvane-radiosim usr/bin/corvane-decode
  "usr/share/applications/$app.desktop" "usr/share/metainfo/$app.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$app.svg"
  usr/share/man/man1/corvane-diagnostics.1.gz usr/share/man/man1/corvane-radiosim.1.gz
  usr/share/man/man1/corvane-decode.1.gz
  "usr/share/mime/packages/$app.xml"
  usr/share/doc/corvane-diagnostics/copyright usr/share/doc/corvane-diagnostics/changelog.gz
  usr/share/doc/corvane-diagnostics/manual/index.html
)
for s in 16 24 32 48 64 128 256; do expect+=("usr/share/icons/hicolor/${s}x$s/apps/$app.png"); done
if [[ -e $root/usr/bin/corvane-monitor ]]; then
  expect+=(usr/share/man/man1/corvane-monitor.1.gz usr/lib/systemd/system/corvane-monitor.service
    usr/lib/systemd/system/corvane-monitor@.service etc/default/corvane-monitor
    usr/share/doc/corvane-diagnostics/examples/prometheus.yml
    usr/share/doc/corvane-diagnostics/examples/corvane-alerts.yml
    usr/share/doc/corvane-diagnostics/examples/corvane-monitor.yml
    usr/share/doc/corvane-diagnostics/MODBUS.md usr/share/doc/corvane-diagnostics/modbus-registers.csv
    usr/share/doc/corvane-diagnostics/examples/corvane-recording.yml
    usr/share/doc/corvane-diagnostics/examples/alertmanager-inhibit.yml
    usr/share/doc/corvane-diagnostics/examples/grafana-dashboard.json)
fi
for f in "${expect[@]}"; do [[ -s $root/$f ]] || fail "missing $f"; done

# PNG icons are the size their folder says.
for s in 16 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${s}x$s/apps/$app.png
  read -r w h < <(od -An -j16 -N8 -tu1 "$png" | awk '{print $3*256+$4, $7*256+$8}')
  [[ "$w $h" == "$s $s" ]] || fail "$png is ${w}x$h"
done

# Not even a hint: one main category, as the menu files it under one heading.
out=$(desktop-file-validate "$root/usr/share/applications/$app.desktop" 2>&1) || fail "desktop entry: $out"
[[ -z $out ]] || fail "desktop entry: $out"
desktop=$root/usr/share/applications/$app.desktop
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >"$tmp/as.log" 2>&1 ||
  { cat "$tmp/as.log" >&2; fail "metainfo"; }

# Network files: the type is defined, the desktop entry and the metainfo claim it,
# and the program is handed the file. The glob matches any case of .RAD.
mime=application/x-corvane-network
grep -q "^MimeType=$mime;\$" "$desktop" || fail "desktop entry has no MimeType=$mime"
grep -q '^Exec=corvane-diagnostics %f$' "$desktop" || fail "desktop entry does not pass the file (%f)"
grep -q "<mediatype>$mime</mediatype>" "$root/usr/share/metainfo/$app.metainfo.xml" || fail "metainfo lacks $mime"
share=$tmp/share
mkdir -p "$share/mime/packages"
cp "$root/usr/share/mime/packages/$app.xml" "$share/mime/packages/"
export XDG_DATA_HOME=$share XDG_DATA_DIRS=$share:/usr/share
update-mime-database "$share/mime" >"$tmp/mime.log" 2>&1 || { cat "$tmp/mime.log" >&2; fail "update-mime-database"; }
[[ ! -s $tmp/mime.log ]] || { cat "$tmp/mime.log" >&2; fail "update-mime-database warns"; }
grep -qx "[0-9]*:$mime:\*\.rad" "$share/mime/globs2" || fail "no case-insensitive *.rad glob for $mime"
if command -v gio >/dev/null; then
  for name in SITE.RAD Site.Rad site.rad; do
    printf 'IP ADDRESS 10.0.0.2\r\n  123456  0 NewRadio\r\n' >"$tmp/$name"
    type=$(gio info -a standard::content-type "$tmp/$name" | sed -n 's/.*content-type: //p')
    [[ $type == "$mime" ]] || fail "$name is \"$type\", not $mime"
  done
fi
unset XDG_DATA_HOME XDG_DATA_DIRS

# The service runs as the static user postinst makes (in dialout), reads its
# options from the conffile, and purge takes the user again.
if [[ -e $root/usr/bin/corvane-monitor ]]; then
  unit=$root/usr/lib/systemd/system/corvane-monitor.service
  grep -q '^DynamicUser=' "$unit" && fail "the unit uses a dynamic user beside the static one"
  grep -q '^User=corvane$' "$unit" || fail "the unit does not run as corvane"
  grep -q '^EnvironmentFile=-/etc/default/corvane-monitor$' "$unit" || fail "the unit does not read /etc/default"
  grep -qx /etc/default/corvane-monitor "$ctl/conffiles" || fail "/etc/default/corvane-monitor is not a conffile"
  grep -q '^CORVANE_MONITOR_ARGS=' "$root/etc/default/corvane-monitor" || fail "/etc/default sets no options"
  grep -q 'useradd --system' "$ctl/postinst" || fail "postinst makes no system user"
  grep -q 'userdel corvane' "$ctl/postrm" || fail "postrm does not remove the user on purge"
  for s in postinst prerm postrm; do
    grep -E '^[^#]*systemctl +(start|stop|restart|try-restart|enable)' "$ctl/$s" && fail "$s calls systemctl"
  done
  # One instance per site: its own options file and state folder; removing the package stops them all.
  site=$root/usr/lib/systemd/system/corvane-monitor@.service
  for line in '^EnvironmentFile=/etc/default/corvane-monitor-%i$' '^StateDirectory=corvane/%i$' \
    '^WorkingDirectory=/var/lib/corvane/%i$' '^User=corvane$'; do
    grep -q "$line" "$site" || fail "the site unit has no line matching $line"
  done
  grep -q "deb-systemd-invoke stop .*'corvane-monitor@\*.service'" "$ctl/prerm" || fail "prerm leaves the sites running"
  # The register map as a SCADA tag import reads it.
  head -1 "$root/usr/share/doc/corvane-diagnostics/modbus-registers.csv" | grep -qx 'register,name,unit,scale,signed' ||
    fail "modbus-registers.csv has not the import header"
fi

# The user guide is a whole HTML page that names every screen and the man pages.
guide=$root/usr/share/doc/corvane-diagnostics/manual/index.html
for w in '<title>' Screen0 Screen1 Screen2 Graphics3 Graphics4 Current.log corvane-monitor 'man corvane-diagnostics' '</html>'; do
  grep -q -- "$w" "$guide" || fail "the user guide does not mention $w"
done
if command -v xmllint >/dev/null; then
  xmllint --html --noout "$guide" 2>"$tmp/html.log" || true
  [[ ! -s $tmp/html.log ]] || { cat "$tmp/html.log" >&2; fail "the user guide is not clean HTML"; }
fi

for page in "$root"/usr/share/man/man1/*.1.gz; do
  [[ $(od -An -j3 -N1 -tu1 "$page") -eq 0 && $(od -An -j4 -N4 -tu4 "$page") -eq 0 ]] ||
    fail "$page carries a name or time stamp (not gzip -n)"
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
