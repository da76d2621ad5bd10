"""What the tests written as scripts share: the codec's reading of a file, the report."""
import subprocess


def decoded(tool, path):
    """The codec's reading of `path` through bmp-decode: ((width, height, RGB bytes with the
    top row first), "ok"), or (None, why it was refused). A crash ends the test."""
    r = subprocess.run([tool, path], capture_output=True)
    if r.returncode < 0 or r.returncode > 1:
        raise SystemExit(f"FAIL {path}: decoder ended with {r.returncode}: {r.stderr.decode()}")
    if r.returncode == 1:
        return None, r.stderr.decode().strip()
    head, _, pixels = r.stdout.partition(b"\n")
    width, height = map(int, head.split())
    return (width, height, pixels), "ok"


def report(name, failures):
    """Prints the failures and a summary; returns the test's exit status."""
    for f in failures:
        print("FAIL", f)
    print(f"{name}: {len(failures)} failure(s)")
    return 1 if failures else 0
