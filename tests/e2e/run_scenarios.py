#!/usr/bin/env python3
"""Runs the installer end to end on the scenarios in tests/e2e/scenarios.

Each scenario (one JSON file) gives the registry values, the product tree,
the environments' trees on drive C:, standard input, and what must come out:
the whole standard output (bytes), the exit status and the resulting trees.

The program runs in a fresh temporary Wine prefix. On Linux the registry is
written as the prefix's system.reg; under Wine (--wine) it is filled with
`wine64 reg add ... /reg:32`, and the Windows program runs under wine64.

Usage: run_scenarios.py --program PATH [--wine] [NAME ...]
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCENARIOS = os.path.join(HERE, "scenarios")

# Wine's cmd.exe writes its own PAUSE prompt; the only normalisation allowed
# when comparing Windows output is to read it as ours.
OUR_PAUSE = b"Press any key to continue . . . \n"
WINE_PAUSE = b"Press any key to continue... "


def load(name):
    with open(os.path.join(SCENARIOS, name + ".json"), encoding="utf-8") as f:
        return json.load(f)


def all_names():
    return sorted(f[:-5] for f in os.listdir(SCENARIOS) if f.endswith(".json"))


# ---------------------------------------------------------------------------
# Trees


def make_tree(root, entries):
    """entries: {"path/file": "content", "path/folder/": null}."""
    for path, content in entries.items():
        full = os.path.join(root, path)
        if path.endswith("/"):
            os.makedirs(full, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content.encode("utf-8"))
        if path.endswith(".sh") or os.path.basename(path) == "TGCOnline.exe":
            os.chmod(full, 0o755)


def describe_tree(root):
    """Every entry below root, in byte order: "D path" or "F path=content"."""
    lines = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        rel = os.path.relpath(folder, root)
        for name in sorted(dirs + files):
            path = name if rel == "." else rel + "/" + name
            full = os.path.join(folder, name)
            if os.path.isdir(full) and not os.path.islink(full):
                lines.append("D " + path)
            elif os.path.islink(full):
                lines.append("L " + path)
            else:
                with open(full, "rb") as f:
                    lines.append("F " + path + "=" + f.read().decode("utf-8", "replace"))
    return sorted(lines)


# ---------------------------------------------------------------------------
# Registry


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


def wine_reg_add(env, value):
    kind = value.get("type", "sz")
    reg_type = {"sz": "REG_SZ", "expand_sz": "REG_EXPAND_SZ", "multi_sz": "REG_MULTI_SZ",
                "dword": "REG_DWORD", "binary": "REG_BINARY"}[kind]
    data = value["data"]
    if kind == "multi_sz":
        data = "\\0".join(data)
    elif kind == "dword":
        data = str(data)
    command = ["wine64", "reg", "add", "HKLM\\" + value["key"], "/t", reg_type, "/d", data, "/f",
               "/reg:" + value.get("view", "32")]
    if value.get("name") is None:
        command[4:4] = ["/ve"]
    else:
        command[4:4] = ["/v", value["name"]]
    subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


# ---------------------------------------------------------------------------
# Running one scenario


def feed_input(process, steps):
    """Writes standard input step by step. Returns a failure text or None."""
    for step in steps:
        if "write" in step:
            try:
                process.stdin.write(step["write"].encode("utf-8"))
                process.stdin.flush()
            except BrokenPipeError:
                pass
        elif "still_running_after" in step:
            time.sleep(step["still_running_after"])
            if process.poll() is not None:
                return "the program ended before its input was complete"
    process.stdin.close()
    return None


def run_scenario(name, program, wine):
    scenario = load(name)
    if wine and scenario.get("linux_only"):
        return "skipped (Linux only: %s)" % scenario["linux_only"]
    work = os.path.realpath(tempfile.mkdtemp(prefix="scenario-" + name + "-"))
    try:
        return check_scenario(scenario, work, program, wine)
    finally:
        if not os.environ.get("KEEP_SCENARIO"):
            shutil.rmtree(work, ignore_errors=True)


def prepare(scenario, work, wine):
    prefix = os.path.join(work, "prefix")
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env.pop("COMSPEC", None)
    # No cmd.exe on the search path: the program's own stand-in answers.
    env["PATH"] = "/usr/local/bin:/usr/bin:/bin"
    if wine:
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        env["WINEDEBUG"] = "-all"
        subprocess.run(["wineboot", "-i"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for value in scenario.get("registry", []):
            wine_reg_add(env, value)
        subprocess.run(["wineserver", "-w"], env=env, check=True)
        drive = os.path.realpath(os.path.join(prefix, "dosdevices", "c:"))
    else:
        os.makedirs(os.path.join(prefix, "dosdevices"))
        drive = os.path.join(work, "drive_c")
        os.makedirs(drive)
        os.symlink("../../drive_c", os.path.join(prefix, "dosdevices", "c:"))
        write_system_reg(os.path.join(prefix, "system.reg"), scenario.get("registry", []),
                         scenario.get("arch", "win64"))
    product = os.path.join(work, "product")
    os.makedirs(product)
    make_tree(product, scenario.get("product", {}))
    make_tree(drive, scenario.get("drive_c", {}))
    make_tree(work, scenario.get("work", {}))
    for key, value in scenario.get("environment", {}).items():
        env[key] = value.replace("$WORK", work)
    return env, drive, product


def check_scenario(scenario, work, program, wine):
    env, drive, product = prepare(scenario, work, wine)
    command = ["wine64", program] if wine else [program]
    cwd = os.path.join(work, scenario.get("folder", "product"))
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
    steps = scenario.get("input_steps") or [{"write": scenario.get("input", "")}]
    failures = []
    input_failure = feed_input(process, steps)
    if input_failure:
        failures.append(input_failure)
    output = process.stdout.read() if process.stdout else b""
    error = process.stderr.read()
    status = process.wait(timeout=120)

    if wine:
        output = output.replace(b"\r\n", b"\n").replace(WINE_PAUSE, OUR_PAUSE.rstrip(b"\n"))
    expected = "".join(scenario["output"]).replace("$WORK", work).encode("utf-8") \
        if stdout_mode != "closed-pipe" else b""
    if wine and expected.endswith(OUR_PAUSE):
        expected = expected[:-1]  # Wine's cmd.exe ends PAUSE without a line feed
    if output != expected:
        failures.append("standard output differs:\n--- expected\n%s\n--- actual\n%s"
                        % (expected.decode("utf-8", "replace"), output.decode("utf-8", "replace")))
    if status != scenario.get("status", 0):
        failures.append("exit status %d, expected %d" % (status, scenario.get("status", 0)))
    if "stderr" in scenario and not wine and error.decode("utf-8", "replace") != scenario["stderr"]:
        failures.append("standard error: %r, expected %r" % (error, scenario["stderr"]))
    if "drive_c_after" in scenario:
        expected_tree = sorted(line.replace("$WORK", work) for line in scenario["drive_c_after"])
        # Only the folders the scenario speaks of: a Wine prefix holds its own.
        tops = {top_folder(line) for line in expected_tree}
        tops |= {path.split("/")[0] for path in scenario.get("drive_c", {})}
        actual_tree = [line for line in describe_tree(drive) if top_folder(line) in tops]
        if actual_tree != expected_tree:
            failures.append("drive C: differs:\n--- expected\n%s\n--- actual\n%s"
                            % ("\n".join(expected_tree), "\n".join(actual_tree)))
    if "product_after" in scenario:
        if describe_tree(product) != sorted(scenario["product_after"]):
            failures.append("product tree changed:\n" + "\n".join(describe_tree(product)))
    if "work_after" in scenario:
        actual = [line for line in describe_tree(work)
                  if line.split(" ", 1)[1].split("/")[0] not in ("prefix", "product", "drive_c")]
        if actual != sorted(line.replace("$WORK", work) for line in scenario["work_after"]):
            failures.append("work folder differs:\n" + "\n".join(actual))
    return "\n".join(failures) if failures else None


def top_folder(line):
    return line.split(" ", 1)[1].split("=")[0].split("/")[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    failed = 0
    for name in args.names or all_names():
        result = run_scenario(name, program, args.wine)
        if result is None:
            print("ok      " + name)
        elif result.startswith("skipped"):
            print("skipped " + name + ": " + result)
        else:
            failed += 1
            print("FAILED  " + name + "\n" + result)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
