"""End to end against the peer: the whole vornida-collage and Debian's
photocollage (driven through its module by peer_collage.py) on the same
generated photo folders, alternating, medians of the runs. Prints the time and
peak-memory (maximum resident set, from /usr/bin/time) ratios measured in this
run, and the machine's load.

    /usr/bin/python3 bench/collage/bench_collage.py [--build DIR] [--counts 100,300]
                                                    [--runs 3] [--size 3000x2000] [--data DIR]

The photos are generated once into --data (default $TMPDIR/vornida-bench-collage).
Goal: vornida-collage at most 0.5x the peer's time and at most its peak memory.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # Debian's interpreter: it has photocollage and Pillow


def load():
    return open("/proc/loadavg").read().split()[:3]


def timed(command, output):
    """Runs `command` under /usr/bin/time; (seconds, peak MB, CPU seconds)."""
    if os.path.exists(output):
        os.remove(output)
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        result = subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%e %M %U %S"] + command,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0 or not os.path.exists(output) or os.path.getsize(output) == 0:
            sys.exit(f"failed: {' '.join(command[:3])} ...\n{result.stderr[-2000:]}")
        seconds, kilobytes, user, system = report.read().split()[-4:]
    return float(seconds), int(kilobytes) / 1024.0, float(user) + float(system)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--counts", default="100,300")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size", default="3000x2000")
    parser.add_argument("--data", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "vornida-bench-collage"))
    args = parser.parse_args()
    counts = [int(c) for c in args.counts.split(",")]
    width, height = args.size.split("x")
    ours = os.path.join(args.build, "src/tools/vornida-collage/vornida-collage")
    if not os.access(ours, os.X_OK):
        sys.exit(f"no {ours}: build first (cmake --build {args.build})")

    os.makedirs(args.data, exist_ok=True)
    subprocess.run([PYTHON, os.path.join(HERE, "make_photos.py"), args.data] + [str(c) for c in counts], check=True)
    out = os.path.join(args.data, "out")
    os.makedirs(out, exist_ok=True)

    print(f"load before: {' '.join(load())}  (uptime 1/5/15 min)")
    rows = []
    for count in counts:
        folder = os.path.join(args.data, f"photos-{count}")
        photos = sorted(os.path.join(folder, n) for n in os.listdir(folder) if not n.startswith("."))
        runs = {"vornida": [], "peer": []}
        commands = {
            "vornida": ([ours, "-q", "--size", args.size, "--seed", "7", folder, "-o", f"{out}/vornida.jpg"],
                        f"{out}/vornida.jpg"),
            "peer": ([PYTHON, os.path.join(HERE, "peer_collage.py"), width, height, f"{out}/peer.jpg"] + photos,
                     f"{out}/peer.jpg"),
        }
        for r in range(args.runs):
            # Alternate who goes first, so that neither always meets a warm
            # or a cold page cache.
            for name in (["vornida", "peer"] if r % 2 == 0 else ["peer", "vornida"]):
                seconds, peak, cpu = timed(*commands[name])
                runs[name].append((seconds, peak, cpu))
                print(f"  {count} photos, run {r + 1}: {name:8s} {seconds:7.2f} s {peak:7.1f} MB  (CPU {cpu:.2f} s)",
                      flush=True)
        t_ours = statistics.median(s for s, _, _ in runs["vornida"])
        t_peer = statistics.median(s for s, _, _ in runs["peer"])
        m_ours = statistics.median(m for _, m, _ in runs["vornida"])
        m_peer = statistics.median(m for _, m, _ in runs["peer"])
        c_ours = statistics.median(c for _, _, c in runs["vornida"])
        c_peer = statistics.median(c for _, _, c in runs["peer"])
        rows.append((count, t_ours, t_peer, m_ours, m_peer, c_ours, c_peer))

    print(f"load after: {' '.join(load())}")
    print(f"\ncanvas {args.size}, medians of {args.runs} runs")
    print(f"{'photos':>6} {'vornida s':>10} {'peer s':>8} {'time ratio':>11} {'vornida MB':>11} {'peer MB':>8} "
          f"{'memory ratio':>13} {'CPU ratio':>10}")
    for count, t_ours, t_peer, m_ours, m_peer, c_ours, c_peer in rows:
        print(f"{count:>6} {t_ours:>10.2f} {t_peer:>8.2f} {t_ours / t_peer:>10.2f}x {m_ours:>11.1f} {m_peer:>8.1f} "
              f"{m_ours / m_peer:>12.2f}x {c_ours / c_peer:>9.2f}x")
    print("goal: time ratio <= 0.50x, memory ratio <= 1.00x (the CPU ratio, user + system time, is for reading the")
    print("time ratio on a busy machine: vornida-collage decodes on every core, photocollage on one)")
    for count, t_ours, t_peer, m_ours, m_peer, c_ours, c_peer in rows:
        print(f"RATIO collage-{count}-time {t_ours / t_peer:.2f}")
        print(f"RATIO collage-{count}-memory {m_ours / m_peer:.2f}")
        print(f"RATIO collage-{count}-cpu {c_ours / c_peer:.2f}")


if __name__ == "__main__":
    main()
