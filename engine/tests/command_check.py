#!/usr/bin/env python3
"""The tarnwick and make-angle-set commands as a user meets them.

Arguments the engine would skip or misread are refused with exit status 64 and nothing
written; a run prints one line, its status text after the folder when that is not the
current directory, and a failure adds a line on standard error naming the file or folder
at fault; a folder without its "/" is found; standard input is left unread.

usage: command_check.py TARNWICK MAKE_ANGLE_SET
"""
import os
import re
import resource
import signal
import subprocess
import sys
import tempfile

from checks import report

# (working folder, arguments, exit status, standard output as a pattern, text that standard
# error must hold)
CASES = [
    ("fresh", ["foo"], 64, "", '"foo" is not an option'),
    ("fresh", ["-c", "m"], 64, "", "did you mean -C?"),
    ("fresh", ["-C"], 64, "", "-C needs a value"),
    ("fresh", ["-P", "-Q"], 64, "", "-P needs a value before -Q"),
    ("fresh", ["-P", ""], 64, "", "the value is empty"),
    ("fresh", ["-P", 'a"b'], 64, "", "double quote"),
    ("fresh", ["-w", "1", "-h", "1", "-L", "0", "-U", "1", "-l", "0", "-u", "1", "-d", "0",
               "-s", "0", "-C", "m", "-Q", "-D", "set"], 64, "", "at most 21"),
    ("fresh", ["-C", "m", "-C", "g"], 64, "", "-C is given twice"),
    ("fresh", ["-D", "a", "-P", "b"], 64, "", "-D cannot be given with -P"),
    ("fresh", ["-P", "x" * 260], 64, "", "the engine reads 255"),
    ("fresh", ["set"], 64, "", "is not an option"),
    ("fresh", ["--version"], 0, r"tarnwick \d+(\.\d+)+", ""),
    ("set", [], 0, "Ready", ""),
    (".", ["-P", "set"], 0, "set/: Ready", ""),
    (".", ["-P", "set/"], 0, "set/: Ready", ""),
    (".", ["-P", "set one", "-C", "m"], 0, "set one/: Ready", ""),
    (".", ["-D", "set"], 0, r"set/ -> \./: Ready", ""),
    ("set", ["-P", "../set"], 0, "Ready", ""),
    (".", ["-P", "missing"], 7, "missing: Error writing to disk", "missing: no such folder"),
    (".", ["-P", "empty"], 1, "empty/: Error reading first image", "empty/0.bmp: missing"),
    (".", ["-P", "damaged"], 1, "damaged/: Error reading first image",
     "damaged/0.bmp: damaged: the file ends"),
    (".", ["-P", "text"], 1, "text/: Error reading first image", "text/0.bmp: not a bitmap file"),
    (".", ["-P", "narrow"], 5, "narrow/: Images have different size",
     "narrow/90.bmp is 7 x 7 pixels, narrow/0.bmp 8 x 8 pixels"),
    (".", ["-P", "set", "-w", "abc"], 6, "set/: Input Parameter Error", '-w "abc": not a whole number'),
    (".", ["-P", "set", "-U", "0,5"], 6, "set/: Input Parameter Error", "decimal point"),
    (".", ["-P", "set", "-h", "0"], 8, "set/: Max Image Error", "-h 0 is outside 1..3200"),
    (".", ["-P", "set", "-w", "4"], 8, "set/: Max Image Error", "set/0.bmp is 8 x 8 pixels; at most 4 x"),
    (".", ["-P", "set", "-U", "1e-20"], 9, "set/: Unknon or numerical error",
     "-U 1e-20: too small to compute with"),
    (".", ["-P", "blocked"], 7, "blocked/: Error writing to disk",
     "blocked/a1.bmp: a folder of that name is in the way"),
    ("busy", [], 10, "busy", "tarnwick.sta in the current directory"),
    # a FIFO is never waited on: in the place of an image, or of the status file
    (".", ["-P", "fifo"], 2, "fifo/: Error reading second image", "fifo/45.bmp: not a file"),
    (".", ["-P", "fifo status"], 7, "fifo status/: Error writing to disk", "fifo status/"),
]

