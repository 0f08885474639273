"""Interruption: SIGINT, SIGTERM and SIGKILL at random moments of a large
copy. No destination file may ever be partly written: each one that exists
holds its source's bytes, or its old content when the destination held old
versions. SIGINT and SIGTERM leave no temporary file; after SIGKILL the only
leftover allowed is the one temporary "<name>.installer-tmp-<pid>" being
written.

The tree is generated once, deterministically. Every run copies into a
folder that never existed and nothing is deleted until the end, because
files created after a large delete come much slower on these file systems.

Size, from the environment:
  FAULTS_INTERRUPT_FILES  files in the tree (default 20000)
  FAULTS_INTERRUPT_RUNS   runs per signal (default 6); every other run
                          copies over old versions of every file
  FAULTS_SEED             seed of the moments chosen (default 1)
"""

import hashlib
import os
import random
import signal
import subprocess
import threading
import time

import faults
from faults import (NOTICE_DBP, NOTICE_NET, TEMPORARY_MARKER, Workspace, copied, header,
                    notice_cpp, summary, vc_value)

FILES = int(os.environ.get("FAULTS_INTERRUPT_FILES", "20000"))
RUNS = int(os.environ.get("FAULTS_INTERRUPT_RUNS", "6"))
SEED = int(os.environ.get("FAULTS_SEED", "1"))
SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGKILL)
PER_FOLDER = 1000
LARGE_EVERY = 997  # a few large files, so that a signal can come mid-file
PATIENCE = 120  # seconds before a run that does not end counts as hung


def digest(data):
    return hashlib.blake2b(data, digest_size=16).digest()


