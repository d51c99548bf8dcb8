"""Shared fixtures: the built tavril-cli, a fresh folder without TAVRIL.INI
(so both sides use the simulated board, device 1) and files made by it."""

import json
import os
import subprocess

import pytest

CLI = os.environ.get("TAVRIL_CLI", "tavril-cli")


def cli(*args, check=True):
    """Runs tavril-cli in the current folder; its completed process."""
    done = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True)
    if check and done.returncode != 0:
        raise AssertionError(done.stderr)
    return done


def cli_json(*args):
    return [json.loads(line) for line in cli(*args, "--json").stdout.splitlines()]


def cli_error(*args):
    """The one line tavril-cli prints for a failure, without its prefix."""
    done = cli(*args, check=False)
    assert done.returncode == 1
    return done.stderr.strip().splitlines()[-1].removeprefix("tavril-cli: ")


@pytest.fixture(autouse=True)
def folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    return tmp_path


@pytest.fixture
def acquired(folder):
    """Channels 0 to 3 of the simulated board as a.tvr files, 5000 points at 50 kHz."""
    cli("acquire", "--channels", "0-3", "--count", 5000, "--rate", 50000, "--out", "a")
    return [folder / f"a{c}.tvr" for c in range(4)]
