#!/usr/bin/env python3
"""Runs the real saver ("nimbuscope /s") on a private Xvfb display against tools/noaa-sim,
and the two peers (Chromium showing the simulator's loop page, feh as a slideshow of the same
files) on the same display and frames, and prints the figures as JSON.

The saver's own frame trace (NIMBUSCOPE_FRAME_TRACE) gives the times frames were shown and
passes ran; CPU (utime + stime) and resident memory come from /proc. Not part of CI: a run
takes a few minutes.
"""

import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

ZIP = "64106"
SITE = "keax"
PRODUCTS = ("DS.p19r0", "DS.p20-r")
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
PAGE_KB = os.sysconf("SC_PAGE_SIZE") // 1024


def monotonic():
    return time.clock_gettime(time.CLOCK_MONOTONIC)


# --- processes and /proc -------------------------------------------------------------------

def process_tree(root_pid):
    """root_pid and every descendant alive now."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    tree, todo = [], [root_pid]
    while todo:
        pid = todo.pop()
        tree.append(pid)
        todo.extend(children.get(pid, []))
    return tree


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except (OSError, IndexError, ValueError):
            pass
    return total / CLOCK_TICKS


def rss_mb(pids):
    total = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/statm") as f:
                total += int(f.read().split()[1]) * PAGE_KB
        except (OSError, IndexError, ValueError):
            pass
    return total / 1024


def measure(root_pid, seconds, tree=False):
    """CPU % of one core over `seconds`, and the largest resident size seen (MB)."""
    pids = lambda: process_tree(root_pid) if tree else [root_pid]
    start_cpu, start = cpu_seconds(pids()), monotonic()
    peak = 0.0
    while monotonic() - start < seconds:
        time.sleep(0.5)
        peak = max(peak, rss_mb(pids()))
    cpu = cpu_seconds(pids()) - start_cpu
    return {"cpu_pct": 100.0 * cpu / (monotonic() - start), "rss_mb": peak}


def stop(proc):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


# --- the world: display, simulator, registry -------------------------------------------------

class World:
    def __init__(self, build, root):
        self.build, self.root = build, root
        self.procs = []
        number = next(n for n in range(150, 600) if not os.path.exists(f"/tmp/.X{n}-lock"))
        self.display = f":{number}"
        self.spawn(["Xvfb", self.display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"])
        wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{number}"), "Xvfb")
        reg = os.path.join(root, "sim.reg")
        out = os.path.join(root, "sim.out")
        self.spawn([os.path.join(build, "tools/noaa-sim/noaa-sim"), "--port", "0",
                    "--print-reg", reg], stdout=open(out, "w"))
        wait_for(lambda: "listening on" in open(out).read(), "noaa-sim")
        self.base = open(out).read().split("listening on ")[1].split()[0]
        self.sim_reg = open(reg).read()

    def spawn(self, args, env=None, **kw):
        kw.setdefault("stdout", subprocess.DEVNULL)
        proc = subprocess.Popen(args, env=env, stderr=subprocess.DEVNULL, **kw)
        self.procs.append(proc)
        return proc

    def close(self):
        for proc in reversed(self.procs):
            stop(proc)

    def sim(self, path, data=None):
        req = urllib.request.Request(self.base + path.lstrip("/"),
                                     data=b"" if data is not None else None)
        return urllib.request.urlopen(req, timeout=10).read().decode()

    def frames(self, count):
        self.sim(f"/_sim/frames?count={count}", data=True)

    def frame_urls(self):
        """The listed frames of both products, in the order the saver shows them."""
        urls = []
        for product in PRODUCTS:
            for line in self.sim(f"/radar/loopdata/{product}/{SITE}.txt").split():
                urls.append(self.base + "radar/" + line.split("../../", 1)[-1].lstrip("/"))
        return urls


def wait_for(ready, what, seconds=30):
    deadline = monotonic() + seconds
    while monotonic() < deadline:
        try:
            if ready():
                return
        except OSError:
            pass
        time.sleep(0.05)
    raise RuntimeError(f"{what} did not come up")


class Saver:
    """One saver process with its own folders; `cache_from` reuses another's cache."""

    def __init__(self, world, name, rate_ms, discard_minutes=240, cache_from=None):
        self.world = world
        self.home = cache_from.home if cache_from else os.path.join(world.root, name)
        self.trace = os.path.join(world.root, name + ".trace")
        env = dict(os.environ, DISPLAY=world.display, HOME=self.home,
                   XDG_CONFIG_HOME=f"{self.home}/config", XDG_CONFIG_DIRS=f"{self.home}/xdg",
                   XDG_RUNTIME_DIR=f"{self.home}/run", TMPDIR=f"{self.home}/tmp",
                   NIMBUSCOPE_FRAME_TRACE=self.trace)
        env.pop("XSCREENSAVER_WINDOW", None)
        for folder in ("config/nimbuscope/registry", "xdg/nimbuscope/registry", "run", "tmp"):
            os.makedirs(f"{self.home}/{folder}", exist_ok=True)
        os.chmod(f"{self.home}/run", 0o700)
        extra = (f'"zipcode"="{ZIP}"\n"animationRateMS"=dword:{rate_ms:08x}\n'
                 f'"discardAfter"=dword:{discard_minutes:08x}\n')
        # The same values in both hives: the saver reads the machine hive when it may write
        # there (as root), else the user's.
        for root, folder in (("HKEY_CURRENT_USER", "config"), ("HKEY_LOCAL_MACHINE", "xdg")):
            with open(f"{self.home}/{folder}/nimbuscope/registry/{root}.reg", "w") as f:
                f.write(world.sim_reg.replace("HKEY_CURRENT_USER", root) + extra)
        self.started = monotonic()
        self.proc = world.spawn([os.path.join(world.build, "bin/nimbuscope"), "/s"], env=env)

    def events(self):
        out = []
        try:
            with open(self.trace) as f:
                for line in f:
                    parts = line.split()
                    if len(parts) >= 2:
                        out.append((float(parts[0]), parts[1], parts[2:]))
        except OSError:
            pass
        return out

    def frames(self):
        return [(t, rest) for t, kind, rest in self.events() if kind == "frame"]

    def wait_pass_end(self, count=1, seconds=120):
        wait_for(lambda: sum(1 for e in self.events() if e[1] == "pass-end") >= count,
                 "a pass", seconds)

    def wait_frames(self, count, seconds=300):
        wait_for(lambda: len(self.frames()) >= count, f"{count} frames", seconds)

    def stop(self):
        stop(self.proc)


