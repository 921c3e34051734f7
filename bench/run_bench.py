#!/usr/bin/env python3
"""Times kestrel-cli against the least work that writes the same bytes.

  run_bench.py --kestrel [NAME=]BUILD/kestrel-cli [--kestrel ...]
               [--data DIR] [--output-dir DIR ...] [--runs N]
               [--workloads big,mixed,...] [--peers | --no-peers] [--memory]
               [--max-load L] [--wait-quiet SECONDS] [--loaded] [--hyperfine]

The limit of a layout is bench/plain_copy.cpp in its image form: the source's
files padded to whole sectors and packed, then zeros up to the size of the
image that layout makes of the source, so that both sides write exactly the
same number of bytes; builds that make images of different sizes (a before
and an after that adds records) are each measured against the copy of
their own size. For every workload (made by make_workloads.py under
--data) and every output folder, each kestrel-cli given (several can be
compared, e.g. before=OLD after=NEW) builds each layout once untimed, which
warms the page cache and gives the image sizes; then every command runs
--runs times (default 5), the commands taking turns, the order reversed on
every other round. A build's ratio is the median over the rounds of its time
divided by its layout's limit in the same round; the limit's own median time
is printed beside. Every output is deleted after its run, outside the timing.

--output-dir may be given more than once; by default the outputs go to memory
(/dev/shm) and to the disk (/var/tmp). Nothing clears the page cache: both
sides read a warm source and write into the page cache, which the kernel
writes back to the disk later; an output deleted before then is never
written. The ratios therefore compare the work of building, not the disk.

The peers (genisoimage, xorriso) run where installed, unless --no-peers,
against the plain copy of the files alone (no padding, nothing else); they
are left out of the 100,000-file folder, where one run of them takes minutes.

Times are only worth comparing across runs when the machine is quiet: on a
busy one both sides wait for the processor, which hides the builder's own
cost. A run whose 1-minute load average at the start exceeds --max-load
(default 1.5) is refused; --wait-quiet SECONDS waits up to that long for the
load to fall first, and --loaded measures anyway, every figure marked
"loaded". Each comparison (one workload into one output folder) prints the
load average at its start and end, and the processor time that the rest of
the machine took meanwhile (other programs, and the host where it steals
time from a virtual machine), in cores; a comparison where that exceeds
0.15 of a core is marked "loaded" too. The kernel's own threads count among
the others: where outputs into /var/tmp are written back to the disk while
the run goes on, a disk comparison can be marked for that alone.

--hyperfine times every command with hyperfine -N (no shell), where it is
installed (Debian package hyperfine): one hyperfine call per round, one run
of each command in the round's order, so the commands still take turns.

--memory builds the one-million-file tree in every layout under
/usr/bin/time -v and prints the peak resident memory per node.

Prints Markdown tables.
"""
import argparse
import json
import os
import resource
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LAYOUTS = ["iso9660", "bridge", "udf102", "udf250"]
ALL_WORKLOADS = ["big", "mixed", "small", "wide20k", "wide100k"]
NO_PEERS = {"wide100k"}
FILES_ONLY = "plain copy"
# Processor time, in cores, that the rest of the machine may take during a
# comparison that still counts as quiet: background daemons take a few
# hundredths of a core.
QUIET_OTHER_CORES = 0.15


def build_plain_copy(work):
    program = os.path.join(work, "plain_copy")
    source = os.path.join(HERE, "plain_copy.cpp")
    if not os.path.exists(program) or os.path.getmtime(program) < os.path.getmtime(source):
        subprocess.run(["g++", "-O2", "-std=c++20", "-o", program, source], check=True)
    return program


def kestrel_command(program, layout, source, output):
    return [program, "-quiet", "-yes", "-fs", layout, "-output", output, source]


def peer_commands(source, output):
    result = []
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


def busy_seconds():
    """Processor seconds the whole machine has spent busy since it started
    (all cores, including time stolen by the host), or None where the system
    does not say (no /proc/stat)."""
    try:
        with open("/proc/stat") as stat:
            fields = [int(value) for value in stat.readline().split()[1:9]]
    except (OSError, ValueError):
        return None
    user, nice, system, _idle, _iowait, irq, softirq, steal = fields + [0] * (8 - len(fields))
    return (user + nice + system + irq + softirq + steal) / os.sysconf("SC_CLK_TCK")


