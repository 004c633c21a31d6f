#!/usr/bin/env python3
"""HomeFolderSize's tree walk against `du -sb --apparent-size` on one tree.

Generates 200,000 files in 20,000 folders (sizes 0 to 8 KiB, a few symbolic
links), warms the cache, then times both tools alternately and reports the
median wall times and their ratio. The byte count must equal du's minus the
folders' own sizes, and the sum of `find -type f,l -printf '%s'`.

usage: bench/client/home_size_vs_du.py BUILD_DIR [ROUNDS]
"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FOLDERS = 20_000
FILES = 200_000


def make_tree(top):
    rng = random.Random(5)
    folders = []
    for i in range(FOLDERS):
        # 100 top folders of 199 nested ones each, two levels deep.
        parent = top if i % 200 == 0 else folders[i - i % 200]
        path = os.path.join(parent, f"d{i}")
        os.mkdir(path)
        folders.append(path)
    payload = bytes(8192)
    for i in range(FILES):
        path = os.path.join(folders[i % FOLDERS], f"f{i}")
        if i % 1000 == 0:
            os.symlink(f"../target-{i}", path)
            continue
        with open(path, "wb") as f:
            f.write(payload[: rng.randrange(0, 8193)])


def timed(argv):
    start = time.perf_counter()
    out = subprocess.run(argv, check=True, capture_output=True, text=True).stdout
    return time.perf_counter() - start, out


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    probe = os.path.join(build, "bench", "folder_tree_size_probe")
    top = tempfile.mkdtemp(prefix="c5-home-bench-")
    try:
        t0 = time.perf_counter()
        make_tree(top)
        print(f"tree: {FILES} files in {FOLDERS} folders, made in {time.perf_counter() - t0:.1f} s")
        ours_cmd = [probe, top]
        du_cmd = ["du", "-sb", "--apparent-size", top]
        timed(ours_cmd), timed(du_cmd)  # warm the cache for both
        ours, du = [], []
        for _ in range(rounds):
            t, ours_out = timed(ours_cmd)
            ours.append(t)
            t, du_out = timed(du_cmd)
            du.append(t)
        ours_bytes = int(ours_out.split()[0])
        du_bytes = int(du_out.split()[0])
        find = subprocess.run(["find", top, "-mindepth", "1", "-type", "d", "-printf", "%s\n"],
                              check=True, capture_output=True, text=True).stdout.split()
        folder_bytes = sum(map(int, find))
        # du counts the top folder itself too.
        folder_bytes += os.lstat(top).st_size
        files = subprocess.run(["find", top, "-type", "f,l", "-printf", "%s\n"],
                               check=True, capture_output=True, text=True).stdout.split()
        file_bytes = sum(map(int, files))
        print(f"bytes: ours {ours_bytes}, du {du_bytes} - folders {folder_bytes} = "
              f"{du_bytes - folder_bytes}, find -type f,l {file_bytes}")
        ok = ours_bytes == du_bytes - folder_bytes == file_bytes
        m_ours, m_du = statistics.median(ours), statistics.median(du)
        print(f"median wall time over {rounds} rounds: HomeFolderSize walk {m_ours * 1000:.1f} ms, "
              f"du {m_du * 1000:.1f} ms, ratio {m_ours / m_du:.2f}x (goal <= 1.0x)")
        print("byte count " + ("matches" if ok else "DIFFERS"))
        return 0 if ok else 1
    finally:
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
