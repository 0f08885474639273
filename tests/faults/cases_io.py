"""Fault cases on the program's input and output: broken registry files and
standard streams that are closed, full, pipes, or a terminal. The fields of
a case are those of cases_files.py; "runner" replaces the plain run."""

import os
import random

from faults import (FIVE_NOTICES, NO_OVERRIDE, NOTICE_DBP, copied, dbp_value,
                    error, header, net_value, notice_cpp, summary, vc_value)
from cases_files import INSTALLED, INSTALLED_TREE, LIB_HEADER, PRODUCT, VC10
import terminal

# ---------------------------------------------------------------------------
# Registry files. None of them may crash or stall the program; what cannot
# be read is a registry without the environments.

NOTHING_FOUND = FIVE_NOTICES + summary(False, False, False)
ALL_FIVE = [vc_value("9.0", "C:\\VC9\\"), vc_value("10.0", "C:\\VC10\\"),
            vc_value("11.0", "C:\\VC11\\"), dbp_value("C:\\DBP"), net_value("C:\\NET")]
OUR_KEYS = ("\\\\VC7]", "\\\\dark basic pro]", "\\\\Public Assemblies 9]")


def registry_text(ws, values):
    ws.write_registry_values(values)
    with open(os.path.join(ws.prefix, "system.reg"), "rb") as f:
        return f.read()


def rewritten(change, values=ALL_FIVE):
    """A setup that writes the registry of `values`, changed by `change`."""
    def setup(ws):
        ws.write_registry(change(registry_text(ws, values)))
    return setup


def cut_inside(marker, keep):
    return lambda text: text[:text.index(marker) + keep]


def our_lines(change):
    """Applies `change` to the lines of the five keys and values looked up."""
    def apply(text):
        lines = text.split(b"\n")
        ours = False
        for i, line in enumerate(lines):
            if line.startswith(b"["):
                ours = any(key.encode() in line for key in OUR_KEYS)
                if ours:
                    lines[i] = change(line)
            elif ours and b"=" in line:
                lines[i] = change(line)
        return b"\n".join(lines)
    return apply


def garbage(seed, size, alphabet=None):
    rng = random.Random(seed)
    if alphabet is None:
        return rng.randbytes(size)
    pieces, total = [], 0
    while total < size:
        piece = rng.choice(alphabet)
        pieces.append(piece)
        total += len(piece)
    return b"".join(pieces)


HEADER = b"WINE REGISTRY Version 2\n#arch=win64\n"
# Pieces of the file format, so that the garbage reaches every branch of
# the reader: keys, escapes, value types, continued hex lines, links.
TOKENS = [b"[", b"]", b"\"", b"\\", b"=", b"@", b"#link", b"#arch=win32", b"hex:", b"hex(2):",
          b"hex(ffffffff):", b"str(7):\"", b"dword:", b"ffffffff", b",", b",\\\n", b"\n", b" ",
          b"\r\n", b"\0", b"\\x", b"\\x12345", b"\\777", b"Software", b"Wow6432Node",
          b"SymbolicLinkValue", b"\\\\REGISTRY\\\\Machine\\\\", b"\xc3\xa9", b"\xff\xfe"]


def file_of(content):
    return lambda ws: ws.write_registry(content)


def special_registry(kind):
    def setup(ws):
        path = os.path.join(ws.prefix, "system.reg")
        os.unlink(path)
        if kind == "fifo":
            os.mkfifo(path)
        else:
            os.mkdir(path)
    return setup


def unreadable(ws):
    ws.write_registry_values(ALL_FIVE)
    os.chmod(os.path.join(ws.prefix, "system.reg"), 0o000)