def own_seconds():
    """Processor seconds of this script and every program it has waited for."""
    mine = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return mine.ru_utime + mine.ru_stime + children.ru_utime + children.ru_stime


class Conditions:
    """How busy the machine was during one comparison."""

    def __init__(self):
        self.load_at_start = os.getloadavg()[0]
        self.load_at_end = None
        self.other_cores = None
        self._busy = busy_seconds()
        self._own = own_seconds()
        self._start = time.perf_counter()

    def end(self):
        self.load_at_end = os.getloadavg()[0]
        busy = busy_seconds()
        elapsed = time.perf_counter() - self._start
        if busy is not None and self._busy is not None and elapsed > 0:
            others = (busy - self._busy) - (own_seconds() - self._own)
            self.other_cores = max(0.0, others / elapsed)
        return self

    def loaded(self, args):
        """The run started on a busy machine, or the rest of the machine took
        processor time during this comparison. (The load average alone does not
        tell: the builds measured raise it themselves.)"""
        return args.started_loaded or (self.other_cores or 0) > QUIET_OTHER_CORES

    def describe(self):
        others = "unknown" if self.other_cores is None else f"{self.other_cores:.2f}"
        return (f"load average {self.load_at_start:.2f} at the start, {self.load_at_end:.2f} "
                f"at the end; others took {others} cores")


def wait_until_quiet(args):
    """Refuses a run that would start on a busy machine, after waiting up to
    --wait-quiet seconds for it to settle; with --loaded, measures anyway."""
    deadline = time.monotonic() + args.wait_quiet
    while os.getloadavg()[0] > args.max_load and time.monotonic() < deadline:
        time.sleep(min(10, max(0.0, deadline - time.monotonic())))
    load = os.getloadavg()[0]
    args.started_loaded = load > args.max_load
    if not args.started_loaded:
        return
    if args.loaded:
        print(f"load average {load:.2f} at the start, above {args.max_load}: "
              f"every figure of this run is marked loaded", file=sys.stderr)
        return
    sys.exit(f"load average {load:.2f} at the start, above {args.max_load}: on a busy machine "
             f"both sides wait for the processor and the figures would not be quiet. Wait "
             f"for it to settle (--wait-quiet SECONDS), or measure anyway with --loaded.")


def run(command, output):
    """Runs a command; its wall and processor (user + system) seconds and the
    size of its output."""
    remove(output)
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    stderr = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.stderr.close()
    size = os.path.getsize(output) if os.path.exists(output) else 0
    remove(output)
    if status != 0:
        sys.exit(f"failed ({status}): {' '.join(command)}\n{stderr.decode(errors='replace')}")
    return elapsed, usage.ru_utime + usage.ru_stime, size


def hyperfine_round(order, output):
    """One run of every command, in order, timed by hyperfine -N; for each
    its wall and processor seconds. The output is deleted before every run
    (hyperfine's --prepare, outside the timing) and after the last."""
    with tempfile.TemporaryDirectory() as work:
        report = os.path.join(work, "round.json")
        command = ["hyperfine", "-N", "--runs", "1", "--style", "none", "--export-json", report,
                   "--prepare", shlex.join(["rm", "-f", output])]
        command += [shlex.join(c) for _, c in order]
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        remove(output)
        if done.returncode != 0:
            sys.exit(f"hyperfine failed ({done.returncode}):\n{done.stderr}")
        with open(report) as results:
            timed = json.load(results)["results"]
    return [(result["times"][0], result["user"] + result["system"]) for result in timed]


def time_round(args, order, output):
    """Wall and processor seconds of every command of one round, in order."""
    if args.hyperfine:
        return hyperfine_round(order, output)
    return [run(command, output)[:2] for _, command in order]


def image_sizes(args, source, output):
    """The image size each kestrel makes in every layout, from one untimed
    build each."""
    return {(name, layout): run(kestrel_command(program, layout, source, output), output)[2]
            for name, program in args.kestrel for layout in LAYOUTS}


