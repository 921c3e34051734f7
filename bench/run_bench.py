#!/usr/bin/env python3
"""Times kestrel-cli against a plain copy of the same files, side by side.

  run_bench.py --kestrel BUILD/kestrel-cli [--data DIR] [--runs N]
               [--workloads big,mixed,...] [--peers | --no-peers] [--memory]

For every workload (made by make_workloads.py under --data) each command runs
--runs times (default 5), the commands taking turns, and the median time of
each is divided by the median of the plain copy. The page cache is warmed by
one untimed plain copy first; every output is deleted after its run, outside
the timing. Outputs go to --output-dir, by default /dev/shm (memory), so
that the times are those of copying and not of the disk's write-back. The peers (genisoimage, xorriso) run where installed, unless
--no-peers; they are left out of the 100,000-file folder, where one run of
them takes minutes.

--memory builds the one-million-file tree in every layout under
/usr/bin/time -v and prints the peak resident memory per node.

Prints a Markdown table: ratio to the plain copy (and the plain copy's time).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LAYOUTS = ["iso9660", "bridge", "udf102", "udf250"]
ALL_WORKLOADS = ["big", "mixed", "small", "wide20k", "wide100k"]
NO_PEERS = {"wide100k"}


def build_plain_copy(work):
    program = os.path.join(work, "plain_copy")
    source = os.path.join(HERE, "plain_copy.cpp")
    if not os.path.exists(program) or os.path.getmtime(program) < os.path.getmtime(source):
        subprocess.run(["g++", "-O2", "-std=c++20", "-o", program, source], check=True)
    return program


def commands(args, plain_copy, source, output, peers):
    result = [("plain copy", [plain_copy, source, output])]
    for layout in LAYOUTS:
        result.append((f"kestrel {layout}",
                       [args.kestrel, "-quiet", "-yes", "-fs", layout, "-output", output, source]))
    if peers:
        if shutil.which("genisoimage"):
            result.append(("genisoimage -udf", ["genisoimage", "-quiet", "-udf", "-o", output, source]))
            result.append(("genisoimage -R -J", ["genisoimage", "-quiet", "-R", "-J", "-o", output, source]))
        if shutil.which("xorriso"):
            result.append(("xorriso", ["xorriso", "-as", "mkisofs", "-quiet", "-o", output, source]))
    return result


def remove(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


def timed_run(command, output):
    remove(output)
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    remove(output)
    if done.returncode != 0:
        sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{done.stderr.decode(errors='replace')}")
    return elapsed


def run_workload(args, plain_copy, name):
    source = os.path.join(args.data, name)
    if not os.path.isdir(source):
        sys.exit(f"no workload {source}: run make_workloads.py {args.data} {name}")
    output = os.path.join(args.output_dir, "kestrel-bench-output.iso")
    peers = args.peers and name not in NO_PEERS
    runs = commands(args, plain_copy, source, output, peers)
    timed_run(runs[0][1], output)  # warms the page cache
    times = {label: [] for label, _ in runs}
    for _ in range(args.runs):
        for label, command in runs:
            times[label].append(timed_run(command, output))
    return {label: statistics.median(values) for label, values in times.items()}


def memory(args):
    source = os.path.join(args.data, "million")
    if not os.path.isdir(source):
        sys.exit(f"no workload {source}: run make_workloads.py {args.data} million")
    empty = os.path.join(args.data, "empty-folder")
    os.makedirs(empty, exist_ok=True)
    output = os.path.join(args.output_dir, "kestrel-bench-output.iso")
    nodes = 1_000_000 + 1_000
    print(f"\nPeak memory, {nodes:,} nodes (1,000,000 empty files in 1,000 folders)\n")
    print("| layout | peak RSS | empty source | bytes per node |")
    print("|---|---|---|---|")
    for layout in LAYOUTS:
        peak = []
        for folder in (source, empty):
            remove(output)
            done = subprocess.run(["/usr/bin/time", "-v", args.kestrel, "-quiet", "-yes", "-fs", layout,
                                   "-output", output, folder], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                  text=True)
            remove(output)
            if done.returncode != 0:
                sys.exit(done.stderr)
            line = next(l for l in done.stderr.splitlines() if "Maximum resident set size" in l)
            peak.append(int(line.split(":")[1]) * 1024)
        per_node = (peak[0] - peak[1]) / nodes
        print(f"| {layout} | {peak[0] / 2**20:.0f} MiB | {peak[1] / 2**20:.1f} MiB | {per_node:.0f} |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kestrel", required=True)
    parser.add_argument("--data", default="/work/bench-data")
    parser.add_argument("--output-dir", default="/dev/shm" if os.path.isdir("/dev/shm") else "/tmp")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--workloads", default=",".join(ALL_WORKLOADS))
    parser.add_argument("--peers", dest="peers", action="store_true", default=True)
    parser.add_argument("--no-peers", dest="peers", action="store_false")
    parser.add_argument("--memory", action="store_true")
    args = parser.parse_args()
    args.kestrel = os.path.abspath(args.kestrel)
    plain_copy = build_plain_copy(args.data)

    workloads = [w for w in args.workloads.split(",") if w]
    results = {}
    for name in workloads:
        print(f"timing {name} ...", file=sys.stderr, flush=True)
        results[name] = run_workload(args, plain_copy, name)

    if results:
        labels = []
        for medians in results.values():
            labels += [label for label in medians if label not in labels]
        print(f"\nRatio of median time to the plain copy's ({args.runs} runs each)\n")
        print("| workload | plain copy | " + " | ".join(labels[1:]) + " |")
        print("|---" * len(labels) + "|---|")
        for name, medians in results.items():
            base = medians["plain copy"]
            cells = [f"{medians[label] / base:.2f}" if label in medians else "-" for label in labels[1:]]
            print(f"| {name} | 1.00 ({base:.3f} s) | " + " | ".join(cells) + " |")
    if args.memory:
        memory(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
