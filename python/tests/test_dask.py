"""read_captures lists what whole-file scans list, for every blocksize, on Dask's
default scheduler and on a real cluster of worker processes."""

import os
import random
import re
import subprocess
import sys

import pandas as pd
import pytest
from conftest import capture

import ulvex

pytest.importorskip("dask.distributed")
import ulvex.dask  # noqa: E402

KEYS = {"n": "int64", "s": "str"}


@pytest.fixture(scope="module")
def archive(tmp_path_factory):
    rng, root = random.Random(5), tmp_path_factory.mktemp("archive")
    sizes = [0, 0] + [rng.randrange(1, 12) for _ in range(25)] + [400, 700]
    for text in (False, True):
        folder = root / ("text" if text else "binary")
        folder.mkdir()
        for i, pieces in enumerate(sizes):
            (folder / f"seg{i:03}.cap").write_bytes(capture(rng, pieces, text))
    return root


def whole_file_rows(folder, text):
    rows = []
    for path in sorted(str(p) for p in folder.iterdir()):
        for r in ulvex.scan(open(path, "rb").read(), text=text):
            e = ulvex.entries(r.payload)
            n = int(e[b"n"]) if re.fullmatch(rb"-?[0-9]+", e.get(b"n", b"")) else None
            s = e[b"s"].decode("utf-8", "surrogateescape") if b"s" in e else None
            rows.append((path, r.offset, r.name.decode("utf-8", "surrogateescape"), r.version, r.payload_len, n, s))
    return rows


def computed_rows(frame):
    return [tuple(None if v is pd.NA else v for v in row) for row in frame.compute().itertuples(index=False)]


@pytest.mark.parametrize("text", [False, True], ids=["binary", "text"])
def test_every_blocksize_lists_the_whole_file_scans(archive, text):
    folder = archive / ("text" if text else "binary")
    want = whole_file_rows(folder, text)
    for blocksize in (1024, 1500, 4096, "256MiB"):
        frame = ulvex.dask.read_captures(str(folder), text=text, keys=KEYS, blocksize=blocksize)
        assert computed_rows(frame) == want, blocksize


def test_a_cluster_of_worker_processes_lists_the_same_and_names_a_shrunk_file(archive, tmp_path):
    from dask.distributed import Client, LocalCluster

    folder = archive / "binary"
    victim = tmp_path / "victim.cap"
    victim.write_bytes((folder / "seg028.cap").read_bytes())
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True) as cluster, Client(cluster):
        frame = ulvex.dask.read_captures(str(folder / "*.cap"), keys=KEYS, blocksize=1024)
        assert computed_rows(frame) == whole_file_rows(folder, False)
        shrunk = ulvex.dask.read_captures([victim], blocksize=1024)
        os.truncate(victim, 100)
        with pytest.raises(ulvex.dask.FileChangedError, match=str(victim)):
            shrunk.compute()


@pytest.mark.parametrize("given", ["missing.cap", "*.none", "empty-dir"])
def test_paths_without_files_are_named_at_call_time(tmp_path, given):
    (tmp_path / "empty-dir").mkdir()
    with pytest.raises(FileNotFoundError, match=re.escape(str(tmp_path / given))):
        ulvex.dask.read_captures(str(tmp_path / given))


def test_importing_without_dask_says_what_to_install():
    code = "import sys; sys.modules['dask'] = None; import ulvex; import ulvex.dask"
    err = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, cwd="/").stderr
    assert "ImportError" in err and "python3-dask python3-distributed" in err
