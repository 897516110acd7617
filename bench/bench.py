#!/usr/bin/env python3
"""Measures plaintrove-strip against cat and sed on large HTML inputs and checks its targets.

Normally started through bench/run.sh, which finds or builds the binaries and the corpus tools.
Every command is timed from the parent (including the creation of OUT, as a shell does it)
and runs under /usr/bin/time -v for its peak resident set size; its CPU time comes from wait4.
Each run starts with its output removed and nothing left to write back. The commands for one
input run interleaved, round after round, so that drifting machine load hits them all alike.
"""

from __future__ import annotations

import argparse
import datetime
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_corpus  # noqa: E402  (lives beside this file)

MB = make_corpus.MB
MIB = 1024 * 1024
TIME = "/usr/bin/time"
SED_SCRIPT = "s/<[^>]*>//g"

# The targets.
MAX_CAT_RATIO = 2.0
MIN_SED_SPEEDUP = 20.0
MAX_PEAK_RSS = 16 * MIB
MAX_PER_MB_SPREAD = 1.25  # largest over smallest time per MB across the linearity sizes


class BenchError(Exception):
    pass


@dataclass
class Command:
    key: str
    label: str
    argv: list[str]  # "{in}" and "{out}" stand for the input and output paths
    stdin_from_input: bool = False
    stdout_to_output: bool = False

    def expand(self, input_path: str, output_path: str) -> list[str]:
        return [a.replace("{in}", input_path).replace("{out}", output_path) for a in self.argv]


@dataclass
class Sample:
    seconds: list[float] = field(default_factory=list)
    cpu_seconds: list[float] = field(default_factory=list)
    rss_kib: list[int] = field(default_factory=list)

    def add(self, run) -> None:
        self.seconds.append(run.seconds)
        self.cpu_seconds.append(run.cpu_seconds)
        self.rss_kib.append(run.rss_kib)

    @property
    def median(self) -> float:
        return statistics.median(self.seconds)

    @property
    def median_cpu(self) -> float:
        return statistics.median(self.cpu_seconds)

    @property
    def peak_rss(self) -> int:
        return max(self.rss_kib) * 1024


def make_commands(strip: str, engine: str | None) -> list[Command]:
    commands = [
        Command("cat", "cat IN > OUT", ["cat", "{in}"], stdout_to_output=True),
        Command("dd", "dd bs=128K (read/write copy)",
                ["dd", "if={in}", "of={out}", "bs=128K", "status=none"]),
        Command("strip", "plaintrove-strip IN OUT", [strip, "{in}", "{out}"]),
        Command("strip_stdout", "plaintrove-strip IN > OUT", [strip, "{in}"],
                stdout_to_output=True),
    ]
    if engine:
        commands.append(Command("engine", "engine alone < IN > OUT", [engine],
                                stdin_from_input=True, stdout_to_output=True))
    commands.append(Command("sed", f"sed '{SED_SCRIPT}' IN > OUT", ["sed", SED_SCRIPT, "{in}"],
                            stdout_to_output=True))
    return commands


MAX_RSS_LINE = re.compile(r"Maximum resident set size \(kbytes\): (\d+)")


@dataclass
class Run:
    seconds: float  # wall time
    cpu_seconds: float  # user + system time of the command (and of /usr/bin/time)
    rss_kib: int


