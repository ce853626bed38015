"""The results table and what it shows, as Markdown."""

import datetime
import os
import platform
import statistics
import subprocess

from benchlib.trees import write


def median(values):
    return statistics.median(values) if values else float("nan")


def fmt(values, unit="ms", digits=0):
    """median (min–max)"""
    if not values:
        return "n/a"
    f = "%%.%df" % digits
    text = "%s (%s–%s)" % (f % median(values), f % min(values), f % max(values))
    return "%s %s" % (text, unit) if unit else text


def ratios(a, b):
    return [x / y for x, y in zip(a, b) if y > 0]


def human(size):
    for unit, factor in (("MiB", 2**20), ("KiB", 1024)):
        if size >= factor:
            return "%.1f %s" % (size / factor, unit) if size % factor else "%d %s" % (size // factor, unit)
    return "%d B" % size


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def verdict(value, goal, better_below=True):
    ok = value <= goal if better_below else value >= goal
    return "met" if ok else "**missed**"


def command_output(*words):
    try:
        done = subprocess.run(list(words), capture_output=True, text=True, timeout=20)
        return (done.stdout + done.stderr).strip()
    except (OSError, subprocess.SubprocessError):
        return "?"


def machine_details():
    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        memory = next(int(line.split()[1]) for line in f if line.startswith("MemTotal"))
    curl = command_output("curl", "--version").splitlines()[0].split()
    return [
        ("date", datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")),
        ("CPU", "%s, nproc %s" % (cpu, os.cpu_count())),
        ("memory", "%.1f GiB" % (memory / 2**20)),
        ("kernel", platform.release()),
        ("Wine", "%s, 64-bit (this kernel runs no 32-bit programs, so the x64 build is measured)"
         % command_output("/usr/lib/wine/wine64", "--version")),
        ("display", "Xvfb %s, 1280x1024x24, no window manager"
         % command_output("dpkg-query", "-W", "-f", "${Version}", "xvfb")),
        ("server", "%s, HTTPS on 127.0.0.1 (server/update-server.sh)"
         % command_output("nginx", "-v").replace("nginx version: ", "")),
        ("baseline client", " ".join(curl[:2] + [w for w in curl if w.startswith("OpenSSL")])),
    ]


def step_table(step_runs, count):
    """Time of each step per package (a step may run more than once per
    package), median over the runs."""
    names = list(step_runs[0].keys())
    means = {n: median([run[n]["total_ms"] / count for run in step_runs if n in run]) for n in names}
    total = sum(means.values())
    rows = ["| %s | %.2f | %.0f %% |" % (n, means[n], 100 * means[n] / total) for n in names]
    return rows, means, total


def write_report(args, results, facts):
    """facts: what measure kept besides the series (sizes, load, machine)."""
    sizes = facts["sizes"]
    r = results.get
    big_n, big_size = sizes["big"]
    small_n, small_size = sizes["small"]
    folders, per_folder = sizes["tree"]
    out = []
    add = out.append

    big_ratio = ratios(r("big.setup"), r("big.curl"))
    big_loop_ratio = ratios(r("big.setup_loop"), r("big.curl"))
    big_floor_ratio = ratios(r("big.setup_loop"), r("big.urlmon"))
    small_overhead = [(s - c) / small_n for s, c in zip(r("small.setup"), r("small.curl"))]
    small_loop_overhead = [(s - c) / small_n for s, c in zip(r("small.setup_loop"), r("small.curl"))]
    wait_pct = r("wait.setup_cpu_pct")
    removal_ratio = ratios(r("removal.setup"), r("removal.rmdir"))
    removal_floor = [a + b for a, b in zip(r("removal.rmdir"), r("removal.rmdir_small"))]
    removal_floor_ratio = ratios(r("removal.setup"), removal_floor)
    startup_ratio = ratios(r("startup.setup"), r("startup.window"))
    maintenance_ratio = ratios(r("startup.maintenance"), r("startup.window"))
    size32, size64 = os.path.getsize(args.setup32), os.path.getsize(args.setup)
    size_streams = os.path.getsize(os.path.join(args.size_reference, "streams.exe"))
    size_plain = os.path.getsize(os.path.join(args.size_reference, "plain.exe"))

    add("# Benchmarks: the setup against the floor\n")
    add("Written by `bash bench/run.sh%s`: %d runs of each figure (start-up %d), each run of the setup "
        "followed by its baseline, on the same server and in the same Wine prefix. Cells: median (min–max) "
        "over the runs; a ratio is taken run by run. The command took %.0f s.\n"
        % (" --quick" if args.quick else "", facts["runs"], 2 * facts["runs"], facts["elapsed"]))
    add("| machine | |\n|---|---|")
    for key, value in facts["machine"]:
        add("| %s | %s |" % (key, value))
    add("| load average | %s at the start, %s at the end: other engineers' builds and tests share the machine, "
        "so single runs scatter; the medians and the ratios within a run are what to read |\n"
        % (facts["load_before"], facts["load_after"]))

    add("## Results\n")
    add("| what | the setup | baseline in the same run | figure | goal | |")
    add("|---|---|---|---|---|---|")
    add("| download-bound installation: %d file packages of %s | %s, Install click to the closing question "
        "| %s, curl fetching the same files one after another | %s | <= 1.15 | %s |"
        % (big_n, human(big_size), fmt(r("big.setup")), fmt(r("big.curl")), fmt(big_ratio, "", 2),
           verdict(median(big_ratio), 1.15)))
    add("| … its package loop alone (updates.ini written before the first package to the last package's "
        "record) | %s | %s, curl | %s | <= 1.15 | %s |"
        % (fmt(r("big.setup_loop")), fmt(r("big.curl")), fmt(big_loop_ratio, "", 2),
           verdict(median(big_loop_ratio), 1.15)))
    add("| many small packages: %d packages of %s | %s | %s, curl | %s per package over curl "
        "(loop alone: %s) | report | |"
        % (small_n, human(small_size), fmt(r("small.setup")), fmt(r("small.curl")), fmt(small_overhead, "ms", 1),
           fmt(small_loop_overhead, "ms", 1)))
    add("| waiting for an installer that runs %g s | CPU of the setup's process while the installer runs "
        "(/proc/<pid>/stat) | %s of wall time | %s of one core | < 2 %% | %s |"
        % (sizes["wait_ms"] / 1000, fmt(r("wait.window_ms")), fmt(wait_pct, "%", 2), verdict(median(wait_pct), 2)))
    add("| removing an installation of %d files in %d folders | %s, Yes to the success message | %s, "
        "`rmdir /s /q` of the same tree through cmd under Wine | %s | <= 1.1 | %s |"
        % (folders * per_folder, folders, fmt(r("removal.setup")), fmt(r("removal.rmdir")),
           fmt(removal_ratio, "", 2), verdict(median(removal_ratio), 1.1)))
    add("| start-up, fresh-install screen | %s, process start to main window visible | %s, a program that "
        "shows one window | %s | <= 1.5 | %s |"
        % (fmt(r("startup.setup")), fmt(r("startup.window")), fmt(startup_ratio, "", 2),
           verdict(median(startup_ratio), 1.5)))
    add("| start-up, maintenance screen (language texts loaded) | %s | %s | %s | <= 1.5 | %s |"
        % (fmt(r("startup.maintenance")), fmt(r("startup.window")), fmt(maintenance_ratio, "", 2),
           verdict(median(maintenance_ratio), 1.5)))
    add("| size | hollowbranch-setup.exe %s (32-bit PE), %s (x64 build) | — | — | report | |"
        % (human(size32), human(size64)))
    mib = lambda key: fmt([v / 2**20 for v in r(key)], "MiB", 1)  # noqa: E731
    add("| memory | peak working set during the %d × %s installation: %s (GetProcessMemoryInfo from the driver; "
        "VmHWM of the process: %s) | at its window: the one-window program %s, the same with the setup's imports "
        "%s, the setup itself %s | — | report | |\n"
        % (big_n, human(big_size), mib("peak_ws"), mib("vm_hwm"), mib("startup.window.peak_ws"),
           mib("startup.window_imports.peak_ws"), mib("startup.setup.peak_ws")))

    add("## Where the time goes\n")
    add("### Installation runs\n")
    add("`hb-core-bench packages` (linked with the setup's code, run in the same prefix) works through the same "
        "manifest as the installation run does: progress lines to a shown list box owned by another thread, "
        "the record in updates.ini; once with the setup's own `DownloadFile`, once with each call that "
        "`DownloadFile` makes timed on its own.\n")
    add("| | %d × %s | %d × %s |" % (big_n, human(big_size), small_n, human(small_size)))
    add("|---|---|---|")
    add("| the setup, Install click to the closing question | %s | %s |" % (fmt(r("big.setup")), fmt(r("small.setup"))))
    add("| the setup's package loop (seen in updates.ini) | %s | %s |"
        % (fmt(r("big.setup_loop")), fmt(r("small.setup_loop"))))
    add("| fixed part of every run: an empty manifest (language file, texts, record, shortcut script with its "
        "fixed 1500 ms pause, question) | %s | same |" % fmt(r("empty.setup")))
    add("| package loop with the setup's DownloadFile, in hb-core-bench | %s | %s |"
        % (fmt(r("big.core")), fmt(r("small.core"))))
    add("| URLDownloadToFileA alone (same bind flags), summed | %s | %s |"
        % (fmt(r("big.urlmon")), fmt(r("small.urlmon"))))
    add("| curl, one process per file | %s | %s |" % (fmt(r("big.curl")), fmt(r("small.curl"))))
    add("| loop ÷ URLDownloadToFileA alone (what is ours) | %s | %s |"
        % (fmt(big_floor_ratio, "", 2), fmt(ratios(r("small.setup_loop"), r("small.urlmon")), "", 2)))
    add("| URLDownloadToFileA alone ÷ curl (Wine's URLMON against the machine) | %s | %s |\n"
        % (fmt(ratios(r("big.urlmon"), r("big.curl")), "", 2), fmt(ratios(r("small.urlmon"), r("small.curl")), "", 2)))

    for scenario, n, size in (("small", small_n, small_size), ("big", big_n, big_size)):
        if not r(scenario + ".steps"):
            continue
        rows, means, total = step_table(r(scenario + ".steps"), n)
        add("Per package, %d × %s (a step's total over the run ÷ packages, median over the runs):\n"
            % (n, human(size)))
        add("| step | ms per package | share |")
        add("|---|---|---|")
        out.extend(rows)
        add("| all steps | %.2f | |" % total)
        core = r(scenario + ".core_steps")
        if core:
            add("| for comparison: the setup's DownloadFile as one call | %.2f | |"
                % median([run["download_file"]["total_ms"] / n for run in core]))
        add("| for comparison: curl, per file | %.2f | |\n" % (median(r(scenario + ".curl")) / n))

    if r("progress.addstring_ms"):
        add("The progress lines (`AppendProgressLine`: LB_ADDSTRING, LB_GETCOUNT, LB_SETTOPINDEX, each a "
            "SendMessageA to the user-interface thread), timed alone by `hb-core-bench progress`: a bare "
            "cross-thread SendMessage %s; LB_ADDSTRING to a shown list box %s; one AppendProgressLine to a "
            "shown list %s, to a hidden one %s. The run adds three lines per package.\n"
            % (fmt(r("progress.sendmessage_null_ms"), "ms", 2), fmt(r("progress.addstring_ms"), "ms", 2),
               fmt(r("progress.append_line_shown_ms"), "ms", 2), fmt(r("progress.append_line_hidden_ms"), "ms", 2)))

    add("### Waiting for an installer\n")
    add("While the installer runs, the prefix's wineserver used %s of one core besides the setup's %s; the "
        "closing question came %s after the installer ended (1500 ms of it the shortcut script's pause). "
        "GetProcessTimes on the setup's process from the driver gives %s for the whole run where /proc counts "
        "%s: under Wine it does not see another process's CPU time, so the figure is read from /proc.\n"
        % (fmt(r("wait.wineserver_cpu_pct"), "%", 2), fmt(wait_pct, "%", 2), fmt(r("wait.after_installer_ms")),
           fmt(r("wait.getprocesstimes_ms")), fmt(r("wait.proc_total_cpu_ms"))))
    loops = r("waitloop")
    if loops:
        add("The same wait inside `hb-core-bench waitloop` (this process's own CPU, GetProcessTimes), with the "
            "pause between attempts changed:\n")
        add("| pause between attempts | CPU, share of one core | the wait ends after the installer by |")
        add("|---|---|---|")
        for pause in sorted({p for p, _, _ in loops}):
            add("| %d ms%s | %s | %s |" % (
                pause, " (WaitUntilRemoved as built)" if pause == loops[0][0] else "",
                fmt([c for p, c, _ in loops if p == pause], "%", 2),
                fmt([w for p, _, w in loops if p == pause])))
        add("")

    add("### Removal\n")
    add("The setup runs the removal command once per tree: the install tree (%d files) and then the data tree "
        "(three files), each through a new command interpreter. `rmdir /s /q` of a three-file tree alone: %s. "
        "The setup against both commands together: %s.\n"
        % (folders * per_folder, fmt(r("removal.rmdir_small")), fmt(removal_floor_ratio, "", 2)))

    add("### Start-up and size\n")
    imports = r("startup.window_imports")
    add("The one-window program built a second time with the setup's DLL imports (gdi32, shell32, shlwapi, urlmon, "
        "wininet), its application manifest (Common Controls 6) and a status bar starts in %s: against the plain "
        "one %s, which is what loading those costs under Wine. The setup against that program: %s on the "
        "fresh-install screen, %s on the maintenance screen; that is the setup's own work before its window shows.\n"
        % (fmt(imports), fmt(ratios(imports, r("startup.window")), "", 2),
           fmt(ratios(r("startup.setup"), imports), "", 2), fmt(ratios(r("startup.maintenance"), imports), "", 2)))
    add("The 32-bit setup is %s; a program linked the same way that only reads and writes one line with "
        "std::ifstream/std::ofstream is %s, and one with a message box and no C++ library %s: the statically "
        "linked C++ streams and locale make %.0f %% of the setup.\n"
        % (human(size32), human(size_streams), human(size_plain), 100 * size_streams / size32))

    add("### Language file load\n")
    add("`LoadLanguageTexts` (QueryPerformanceCounter in hb-core-bench): %s per load of sample/English.lng "
        "(%s); %s per load of a product-sized file (%s, 3000 other texts, the setup's keys last)."
        % (fmt(r("lang.sample_us"), "µs"), human(r("lang.sample_size")[0]), fmt(r("lang.product_us"), "µs"),
           human(r("lang.product_size")[0])))
    if r("lang.English_opens"):
        add(" Counted per load with strace (10 loads less none): opens of the file (made by wineserver) %.0f and "
            "%.0f; read calls on it %.0f and %.0f; system calls of the process %.0f and %.0f."
            % (r("lang.English_opens")[0], r("lang.Product_opens")[0], r("lang.English_reads")[0],
               r("lang.Product_reads")[0], r("lang.English_syscalls")[0], r("lang.Product_syscalls")[0]))
    else:
        add(" strace: %s." % (r("lang.strace_failure") or ["not run"])[0])
    if r("lang.English_instructions"):
        add(" callgrind runs under wine64 here (`valgrind --tool=callgrind --trace-children=yes`): %.0f and %.0f "
            "instructions per load in the process (wineserver's share not counted)."
            % (r("lang.English_instructions")[0], r("lang.Product_instructions")[0]))
    else:
        add(" callgrind: %s." % (r("lang.callgrind_failure") or ["not run"])[0])
    add("\n")

    notes = os.path.join(os.path.dirname(os.path.dirname(os.path.realpath(__file__))), "findings.md")
    if os.path.isfile(notes) and not args.quick:
        with open(notes) as f:
            add(f.read())
    write(args.out, "\n".join(out).rstrip() + "\n")