def fifty_megabytes(ws):
    """Keys filling 50 MB before the one key that is looked up."""
    text = registry_text(ws, VC10)
    at = text.index(b"#arch=win64\n") + len(b"#arch=win64\n")
    key = b'\n[Software\\\\Wow6432Node\\\\Filler\\\\k%07d] 1796969489\n"v"="' + b"x" * 400 + b'"\n'
    filler = b"".join(key % i for i in range(50 * (1 << 20) // len(key % 0)))
    ws.write_registry(text[:at] + filler + text[at:])


def link_to_itself(ws):
    """Visual Studio's key is a registry link that leads to itself."""
    target = "\\REGISTRY\\Machine\\Software\\Wow6432Node\\Microsoft\\VisualStudio"
    data = ",".join("%02x" % b for b in target.encode("utf-16-le"))
    link = (b"\n[Software\\\\Wow6432Node\\\\Microsoft\\\\VisualStudio] 1796969489\n#link\n"
            b"\"SymbolicLinkValue\"=hex(6):%s\n" % data.encode())
    ws.write_registry(registry_text(ws, ALL_FIVE[:3]) + link)


MEGABYTE = 1 << 20
LONG_FOLDER = "C:\\" + "x" * MEGABYTE


def binary_megabyte(ws):
    """Visual C++ 2008's folder as a binary value of 1 MB, continued over
    lines as Wine writes long binary values."""
    text = registry_text(ws, [vc_value("9.0", "placeholder")])
    rows = [",".join(["41"] * 25)] * (MEGABYTE // 25) + [",".join(["41"] * (MEGABYTE % 25))]
    value = b"hex:" + b",\\\n  ".join(row.encode() for row in rows)
    ws.write_registry(text.replace(b'"placeholder"', value))


REGISTRY_FILES = [
    {"name": "cut inside a value line", "setup": rewritten(cut_inside(b'="C:', 6))},
    {"name": "cut inside a key line",
     "setup": rewritten(cut_inside(b"[Software\\\\Wow6432Node\\\\", 12))},
    {"name": "cut inside its first line", "setup": rewritten(lambda text: text[:10])},
    {"name": "empty", "setup": file_of(b"")},
    {"name": "binary garbage", "setup": file_of(garbage(1, MEGABYTE))},
    {"name": "the first line, then binary garbage",
     "setup": file_of(HEADER + garbage(2, MEGABYTE))},
] + [
    {"name": "the first line, then pieces of the format at random (%d)" % seed,
     "setup": file_of(HEADER + garbage(seed, MEGABYTE // 4, TOKENS))} for seed in (3, 4, 5)
] + [
    {"name": "key lines without their closing bracket",
     "setup": rewritten(our_lines(lambda line: line.replace(b"]", b"")))},
    {"name": "value lines without their closing quote",
     "setup": rewritten(our_lines(lambda line: line[:-1] if line.endswith(b'"') else line))},
    {"name": "a NUL byte inside each of its lines",
     "setup": rewritten(our_lines(lambda line: line[:5] + b"\0" + line[5:]))},
    {"name": "a key that is a link to itself", "setup": link_to_itself},
    {"name": "a folder in the place of the file", "setup": special_registry("folder")},
    {"name": "a named pipe in the place of the file", "setup": special_registry("fifo")},
    {"name": "a file that may not be read (user)", "setup": unreadable,
     "run": {"wrapper": NO_OVERRIDE}},
    {"name": "50 MB of keys before the one looked up", "setup": fifty_megabytes,
     "output": INSTALLED, "after": INSTALLED_TREE},
    {"name": "the .NET folder a value of 1 MB",
     "setup": lambda ws: ws.write_registry_values([net_value(LONG_FOLDER)]),
     "output": (notice_cpp(2008) + notice_cpp(2010) + notice_cpp(2012) + NOTICE_DBP
                + error("creating directory", 206)), "status": 1},
    {"name": "Visual C++ 2008's folder a binary value of 1 MB", "setup": binary_megabyte,
     "product": dict(PRODUCT, **{"CPP/Lib VS2008/v8.lib": "lib 2008"}),
     "output": (header("Lib VS2008", "CPP\\Lib VS2008", "A" * MEGABYTE + "lib")
                + error("copying file", 206)), "status": 1},
]
for case in REGISTRY_FILES:
    case.setdefault("product", PRODUCT)
    case.setdefault("drive_c", {"VC10/lib/": None})
    case.setdefault("output", NOTHING_FOUND)
    case.setdefault("status", 0)
    case.setdefault("after", {"VC10": None, "VC10/lib": None})
    case.setdefault("run", {})["timeout"] = 60

# ---------------------------------------------------------------------------
# Standard streams. Whatever happens to them, the install completes.

MANY = 2000  # enough files for more output than a pipe holds
MANY_PRODUCT = dict(PRODUCT, **{"CPP/Include/many/f%04d.h" % i: "many %d" % i
                                for i in range(MANY)})
MANY_OUTPUT = (INSTALLED.replace(copied("p.h"), "".join(
    [header("many", "CPP\\Include\\many", "C:\\VC10\\include\\many")]
    + [copied("f%04d.h" % i) for i in range(MANY)]) + copied("p.h")))
MANY_TREE = dict(INSTALLED_TREE, **{"VC10/include/many": None},
                 **{"VC10/include/many/f%04d.h" % i: "many %d" % i for i in range(MANY)})
FATAL = notice_cpp(2008) + LIB_HEADER + error("copying file", 3)

STREAMS = [
    {"name": "standard input at its end from the start", "run": {"stdin": "devnull"}},
    {"name": "standard input closed", "run": {"stdin": "closed"}},
    {"name": "standard input closed at a fatal error", "run": {"stdin": "closed"},
     "drive_c": {"VC10/": None}, "output": FATAL, "status": 1, "after": {"VC10": None}},
    {"name": "standard input a pipe: PAUSE waits for one byte",
     "runner": terminal.run_with_held_input},
    {"name": "a terminal: PAUSE takes one key without Enter",
     "runner": terminal.run_on_terminal([(terminal.PROMPT, b"k")])},
    {"name": "a terminal: a fatal error waits for a line that is not blank",
     "runner": terminal.run_on_terminal([(b"Error code: 3\r\n", b"\n"), (None, b"7\n")],
                                        echoed=b"\r\n7\r\n"),
     "drive_c": {"VC10/": None}, "output": FATAL, "status": 1, "after": {"VC10": None}},
    {"name": "a terminal: Ctrl-C at the PAUSE prompt",
     "runner": terminal.run_on_terminal([(terminal.PROMPT, b"\x03")]),
     "output": INSTALLED[:-1], "status": -2},
    {"name": "standard output closed", "run": {"stdout": "closed"}, "output": None},
    {"name": "standard output a pipe closed at once", "run": {"stdout": "closed-pipe"},
     "output": None},
    {"name": "standard output /dev/full", "run": {"stdout": "devfull"}, "output": None},
    {"name": "the reader of standard output leaves early", "product": MANY_PRODUCT,
     "run": {"stdout": "reader-leaves"}, "output": MANY_OUTPUT[:1000], "after": MANY_TREE},
    {"name": "standard input and output closed", "product": MANY_PRODUCT,
     "run": {"stdin": "closed", "stdout": "closed"}, "output": None, "after": MANY_TREE},
    {"name": "all three standard streams closed", "product": MANY_PRODUCT,
     "run": {"stdin": "closed", "stdout": "closed", "stderr": "closed"}, "output": None,
     "after": MANY_TREE},
]
for case in STREAMS:
    case.setdefault("registry", VC10)
    case.setdefault("product", PRODUCT)
    case.setdefault("drive_c", {"VC10/lib/": None})
    case.setdefault("output", INSTALLED)
    case.setdefault("status", 0)
    case.setdefault("after", INSTALLED_TREE)
