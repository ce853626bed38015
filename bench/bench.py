#!/usr/bin/python3
"""The measurements behind bench/run.sh.

  bench.py trees   --bed DIR --bin DIR --port P [--quick]
      writes the server's document root (DIR/www): one manifest tree per
      scenario, the packages, the language file.
  bench.py measure --bed DIR --bin DIR --port P --runs N [--quick] --setup EXE
                   --setup32 EXE --cacert PEM --wineserver PATH --display D --out FILE
      runs every scenario with its baseline interleaved and writes FILE.

run.sh owns the display, the prefix, wineserver and nginx; this script only
starts Windows programs (each bounded by a timeout) and curl.
"""

import argparse
import datetime
import os
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

SETUP_NAME = "Hollowbranch - Setup"
CLK_TCK = os.sysconf("SC_CLK_TCK")

# Scenario sizes: (packages, bytes each), installer stay, removal tree.
SIZES = {
    "full": {"big": (20, 5 * 1024 * 1024), "small": (200, 4096), "wait_ms": 10000, "tree": (500, 20)},
    "quick": {"big": (4, 1024 * 1024), "small": (20, 4096), "wait_ms": 2000, "tree": (25, 20)},
}


# ---------------------------------------------------------------- the trees


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(path, mode, **({} if mode == "wb" else {"newline": ""})) as f:
        f.write(data)


def url(port, path):
    return "https://localhost:%d/%s" % (port, path)


def catalogue(port):
    return ("[LIST]\r\n0=english\r\n[english]\r\nlistname=English\r\nfilename=English.lng\r\n"
            "netlink=%s\r\nshowname=English\r\n" % url(port, "lang/English.lng"))


def manifest(packages):
    """packages: (section, target or "1", netlink) in order."""
    lines = ["[PACKAGE]", "version=1.0.0", "date=2024-06-01", "[LIST]"]
    lines += ["%d=%s" % (i, p[0]) for i, p in enumerate(packages)]
    lines.append("%d=end" % len(packages))
    for section, target, netlink in packages:
        lines += ["[%s]" % section, "name=%s" % section, "install=%s" % target, "netlink=%s" % netlink,
                  "showname=Package %s" % section, "date=2024-06-01"]
    return "\r\n".join(lines) + "\r\n"


def file_packages(port, scenario, count):
    return [("p%03d" % i, "C:\\Programme\\Hollowbranch\\Files\\p%03d.bin" % i,
             url(port, "%s/files/p%03d.bin" % (scenario, i))) for i in range(count)]


def make_trees(args):
    sizes = SIZES["quick" if args.quick else "full"]
    www = os.path.join(args.bed, "www")
    repo = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
    shutil.copy(os.path.join(repo, "sample", "English.lng"), _mk(www, "lang", "English.lng"))
    rng = random.Random(1)
    for scenario in ("big", "small"):
        count, size = sizes[scenario]
        for section, _, _ in file_packages(args.port, scenario, count):
            write(os.path.join(www, scenario, "files", section + ".bin"), rng.randbytes(size))
        write(os.path.join(www, scenario, "new_updates.ini"),
              manifest(file_packages(args.port, scenario, count)))
    shutil.copy(os.path.join(args.bin, "hb-bench-installer.exe"), _mk(www, "wait", "installer.exe"))
    write(os.path.join(www, "wait", "new_updates.ini"),
          manifest([("installer", "1", url(args.port, "wait/installer.exe"))]))
    write(os.path.join(www, "empty", "new_updates.ini"), manifest([]))
    for scenario in ("big", "small", "wait", "empty"):
        write(os.path.join(www, scenario, "autoupdate_languages.ini"), catalogue(args.port))
    select_scenario(www, args.port, "empty")
    return 0


def _mk(*parts):
    os.makedirs(os.path.join(*parts[:-1]), exist_ok=True)
    return os.path.join(*parts)


def select_scenario(www, port, scenario):
    """general_fileinfo.ini lies at the fixed address: it names the scenario's files."""
    write(os.path.join(www, "general_fileinfo.ini"),
          "[LIST]\r\nlang=%s\r\nupdates=%s\r\n" % (url(port, scenario + "/autoupdate_languages.ini"),
                                                 url(port, scenario + "/new_updates.ini")))


# --------------------------------------------------------------- the prefix


