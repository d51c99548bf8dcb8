#!/usr/bin/python3
"""Acquires channels 0 to 3 of the board TAVRIL.INI names (the simulated
board without one) and plots them; without matplotlib, prints what each
channel measures instead.

    PYTHONPATH=build/python /usr/bin/python3 examples/acquire_and_plot.py [PICTURE.png]
"""

import sys

import tavril

board = tavril.Board()
print(board.description)
records = board.acquire(channels=range(4), count=5000, rate=50_000)
for rec in records:
    m = tavril.measure(rec)  # None where a record has no frequency (a DC level)
    frequency = "—" if m["frequency"] is None else f"{m['frequency']:.1f} Hz"
    print(f"voie {rec.slot} : {m['rms']:.3f} V efficace, fréquence {frequency}")

try:
    import matplotlib

    matplotlib.use("Agg" if len(sys.argv) > 1 else matplotlib.get_backend())
    import matplotlib.pyplot as plt
except ImportError:
    sys.exit("matplotlib manque (apt-get install python3-matplotlib) : pas de graphe")

for rec in records:
    plt.plot(rec.times * 1e3, rec.samples, label=f"voie {rec.slot}")
plt.xlabel("temps (ms)")
plt.ylabel("V")
plt.legend()
if len(sys.argv) > 1:
    plt.savefig(sys.argv[1])
else:
    plt.show()
