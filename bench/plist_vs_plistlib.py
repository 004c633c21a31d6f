#!/usr/bin/env python3
"""Parses and writes the same statistics file with our plist code and with
Python's plistlib, in one run, and prints MB/s and the speed ratios.

usage: bench/plist_vs_plistlib.py BUILD_DIR
"""
import json
import os
import plistlib
import subprocess
import sys
import tempfile
import time


def best_of(n, fn):
    best = float("inf")
    for _ in range(n):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    bench = os.path.join(build, "bench", "plist_bench")
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "stats.plist")
        subprocess.run([bench, "--write-stats", path], check=True)
        data = open(path, "rb").read()
        mb = len(data) / 1e6
        tree = plistlib.loads(data)
        py_parse = best_of(3, lambda: plistlib.loads(data))
        py_write = best_of(3, lambda: plistlib.dumps(tree, sort_keys=False))
        out = subprocess.run([bench, "--benchmark_format=json", "--benchmark_repetitions=3",
                              "--benchmark_report_aggregates_only=true"],
                             check=True, capture_output=True, text=True).stdout
        results = {b["run_name"]: b["real_time"] / 1e3 for b in json.loads(out)["benchmarks"]
                   if b.get("aggregate_name") == "mean"}
        ours_parse = results["BM_ParseStats"]
        ours_write = results["BM_WriteStats"]
    print(f"file: {mb:.1f} MB")
    print(f"parse: ours {mb / ours_parse:8.1f} MB/s  plistlib {mb / py_parse:8.1f} MB/s"
          f"  ratio {py_parse / ours_parse:5.1f}x")
    print(f"write: ours {mb / ours_write:8.1f} MB/s  plistlib {mb / py_write:8.1f} MB/s"
          f"  ratio {py_write / ours_write:5.1f}x")


if __name__ == "__main__":
    main()