class Bed:
    def __init__(self, args):
        self.args = args
        self.drive_c = os.path.join(args.bed, "prefix", "drive_c")
        self.www = os.path.join(args.bed, "www")
        self.work = os.path.join(args.bed, "work")
        self.env = dict(os.environ)
        self.env.update({"HOME": os.path.join(args.bed, "home"), "WINEPREFIX": os.path.join(args.bed, "prefix"),
                         "WINEARCH": "win64", "WINEDEBUG": "-all", "WINELOADER": "/usr/lib/wine/wine64",
                         "WINESERVER": args.wineserver, "WINEDLLOVERRIDES": "winemenubuilder.exe=d",
                         "DISPLAY": args.display})
        self.env.pop("WINEDLLPATH", None)

    def c(self, *parts):
        """Linux path of C:\\<parts>."""
        return os.path.join(self.drive_c, *parts)

    @staticmethod
    def z(path):
        return "Z:" + os.path.realpath(path).replace("/", "\\")

    def run(self, program, *arguments, timeout=900, env=None):
        """Runs a Windows program to its end; its key=value lines as a dict
        (repeated keys: the last) and the raw lines."""
        run_env = dict(self.env)
        run_env.update(env or {})
        try:
            done = subprocess.run(["/usr/lib/wine/wine64", program, *arguments], env=run_env, timeout=timeout,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True, errors="replace")
        except subprocess.TimeoutExpired:
            raise RuntimeError("%s %s did not end within %d s" % (os.path.basename(program), " ".join(arguments),
                                                                  timeout))
        lines = done.stdout.splitlines()
        values = dict(line.split("=", 1) for line in lines if "=" in line and not line.startswith("step="))
        if done.returncode != 0 or "error" in values:
            raise RuntimeError("%s %s failed (exit %d): %s %s" % (
                os.path.basename(program), " ".join(arguments), done.returncode,
                values.get("error", ""), done.stderr.strip()[-500:]))
        return values, lines

    def bin(self, name):
        return os.path.join(self.args.bin, name)

    def reset_machine(self):
        """A machine without the product, as before a first installation."""
        for path in (self.c("Programme", "Hollowbranch"), self.c("ProgramData", "Hollowbranch"),
                     self.c("hollowbranch_uninstall_proginstallpath_temp_name"),
                     self.c("hollowbranch_uninstall_programdatapath_temp_name"), self.c("bench_rmdir_tree")):
            shutil.rmtree(path, ignore_errors=True)
        for desktop in (os.path.join(self.env["HOME"], "Desktop"),):
            for name in ("Hollowbranch.lnk", "createshortcut_temp.vbs"):
                try:
                    os.remove(os.path.join(desktop, name))
                except FileNotFoundError:
                    pass


# ------------------------------------------------------ the Linux-side view


