#!/usr/bin/python3
"""The Python package's costs: the per-image overhead of read_lines over the
same C++ call (bench_lines_bench), and the throughput of glyphwick.batch on
1 and 2 Dask worker processes.

The overhead compares processor time of the calling process (Python's
process_time, the C++ benchmark's cpu_time), which other load on the machine
disturbs far less than wall-clock time; the batch throughput is wall-clock.

Usage (from the source folder, after a Release build with GW_BUILD_BENCH=ON):
    bench/python_bench.py BUILD_DIR [PAGES]
"""

import json
import os
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-bench")
PAGES = int(sys.argv[2]) if len(sys.argv) > 2 else 200
sys.path.insert(0, os.path.join(BUILD, "python"))

import glyphwick  # noqa: E402
import glyphwick.batch  # noqa: E402

PAGE = os.path.abspath("samples/td3-passport.png")
ZONE_LINE = (80, 940, 1400, 990)


def python_ms(call, repetitions=10, seconds=0.3):
    """Processor milliseconds of one call: the mean over about seconds of
    calls, the lowest of repetitions such means."""
    call()
    means = []
    for _ in range(repetitions):
        n, start = 0, time.process_time()
        while time.process_time() - start < seconds:
            call()
            n += 1
        means.append((time.process_time() - start) * 1000 / n)
    return min(means)


def cpp_ms():
    out = subprocess.run([os.path.join(BUILD, "bench", "bench_lines_bench"),
                          "--benchmark_format=json", "--benchmark_repetitions=10",
                          "--benchmark_min_time=0.3"],
                         check=True, capture_output=True, text=True,
                         env={**os.environ, "GW_SOURCE_DIR": os.getcwd()}).stdout
    # The lowest of the repetitions' means, as for Python.
    best = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            best[b["run_name"]] = min(best.get(b["run_name"], float("inf")), b["cpu_time"])
    return best


def main():
    cpp = cpp_ms()
    image = glyphwick.Image(PAGE)
    array = image.to_numpy()
    cases = [
        ("BM_FileWholePage", "path, whole page", lambda: glyphwick.read_lines(PAGE)),
        ("BM_ImageWholePage", "Image, whole page", lambda: glyphwick.read_lines(image)),
        ("BM_RowsWholePage", "NumPy, whole page", lambda: glyphwick.read_lines(array)),
        ("BM_ImageZoneLine", "Image, zone line",
         lambda: glyphwick.read_lines(image, rect=ZONE_LINE)),
        ("BM_RowsZoneLine", "NumPy, zone line",
         lambda: glyphwick.read_lines(array, rect=ZONE_LINE)),
    ]
    print(f"{'call (CPU time)':<20} {'C++ ms':>8} {'Python ms':>10} {'overhead':>9}")
    for name, label, call in cases:
        p = python_ms(call)
        print(f"{label:<20} {cpp[name]:8.3f} {p:10.3f} {100 * (p / cpp[name] - 1):8.1f}%")

    from dask.distributed import Client, LocalCluster
    paths = [PAGE] * PAGES
    rates = {}
    for workers in (1, 2):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            glyphwick.batch.read_many(paths[:8], kind="lines", client=client)  # warm up
            t = time.perf_counter()
            results = glyphwick.batch.read_many(paths, kind="lines", client=client)
            elapsed = time.perf_counter() - t
            assert all(r["error"] is None for r in results)
            rates[workers] = PAGES / elapsed
            print(f"Dask, {workers} worker process(es): {PAGES} pages in {elapsed:.2f} s, "
                  f"{rates[workers]:.1f} pages/s")
    print(f"2 processes / 1 process: {rates[2] / rates[1]:.2f}x")


if __name__ == "__main__":
    main()
