import mmap
import os
import subprocess
import sys
import textwrap

import pytest

import ulvex


@pytest.mark.parametrize(
    "value, written",
    [
        (-5, b"k=-5|\r\n"),
        (2**63 - 1, b"k=9223372036854775807|\r\n"),
        (2**64 - 1, b"k=18446744073709551615|\r\n"),  # the unsigned writer
        (-(2**63), b"k=-9223372036854775808|\r\n"),
        (21.5, b"k=21.5|\r\n"),
        (1 / 3, b"k=0.333333333|\r\n"),  # 9 significant digits
        (b"v\xff", b"k=v\xff|\r\n"),
        ("\u00e9", b"k=\xc3\xa9|\r\n"),
    ],
)
def test_entry_writes_each_type_with_its_writer(value, written):
    assert ulvex.entry(b"k", value) == written


def test_entries_reads_every_entry_and_the_last_value_of_a_key_wins():
    payload = ulvex.entry("a", 1) + ulvex.entry("b", "x") + ulvex.entry("a", 2)
    assert ulvex.entries(payload) == {b"a": b"2", b"b": b"x"}


def test_str_name_is_encoded_as_utf8():
    assert ulvex.pack("\u00e9", b"") == ulvex.pack(b"\xc3\xa9", b"")


@pytest.mark.parametrize(
    "call",
    [
        lambda: ulvex.scan("text is not a buffer"),
        lambda: ulvex.scan(None),
        lambda: ulvex.pack(5, b""),
        lambda: ulvex.pack(b"A", "not a buffer"),
        lambda: ulvex.pack(b"A", b"", "1"),
        lambda: ulvex.entries([1, 2]),
        lambda: ulvex.entry(b"k", [1]),
        lambda: ulvex.entry(None, 1),
        lambda: ulvex.StreamReader().feed("not a buffer"),
        lambda: ulvex.StreamReader(max_payload=1.5),
    ],
)
def test_wrong_types_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


@pytest.mark.parametrize(
    "call",
    [
        lambda: ulvex.pack(b"TOOLONG", b""),
        lambda: ulvex.pack("\u00e9\u00e9\u00e9", b""),  # 6 bytes in UTF-8
        lambda: ulvex.pack(b"A\0B", b""),  # a NUL would cut the name short
        lambda: ulvex.pack(b"A", b"", 256),
        lambda: ulvex.pack(b"A", b"", -1),
        lambda: ulvex.pack(b"A", b"", 2**70),
        lambda: ulvex.scan(b"", threads=-1),
        lambda: ulvex.scan(b"", threads=100000),
        lambda: ulvex.StreamReader(max_payload=-1),
    ],
)
def test_bad_values_raise_value_error(call):
    with pytest.raises(ValueError):
        call()


@pytest.mark.parametrize("text, frame", [(False, 20), (True, 34)])
def test_payload_the_format_cannot_hold_raises_overflow_error(text, frame):
    # An untouched anonymous map costs address space only.
    with mmap.mmap(-1, 2**32 - frame) as payload:
        with pytest.raises(OverflowError):
            ulvex.pack(b"A", payload, text=text)


def test_entries_of_a_payload_beyond_32_bits_raise_overflow_error():
    with mmap.mmap(-1, 2**32) as payload:
        with pytest.raises(OverflowError):
            ulvex.entries(payload)


@pytest.mark.parametrize("value", [2**64, -(2**63) - 1])
def test_int_beyond_64_bits_raises_overflow_error(value):
    with pytest.raises(OverflowError):
        ulvex.entry(b"k", value)


def run_with_little_memory(code):
    """Runs `code` in a fresh interpreter allowed 64 MiB more address space
    than it has after setting up; returns its standard output."""
    prelude = textwrap.dedent(
        """
        import mmap, resource, ulvex
        def limit():
            with open("/proc/self/statm") as f:
                used = int(f.read().split()[0]) * mmap.PAGESIZE
            resource.setrlimit(resource.RLIMIT_AS, (used + 64 * 2**20, resource.RLIM_INFINITY))
        """
    )
    # (run from the tests' directory, where no source tree shadows the installed package)
    done = subprocess.run(
        [sys.executable, "-c", prelude + textwrap.dedent(code)],
        capture_output=True,
        text=True,
        cwd=os.path.dirname(os.path.abspath(__file__)),
    )
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_pack_out_of_memory_raises_memory_error():
    out = run_with_little_memory(
        """
        payload = mmap.mmap(-1, 2**30)
        limit()
        try:
            ulvex.pack(b"A", payload)
        except MemoryError:
            print("MemoryError")
        """
    )
    assert out == "MemoryError\n"


def test_scan_out_of_memory_raises_memory_error():
    out = run_with_little_memory(
        """
        capture = ulvex.pack(b"A", b"") * (2**27 // 20)  # 6.7 million records of 32 bytes each
        limit()
        try:
            ulvex.scan(capture)
        except MemoryError:
            print("MemoryError")
        """
    )
    assert out == "MemoryError\n"
