import gc
import threading
import time
import weakref

import numpy as np
import pytest

import ulvex

CAPTURE = b"xx" + ulvex.pack(b"TEMP", b"payload", 1) + b"yy"


@pytest.mark.parametrize(
    "hold", [lambda d: ulvex.scan(d)[0].payload, ulvex.scan], ids=["payload view", "records"]
)
def test_bytearray_cannot_be_resized_while_held_and_can_once_released(hold):
    data = bytearray(CAPTURE)
    held = hold(data)
    with pytest.raises(BufferError):
        data.extend(b"z")
    del held
    data.clear()
    assert data == b""


def test_payload_view_keeps_its_buffer_alive():
    data = np.frombuffer(CAPTURE, dtype=np.uint8).copy()
    alive = weakref.ref(data)
    payload = ulvex.scan(data)[0].payload
    del data
    gc.collect()
    assert (alive() is not None, bytes(payload)) == (True, b"payload")


def test_scan_releases_the_gil():
    # While one thread scans, another keeps taking timestamps; with the GIL
    # held by the scan it could take none, leaving a gap as long as the scan.
    record = ulvex.pack(b"DATA", bytes(range(32)), 1)
    data = record * (8 * 2**20 // len(record))
    for _attempt in range(5):
        stamps, stop = [], threading.Event()

        def tick():
            while not stop.is_set():
                stamps.append(time.perf_counter())

        ticker = threading.Thread(target=tick)
        ticker.start()
        time.sleep(0.01)
        start = time.perf_counter()
        ulvex.scan(data)
        end = time.perf_counter()
        stop.set()
        ticker.join()
        inside = [start] + [t for t in stamps if start < t < end] + [end]
        if max(b - a for a, b in zip(inside, inside[1:])) < 0.5 * (end - start):
            return
    pytest.fail("no other thread ran while scan ran")
