#!/usr/bin/env python3
"""Prints the one table of scripts/bench from the micro-benchmarks' JSON (Google Benchmark's
--benchmark_out) and the macro harness's JSON: each figure, its target, whether it is met,
and its ratio to each peer."""

import json
import sys


def fmt(value, unit=""):
    if value is None:
        return "–"
    return f"{value:.4g}{unit}" if abs(value) < 100 else f"{value:.0f}{unit}"


def ratio(ours, theirs):
    if ours is None or not theirs:
        return "–"
    return f"{ours / theirs:.3g}×"


def micro_rows(micro):
    rows = []
    for b in micro.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration":
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[b["time_unit"]]
        rows.append((b["name"], b["real_time"] * scale, b["cpu_time"] * scale))
    return rows


def main():
    micro = json.load(open(sys.argv[1]))
    macro = json.load(open(sys.argv[2]))
    s = macro["saver"]
    p = macro.get("peers", {})
    peer = lambda name, key: p.get(name, {}).get(key)
    micro_us = {name: real for name, real, _ in micro_rows(micro)}
    list_32k = None
    if "BM_NormaliseRadarList/0" in micro_us and "BM_ParseRadarList/0" in micro_us:
        list_32k = (micro_us["BM_NormaliseRadarList/0"] + micro_us["BM_ParseRadarList/0"]) / 1000
    idle_rss = s["cpu_500"]["rss_mb"]

    rows = []  # figure, saver value, target, met, feh, Chromium

    def peer_cell(ours, theirs, unit):
        return "–" if theirs is None else f"{fmt(theirs, unit)} ({ratio(ours, theirs)})"

    def row(name, value, unit, target, met, feh_value=None, chromium=None):
        rows.append((name, fmt(value, unit), target, "yes" if met else "NO",
                     peer_cell(value, feh_value, unit), peer_cell(value, chromium, unit)))

    for key, label in (("hold_idle", "idle"), ("hold_pass", "during a pass")):
        h = s[key]
        row(f"frame hold error, median, {label} ({h['frames']} frames)", h.get("median_ms"),
            " ms", "≤ 2 ms", h.get("median_ms", 99) <= 2)
        row(f"frame hold error, p99, {label}", h.get("p99_ms"), " ms", "≤ 10 ms",
            h.get("p99_ms", 99) <= 10)
    c100, c500 = s["cpu_100"], s["cpu_500"]
    feh100, chr100 = peer("feh_100", "cpu_pct"), peer("chromium_100", "cpu_pct")
    row("CPU, 100 ms with preloading", c100["cpu_pct"], " %", "≤ 2 %, ≤ feh, ≤ Chromium/10",
        c100["cpu_pct"] <= 2 and (feh100 is None or c100["cpu_pct"] <= feh100) and
        (chr100 is None or c100["cpu_pct"] <= chr100 / 10), feh_value=feh100, chromium=chr100)
    chr500 = peer("chromium_500", "cpu_pct")
    row("CPU, 500 ms without preloading", c500["cpu_pct"], " %", "≤ 3 %, ≤ Chromium/10",
        c500["cpu_pct"] <= 3 and (chr500 is None or c500["cpu_pct"] <= chr500 / 10),
        feh_value=peer("feh_500", "cpu_pct"), chromium=chr500)
    for key, rate in (("cpu_100", 100), ("cpu_500", 500)):
        chromium = peer(f"chromium_{rate}", "rss_mb")
        row(f"resident memory, {rate} ms", s[key]["rss_mb"], " MB", "≤ Chromium/10",
            chromium is None or s[key]["rss_mb"] <= chromium / 10,
            feh_value=peer(f"feh_{rate}", "rss_mb"), chromium=chromium)
    for key, label in (("rss_130", "2×130"), ("rss_65", "2×65")):
        if key in s:
            above = s[key] - idle_rss
            row(f"memory above the idle saver, {label} frames preloaded", above, " MB",
                "≤ 50 MB", above <= 50)
    for key, server in (("first_frame_ms", "fast"), ("first_frame_slow_ms", "15 s slow"),
                        ("first_frame_dead_ms", "dead")):
        if key in s:
            row(f"start to first frame, warm cache, {server} server", s[key], " ms", "≤ 1600 ms",
                s[key] <= 1600)
    ps = s["pass"]
    row(f"pass of {ps['transfers']} transfers, × its floor ({ps['floor_s']:.1f} s)", ps["ratio"],
        "", "≤ 1.2", ps["ratio"] <= 1.2)
    row("normalise + parse a 32 KB frame list", list_32k, " ms", "≤ 1 ms",
        list_32k is not None and list_32k <= 1)

    header = ("Figure", "Saver", "Target", "Met", "feh (saver ÷ feh)", "Chromium (saver ÷ Chromium)")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for r in rows:
        print("| " + " | ".join(r) + " |")
    print()
    # Wall time is what a tick waits; CPU time shows how much of it other processes took.
    print("| Micro-benchmark | Time per call | CPU time per call |")
    print("|---|---|---|")
    for name, real, cpu in micro_rows(micro):
        print(f"| {name} | {fmt(real, ' µs')} | {fmt(cpu, ' µs')} |")


if __name__ == "__main__":
    main()
