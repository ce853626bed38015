"""What the benchmark's server serves and what its machine holds: the
manifest trees of the scenarios, and installed trees to remove."""

import os
import random
import shutil


# Scenario sizes: (packages, bytes each), installer stay, removal tree.
SIZES = {
    "full": {"big": (20, 5 * 1024 * 1024), "small": (200, 4096), "wait_ms": 10000, "tree": (500, 20)},
    "quick": {"big": (4, 1024 * 1024), "small": (20, 4096), "wait_ms": 2000, "tree": (25, 20)},
}
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))


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
    shutil.copy(os.path.join(REPO, "sample", "English.lng"), _mk(www, "lang", "English.lng"))
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


def product_sized_language_file(path):
    """A language file the size of a product's: 3000 texts of other screens,
    the setup's eight keys last."""
    rng = random.Random(2)
    words = ["window", "file", "update", "server", "option", "message", "folder", "network", "list", "value"]
    lines = ['XX#text_%04d = "%s"' % (i, " ".join(rng.choice(words) for _ in range(8))) for i in range(3000)]
    with open(os.path.join(REPO, "sample", "English.lng")) as f:
        lines += [line.rstrip("\r\n") for line in f if line.strip()]
    write(path, "\r\n".join(lines) + "\r\n")