def run_once(command: Command, input_path: str, output_path: str, scratch: Path) -> Run:
    time_file = scratch / "time.txt"
    argv = [TIME, "-v", "-o", str(time_file)] + command.expand(input_path, output_path)
    opened = []

    def open_fd(path, flags, mode=0o644):
        opened.append(os.open(path, flags, mode))
        return opened[-1]

    try:
        stdin = open_fd(input_path if command.stdin_from_input else os.devnull, os.O_RDONLY)
        stderr = open_fd(scratch / "stderr.txt", os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
        started = time.perf_counter()
        # Creating OUT is part of what `cmd > OUT` costs in a shell.
        stdout = (open_fd(output_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
                  if command.stdout_to_output else open_fd(os.devnull, os.O_WRONLY))
        pid = os.posix_spawn(TIME, argv, os.environ, file_actions=[
            (os.POSIX_SPAWN_DUP2, stdin, 0), (os.POSIX_SPAWN_DUP2, stdout, 1),
            (os.POSIX_SPAWN_DUP2, stderr, 2)])
        # wait4 rather than waitpid: its usage counts the command, which /usr/bin/time waited for.
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - started
    finally:
        for fd in opened:
            os.close(fd)
    report = time_file.read_text(errors="replace")
    exit_status = os.waitstatus_to_exitcode(status)
    if exit_status != 0:
        message = (scratch / "stderr.txt").read_text(errors="replace").strip()
        if not message and "Command terminated by signal" in report:
            message = report.splitlines()[0]
        message = message or "it printed no message"
        raise BenchError(f"{command.label} failed on {input_path} "
                         f"(exit status {exit_status}): {message}")
    match = MAX_RSS_LINE.search(report)
    if not match:
        raise BenchError(f"no peak memory in the report of {TIME}: {report.strip()}")
    return Run(elapsed, usage.ru_utime + usage.ru_stime, int(match.group(1)))


def load_into_cache(path: str) -> None:
    with open(path, "rb") as src:
        while src.read(8 * MIB):
            pass


def same_contents(first: Path, second: Path) -> bool:
    if first.stat().st_size != second.stat().st_size:
        return False
    with open(first, "rb") as a, open(second, "rb") as b:
        while True:
            chunk = a.read(8 * MIB)
            if chunk != b.read(8 * MIB):
                return False
            if not chunk:
                return True


@dataclass
class Measured:
    item: make_corpus.Input
    samples: dict[str, Sample]
    outputs_agree: bool | None


def settle(output: Path) -> None:
    """Starts a run on an even footing: no old output to truncate or replace, and no dirty pages
    of earlier runs whose writeback a run would wait for or compete with."""
    output.unlink(missing_ok=True)
    os.sync()


def measure(item: make_corpus.Input, commands: list[Command], rounds: int, sed_rounds: int,
            results_dir: Path, progress) -> Measured:
    outputs = {c.key: results_dir / f"{c.key}.out" for c in commands}
    load_into_cache(item.path)
    # One untimed run of everything but sed: warms caches and allocators, and gives the outputs
    # to compare.
    for command in commands:
        if command.key != "sed":
            settle(outputs[command.key])
            run_once(command, item.path, str(outputs[command.key]), results_dir)
    stripped = [outputs[k] for k in ("strip", "strip_stdout", "engine") if k in outputs]
    agree = all(same_contents(stripped[0], other) for other in stripped[1:]) if stripped else None

    samples = {c.key: Sample() for c in commands}
    for round_number in range(rounds):
        progress(f"{item.label}: round {round_number + 1}/{rounds}")
        for command in commands:
            if command.key == "sed" and round_number >= sed_rounds:
                continue
            settle(outputs[command.key])
            samples[command.key].add(
                run_once(command, item.path, str(outputs[command.key]), results_dir))
    for path in outputs.values():
        path.unlink(missing_ok=True)
    return Measured(item, {k: s for k, s in samples.items() if s.seconds}, agree)


def sed_rounds_for(size: int, rounds: int, big_rounds: int) -> int:
    if size >= 500 * MB:
        return min(rounds, 1)
    if size >= 100 * MB:
        return min(rounds, big_rounds)
    return rounds


# --- Reporting -----------------------------------------------------------------------------------


def mb(size: int) -> str:
    return f"{size / MB:.1f}"


def mib(size: int) -> str:
    return f"{size / MIB:.1f} MiB"


def format_table(headers: list[str], rows: list[list[str]], right: set[int]) -> list[str]:
    widths = [max(len(r[i]) for r in [headers] + rows) for i in range(len(headers))]

    def line(cells):
        return "  ".join(c.rjust(w) if i in right else c.ljust(w)
                         for i, (c, w) in enumerate(zip(cells, widths))).rstrip()

    return [line(headers), line(["-" * w for w in widths])] + [line(r) for r in rows]


def main_table(results: list[Measured], commands: list[Command]) -> list[str]:
    labels = {c.key: c.label for c in commands}
    rows = []
    for result in results:
        cat = result.samples["cat"].median
        sed = result.samples.get("sed")
        first = True
        for key, sample in result.samples.items():
            rows.append([
                result.item.label if first else "",
                mb(result.item.size) if first else "",
                labels[key],
                str(len(sample.seconds)),
                f"{sample.median:.3f}",
                f"{sample.median_cpu:.3f}",
                f"{result.item.size / MB / sample.median:.0f}",
                mib(sample.peak_rss),
                f"{sample.median / cat:.2f}x",
                f"{sed.median / sample.median:.1f}x" if sed and key != "sed" else "",
            ])
            first = False
    return format_table(
        ["input", "MB", "command", "runs", "median s", "cpu s", "MB/s", "peak RSS", "time/cat",
         "faster than sed"], rows, {1, 3, 4, 5, 6, 7, 8, 9})


@dataclass
class Linearity:
    startup: Measured  # the empty input: what a run costs before the first byte
    rows: list[Measured]

    @property
    def startup_seconds(self) -> float:
        return self.startup.samples["strip"].median

    def per_mb(self) -> list[float]:
        return [(r.samples["strip"].median - self.startup_seconds) / (r.item.size / MB)
                for r in self.rows]


def linearity_table(lin: Linearity) -> list[str]:
    rows = []
    for result, per_mb in zip(lin.rows, lin.per_mb()):
        size = result.item.size
        strip = result.samples["strip"]
        cat = result.samples["cat"].median
        rows.append([result.item.label, mb(size), str(len(strip.seconds)), f"{strip.median:.3f}",
                     f"{size / MB / strip.median:.0f}", f"{per_mb * 1000:.3f}",
                     mib(strip.peak_rss), f"{size / MB / cat:.0f}"])
    return format_table(["input", "MB", "runs", "strip median s", "strip MB/s",
                         "ms/MB less start-up", "peak RSS", "cat MB/s"], rows,
                        {1, 2, 3, 4, 5, 6, 7})


def verdict(ok: bool) -> str:
    return "PASS" if ok else "FAIL"


def evaluate(results: list[Measured], lin: Linearity, quick: bool) -> list[tuple[bool, str]]:
    by_key = {r.item.key: r for r in results}
    checks = []
    for key in ("real", "real1"):
        result = by_key[key]
        strip = result.samples["strip"].median
        cat = result.samples["cat"].median
        dd = result.samples["dd"].median
        cpu_ratio = result.samples["strip"].median_cpu / result.samples["cat"].median_cpu
        checks.append((strip <= MAX_CAT_RATIO * cat,
                       f"time <= {MAX_CAT_RATIO:g}x cat on {result.item.label}: "
                       f"{strip:.3f} s vs cat {cat:.3f} s = {strip / cat:.2f}x "
                       f"(cpu time {cpu_ratio:.2f}x; vs the dd copy {strip / dd:.2f}x)"))
    for result in results:
        sed = result.samples.get("sed")
        if not sed:
            continue
        speedup = sed.median / result.samples["strip"].median
        checks.append((speedup >= MIN_SED_SPEEDUP,
                       f">= {MIN_SED_SPEEDUP:g}x faster than sed on {result.item.label}: "
                       f"{speedup:.1f}x (sed {len(sed.seconds)} run(s))"))
    peaks = [(r.samples[k].peak_rss, f"{r.samples[k].peak_rss / MIB:.1f} MiB on {r.item.label}, "
              f"{'to stdout' if k == 'strip_stdout' else 'to a file'}")
             for r in results + [lin.startup] + lin.rows
             for k in ("strip", "strip_stdout") if k in r.samples]
    worst = max(peaks)
    checks.append((worst[0] < MAX_PEAK_RSS,
                   f"peak memory < {MAX_PEAK_RSS // MIB} MiB on every input: worst {worst[1]}"))
    per_mb = lin.per_mb()
    spread = max(per_mb) / min(per_mb) if min(per_mb) > 0 else float("inf")
    checks.append((spread <= MAX_PER_MB_SPREAD,
                   f"linear from {lin.rows[0].item.size / MB:.0f} to "
                   f"{lin.rows[-1].item.size / MB:.0f} MB: time per MB (less "
                   f"{lin.startup_seconds * 1000:.0f} ms start-up) varies by {spread:.2f}x, "
                   f"limit {MAX_PER_MB_SPREAD:g}x"))
    if quick:
        checks = [(ok, text + " [quick sizes]") for ok, text in checks]
    return checks


def describe_machine(out_dir: Path, strip: str) -> list[str]:
    fs = subprocess.run(["stat", "-f", "-c", "%T", str(out_dir)], capture_output=True, text=True)
    cat_version = subprocess.run(["cat", "--version"], capture_output=True, text=True).stdout
    built = datetime.datetime.fromtimestamp(Path(strip).stat().st_mtime)
    built = built.isoformat(timespec="seconds")
    return [
        f"date       {datetime.datetime.now().isoformat(timespec='seconds')}",
        f"machine    {os.cpu_count()} cores, Linux {platform.release()}, "
        f"{fs.stdout.strip()} file system under {out_dir}",
        f"binary     {strip} (built {built})",
        f"cat        {cat_version.splitlines()[0] if cat_version else '?'}",
    ]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", help="the plaintrove-strip to measure")
    parser.add_argument("--engine", help="the engine_loop binary, for the engine-alone rows")
    parser.add_argument("-n", "--runs", type=int, default=5, help="timed rounds per input (5)")
    parser.add_argument("--sed-runs", type=int, default=2,
                        help="sed runs on inputs of 100 MB and more (2; 1 from 500 MB)")
    parser.add_argument("--out", type=Path, required=True, help="corpus and output directory")
    parser.add_argument("--source", type=Path, action="append", help="HTML source directory")
    parser.add_argument("--quick", action="store_true", help="small inputs, for a trial run")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error("--runs must be at least 1")

    strip = str(Path(args.binary).resolve())
    if not os.access(strip, os.X_OK):
        print(f"bench: {strip}: not an executable file", file=sys.stderr)
        return 2

    def progress(text: str) -> None:
        print(f"  {text}", file=sys.stderr, flush=True)

    load_before = os.getloadavg()
    print("Building or checking the corpus...", file=sys.stderr)
    sizes = make_corpus.Sizes.quick() if args.quick else make_corpus.Sizes()
    corpus = make_corpus.build(args.out, sizes, args.source or [Path("/usr/share/doc")],
                               log=progress)
    results_dir = args.out / "results"
    results_dir.mkdir(parents=True, exist_ok=True)

    commands = make_commands(strip, args.engine)
    try:
        results = []
        for item in corpus.main:
            rounds = sed_rounds_for(item.size, args.runs, args.sed_runs)
            results.append(measure(item, commands, args.runs, rounds, results_dir, progress))

        empty = results_dir / "empty.html"
        empty.write_bytes(b"")
        linear_commands = [c for c in commands if c.key in ("cat", "strip")]
        startup = measure(make_corpus.Input("empty", "empty input", str(empty), 0, 0),
                          linear_commands, args.runs, 0, results_dir, progress)
        lin = Linearity(startup, [measure(item, linear_commands, args.runs, 0, results_dir,
                                          progress) for item in corpus.linearity])
    except BenchError as error:
        print(f"bench: {error}", file=sys.stderr)
        return 2
    load_after = os.getloadavg()

    lines = describe_machine(args.out, strip)
    lines += [
        f"load       {load_before[0]:.2f} before, {load_after[0]:.2f} after (1-minute average)",
        f"corpus     {corpus.unique_files} HTML files, {corpus.unique_bytes / MB:.1f} MB, from "
        f"{', '.join(corpus.sources)}; medians of {args.runs} interleaved rounds",
        f"sed        runs {args.runs} times below 100 MB, {min(args.runs, args.sed_runs)} from "
        f"100 MB, once from 500 MB (it is slow); see the runs column",
        "",
    ]
    lines += main_table(results, commands)
    lines += [
        "",
        "median s: wall time; cpu s: user + system time, which other work on the machine hardly",
        "changes; time/cat: median time over that of cat on the same input. GNU cat 9 copies",
        "between two regular files with copy_file_range(2) inside the kernel; dd shows what a",
        "read(2)/write(2) copy through user space costs. 'plaintrove-strip IN > OUT' skips the",
        "temporary file and its replacement of OUT.",
    ]
    if any(r.outputs_agree is False for r in results):
        bad = ", ".join(r.item.label for r in results if r.outputs_agree is False)
        lines.append(f"WARNING: the stripped outputs differ between the rows on: {bad}")
    else:
        lines.append("The outputs of all plaintrove-strip rows (and the engine's) were identical.")
    lines += ["", f"Linearity: the same real HTML repeated; start-up (an empty input) "
              f"{lin.startup_seconds * 1000:.1f} ms", ""]
    lines += linearity_table(lin)
    checks = evaluate(results, lin, args.quick)
    lines += ["", "Targets:"] + [f"  {verdict(ok)}  {text}" for ok, text in checks]

    report = "\n".join(lines) + "\n"
    print(report, end="")
    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    (results_dir / f"report-{stamp}.txt").write_text(report)
    (results_dir / f"report-{stamp}.json").write_text(json.dumps({
        "runs": args.runs,
        "load": [load_before, load_after],
        "inputs": [{"label": r.item.label, "bytes": r.item.size, "lines": r.item.lines,
                    "samples": {k: {"seconds": s.seconds, "cpu_seconds": s.cpu_seconds,
                                "max_rss_kib": s.rss_kib}
                                for k, s in r.samples.items()}} for r in results],
        "linearity": {"startup_seconds": lin.startup_seconds,
                      "rows": [{"bytes": r.item.size,
                                "strip": r.samples["strip"].seconds,
                                "cat": r.samples["cat"].seconds} for r in lin.rows]},
        "targets": [{"pass": ok, "text": text} for ok, text in checks],
    }, indent=1))
    print(f"(saved in {results_dir}/report-{stamp}.txt and .json)", file=sys.stderr)
    return 0 if all(ok for ok, _ in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
