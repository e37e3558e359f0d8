#!/usr/bin/env python3
"""Runs the benchmarks under Wine (display and wineserver started by run.sh) and prints, per
row, the medians of interleaved runs (A B A B ...) of the installer's code (A) and its bare
baseline (B), their ratio, how the cost grows with size, and peak memory as each process
reports it. No figure is judged here."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
BUILD = os.environ.get("TW_BUILD_DIR", os.path.join(ROOT, "build"))
BENCH = os.path.join(BUILD, "bench")
WORK = os.path.join(BENCH, "work")
STEP = os.path.join(ROOT, "bench", "update-step.sh")


def winpath(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


class Run:
    """One process: its wall time seen from here and the result line it wrote."""

    def __init__(self, argv, env=None, cwd=None):
        result_file = os.path.join(WORK, "result.txt")
        if os.path.exists(result_file):
            os.remove(result_file)
        environment = dict(os.environ, TW_BENCH_RESULT=winpath(result_file), **(env or {}))
        start = time.perf_counter()
        proc = subprocess.run(["wine"] + argv, env=environment, cwd=cwd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=1800)
        self.wall = time.perf_counter() - start
        self.code = proc.returncode
        self.fields = {}
        if os.path.exists(result_file):
            for word in open(result_file).read().split():
                if "=" in word:
                    key, value = word.split("=", 1)
                    self.fields[key] = value

    def number(self, key):
        try:
            return float(self.fields[key])
        except (KeyError, ValueError):
            return float("nan")


def interleave(run_a, run_b, count, warmup=1):
    """Calls run_a() and run_b() in turn; the first `warmup` pairs are not kept."""
    a, b = interleave_all([run_a, run_b], count, warmup)
    return a, b


def interleave_all(runners, count, warmup=1):
    """Calls each runner in turn, round after round; the first `warmup` rounds are not kept."""
    results = [[] for _ in runners]
    for i in range(warmup + count):
        for runner, kept in zip(runners, results):
            result = runner()
            if i >= warmup:
                kept.append(result)
    return results


def med(runs, key):
    values = [r.wall if key == "wall" else r.number(key) for r in runs]
    values = [v for v in values if v == v]
    return statistics.median(values) if values else float("nan")


def ratio(a, b):
    return a / b if b and b == b and a == a else float("nan")


def failures(runs, ok):
    bad = [r for r in runs if not ok(r)]
    return "" if not bad else "  (%d of %d runs FAILED: %s)" % (len(bad), len(runs), bad[0].fields or bad[0].code)


def memory(runs):
    return "%6.1f / %6.1f" % (med(runs, "peak_ws_kb") / 1024, med(runs, "peak_pagefile_kb") / 1024)


HEADER = "  %-22s %10s %10s %7s %10s %10s %7s   %-15s   %-15s" % (
    "size", "A work s", "B work s", "ratio", "A wall s", "B wall s", "ratio", "A peak MB ws/pf", "B peak MB ws/pf")


def row(label, a, b):
    wa, wb = med(a, "work_s"), med(b, "work_s")
    pa, pb = med(a, "wall"), med(b, "wall")
    print("  %-22s %10.4f %10.4f %7.2f %10.3f %10.3f %7.2f   %-15s   %-15s" % (
        label, wa, wb, ratio(wa, wb), pa, pb, ratio(pa, pb), memory(a), memory(b)), flush=True)
    return wa, wb


def growth(points, b_label="B"):
    """Cost per unit at each size, relative to the first size."""
    if len(points) < 2:
        return
    base_a = points[0][1] / points[0][0]
    base_b = points[0][2] / points[0][0]
    parts = ["%s: A x%.2f %s x%.2f" % (f"{n:,}", (wa / n) / base_a, b_label, (wb / n) / base_b)
             for n, wa, wb in points[1:]]
    print("  cost per unit against %s: %s (1.00 = linear)" % (f"{points[0][0]:,}", "; ".join(parts)), flush=True)


def bench_start(reps):
    print("\n== start, no /P, exit: twpatch.exe /A (A) against a bare window program (B); whole process", flush=True)
    folder = os.path.join(WORK, "start")
    os.makedirs(folder, exist_ok=True)
    shutil.copy(os.path.join(BUILD, "twpatch.exe"), folder)
    program = os.path.join(folder, "twpatch.exe")
    bare = os.path.join(BENCH, "bare_window.exe")
    a, b = interleave(lambda: Run([program, "/A"]), lambda: Run([bare]), reps)
    pa, pb = med(a, "wall"), med(b, "wall")
    print("  A %.3f s  B %.3f s  ratio %.2f  (medians of %d interleaved pairs)%s" % (
        pa, pb, ratio(pa, pb), reps, failures(a, lambda r: r.code == 0)), flush=True)


def bench_manifest(sizes, reps):
    print("\n== manifest parse: the installer's parser (A) against MSXML 6 SAX with an empty handler (B)", flush=True)
    print(HEADER)
    points = []
    driver = os.path.join(BENCH, "manifest_driver.exe")
    bare = os.path.join(BENCH, "bare_sax.exe")
    for n in sizes:
        path = os.path.join(WORK, "manifest_%d.xml" % n)
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "gen.py"), "manifest", path, str(n)], check=True)
        a, b = interleave(lambda: Run([driver, winpath(path)]), lambda: Run([bare, winpath(path)]), reps)
        wa, wb = row(f"{n:,} items", a, b)
        pa = med(a, "parse_s")
        print("  %-22s %10.4f %10s %7.2f   (until the table is complete, before it is freed)" % (
            "  parse alone", pa, "", ratio(pa, wb)), flush=True)
        note = failures(a, lambda r: r.code == 0 and r.fields.get("items") == str(n)) + failures(b, lambda r: r.code == 0)
        if note:
            print(note)
        points.append((n, wa, wb))
        os.remove(path)
    growth(points)


def bench_save_restore(cases, reps):
    print("\n== save and restore off-cycle files: the installer's copier with its log (A) against CopyFileA + "
          "MoveFileExA (B)", flush=True)
    print(HEADER)
    driver = os.path.join(BENCH, "saverestore_driver.exe")
    bare = os.path.join(BENCH, "bare_copy.exe")
    points = []
    required_points = []
    for count, size in cases:
        folder = os.path.join(WORK, "files_%d_%d" % (count, size))
        logs = os.path.join(WORK, "logs")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(logs, exist_ok=True)
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "gen.py"), "files", folder, str(count), str(size)],
                       check=True)
        listing = winpath(os.path.join(folder, "list.txt"))

        def run_a():
            for name in ("Patchlog.txt", "PreviousPatchlog.txt"):
                if os.path.exists(os.path.join(logs, name)):
                    os.remove(os.path.join(logs, name))
            return Run([driver, listing, winpath(logs)])

        a, b, b_required = interleave_all(
            [run_a, lambda: Run([bare, listing, "plain"]), lambda: Run([bare, listing, "required"])], reps)
        label = "%s x %s" % (f"{count:,}", "%d KB" % (size // 1024) if size < 1 << 20 else "%d MB" % (size >> 20))
        wa, wb = row(label, a, b)
        wr = med(b_required, "work_s")
        print("  %-22s %10s %10.4f %7.2f   (B with the required work per file: the folder searched for the "
              "temporary name, a log line opened, written and closed for the save and for the restore)" % (
                  "  against B required", "", wr, ratio(wa, wr)), flush=True)
        note = failures(a + b + b_required, lambda r: r.code == 0 and r.fields.get("failures") == "0")
        leftovers = [f for f in os.listdir(folder) if "._OC" in f or f.endswith(".bench_tmp")]
        if leftovers:
            note += "  (%d temporary copies left behind)" % len(leftovers)
        if note:
            print(note)
        if size == cases[0][1]:
            points.append((count, wa, wb))
            required_points.append((count, wa, wr))
        shutil.rmtree(folder, ignore_errors=True)
    growth(points)
    growth(required_points, "B required")


def show_log_if_failed(what, run, log_path, lines=25):
    """A failed run says why: its exit code and the end of its log."""
    if run.code == 0:
        return
    print("  (%s failed with exit code %s; the end of its log %s:)" % (what, run.code, log_path), flush=True)
    try:
        with open(log_path, encoding="latin-1") as f:
            for line in f.read().splitlines()[-lines:]:
                print("     " + line)
    except OSError as e:
        print("     (no log: %s)" % e)


def retried(runner, tries=3):
    """Runs runner until its run succeeds, at most `tries` times (another Wine workload on the
    machine can make a run fail); the last run is kept either way."""
    for attempt in range(tries):
        run = runner()
        if run.code == 0:
            return run
        if attempt + 1 < tries:
            print("  (trying again)", flush=True)
            time.sleep(5)
    return run


def step(*args):
    out = subprocess.run(["bash", STEP] + list(args), check=True, stdout=subprocess.PIPE, text=True).stdout
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)


def prepare(work):
    """Installs a fresh product; Windows Installer may still be busy with the last removal, so
    a failed installation is tried again twice."""
    for attempt in range(3):
        try:
            return step("prepare", work)
        except subprocess.CalledProcessError:
            if attempt == 2:
                raise
            print("  (the product could not be installed; trying again)", flush=True)
            step("clean", work)
            time.sleep(5)


def bench_update(reps, values):
    print("\n== two-patch update of the sample product (%s extra registry values, rewritten by every patch run): "
          "update_driver /A /P (A) against one MsiApplyMultiplePatchesA with the same list and properties and "
          "PostPatch.bat in a new console (B); a fresh product for every run" % f"{values:,}", flush=True)
    work = os.path.join(WORK, "update")
    os.makedirs(work, exist_ok=True)
    call_file = os.path.join(work, "apply-call.txt")
    step("product", os.path.join(BENCH, "product"), str(values))
    step("isolate", work)
    recorded = {}
    try:
        def run_a_once():
            product = prepare(work)
            try:
                words = product["windir"].split(" ")
                if os.path.exists(call_file):
                    os.remove(call_file)
                run = Run([os.path.join(work, "update", "update_driver.exe"), "/A", "/P"] + words,
                          env={"TW_BENCH_APPLY_CALL": winpath(call_file)})
                lines = open(call_file).read().splitlines() if os.path.exists(call_file) else []
                if len(lines) >= 3:
                    recorded["list"], recorded["properties"] = lines[0], lines[2]
                elif run.code == 0:
                    run.code = -1  # no Windows Installer call: this run does not count
                show_log_if_failed("the installer's run", run, os.path.join(work, "update", "Patchlog.txt"))
                return run
            finally:
                step("clean", work)

        def run_a():
            return retried(run_a_once)

        def run_bare(mode):
            def run():
                product = prepare(work)
                try:
                    if "list" not in recorded:
                        raise RuntimeError("the installer's run made no Windows Installer call to copy")
                    return Run([os.path.join(BENCH, "bare_apply.exe"), recorded["list"], product["code"],
                                recorded["properties"], product["windir"], mode])
                finally:
                    step("clean", work)
            return run

        a, b, b_answer, b_log = interleave_all([run_a, run_bare("none"), run_bare("answer"), run_bare("log")], reps)
    finally:
        step("restore", work)
    print(HEADER)
    row("2 patches", a, b)
    ma, mb = med(a, "msi_s"), med(b, "work_s")
    print("  Windows Installer call inside A: %.3f s (median); A's own work around it: %.3f s; B's whole work: %.3f s"
          % (ma, med(a, "work_s") - ma, mb))
    print("  A: exit codes %s, message boxes answered %s; B: Windows Installer results %s, messages %s" % (
        sorted(set(r.fields.get("exit", "?") for r in a)), sorted(set(r.fields.get("boxes", "?") for r in a)),
        sorted(set(r.fields.get("msi", "?") for r in b)),
        sorted(set(r.fields.get("messages", "?") for r in b_answer))), flush=True)
    # Where the time goes: the same bare call with the installer's message filter and a handler
    # that answers at once (Windows Installer formats and delivers every message), then with a
    # handler that also opens, appends to and closes a log for every message, as required.
    wb, wa_, wl = mb, med(b_answer, "work_s"), med(b_log, "work_s")
    print("  split of B's work with the installer's message filter: no handler %.3f s; answering handler %.3f s "
          "(+%.3f s); answering, logging each message and dispatching window messages %.3f s (+%.3f s)" % (wb, wa_, wa_ - wb, wl, wl - wa_))
    print("  ratio of A against the bare call with the answering and logging handler (the required work per message): %.2f; A's cost beyond the "
          "required message delivery and log lines: %.3f s" % (ratio(med(a, "work_s"), wl), med(a, "work_s") - wl),
          flush=True)


NETWORK_STEP = os.path.join(ROOT, "bench", "network-step.sh")


def bench_network(reps):
    print("\n== one whole update of the sample product with the ULIP trigger (twpatch.exe /A /P), the maker's hosts "
          "on loopback servers in a network namespace: served normally, refusing connections, accepting and never "
          "answering (stalled), or sending a byte a second (trickling); seconds to the completion message, and the "
          "time each adds to the normal run", flush=True)
    work = os.path.join(WORK, "network")
    os.makedirs(work, exist_ok=True)
    step("isolate", work)
    behaviours = ["normal", "refusing", "stalled", "trickling"]
    times = {b: [] for b in behaviours}
    codes = {b: set() for b in behaviours}
    try:
        for i in range(reps):
            for behaviour in behaviours:
                for attempt in range(3):
                    out = subprocess.run(["bash", NETWORK_STEP, work, behaviour], stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, text=True, timeout=900)
                    fields = dict(w.split("=", 1) for w in out.stdout.split() if "=" in w)
                    if fields.get("exit") == "0":
                        break
                    print("  (the run with %s hosts failed: %s; trying again)" % (behaviour, out.stdout.strip()),
                          flush=True)
                    print("\n".join("     " + line for line in out.stderr.splitlines()[-30:]), flush=True)
                codes[behaviour].add(fields.get("exit", "none"))
                try:
                    times[behaviour].append(float(fields.get("seconds", "nan")))
                except ValueError:
                    times[behaviour].append(float("nan"))
    finally:
        step("restore", work)
    normal = statistics.median(times["normal"]) if times["normal"] else float("nan")
    print("  %-10s %10s %12s  %s" % ("hosts", "seconds", "added s", "exit codes"))
    for behaviour in behaviours:
        m = statistics.median(times[behaviour]) if times[behaviour] else float("nan")
        print("  %-10s %10.1f %12.1f  %s" % (behaviour, m, m - normal, sorted(codes[behaviour])), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quick", action="store_true", help="few repetitions, small sizes")
    parser.add_argument("--only", choices=["start", "manifest", "files", "update", "network"], action="append")
    options = parser.parse_args()
    quick = options.quick
    only = set(options.only or ["start", "manifest", "files", "update", "network"])
    os.makedirs(WORK, exist_ok=True)
    print("A = the installer's code, B = the bare baseline; medians of interleaved runs; ratio = A / B;\n"
          "work s = the measured work timed inside the process, wall s = the whole process seen from outside;\n"
          "peak MB = PeakWorkingSetSize / PeakPagefileUsage reported by each process itself.")
    if "start" in only:
        bench_start(5 if quick else 15)
    if "manifest" in only:
        bench_manifest([2000, 20000] if quick else [2000, 20000, 200000], 3 if quick else 7)
    if "files" in only:
        cases = [(100, 64 << 10), (500, 64 << 10), (4, 8 << 20)] if quick else \
            [(100, 64 << 10), (2000, 64 << 10), (10, 50 << 20)]
        bench_save_restore(cases, 3 if quick else 7)
    # A row that fails after its retries says why and the bench goes on with the next one.
    def guarded(name, bench, *args):
        try:
            bench(*args)
        except Exception as e:  # noqa: BLE001 - any failure of one row
            print("  (the %s row failed: %s: %s)" % (name, type(e).__name__, e), flush=True)

    if "update" in only:
        guarded("update", bench_update, 2 if quick else 5, 2000 if quick else 6000)
    if "network" in only:
        guarded("network", bench_network, 1 if quick else 3)


if __name__ == "__main__":
    main()
