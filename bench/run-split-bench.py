#!/usr/bin/env python3
"""Times the split against copying its input, on the models of benchmodels.

    bench/run-split-bench.py BUILD_DIR FOLDER [--runs N] [--keep]

BUILD_DIR is a build made with -DKELVANE_BUILD_BENCH=ON (it holds
app/Kelvane and bench/benchmodels); FOLDER is a scratch folder outside the
repository, created when missing, that receives the models (generated once,
then reused) and every output. For each model the script times, N times each
and interleaved so that a busy machine weighs on all of them alike:

  cp        cp MODEL to a new file in the same folder
  split     Kelvane MODEL
  options   Kelvane MODEL --offsetmesh --wmp --ext tga --nm

and prints the median wall time, the ratio to cp's median, the median CPU
time (user + system; steadier than the wall time on a machine that others
share), the peak resident memory (all three from the kernel's accounting of
the finished process, so nothing needs to be installed) and the bytes each
wrote. For the two splits it also times cp copying the files the split just
wrote into a fresh folder ("out cp"): what creating and filling those files
costs on this machine with nothing computed, the floor for a tool that has
to write them. Outputs are deleted between runs
outside the timed span, and written data is synced to disk before each run,
so no run pays for the write-back of the one before it. The exit status is 1
when a target is missed:

  wide model:   split time <= 1.3 x cp,  peak memory <= input + 64 MiB
  framed model: split time <= 0.5 x cp,  peak memory <= input + 64 MiB
"""

import argparse
import os
import statistics
import subprocess
import sys

from benchrun import MEMORY_HEADROOM, MIB, benchmark_models, programs, run_measured

TIME_TARGETS = {"wide": 1.3, "framed": 0.5}


def output_size(folder, stem):
    """Bytes in everything the split or the copy made from model `stem`."""
    return sum(os.path.getsize(os.path.join(folder, name)) for name in output_names(folder, stem))


def output_names(folder, stem):
    return [name for name in os.listdir(folder) if name.startswith(stem) and name != stem + ".mdl"]


def time_output_copy(folder, stem):
    """Wall seconds cp takes to copy everything the split made from model
    `stem` into a new folder; the copies are deleted again."""
    target = os.path.join(folder, "outputs-copy")
    os.makedirs(target)
    sources = [os.path.join(folder, name) for name in output_names(folder, stem)]
    os.sync()
    seconds, _, _ = run_measured(["cp", "--target-directory", target] + sources)
    for name in os.listdir(target):
        os.remove(os.path.join(target, name))
    os.rmdir(target)
    return seconds


def remove_outputs(folder, stem):
    """Deletes everything the split or the copy made from model `stem`."""
    for name in output_names(folder, stem):
        os.remove(os.path.join(folder, name))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build_dir")
    parser.add_argument("folder")
    parser.add_argument("--runs", type=int, default=5, help="timed runs per command (default 5)")
    parser.add_argument("--keep", action="store_true", help="keep the outputs of the last run")
    args = parser.parse_args()

    kelvane, generator = programs(args.build_dir, "app/Kelvane", "bench/benchmodels")
    folder = benchmark_models(generator, args.folder, TIME_TARGETS)

    print(f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.2f}; "
          f"median of {args.runs} runs; memory is peak resident set")
    print(f"{'model':8} {'command':8} {'median s':>9} {'x cp':>6} {'CPU s':>6} {'x cp':>6} "
          f"{'peak MiB':>9} {'out MiB':>8} {'out cp s':>8}   target")
    missed = False
    for stem, time_target in TIME_TARGETS.items():
        model = os.path.join(folder, stem + ".mdl")
        input_size = os.path.getsize(model)
        commands = {
            "cp": ["cp", model, os.path.join(folder, stem + "_copy.mdl")],
            "split": [kelvane, model],
            "options": [kelvane, model, "--offsetmesh", "--wmp", "--ext", "tga", "--nm"],
        }
        # One untimed pass of each reads the model into the page cache and
        # the programs into memory for all.
        for argv in commands.values():
            run_measured(argv)
            remove_outputs(folder, stem)
        remove_outputs(folder, stem)

        times = {name: [] for name in commands}
        cpu_times = {name: [] for name in commands}
        peaks = {name: 0 for name in commands}
        written = {name: 0 for name in commands}
        output_copies = {name: [] for name in commands if name != "cp"}
        for _ in range(args.runs):
            for name, argv in commands.items():
                os.sync()
                seconds, cpu_seconds, peak = run_measured(argv)
                times[name].append(seconds)
                cpu_times[name].append(cpu_seconds)
                peaks[name] = max(peaks[name], peak)
                written[name] = output_size(folder, stem)
                if name in output_copies:
                    output_copies[name].append(time_output_copy(folder, stem))
                remove_outputs(folder, stem)

        copy_median = statistics.median(times["cp"])
        copy_cpu = statistics.median(cpu_times["cp"])
        memory_limit = input_size + MEMORY_HEADROOM
        print(f"{stem:8} input {input_size / MIB:.1f} MiB")
        for name in commands:
            median = statistics.median(times[name])
            ratio = median / copy_median
            cpu = statistics.median(cpu_times[name])
            verdict = ""
            if name != "cp":
                ok = ratio <= time_target and peaks[name] <= memory_limit
                missed |= not ok
                verdict = (f"<= {time_target} x cp, <= {memory_limit / MIB:.0f} MiB: "
                           f"{'met' if ok else 'MISSED'}")
            floor = (f"{statistics.median(output_copies[name]):8.3f}" if name in output_copies
                     else f"{'':8}")
            print(f"{'':8} {name:8} {median:9.3f} {ratio:6.2f} {cpu:6.3f} {cpu / copy_cpu:6.2f} "
                  f"{peaks[name] / MIB:9.1f} {written[name] / MIB:8.1f} {floor}   {verdict}")

    if args.keep:
        for stem in TIME_TARGETS:
            subprocess.run([kelvane, os.path.join(folder, stem + ".mdl")], check=True,
                           stdout=subprocess.DEVNULL)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