# Runs of a set large enough to be worked on two threads, with no room for a thread's
# stack: the work the second thread would have done is done on the first, and each run
# ends "Ready" with the images of a run with threads.
THREADLESS = [["-U", "1"], ["-U", "-1", "-C", "m"], ["-U", "1e-20", "-L", "0.5", "-Q"]]


def make_folders(d, make_angle_set):
    def angle_set(name, size="8"):
        subprocess.run([make_angle_set, os.path.join(d, name), size], check=True, capture_output=True)
    for name in ("set", "set one", "fresh", "damaged", "text", "narrow", "blocked", "busy", "fifo",
                 "fifo status"):
        angle_set(name)
    os.remove(os.path.join(d, "fifo", "45.bmp"))
    os.mkfifo(os.path.join(d, "fifo", "45.bmp"))
    os.mkfifo(os.path.join(d, "fifo status", "tarnwick.sta"))
    os.mkdir(os.path.join(d, "empty"))
    os.truncate(os.path.join(d, "damaged", "0.bmp"), 70)
    with open(os.path.join(d, "text", "0.bmp"), "w") as f:
        f.write("not a picture\n")
    angle_set("seven", "7")
    angle_set("large", "512")
    os.replace(os.path.join(d, "seven", "90.bmp"), os.path.join(d, "narrow", "90.bmp"))
    os.mkdir(os.path.join(d, "blocked", "a1.bmp"))
    with open(os.path.join(d, "busy", "tarnwick.sta"), "w") as f:
        f.write("started\r\n")


def check_cases(d, tarnwick):
    failures = []
    for cwd, args, status, out, err in CASES:
        what = f"tarnwick {' '.join(args)[:60]} (in {cwd})"
        try:
            r = subprocess.run([tarnwick, *args], cwd=os.path.join(d, cwd), capture_output=True,
                               text=True, timeout=60)
        except subprocess.TimeoutExpired:
            failures.append(f"{what}: still running after a minute")
            continue
        lines = r.stdout.splitlines()
        if r.returncode != status:
            failures.append(f"{what}: exit {r.returncode}, not {status}: {r.stdout}{r.stderr}")
        elif len(lines) != (1 if out else 0) or (out and not re.fullmatch(out, lines[0])):
            failures.append(f"{what}: printed {r.stdout!r}, not one line {out!r}")
        elif err not in r.stderr:
            failures.append(f"{what}: standard error {r.stderr!r} lacks {err!r}")
        if status == 64 and set(os.listdir(os.path.join(d, cwd))) - {"0.bmp", "45.bmp", "90.bmp", "135.bmp"}:
            failures.append(f"{what}: refused, but wrote {sorted(os.listdir(os.path.join(d, cwd)))}")
    if os.path.exists(os.path.join(d, "fifo", "tarnwick.sta")):
        failures.append("tarnwick -P fifo: left its status file behind")
    if not os.path.exists(os.path.join(d, "a2.bmp")):
        failures.append("tarnwick -D set: no results in the current directory")
    # The command leaves standard input to whoever comes next.
    r = subprocess.run(["sh", "-c", f"printf 'one\\ntwo\\n' | {{ '{tarnwick}' -P set >/dev/null; cat; }}"],
                       cwd=d, capture_output=True, text=True)
    if r.stdout != "one\ntwo\n":
        failures.append(f"tarnwick read standard input: what was left is {r.stdout!r}")
    return failures


def without_threads():
    """Threads get a stack of 1 GB (the stack limit) in 400 MB of address space."""
    resource.setrlimit(resource.RLIMIT_STACK, (1 << 30, resource.getrlimit(resource.RLIMIT_STACK)[1]))
    resource.setrlimit(resource.RLIMIT_AS, (400 << 20, resource.getrlimit(resource.RLIMIT_AS)[1]))


