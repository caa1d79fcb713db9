#!/usr/bin/env bash
# scripts/check-layers on small trees: a downward include passes, an upward one,
# one into a shell and one from an unknown folder fail with the file named.
set -u
check=${1:?path to scripts/check-layers}
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

write() { mkdir -p "$(dirname "$tree/$1")"; printf '%s\n' "$2" >"$tree/$1"; }
expect() {  # expect STATUS PATTERN: run the check, compare exit status and message
    local output status
    output=$("$check" --src "$tree" 2>&1); status=$?
    if [[ $status -ne $1 ]] || ! grep -qF -- "$2" <<<"$output"; then
        echo "FAIL: wanted status $1 and '$2', got $status:"; echo "$output"; failures=$((failures + 1))
    fi
}

write model/table.h '#include "platform/clock.h"'
write platform/clock.h '#include <string>'
write qt/window.cpp '#include "app/program.h"'
write main.cpp '#include "qt/window.h"'
expect 0 ""

write model/up.cpp '#include "engine/poll.h"'
expect 1 'src/model/up.cpp includes "engine/poll.h": model may not use engine (order: platform <- text'
rm "$tree/model/up.cpp"

write app/shell.cpp '#include "monitor/view.h"'
expect 1 'src/app/shell.cpp includes "monitor/view.h": app may not use monitor'
rm "$tree/app/shell.cpp"

write monitor/both.cpp '#include "qt/window.h"'
expect 1 'monitor may not use qt'
rm "$tree/monitor/both.cpp"

write stray/thing.cpp '#include "model/table.h"'
expect 1 'src/stray/thing.cpp: folder stray is not in the layer order'
rm -r "$tree/stray"

"$check" --src "$tree" --graph | grep -x 'model     -> platform' >/dev/null || { echo "FAIL: graph"; failures=$((failures + 1)); }

exit $((failures > 0))
