from conftest import captures, fields
from hypothesis import given
from hypothesis import strategies as st

import ulvex


@st.composite
def chunked(draw):
    text = draw(st.booleans())
    data = draw(captures(text))
    cuts = sorted(draw(st.lists(st.integers(0, len(data)), max_size=12)))
    bounds = [0] + cuts + [len(data)]
    return text, data, [data[a:b] for a, b in zip(bounds, bounds[1:])]


def stream(chunks, text, **kwargs):
    reader = ulvex.StreamReader(text=text, **kwargs)
    records = [r for c in chunks for r in reader.feed(c)]
    return reader, records + reader.finish()


@given(chunked())
def test_any_chunking_gives_the_records_of_scan_and_counts_every_byte(case):
    text, data, chunks = case
    reader, got = stream(chunks, text)
    assert [fields(r) + (bytes(r.payload),) for r in got] == [
        fields(r) + (bytes(r.payload),) for r in ulvex.scan(data, text=text)
    ]
    # (the CR LF that ends a text record is not part of its length)
    assert (reader.records, reader.garbage_bytes) == (len(got), len(data) - sum(r.record_len for r in got))


def test_record_with_payload_beyond_the_maximum_is_passed_over():
    capture = ulvex.pack(b"BIG", b"x" * 100) + ulvex.pack(b"OK", b"y" * 10) + b"."
    reader, got = stream([capture], False, max_payload=50)
    assert ([r.name for r in got], reader.rejected) == ([b"OK"], 1)


def test_payloads_are_copies_and_the_chunk_can_be_resized_once_feed_returned():
    chunk = bytearray(ulvex.pack(b"A", b"hello") + b"." + ulvex.pack(b"B", b""))  # B: decided by the next byte
    reader = ulvex.StreamReader()
    (record,) = reader.feed(chunk)
    chunk[12:17] = b"XXXXX"
    chunk.extend(b"more")  # raises BufferError if the reader still held the chunk
    assert (bytes(record.payload), [r.name for r in reader.feed(b".")]) == (b"hello", [b"B"])