# --- figures ------------------------------------------------------------------------------

def hold_errors(frames, start, end):
    """Each frame's time on screen less the interval it was given (ms), for frames shown
    between `start` and `end` and followed by another."""
    errors = []
    for (t, rest), (t_next, _) in zip(frames, frames[1:]):
        if start <= t and t_next <= end:
            errors.append((t_next - t) * 1000.0 - int(rest[2]))
    return errors


def summary(errors, limit):
    errors = errors[:limit]
    if not errors:
        return {"frames": 0}
    ordered = sorted(errors)
    p99 = ordered[min(len(ordered) - 1, int(round(0.99 * (len(ordered) - 1))))]
    return {"frames": len(errors), "median_ms": statistics.median(errors), "p99_ms": p99,
            "max_ms": ordered[-1]}


def passes(events):
    """(start, end) of every pass that ended."""
    out, start = [], None
    for t, kind, _ in events:
        if kind == "pass-start":
            start = t
        elif kind == "pass-end" and start is not None:
            out.append((start, t))
            start = None
    return out


def run_saver_figures(world, args):
    fig = {}
    # A cold first pass of 2 x 18 frames: its length against the transfers' floor.
    world.frames(18)
    world.sim("/_sim/requests/clear", data=True)
    cold = Saver(world, "cold", 100)
    cold.wait_pass_end()
    start, end = passes(cold.events())[0]
    # A redirect is followed inside the transfer that met it.
    transfers = [l.split()[1] for l in world.sim("/_sim/requests").splitlines()
                 if " /_sim/" not in l and not l.endswith(" 302")]
    floor = len(transfers) * 0.1
    fig["pass"] = {"seconds": end - start, "transfers": len(transfers), "floor_s": floor,
                   "ratio": (end - start) / floor, "requests": transfers}

    # Idle animation at 100 ms with preloading: frame holds, CPU and memory.
    time.sleep(args.settle)
    first = len(cold.frames())
    fig["cpu_100"] = measure(cold.proc.pid, args.window)
    cold.wait_frames(first + args.frames + 1)
    fig["hold_idle"] = summary(hold_errors(cold.frames()[first:], 0, float("inf")), args.frames)
    cold.stop()

    # Start to first frame with the cache the first run left: the server fast, every answer
    # 15 s late, and the connection closed at once.
    for key, fault in (("first_frame_ms", None), ("first_frame_slow_ms", "delay:15000"),
                       ("first_frame_dead_ms", "drop")):
        if fault:
            world.sim(f"/_sim/fault?path=*&kind={fault}", data=True)
        warm = Saver(world, key, 100, cache_from=cold)
        warm.wait_frames(1)
        fig[key] = (warm.frames()[0][0] - warm.started) * 1000.0
        warm.stop()
        world.sim("/_sim/clear", data=True)

    # 500 ms without preloading.
    slow = Saver(world, "slow", 500)
    slow.wait_pass_end()
    time.sleep(args.settle)
    fig["cpu_500"] = measure(slow.proc.pid, args.window)
    slow.stop()

    # Frame holds while passes run: a cold pass whose frames arrive slowly keeps a pass
    # going while the frames already in are animated.
    world.sim("/_sim/fault?path=/radar/images/*&kind=delay:1500", data=True)
    busy = Saver(world, "busy", 100)
    busy.wait_pass_end(seconds=240)
    world.sim("/_sim/clear", data=True)
    errors = []
    for start, end in passes(busy.events()):
        errors += hold_errors(busy.frames(), start, end)
    fig["hold_pass"] = summary(errors, args.frames)
    busy.stop()

    # 130 frames per product, then 130 in all, preloaded: memory once every frame has been
    # shown twice.
    for per_product, key in ((130, "rss_130"), (65, "rss_65")):
        world.frames(per_product)
        big = Saver(world, f"big{per_product}", 100, discard_minutes=24 * 60)
        big.wait_pass_end(seconds=300)
        big.wait_frames(len(big.frames()) + 2 * 2 * per_product + 10, seconds=300)
        fig[key] = measure(big.proc.pid, 5)["rss_mb"]
        big.stop()
    world.frames(18)
    return fig