def limit_labels(args, sizes):
    """The limit each kestrel's build of a layout is measured against: the
    copy of its own image size. Builds that make images of one size share
    one limit, "limit LAYOUT"; a size of its own gets "limit LAYOUT (N bytes)"."""
    labels = {}
    for layout in LAYOUTS:
        first = sizes[(args.kestrel[0][0], layout)]
        for name, _ in args.kestrel:
            size = sizes[(name, layout)]
            labels[(name, layout)] = f"limit {layout}" if size == first else f"limit {layout} ({size} bytes)"
    return labels


def run_workload(args, plain_copy, name, output_dir):
    source = os.path.join(args.data, name)
    if not os.path.isdir(source):
        sys.exit(f"no workload {source}: run make_workloads.py {args.data} {name}")
    output = os.path.join(output_dir, "kestrel-bench-output.iso")
    sizes = image_sizes(args, source, output)
    limits = limit_labels(args, sizes)
    commands = [(FILES_ONLY, [plain_copy, source, output])]
    for layout in LAYOUTS:
        for kestrel, program in args.kestrel:
            label = limits[(kestrel, layout)]
            if label not in [existing for existing, _ in commands]:
                size = str(sizes[(kestrel, layout)])
                commands.append((label, [plain_copy, "-image-bytes", size, source, output]))
            commands.append((f"{kestrel} {layout}", kestrel_command(program, layout, source, output)))
    if args.peers and name not in NO_PEERS:
        commands += peer_commands(source, output)
    times = {label: ([], []) for label, _ in commands}
    conditions = Conditions()
    for round_number in range(args.runs):
        order = commands if round_number % 2 == 0 else list(reversed(commands))
        for (label, _), (wall, processor) in zip(order, time_round(args, order, output)):
            times[label][0].append(wall)
            times[label][1].append(processor)
    return times, conditions.end(), limits


def paired_ratio(times, label, reference, kind=0):
    """Median over the rounds of the time of `label` divided by that of
    `reference` in the same round; kind 0 is wall time, 1 processor time."""
    return statistics.median(a / b for a, b in zip(times[label][kind], times[reference][kind]))


def print_limit_table(args, results):
    print(f"\nMedian ratio of each build's wall time to its layout's limit in the same round "
          f"({args.runs} rounds), and in brackets the ratio of processor time (user + system); "
          f"the limit's median wall time in the 'limit' rows\n")
    print("| workload | output | build | " + " | ".join(LAYOUTS) + " |")
    print("|---|---|---|" + "---|" * len(LAYOUTS))
    for (name, place), (times, conditions, limits) in results.items():
        mark = " (loaded)" if conditions.loaded(args) else ""
        cells = [f"{statistics.median(times[f'limit {layout}'][0]):.3f} s" for layout in LAYOUTS]
        print(f"| {name} | {place} | limit{mark} | " + " | ".join(cells) + " |")
        for kestrel, _ in args.kestrel:
            cells = [f"{paired_ratio(times, f'{kestrel} {layout}', limits[(kestrel, layout)]):.2f} "
                     f"({paired_ratio(times, f'{kestrel} {layout}', limits[(kestrel, layout)], 1):.2f})"
                     for layout in LAYOUTS]
            print(f"| {name} | {place} | {kestrel}{mark} | " + " | ".join(cells) + " |")


def print_conditions_table(args, results):
    print(f"\nHow busy the machine was during each comparison: the 1-minute load average at its "
          f"start and end, and the processor time the rest of the machine took meanwhile "
          f"(loaded: the run started at a load above {args.max_load}, or others took more "
          f"than {QUIET_OTHER_CORES} of a core)\n")
    print("| workload | output | load at start | load at end | others (cores) | measured |")
    print("|---|---|---|---|---|---|")
    for (name, place), (_, conditions, _) in results.items():
        others = "-" if conditions.other_cores is None else f"{conditions.other_cores:.2f}"
        state = "loaded" if conditions.loaded(args) else "quiet"
        print(f"| {name} | {place} | {conditions.load_at_start:.2f} | {conditions.load_at_end:.2f} "
              f"| {others} | {state} |")


