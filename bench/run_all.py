"""Runs every benchmark that measures against a baseline and prints their
ratios in one table, all measured in this run, with the machine's load.

    /usr/bin/python3 bench/run_all.py [--build DIR] [--collage-runs 3] [--skip-collage]

Needs a build with the benchmarks (the default; -DVORNIDA_BENCH=ON). Takes
some 20 minutes on a quiet two-core machine, most of it the collage
benchmark against photocollage.
"""
import argparse
import json
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def load():
    return " ".join(open("/proc/loadavg").read().split()[:3])


def run(command, **kwargs):
    print("$", " ".join(command), flush=True)
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)
    sys.stdout.write(result.stdout)
    if result.returncode != 0:
        print(f"(exit status {result.returncode})")
    return result.stdout


def google_benchmark(binary, extra=()):
    """The runs of a Google Benchmark program, by name (JSON to a file,
    the usual console output shown)."""
    out = binary + ".json"
    run([binary, f"--benchmark_out={out}", "--benchmark_out_format=json", *extra])
    with open(out) as f:
        return {b["name"]: b for b in json.load(f)["benchmarks"]}


def seconds(entry):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry.get("time_unit", "ns")]
    return entry["real_time"] * scale


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--collage-runs", type=int, default=3)
    parser.add_argument("--skip-collage", action="store_true")
    args = parser.parse_args()
    bench = os.path.join(args.build, "bench")
    rows = []  # (what, ratio text, goal)
    start_load = load()

    # Import against vipsthumbnail, and the large and hostile pictures.
    text = run([os.path.join(bench, "photos/bench_import")])
    m = re.search(r"import ([\d.]+) photos/s, vipsthumbnail ([\d.]+) photos/s, ratio ([\d.]+)x", text)
    if m:
        rows.append(("import rate / vipsthumbnail rate (40 x 24 MP JPEG)", f"{float(m.group(3)):.2f}x", ">= 1"))
    for name, secs, peak in re.findall(r"import (\S+): photos=\d+ seconds=([\d.]+) peak_rss_mb=([\d.]+)", text):
        rows.append((f"import {name}: seconds, peak MB", f"{float(secs):.2f} s, {float(peak):.0f} MB", "<= 300 MB"))
    m = re.search(r"vipsthumbnail gigapixel.png: seconds=([\d.]+) peak_rss_mb=([\d.]+)", text)
    if m:
        rows.append(("vipsthumbnail gigapixel.png: seconds, peak MB", f"{float(m.group(1)):.2f} s, "
                     f"{float(m.group(2)):.0f} MB", "baseline"))

    # The engine: a sweep with its preview frame, and the final render
    # against decoding its photos at item size.
    engine = google_benchmark(os.path.join(bench, "engine/bench_engine"),
                              ["--benchmark_filter=SweepWithFrame|RenderFinal|DecodeAtItemSize"])
    for items in (200, 1000):
        with_frame = engine.get(f"BM_SweepWithFrame/{items}/1/real_time")
        alone = engine.get(f"BM_SweepWithFrame/{items}/0/real_time")
        if with_frame and alone:
            rows.append((f"sweep with frame / sweep alone, {items} items",
                         f"{seconds(with_frame) / seconds(alone):.2f}x ({seconds(with_frame) * 1e3:.1f} ms)", "-"))
    render = engine.get("BM_RenderFinal/iterations:2/real_time")
    decode = engine.get("BM_DecodeAtItemSize/iterations:2/real_time")
    if render and decode:
        rows.append(("final render / bare decode at item size (200 items, 8000x6000)",
                     f"{seconds(render) / seconds(decode):.2f}x", "-"))

    # The layered file against PNG.
    text = run([os.path.join(bench, "psd/bench_psd")])
    m = re.search(r"PSD / PNG level 1 wall-clock time ratio: ([\d.]+)", text)
    if m:
        rows.append(("PSD write / PNG level 1 write (8000x6000, 200 layers)", f"{float(m.group(1)):.2f}x", "<= 1"))

    # Saving through the whole flow against libpng alone.
    export = google_benchmark(os.path.join(bench, "export/bench_export"))
    baseline = next((b for n, b in export.items() if n.startswith("BM_Libpng/level:1/filter:16/strategy:0")), None)
    if baseline:
        for fmt in ("PNG", "JPEG", "BMP", "PSD"):
            save = export.get(f"BM_SaveCollage_{fmt}/iterations:1/real_time")
            if save:
                rows.append((f"save {fmt} (render + write) / libpng level 1", f"{seconds(save) / seconds(baseline):.2f}x",
                             "-"))

    # End to end against photocollage.
    if not args.skip_collage:
        text = run(["/usr/bin/python3", os.path.join(HERE, "collage/bench_collage.py"), "--build", args.build,
                    "--runs", str(args.collage_runs)])
        goals = {"time": "<= 0.50", "memory": "<= 1.00", "cpu": "-"}
        for count, kind, ratio in re.findall(r"RATIO collage-(\d+)-(time|memory|cpu) ([\d.]+)", text):
            rows.append((f"vornida-collage / photocollage {kind}, {count} photos", f"{float(ratio):.2f}x", goals[kind]))

    print(f"\nload before {start_load}, after {load()} (1/5/15 min)\n")
    width = max(len(r[0]) for r in rows) if rows else 10
    print(f"{'measure':<{width}}  {'value':>22}  goal")
    for what, value, goal in rows:
        print(f"{what:<{width}}  {value:>22}  {goal}")


if __name__ == "__main__":
    main()
