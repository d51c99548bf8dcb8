"""The simulated board (device 1) from Python against tavril-cli's runs of it."""

import os
import signal
import subprocess
import sys
import time

import h5py
import numpy
import pytest

import tavril
from conftest import cli, cli_error


def test_acquire_gives_tavril_clis_samples(folder):
    cli("acquire", "--channels", "0-3", "--count", 2000, "--rate", 20000, "--out", "c")
    recs = tavril.Board().acquire(channels=range(4), count=2000, rate=20000)
    assert [r.slot for r in recs] == [0, 1, 2, 3]
    for rec in recs:
        assert numpy.array_equal(rec.samples, tavril.read(f"c{rec.slot}.tvr").samples)
        assert rec.acquired_at_ns // 1000 == int(rec.acquired_at.timestamp() * 1e6 + 0.5)


def test_outputs_play_during_acquire_as_with_tavril_cli(folder):
    cli("acquire", "--channels", "0-7", "--count", 4000, "--rate", 50000, "--out", "g",
        "--generate", "1:square:500:2")
    recs = tavril.Board().acquire(channels=range(8), count=4000, rate=50000,
                                  generate=[tavril.Square(output=1, frequency=500, amplitude=2)])
    # Input 6 reads the square itself; input 7 the test circuit's ringing,
    # whose start varies from run to run with the output's first updates.
    assert numpy.array_equal(recs[6].samples, tavril.read("g6.tvr").samples)
    ringing = tavril.measure(tavril.read("g7.tvr"))["peakToPeak"]
    assert tavril.measure(recs[7])["peakToPeak"] == pytest.approx(ringing, rel=0.1)


@pytest.mark.parametrize("channels, message", [([1, 2], "Voies non valides"),
                                               ([0, 9], "Voies non valides")])
def test_bad_channels_are_refused(folder, channels, message):
    with pytest.raises(tavril.Error, match=message):
        tavril.Board().acquire(channels=channels)


def test_board_errors_carry_the_boards_message(folder):
    with pytest.raises(tavril.Error) as raised:
        tavril.Board().acquire(channels=[0], gain=3)
    assert str(raised.value) == cli_error("acquire", "--channels", 0, "--gain", 3, "--out", "x")


def test_stream_gives_every_sample_of_the_board_in_order(folder):
    """The stream's samples are the finite acquisition's, sample by sample."""
    board = tavril.Board()
    scans = 30000  # at 100,000 scans a second
    with board.stream(channels=range(8), rate=800000, duration=scans / 100000) as run:
        blocks = list(run)
    assert run.channels == list(range(8))
    streamed = numpy.concatenate(blocks, axis=1)
    assert streamed.shape == (8, scans)
    acquired = board.acquire(channels=range(8), count=scans, rate=800000)
    for rec in acquired:
        assert numpy.array_equal(streamed[rec.slot], rec.samples)


def test_slow_consumer_ends_the_stream_with_the_overrun(folder):
    with tavril.Board().stream(channels=[0], rate=100000, queue_blocks=2) as run:
        with pytest.raises(tavril.Error, match="a débordé"):
            for _ in run:
                time.sleep(0.1)


def test_record_writes_what_tavril_cli_record_writes(folder):
    board = tavril.Board()
    summary = board.record("py.h5", channels=range(2), rate=100000, duration=0.2)
    cli("record", "--channels", "0-1", "--rate", 100000, "--duration", 0.2, "--out", "cli.h5",
        "--unpaced")
    assert summary["samples"] == 10000
    long = tavril.open_recording("py.h5")
    with h5py.File("cli.h5") as theirs:
        for slot in (0, 1):
            ours = long.channel(slot)
            whole = tavril.read_channels("cli.h5")[slot].samples
            assert numpy.array_equal(ours[:], whole)
            assert numpy.array_equal(ours[100:250], whole[100:250])
            assert numpy.array_equal(ours.between(0.01, 0.02), whole[500:1001])
    with pytest.raises(tavril.Error, match=r"Le canal 5 n'est pas dans le fichier \(canaux : 0, 1\)"):
        long.channel(5)
    measured = tavril.measure(long.channel(0).record(between=(0.01, 0.1)))
    assert measured["first"] == 0 and measured["count"] == 4501


def test_bode_gives_tavril_clis_points(folder):
    lines = cli("bode", "-o", 1, "--stimulus", 6, "--response", 7, "--from", 100, "--to", 5000,
                "--points", 4, "--csv").stdout.splitlines()[1:]
    expected = numpy.array([[float(v) for v in line.split(",")] for line in lines])
    got = tavril.bode(tavril.Board(), output=1, stimulus=6, response=7, start=100, stop=5000,
                      points=4)
    assert numpy.array_equal(got["frequency"], expected[:, 0])
    assert numpy.allclose(got["gain_db"], expected[:, 1], atol=1e-9)
    assert numpy.allclose(got["phase_deg"], expected[:, 2], atol=1e-9)


PACKAGE_FOLDER = os.path.dirname(os.path.dirname(os.path.abspath(tavril.__file__)))

INTERRUPTED = """
import sys, tavril
board = tavril.Board()
print("prêt", flush=True)
try:
    if sys.argv[1] == "record":
        board.record("long.h5", channels=range(2), rate=50000,
                     generate=[tavril.Dc(output=0, volts=1.5)])
    else:
        with board.stream(channels=range(2), rate=50000,
                          generate=[tavril.Dc(output=0, volts=1.5)]) as run:
            for block in run:
                pass
except KeyboardInterrupt:
    print("interrompu", flush=True)
"""


@pytest.mark.parametrize("what", ["record", "stream"])
def test_ctrl_c_stops_a_run_and_keeps_the_recording(folder, what):
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED, what], stdout=subprocess.PIPE,
                             text=True, env=dict(os.environ, PYTHONPATH=PACKAGE_FOLDER))
    assert child.stdout.readline().strip() == "prêt"
    time.sleep(1.5)
    child.send_signal(signal.SIGINT)
    assert child.communicate(timeout=20)[0].strip() == "interrompu"
    assert child.returncode == 0
    if what == "record":
        assert len(tavril.open_recording("long.h5").channel(1)) > 10000