def check_threadless(d, tarnwick):
    hard = resource.getrlimit(resource.RLIMIT_STACK)[1]
    if hard != resource.RLIM_INFINITY and hard < 1 << 30:
        print("skipped the runs without threads: the stack limit cannot be raised")
        return []
    folder = os.path.join(d, "large")
    failures = []
    for args in THREADLESS:
        images = []
        for limit in (None, without_threads):
            r = subprocess.run([tarnwick, *args], cwd=folder, capture_output=True, text=True,
                               preexec_fn=limit)
            # A build that needs more address space (sanitizers) does not start.
            if limit and r.returncode not in range(11):
                print(f"skipped the runs without threads: tarnwick ended with {r.returncode}")
                return failures
            if r.returncode != 0:
                failures.append(f"tarnwick {' '.join(args)}{' without threads' if limit else ''}: "
                                f"exit {r.returncode}: {r.stderr!r}")
            images.append([open(os.path.join(folder, n), "rb").read() for n in ("a0.bmp", "a1.bmp", "a2.bmp")])
        if images[0] != images[1]:
            failures.append(f"tarnwick {' '.join(args)} without threads: other result images")
    return failures


def full_disk():
    """Files may grow to 256 KiB; a write beyond fails as on a full disk."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (256 << 10, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))


def check_full_disk(d, tarnwick, make_angle_set):
    """A run whose result images cannot be written ends with 7 and leaves the result images
    of the run before, and no temporary file, behind."""
    folder = os.path.join(d, "full disk")
    subprocess.run([make_angle_set, folder, "512"], check=True, capture_output=True)
    before = {}
    for name in ("a0.bmp", "a1.bmp", "a2.bmp"):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(name.encode())
        before[name] = name.encode()
    r = subprocess.run([tarnwick, "-P", folder], capture_output=True, text=True, preexec_fn=full_disk)
    failures = []
    if r.returncode != 7 or "Error writing to disk" not in r.stdout or "disk full" not in r.stderr:
        failures.append(f"tarnwick on a full disk: exit {r.returncode}: {r.stdout!r} {r.stderr!r}")
    for name, old in before.items():
        with open(os.path.join(folder, name), "rb") as f:
            if f.read() != old:
                failures.append(f"tarnwick on a full disk: {name} was replaced")
    left = [n for n in os.listdir(folder) if ".tmp" in n or n == "tarnwick.sta"]
    if left:
        failures.append(f"tarnwick on a full disk left {left}")
    return failures


def check_make_angle_set(d, make_angle_set):
    failures = []
    for args, status, out in ((["--help"], 0, "Usage: make-angle-set FOLDER [SIZE]"),
                              ([], 64, ""), (["x", "0"], 64, ""), (["x", "12x"], 64, ""),
                              (["new/deep", "4"], 0, "angle image set of 4 x 4 pixels")):
        r = subprocess.run([make_angle_set, *args], cwd=d, capture_output=True, text=True)
        if r.returncode != status or not r.stdout.startswith(out):
            failures.append(f"make-angle-set {' '.join(args)}: exit {r.returncode}: {r.stdout}{r.stderr}")
        if status == 64 and "Usage: make-angle-set" not in r.stderr:
            failures.append(f"make-angle-set {' '.join(args)}: no usage on standard error")
    if os.path.exists(os.path.join(d, "--help")) or os.path.exists(os.path.join(d, "x")):
        failures.append("make-angle-set made a folder for a refused call")
    if sorted(os.listdir(os.path.join(d, "new", "deep"))) != ["0.bmp", "135.bmp", "45.bmp", "90.bmp"]:
        failures.append("make-angle-set new/deep: the angle set is not there")
    return failures


def main():
    tarnwick, make_angle_set = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as d:
        make_folders(d, make_angle_set)
        failures = (check_cases(d, tarnwick) + check_threadless(d, tarnwick) +
                    check_full_disk(d, tarnwick, make_angle_set) +
                    check_make_angle_set(d, make_angle_set))
    return report("command", failures)


if __name__ == "__main__":
    sys.exit(main())
