"""Records selection, table(), to_pandas() and `ulvex table` against ulvex.entries per record."""

import csv
import io
import math
import re
import subprocess
import tempfile

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

import ulvex
from conftest import tool_path

_INT = re.compile(rb"-?[0-9]+|0x[0-9a-fA-F]+")
_FLOAT = re.compile(rb"-?(([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?|inf|nan)")


def number(v):
    """The reference reading: an int, a float, or None for no number."""
    if _INT.fullmatch(v):
        return int(v, 16 if v.startswith(b"0x") else 10)
    return float(v) if _FLOAT.fullmatch(v) else None


def fits(kind, x):
    if kind == "int64":
        return type(x) is int and -(2**63) <= x < 2**63
    if kind == "uint64":
        return type(x) is int and 0 <= x < 2**64
    return x is not None


def plain(column):
    """The values of a column as a list: None where missing, "nan" for NaN."""
    missing = np.ma.getmaskarray(column).tolist()
    values = [None if m else x for x, m in zip(np.ma.getdata(column).tolist(), missing)]
    return [x if not (isinstance(x, float) and math.isnan(x)) else "nan" for x in values]


_values = st.one_of(
    st.integers(-(2**64), 2**65).map(str).map(str.encode),
    st.floats(allow_nan=True).map(lambda f: ulvex.entry(b"", f)[1:-3]),
    st.integers(0, 2**32 - 1).map(lambda i: b"0x%08x" % i),
    st.sampled_from([b"1e", b"+1", b" 1", b"0x", b"-nan", b"1e400", b"\xff\xfe", b"\xe2\x82\xac", b"a\x00b", b"a|b"]),
    st.binary(max_size=6),
)
_entries = st.lists(st.tuples(st.sampled_from([b"a", b"b", b"offset", b"\xff"]), _values), max_size=5)


@given(st.lists(st.tuples(_entries, st.binary(max_size=3)), max_size=12), st.sampled_from(
    ["auto", "int64", "uint64", "float64", "str", "bytes"]))
def test_table_equals_entries_of_each_record_read_by_the_rules(recs, kind):
    capture = b"".join(ulvex.pack(b"T", b"".join(k + b"=" + v + b"|\r\n" for k, v in es)) + g for es, g in recs)
    records = ulvex.scan(capture)
    maps = [ulvex.entries(r.payload) for r in records]
    table = records.table(types=kind)
    guess, ulvex._table._GUESS = ulvex._table._GUESS, 1  # keys beyond the first record's are found afterwards
    try:
        again = records.table(types=kind, threads=3)
    finally:
        ulvex._table._GUESS = guess
    assert {k: plain(v) for k, v in table.items()} == {k: plain(v) for k, v in again.items()}
    assert list(table)[:4] == ["offset", "name", "version", "payload_len"]
    keys = list(dict.fromkeys(k for es, _ in recs for k, _ in es if any(k in m for m in maps)))
    for key in keys:
        name = key.decode("utf-8", "surrogateescape")
        column = table["entry." + name if name == "offset" else name]
        values = [m.get(key) for m in maps]
        numbers = [number(v) if v is not None else None for v in values]
        col_kind = kind
        if kind == "auto":
            present = [x for v, x in zip(values, numbers) if v is not None]
            col_kind = next((t for t in ("int64", "uint64", "float64") if all(fits(t, x) for x in present)), "str")
        for v, x, got in zip(values, numbers, plain(column)):
            if col_kind == "str":
                assert got == (None if v is None else v.decode("utf-8", "surrogateescape"))
            elif col_kind == "bytes":
                assert got == v
            elif v is None or not fits(col_kind, x):
                assert got is None
            elif isinstance(x, float) and math.isnan(x):
                assert got == "nan"
            else:
                assert got == (float(x) if col_kind == "float64" else x)


def test_records_select_by_index_slice_mask_and_indexes_on_the_same_buffer():
    capture = bytearray(b"".join(ulvex.pack(n, ulvex.entry(b"i", i)) for i, n in enumerate([b"A", b"B", b"A", b"C"])))
    recs = ulvex.scan(capture)
    assert recs[recs.name == b"A"].offset.tolist() == [recs[0].offset, recs[2].offset]
    assert recs[::-2].offset.tolist() == [recs[3].offset, recs[1].offset]
    assert recs[np.array([-1, 0])].offset.tolist() == [recs[3].offset, recs[0].offset] == [recs[-1].offset, 0]
    picked = recs[[True, False, True, True]]
    capture[recs[2].payload_offset] = ord("j")  # the selection reads the same bytes
    assert bytes(picked[1].payload) == b"j=2|\r\n"
    for bad, error in [(4, IndexError), (-(2**70), IndexError), (np.ones(3, bool), IndexError), ([4], IndexError),
                       (np.array([1.0]), TypeError)]:
        with pytest.raises(error):
            recs[bad]


def test_errors_raise_names_key_offset_and_value_and_to_pandas_keeps_nan():
    capture = ulvex.pack(b"A", ulvex.entry(b"t", 1.5) + ulvex.entry(b"n", "x")) + ulvex.pack(b"A", ulvex.entry(b"t", float("nan")))
    recs = ulvex.scan(capture)
    with pytest.raises(ValueError, match=r"b'n'.*b'x'.*offset 0"):
        recs.table(types={"n": "int64"}, errors="raise")
    df = recs.to_pandas(["t", "n", "none"], types={"n": "float64"})
    assert str(df["t"].dtype) == "Float64" and math.isnan(df["t"].to_numpy(dtype=float, na_value=0)[1])
    assert df["n"].isna().tolist() == [True, True] and df["none"].tolist() == [None, None]


def test_tool_table_read_by_csv_equals_table():
    # A CR LF inside the second value ends it early: the rest becomes a key holding CR LF.
    capture = b"".join(ulvex.pack(b"T", ulvex.entry(b"k", v) + ulvex.entry(b"s", s)) + b"x"
                       for v, s in [(1, b'a,"b"\r\nz=1'), (-2, b"\\\xff\xe2\x82\xac"), (3, b"")])
    with tempfile.NamedTemporaryFile(suffix=".bin") as f:
        f.write(capture)
        f.flush()
        out = subprocess.run([str(tool_path()), "table", f.name], check=True, capture_output=True).stdout
    rows = list(csv.reader(io.StringIO(out.decode("utf-8"), newline="")))
    table = ulvex.scan(capture).table(types="str")

    def shown(s):
        if s is None:
            return ""
        return "".join("\\x%02x" % (ord(c) & 0xFF) if c == "\\" or 0xDC80 <= ord(c) <= 0xDCFF else c for c in s)

    assert rows[0] == ["offset", "name", "version", "payload_length"] + [shown(k) for k in list(table)[4:]]
    assert len(rows[0]) == 7
    expected = [[str(o), n, str(v), str(p)] + [shown(table[k][i]) for k in list(table)[4:]]
                for i, (o, n, v, p) in enumerate(zip(*(table[k].tolist() for k in list(table)[:4])))]
    assert rows[1:] == expected
