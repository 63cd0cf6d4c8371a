"""Capture archives as Dask DataFrames, exact across byte ranges.

    >>> import ulvex.dask
    >>> frame = ulvex.dask.read_captures("captures/", keys={"temp": "float64"})
    >>> frame.groupby("name").temp.mean().compute()

Every file longer than `blocksize` is cut into byte ranges read by separate
tasks, and the rows are exactly those of one whole-file ``ulvex.scan`` of
each file. Each range is first scanned on its own from its first byte
(``ulvex.scan_range``); then, in file order, a small task enters range i + 1
where the whole-file path leaves range i and keeps the range's own records
from the point where the two paths meet, rescanning only up to there
(``ulvex.join_range``). Nothing is guessed.

Tasks carry only paths, numbers and names: each opens and maps its own file,
checks that it is still the file the graph was built on (size, modification
time, inode), and reads its range plus the bytes that complete or reject the
records starting in it.
"""

import errno
import glob
import mmap
import os

try:
    import dask
    import dask.dataframe as dd
    import pandas as pd
    from dask.utils import parse_bytes
except ImportError as error:  # pragma: no cover - depends on the installation
    raise ImportError(
        "ulvex.dask needs Dask and pandas: install them (Debian: apt install python3-dask "
        "python3-distributed python3-pandas)"
    ) from error

import ulvex

__all__ = ["read_captures", "FileChangedError"]

_TYPES = {"int64": "Int64", "uint64": "UInt64", "float64": "Float64", "str": object, "bytes": object}
_RECORD_COLUMNS = {"file": object, "offset": "uint64", "name": object, "version": "uint8", "payload_len": "uint32"}


class FileChangedError(RuntimeError):
    """A file changed (size, modification time or inode) after the graph was built."""


def read_captures(paths, *, text=False, keys=None, blocksize="256MiB", threads=1):
    """A Dask DataFrame of the records of capture files, in file then offset order.

    `paths`: a glob pattern, a directory (its files, sorted by name) or a list
    of paths. Columns: file, offset, name, version, payload_len, then one per
    key of `keys`: a dict key -> "int64", "uint64", "float64", "str" or
    "bytes", or a list of keys read as "str" (a key named like a record column
    becomes "entry.<key>"; a missing or unparsable value is missing). `text`
    reads the text record form; `blocksize` (bytes or a string such as
    "64MiB") is the longest byte range one task reads; `threads` is the
    threads a task reads entries with (and scans with, when it reads a whole
    file). Entry values follow Records.table: a number must be written as the
    library's writers write numbers.

    Raises FileNotFoundError naming a path that does not exist, a glob that
    matches nothing or a directory without files. Computing raises
    FileChangedError naming a file that changed since this call.
    """
    files = _expand(paths)
    size = parse_bytes(blocksize) if isinstance(blocksize, str) else int(blocksize)
    if size < 1:
        raise ValueError("blocksize must be at least 1 byte")
    columns = _columns(keys)
    meta = _empty(columns)
    parts = []
    for path in files:
        st = os.stat(path)
        spec = (path, st.st_size, st.st_mtime_ns, st.st_ino, bool(text), columns, int(threads))
        parts.extend(_file_parts(spec, size))
    return dd.from_delayed(parts, meta=meta, verify_meta=False)


def _expand(paths):
    if isinstance(paths, (str, os.PathLike)):
        paths = [paths]
    files = []
    for given in paths:
        path = os.fspath(given)
        if os.path.isdir(path):
            found = [os.path.join(path, n) for n in sorted(os.listdir(path))]
            found = [f for f in found if os.path.isfile(f)]
        elif glob.has_magic(path):
            found = sorted(glob.glob(path))
        else:
            found = [path] if os.path.exists(path) else []
        if not found:
            raise FileNotFoundError(errno.ENOENT, "no capture file found", path)
        files.extend(found)
    return files


