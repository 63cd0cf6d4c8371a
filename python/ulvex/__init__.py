"""Tag records in byte buffers, found at native speed.

``scan`` lists every record of a buffer (bytes, bytearray, memoryview, mmap,
numpy array) without copying it, as numpy columns and ``Record`` objects
whose payloads are zero-copy views. ``pack`` and ``entry`` write records and
payload entries, ``entries`` reads a payload's entries, and ``StreamReader``
finds records in a stream that arrives in chunks. ``Records`` can be sliced
and filtered with numpy masks, and ``Records.table()`` and
``Records.to_pandas()`` read the entries of all records into typed columns.
``scan_range`` and ``join_range`` read byte ranges apart and join them
exactly (``ulvex.dask`` builds Dask DataFrames of capture archives on them).

    >>> import ulvex
    >>> capture = ulvex.pack(b"TEMP", ulvex.entry(b"temp", 21.5), 1) + b"garbage"
    >>> records = ulvex.scan(capture)
    >>> records[0].name, records[0].version, ulvex.entries(records[0].payload)
    (b'TEMP', 1, {b'temp': b'21.5'})
"""

from ._ulvex import (
    Record,
    Records,
    StreamReader,
    __version__,
    entries,
    entry,
    join_range,
    pack,
    scan,
    scan_range,
)
from . import _table  # noqa: F401  (adds Records.table and Records.to_pandas)

__all__ = [
    "Record",
    "Records",
    "StreamReader",
    "__version__",
    "entries",
    "entry",
    "join_range",
    "pack",
    "scan",
    "scan_range",
]
