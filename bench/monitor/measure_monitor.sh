#!/usr/bin/env bash
# Measures corvane-monitor beside 2047 simulated radios at poll interval 0: CPU share
# of one core, HTTP scrape time (plain and gzip, as a Prometheus server asks), and
# resident memory over time.
#   bench/monitor/measure_monitor.sh BUILD_DIR [SECONDS]   (default 600)
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
seconds=${2:-600}
work=$(mktemp -d)
trap 'kill $mon $sim 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
"$build/tools/radiosim/corvane-radiosim" --pty --radios 2047 --log /dev/null --network-file NET.RAD >sim.out 2>&1 &
sim=$!
until grep -qx ready sim.out 2>/dev/null; do sleep 0.1; done
pty=$(awk '$1 == "pty" {print $2}' sim.out)
"$build/src/monitor/corvane-monitor" --serial "$pty" --network NET.RAD --mode sequential --interval 0 \
  --metrics 127.0.0.1:0 >mon.out 2>&1 &
mon=$!
until grep -q "metrics at" mon.out 2>/dev/null; do sleep 0.1; done
url=$(grep -o 'http://[^ ]*/metrics' mon.out | head -1)
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$mon/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$mon/status"; }
echo "seconds rss_kB cpu_percent_of_core radios_replied"
start=$(date +%s)
last_cpu=$(cpu); last_t=$start
while (( $(date +%s) - start < seconds )); do
  sleep 30
  now=$(date +%s); c=$(cpu)
  replied=$(curl -s "$url" | grep -c '^corvane_radio_signal_level' || true)
  echo "$((now - start)) $(rss) $(awk -v c=$((c - last_cpu)) -v t=$((now - last_t)) -v k="$ticks" 'BEGIN {printf "%.2f", 100 * c / k / t}') $replied"
  last_cpu=$c; last_t=$now
done
# Wall time on a busy machine says little; the CPU the scrapes cost says more.
for enc in identity gzip; do
  before=$(cpu)
  for _ in 1 2 3 4 5; do
    curl -s -o /dev/null -H "Accept-Encoding: $enc" -w "%{time_total} %{size_download}\n" "$url"
  done | awk -v e=$enc '{t += $1; if ($1 > m) m = $1; s = $2} END {printf "scrape %s: wall mean %.1f ms, max %.1f ms, %d bytes", e, 1000 * t / NR, 1000 * m, s}'
  # 0.5 s of polling rides along in the CPU figure (about 0.1 ms per tick).
  awk -v c=$(( $(cpu) - before )) -v k="$ticks" 'BEGIN {printf ", monitor CPU per scrape %.0f ms\n", 1000 * c / k / 5}'
done