def read_proc_cpu(pid):
    """utime + stime of a process in seconds, or None."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLK_TCK
    except (OSError, IndexError, ValueError):
        return None


def read_vm_hwm(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return None


def find_pid(environ_entry, program_suffix):
    """A process whose environment holds the entry and whose program (the
    first word of its command line) ends with the suffix."""
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % name, "rb") as f:
                program = f.read().split(b"\0")[0].strip()
            if not program.lower().endswith(program_suffix):
                continue
            with open("/proc/%s/environ" % name, "rb") as f:
                if environ_entry in f.read().split(b"\0"):
                    return int(name)
        except OSError:
            continue
    return None


class Sampler(threading.Thread):
    """Samples the CPU time of the setup's process (the only one in the
    prefix) and of the prefix's wineserver every 50 ms, with the wall-clock
    time. Wine hands a child the Unix environment of Wine, not the Windows
    one, so the process is known by its program and the prefix."""

    def __init__(self, prefix, wineserver_pid):
        super().__init__(daemon=True)
        self.entry = ("WINEPREFIX=%s" % prefix).encode()
        self.wineserver_pid = wineserver_pid
        self.samples = []  # (epoch s, setup cpu s, wineserver cpu s)
        self.hwm = None
        self.stop = threading.Event()
        self.failure = None
        self.pid = None

    def run(self):
        try:
            self.sample()
        except Exception as error:  # reported by cpu_between
            self.failure = repr(error)

    def sample(self):
        pid = None
        while not self.stop.is_set():
            if pid is None:
                pid = self.pid = find_pid(self.entry, b"hollowbranch-setup.exe")
            if pid is not None:
                now = time.time()
                cpu = read_proc_cpu(pid)
                server = read_proc_cpu(self.wineserver_pid) if self.wineserver_pid else None
                if cpu is not None:
                    self.samples.append((now, cpu, server))
                    self.hwm = read_vm_hwm(pid) or self.hwm
            self.stop.wait(0.05)

    def finish(self):
        self.stop.set()
        self.join(5)

    def cpu_between(self, start, end, column):
        """CPU seconds used between two wall-clock times, interpolated."""
        def at(t):
            points = [(s[0], s[column]) for s in self.samples if s[column] is not None]
            before = [p for p in points if p[0] <= t]
            after = [p for p in points if p[0] >= t]
            if not before or not after:
                raise RuntimeError("the sampler did not cover the wait (%d samples, setup pid %s, %s)"
                                   % (len(points), self.pid, self.failure or "no failure"))
            (t0, v0), (t1, v1) = before[-1], after[0]
            return v0 if t1 == t0 else v0 + (v1 - v0) * (t - t0) / (t1 - t0)
        return at(end) - at(start)


# ------------------------------------------------------------- measurements


class Results:
    def __init__(self):
        self.series = {}

    def add(self, name, value):
        self.series.setdefault(name, []).append(value)

    def get(self, name):
        return self.series.get(name, [])


def say(message):
    print("bench: %s" % message, flush=True)


def curl_fetch(bed, packages, cacert):
    """The same files, one curl process after another, into the same folder."""
    start = time.perf_counter()
    for _, target, netlink in packages:
        local = bed.c(*target[3:].split("\\"))
        subprocess.run(["curl", "-sS", "--fail", "--cacert", cacert, "-o", local, netlink], check=True,
                       timeout=120, stdin=subprocess.DEVNULL)
    return (time.perf_counter() - start) * 1000


def check_installed(bed, packages, size):
    for _, target, _ in packages:
        local = bed.c(*target[3:].split("\\"))
        if not os.path.isfile(local) or os.path.getsize(local) != size:
            raise RuntimeError("%s was not installed whole" % target)


def install_once(bed, scenario, poll_ms=20, env=None, sampler=None):
    bed.reset_machine()
    select_scenario(bed.www, bed.args.port, scenario)
    if sampler is not None:
        sampler = sampler()
        sampler.start()
    try:
        values, _ = bed.run(bed.bin("hb-bench.exe"), "install", bed.z(bed.args.setup), str(poll_ms),
                            timeout=900, env=env)
    finally:
        if sampler is not None:
            sampler.finish()
    if int(values.get("error_boxes", "0")) != 0:
        raise RuntimeError("the %s installation showed an error box" % scenario)
    return values, sampler


def prepare_core_run(bed, scenario):
    """The files the core bench reads: the manifest copy and an empty record."""
    bed.reset_machine()
    os.makedirs(bed.c("Programme", "Hollowbranch", "Files"), exist_ok=True)
    os.makedirs(bed.c("bench"), exist_ok=True)
    shutil.copy(os.path.join(bed.www, scenario, "new_updates.ini"), bed.c("bench", "manifest.ini"))
    try:
        os.remove(bed.c("bench", "updates.ini"))
    except FileNotFoundError:
        pass


def core_packages(bed, scenario, mode):
    prepare_core_run(bed, scenario)
    values, lines = bed.run(bed.bin("hb-core-bench.exe"), "packages", mode, "C:\\bench\\manifest.ini",
                            "C:\\bench\\updates.ini", timeout=900)
    steps = {}
    for line in lines:
        if line.startswith("step="):
            fields = dict(word.split("=", 1) for word in line.split())
            steps[fields["step"]] = {k: float(v) for k, v in fields.items() if k != "step"}
    return float(values["total_ms"]), steps


def measure_download_case(bed, results, scenario, runs, cacert, sizes):
    count, size = sizes[scenario]
    packages = file_packages(bed.args.port, scenario, count)
    for i in range(runs):
        say("%s: run %d/%d" % (scenario, i + 1, runs))
        values, sampler = install_once(bed, scenario, sampler=lambda: Sampler(bed.env["WINEPREFIX"], None))
        check_installed(bed, packages, size)
        results.add(scenario + ".setup", float(values["install_ms"]))
        if scenario == "big":
            results.add("peak_ws", int(values["peak_working_set_bytes"]))
            if sampler.hwm:
                results.add("vm_hwm", sampler.hwm)
        bed.reset_machine()
        os.makedirs(bed.c("Programme", "Hollowbranch", "Files"))
        results.add(scenario + ".curl", curl_fetch(bed, packages, cacert))
        check_installed(bed, packages, size)
        total, steps = core_packages(bed, scenario, "steps")
        results.add(scenario + ".urlmon", steps["urldownloadtofile"]["total_ms"])
        results.add(scenario + ".steps", steps)
        total, _ = core_packages(bed, scenario, "core")
        results.add(scenario + ".core", total)


def measure_fixed_cost(bed, results, runs):
    """An installation without packages: the language, the record, the
    shortcut script and its pause, the question."""
    for i in range(runs):
        say("empty manifest: run %d/%d" % (i + 1, runs))
        values, _ = install_once(bed, "empty")
        results.add("empty.setup", float(values["install_ms"]))


def measure_wait(bed, results, runs, wait_ms, wineserver_pid):
    marks = os.path.join(bed.work, "installer-marks.txt")
    for i in range(runs):
        say("installer wait: run %d/%d" % (i + 1, runs))
        try:
            os.remove(marks)
        except FileNotFoundError:
            pass
        values, sampler = install_once(bed, "wait", poll_ms=500,
                                       env={"HB_INSTALLER_MS": str(wait_ms), "HB_BENCH_MARKS": bed.z(marks)},
                                       sampler=lambda: Sampler(bed.env["WINEPREFIX"], wineserver_pid))
        with open(marks) as f:
            stamps = dict(line.split() for line in f if line.strip())
        start, end = int(stamps["start"]) / 1e6, int(stamps["end"]) / 1e6
        window = end - start
        results.add("wait.window_ms", window * 1000)
        results.add("wait.setup_cpu_pct", 100 * sampler.cpu_between(start, end, 1) / window)
        results.add("wait.wineserver_cpu_pct", 100 * sampler.cpu_between(start, end, 2) / window)
        results.add("wait.after_installer_ms", (int(values["question_epoch_us"]) / 1e6 - end) * 1000)
        results.add("wait.getprocesstimes_ms", float(values["getprocesstimes_cpu_ms"]))


def make_removal_tree(root, folders, files_per_folder):
    payload = b"x" * 1024
    for d in range(folders):
        folder = os.path.join(root, "Files", "d%03d" % d)
        os.makedirs(folder)
        for f in range(files_per_folder):
            with open(os.path.join(folder, "f%02d.dat" % f), "wb") as out:
                out.write(payload)


def make_installation(bed, folders, files_per_folder):
    """An installed product as a finished installation leaves it, with the
    given tree of files in the install tree."""
    bed.reset_machine()
    install_root = bed.c("Programme", "Hollowbranch")
    make_removal_tree(install_root, folders, files_per_folder)
    for name in ("Lang", "Icons"):
        os.makedirs(os.path.join(install_root, name), exist_ok=True)
    shutil.copy(os.path.join(bed.www, "lang", "English.lng"), os.path.join(install_root, "Lang", "English.lng"))
    options = bed.c("ProgramData", "Hollowbranch", "Options")
    os.makedirs(options)
    write(os.path.join(options, "updates.ini"), "[INFO]\r\nversion=1.0.0\r\n[DATE]\r\nversion=2024-06-01\r\n")
    write(os.path.join(options, "settings.ini"),
          "[SETTINGS]\r\nsprache=C:\\Programme\\Hollowbranch\\Lang\\English.lng\r\n")
    write(os.path.join(options, "general_fileinfo.ini"), "[LIST]\r\n")


def measure_removal(bed, results, runs, tree):
    folders, files_per_folder = tree
    for i in range(runs):
        say("removal of %d files: run %d/%d" % (folders * files_per_folder, i + 1, runs))
        make_installation(bed, folders, files_per_folder)
        values, _ = bed.run(bed.bin("hb-bench.exe"), "uninstall", bed.z(bed.args.setup), timeout=900)
        for gone in (bed.c("Programme", "Hollowbranch"), bed.c("ProgramData", "Hollowbranch"),
                     bed.c("hollowbranch_uninstall_proginstallpath_temp_name"),
                     bed.c("hollowbranch_uninstall_programdatapath_temp_name")):
            if os.path.exists(gone):
                raise RuntimeError("the removal left %s" % gone)
        results.add("removal.setup", float(values["removal_ms"]))

        bed.reset_machine()
        make_removal_tree(bed.c("bench_rmdir_tree"), folders, files_per_folder)
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "rmdir", "C:\\bench_rmdir_tree", timeout=900)
        results.add("removal.rmdir", float(values["rmdir_ms"]))


def measure_startup(bed, results, runs):
    window = bed.z(bed.bin("hb-bench-window.exe"))
    setup = bed.z(bed.args.setup)
    # The first start of each program in a new prefix fills caches: not timed.
    for timed in [False] + [True] * runs:
        bed.reset_machine()
        select_scenario(bed.www, bed.args.port, "empty")
        values, _ = bed.run(bed.bin("hb-bench.exe"), "startup", setup, SETUP_NAME, SETUP_NAME, timeout=120)
        if timed:
            results.add("startup.setup", float(values["start_to_visible_ms"]))
        values, _ = bed.run(bed.bin("hb-bench.exe"), "startup", window, "HbBenchWindow", "Bench Window",
                            timeout=120)
        if timed:
            results.add("startup.window", float(values["start_to_visible_ms"]))
    for _ in range(runs):
        make_installation(bed, 1, 1)
        values, _ = bed.run(bed.bin("hb-bench.exe"), "startup", setup, SETUP_NAME, SETUP_NAME, timeout=120)
        results.add("startup.maintenance", float(values["start_to_visible_ms"]))
    bed.reset_machine()


def product_sized_language_file(path):
    """A language file the size of a product's: 3000 texts of other screens,
    the setup's eight keys last."""
    rng = random.Random(2)
    words = ["window", "file", "update", "server", "option", "message", "folder", "network", "list", "value"]
    lines = ['XX#text_%04d = "%s"' % (i, " ".join(rng.choice(words) for _ in range(8))) for i in range(3000)]
    with open(os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "sample", "English.lng")) as f:
        lines += [line.rstrip("\r\n") for line in f if line.strip()]
    write(path, "\r\n".join(lines) + "\r\n")


