"""Fault cases on the file system: a full disk, permissions, odd trees.

Each case is a dict:
  name      what is tried
  registry  values in the scenario runner's format; product and drive_c:
            text trees in its format ("path": "content", "folder/": None)
  setup     fn(ws) that finishes the trees; a text it returns skips the case
  run       keyword arguments of faults.run_program; or
  runner    fn(ws, case) that runs the program itself (terminal.py)
  output    the whole standard output (text, or fn(ws) giving it)
  status    the exit status
  after     the whole drive C: afterwards (path: content or None for a
            folder; or fn(ws) giving it)
  source    "untouched" (default) or "grows": the product folder is the
            destination too, so only its files from before must stay as
            they were
"""

import os
import random

from faults import (NO_OVERRIDE, NOTICE_DBP, NOTICE_NET, copied, dbp_value, error, header,
                    net_value, notice_cpp, summary, vc_value, windows_path)

VC10 = [vc_value("10.0", "C:\\VC10\\")]
PRODUCT = {"CPP/Lib VS2010/v10.lib": "lib 2010", "CPP/Include/p.h": "header"}
LIB_HEADER = header("Lib VS2010", "CPP\\Lib VS2010", "C:\\VC10\\lib")
INCLUDE_HEADER = header("Include", "CPP\\Include", "C:\\VC10\\include")
# Visual C++ 2010's library copied: the start of every run below.
LIB_COPIED = notice_cpp(2008) + LIB_HEADER + copied("v10.lib")
AFTER_THE_COPIES = notice_cpp(2012) + NOTICE_DBP + NOTICE_NET + summary(True, False, False)
INSTALLED = LIB_COPIED + INCLUDE_HEADER + copied("p.h") + AFTER_THE_COPIES
INSTALLED_TREE = {"VC10": None, "VC10/lib": None, "VC10/lib/v10.lib": "lib 2010",
                  "VC10/include": None, "VC10/include/p.h": "header"}

# The system's limits that decide where the odd trees fail.
PATH_MAX = 4096  # bytes of a path, its terminating NUL included
MAX_SYMLINKS = 40  # symbolic links followed in one path look-up


def chmod(relative, mode, root="product"):
    """A setup that sets the mode of a path below product/ or drive_c/."""
    def setup(ws):
        os.chmod(os.path.join(ws.work, root, relative), mode)
    return setup


def steps(*setups):
    def setup(ws):
        for step in setups:
            reason = step(ws)
            if reason:
                return reason
    return setup


# ---------------------------------------------------------------------------
# A full disk: a large file meets a small tmpfs, or a file-size limit.

BIG_NEW = random.Random(7).randbytes(8 << 20)
BIG_OLD = random.Random(8).randbytes(300 << 10)
FULL_PRODUCT = {"CPP/Lib VS2010/a.lib": "new a", "CPP/Include/p.h": "header"}
FULL_OUTPUT = (notice_cpp(2008) + LIB_HEADER + copied("a.lib")
               + error("copying file", 112))


