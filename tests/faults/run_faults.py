#!/usr/bin/env python3
"""Runs the installer end to end under faults, bad input and interruption,
and checks that it never loses or damages a file, never hangs, never
crashes, and names what went wrong in its error line.

Every case runs the real program in a temporary Wine prefix and checks the
exit status, the whole standard output, the whole drive C: afterwards, that
every destination file holds its old content or a source file's (never a
part, never a leftover temporary) and that the product folder is untouched.

Groups: disk-full, permissions, odd-trees, registry-files, streams,
interrupt. The interruption group's size follows FAULTS_INTERRUPT_FILES and
FAULTS_INTERRUPT_RUNS (see interrupt.py).

Usage: run_faults.py --program PATH [GROUP ...]
"""

import argparse
import os
import sys

from faults import Workspace, audit, contents, run_program, snapshot

import cases_files
import cases_io
import interrupt

GROUPS = {
    "disk-full": cases_files.DISK_FULL,
    "permissions": cases_files.PERMISSIONS,
    "odd-trees": cases_files.ODD_TREES,
    "registry-files": cases_io.REGISTRY_FILES,
    "streams": cases_io.STREAMS,
    "interrupt": None,  # runs of its own, see interrupt.py
}


class Tally:
    """The figures of a group: cases, files checked, what went wrong."""

    def __init__(self):
        self.passed = self.failed = self.skipped = 0
        self.files = self.lost = self.damaged = self.temporaries = 0

    def add_audit(self, files, lost, damaged, temporaries):
        self.files += files
        self.lost += len(lost)
        self.damaged += len(damaged)
        self.temporaries += len(temporaries)

    def closing_lines(self, group):
        return ("%s: %d files checked, %d lost, %d damaged, %d temporaries left\n"
                "%s: %d passed, %d failed, %d skipped"
                % (group, self.files, self.lost, self.damaged, self.temporaries,
                   group, self.passed, self.failed, self.skipped))


def value_of(field, ws):
    return field(ws) if callable(field) else field


def as_bytes(tree):
    return {path: content.encode("utf-8") if isinstance(content, str) else content
            for path, content in tree.items()}


def differences(expected, actual):
    lines = []
    for path in sorted(set(expected) | set(actual)):
        if path not in actual:
            lines.append("  missing: " + path)
        elif path not in expected:
            lines.append("  unexpected: " + path)
        elif expected[path] != actual[path]:
            lines.append("  differs: %s (%r)" % (path, (actual[path] or b"")[:60]))
    return "\n".join(lines[:40])


def show(data):
    text = data.decode("utf-8", "replace")
    return text if len(text) < 6000 else text[:3000] + "\n[...]\n" + text[-3000:]


def run_case(program, case, tally):
    """Runs one case; returns None when it passed, else what failed."""
    ws = Workspace(program, case)
    try:
        if case.get("setup"):
            reason = case["setup"](ws)
            if reason:
                return reason
        drive_before = snapshot(ws.drive)
        product_before = snapshot(ws.product)
        if "runner" in case:
            result = case["runner"](ws, case)
        else:
            result = run_program(ws, **case.get("run", {}))
        drive_after = snapshot(ws.drive)
        product_after = snapshot(ws.product)
        return check(case, ws, result, (drive_before, drive_after),
                     (product_before, product_after), tally)
    finally:
        ws.remove()


def check(case, ws, result, drive, product, tally):
    failures = list(getattr(result, "failures", []))
    if result.hung:
        failures.append("the program did not end (killed after its time-out)")
    if result.status != case["status"]:
        failures.append("exit status %s, expected %d" % (result.status, case["status"]))
    expected_output = value_of(case.get("output"), ws)
    if expected_output is not None and result.output != expected_output.encode("utf-8"):
        failures.append("standard output differs:\n--- expected\n%s\n--- actual\n%s"
                        % (show(expected_output.encode("utf-8")), show(result.output)))
    if result.errors != case.get("stderr", b""):
        failures.append("standard error: %s" % show(result.errors))
    if "after" in case:
        expected_tree = as_bytes(value_of(case["after"], ws))
        actual_tree = contents(drive[1])
        if actual_tree != expected_tree:
            failures.append("drive C: differs:\n" + differences(expected_tree, actual_tree))
    # The figures: whatever the case expects, nothing may be lost, damaged
    # or left half-written, neither in drive C: nor in the product folder.
    sources = product[0]
    for name, (before, after) in (("drive C:", drive), ("product", product)):
        lost, damaged, temporaries = audit(before, after, sources)
        files = sum(1 for e in after.values() if e is not None and e[0] != "link")
        tally.add_audit(files, lost, damaged, temporaries)
        for kind, paths in (("lost", lost), ("damaged", damaged),
                            ("temporaries left", temporaries)):
            if paths:
                failures.append("%s: files %s: %s" % (name, kind, ", ".join(paths[:10])))
    before, after = product
    if case.get("source", "untouched") == "grows":
        changed = [p for p in before if after.get(p) != before[p]]
    else:
        changed = sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p))
    if changed:
        failures.append("the product folder changed: " + ", ".join(changed[:10]))
    return "\n".join(failures) if failures else None


def run_table(program, group, cases):
    tally = Tally()
    for case in cases:
        outcome = run_case(program, case, tally)
        if outcome is None:
            tally.passed += 1
            print("ok       " + case["name"])
        elif outcome.startswith("skipped"):
            tally.skipped += 1
            print("skipped  %s (%s)" % (case["name"], outcome))
        else:
            tally.failed += 1
            print("FAILED   %s\n%s" % (case["name"], outcome))
        sys.stdout.flush()
    return tally


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("groups", nargs="*", metavar="GROUP")
    args = parser.parse_args()
    unknown = set(args.groups) - set(GROUPS)
    if unknown:
        parser.error("unknown groups: %s (known: %s)"
                     % (", ".join(sorted(unknown)), ", ".join(sorted(GROUPS))))
    program = os.path.abspath(args.program)
    failed = 0
    for group in args.groups or sorted(GROUPS):
        print("== " + group)
        if GROUPS[group] is None:
            tally = interrupt.run(program, Tally)
        else:
            tally = run_table(program, group, GROUPS[group])
        print(tally.closing_lines(group))
        failed += tally.failed
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
