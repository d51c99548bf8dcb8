"""measure and spectrum against tavril-cli measure --json and spectrum --csv."""

import numpy
import pytest

import tavril
from conftest import cli, cli_error, cli_json


@pytest.mark.parametrize("between", [None, (0.01, 0.05), (0.2, 0.3)])
def test_measure_gives_tavril_clis_json(acquired, between):
    for path in acquired:
        args = ["measure", path] + (["--between", *between] if between else [])
        expected = cli_json(*args)[0]
        got = tavril.measure(tavril.read(path), between=between)
        assert got == expected


@pytest.mark.parametrize("window, blocks, size", [("hann", 16, 65536), ("flattop", 4, 1024),
                                                  ("rectangulaire", 8, 256)])
def test_spectrum_gives_tavril_clis_bins(acquired, window, blocks, size):
    lines = cli("spectrum", acquired[0], "--window", window, "--blocks", blocks,
                "--block-size", size, "--csv").stdout.splitlines()
    expected = numpy.array([[float(v) for v in line.split(",")] for line in lines[1:]])
    freqs, dbv = tavril.spectrum(tavril.read(acquired[0]), window=window, blocks=blocks,
                                 block_size=size)
    assert numpy.array_equal(freqs, expected[:, 0])
    assert numpy.array_equal(dbv, expected[:, 1])


def test_spectrum_refusals_say_why(acquired):
    rec = tavril.read(acquired[0])
    with pytest.raises(tavril.Error) as raised:
        tavril.spectrum(rec, window="blackman")
    # The command line's own pointer to --help aside.
    expected = cli_error("spectrum", acquired[0], "--window", "blackman")
    assert str(raised.value) == expected.removesuffix(" (voir « tavril-cli --help »)")
    with pytest.raises(tavril.Error, match="Trop peu d'échantillons"):
        tavril.spectrum(tavril.Record(numpy.zeros(8), rate=10.0))
