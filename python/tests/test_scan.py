import numpy as np
import pytest
from conftest import captures, fields
from hypothesis import given
from hypothesis import strategies as st

import ulvex

COLUMNS = ("offset", "payload_offset", "payload_len", "record_len", "version")


@given(st.booleans(), st.lists(st.tuples(st.binary(max_size=4), st.binary(max_size=64), st.integers(0, 255))))
def test_packed_records_scan_back(text, specs):
    specs = [(n.split(b"\0")[0], p, v) for n, p, v in specs]
    packed = [ulvex.pack(n, p, v, text=text) for n, p, v in specs]
    capture = b"".join(packed) + b"\n" * 31
    # Back to back. The text form writes missing name bytes as spaces, version
    # 14 (its character would be the header's closing '>') as 15, and leaves
    # the closing CR LF out of the record's length.
    pad, pos, want = b" " if text else b"", 0, []
    for (n, p, v), rec in zip(specs, packed):
        version = 15 if text and v == 14 else v
        want.append((pos, pos + (20 if text else 12), len(p), len(rec) - 2 * text, version, n + pad * (4 - len(n)), p))
        pos += len(rec)
    assert [fields(r) + (bytes(r.payload),) for r in ulvex.scan(capture, text=text)] == want


@given(captures(text=False))
def test_columns_match_the_record_objects_and_names_hold_the_four_raw_bytes(data):
    records = ulvex.scan(data)
    assert list(zip(*(getattr(records, c).tolist() for c in COLUMNS))) == [fields(r)[:5] for r in records]
    assert records.name.tobytes() == b"".join(data[r.offset + 2 : r.offset + 6] for r in records)


def test_columns_and_payloads_are_read_only_even_when_empty():
    records = ulvex.scan(bytearray(ulvex.pack(b"AB", b"xyz") + b"."))
    assert records[0].payload.readonly
    for empty_or_not in (records, ulvex.scan(b"no records")):
        with pytest.raises(ValueError):
            empty_or_not.offset[:] = 5


@pytest.mark.parametrize(
    "wrap",
    [bytes, bytearray, memoryview, lambda b: np.frombuffer(b, dtype=np.uint8)],
    ids=["bytes", "bytearray", "memoryview", "numpy"],
)
def test_scan_reads_any_buffer(wrap):
    capture = b"xx" + ulvex.pack(b"TEMP", b"payload", 2) + b"yy"
    assert [(r.offset, bytes(r.payload)) for r in ulvex.scan(wrap(capture))] == [(2, b"payload")]