def run_peer(world, name, args, rate_ms, files, urls):
    if name == "feh":
        cmd = ["feh", "--fullscreen", "--hide-pointer", "--slideshow-delay",
               f"{rate_ms / 1000:.3f}"] + files
    else:
        profile = tempfile.mkdtemp(prefix="chromium-", dir=world.root)
        cmd = [args.chromium, "--no-sandbox", "--disable-gpu", "--disable-quic",
               "--no-first-run", "--disable-background-networking",
               "--disable-component-update", "--disable-sync", "--kiosk",
               f"--user-data-dir={profile}",
               f"{world.base}radar/loop/si.{SITE}.html?rate={rate_ms}"]
    env = dict(os.environ, DISPLAY=world.display, HOME=world.root)
    proc = world.spawn(cmd, env=env)
    time.sleep(args.settle + (5 if name == "chromium" else 0))
    if proc.poll() is not None:
        raise RuntimeError(f"{name} ended early")
    fig = measure(proc.pid, args.window, tree=True)
    stop(proc)
    return fig


def run_peers(world, args):
    world.frames(18)
    urls = world.frame_urls()
    folder = os.path.join(world.root, "frames")
    os.makedirs(folder, exist_ok=True)
    files = []
    for i, url in enumerate(urls):
        path = os.path.join(folder, f"{i:03d}.gif")
        with open(path, "wb") as f:
            f.write(urllib.request.urlopen(url, timeout=10).read())
        files.append(path)
    out = {}
    for name in ("feh", "chromium"):
        for rate in (100, 500):
            out[f"{name}_{rate}"] = run_peer(world, name, args, rate, files, urls)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="build folder (bin/, tools/)")
    parser.add_argument("--frames", type=int, default=500, help="frames per hold figure")
    parser.add_argument("--window", type=float, default=30, help="seconds per CPU figure")
    parser.add_argument("--settle", type=float, default=3, help="seconds before a figure")
    parser.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    parser.add_argument("--no-peers", action="store_true")
    args = parser.parse_args()
    root = tempfile.mkdtemp(prefix="nimbuscope-bench-")
    print(f"macro: working in {root}", file=sys.stderr)
    world = World(os.path.abspath(args.build), root)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        figures = {"saver": run_saver_figures(world, args)}
        if not args.no_peers:
            figures["peers"] = run_peers(world, args)
    finally:
        world.close()
        if not os.environ.get("NIMBUSCOPE_BENCH_KEEP"):
            shutil.rmtree(root, ignore_errors=True)
    json.dump(figures, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()
