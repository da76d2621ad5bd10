#!/usr/bin/env python3
"""The README's examples of analysing many folders, taken from the README and run as written.

The build is installed into a temporary prefix as the README says, and its bin/ comes first
on the PATH. Three angle sets are made, the middle one damaged; the GNU parallel example
must leave a job log with each folder's exit status, the xargs example must end with 123,
and the Slurm script, submitted with the README's lines to a stand-in for sbatch that runs
the array's tasks here, must give each task the result code of its folder. Each time the
good folders, and only they, get their result images.

usage: many_folders_check.py README BUILD_DIR CMAKE
"""
import os
import re
import subprocess
import sys
import tempfile

from checks import report

FOLDERS = ["sample A", "sample B", "sample C"]   # "sample B" is damaged
EXPECTED = [0, 1, 0]
RESULTS = ["a0.bmp", "a1.bmp", "a2.bmp"]

# Stands in for sbatch: runs the tasks 1..N of --array=1-N%M one after another.
SBATCH = r'''
sbatch() {
  local last=${1#--array=1-}; last=${last%%%*}
  for ((task = 1; task <= last; task++)); do
    SLURM_ARRAY_TASK_ID=$task bash "$2" && status=0 || status=$?
    echo "task $task: $status"
  done
}
'''


def examples(readme):
    """The indented code block after each "<!-- example: NAME -->" line."""
    found, name = {}, None
    with open(readme) as f:
        for line in f:
            if m := re.fullmatch(r"<!-- example: (\S+) -->\n", line):
                name, found[m[1]] = m[1], ""
            elif name and line.startswith("    "):
                found[name] += line[4:]
            else:
                name = None
    return found


def results_failures(sets, how):
    failures = []
    for folder, status in zip(FOLDERS, EXPECTED):
        present = [os.path.exists(os.path.join(sets, folder, r)) for r in RESULTS]
        if present != [status == 0] * len(RESULTS):
            failures.append(f"{how}: {folder}/ holds {present} of {RESULTS}")
        for r in RESULTS:
            if os.path.exists(os.path.join(sets, folder, r)):
                os.remove(os.path.join(sets, folder, r))
    return failures


def main():
    readme, build, cmake = sys.argv[1:4]
    blocks = examples(readme)
    with tempfile.TemporaryDirectory() as d:
        prefix, sets = os.path.join(d, "prefix"), os.path.join(d, "sets")
        subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, capture_output=True)
        env = dict(os.environ, PATH=os.path.join(prefix, "bin") + os.pathsep + os.environ["PATH"], HOME=d)
        for folder in FOLDERS:
            subprocess.run(["make-angle-set", os.path.join(sets, folder), "16"], env=env, check=True,
                           capture_output=True)
        os.truncate(os.path.join(sets, FOLDERS[1], "0.bmp"), 70)

        def shell(script):
            return subprocess.run(["bash", "-c", script], cwd=sets, env=env, capture_output=True, text=True,
                                  stdin=subprocess.DEVNULL)

        failures = []
        r = shell(blocks["parallel"])
        log = [line.split("\t") for line in open(os.path.join(sets, "tarnwick-jobs.log")).read().splitlines()]
        column = log[0].index("Exitval")
        exits = [int(row[column]) for row in sorted(log[1:], key=lambda row: int(row[0]))]
        if r.returncode != 1 or exits != EXPECTED:
            failures.append(f"parallel: exit {r.returncode}, job log {exits}, not 1 and {EXPECTED}")
        failures += results_failures(sets, "parallel")

        r = shell(blocks["xargs"])
        if r.returncode != 123 or len(r.stdout.splitlines()) != len(FOLDERS):
            failures.append(f"xargs: exit {r.returncode}, not 123: {r.stdout}{r.stderr}")
        failures += results_failures(sets, "xargs")

        with open(os.path.join(sets, "tarnwick-array.sh"), "w") as f:
            f.write(blocks["slurm-script"])
        r = shell(SBATCH + blocks["slurm-submit"])
        tasks = [int(s) for s in re.findall(r"^task \d+: (\d+)$", r.stdout, re.M)]
        if tasks != EXPECTED:
            failures.append(f"slurm: task results {tasks}, not {EXPECTED}: {r.stdout}{r.stderr}")
        failures += results_failures(sets, "slurm")
    return report("many_folders", failures)


if __name__ == "__main__":
    sys.exit(main())