def print_files_only_table(args, results):
    labels = []
    for times, _, _ in results.values():
        labels += [label for label in times if label != FILES_ONLY and not label.startswith("limit ")
                   and label not in labels]
    print(f"\nMedian ratio to the plain copy of the files alone ({args.runs} rounds)\n")
    print("| workload | output | plain copy | " + " | ".join(labels) + " |")
    print("|---|---|---|" + "---|" * len(labels))
    for (name, place), (times, _, _) in results.items():
        base = statistics.median(times[FILES_ONLY][0])
        cells = [f"{paired_ratio(times, label, FILES_ONLY):.2f}" if label in times else "-" for label in labels]
        print(f"| {name} | {place} | 1.00 ({base:.3f} s) | " + " | ".join(cells) + " |")


def memory(args, output_dir):
    source = os.path.join(args.data, "million")
    if not os.path.isdir(source):
        sys.exit(f"no workload {source}: run make_workloads.py {args.data} million")
    empty = os.path.join(args.data, "empty-folder")
    os.makedirs(empty, exist_ok=True)
    output = os.path.join(output_dir, "kestrel-bench-output.iso")
    nodes = 1_000_000 + 1_000
    print(f"\nPeak memory, {nodes:,} nodes (1,000,000 empty files in 1,000 folders)\n")
    print("| build | layout | peak RSS | empty source | bytes per node |")
    print("|---|---|---|---|---|")
    for kestrel, program in args.kestrel:
        for layout in LAYOUTS:
            peak = []
            for folder in (source, empty):
                remove(output)
                done = subprocess.run(["/usr/bin/time", "-v"] + kestrel_command(program, layout, folder, output),
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
                remove(output)
                if done.returncode != 0:
                    sys.exit(done.stderr)
                line = next(l for l in done.stderr.splitlines() if "Maximum resident set size" in l)
                peak.append(int(line.split(":")[1]) * 1024)
            per_node = (peak[0] - peak[1]) / nodes
            print(f"| {kestrel} | {layout} | {peak[0] / 2**20:.0f} MiB | {peak[1] / 2**20:.1f} MiB "
                  f"| {per_node:.0f} |")


def named_program(text):
    name, _, path = text.rpartition("=")
    return (name or "kestrel", os.path.abspath(path))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kestrel", action="append", type=named_program, required=True)
    parser.add_argument("--data", default="/work/bench-data")
    parser.add_argument("--output-dir", action="append")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--workloads", default=",".join(ALL_WORKLOADS))
    parser.add_argument("--peers", dest="peers", action="store_true", default=True)
    parser.add_argument("--no-peers", dest="peers", action="store_false")
    parser.add_argument("--memory", action="store_true")
    parser.add_argument("--max-load", type=float, default=1.5)
    parser.add_argument("--wait-quiet", type=float, default=0, metavar="SECONDS")
    parser.add_argument("--loaded", action="store_true")
    parser.add_argument("--hyperfine", action="store_true")
    args = parser.parse_args()
    if len({name for name, _ in args.kestrel}) != len(args.kestrel):
        sys.exit("give every --kestrel its own NAME=")
    if args.hyperfine and not shutil.which("hyperfine"):
        sys.exit("--hyperfine: hyperfine is not installed (Debian package hyperfine)")
    output_dirs = args.output_dir or [d for d in ("/dev/shm", "/var/tmp") if os.path.isdir(d)]
    plain_copy = build_plain_copy(args.data)
    workloads = [w for w in args.workloads.split(",") if w]
    args.started_loaded = False
    if workloads:
        wait_until_quiet(args)

    load_at_start = os.getloadavg()[0]
    results = {}
    for name in workloads:
        for output_dir in output_dirs:
            print(f"timing {name} into {output_dir} ...", file=sys.stderr, flush=True)
            results[(name, output_dir)] = run_workload(args, plain_copy, name, output_dir)
            print(f"  {results[(name, output_dir)][1].describe()}", file=sys.stderr, flush=True)
    if results:
        loaded = any(conditions.loaded(args) for _, conditions, _ in results.values())
        print(f"\nLoad average (1 minute) at the start {load_at_start:.2f}, at the end "
              f"{os.getloadavg()[0]:.2f}: {'LOADED, figures not quiet' if loaded else 'quiet'}"
              f"{', timed with hyperfine -N' if args.hyperfine else ''}")
        print_conditions_table(args, results)
        print_limit_table(args, results)
        print_files_only_table(args, results)
    if args.memory:
        memory(args, output_dirs[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
