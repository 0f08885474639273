"""What every fault case shares: a temporary Wine prefix with a product
folder, one run of the installer in it, and the checks made after each run.

The prefix is built by the end-to-end scenario runner's own helpers
(tests/e2e/run_scenarios.py), so both suites see the same layout: system.reg,
dosdevices/c: leading to a drive_c folder, and the product folder as the
current directory.
"""

import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import run_scenarios  # noqa: E402  (the shared prefix helpers)

TEMPORARY_MARKER = ".installer-tmp-"

# Runs a command as root without root's right to ignore file permissions,
# as an ordinary user would run the program.
NO_OVERRIDE = [shutil.which("capsh", path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
               or "capsh", "--drop=cap_dac_override,cap_dac_read_search,cap_fowner",
               "--", "-c", 'exec "$0" "$@"']

# ---------------------------------------------------------------------------
# Expected output, built from the program's own texts.

PAUSE = "Press any key to continue . . . \n"
NOTICE_DBP = "Could not find DarkBASIC Pro install path.\n"
NOTICE_NET = "Could not find visual studio .NET 2008 install path.\n"


def notice_cpp(year):
    return "Could not find visual studio %s C++ install path.\n" % year


FIVE_NOTICES = (notice_cpp(2008) + notice_cpp(2010) + notice_cpp(2012) + NOTICE_DBP
                + NOTICE_NET)


def header(name, source, destination):
    return "\nCopying folder %s from %s to %s\n" % (name, source, destination)


def copied(name):
    return "\tCopied file %s\n" % name


def error(action, code):
    return "Error whilst %s. Error code: %d\n" % (action, code)


def summary(cpp, dbp, net):
    def line(ok, kind):
        return ("Installed %s files successfully\n" if ok
                else "Failed to install %s files successfully\n") % kind
    return "\n\n\n" + line(cpp, "CPP") + line(dbp, "DBP") + line(net, "NET") + PAUSE


def vc_value(version, folder):
    return {"key": "SOFTWARE\\Microsoft\\VisualStudio\\SxS\\VC7", "name": version,
            "data": folder}


def dbp_value(folder):
    return {"key": "software\\dark basic\\dark basic pro", "name": "INSTALL-PATH",
            "data": folder}


def net_value(folder):
    return {"key": "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727\\AssemblyFoldersEx\\"
                   "Public Assemblies 9", "name": None, "data": folder}


def windows_path(unix_path):
    """The Z: spelling of an absolute Unix path, as Wine maps drive Z: to /."""
    return "Z:" + unix_path.replace("/", "\\")


# ---------------------------------------------------------------------------
# Trees


def snapshot(root):
    """Every entry below `root`, by relative path: None for a folder,
    ("link", target) for a symbolic link, (content, mode bits) for a file.
    Works through folder descriptors, so paths longer than the system allows
    in one piece are read too."""
    entries = {}
    if not os.path.lexists(root):
        return entries
    for folder, dirs, files, fd in os.fwalk(root):
        rel = os.path.relpath(folder, root)
        for name in dirs + files:
            path = name if rel == "." else rel + "/" + name
            info = os.stat(name, dir_fd=fd, follow_symlinks=False)
            if _is_link(info):
                entries[path] = ("link", os.readlink(name, dir_fd=fd))
            elif _is_dir(info):
                entries[path] = None
            else:
                entries[path] = (read_at(fd, name), info.st_mode & 0o7777)
    return entries


def _is_link(info):
    return (info.st_mode & 0o170000) == 0o120000


def _is_dir(info):
    return (info.st_mode & 0o170000) == 0o040000


def read_at(folder_fd, name):
    fd = os.open(name, os.O_RDONLY, dir_fd=folder_fd)
    try:
        chunks = []
        while True:
            chunk = os.read(fd, 1 << 20)
            if not chunk:
                return b"".join(chunks)
            chunks.append(chunk)
    finally:
        os.close(fd)


def contents(entries):
    """A snapshot reduced to what a comparison needs: folder or file bytes."""
    out = {}
    for path, entry in entries.items():
        if entry is None or entry[0] == "link":
            out[path] = entry
        else:
            out[path] = entry[0]
    return out


def audit(before, after, sources):
    """Counts what the run did to a destination tree, whatever the case
    expects: files that were there and are gone (lost), files whose content
    is neither their old one nor that of any source file (damaged), and
    temporaries left behind."""
    lost = [p for p, e in before.items() if e is not None and e[0] != "link"
            and (p not in after or after[p] is None or after[p][0] == "link")]
    known = {e[0] for e in sources.values() if e is not None and e[0] != "link"}
    damaged = []
    temporaries = []
    for path, entry in after.items():
        if TEMPORARY_MARKER in os.path.basename(path):
            temporaries.append(path)
            continue
        if entry is None or entry[0] == "link":
            continue
        old = before.get(path)
        if old is not None and old[0] != "link" and old[0] == entry[0]:
            continue
        if entry[0] not in known:
            damaged.append(path)
    return lost, damaged, temporaries


# ---------------------------------------------------------------------------
# A prefix and a run


class Workspace:
    """One case's folder: prefix/, drive_c/ and product/ (the current
    directory of the run), laid out by the scenario runner's Sandbox."""

    def __init__(self, program, case):
        self.program = program
        self.work = os.path.realpath(tempfile.mkdtemp(prefix="faults-"))
        scenario = {"registry": case.get("registry", []), "product": case.get("product", {}),
                    "drive_c": case.get("drive_c", {})}
        sandbox = run_scenarios.Sandbox(scenario, self.work, run_scenarios.Tools(), None)
        sandbox.lay_trees()
        self.env, self.drive, self.product = sandbox.env, sandbox.drive, sandbox.product
        self.prefix = sandbox.prefix
        self.mounts = []

    def link_drive_z(self):
        """Drive Z: for the whole Unix tree, as every Wine prefix has it."""
        os.symlink("/", os.path.join(self.prefix, "dosdevices", "z:"))

    def write_registry_values(self, values):
        run_scenarios.write_system_reg(os.path.join(self.prefix, "system.reg"), values)

    def write_registry(self, text):
        mode = "wb" if isinstance(text, bytes) else "w"
        with open(os.path.join(self.prefix, "system.reg"), mode) as f:
            f.write(text)

    def mount_tmpfs(self, folder, options):
        """Mounts a tmpfs at `folder`; False (nothing mounted) when this
        machine does not allow it."""
        os.makedirs(folder, exist_ok=True)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if result.returncode != 0:
            return False
        self.mounts.append(folder)
        return True

    def remove(self, fix_modes=True):
        for folder in reversed(self.mounts):
            subprocess.run(["umount", "-l", folder], stderr=subprocess.DEVNULL)
        # Permissions the case took away would stop the removal.
        for _, dirs, _, fd in os.fwalk(self.work) if fix_modes else ():
            for name in dirs:
                if not _is_link(os.stat(name, dir_fd=fd, follow_symlinks=False)):
                    os.chmod(name, 0o755, dir_fd=fd)
        shutil.rmtree(self.work, ignore_errors=True)


def default_signals():
    """Gives the program the signal dispositions of a user's shell, even
    when this suite was started with some ignored (as a shell's background
    job ignores SIGINT): the program keeps an ignored signal ignored."""
    for number in (signal.SIGINT, signal.SIGQUIT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, signal.SIG_DFL)


class Result:
    def __init__(self, status, output, errors, hung):
        self.status = status
        self.output = output
        self.errors = errors
        self.hung = hung


def run_program(ws, stdin="pipe", input=b"\n", stdout="pipe", stderr="pipe", wrapper=(),
                fsize=None, timeout=60):
    """Runs the installer once in `ws`.

    stdin: "pipe" (`input` written, then closed), "devnull" or "closed";
    stdout: "pipe", "closed", "devfull", "closed-pipe" (read end closed
    before the start) or "reader-leaves" (the reader takes a little, then
    closes its end); stderr: "pipe" or "closed". `fsize` limits the size of
    the files the program writes."""
    closed = [fd for fd, mode in enumerate((stdin, stdout, stderr)) if mode == "closed"]

    def before_exec():
        default_signals()
        if fsize is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))
        for fd in closed:
            os.close(fd)

    stdout_file = subprocess.PIPE
    write_end = None
    if stdout == "devfull":
        stdout_file = open("/dev/full", "wb")
    elif stdout == "closed":
        stdout_file = subprocess.DEVNULL
    elif stdout == "closed-pipe":
        read_end, write_end = os.pipe()
        os.close(read_end)
        stdout_file = write_end
    stdin_file = subprocess.PIPE if stdin == "pipe" else subprocess.DEVNULL
    process = subprocess.Popen(list(wrapper) + [ws.program], cwd=ws.product, env=ws.env,
                               stdin=stdin_file, stdout=stdout_file,
                               stderr=subprocess.PIPE if stderr == "pipe" else subprocess.DEVNULL,
                               preexec_fn=before_exec)
    if write_end is not None:
        os.close(write_end)
    if stdout == "devfull":
        stdout_file.close()
    output = b""
    if stdout == "reader-leaves":
        if stdin == "pipe":
            process.stdin.write(input)
            process.stdin.close()
            process.stdin = None
        output = process.stdout.read(1000)
        process.stdout.close()
        process.stdout = None
        stdin_data = None
    else:
        stdin_data = input if stdin == "pipe" else None
    hung = False
    try:
        out, errors = process.communicate(stdin_data, timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        out, errors = process.communicate()
        hung = True
    return Result(process.returncode, output + (out or b""), errors or b"", hung)
