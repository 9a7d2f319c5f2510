#!/usr/bin/env python3
"""Prints one table of the figures the benchmarks report, from their JSON outputs."""
import json
import sys
from pathlib import Path


def load(folder):
    rows = {}
    for file in sorted(Path(folder).glob("*.json")):
        for b in json.loads(file.read_text()).get("benchmarks", []):
            # Medians of repeated runs where there are repetitions, else the single run.
            aggregate = b.get("run_type") == "aggregate"
            if aggregate and b.get("aggregate_name") != "median":
                continue
            name = b["name"].replace("_median", "")
            if name in rows and not aggregate:
                continue  # one repetition of a benchmark whose median is listed
            rows[name] = b
    return rows


def find(rows, prefix):
    return [b for n, b in rows.items() if n.startswith(prefix)]


def main():
    rows = load(sys.argv[1])
    table = []
    for prefix, label in (("BM_RegisterRead/", "register read, parallel adapter"),
                          ("BM_RegisterReadUsb/", "register read, USB card"),
                          ("BM_RegisterReadPpdev/", "register read, ppdev loopback")):
        for b in find(rows, prefix):
            table.append((label, f"{b['reads/s']:.0f} reads/s",
                          f"{b['ratio_to_floor']:.3f} of the pause floor"))
    for b in find(rows, "BM_DelayMs/"):
        ms = b["name"].split("/")[1]
        table.append((f"DelayMs({ms})", f"{b['cpu_per_s']:.4f} s processor per s",
                      f"{b['actual/requested']:.4f} actual / requested"))
    for b in find(rows, "BM_SleepLateness/"):
        slack = b["name"].split("/")[1].split(":")[1]
        table.append((f"sleep wake-up, timer slack {slack} ns",
                      f"{b['p50_us']:.0f} us late at the median",
                      f"{b['p99_us']:.0f} us at p99, {b['max_us']:.0f} us at worst"))
    for b in find(rows, "BM_ReadLoopCpu/"):
        ms = b["name"].split("/")[1].split(":")[1]
        table.append((f"read loop at {ms} ms, parallel", f"{b['cpu_per_s']:.4f} s processor per s",
                      ""))
    for b in find(rows, "BM_IdleWindowCpu"):
        table.append(("idle window", f"{b['cpu_per_s']:.6f} s processor per s", ""))
    for b in find(rows, "BM_ReadLoop/"):
        paints = f", {b['paints/cycle']:.2f} paints a cycle" if "paints/cycle" in b else ""
        table.append(("read loop, parallel, no log",
                      f"{b['cycle_ms']:.3f} ms a cycle (floor {b['floor_ms']:.2f} ms)",
                      f"{b['overhead_%']:.1f} % over the floor{paints}"))
        table.append(("read loop, parallel, logging",
                      f"{b['logged_ms']:.3f} ms a cycle (floor {b['floor_ms']:.2f} ms)",
                      f"{b['logged_overhead_%']:.1f} % over the floor, "
                      f"{b['log_cost_%']:+.1f} % the log's own"))
    for b in find(rows, "BM_ReadLoopNoiseWindow"):
        table.append(("read loop, Noise window open / closed",
                      f"{b['open_ms']:.3f} / {b['closed_ms']:.3f} ms a cycle",
                      f"{b['open_over_%']:+.1f} % ({b['open_cpu_over_%']:+.1f} % running time), "
                      f"painting {b['open_paint_us']:.0f} / {b['closed_paint_us']:.0f} us a cycle"))
    for prefix, label in (("BM_NoiseWindowRefresh", "Noise window refresh, 1 h live, GUI thread"),
                          ("BM_NoiseLiveAnalysis", "Noise live analysis, 1 h, worker")):
        for b in find(rows, prefix):
            table.append((label, f"{b['real_time']:.2f} {b.get('time_unit', 'ms')}", ""))
    for b in find(rows, "BM_CycleParts/"):
        unit = b.get("time_unit", "us")
        table.append((f"cycle part: {b['name'].split('/')[1]}", f"{b['real_time']:.1f} {unit}",
                      f"{b['cpu_time']:.1f} {unit} processor"))
    for b in find(rows, "BM_CliLog/"):
        via = "USB card" if "interface:2" in b["name"] else "parallel adapter"
        table.append((f"cli log --interval 0, {via}", f"{b['rows/s']:.0f} rows/s",
                      f"{b['ratio_to_floor']:.3f} of the pause floor"))
    for prefix, label in (("BM_PlotPoint/", "PlotPoint"),
                          ("BM_PlotPointAndRepaint/", "PlotPoint with repaint"),
                          ("BM_RedrawPlot/", "RedrawPlot")):
        for b in find(rows, prefix):
            unit = b.get("time_unit", "ns")
            table.append((label, f"{b['real_time']:.1f} {unit}", ""))
    for b in find(rows, "BM_AllanOctave/"):
        unit = b.get("time_unit", "ms")
        samples = b.get("run_name", b["name"]).split("/")[1]
        table.append((f"Allan deviation, octave grid, {samples} samples",
                      f"{b['real_time']:.1f} {unit}", ""))
    for prefix, label in (("BM_IncrementalAdd/", "incremental Allan, memory held"),
                          ("BM_IncrementalGrow/", "incremental Allan, memory growing")):
        for b in find(rows, prefix):
            samples = b.get("run_name", b["name"]).split("/")[1]
            table.append((f"{label}, {samples} samples",
                          f"{b['per_sample'] * 1e9:.1f} ns a sample", ""))
    width = [max(len(r[i]) for r in table) for i in range(3)]
    for r in table:
        print("  ".join(c.ljust(w) for c, w in zip(r, width)).rstrip())


if __name__ == "__main__":
    main()
