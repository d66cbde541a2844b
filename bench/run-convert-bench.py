#!/usr/bin/env python3
"""Times mdlconvert on the wide benchmark model against cp copying its output.

    bench/run-convert-bench.py BUILD_DIR [FOLDER] [--runs N]

BUILD_DIR is a build made with -DKELVANE_BUILD_BENCH=ON (it holds
tools/mdlconvert and bench/benchmodels); FOLDER is a scratch folder outside
the repository, /dev/shm/kelvane-convert-bench by default (memory, so that
the disk does not decide the times), created when missing. It receives the
wide model (generated once, then reused) and every output.

Each run times, interleaved so that a busy machine weighs on both alike:

  convert   mdlconvert wide.mdl out.glb
  cp        cp out.glb copy.glb   (writing that many bytes: the floor)

and prints the median wall times, their ratio, the median CPU time, the
peak resident memory of the conversion (from the kernel's accounting of the
finished process) and the output size. Outputs are deleted between runs,
outside the timed span. The exit status is 1 when a target is missed:

  convert time <= 2 x cp time,   peak memory <= input + output + 64 MiB
"""

import argparse
import os
import statistics
import sys

from benchrun import MEMORY_HEADROOM, MIB, benchmark_models, programs, run_measured

TIME_TARGET = 2.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build_dir")
    parser.add_argument("folder", nargs="?", default="/dev/shm/kelvane-convert-bench")
    parser.add_argument("--runs", type=int, default=5, help="timed runs per command (default 5)")
    args = parser.parse_args()

    converter, generator = programs(args.build_dir, "tools/mdlconvert", "bench/benchmodels")
    folder = benchmark_models(generator, args.folder, ["wide"])
    model = os.path.join(folder, "wide.mdl")
    output = os.path.join(folder, "out.glb")
    copy = os.path.join(folder, "copy.glb")
    commands = {"convert": [converter, model, output], "cp": ["cp", output, copy]}

    # One untimed pass reads the model into the page cache and the programs
    # into memory.
    for argv in commands.values():
        run_measured(argv)
    times = {name: [] for name in commands}
    convert_cpu = []
    peak = 0
    for _ in range(args.runs):
        for name, argv in commands.items():
            target = output if name == "convert" else copy
            if os.path.exists(target):
                os.remove(target)
            seconds, cpu_seconds, rss = run_measured(argv)
            times[name].append(seconds)
            if name == "convert":
                convert_cpu.append(cpu_seconds)
                peak = max(peak, rss)
    input_size = os.path.getsize(model)
    output_size = os.path.getsize(output)
    for path in (output, copy):
        os.remove(path)

    convert = statistics.median(times["convert"])
    floor = statistics.median(times["cp"])
    memory_limit = input_size + output_size + MEMORY_HEADROOM
    time_ok = convert <= TIME_TARGET * floor
    memory_ok = peak <= memory_limit
    print(f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.2f}; median of {args.runs} runs")
    print(f"input {input_size / MIB:.1f} MiB, output {output_size / MIB:.1f} MiB ({output_size} bytes)")
    print(f"convert {convert:.3f} s (CPU {statistics.median(convert_cpu):.3f} s), "
          f"cp of the output {floor:.3f} s: {convert / floor:.2f} x cp "
          f"(target <= {TIME_TARGET}): {'met' if time_ok else 'MISSED'}")
    print(f"peak memory {peak / MIB:.1f} MiB (target <= {memory_limit / MIB:.1f} MiB): "
          f"{'met' if memory_ok else 'MISSED'}")
    return 0 if time_ok and memory_ok else 1


if __name__ == "__main__":
    sys.exit(main())
