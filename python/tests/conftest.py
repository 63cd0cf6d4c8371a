"""Shared helpers: the hostile capture generator (plain and as a hypothesis strategy) and the ulvex tool."""

import os
import random
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


def capture(rng, pieces, text):
    """`pieces` pieces drawn from `rng`: records with entries (names with odd
    bytes, any version) among garbage, damaged, cut, nested and overlapping
    records, headers sharing one far footer, and a header that never ends."""
    pre = 20 if text else 12  # header (text: and its CR LF)

    def pack(name, payload, version=1):
        return ulvex.pack(name, payload, version, text=text)

    def entries():
        return ulvex.entry("n", rng.randrange(-(2**63), 2**63)) + ulvex.entry("s", rng.choice(["a", "\xe9", ""]))

    out = bytearray()
    for _ in range(pieces):
        kind, junk = rng.randrange(7), rng.randbytes(rng.randrange(20)) + b"<h"
        if kind == 0:
            name = rng.choice([b"AB", b"T", b"<h>", b"\x00\x00", rng.randbytes(rng.randrange(5)).split(b"\x00")[0]])
            out += pack(name, entries(), rng.randrange(256)) + junk
        if kind == 1:  # damaged, or cut
            rec = bytearray(pack(b"DMG", entries()))
            rec[rng.randrange(len(rec))] ^= 0x21
            out += rec[: rng.randrange(len(rec) + 1)]
        if kind == 2:  # a valid or damaged record around a valid one
            rec = bytearray(pack(b"OUT", junk + pack(b"IN", entries())))
            rec[-3] ^= rng.randrange(2)
            out += rec
        if kind == 3:  # B starts inside A, ends past it; Y, right after A, lies inside B
            x, y, tail = rng.randbytes(rng.randrange(9)), pack(b"Y", entries()), len(pack(b"A", b"")) - pre
            a = pack(b"A", junk + pack(b"B", bytes(len(x) + tail + len(y)))[:pre] + x)
            pb = x + a[-tail:] + y
            out += a + y + pack(b"B", pb)[pre + len(pb) :]
        if kind == 4:  # many headers, each announcing the payload that ends at one footer
            body, count = junk * 20, 30
            shared = bytearray(pack(b"SHRD", body))
            shared[-4 if text else -3] ^= 1
            out += b"".join(pack(b"SHRD", bytes((count - 1 - i) * pre + len(body)))[:pre] for i in range(count))
            out += shared[pre:]
        if kind == 5:
            out += pack(b"LONG", bytes(1 << 20))[:pre] + junk
        if kind == 6:
            out += junk * rng.randrange(30)
    return bytes(out)


def captures(text):
    """Captures of up to 8 pieces from a drawn seed."""
    def draw(seed, pieces):
        return capture(random.Random(seed), pieces, text)

    return st.builds(draw, st.integers(0, 2**32), st.integers(0, 8))


def tool_path():
    tool = Path(os.environ.get("ULVEX_TOOL", ROOT / "build" / "release" / "tools" / "ulvex"))
    if not tool.is_file():
        pytest.fail("the ulvex tool is needed: build it, or set ULVEX_TOOL (looked for %s)" % tool)
    return tool
