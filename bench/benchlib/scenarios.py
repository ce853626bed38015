"""The measurements: each runs the setup and its baseline one after the
other, as many times as asked, and adds the figures to Results."""

import os
import re
import shutil
import subprocess
import time

from benchlib.bed import LoopWatcher, Sampler, wineserver_pid
from benchlib.trees import (file_packages, make_installation, make_removal_tree, product_sized_language_file,
                            select_scenario, write)


SETUP_NAME = "Hollowbranch - Setup"


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


def install_once(bed, scenario, poll_ms=20, env=None, watchers=()):
    """One installation by the driver, with the watchers running beside it."""
    bed.reset_machine()
    select_scenario(bed.www, bed.args.port, scenario)
    for watcher in watchers:
        watcher.start()
    try:
        values, _ = bed.run(bed.bin("hb-bench.exe"), "install", bed.z(bed.args.setup), str(poll_ms),
                            timeout=900, env=env)
    finally:
        for watcher in watchers:
            watcher.finish()
    if int(values.get("error_boxes", "0")) != 0:
        raise RuntimeError("the %s installation showed an error box" % scenario)
    return values


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
        sampler = Sampler(bed.env["WINEPREFIX"], None)
        loop = LoopWatcher(bed.c("ProgramData", "Hollowbranch", "Options", "updates.ini"), packages[-1][0])
        values = install_once(bed, scenario, watchers=(sampler, loop))
        check_installed(bed, packages, size)
        results.add(scenario + ".setup", float(values["install_ms"]))
        results.add(scenario + ".setup_loop", loop.finish())
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
        total, steps = core_packages(bed, scenario, "core")
        results.add(scenario + ".core", total)
        results.add(scenario + ".core_steps", steps)


def measure_fixed_cost(bed, results, runs):
    """An installation without packages: the language, the record, the
    shortcut script and its pause, the question."""
    for i in range(runs):
        say("empty manifest: run %d/%d" % (i + 1, runs))
        values = install_once(bed, "empty")
        results.add("empty.setup", float(values["install_ms"]))


def measure_wait(bed, results, runs, wait_ms, server_pid):
    marks = os.path.join(bed.work, "installer-marks.txt")
    for i in range(runs):
        say("installer wait: run %d/%d" % (i + 1, runs))
        try:
            os.remove(marks)
        except FileNotFoundError:
            pass
        sampler = Sampler(bed.env["WINEPREFIX"], server_pid)
        values = install_once(bed, "wait", poll_ms=500,
                              env={"HB_INSTALLER_MS": str(wait_ms), "HB_BENCH_MARKS": bed.z(marks)},
                              watchers=(sampler,))
        with open(marks) as f:
            stamps = dict(line.split() for line in f if line.strip())
        start, end = int(stamps["start"]) / 1e6, int(stamps["end"]) / 1e6
        window = end - start
        results.add("wait.window_ms", window * 1000)
        results.add("wait.setup_cpu_pct", 100 * sampler.cpu_between(start, end, 1) / window)
        results.add("wait.wineserver_cpu_pct", 100 * sampler.cpu_between(start, end, 2) / window)
        results.add("wait.after_installer_ms", (int(values["question_epoch_us"]) / 1e6 - end) * 1000)
        results.add("wait.getprocesstimes_ms", float(values["getprocesstimes_cpu_ms"]))
        results.add("wait.proc_total_cpu_ms", sampler.cpu_between(
            int(values["click_epoch_us"]) / 1e6, int(values["question_epoch_us"]) / 1e6, 1, clamp=True) * 1000)
    # The same wait inside one program, with other pauses between the attempts.
    os.makedirs(bed.c("bench"), exist_ok=True)
    stay = min(wait_ms, 5000)
    _, lines = bed.run(bed.bin("hb-core-bench.exe"), "waitloop", bed.z(bed.bin("hb-bench-installer.exe")),
                       str(stay), "100", "250", timeout=120)
    for line in lines:
        if line.startswith("wait "):
            fields = dict(word.split("=", 1) for word in line.split()[1:])
            results.add("waitloop", (int(fields["pause_ms"]), float(fields["cpu_pct"]),
                                     float(fields["wall_ms"]) - stay))


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
        if "removed" not in values.get("message", ""):
            raise RuntimeError("the removal ended with the box %r, not the success message" % values.get("message"))
        results.add("removal.setup", float(values["removal_ms"]))

        bed.reset_machine()
        make_removal_tree(bed.c("bench_rmdir_tree"), folders, files_per_folder)
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "rmdir", "C:\\bench_rmdir_tree", timeout=900)
        results.add("removal.rmdir", float(values["rmdir_ms"]))
        # The data tree's own removal command: a second interpreter for three files.
        for name in ("updates.ini", "settings.ini", "general_fileinfo.ini"):
            write(bed.c("bench_rmdir_tree", "Options", name), "[LIST]\r\n")
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "rmdir", "C:\\bench_rmdir_tree", timeout=120)
        results.add("removal.rmdir_small", float(values["rmdir_ms"]))


