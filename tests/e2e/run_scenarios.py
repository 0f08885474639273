#!/usr/bin/env python3
"""Runs the installer end to end on the scenarios in tests/e2e/scenarios.

Each scenario (one JSON file) gives the registry values, the product tree,
the environments' trees on drive C:, standard input, and what must come out:
the whole standard output (bytes), the exit status and the resulting trees.

Linux (default): the Linux program runs in a temporary prefix made of a
system.reg written here and a dosdevices/c: link.

Windows (--wine): the Windows program runs under wine64 (through
scripts/wine-run, so read-only files stay read-only) in a real Wine prefix,
cloned per scenario from one template made once per run; the registry is
filled with `reg add ... /reg:32`. Standard output is compared after two
normalisations only: CR LF read as LF, and the PAUSE prompt of Wine's cmd.exe
read as the prompt the scenarios expect.

Differential (--wine --linux-program PATH): after the Windows program, the
drive trees are set back to the scenario's start and the Linux program runs
against the same prefix (its system.reg as Wine saved it, its dosdevices);
its standard output, exit status and trees must equal the Windows program's.

A scenario may carry a "wine" object: the Windows form of the scenario,
whose members replace the scenario's under Wine (for example a tool that is
a shell script on Linux and a Windows program under Wine). When it holds a
"difference" (a reason, recorded in tests/WINE_DIFFERENCES.md), Wine itself
answers otherwise than Windows: the Windows program is checked against the
"wine" expectations and the Linux program, in the differential run, against
the scenario's own, which are what Windows does.

Tree entries may be {"tool": NAME}: the Windows console program built from
tools/NAME.c, listed in trees as "<tool NAME>". Under Wine
the scenario's environment is set as the user's environment in the registry
(Wine takes COMSPEC from there, not from the Unix environment). "$WORK" stands
for the scenario's work folder, "$DOSWORK" for the same as a Windows path.

Usage: run_scenarios.py --program PATH [--wine [--linux-program PATH]]
                        [--jobs N] [--wrapper COMMAND] [NAME ...]
"""

import argparse
import concurrent.futures
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCENARIOS = os.path.join(HERE, "scenarios")
TOOLS = os.path.join(HERE, "tools")
WINE_RUN = os.path.join(HERE, "..", "..", "scripts", "wine-run")

# The only normalisation allowed when comparing Windows output: Wine's
# cmd.exe writes its own PAUSE prompt and no line feed after the key.
OUR_PAUSE = b"Press any key to continue . . . \n"
WINE_PAUSE = b"Press any key to continue... "

SEARCH_PATH = "/usr/local/bin:/usr/bin:/bin"
# A differential result that passed against the scenario's own expectations
# because Wine differs from Windows (tests/WINE_DIFFERENCES.md).
KNOWN_DIFFERENCE = "Wine differs from Windows, Linux program checked against Windows: "
# Longest wait for a program or for output it must write.
TIMEOUT = 120


def load(name):
    with open(os.path.join(SCENARIOS, name + ".json"), encoding="utf-8") as f:
        return json.load(f)


def all_names():
    return sorted(f[:-5] for f in os.listdir(SCENARIOS) if f.endswith(".json"))


def windows_form(scenario):
    """The scenario with its "wine" members laid over it."""
    form = {key: value for key, value in scenario.items() if key != "wine"}
    form.update(scenario.get("wine", {}))
    return form


def substitute(text, work):
    dos_work = "Z:" + work.replace("/", "\\")
    return text.replace("$DOSWORK", dos_work).replace("$WORK", work)


def normalise_windows_output(output):
    return output.replace(b"\r\n", b"\n").replace(WINE_PAUSE, OUR_PAUSE)


# ---------------------------------------------------------------------------
# Trees