def strace_counts(bed, windows_file, loads):
    """openat and read calls of one langload run, from the Linux side."""
    log = os.path.join(bed.work, "strace-%d.txt" % loads)
    run_env = dict(bed.env)
    subprocess.run(["strace", "-f", "-c", "-o", log, "-e", "trace=openat,read", "/usr/lib/wine/wine64",
                    bed.bin("hb-core-bench.exe"), "langload", windows_file, str(loads)],
                   env=run_env, timeout=300, stdin=subprocess.DEVNULL, capture_output=True, check=True)
    counts = {}
    with open(log) as f:
        for line in f:
            words = line.split()
            if len(words) >= 5 and words[-1] in ("openat", "read") and words[3].isdigit():
                counts[words[-1]] = int(words[3])
            elif len(words) >= 4 and words[-1] in ("openat", "read") and words[2].isdigit():
                counts[words[-1]] = int(words[2])
    return counts


def measure_language_load(bed, results, runs):
    os.makedirs(bed.c("bench"), exist_ok=True)
    shutil.copy(os.path.join(bed.www, "lang", "English.lng"), bed.c("bench", "English.lng"))
    product_sized_language_file(bed.c("bench", "Product.lng"))
    results.add("lang.product_size", os.path.getsize(bed.c("bench", "Product.lng")))
    for _ in range(runs):
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "langload", "C:\\bench\\English.lng", "2000")
        results.add("lang.sample_us", float(values["per_load_us"]))
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "langload", "C:\\bench\\Product.lng", "50")
        results.add("lang.product_us", float(values["per_load_us"]))
    if shutil.which("strace"):
        try:
            for name in ("English", "Product"):
                base = strace_counts(bed, "C:\\bench\\%s.lng" % name, 0)
                ten = strace_counts(bed, "C:\\bench\\%s.lng" % name, 10)
                results.add("lang.%s_opens" % name, (ten.get("openat", 0) - base.get("openat", 0)) / 10)
                results.add("lang.%s_reads" % name, (ten.get("read", 0) - base.get("read", 0)) / 10)
        except (subprocess.SubprocessError, OSError) as error:
            results.add("lang.strace_failure", str(error))


