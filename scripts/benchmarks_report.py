"""Turns Google Benchmark JSON files into the BENCHMARKS.md table."""
import datetime
import json
import os
import pathlib
import platform
import subprocess
import sys

STANDARD_KEYS = {
    "name", "family_index", "per_family_instance_index", "run_name", "run_type",
    "repetitions", "repetition_index", "threads", "iterations", "real_time",
    "cpu_time", "time_unit", "aggregate_name", "aggregate_unit", "label", "error_occurred",
    "error_message",
}


def machine():
    try:
        lscpu = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
        model = next(l.split(":", 1)[1].strip() for l in lscpu.splitlines() if l.startswith("Model name"))
    except (OSError, StopIteration):
        model = platform.processor() or "unknown processor"
    return f"{model}, {os.cpu_count()} cores, {platform.system()} {platform.release()}"


def figure(value):
    if isinstance(value, float):
        return f"{value:.4g}"
    return str(value)


def main(folder):
    lines = [
        "# Benchmarks",
        "",
        f"Machine: {machine()}. Date: {datetime.date.today().isoformat()}.",
        "Produced by `scripts/run-benchmarks`; every program runs our code and its baseline in",
        "one process on the same data. Counters are the programs' own figures: ratios are",
        "baseline time over ours (above 1 means we are faster) unless the name says otherwise.",
        "",
    ]
    for path in sorted(pathlib.Path(folder).glob("*.json")):
        data = json.loads(path.read_text())
        lines += [f"## {path.stem}", "", "| benchmark | time | figures |", "|---|---|---|"]
        for b in data.get("benchmarks", []):
            extras = ", ".join(f"{k} = {figure(v)}" for k, v in b.items() if k not in STANDARD_KEYS)
            if b.get("error_occurred"):
                extras = "error: " + b.get("error_message", "")
            lines.append(f"| {b['name']} | {b['real_time']:.4g} {b['time_unit']} | {extras} |")
        lines.append("")
    print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv[1])
