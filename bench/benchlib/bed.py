"""The Wine prefix as the measurements use it, and what the Linux side sees
of its processes: CPU time, peak memory, the setup's package loop."""

import os
import shutil
import subprocess
import threading
import time


CLK_TCK = os.sysconf("SC_CLK_TCK")


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
        (repeated keys: the last) and the raw lines. The output goes through
        files, not pipes: a process that the program starts (Wine's desktop
        among them) may keep a pipe open long after the program has ended."""
        run_env = dict(self.env)
        run_env.update(env or {})
        out_path, err_path = os.path.join(self.work, "run.out"), os.path.join(self.work, "run.err")
        with open(out_path, "w") as out, open(err_path, "w") as err:
            process = subprocess.Popen(["/usr/lib/wine/wine64", program, *arguments], env=run_env,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            try:
                returncode = process.wait(timeout=timeout)
                timed_out = False
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(10)
                returncode, timed_out = None, True
        with open(out_path, errors="replace") as f:
            stdout = f.read()
        with open(err_path, errors="replace") as f:
            stderr = f.read()
        what = "%s %s" % (os.path.basename(program), " ".join(arguments))
        if timed_out:
            raise RuntimeError("%s did not end within %d s; its output: %s" % (what, timeout, stdout.strip()[-500:]))
        lines = stdout.splitlines()
        values = dict(line.split("=", 1) for line in lines if "=" in line and not line.startswith("step="))
        if returncode != 0 or "error" in values:
            raise RuntimeError("%s failed (exit %d): %s; its output: %s %s" % (
                what, returncode, values.get("error", ""), " | ".join(lines[-8:]), stderr.strip()[-500:]))
        return values, lines

    def bin(self, name):
        return os.path.join(self.args.bin, name)

    def reset_machine(self):
        """A machine without the product, as before a first installation."""
        for path in (self.c("Programme", "Hollowbranch"), self.c("ProgramData", "Hollowbranch"),
                     self.c("hollowbranch_uninstall_proginstallpath_temp_name"),
                     self.c("hollowbranch_uninstall_programdatapath_temp_name"), self.c("bench_rmdir_tree")):
            shutil.rmtree(path, ignore_errors=True)
        users = self.c("users")
        desktops = [os.path.join(users, user, "Desktop") for user in os.listdir(users)] if os.path.isdir(users) else []
        for desktop in desktops + [os.path.join(self.env["HOME"], "Desktop")]:
            for name in ("Hollowbranch.lnk", "createshortcut_temp.vbs"):
                try:
                    os.remove(os.path.join(desktop, name))
                except (FileNotFoundError, NotADirectoryError):
                    pass


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


def wineserver_pid(bed):
    return find_pid(("WINEPREFIX=%s" % bed.env["WINEPREFIX"]).encode(), b"wineserver") or \
        find_pid(("WINEPREFIX=%s" % bed.env["WINEPREFIX"]).encode(), b"wineserver64")


class LoopWatcher(threading.Thread):
    """Sees the setup's package loop from outside: it begins when the run
    writes the package set's version into updates.ini and ends when the last
    package's date is recorded there (the profile functions write the file
    at each call)."""

    def __init__(self, updates_ini, last_name):
        super().__init__(daemon=True)
        self.path = updates_ini
        self.marker = ("\n%s=" % last_name).encode()
        self.begin = self.end = None
        self.stop = threading.Event()

    def run(self):
        while not self.stop.is_set() and self.end is None:
            try:
                with open(self.path, "rb") as f:
                    text = f.read()
                now = time.time()
                if self.begin is None and b"version=" in text:
                    self.begin = now
                if self.marker in text.replace(b"\r\n", b"\n"):
                    self.end = now
            except OSError:
                pass
            self.stop.wait(0.005)

    def finish(self):
        self.stop.set()
        self.join(5)
        if self.begin is None or self.end is None:
            raise RuntimeError("the package loop was not seen in %s" % self.path)
        return (self.end - self.begin) * 1000


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

    def cpu_between(self, start, end, column, clamp=False):
        """CPU seconds used between two wall-clock times, interpolated; with
        clamp, a time past the last sample (the process has ended) counts as
        that sample."""
        def at(t):
            points = [(s[0], s[column]) for s in self.samples if s[column] is not None]
            before = [p for p in points if p[0] <= t]
            after = [p for p in points if p[0] >= t]
            if clamp and before and not after:
                return before[-1][1]
            if not before or not after:
                raise RuntimeError("the sampler did not cover the wait (%d samples, setup pid %s, %s)"
                                   % (len(points), self.pid, self.failure or "no failure"))
            (t0, v0), (t1, v1) = before[-1], after[0]
            return v0 if t1 == t0 else v0 + (v1 - v0) * (t - t0) / (t1 - t0)
        return at(end) - at(start)