def write_file(relative, content):
    def setup(ws):
        path = os.path.join(ws.drive, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
    return setup


def add_big_source(ws):
    with open(os.path.join(ws.product, "CPP", "Lib VS2010", "big.lib"), "wb") as f:
        f.write(BIG_NEW)


def tmpfs(options):
    def setup(ws):
        if not ws.mount_tmpfs(os.path.join(ws.drive, "VC10"), options):
            return "skipped: this machine does not allow mounting a tmpfs"
        os.makedirs(os.path.join(ws.drive, "VC10", "lib"))
    return setup


def lib_folder(ws):
    os.makedirs(os.path.join(ws.drive, "VC10", "lib"))


DISK_FULL = [
    {"name": "tmpfs full while a large file replaces an old one",
     "setup": steps(tmpfs("size=1m"), add_big_source, write_file("VC10/lib/big.lib", BIG_OLD)),
     "output": FULL_OUTPUT, "status": 1,
     "after": {"VC10": None, "VC10/lib": None, "VC10/lib/a.lib": "new a",
               "VC10/lib/big.lib": BIG_OLD}},
    {"name": "tmpfs full while a large new file is written",
     "setup": steps(tmpfs("size=1m"), add_big_source),
     "output": FULL_OUTPUT, "status": 1,
     "after": {"VC10": None, "VC10/lib": None, "VC10/lib/a.lib": "new a"}},
    {"name": "tmpfs without a free inode for the new content",
     # The root, lib and the old big.lib take all three inodes.
     "setup": steps(tmpfs("size=1m,nr_inodes=3"), add_big_source,
                    write_file("VC10/lib/big.lib", BIG_OLD)),
     "output": notice_cpp(2008) + LIB_HEADER + error("copying file", 112), "status": 1,
     "after": {"VC10": None, "VC10/lib": None, "VC10/lib/big.lib": BIG_OLD}},
    {"name": "file-size limit while a large file replaces an old one",
     "setup": steps(lib_folder, add_big_source, write_file("VC10/lib/big.lib", BIG_OLD)),
     "run": {"fsize": 1 << 20},
     "output": FULL_OUTPUT, "status": 1,
     "after": {"VC10": None, "VC10/lib": None, "VC10/lib/a.lib": "new a",
               "VC10/lib/big.lib": BIG_OLD}},
    {"name": "file-size limit while a large new file is written",
     "setup": steps(lib_folder, add_big_source),
     "run": {"fsize": 1 << 20},
     "output": FULL_OUTPUT, "status": 1,
     "after": {"VC10": None, "VC10/lib": None, "VC10/lib/a.lib": "new a"}},
]
for case in DISK_FULL:
    case.update(registry=VC10, product=FULL_PRODUCT)

# ---------------------------------------------------------------------------
# Permissions, as root and as a user without root's override. Each row:
# name, setup, old files in drive C:, root's result, a user's result; a
# result is (output, status, tree).

DENIED_IN_LIB = (LIB_COPIED[:-len(copied("v10.lib"))] + error("copying file", 5), 1)
OLD_LIB = {"VC10/lib/v10.lib": "old lib"}
EMPTY_LIB = {"VC10": None, "VC10/lib": None}
KEPT_OLD_LIB = {"VC10": None, "VC10/lib": None, "VC10/lib/v10.lib": "old lib"}
SUCCESS = (INSTALLED, 0, INSTALLED_TREE)

PERMISSION_ROWS = [
    ("a source file that may not be read", chmod("CPP/Lib VS2010/v10.lib", 0o000), {},
     SUCCESS, DENIED_IN_LIB + (EMPTY_LIB,)),
    ("a source folder that may not be read", chmod("CPP/Lib VS2010", 0o000), {},
     SUCCESS,
     (notice_cpp(2008) + LIB_HEADER + error("finding files", 5), 1, EMPTY_LIB)),
    ("a destination folder that may not be written", chmod("VC10/lib", 0o555, "drive_c"),
     {}, SUCCESS, DENIED_IN_LIB + (EMPTY_LIB,)),
    ("a destination folder that may not be written, its file may",
     chmod("VC10/lib", 0o555, "drive_c"), OLD_LIB, SUCCESS, DENIED_IN_LIB + (KEPT_OLD_LIB,)),
    ("a read-only destination file", chmod("VC10/lib/v10.lib", 0o444, "drive_c"), OLD_LIB,
     DENIED_IN_LIB + (KEPT_OLD_LIB,), DENIED_IN_LIB + (KEPT_OLD_LIB,)),
    ("an environment folder where no folder may be created",
     chmod("VC10", 0o555, "drive_c"), {}, SUCCESS,
     (LIB_COPIED + error("creating directory", 5), 1,
      {"VC10": None, "VC10/lib": None, "VC10/lib/v10.lib": "lib 2010"})),
]


def permission_cases():
    cases = []
    for name, setup, old, as_root, as_user in PERMISSION_ROWS:
        for who, wrapper, (output, status, after) in (("root", (), as_root),
                                                      ("user", NO_OVERRIDE, as_user)):
            cases.append({"name": "%s (%s)" % (name, who), "registry": VC10,
                          "product": PRODUCT, "drive_c": dict({"VC10/lib/": None}, **old),
                          "setup": setup, "run": {"wrapper": wrapper}, "output": output,
                          "status": status, "after": after})
    return cases


PERMISSIONS = permission_cases()

# ---------------------------------------------------------------------------
# Odd trees


def symlink(relative, target):
    def setup(ws):
        os.symlink(target, os.path.join(ws.product, relative))
    return setup


def nested_headers(levels, name, source, destination):
    """Headers of a chain of folders `name` below source and destination."""
    text = ""
    for k in range(levels):
        text += header(name if k else source.rsplit("\\", 1)[1], source + ("\\" + name) * k,
                       destination + ("\\" + name) * k)
    return text


def folders(prefix, name, levels):
    return {prefix + ("/" + name) * k: None for k in range(1, levels + 1)}


# The include folder created, nothing copied into it yet.
EMPTY_INCLUDE = {"VC10": None, "VC10/lib": None, "VC10/lib/v10.lib": "lib 2010",
                 "VC10/include": None}

# A link to its own folder: the copy goes down it until the system refuses
# to follow one more link.
LOOP_LEVELS = MAX_SYMLINKS + 1
SELF_LOOP = {
    "name": "a symbolic link to its own folder", "setup": symlink("CPP/Include/loop", "."),
    "output": LIB_COPIED + nested_headers(LOOP_LEVELS + 1, "loop", "CPP\\Include",
                                          "C:\\VC10\\include")
    + error("finding files", 1921),
    "status": 1,
    "after": dict(EMPTY_INCLUDE, **folders("VC10/include", "loop", LOOP_LEVELS)),
}

DEEP = 200
DEEP_TREE = {
    "name": "a tree 200 folders deep",
    "product": dict(PRODUCT, **{"CPP/Include" + "/d" * DEEP + "/deep.h": "deep"}),
    "output": LIB_COPIED + nested_headers(DEEP + 1, "d", "CPP\\Include", "C:\\VC10\\include")
    + copied("deep.h") + copied("p.h") + AFTER_THE_COPIES,
    "status": 0,
    "after": dict(INSTALLED_TREE, **folders("VC10/include", "d", DEEP),
                  **{"VC10/include" + "/d" * DEEP + "/deep.h": "deep"}),
}

# A tree that fits below the product folder but whose copy, below a longer
# environment folder, outgrows the longest path the system takes.
LONG_NAME = "n" * 200
LONG_DEPTH = 19
PADS = ["p" * 200, "q" * 200, "r" * 200]
PADDED = "C:\\" + "\\".join(PADS) + "\\"


def long_source(ws):
    fd = os.open(os.path.join(ws.product, "CPP", "Include"), os.O_RDONLY)
    for _ in range(LONG_DEPTH):
        os.mkdir(LONG_NAME, dir_fd=fd)
        inner = os.open(LONG_NAME, os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = inner
    with open(os.open("deep.h", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd), "w") as f:
        f.write("deep")
    os.close(fd)


def long_failing_level(ws):
    """The first level whose destination is too long for the system."""
    base = ws.prefix + "/dosdevices/c:/" + "/".join(PADS) + "/include"
    level = 0
    while len(base + ("/" + LONG_NAME) * level) < PATH_MAX:
        level += 1
    assert level <= LONG_DEPTH, "the source tree must reach the failing level"
    return level


def long_output(ws):
    level = long_failing_level(ws)
    return (notice_cpp(2008) + header("Lib VS2010", "CPP\\Lib VS2010", PADDED + "lib")
            + copied("v10.lib")
            + nested_headers(level, LONG_NAME, "CPP\\Include", PADDED + "include")
            + error("creating directory", 206))


def long_after(ws):
    top = "/".join(PADS)
    tree = {"/".join(PADS[:i + 1]): None for i in range(len(PADS))}
    tree.update({top + "/lib": None, top + "/lib/v10.lib": "lib 2010", top + "/include": None})
    tree.update(folders(top + "/include", LONG_NAME, long_failing_level(ws) - 1))
    return tree


TOO_LONG = {
    "name": "a copy whose path grows longer than the system allows",
    "registry": [vc_value("10.0", PADDED)], "drive_c": {"/".join(PADS) + "/lib/": None},
    "setup": long_source, "output": long_output, "status": 1, "after": long_after,
}

# Names that are legal but unusual. Windows lists them by their upper-cased
# UTF-16 units: space, dot, letters, then the accented and CJK characters.
NAME_255 = "a" * 251 + ".lib"
NAME_255_UTF8 = "\u00e9" * 126 + "xyz"
ODD_NAMES = {
    "CPP/Include/with space.h": "spaced",
    "CPP/Include/ leading space.h": "leading",
    "CPP/Include/.hidden.h": "hidden",
    "CPP/Include/.dotfolder/inside.h": "not copied",
    "CPP/Include/\u00fcn\u00efc\u00f6d\u00e9.h": "accents",
    "CPP/Include/\u65e5\u672c\u8a9e.h": "cjk",
    "CPP/Include/" + NAME_255: "255 bytes",
    "CPP/Include/" + NAME_255_UTF8: "255 bytes of UTF-8",
    "CPP/Include/sub dir/file in sub dir.h": "in sub dir",
}
NAMES = {
    "name": "names with spaces, UTF-8, leading dots and 255 bytes",
    "product": dict(PRODUCT, **ODD_NAMES),
    "output": LIB_COPIED + INCLUDE_HEADER + copied(" leading space.h") + copied(".hidden.h")
    + copied(NAME_255) + copied("p.h")
    + header("sub dir", "CPP\\Include\\sub dir", "C:\\VC10\\include\\sub dir")
    + copied("file in sub dir.h") + copied("with space.h") + copied(NAME_255_UTF8)
    + copied("\u00fcn\u00efc\u00f6d\u00e9.h") + copied("\u65e5\u672c\u8a9e.h")
    + AFTER_THE_COPIES,
    "status": 0,
    "after": dict(INSTALLED_TREE, **{"VC10/include/sub dir": None},
                  **{"VC10/include/" + path[len("CPP/Include/"):]: content
                     for path, content in ODD_NAMES.items() if ".dotfolder" not in path}),
}

# Names that differ only in letter case are one name on Windows. Equal
# upper-cased names list by their bytes: "Data" before "data".
CASE_CLASHES = [
    {"name": "a folder and a file whose names differ in case only",
     "product": dict(PRODUCT, **{"CPP/Include/Data/x.h": "x", "CPP/Include/data": "file"}),
     "output": LIB_COPIED + INCLUDE_HEADER
     + header("Data", "CPP\\Include\\Data", "C:\\VC10\\include\\Data") + copied("x.h")
     + error("copying file", 5),
     "status": 1,
     "after": {"VC10": None, "VC10/lib": None, "VC10/lib/v10.lib": "lib 2010",
               "VC10/include": None, "VC10/include/Data": None, "VC10/include/Data/x.h": "x"}},
    {"name": "a file and a folder whose names differ in case only",
     "product": dict(PRODUCT, **{"CPP/Include/Data": "file", "CPP/Include/data/x.h": "x"}),
     "output": LIB_COPIED + INCLUDE_HEADER + copied("Data")
     + header("data", "CPP\\Include\\data", "C:\\VC10\\include\\data")
     + error("copying file", 3),
     "status": 1,
     "after": {"VC10": None, "VC10/lib": None, "VC10/lib/v10.lib": "lib 2010",
               "VC10/include": None, "VC10/include/Data": "file"}},
    {"name": "two files whose names differ in case only",
     "product": dict(PRODUCT, **{"CPP/Include/README.TXT": "upper", "CPP/Include/Readme.txt":
                                 "mixed"}),
     "output": LIB_COPIED + INCLUDE_HEADER + copied("p.h") + copied("README.TXT")
     + copied("Readme.txt") + AFTER_THE_COPIES,
     "status": 0,
     "after": dict(INSTALLED_TREE, **{"VC10/include/README.TXT": "mixed"})},
]

LINKS = [
    SELF_LOOP,
    {"name": "two symbolic links that lead to each other",
     "setup": steps(symlink("CPP/Include/a", "b"), symlink("CPP/Include/b", "a")),
     "output": LIB_COPIED + INCLUDE_HEADER + error("copying file", 1921), "status": 1,
     "after": EMPTY_INCLUDE},
    {"name": "a symbolic link to a missing file",
     "setup": symlink("CPP/Include/gone.h", "missing.h"),
     "output": LIB_COPIED + INCLUDE_HEADER + error("copying file", 2), "status": 1,
     "after": EMPTY_INCLUDE},
]


# The environment's folder is the product's own: each file would be copied
# onto itself. Wine's drive Z: leads to the whole Unix tree.
def registry_of(values_of):
    def setup(ws):
        ws.link_drive_z()
        ws.write_registry_values(values_of(ws))
    return setup


def product_folder(relative):
    return lambda ws: windows_path(ws.product) + relative


SELF_PRODUCT = dict(PRODUCT, **{"DBP/Help/p.html": "help",
                                "DBP/Compiler/plugins-user/P.dll": "plugin",
                                "NET/P.Net.dll": "assembly"})


def nesting_level(ws):
    """The first level of include\\include\\... that is too long to create."""
    base = ws.prefix + "/dosdevices/z:" + ws.product + "/CPP/Include/include"
    level = 0
    while len(base + "/include" * level) < PATH_MAX:
        level += 1
    return level


def nesting_output(ws):
    own = windows_path(ws.product)
    return (notice_cpp(2008)
            + header("Lib VS2010", "CPP\\Lib VS2010", own + "\\CPP\\Include\\lib")
            + copied("v10.lib")
            + nested_headers(nesting_level(ws), "include", "CPP\\Include",
                             own + "\\CPP\\Include\\include")
            + error("creating directory", 206))


SELF_DESTINATION = [
    {"name": "DarkBASIC Pro's folder is the product's DBP folder",
     "setup": registry_of(lambda ws: [dbp_value(product_folder("\\DBP")(ws))]),
     "output": lambda ws: (notice_cpp(2008) + notice_cpp(2010) + notice_cpp(2012)
                           + header("DBP", "DBP", product_folder("\\DBP")(ws))
                           + header("Compiler", "DBP\\Compiler",
                                    product_folder("\\DBP\\Compiler")(ws))
                           + header("plugins-user", "DBP\\Compiler\\plugins-user",
                                    product_folder("\\DBP\\Compiler\\plugins-user")(ws))
                           + error("copying file", 32)),
     "status": 1, "after": {}},
    {"name": "the .NET folder is the product's NET folder",
     "setup": registry_of(lambda ws: [net_value(product_folder("\\NET")(ws))]),
     "output": lambda ws: (notice_cpp(2008) + notice_cpp(2010) + notice_cpp(2012) + NOTICE_DBP
                           + header("NET", "NET", product_folder("\\NET")(ws))
                           + error("copying file", 32)),
     "status": 1, "after": {}},
    {"name": "the Visual C++ folder lies inside the product's include folder",
     "setup": registry_of(
         lambda ws: [vc_value("10.0", product_folder("\\CPP\\Include\\")(ws))]),
     "product": dict(SELF_PRODUCT, **{"CPP/Include/lib/": None}),
     "output": nesting_output, "status": 1, "after": {}, "source": "grows"},
]
for case in SELF_DESTINATION:
    case.setdefault("product", SELF_PRODUCT)
    case["drive_c"] = {}

ODD_TREES = LINKS + [DEEP_TREE, TOO_LONG, NAMES] + CASE_CLASHES + SELF_DESTINATION
for case in ODD_TREES:
    case.setdefault("registry", VC10)
    case.setdefault("product", PRODUCT)
    case.setdefault("drive_c", {"VC10/lib/": None})
