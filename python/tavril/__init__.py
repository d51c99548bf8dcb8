"""TAVRIL from Python: records as numpy arrays, files, measurements and boards.

Files and records::

    rec = tavril.read("essai.tvr")               # a Record
    recs = tavril.read_channels("run.h5")        # every record of a .tvr, .csv, .mat, .h5 or session file
    tavril.write("tout.h5", recs)                # format by extension, whole or nothing
    rec.samples                                  # read-only numpy view of the record's volts (no copy)
    tavril.measure(rec, between=(t1, t2))        # the Mesures values, keys as `tavril-cli measure --json`
    freqs, dbv = tavril.spectrum(rec, window="hann", blocks=16)

Boards (the simulated board is device 1)::

    board = tavril.Board()                       # TAVRIL.INI's device, or Board(device=2)
    recs = board.acquire(channels=range(4), count=10_000, rate=100_000)
    with board.stream(channels=range(8), rate=1_250_000) as run:
        for block in run:                        # (channels x scans) numpy volts, none dropped
            ...
    board.record("run.h5", channels=range(4), rate=100_000, duration=10)
    long = tavril.open_recording("run.h5")
    long.channel(0).between(t0, t1)              # numpy volts of that stretch
    board.acquire(..., generate=[tavril.Sine(output=0, frequency=1234.5, amplitude=2)])
    tavril.bode(board, output=1, stimulus=6, response=7, start=10, stop=10_000, points=30)

Every refusal raises tavril.Error with the French message tavril-cli gives.
Files are read and written, and boards read, with the GIL released; Ctrl+C
stops a run with the outputs at 0 V and raises KeyboardInterrupt.
"""

from ._tavril import (
    Board,
    Dc,
    Error,
    Noise,
    Record,
    RecordedChannel,
    Recording,
    Sawtooth,
    Sine,
    Square,
    Stream,
    Triangle,
    Wave,
    bode,
    measure,
    open_recording,
    read,
    read_channels,
    spectrum,
    write,
)

__all__ = [
    "Board",
    "Dc",
    "Error",
    "Noise",
    "Record",
    "RecordedChannel",
    "Recording",
    "Sawtooth",
    "Sine",
    "Square",
    "Stream",
    "Triangle",
    "Wave",
    "bode",
    "measure",
    "open_recording",
    "read",
    "read_channels",
    "spectrum",
    "write",
]

# help() and repr() name them tavril.X, where scripts find them.
for _name in __all__:
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name