def make_tree(root, entries, tools):
    """entries: {"path/file": "content", "folder/": null} or, for a file,
    {"tool": NAME} or {"text": "content", "read_only": true}. A read-only
    file has no write permission: Wine's READONLY attribute."""
    for path, content in entries.items():
        full = os.path.join(root, path)
        if path.endswith("/"):
            os.makedirs(full, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if not isinstance(content, dict):
            content = {"text": content}
        if "tool" in content:
            data = tools.content(content["tool"])
        else:
            data = content["text"].encode("utf-8")
        with open(full, "wb") as f:
            f.write(data)
        if path.endswith(".sh") or os.path.basename(path) == "TGCOnline.exe":
            os.chmod(full, 0o755)
        if content.get("read_only"):
            os.chmod(full, os.stat(full).st_mode & ~0o222)


def describe_tree(root, tools, skip=()):
    """Every entry below root, sorted: "D path", "L path", "F path=content",
    or "R path=content" for a file without write permission (read-only).

    Top-level names in `skip` are left out."""
    lines = []
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        if rel == ".":
            dirs[:] = [d for d in dirs if d not in skip]
            files = [f for f in files if f not in skip]
        for name in dirs + files:
            path = name if rel == "." else rel + "/" + name
            full = os.path.join(folder, name)
            if os.path.islink(full):
                lines.append("L " + path)
            elif os.path.isdir(full):
                lines.append("D " + path)
            else:
                with open(full, "rb") as f:
                    data = f.read()
                kind = "F " if os.stat(full).st_mode & 0o222 else "R "
                lines.append(kind + path + "=" + tools.describe(data))
    return sorted(lines)


class Tools:
    """The Windows console programs that scenarios place in their trees."""

    def __init__(self, folder=None):
        self.folder = folder
        self.built = {}

    def build(self, compiler):
        for source in sorted(os.listdir(TOOLS)):
            if not source.endswith(".c"):
                continue
            name = source[:-2]
            output = os.path.join(self.folder, name + ".exe")
            subprocess.run([compiler, "-O2", "-s", "-o", output, os.path.join(TOOLS, source)],
                           check=True)
            with open(output, "rb") as f:
                self.built[name] = f.read()

    def content(self, name):
        if name not in self.built:
            raise RuntimeError("the tool %s exists only in the Windows form of a scenario" % name)
        return self.built[name]

    def describe(self, data):
        for name, content in self.built.items():
            if data == content:
                return "<tool %s>" % name
        return data.decode("utf-8", "replace")


# ---------------------------------------------------------------------------
# Registry as a Linux sandbox holds it


def escape_reg(text, quote):
    """Escapes a string as Wine writes it in system.reg."""
    out = []
    units = text.encode("utf-16-le")
    codes = [int.from_bytes(units[i:i + 2], "little") for i in range(0, len(units), 2)]
    for i, c in enumerate(codes):
        nxt = codes[i + 1] if i + 1 < len(codes) else None
        ch = chr(c) if c < 0xD800 or c > 0xDFFF else None
        if ch == "\\":
            out.append("\\\\")
        elif ch == quote:
            out.append("\\" + quote)
        elif quote == "]" and ch == "[":
            out.append("\\[")
        elif c > 0x7F:
            hexdigits = "%x" % c
            if nxt is not None and chr(nxt) in "0123456789abcdefABCDEF":
                hexdigits = "%04x" % c
            out.append("\\x" + hexdigits)
        elif c < 0x20:
            out.append("\\%o" % c if nxt is None or not (0x30 <= nxt <= 0x37)
                       else "\\%03o" % c)
        else:
            out.append(ch)
    return "".join(out)


def reg_data(value):
    kind = value.get("type", "sz")
    data = value["data"]
    if kind == "sz":
        return '"' + escape_reg(data, '"') + '"'
    if kind == "expand_sz":
        return 'str(2):"' + escape_reg(data, '"') + '"'
    if kind == "multi_sz":
        return 'str(7):"' + escape_reg("\0".join(data) + "\0", '"') + '"'
    if kind == "dword":
        return "dword:%08x" % data
    if kind == "binary":
        return "hex:" + ",".join("%02x" % b for b in bytes.fromhex(data))
    raise ValueError("unknown value type " + kind)


def write_system_reg(path, values, arch="win64"):
    """Writes the registry values in Wine's system.reg format."""
    keys = {}
    for value in values:
        key = value["key"]
        if value.get("view", "32") == "32" and arch == "win64":
            parts = key.split("\\")
            if parts[0].lower() == "software":
                key = "Software\\Wow6432Node\\" + "\\".join(parts[1:])
        keys.setdefault(key, []).append(value)
    if arch == "win64" and not any(k.lower().startswith("software\\wow6432node") for k in keys):
        # A real 64-bit prefix always has the 32-bit branch.
        keys["Software\\Wow6432Node"] = []
    lines = ["WINE REGISTRY Version 2", ";; All keys relative to \\\\Machine", "",
             "#arch=" + arch]
    for key in sorted(keys, key=str.lower):
        lines.append("")
        lines.append("[" + escape_reg(key, "]") + "] 1796969489")
        lines.append("#time=1dd893676151ed0")
        for value in sorted(keys[key], key=lambda v: (v.get("name") or "").lower()):
            name = value.get("name")
            label = "@" if name is None else '"' + escape_reg(name, '"') + '"'
            lines.append(label + "=" + reg_data(value))
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


# ---------------------------------------------------------------------------
# Wine


def find_wineserver():
    wine64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
    beside = os.path.join(os.path.dirname(os.path.realpath(wine64)), "wineserver")
    return beside if os.access(beside, os.X_OK) else shutil.which("wineserver")


class Wine:
    """One template prefix per run; each scenario runs in a clone of it."""

    def __init__(self, template):
        self.template = template
        self.wineserver = find_wineserver()
        if self.wineserver is None or not os.access(WINE_RUN, os.X_OK):
            raise RuntimeError("wine64 and wineserver are needed for --wine")
        if not os.path.exists(os.path.join(template, "system.reg")):
            env = self.environment(template)
            env["WINEARCH"] = "win64"
            subprocess.run([WINE_RUN, "wineboot", "--init"], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.wait(env)
        self.own_folders = set(os.listdir(os.path.join(template, "drive_c")))

    @staticmethod
    def environment(prefix):
        env = dict(os.environ)
        env.pop("COMSPEC", None)
        # No cmd.exe on the search path: the Linux program's stand-in answers.
        env["PATH"] = SEARCH_PATH
        env["WINEPREFIX"] = prefix
        env["WINEDEBUG"] = "-all"
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        return env

    def clone(self, prefix):
        """A prefix of its own in a few milliseconds: the files are hard links
        to the template's, except the registry files, which Wine rewrites in
        place (a link would carry one scenario's registry into the next)."""
        linked = subprocess.run(["cp", "-al", self.template, prefix], stderr=subprocess.DEVNULL)
        if linked.returncode != 0:  # another file system: a real copy
            shutil.rmtree(prefix, ignore_errors=True)
            subprocess.run(["cp", "-a", self.template, prefix], check=True)
        for name in os.listdir(prefix):
            if name.endswith(".reg"):
                os.unlink(os.path.join(prefix, name))
                shutil.copy2(os.path.join(self.template, name), os.path.join(prefix, name))

    def reg_add(self, env, key, name, reg_type, data, view):
        command = [WINE_RUN, "reg", "add", key, "/t", reg_type, "/d", data, "/f"]
        command += ["/ve"] if name is None else ["/v", name]
        if view:
            command.append("/reg:" + view)
        done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (" ".join(command[1:]), done.returncode,
                                                       done.stdout.decode("utf-8", "replace")))

    def add_value(self, env, value):
        kind = value.get("type", "sz")
        reg_type = {"sz": "REG_SZ", "expand_sz": "REG_EXPAND_SZ", "multi_sz": "REG_MULTI_SZ",
                    "dword": "REG_DWORD", "binary": "REG_BINARY"}[kind]
        data = value["data"]
        if kind == "multi_sz":
            data = "\\0".join(data)
        elif kind == "dword":
            data = str(data)
        self.reg_add(env, "HKLM\\" + value["key"], value.get("name"), reg_type, data,
                     value.get("view", "32"))

    def wait(self, env):
        """Waits for the prefix's server to end; it saves the registry then."""
        subprocess.run([self.wineserver, "-w"], env=env, check=True)

    def stop(self, env):
        subprocess.run([self.wineserver, "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


# ---------------------------------------------------------------------------
# Running one program


class Run:
    """What one program run left: output, status and trees."""

    def __init__(self, output, error, status, trees, failures):
        self.output = output
        self.error = error
        self.status = status
        self.trees = trees
        self.failures = failures


def collect(stream, chunks, lock):
    while True:
        data = os.read(stream.fileno(), 65536)
        if not data:
            return
        with lock:
            chunks.append(data)


def run_program(command, cwd, env, scenario, work, normalise):
    """Runs the program, feeding standard input step by step."""
    stdout_mode = scenario.get("stdout", "pipe")
    if stdout_mode == "closed-pipe":
        read_end, write_end = os.pipe()
        os.close(read_end)
        stdout = write_end
    else:
        stdout = subprocess.PIPE
    process = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.PIPE,
                               stdout=stdout, stderr=subprocess.PIPE)
    if stdout_mode == "closed-pipe":
        os.close(write_end)
    lock = threading.Lock()
    out_chunks, err_chunks = [], []
    readers = [threading.Thread(target=collect, args=(process.stderr, err_chunks, lock))]
    if process.stdout:
        readers.append(threading.Thread(target=collect, args=(process.stdout, out_chunks, lock)))
    for reader in readers:
        reader.start()

    def output_so_far():
        with lock:
            return normalise(b"".join(out_chunks))

    failures = []
    steps = scenario.get("input_steps") or [{"write": scenario.get("input", "")}]
    failure = feed_input(process, steps, output_so_far, work)
    if failure:
        failures.append(failure)
    try:
        status = process.wait(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        process.kill()
        status = process.wait()
        failures.append("the program did not end within %d s" % TIMEOUT)
    for reader in readers:
        reader.join()
    return output_so_far(), b"".join(err_chunks), status, failures


def feed_input(process, steps, output_so_far, work):
    """Writes standard input step by step. Returns a failure text or None."""
    for step in steps:
        if "write" in step:
            try:
                process.stdin.write(step["write"].encode("utf-8"))
                process.stdin.flush()
            except BrokenPipeError:
                pass
        elif "wait_for_output" in step:
            wanted = substitute(step["wait_for_output"], work).encode("utf-8")
            deadline = time.monotonic() + TIMEOUT
            while wanted not in output_so_far():
                if process.poll() is not None or time.monotonic() > deadline:
                    return "the program did not write %r while waiting for input" % wanted
                time.sleep(0.05)
        elif "still_running_after" in step:
            time.sleep(step["still_running_after"])
            if process.poll() is not None:
                return "the program ended before its input was complete"
    try:
        process.stdin.close()
    except BrokenPipeError:
        pass
    return None


# ---------------------------------------------------------------------------
# One scenario


class Sandbox:
    """The work folder of one scenario: product/, prefix/, the drive and the
    scenario's own files."""

    def __init__(self, scenario, work, tools, wine):
        self.scenario = scenario
        self.work = work
        self.tools = tools
        self.wine = wine
        self.prefix = os.path.join(work, "prefix")
        self.product = os.path.join(work, "product")
        if wine:
            wine.clone(self.prefix)
            self.drive = os.path.realpath(os.path.join(self.prefix, "dosdevices", "c:"))
            self.own_folders = wine.own_folders
        else:
            os.makedirs(os.path.join(self.prefix, "dosdevices"))
            self.drive = os.path.join(work, "drive_c")
            os.makedirs(self.drive)
            os.symlink("../../drive_c", os.path.join(self.prefix, "dosdevices", "c:"))
            write_system_reg(os.path.join(self.prefix, "system.reg"),
                             scenario.get("registry", []), scenario.get("arch", "win64"))
            self.own_folders = set()
        self.env = Wine.environment(self.prefix)
        for key, value in scenario.get("environment", {}).items():
            self.env[key] = substitute(value, work)

    def fill_registry(self):
        """Under Wine: the registry values and the user's environment."""
        for value in self.scenario.get("registry", []):
            self.wine.add_value(self.env, value)
        for key, value in self.scenario.get("environment", {}).items():
            self.wine.reg_add(self.env, "HKCU\\Environment", key, "REG_SZ",
                              substitute(value, self.work), None)
        self.wine.wait(self.env)

    def lay_trees(self):
        """Sets the product, the drive's own folders and the scenario's files
        in the work folder to the scenario's start."""
        if os.path.exists(self.product):
            shutil.rmtree(self.product)
        for name in os.listdir(self.drive):
            if name not in self.own_folders:
                remove(os.path.join(self.drive, name))
        for name in os.listdir(self.work):
            if name not in ("prefix", "product", "drive_c"):
                remove(os.path.join(self.work, name))
        os.makedirs(self.product)
        make_tree(self.product, self.scenario.get("product", {}), self.tools)
        make_tree(self.drive, self.scenario.get("drive_c", {}), self.tools)
        make_tree(self.work, self.scenario.get("work", {}), self.tools)

    def trees(self):
        return {
            "drive C:": describe_tree(self.drive, self.tools, self.own_folders),
            "product": describe_tree(self.product, self.tools),
            "work folder": describe_tree(self.work, self.tools, ("prefix", "product", "drive_c")),
        }

    def run(self, command, env, normalise):
        cwd = os.path.join(self.work, self.scenario.get("folder", "product"))
        output, error, status, failures = run_program(command, cwd, env, self.scenario,
                                                      self.work, normalise)
        return Run(output, error, status, self.trees(), failures)


def remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    else:
        os.unlink(path)


def check_expectations(scenario, run, work, check_stderr):
    """The run against what the scenario says must come out."""
    failures = list(run.failures)
    expected = substitute("".join(scenario["output"]), work).encode("utf-8") \
        if scenario.get("stdout", "pipe") != "closed-pipe" else b""
    if run.output != expected:
        failures.append("standard output differs:\n--- expected\n%s\n--- actual\n%s"
                        % (expected.decode("utf-8", "replace"),
                           run.output.decode("utf-8", "replace")))
    if run.status != scenario.get("status", 0):
        failures.append("exit status %d, expected %d" % (run.status, scenario.get("status", 0)))
    if "stderr" in scenario and check_stderr:
        if run.error.replace(b"\r\n", b"\n").decode("utf-8", "replace") != scenario["stderr"]:
            failures.append("standard error: %r, expected %r" % (run.error, scenario["stderr"]))
    if "drive_c_after" in scenario:
        expected_tree = sorted(substitute(line, work) for line in scenario["drive_c_after"])
        # Only the folders the scenario speaks of.
        tops = {top_folder(line) for line in expected_tree}
        tops |= {path.split("/")[0] for path in scenario.get("drive_c", {})}
        actual_tree = [line for line in run.trees["drive C:"] if top_folder(line) in tops]
        if actual_tree != expected_tree:
            failures.append("drive C: differs:\n--- expected\n%s\n--- actual\n%s"
                            % ("\n".join(expected_tree), "\n".join(actual_tree)))
    if "product_after" in scenario:
        if run.trees["product"] != sorted(scenario["product_after"]):
            failures.append("product tree changed:\n" + "\n".join(run.trees["product"]))
    if "work_after" in scenario:
        if run.trees["work folder"] != sorted(substitute(line, work)
                                              for line in scenario["work_after"]):
            failures.append("work folder differs:\n" + "\n".join(run.trees["work folder"]))
    return failures


def compare_runs(windows, linux):
    """The Linux program's run against the Windows program's."""
    failures = ["Linux program: " + failure for failure in linux.failures]
    if linux.output != windows.output:
        failures.append("standard output differs:\n--- Windows program\n%s\n--- Linux program\n%s"
                        % (windows.output.decode("utf-8", "replace"),
                           linux.output.decode("utf-8", "replace")))
    if linux.status != windows.status:
        failures.append("exit status: Windows program %d, Linux program %d"
                        % (windows.status, linux.status))
    for name in windows.trees:
        if linux.trees[name] != windows.trees[name]:
            failures.append("%s differs:\n--- Windows program\n%s\n--- Linux program\n%s"
                            % (name, "\n".join(windows.trees[name]),
                               "\n".join(linux.trees[name])))
    return failures


def top_folder(line):
    return line.split(" ", 1)[1].split("=")[0].split("/")[0]


def run_scenario(name, options):
    """Returns (result, differential result); each None (passed), a skip
    text or the failures."""
    scenario = load(name)
    base = scenario
    if options.wine:
        if scenario.get("linux_only"):
            skipped = "skipped (Linux only: %s)" % scenario["linux_only"]
            return skipped, skipped if options.linux_program else None
        scenario = windows_form(scenario)
    work = os.path.realpath(tempfile.mkdtemp(prefix="scenario-" + name + "-"))
    sandbox = None
    try:
        sandbox = Sandbox(scenario, work, options.tools, options.wine_runner)
        if not options.wine:
            sandbox.lay_trees()
            run = sandbox.run(options.wrapper + [options.program], sandbox.env,
                              lambda output: output)
            return report(check_expectations(scenario, run, work, True)), None
        sandbox.fill_registry()
        sandbox.lay_trees()
        windows = sandbox.run([WINE_RUN, options.program], sandbox.env,
                              normalise_windows_output)
        # Wine's cmd.exe words its messages its own way: standard error is
        # checked only where the Windows form gives Wine's text.
        result = report(check_expectations(scenario, windows, work,
                                           "stderr" in base.get("wine", {})))
        if not options.linux_program:
            return result, None
        # The registry stays as reg add left it; only the trees start again.
        options.wine_runner.wait(sandbox.env)
        sandbox.lay_trees()
        # A Windows tool that the Linux program starts writes CR LF too.
        linux = sandbox.run([options.linux_program], sandbox.env, normalise_windows_output)
        if "difference" in scenario:
            # Wine is known to answer otherwise than Windows here: the Linux
            # program must do what Windows does, as the scenario says.
            failures = check_expectations(base, linux, work, False)
            return result, report(failures) or KNOWN_DIFFERENCE + scenario["difference"]
        return result, report(compare_runs(windows, linux))
    finally:
        if sandbox is not None and options.wine:
            options.wine_runner.stop(sandbox.env)
        if not os.environ.get("KEEP_SCENARIO"):
            shutil.rmtree(work, ignore_errors=True)


def report(failures):
    return "\n".join(failures) if failures else None


def print_result(kind, name, result):
    if result is None:
        print("ok      %s%s" % (kind, name))
    elif result.startswith(KNOWN_DIFFERENCE):
        print("ok      %s%s (%s)" % (kind, name, result))
        return False
    elif result.startswith("skipped"):
        print("skipped %s%s: %s" % (kind, name, result))
    else:
        print("FAILED  %s%s\n%s" % (kind, name, result))
    return result is not None and not result.startswith("skipped")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--linux-program",
                        help="with --wine: run this Linux program against each prefix too")
    parser.add_argument("--wine-template",
                        help="with --wine: the template prefix, made here when missing")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--wrapper", default="",
                        help="Linux: a command line the program runs under, such as valgrind")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    options.program = os.path.abspath(options.program)
    options.wrapper = shlex.split(options.wrapper)
    if options.linux_program:
        options.linux_program = os.path.abspath(options.linux_program)
        if not options.wine:
            parser.error("--linux-program needs --wine")

    scratch = tempfile.mkdtemp(prefix="scenarios-")
    try:
        options.tools = Tools(scratch)
        options.wine_runner = None
        if options.wine:
            compiler = shutil.which("x86_64-w64-mingw32-gcc")
            if compiler is None:
                raise RuntimeError("x86_64-w64-mingw32-gcc is needed for --wine")
            options.tools.build(compiler)
            template = options.wine_template or os.path.join(scratch, "template")
            started = time.monotonic()
            options.wine_runner = Wine(os.path.abspath(template))
            print("Wine template prefix ready in %.1f s" % (time.monotonic() - started))
        names = options.names or all_names()
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
            results = list(pool.map(lambda name: run_scenario(name, options), names))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    kind = "windows " if options.wine else ""
    failed = 0
    for name, (result, differential) in zip(names, results):
        failed += print_result(kind, name, result)
        if options.linux_program:
            failed += print_result("differential ", name, differential)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