def content(index, path, old):
    if index % LARGE_EVERY == 0:
        return random.Random(index * 2 + old).randbytes((256 << 10) * (1 + index % 4))
    line = ("%s %s %d\n" % (path, "old" if old else "new", index)).encode()
    size = (index * 7919) % (1500 if old else 3000)
    return (line * (size // len(line) + 1))[:size]


class Tree:
    """The generated product: relative path (below the library folder) ->
    digest of the new and of the old content, in the order of the copy."""

    def __init__(self, root, old_root):
        folders = max(1, (FILES + PER_FOLDER - 1) // PER_FOLDER)
        self.folders = ["g%03d" % f for f in range(folders)]
        self.order = []
        self.new = {}
        self.old = {}
        for f, folder in enumerate(self.folders):
            os.makedirs(os.path.join(root, folder))
            os.makedirs(os.path.join(old_root, folder))
            for index in range(f * PER_FOLDER, min(FILES, (f + 1) * PER_FOLDER)):
                path = "%s/f%06d.bin" % (folder, index)
                for base, old, digests in ((root, 0, self.new), (old_root, 1, self.old)):
                    data = content(index, path, old)
                    with open(os.path.join(base, path), "wb") as out:
                        out.write(data)
                    digests[path] = digest(data)
                self.order.append(path)

    def full_output(self, destination):
        """The whole standard output of a run that is not interrupted."""
        lib = destination + "lib"
        pieces = [notice_cpp(2008), header("Lib VS2010", "CPP\\Lib VS2010", lib)]
        for folder in self.folders:
            pieces.append(header(folder, "CPP\\Lib VS2010\\" + folder, lib + "\\" + folder))
            pieces.extend(copied(path.split("/")[1]) for path in self.order
                          if path.startswith(folder + "/"))
        pieces += [header("Include", "CPP\\Include", destination + "include"), copied("p.h"),
                   notice_cpp(2012), NOTICE_DBP, NOTICE_NET, summary(True, False, False)]
        return "".join(pieces).encode()


def read_digest(path):
    with open(path, "rb") as f:
        return digest(f.read())


class Inspection:
    """What one run left in its destination."""

    def __init__(self):
        self.files = 0
        self.complete = 0
        self.damaged = []
        self.lost = []
        self.temporaries = []
        self.strangers = []


def inspect(tree, lib, prefilled):
    seen = Inspection()
    folders = set(tree.folders)
    if not os.path.isdir(lib):
        return seen
    for folder in os.listdir(lib):
        if folder not in folders:
            seen.strangers.append(folder)
            continue
        for entry in os.scandir(os.path.join(lib, folder)):
            path = folder + "/" + entry.name
            if TEMPORARY_MARKER in entry.name:
                seen.temporaries.append(path)
                continue
            if path not in tree.new or not entry.is_file(follow_symlinks=False):
                seen.strangers.append(path)
                continue
            seen.files += 1
            found = read_digest(entry.path)
            if found == tree.new[path]:
                seen.complete += 1
            elif not (prefilled and found == tree.old[path]):
                seen.damaged.append(path)
    if prefilled:
        seen.lost = [path for path in tree.order if not os.path.exists(os.path.join(lib, path))]
    return seen


def collect(stream, sink):
    while True:
        data = os.read(stream.fileno(), 65536)
        if not data:
            return
        sink.append(data)


def start(ws, input_data):
    process = subprocess.Popen([ws.program], cwd=ws.product, env=ws.env,
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, preexec_fn=faults.default_signals)
    chunks = {"out": [], "err": []}
    readers = [threading.Thread(target=collect, args=(stream, chunks[kind]))
               for stream, kind in ((process.stdout, "out"), (process.stderr, "err"))]
    for reader in readers:
        reader.start()
    if input_data:
        process.stdin.write(input_data)
        process.stdin.flush()
    return process, readers, chunks


def finish(process, readers, chunks):
    hung = False
    try:
        process.wait(timeout=PATIENCE)
    except subprocess.TimeoutExpired:
        hung = True
        process.kill()
        process.wait()
    process.stdin.close()
    for reader in readers:
        reader.join()
    return hung, b"".join(chunks["out"]), b"".join(chunks["err"])


def check_run(tree, ws, name, sig, prefilled, process, hung, output, errors, expected):
    """The failures of one run, and what it left."""
    lib = os.path.join(ws.drive, name, "lib")
    seen = inspect(tree, lib, prefilled)
    failures = []
    wanted = -sig if sig else 0
    if hung:
        failures.append("did not end")
    if process.returncode != wanted:
        failures.append("exit status %d, expected %d" % (process.returncode, wanted))
    if errors:
        failures.append("standard error: %r" % errors[:300])
    if not expected.startswith(output):
        failures.append("standard output is not a beginning of the whole output")
    if sig is None and output != expected:
        failures.append("standard output differs from the whole output")
    # Every file the output names as copied is there, whole.
    listed = output.count(b"\tCopied file ")
    for path in tree.order[:listed]:
        whole = os.path.exists(os.path.join(lib, path)) and \
            read_digest(os.path.join(lib, path)) == tree.new[path]
        if not whole:
            failures.append("listed as copied but not whole: " + path)
            break
    if seen.damaged:
        failures.append("partly written: " + ", ".join(seen.damaged[:5]))
    if seen.lost:
        failures.append("lost: " + ", ".join(seen.lost[:5]))
    if seen.strangers:
        failures.append("not from the source: " + ", ".join(seen.strangers[:5]))
    allowed = 1 if sig == signal.SIGKILL else 0
    mark = TEMPORARY_MARKER + str(process.pid)
    if len(seen.temporaries) > allowed or any(
            not path.endswith(mark) or path[:-len(mark)] not in tree.new
            for path in seen.temporaries):
        failures.append("temporaries left: " + ", ".join(seen.temporaries[:5]))
    if sig is None and seen.complete != len(tree.order):
        failures.append("%d of %d files copied" % (seen.complete, len(tree.order)))
    return failures, seen


def new_destination(ws, name, prefilled):
    """A destination that never existed: an empty library folder, or one
    holding an old version of every file (hard links to the old tree)."""
    destination = os.path.join(ws.drive, name)
    os.makedirs(destination)
    if prefilled:
        subprocess.run(["cp", "-al", os.path.join(ws.work, "old"),
                        os.path.join(destination, "lib")], check=True)
    else:
        os.makedirs(os.path.join(destination, "lib"))
    windows = "C:\\" + name + "\\"
    ws.write_registry_values([vc_value("10.0", windows)])
    return windows


def unchanged(tree, ws, tally):
    """Neither the source nor the old versions, hard-linked into every
    prefilled destination, may have been written through."""
    for root, digests, kind in ((os.path.join(ws.product, "CPP", "Lib VS2010"), tree.new,
                                 "source"),
                                (os.path.join(ws.work, "old"), tree.old, "old version")):
        changed = [p for p in tree.order if read_digest(os.path.join(root, p)) != digests[p]]
        tally.damaged += len(changed)
        if changed:
            tally.failed += 1
            print("FAILED   %s files changed: %s" % (kind, ", ".join(changed[:5])))
        else:
            tally.passed += 1
            print("ok       every %s file unchanged" % kind)


def run(program, tally_type):
    tally = tally_type()
    tally.allowed_temporaries = 0
    ws = Workspace(program, {"registry": [], "product": {"CPP/Include/p.h": "header"}})
    try:
        started = time.monotonic()
        tree = Tree(os.path.join(ws.product, "CPP", "Lib VS2010"),
                    os.path.join(ws.work, "old"))
        print("tree of %d files in %d folders generated in %.1f s"
              % (FILES, len(tree.folders), time.monotonic() - started))
        rng = random.Random(SEED)
        duration = None
        figures = {sig: [0, 0, 0] for sig in SIGNALS}  # runs, cut mid-copy, files
        # A complete run first: it is checked whole, and its duration is the
        # range of the moments chosen for the signals.
        plan = [(None, False)] + [(sig, i % 2 == 1) for i in range(RUNS) for sig in SIGNALS]
        for number, (sig, prefilled) in enumerate(plan):
            name = "run-%03d" % number
            windows = new_destination(ws, name, prefilled)
            began = time.monotonic()
            process, readers, chunks = start(ws, b"\n" if sig is None else b"")
            if sig is None:
                hung, output, errors = finish(process, readers, chunks)
                duration = moment = time.monotonic() - began
            else:
                moment = rng.uniform(0, duration)
                time.sleep(moment)
                process.send_signal(sig)
                hung, output, errors = finish(process, readers, chunks)
            failures, seen = check_run(tree, ws, name, sig, prefilled, process, hung, output,
                                       errors, tree.full_output(windows))
            killed = sig == signal.SIGKILL
            tally.add_audit(seen.files, seen.lost, seen.damaged,
                            [] if killed else seen.temporaries)
            tally.allowed_temporaries += len(seen.temporaries) if killed else 0
            if sig is not None:
                figures[sig][0] += 1
                figures[sig][1] += seen.complete < len(tree.order)
                figures[sig][2] += seen.files
            label = "%s %s at %.2f s%s: %d files whole" % (
                name, signal.Signals(sig).name if sig else "complete run", moment,
                ", over old versions" if prefilled else "", seen.complete)
            if failures:
                tally.failed += 1
                print("FAILED   %s\n  %s" % (label, "\n  ".join(failures)))
            else:
                tally.passed += 1
                print("ok       " + label)
        for sig in SIGNALS:
            print("%s: %d runs, %d of them cut mid-copy, %d destination files checked"
                  % ((signal.Signals(sig).name,) + tuple(figures[sig])))
        print("temporaries left by SIGKILL (allowed, one at most per run): %d"
              % tally.allowed_temporaries)
        unchanged(tree, ws, tally)
    finally:
        ws.remove(fix_modes=False)
    return tally
