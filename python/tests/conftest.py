"""Shared helpers: hostile capture generators and the ulvex tool."""

import os
from pathlib import Path

import pytest
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st

import ulvex

ROOT = Path(__file__).resolve().parents[2]

settings.register_profile(
    "ulvex", max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow]
)
settings.load_profile("ulvex")


def fields(record):
    """Everything a record reports except its payload."""
    return (record.offset, record.payload_offset, record.payload_len, record.record_len, record.version, record.name)


# Garbage rich in the bytes that start and end records, so candidates abound.
_marker_bytes = st.binary(max_size=24) | st.lists(
    st.sampled_from([b"<", b"h", b">", b"<h", b"\x00", b"\r\n", b"A", b"0", b" ", b"9"]), max_size=24
).map(b"".join)
_names = st.binary(max_size=4) | st.sampled_from([b"TEMP", b"A", b"<h>", b"\x00\x00"])


@st.composite
def records(draw, text, depth=2):
    """One valid record; with `depth`, its payload may hold further records."""
    name = draw(_names.filter(lambda n: b"\x00" not in n.rstrip(b"\x00")))
    if depth > 0 and draw(st.booleans()):
        payload = draw(captures(text, depth - 1, max_pieces=3))
    else:
        payload = draw(st.binary(max_size=40) | _marker_bytes)
    return ulvex.pack(name, payload, draw(st.integers(0, 255)), text=text)


@st.composite
def damaged(draw, text):
    """A record with one byte changed or its tail cut off."""
    rec = bytearray(draw(records(text, depth=1)))
    if draw(st.booleans()):
        i = draw(st.integers(0, len(rec) - 1))
        rec[i] = (rec[i] + draw(st.integers(1, 255))) % 256
        return bytes(rec)
    return bytes(rec[: draw(st.integers(0, len(rec) - 1))])


@st.composite
def captures(draw, text, depth=2, max_pieces=8):
    """Garbage, records, damaged records and nested records, end to end."""
    pieces = st.one_of(_marker_bytes, records(text, depth), damaged(text))
    return b"".join(draw(st.lists(pieces, max_size=max_pieces)))


def tool_path():
    tool = Path(os.environ.get("ULVEX_TOOL", ROOT / "build" / "release" / "tools" / "ulvex"))
    if not tool.is_file():
        pytest.fail("the ulvex tool is needed: build it, or set ULVEX_TOOL (looked for %s)" % tool)
    return tool
