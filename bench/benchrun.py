"""What the model benchmarks share: running a program with its resource use
measured, and finding the programs and models of a benchmark build.

Imported by run-split-bench.py and run-convert-bench.py, which sit beside it.
"""

import os
import subprocess
import sys
import time

MIB = 1024 * 1024
# Memory a program may use on top of what it reads and writes.
MEMORY_HEADROOM = 64 * MIB


def run_measured(argv):
    """Runs argv with its output discarded; returns (wall seconds, CPU seconds,
    peak RSS bytes). Exits with a message when the program fails or writes to
    stderr."""
    start = time.perf_counter()
    process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    # wait4 gives this one child's resource use; RUSAGE_CHILDREN would give
    # the largest of all children so far.
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if code != 0 or error:
        sys.exit(f"{' '.join(argv)} failed ({code}): {error.strip()}")
    # ru_maxrss is in kilobytes on Linux.
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024


def programs(build_dir, *relative_paths):
    """The programs of a benchmark build, by path below build_dir; exits when
    one is missing."""
    paths = [os.path.join(build_dir, path) for path in relative_paths]
    for path in paths:
        if not os.access(path, os.X_OK):
            sys.exit(f"{path} is missing: build with -DKELVANE_BUILD_BENCH=ON")
    return paths


def benchmark_models(generator, folder, names):
    """Makes sure folder holds the named models (wide, framed), writing them
    with the benchmark build's generator when one is missing; returns the
    folder's absolute path."""
    folder = os.path.abspath(folder)
    os.makedirs(folder, exist_ok=True)
    if not all(os.path.exists(os.path.join(folder, name + ".mdl")) for name in names):
        subprocess.run([generator, folder], check=True, stdout=subprocess.DEVNULL)
    return folder
