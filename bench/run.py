#!/usr/bin/env python3
"""Whole-update benchmark: the console tool against the bytes it must move.

For each workload a package and an installed suite are made in a throw-away
prefix; every run starts from a fresh copy of that state. The tool runs
unattended (process id 0, package directory, server type). The baseline, run
side by side and interleaved, does only what a durable update cannot avoid:
three copies per installed file (saved copy, new file into place, local copy),
each followed by one fsync. When rsync is installed, the same work done as a
careful administrator would do it is timed too: `rsync -a --fsync --backup
--backup-dir=SET pack/ inst/`, then `rsync -a --fsync pack/ local/`. Printed
per workload: the medians and the ratios tool / baseline and tool / rsync;
and the ratio of the 1,000-file to the 100-file manifest. The workloads t1000
and t16000 (files of 64 bytes) run on tmpfs (/dev/shm), where no disk takes
part: what is left is the run's own work, which must grow with the package
(their ratio) and stay near rsync's. With --wine the Windows program is timed
too, under Wine on a virtual display, on the same workloads on disk (C:\TOVR\
of the Wine prefix): from its start to the last line of its run in the log.
Wine's own start is in that time; the figures are for reading, not targets.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

KIB = 1024
MIB = 1024 * KIB

# name, file count, file size, target ratios tool/baseline and tool/rsync (None: no target)
WORKLOADS = {
    "a": ("a: 100 x 1 MiB", 100, MIB, 0.8, 1.0),
    "b": ("b: 2000 x 4 KiB", 2000, 4 * KIB, 0.5, 0.5),
    "c100": ("c: 100 x 1 KiB", 100, KIB, None, None),
    "c1000": ("c: 1000 x 1 KiB", 1000, KIB, None, None),
    "t1000": ("t: 1000 x 64 B, tmpfs", 1000, 64, None, None),
    "t16000": ("t: 16000 x 64 B, tmpfs", 16000, 64, None, 4.0),
}
SCALING_TARGET = 11.0
TMPFS_SCALING_TARGET = 18.0
TMPFS = "/dev/shm"


def file_names(count):
    return ["f%05d.bin" % i for i in range(count)]


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_template(root, count, size):
    """The prefix before a run: installed files under C:\\TOVR\\, the package
    in C:\\TOVR\\PKG\\ with its manifest."""
    tovr = os.path.join(root, "c", "TOVR")
    pkg = os.path.join(tovr, "PKG")
    os.makedirs(pkg)
    lines = ["[ExeFiles]", "Version=2", "[FILES]"]
    names = file_names(count)
    lines += [n + "=" for n in names]
    for n in names:
        lines += ["[%s]" % n, "SDir=C:\\TOVR\\", "CDir=C:\\TOVR\\", "MDir=<none>",
                  "Version=2", "Execute=0", "Param="]
        write_bytes(os.path.join(tovr, n), os.urandom(size))
        write_bytes(os.path.join(pkg, n), os.urandom(size))
        # Installed a day before the package was made: rsync's quick check
        # (same size, same second of last change) would skip the file.
        day_before = time.time() - 86400
        os.utime(os.path.join(tovr, n), (day_before, day_before))
    write_bytes(os.path.join(pkg, "YRNUpdate.ini"), ("\r\n".join(lines) + "\r\n").encode("ascii"))
    return names


def fresh_copy(template, scratch):
    run = tempfile.mkdtemp(prefix="run-", dir=scratch)
    shutil.rmtree(run)
    shutil.copytree(template, run)
    os.sync()  # the set-up's writes are not the measured run's
    return run


def run_tool(tool, root):
    env = dict(os.environ, YRN_ROOT=root)
    start = time.perf_counter()
    done = subprocess.run([tool, "0", "C:\\TOVR\\PKG", "0"], cwd=root, env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("tool failed (%d): %s" % (done.returncode, done.stderr.decode(errors="replace")))
    return elapsed


def only_dir(path):
    entries = os.listdir(path)
    if len(entries) != 1:
        sys.exit("expected one set in %s, found %r" % (path, entries))
    return os.path.join(path, entries[0])


def check_tool_result(root, names, full):
    """The run did its work: every file in place, saved and copied."""
    tovr = os.path.join(root, "c", "TOVR")
    old_set = only_dir(os.path.join(tovr, "UPDATE", "OldFiles"))
    new_set = only_dir(os.path.join(tovr, "UPDATE", "NewFiles"))
    if len(os.listdir(old_set)) != len(names) + 1 or len(os.listdir(new_set)) != len(names) + 1:
        sys.exit("backup set or local copy incomplete in " + root)
    with open(os.path.join(root, "registry.reg"), "rb") as f:
        recorded = set(line.split(b"=dword:")[0] for line in f.read().split(b"\r\n") if b"=dword:" in line)
        if not recorded.issuperset(b'"%s"' % n.encode("ascii") for n in names + ["UpdateVersion"]):
            sys.exit("registry incomplete in " + root)
    for n in (names if full else names[:1] + names[-1:]):
        with open(os.path.join(tovr, n), "rb") as a, open(os.path.join(tovr, "PKG", n), "rb") as b:
            if a.read() != b.read():
                sys.exit("not replaced: " + n)


def copy_durable(src, dst):
    with open(src, "rb") as fi, open(dst, "wb") as fo:
        left = os.fstat(fi.fileno()).st_size
        while left > 0:
            n = os.copy_file_range(fi.fileno(), fo.fileno(), left)
            if n == 0:
                break
            left -= n
        os.fsync(fo.fileno())


def run_baseline(root, names):
    start = time.perf_counter()
    tovr = os.path.join(root, "c", "TOVR")
    pkg = os.path.join(tovr, "PKG")
    saved = os.path.join(tovr, "UPDATE", "OldFiles", "set")
    local = os.path.join(tovr, "UPDATE", "NewFiles", "set")
    os.makedirs(saved)
    os.makedirs(local)
    for n in names:
        copy_durable(os.path.join(tovr, n), os.path.join(saved, n))
        copy_durable(os.path.join(pkg, n), os.path.join(tovr, n))
        copy_durable(os.path.join(pkg, n), os.path.join(local, n))
    return time.perf_counter() - start


def check_rsync_result(root, names, full):
    """The rsync pair did the same work: every file in place, saved and copied."""
    tovr = os.path.join(root, "c", "TOVR")
    # The local copy holds the manifest too.
    for d, count in (("OldFiles", len(names)), ("NewFiles", len(names) + 1)):
        if len(os.listdir(os.path.join(tovr, "UPDATE", d, "set"))) != count:
            sys.exit("rsync left the %s set incomplete in %s" % (d, root))
    for n in (names if full else names[:1] + names[-1:]):
        with open(os.path.join(tovr, n), "rb") as a, open(os.path.join(tovr, "PKG", n), "rb") as b:
            if a.read() != b.read():
                sys.exit("rsync did not replace " + n)


def run_rsync(root):
    tovr = os.path.join(root, "c", "TOVR")
    pkg, inst = os.path.join(tovr, "PKG") + "/", tovr + "/"
    saved = os.path.join(tovr, "UPDATE", "OldFiles", "set")
    local = os.path.join(tovr, "UPDATE", "NewFiles", "set") + "/"
    start = time.perf_counter()
    os.makedirs(os.path.dirname(saved))
    os.makedirs(os.path.dirname(local.rstrip("/")))
    for cmd in (["rsync", "-a", "--fsync", "--backup", "--backup-dir=" + saved, pkg, inst],
                ["rsync", "-a", "--fsync", pkg, local]):
        if subprocess.run(cmd, stdin=subprocess.DEVNULL).returncode != 0:
            sys.exit("rsync failed: " + " ".join(cmd))
    return time.perf_counter() - start


class WineRun:
    """YRNUpdate.exe under Wine: one prefix, one server and one display for
    every run."""

    END = "Обновление исполняемых файлов завершено.".encode("cp1251")

    def __init__(self, exe, prefix):
        self.exe, self.prefix = exe, os.path.abspath(prefix)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", LC_ALL="ru_RU.UTF-8",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # Debian's wine takes the 32-bit loader even where it cannot run: a
        # 64-bit prefix is given the 64-bit one.
        if not os.path.isfile(os.path.join(self.prefix, "system.reg")):
            sys.exit("no Wine prefix at %s: run scripts/test-win32.sh first, or give --wine-prefix" % self.prefix)
        with open(os.path.join(self.prefix, "system.reg"), "rb") as f:
            win64 = b"#arch=win64" in f.read(4096)
        self.loader = (shutil.which("wine64") or "/usr/lib/wine/wine64") if win64 else "wine"
        self.env["WINELOADER"] = self.loader
        self.xvfb = None
        if "DISPLAY" not in os.environ:
            self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            self.env["DISPLAY"] = ":" + self.xvfb.stdout.readline().decode().strip()
        self.quiet(["wineserver", "-p60"], wine=False)
        self.cwd = os.path.join(self.prefix, "drive_c", "yrn-bench")
        os.makedirs(self.cwd, exist_ok=True)

    def quiet(self, cmd, wine=True):
        subprocess.run(([self.loader] if wine else []) + cmd, env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, template):
        tovr = os.path.join(self.prefix, "drive_c", "TOVR")
        shutil.rmtree(tovr, ignore_errors=True)
        shutil.copytree(os.path.join(template, "c", "TOVR"), tovr)
        for key in ("HKLM\\Software\\Quenbrit", "HKLM\\Software\\Wow6432Node\\Quenbrit"):
            self.quiet(["reg", "delete", key, "/f"])
        log = os.path.join(self.cwd, "YRNUpdate.log")
        if os.path.exists(log):
            os.remove(log)
        os.sync()
        start = time.perf_counter()
        program = subprocess.Popen([self.loader, self.exe, "0", "C:\\TOVR\\PKG", "0"], cwd=self.cwd, env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while True:
            if os.path.exists(log):
                with open(log, "rb") as f:
                    f.seek(max(0, os.path.getsize(log) - 512))
                    if self.END in f.read():
                        break
            if program.poll() is not None or time.perf_counter() - start > 600:
                sys.exit("the Windows program ended or hung before its run ended; see " + log)
            time.sleep(0.005)
        elapsed = time.perf_counter() - start
        # The progress window waits for a person: the run is over.
        program.kill()
        program.wait()
        return elapsed

    def close(self):
        self.quiet(["wineserver", "-k"], wine=False)
        if self.xvfb:
            self.xvfb.kill()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tool", action="append",
                    help="the program to measure (default build/yrnupdate); give it twice to compare two builds")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--workloads", default="a,b,c100,c1000,t1000,t16000")
    ap.add_argument("--dir", default=None,
                    help="where the throw-away prefixes go (default: $TMPDIR); use a real disk, not tmpfs")
    ap.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    ap.add_argument("--wine", metavar="EXE", help="also time this YRNUpdate.exe under Wine (not the t workloads)")
    ap.add_argument("--wine-prefix", help="the Wine prefix to use (default: wineprefix beside EXE)")
    args = ap.parse_args()
    tools = [os.path.abspath(t) for t in (args.tool or [os.path.join(here, "..", "build", "yrnupdate")])]
    kinds = ["tool%d" % i for i in range(len(tools))] + ["base"] + (["rsync"] if shutil.which("rsync") else [])
    kinds += ["wine"] if args.wine else []
    chosen = args.workloads.split(",")
    for w in chosen:
        if w not in WORKLOADS:
            sys.exit("unknown workload " + w)

    # A stopped run still removes its prefixes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    scratch = tempfile.mkdtemp(prefix="yrn-bench-", dir=args.dir)
    tmpfs = None
    if any(w.startswith("t") for w in chosen):
        if not os.path.isdir(TMPFS):
            sys.exit("the t workloads need a tmpfs at " + TMPFS)
        tmpfs = tempfile.mkdtemp(prefix="yrn-bench-", dir=TMPFS)
    wine = None
    try:
        if args.wine:
            wine = WineRun(os.path.abspath(args.wine),
                           args.wine_prefix or os.path.join(os.path.dirname(os.path.abspath(args.wine)), "wineprefix"))
        templates, names = {}, {}
        for w in chosen:
            _, count, size, _, _ = WORKLOADS[w]
            templates[w] = os.path.join(tmpfs if w.startswith("t") else scratch, "tpl-" + w)
            names[w] = make_template(templates[w], count, size)
        times = {w: {k: [] for k in kinds} for w in chosen}
        for i in range(args.runs):
            for w in chosen:
                # Interleaved, and the order swapped every round, so that the
                # load of the machine falls on both alike.
                shift = i % len(kinds)
                for kind in kinds[shift:] + kinds[:shift]:
                    if kind == "wine":
                        if not w.startswith("t"):
                            times[w]["wine"].append(wine.run(templates[w]))
                        continue
                    root = fresh_copy(templates[w], os.path.dirname(templates[w]))
                    if kind == "base":
                        times[w]["base"].append(run_baseline(root, names[w]))
                    elif kind == "rsync":
                        times[w]["rsync"].append(run_rsync(root))
                        check_rsync_result(root, names[w], full=(i == 0))
                    else:
                        times[w][kind].append(run_tool(tools[int(kind[4:])], root))
                        check_tool_result(root, names[w], full=(i == 0))
                    shutil.rmtree(root)
            print("round %d/%d done" % (i + 1, args.runs), file=sys.stderr)
    finally:
        if wine:
            wine.close()
        shutil.rmtree(scratch, ignore_errors=True)
        if tmpfs:
            shutil.rmtree(tmpfs, ignore_errors=True)

    med = {w: {k: statistics.median(v) for k, v in times[w].items() if v} for w in chosen}
    has_rsync = "rsync" in kinds
    for t, tool in enumerate(tools):
        key = "tool%d" % t
        if len(tools) > 1:
            print("\n%s" % os.path.relpath(tool))
        cols = ["Workload", "Tool (s)", "Baseline (s)", "Tool / baseline", "Target"]
        if has_rsync:
            cols += ["rsync (s)", "Tool / rsync", "Target"]
        if args.markdown:
            print("| " + " | ".join(cols) + " |")
            print("|---" + "|---:" * (len(cols) - 1) + "|")
        for w in chosen:
            label, _, _, goal_base, goal_rsync = WORKLOADS[w]
            tt, b = med[w][key], med[w]["base"]
            row = [label, "%.3f" % tt, "%.3f" % b, "%.2f" % (tt / b), "%.2f" % goal_base if goal_base else "-"]
            missed = goal_base is not None and tt / b > goal_base
            if has_rsync:
                r = med[w]["rsync"]
                row += ["%.3f" % r, "%.2f" % (tt / r), "%.2f" % goal_rsync if goal_rsync else "-"]
                missed = missed or (goal_rsync is not None and tt / r > goal_rsync)
            if args.markdown:
                print("| " + " | ".join(row) + " |")
            else:
                print("  ".join("%s: %s" % (c, v) for c, v in zip(cols, row)) + ("  MISSED" if missed else ""))
        if "c100" in chosen and "c1000" in chosen:
            line = "c: 1000 vs 100 files: tool %.2fx (target <= %.0fx), baseline %.2fx" % (
                med["c1000"][key] / med["c100"][key], SCALING_TARGET, med["c1000"]["base"] / med["c100"]["base"])
            if has_rsync:
                line += ", rsync %.2fx" % (med["c1000"]["rsync"] / med["c100"]["rsync"])
            print(line)
        if "t1000" in chosen and "t16000" in chosen:
            line = "t: 16000 vs 1000 files: tool %.2fx (target <= %.0fx), baseline %.2fx" % (
                med["t16000"][key] / med["t1000"][key], TMPFS_SCALING_TARGET,
                med["t16000"]["base"] / med["t1000"]["base"])
            if has_rsync:
                line += ", rsync %.2fx" % (med["t16000"]["rsync"] / med["t1000"]["rsync"])
            print(line)
    if wine:
        print("\nYRNUpdate.exe under Wine (%s)" % os.path.relpath(args.wine))
        if args.markdown:
            print("| Workload | Windows program (s) | Linux tool (s) | Windows / Linux |")
            print("|---|---:|---:|---:|")
        for w in chosen:
            if "wine" in med[w]:
                ww, tt = med[w]["wine"], med[w]["tool%d" % (len(tools) - 1)]
                row = [WORKLOADS[w][0], "%.3f" % ww, "%.3f" % tt, "%.2f" % (ww / tt)]
                print("| " + " | ".join(row) + " |" if args.markdown else "  ".join(row))
    print("runs per workload: %d (medians)" % args.runs)


if __name__ == "__main__":
    main()
