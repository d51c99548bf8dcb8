#!/usr/bin/python3
"""The Python module's two performance figures, each against its bar:

1. Board.stream of 8 channels of the simulated board at its full rate
   (1,250,000 conversions a second: 156,250 scans a second) for SECONDS
   (60 by default) into a loop that sums each block: every sample arrives,
   and the process uses under 30 % of one core (user + system time of the
   process over the wall time, from os.times).
2. tavril.read_channels of an 8 x 10,000,000-sample HDF5 file against h5py
   reading the same datasets, in the same run, the file in the system's
   cache (best of three each): at most 1.2 times h5py's time.

Run:  PYTHONPATH=build/python /usr/bin/python3 bench/python/python_bench.py [SECONDS]
It writes a 640 MB file in a temporary folder (removed at the end).
"""

import os
import sys
import tempfile
import time

import h5py
import numpy

import tavril

FULL_RATE = 1_250_000  # conversions a second, shared by the 8 channels


def bench_stream(seconds):
    board = tavril.Board(device=1)
    total = 0.0
    received = 0
    start_cpu = os.times()
    start = time.monotonic()
    with board.stream(channels=range(8), rate=FULL_RATE, duration=seconds) as run:
        for block in run:
            total += float(block.sum())
            received += block.shape[1]
    wall = time.monotonic() - start
    cpu = os.times()
    used = (cpu.user - start_cpu.user) + (cpu.system - start_cpu.system)
    expected = round(seconds * run.rate)
    print(f"stream: {received} scans of 8 channels received, {expected} expected "
          f"({'none lost' if received == expected else 'LOST ' + str(expected - received)}), "
          f"{wall:.1f} s, CPU {used:.2f} s = {100 * used / wall:.1f} % of one core "
          f"(asked: under 30 %)")


def bench_read(folder):
    path = os.path.join(folder, "eight.h5")
    samples = 10_000_000
    rng = numpy.random.default_rng(1)
    recs = [tavril.Record(rng.standard_normal(samples), rate=1e6, slot=c) for c in range(8)]
    tavril.write(path, recs)
    del recs
    with h5py.File(path) as f:
        names = [f"channels/{name}" for name in f["channels"]]

    def with_h5py():
        with h5py.File(path) as f:
            return [f[name][()] for name in names]

    def with_tavril():
        return tavril.read_channels(path)

    def best(read):
        times = []
        for _ in range(3):
            start = time.perf_counter()
            data = read()
            times.append(time.perf_counter() - start)
            del data
        return min(times)

    with_h5py()  # the file into the cache
    h5py_time, tavril_time = best(with_h5py), best(with_tavril)
    print(f"read_channels: 8 x {samples} samples in {tavril_time:.3f} s, h5py {h5py_time:.3f} s: "
          f"{tavril_time / h5py_time:.2f} x h5py's time (asked: at most 1.2)")


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 60.0
    with tempfile.TemporaryDirectory() as folder:
        os.chdir(folder)  # no TAVRIL.INI: the simulated board
        bench_read(folder)
        bench_stream(seconds)


if __name__ == "__main__":
    main()
