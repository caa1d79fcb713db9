# shellcheck shell=bash disable=SC2034,SC2154  # sets and reads the callers' variables
# Shared by scripts/run, screenshots, bench and soak: building, the simulator,
# a virtual display and driving the program's window with xdotool.
# Sourced, not run; the caller has `set -euo pipefail` and sets $root.

program_title="Corvane Diagnostics 2.16"

# Qt wants a private runtime folder and warns when there is none.
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
  XDG_RUNTIME_DIR=/tmp/runtime-$(id -u)
  export XDG_RUNTIME_DIR
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
fi

# build_release DIR [extra targets...]: a Release build of the program and the
# simulator. DIR is relative to the repository unless absolute; $CORVANE_BUILD
# overrides it (an existing build folder is used as it is configured).
build_release() {
  local dir=${CORVANE_BUILD:-$1}; shift
  [[ $dir = /* ]] || dir=$root/$dir
  if [[ ! -f $dir/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=OFF >/dev/null
  fi
  local log
  log=$(mktemp)
  if ! cmake --build "$dir" -j "$(nproc)" --target corvane-diagnostics corvane-radiosim "$@" >"$log" 2>&1; then
    tail -40 "$log" >&2; rm -f "$log"; echo "the build failed" >&2; return 1
  fi
  rm -f "$log"
  build_dir=$dir
  program_exe=$dir/corvane-diagnostics
  radiosim_exe=$dir/tools/radiosim/corvane-radiosim
}

# start_sim OUTFILE [simulator options...]
# Starts the simulator in the background and waits for its "ready" line.
# Sets sim_pid, sim_pty, sim_tcp_port, sim_udp_port (empty when not asked for).
start_sim() {
  local out=$1; shift
  : >"$out"
  "$radiosim_exe" "$@" >"$out" 2>&1 &
  sim_pid=$!
  local waited=0
  until grep -qx ready "$out"; do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      wait "$sim_pid" 2>/dev/null || true
      sim_pid=""
      return 1
    fi
    ((waited++ < 200)) || { echo "the simulator did not get ready in 20 s" >&2; stop_sim; return 1; }
    sleep 0.1
  done
  sim_pty=$(awk '$1 == "pty" {print $2}' "$out")
  sim_tcp_port=$(awk '$1 == "tcp" {n = split($2, a, ":"); print a[n]}' "$out")
  sim_udp_port=$(awk '$1 == "udp" {n = split($2, a, ":"); print a[n]}' "$out")
}

stop_sim() {
  if [[ -n ${sim_pid:-} ]] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=""
}

# A private X display: sets DISPLAY and xvfb_pid. Xvfb picks a free display number.
start_xvfb() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  if ! read -r -t 20 number <"$fifo"; then
    rm -f "$fifo"
    echo "Xvfb did not start" >&2
    return 1
  fi
  rm -f "$fifo"
  export DISPLAY=":$number"
}

stop_xvfb() {
  if [[ -n ${xvfb_pid:-} ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
    kill -TERM "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=""
}

# wait_window SECONDS [PID]: waits for the program's main window; prints its id.
# Gives up early when the program (PID) has exited.
wait_window() {
  local limit=$(($1 * 10)) pid=${2:-} i id
  for ((i = 0; i < limit; i++)); do
    if [[ -n $pid ]] && ! kill -0 "$pid" 2>/dev/null; then
      echo "the program exited before its window appeared" >&2
      return 1
    fi
    id=$(xdotool search --onlyvisible --name "^${program_title}\$" 2>/dev/null | head -1 || true)
    if [[ -n $id ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Keys to the window that has the focus: give it to the main window first.
# There is no window manager on the virtual display, so the focus is set directly.
keys_to() {
  local win=$1; shift
  xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
  local k
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    sleep 0.3
  done
}

# Typed text to whichever window has the focus (a dialog's edit box).
type_text() { xdotool type --delay 50 "$1"; }

# focus_dialog TITLE: waits up to 10 s for a dialog of that title and gives it the focus.
focus_dialog() {
  local i id
  for ((i = 0; i < 100; i++)); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)
    if [[ -n $id ]]; then
      xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
      sleep 0.3
      return 0
    fi
    sleep 0.1
  done
  echo "no \"$1\" dialog appeared" >&2
  return 1
}

# File > Open Network File, then the file's name into the dialog.
open_network_file() {
  keys_to "$1" alt+f Down Return
  focus_dialog "Open Radio File"
  xdotool key ctrl+a
  type_text "$2"
  xdotool key Return
  sleep 1
}

# Communication > Open Comm (the third item: Chg Comm port, Close Comm, Open Comm).
open_comm() { keys_to "$1" alt+c Down Down Return; }

# Poll Options > Set Poll Interval (the fourth item), then the value into its prompt.
set_poll_interval() {
  keys_to "$1" alt+o Down Down Down Return
  focus_dialog "Polling Interval"
  xdotool key ctrl+a
  type_text "$2"
  xdotool key Return
}

# Resident memory figures of a process, in KiB: vm_field PID VmRSS|VmHWM
vm_field() { awk -v f="$2:" '$1 == f {print $2}' "/proc/$1/status"; }
