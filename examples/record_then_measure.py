#!/usr/bin/python3
"""Records 2 s of channels 0 and 1 into one HDF5 file, then measures a
stretch of the recording and reads a few of its samples by index.

    PYTHONPATH=build/python /usr/bin/python3 examples/record_then_measure.py [FILE.h5]
"""

import sys

import tavril

path = sys.argv[1] if len(sys.argv) > 1 else "essai.h5"
board = tavril.Board()
summary = board.record(path, channels=range(2), rate=100_000, duration=2, overwrite=True)
print(f"{summary['path']} : {summary['samples']} échantillons par voie à {summary['rate']} /s")

long = tavril.open_recording(path)
square = long.channel(1)
stretch = square.record(between=(0.5, 0.6))  # that stretch in memory, as a Record
m = tavril.measure(stretch)
print(f"de 0,5 à 0,6 s : fréquence {m['frequency']:.2f} Hz, rapport cyclique {m['dutyCycle']:.3f}")
print("échantillons 1000 à 1004 :", square[1000:1005])