def wineserver_pid(bed):
    return find_pid(("WINEPREFIX=%s" % bed.env["WINEPREFIX"]).encode(), b"wineserver") or \
        find_pid(("WINEPREFIX=%s" % bed.env["WINEPREFIX"]).encode(), b"wineserver64")


# ------------------------------------------------------------------ report


def stats(values):
    return statistics.median(values), min(values), max(values)


def fmt(values, unit="ms", digits=0):
    if not values:
        return "n/a"
    med, lo, hi = stats(values)
    f = "%%.%df" % digits
    return ("%s %s (%s–%s)" % (f % med, unit, f % lo, f % hi)).strip()


def ratios(a, b):
    return [x / y for x, y in zip(a, b) if y > 0]


def machine_details(args):
    def command(*words):
        try:
            done = subprocess.run(list(words), capture_output=True, text=True, timeout=20)
            return (done.stdout + done.stderr).strip()
        except (OSError, subprocess.SubprocessError):
            return "?"
    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        memory = next(line.split()[1] for line in f if line.startswith("MemTotal"))
    xvfb = next((line for line in command("Xvfb", "-version").splitlines() if "X.Org X Server" in line), "?")
    nginx = command("nginx", "-v").replace("nginx version: ", "")
    curl = command("curl", "--version").splitlines()[0]
    return [
        ("date", datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")),
        ("CPU", "%s, nproc %s" % (cpu, os.cpu_count())),
        ("memory", "%.1f GiB" % (int(memory) / 1024 / 1024)),
        ("kernel", platform.release()),
        ("Wine", command("/usr/lib/wine/wine64", "--version") + " (64-bit; this kernel runs no 32-bit programs)"),
        ("display", xvfb + ", 1280x1024x24, no window manager"),
        ("server", "%s over HTTPS (TLS 1.2/1.3) on 127.0.0.1, server/update-server.sh" % nginx),
        ("baseline client", curl),
    ]


def verdict(ok):
    return "met" if ok else "**missed**"


def write_report(args, results, sizes, load_before, load_after, elapsed):
    r = results.get
    big_n, big_size = sizes["big"]
    small_n, small_size = sizes["small"]
    folders, per_folder = sizes["tree"]
    fixed = statistics.median(r("empty.setup"))
    big_ratio = ratios(r("big.setup"), r("big.curl"))
    big_net = ratios([v - fixed for v in r("big.setup")], r("big.curl"))
    small_overhead = [(s - c) / small_n for s, c in zip(r("small.setup"), r("small.curl"))]
    small_net_overhead = [(s - fixed - c) / small_n for s, c in zip(r("small.setup"), r("small.curl"))]
    removal_ratio = ratios(r("removal.setup"), r("removal.rmdir"))
    startup_ratio = ratios(r("startup.setup"), r("startup.window"))
    wait_pct = r("wait.setup_cpu_pct")
    size32 = os.path.getsize(args.setup32)
    size64 = os.path.getsize(args.setup)

    out = []
    out.append("# Benchmarks: the setup against the floor\n")
    out.append("Written by `bash bench/run.sh%s` (%d runs of each figure, start-up %d; baseline interleaved "
               "with the setup in the same run). Each cell: median (min–max). The command took %.0f s.\n"
               % (" --quick" if args.quick else "", args.runs, 2 * args.runs, elapsed))
    out.append("| machine | |\n|---|---|")
    for key, value in machine_details(args):
        out.append("| %s | %s |" % (key, value))
    out.append("| load average | %s at the start, %s at the end (other work shares the machine) |\n"
               % (load_before, load_after))

    out.append("## Results\n")
    out.append("| what | the setup | baseline in the same run | figure | goal | |")
    out.append("|---|---|---|---|---|---|")
    out.append("| download-bound installation: %d file packages of %s | %s (Install click to the closing question) "
               "| %s (curl, one process per file) | %s | <= 1.15 | %s |"
               % (big_n, human(big_size), fmt(r("big.setup")), fmt(r("big.curl")), fmt(big_ratio, "", 2),
                  verdict(statistics.median(big_ratio) <= 1.15)))
    out.append("| the same without the fixed cost of a run (median %.0f ms, see below) | %s | %s | %s | "
               "<= 1.15 | %s |" % (fixed, fmt([v - fixed for v in r("big.setup")]), fmt(r("big.curl")),
                                   fmt(big_net, "", 2), verdict(statistics.median(big_net) <= 1.15)))
    out.append("| many small packages: %d packages of %s | %s | %s (curl) | %s per package "
               "(%s without the fixed cost) | report | |"
               % (small_n, human(small_size), fmt(r("small.setup")), fmt(r("small.curl")),
                  fmt(small_overhead, "ms", 1), fmt(small_net_overhead, "ms", 1)))
    out.append("| waiting for an installer that runs %.0f s | %s of one core (CPU of the setup's process, "
               "/proc/<pid>/stat) | %s of wall time | %s | < 2 %% | %s |"
               % (sizes["wait_ms"] / 1000, fmt(wait_pct, "%", 2), fmt(r("wait.window_ms")),
                  fmt(wait_pct, "%", 2), verdict(statistics.median(wait_pct) < 2)))
    out.append("| removing an installation of %d files in %d folders | %s (Yes to the success message) | %s "
               "(`rmdir /s /q` through cmd under Wine) | %s | <= 1.1 | %s |"
               % (folders * per_folder, folders, fmt(r("removal.setup")), fmt(r("removal.rmdir")),
                  fmt(removal_ratio, "", 2), verdict(statistics.median(removal_ratio) <= 1.1)))
    out.append("| start-up (fresh-install screen) | %s (process start to main window visible) | %s (one-window "
               "Win32 program) | %s | <= 1.5 | %s |"
               % (fmt(r("startup.setup")), fmt(r("startup.window")), fmt(startup_ratio, "", 2),
                  verdict(statistics.median(startup_ratio) <= 1.5)))
    out.append("| start-up (maintenance screen) | %s | %s | %s | <= 1.5 | %s |"
               % (fmt(r("startup.maintenance")), fmt(r("startup.window")),
                  fmt(ratios(r("startup.maintenance"), r("startup.window")), "", 2),
                  verdict(statistics.median(ratios(r("startup.maintenance"), r("startup.window"))) <= 1.5)))
    out.append("| size | hollowbranch-setup.exe: %s (32-bit PE), %s (x64 build) | — | — | report | |"
               % (human(size32), human(size64)))
    out.append("| memory | peak working set during the %d × %s installation: %s (GetProcessMemoryInfo); "
               "VmHWM %s | — | — | report | |\n"
               % (big_n, human(big_size), fmt([v / 2**20 for v in r("peak_ws")], "MiB", 1),
                  fmt([v / 2**20 for v in r("vm_hwm")], "MiB", 1)))

    out.append("## Where the time goes\n")
    out.append("Same manifests, same server, inside Wine: `hb-core-bench packages` works through the manifest "
               "as the installation run does (progress lines to a list box of another thread, the record in "
               "updates.ini), once with the setup's own `DownloadFile` and once with each call it makes timed "
               "on its own.\n")
    out.append("| | %d × %s | %d × %s |" % (big_n, human(big_size), small_n, human(small_size)))
    out.append("|---|---|---|")
    out.append("| the setup, Install to question | %s | %s |" % (fmt(r("big.setup")), fmt(r("small.setup"))))
    out.append("| fixed cost of a run (empty manifest: language file, record, shortcut script with its "
               "fixed 1500 ms pause, question) | %s | same |" % fmt(r("empty.setup")))
    out.append("| package loop with the setup's DownloadFile (hb-core-bench) | %s | %s |"
               % (fmt(r("big.core")), fmt(r("small.core"))))
    out.append("| URLDownloadToFileA calls alone, same bind flags | %s | %s |"
               % (fmt(r("big.urlmon")), fmt(r("small.urlmon"))))
    out.append("| curl, one process per file | %s | %s |\n" % (fmt(r("big.curl")), fmt(r("small.curl"))))

    steps = r("small.steps")
    if steps:
        out.append("Per package in the %d × %s case (mean over packages, median over runs):\n"
                   % (small_n, human(small_size)))
        out.append("| step | ms per package | share |")
        out.append("|---|---|---|")
        names = list(steps[0].keys())
        means = {n: statistics.median(s[n]["mean_ms"] for s in steps) for n in names}
        total = sum(means.values())
        for n in names:
            out.append("| %s | %.2f | %.0f %% |" % (n, means[n], 100 * means[n] / total))
        out.append("| all steps | %.2f | |" % total)
        out.append("| curl per file | %.2f | |\n" % (statistics.median(r("small.curl")) / small_n))

    out.append("Waiting for the installer: the setup's CPU as above; the prefix's wineserver used %s of one core "
               "in the same window; the run went on %s after the installer ended. GetProcessTimes on the setup "
               "from the driver reports %s for the whole run under Wine (it does not count other processes' "
               "CPU), so the figure comes from /proc.\n"
               % (fmt(r("wait.wineserver_cpu_pct"), "%", 2), fmt(r("wait.after_installer_ms")),
                  fmt(r("wait.getprocesstimes_ms"))))

    out.append("Language file load (`LoadLanguageTexts`, QueryPerformanceCounter in hb-core-bench): %s per load "
               "of sample/English.lng (%d bytes), %s per load of a product-sized file (%s, the setup's keys last)."
               % (fmt(r("lang.sample_us"), "µs"), os.path.getsize(os.path.join(args.bed, "www", "lang",
                                                                                 "English.lng")),
                  fmt(r("lang.product_us"), "µs"), human(r("lang.product_size")[0])))
    if r("lang.English_opens"):
        out.append(" Counted with `strace -f -c` (difference of 10 loads and none, per load): sample file %.0f "
                   "openat and %.0f read calls; product-sized file %.0f openat and %.0f read calls."
                   % (r("lang.English_opens")[0], r("lang.English_reads")[0], r("lang.Product_opens")[0],
                      r("lang.Product_reads")[0]))
    elif r("lang.strace_failure"):
        out.append(" strace counting failed: %s." % r("lang.strace_failure")[0])
    out.append("\n")
    notes = os.path.join(os.path.dirname(os.path.realpath(__file__)), "findings.md")
    if os.path.isfile(notes):
        with open(notes) as f:
            out.append(f.read())
    write(args.out, "\n".join(out).rstrip() + "\n")


def human(size):
    for unit, factor in (("MiB", 2**20), ("KiB", 1024)):
        if size >= factor:
            value = size / factor
            return ("%.0f %s" if value == int(value) else "%.1f %s") % (value, unit)
    return "%d B" % size


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def measure(args):
    started = time.time()
    sizes = SIZES["quick" if args.quick else "full"]
    bed = Bed(args)
    results = Results()
    load_before = load_average()
    server_pid = wineserver_pid(bed)
    runs = args.runs

    parts = [
        ("startup", lambda: measure_startup(bed, results, 2 * runs)),
        ("empty", lambda: measure_fixed_cost(bed, results, runs)),
        ("big", lambda: measure_download_case(bed, results, "big", runs, args.cacert, sizes)),
        ("small", lambda: measure_download_case(bed, results, "small", runs, args.cacert, sizes)),
        ("wait", lambda: measure_wait(bed, results, runs, sizes["wait_ms"], server_pid)),
        ("removal", lambda: measure_removal(bed, results, runs, sizes["tree"])),
        ("lang", lambda: measure_language_load(bed, results, runs)),
    ]
    only = args.only.split(",") if args.only else None
    for name, part in parts:
        if only is None or name in only:
            part()
    bed.reset_machine()

    if only is not None:
        # A partial run is for looking at one figure: no table.
        for name, values in results.series.items():
            print("%s: %s" % (name, values))
        return 0
    write_report(args, results, sizes, load_before, load_average(), time.time() - started)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["trees", "measure"])
    parser.add_argument("--bed", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--setup")
    parser.add_argument("--setup32")
    parser.add_argument("--cacert")
    parser.add_argument("--wineserver")
    parser.add_argument("--display")
    parser.add_argument("--out")
    parser.add_argument("--only", help="comma-separated parts, for a look at some figures without the table")
    args = parser.parse_args()
    args.bed = os.path.realpath(args.bed)
    if args.action == "trees":
        return make_trees(args)
    try:
        return measure(args)
    except (RuntimeError, subprocess.SubprocessError, OSError) as error:
        print("bench: %s" % error, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