def _columns(keys):
    """((column, key bytes, type), ...) for the entry columns."""
    if keys is None:
        return ()
    if not isinstance(keys, dict):
        keys = {k: "str" for k in keys}
    out = []
    for key, kind in keys.items():
        if kind not in _TYPES:
            raise ValueError(f"type of key {key!r} must be one of {', '.join(_TYPES)}, not {kind!r}")
        name = key.decode("utf-8", "surrogateescape") if isinstance(key, bytes) else str(key)
        raw = key if isinstance(key, bytes) else name.encode("utf-8", "surrogateescape")
        out.append(("entry." + name if name in _RECORD_COLUMNS else name, raw, kind))
    return tuple(out)


def _empty(columns):
    data = {c: pd.Series([], dtype=t) for c, t in _RECORD_COLUMNS.items()}
    data.update({c: pd.Series([], dtype=_TYPES[t]) for c, _, t in columns})
    return pd.DataFrame(data)


def _file_parts(spec, size):
    """The delayed partitions of one file: its ranges joined in order."""
    length = spec[1]
    if length <= size:
        return [dask.delayed(_read_whole, pure=True)(spec)]
    parts, exit_ = [], None
    for begin in range(0, length, size):
        local = dask.delayed(_scan_local, pure=True)(spec, begin, min(begin + size, length))
        if exit_ is None:  # the first range is entered at its first byte
            part, exit_ = local[0], local[1]
        else:
            part, exit_ = dask.delayed(_join, pure=True, nout=2)(spec, local, exit_)
        parts.append(part)
    return parts


class _Mapped:
    """A file checked against its description and mapped for reading."""

    def __init__(self, spec):
        path, size, mtime, inode = spec[:4]
        with open(path, "rb") as f:
            st = os.fstat(f.fileno())
            if (st.st_size, st.st_mtime_ns, st.st_ino) != (size, mtime, inode):
                raise FileChangedError(f"{path}: the file changed after read_captures was called")
            self.map = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) if size else b""

    def __enter__(self):
        return self.map

    def __exit__(self, *exc):
        if isinstance(self.map, mmap.mmap):
            try:
                self.map.close()
            except BufferError:  # a view still exported: closed when collected
                pass


def _read_whole(spec):
    with _Mapped(spec) as data:
        return _frame(spec, ulvex.scan(data, text=spec[4], threads=spec[6]))


def _scan_local(spec, begin, end):
    """A range's own records, from its first byte: (frame, exit, begin, end, offsets, lengths)."""
    with _Mapped(spec) as data:
        records, exit_ = ulvex.scan_range(data, begin, end, text=spec[4])
        frame = _frame(spec, records)
        local = (frame, exit_, begin, end, records.offset.copy(), records.record_len.copy())
        del records
    return local


def _join(spec, local, entry):
    """The range's records on the whole-file path that enters it at `entry`, and the path's exit."""
    frame, exit_, begin, end, offsets, lengths = local
    if entry == begin:
        return frame, exit_
    with _Mapped(spec) as data:
        head, start, exit_ = ulvex.join_range(data, begin, end, entry, offsets, lengths, text=spec[4])
        first = _frame(spec, head)
        del head
    return pd.concat([first, frame.iloc[start:]], ignore_index=True), exit_


def _frame(spec, records):
    """The rows of `records` of file `spec`, with the dtypes of the meta frame."""
    columns = spec[5]
    if len(records) == 0:  # Records.to_pandas refuses str and bytes keys over no records
        return _empty(columns)
    keys = [key for _, key, _ in columns]
    frame = records.to_pandas(keys, types={key: kind for _, key, kind in columns}, threads=spec[6])
    frame.columns = [c for c in _RECORD_COLUMNS if c != "file"] + [c for c, _, _ in columns]
    frame.insert(0, "file", spec[0])
    # The columns are the reader's own arrays: no row keeps the mapped file.
    return frame.astype(_empty(columns).dtypes.to_dict(), copy=False)
