#!/usr/bin/python3
"""The Python package's costs: the per-image overhead of read_lines over the
same C++ call (bench_lines_bench), and the throughput of glyphwick.batch on
1 and 2 Dask worker processes.

The overhead compares processor time of the same calls made by the binding
in C++ alone (glyphwick._glyphwick._cpp_loop) and through read_lines, in
turns in one process, which other load on the machine disturbs far less than
wall-clock time or two programs; bench_lines_bench's own figures are shown
beside them. The batch throughput is wall-clock time.

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


def cpu_ms(loop, count):
    """Processor milliseconds per call of loop(count)."""
    start = time.process_time()
    loop(count)
    return (time.process_time() - start) * 1000 / count


def overhead(image, rect, seconds=0.25, repetitions=12):
    """Processor milliseconds per call of the C++ calls alone and of
    read_lines, measured in turns in this process, the lowest of each."""
    def cpp(n):
        glyphwick._glyphwick._cpp_loop(image, rect, n)

    def py(n):
        for _ in range(n):
            glyphwick.read_lines(image, rect=rect)

    py(1)
    count = max(1, int(seconds * 1000 / cpu_ms(py, 3)))
    times = [(cpu_ms(cpp, count), cpu_ms(py, count)) for _ in range(repetitions)]
    return min(t[0] for t in times), min(t[1] for t in times)


def cpp_bench_ms():
    """The C++ benchmark program's processor milliseconds per call (the
    lowest repetition), for reference: a separate program, so more exposed
    to the machine's other load."""
    out = subprocess.run([os.path.join(BUILD, "bench", "bench_lines_bench"),
                          "--benchmark_format=json", "--benchmark_repetitions=5",
                          "--benchmark_min_time=0.3"],
                         check=True, capture_output=True, text=True,
                         env={**os.environ, "GW_SOURCE_DIR": os.getcwd()}).stdout
    best = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            best[b["run_name"]] = min(best.get(b["run_name"], float("inf")), b["cpu_time"])
    return best


def main():
    bench = cpp_bench_ms()
    image = glyphwick.Image(PAGE)
    array = image.to_numpy()
    cases = [("path, whole page", PAGE, None, "BM_FileWholePage"),
             ("Image, whole page", image, None, "BM_ImageWholePage"),
             ("NumPy, whole page", array, None, "BM_RowsWholePage"),
             ("Image, zone line", image, ZONE_LINE, "BM_ImageZoneLine"),
             ("NumPy, zone line", array, ZONE_LINE, "BM_RowsZoneLine")]
    print(f"{'processor ms a call':<20} {'C++':>7} {'Python':>7} {'overhead':>9} "
          f"{'(C++ program)':>14}")
    for label, source, rect, name in cases:
        c, p = overhead(source, rect)
        print(f"{label:<20} {c:7.3f} {p:7.3f} {100 * (p / c - 1):8.1f}% {bench[name]:14.3f}")

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
