"""Records and files against what tavril-cli reads and writes."""

import pathlib

import h5py
import numpy
import pytest

import tavril
from conftest import cli, cli_error, cli_json

TESTS = pathlib.Path(__file__).resolve().parent.parent


def test_samples_share_the_records_memory_read_only(acquired):
    rec = tavril.read(acquired[0])
    first, second = rec.samples, rec.samples
    assert numpy.shares_memory(first, second)
    assert not first.flags.writeable
    del rec  # the array keeps the record alive
    assert first.sum() == second.sum()


def test_read_gives_what_tavril_cli_info_gives(acquired):
    rec = tavril.read(acquired[1])
    info = cli_json("info", acquired[1])[0]
    assert (rec.title, len(rec), rec.rate, rec.chan, rec.gain) == (
        info["title"], info["count"], info["rate"], info["chan"], info["gain"])
    assert rec.statistics["maxValue"] == info["maxValue"]
    assert rec.times[10] == pytest.approx(10 / rec.rate)


@pytest.mark.parametrize("extension", [".h5", ".csv", ".mat"])
def test_write_gives_the_file_tavril_cli_convert_writes(acquired, extension):
    recs = [tavril.read(path) for path in acquired]
    assert tavril.write("py" + extension, recs) == ["py" + extension]
    cli("convert", *acquired, "cli" + extension)
    ours, theirs = tavril.read_channels("py" + extension), tavril.read_channels("cli" + extension)
    assert [r.slot for r in ours] == [0, 1, 2, 3]
    for a, b in zip(ours, theirs):
        assert numpy.array_equal(a.samples, b.samples)
        assert (a.rate, a.title, a.slot) == (b.rate, b.title, b.slot)


def test_tvr_written_byte_for_byte_as_tavril_cli(acquired):
    recs = [tavril.read(p) for p in acquired]
    paths = tavril.write("o.tvr", recs)
    cli("convert", *acquired, "c.tvr")
    assert paths == [f"o{c}.tvr" for c in range(4)]
    for c in range(4):
        assert open(f"o{c}.tvr", "rb").read() == open(f"c{c}.tvr", "rb").read()


def test_h5_read_as_h5py_reads_it(acquired):
    cli("convert", *acquired, "all.h5")
    recs = tavril.read_channels("all.h5")
    with h5py.File("all.h5") as f:
        names = sorted(f["channels"])
        for rec, name in zip(recs, names):
            assert numpy.array_equal(rec.samples, f["channels"][name][()])


def test_records_made_in_python_round_trip(folder):
    rec = tavril.Record(numpy.sin(numpy.arange(1000) / 10), rate=1000.0, title="Sinus é")
    tavril.write("s.tvr", rec)
    back = tavril.read("s.tvr")
    assert back.title == "Sinus é" and back.rate == 1000.0
    assert numpy.allclose(back.samples, rec.samples)


@pytest.mark.parametrize(
    "python_call, cli_args",
    [
        (lambda: tavril.read("absent.tvr"), ("info", "absent.tvr")),
        (lambda: tavril.read_channels("absent.h5"), ("info", "absent.h5")),
        (lambda: tavril.read(TESTS / "data/cli/damaged.tvr"),
         ("info", TESTS / "data/cli/damaged.tvr")),
        (lambda: tavril.read_channels(TESTS / "fuzz/corpus/session_file/truncated_half"),
         ("info", TESTS / "fuzz/corpus/session_file/truncated_half")),
    ],
)
def test_refusals_carry_tavril_clis_message(folder, python_call, cli_args):
    with pytest.raises(tavril.Error) as raised:
        python_call()
    assert str(raised.value) == cli_error(*cli_args)


def test_existing_file_is_kept_without_overwrite(acquired):
    rec = tavril.read(acquired[0])
    before = acquired[1].read_bytes()
    with pytest.raises(tavril.Error, match="existe déjà"):
        tavril.write(acquired[1], rec)
    assert acquired[1].read_bytes() == before
    tavril.write(acquired[1], rec, overwrite=True)
    assert acquired[1].read_bytes() == acquired[0].read_bytes()


def test_unknown_extension_is_refused_with_tavril_clis_message(acquired):
    with pytest.raises(tavril.Error) as raised:
        tavril.write("x.dat", tavril.read(acquired[0]))
    assert str(raised.value) == cli_error("convert", acquired[0], "x.dat")


def test_a_session_files_records_that_hold_samples(folder):
    path = TESTS / "fuzz/corpus/session_file/valid_small"
    recs = tavril.read_channels(path)
    assert [r.slot for r in recs] == [0, 3, 7]
    with h5py.File(path) as f:
        for rec in recs:
            assert numpy.array_equal(rec.samples, f[f"channels/channel_{rec.slot}"][()],
                                     equal_nan=True)