def measure_startup(bed, results, runs):
    """Process start to main window visible: the setup on a machine without
    the product and with it, the one-window program, and that program with
    the setup's imports and manifest. Interleaved, so that the load of the
    moment falls on all of them alike."""
    setup = bed.z(bed.args.setup)
    windows = (("startup.window", bed.z(bed.bin("hb-bench-window.exe"))),
               ("startup.window_imports", bed.z(bed.bin("hb-bench-window-imports.exe"))))

    def start(key, program, class_name, title, timed):
        values, _ = bed.run(bed.bin("hb-bench.exe"), "startup", program, class_name, title, timeout=120)
        if timed:
            results.add(key, float(values["start_to_visible_ms"]))
            results.add(key + ".peak_ws", int(values["peak_working_set_bytes"]))

    # The first start of each program in a new prefix fills caches: not timed.
    for timed in [False] + [True] * runs:
        bed.reset_machine()
        select_scenario(bed.www, bed.args.port, "empty")
        start("startup.setup", setup, SETUP_NAME, SETUP_NAME, timed)
        for key, program in windows:
            start(key, program, "HbBenchWindow", "Bench Window", timed)
        make_installation(bed, 1, 1)
        start("startup.maintenance", setup, SETUP_NAME, SETUP_NAME, timed)
    bed.reset_machine()


def strace_counts(bed, windows_file, loads, server_pid):
    """What one langload run does, counted from the Linux side: reads of the
    language file and all system calls of the program (strace -f), and opens
    of the language file, which Wine makes in its wineserver (strace -p)."""
    lng = os.path.basename(windows_file.replace("\\", "/"))
    client_log = os.path.join(bed.work, "strace-client.txt")
    server_log = os.path.join(bed.work, "strace-server.txt")
    tracer = subprocess.Popen(["strace", "-f", "-y", "-e", "trace=openat,open", "-o", server_log,
                               "-p", str(server_pid)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        time.sleep(0.5)  # attached
        subprocess.run(["strace", "-f", "-y", "-o", client_log, "/usr/lib/wine/wine64",
                        bed.bin("hb-core-bench.exe"), "langload", windows_file, str(loads)],
                       env=bed.env, timeout=300, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
    finally:
        tracer.terminate()
        tracer.wait(10)
    with open(client_log, errors="replace") as f:
        client = [line for line in f if "(" in line and not line.split(None, 1)[-1].startswith(("+++", "---"))]
    with open(server_log, errors="replace") as f:
        opens = sum(1 for line in f if lng in line and "open" in line)
    return {"reads": sum(1 for line in client if re.search(r"\bread\(\d+<[^>]*%s>" % re.escape(lng), line)),
            "syscalls": len(client), "opens": opens}


def callgrind_instructions(bed, windows_file, loads):
    """Instructions the langload program executes in user space (callgrind
    follows wine64 into the Windows process); None when valgrind fails."""
    logs = os.path.join(bed.work, "callgrind")
    shutil.rmtree(logs, ignore_errors=True)
    os.makedirs(logs)
    collected = []
    try:
        subprocess.run(["valgrind", "--tool=callgrind", "--trace-children=yes", "--callgrind-out-file=/dev/null",
                        "--log-file=%s/%%p.txt" % logs, "/usr/lib/wine/wine64", bed.bin("hb-core-bench.exe"),
                        "langload", windows_file, str(loads)], env=bed.env, timeout=300, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        for name in os.listdir(logs):
            with open(os.path.join(logs, name)) as f:
                collected += [int(m.group(1).replace(",", "")) for m in re.finditer(r"Collected : ([\d,]+)", f.read())]
    except (OSError, subprocess.SubprocessError):
        return None
    return sum(collected) if collected else None


def measure_language_load(bed, results, runs):
    os.makedirs(bed.c("bench"), exist_ok=True)
    shutil.copy(os.path.join(bed.www, "lang", "English.lng"), bed.c("bench", "English.lng"))
    product_sized_language_file(bed.c("bench", "Product.lng"))
    results.add("lang.sample_size", os.path.getsize(bed.c("bench", "English.lng")))
    results.add("lang.product_size", os.path.getsize(bed.c("bench", "Product.lng")))
    for _ in range(runs):
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "langload", "C:\\bench\\English.lng", "2000")
        results.add("lang.sample_us", float(values["per_load_us"]))
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "langload", "C:\\bench\\Product.lng", "50")
        results.add("lang.product_us", float(values["per_load_us"]))

    # Counts that do not depend on the machine's load.
    server_pid = wineserver_pid(bed)
    if shutil.which("strace") and server_pid:
        try:
            for name in ("English", "Product"):
                base = strace_counts(bed, "C:\\bench\\%s.lng" % name, 0, server_pid)
                ten = strace_counts(bed, "C:\\bench\\%s.lng" % name, 10, server_pid)
                for what in ("opens", "reads", "syscalls"):
                    results.add("lang.%s_%s" % (name, what), (ten[what] - base[what]) / 10)
        except (subprocess.SubprocessError, OSError) as error:
            results.add("lang.strace_failure", str(error))
    else:
        results.add("lang.strace_failure", "strace is not installed")
    if shutil.which("valgrind"):
        for name, loads in (("English", 50), ("Product", 10)):
            base = callgrind_instructions(bed, "C:\\bench\\%s.lng" % name, 0)
            more = callgrind_instructions(bed, "C:\\bench\\%s.lng" % name, loads)
            if base is None or more is None:
                results.add("lang.callgrind_failure", "valgrind --tool=callgrind did not complete under wine64")
                break
            results.add("lang.%s_instructions" % name, (more - base) / loads)
    else:
        results.add("lang.callgrind_failure", "valgrind is not installed")


def measure_progress_lines(bed, results, runs):
    for _ in range(runs):
        values, _ = bed.run(bed.bin("hb-core-bench.exe"), "progress", "100", timeout=300)
        for key in ("sendmessage_null_ms", "addstring_ms", "append_line_shown_ms", "append_line_hidden_ms"):
            results.add("progress." + key, float(values[key]))
