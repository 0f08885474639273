"""Runs that talk to the program while it waits: standard input held open as
a pipe, or a pseudo-terminal as its console."""

import fcntl
import os
import pty
import select
import subprocess
import termios
import time

from faults import Result, default_signals

# How long to wait for the program to show a prompt or to end before it
# counts as hung; never how long anything should take.
PATIENCE = 60


def read_until(fd, wanted, seen):
    """Reads `fd` into `seen` until `wanted` is in it; False on end of data
    or when nothing comes for PATIENCE seconds."""
    deadline = time.monotonic() + PATIENCE
    while wanted not in seen:
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            return False
        try:
            chunk = os.read(fd, 65536)
        except OSError:  # a terminal whose other side is closed
            return False
        if not chunk:
            return False
        seen += chunk
    return True


PROMPT = b"continue . . . "


def wait_for_key_mode(terminal):
    """Waits until the program has switched the terminal to take one key
    without Enter (the prompt is written just before the switch)."""
    deadline = time.monotonic() + PATIENCE
    while termios.tcgetattr(terminal)[3] & termios.ICANON:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


def finish(process, fd, seen):
    """Waits for the end of the program and collects the rest of its output."""
    try:
        process.wait(timeout=PATIENCE)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return True
    while select.select([fd], [], [], 0.2)[0]:
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    return False


def run_with_held_input(ws, case):
    """Standard input is a pipe that stays open: at the prompt the program
    must still be waiting, and one byte must end the wait."""
    process = subprocess.Popen([ws.program], cwd=ws.product, env=ws.env, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               preexec_fn=default_signals)
    seen = bytearray()
    failures = []
    if not read_until(process.stdout.fileno(), PROMPT, seen):
        failures.append("no PAUSE prompt")
    elif process.poll() is not None:
        failures.append("the program did not wait at the PAUSE prompt")
    else:
        process.stdin.write(b"k")
        process.stdin.flush()
    hung = finish(process, process.stdout.fileno(), seen)
    process.stdin.close()
    errors = process.stderr.read()
    result = Result(process.returncode, bytes(seen), errors, hung)
    result.failures = failures
    return result


def run_on_terminal(steps, echoed=b""):
    """A runner with a pseudo-terminal as standard input, output and error,
    the program in its foreground. `steps`: (text to wait for, or None, then
    the bytes to type); at the PAUSE prompt typing waits for the switch of
    the terminal to single keys. The terminal echoes `echoed` for what was typed.
    The output compared is the terminal's with its CR LF line ends read as
    LF, once every line end has been checked to be CR LF."""
    def runner(ws, case):
        master, slave = pty.openpty()
        modes = termios.tcgetattr(slave)

        def controlling_terminal():
            default_signals()
            os.setsid()
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        process = subprocess.Popen([ws.program], cwd=ws.product, env=ws.env, stdin=slave,
                                   stdout=slave, stderr=slave, preexec_fn=controlling_terminal)
        seen = bytearray()
        failures = []
        for wanted, typed in steps:
            if wanted is not None and not read_until(master, wanted, seen):
                failures.append("the terminal never showed %r" % wanted)
                break
            if wanted == PROMPT and not wait_for_key_mode(slave):
                failures.append("the terminal was not set to take a single key")
                break
            if wanted is None:
                time.sleep(0.3)  # time for the program to take what came before
            if process.poll() is not None:
                failures.append("the program ended before %r was typed" % typed)
                break
            os.write(master, typed)
        hung = finish(process, master, seen)
        if termios.tcgetattr(slave) != modes:
            failures.append("the terminal's modes were not restored")
        os.close(slave)
        os.close(master)
        expected = case["output"].encode("utf-8").replace(b"\n", b"\r\n") + echoed
        output = case["output"].encode("utf-8") if bytes(seen) == expected else bytes(seen)
        result = Result(process.returncode, output, b"", hung)
        result.failures = failures
        return result
    return runner
