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
        lambda: ulvex.pack(5, b""),
        lambda: ulvex.entry(b"k", [1]),
        lambda: ulvex.StreamReader().feed("not a buffer"),
    ],
)
def test_wrong_types_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


@pytest.mark.parametrize(
    "call",
    [
        lambda: ulvex.pack(b"TOOLONG", b""),
        lambda: ulvex.pack(b"A\0B", b""),  # a NUL would cut the name short
        lambda: ulvex.pack(b"A", b"", 256),
        lambda: ulvex.scan(b"", threads=-1),
        lambda: ulvex.StreamReader(max_payload=-1),
    ],
)
def test_bad_values_raise_value_error(call):
    with pytest.raises(ValueError):
        call()


@pytest.mark.parametrize(
    "size, call",
    [
        (2**32 - 20, lambda p: ulvex.pack(b"A", p)),
        (2**32 - 34, lambda p: ulvex.pack(b"A", p, text=True)),
        (2**32, ulvex.entries),
    ],
    ids=["binary", "text", "entries"],
)
def test_buffer_the_format_cannot_hold_raises_overflow_error(size, call):
    # An untouched anonymous map costs address space only.
    with mmap.mmap(-1, size) as payload, pytest.raises(OverflowError):
        call(payload)


@pytest.mark.parametrize("value", [2**64, -(2**63) - 1])
def test_int_beyond_64_bits_raises_overflow_error(value):
    with pytest.raises(OverflowError):
        ulvex.entry(b"k", value)


@pytest.mark.parametrize(
    "setup, call",
    [
        ("data = mmap.mmap(-1, 2**30)", "ulvex.pack(b'A', data)"),
        ("data = ulvex.pack(b'A', b'') * (2**27 // 20)", "ulvex.scan(data)"),  # 6.7 million records
    ],
    ids=["pack", "scan"],
)
def test_out_of_memory_raises_memory_error(setup, call):
    # A fresh interpreter, allowed 64 MiB more address space than it has once
    # set up (run from the tests' directory, where no source tree shadows the
    # installed package).
    code = textwrap.dedent(
        """
        import mmap, resource, ulvex
        %s
        with open("/proc/self/statm") as f:
            used = int(f.read().split()[0]) * mmap.PAGESIZE
        resource.setrlimit(resource.RLIMIT_AS, (used + 64 * 2**20, resource.RLIM_INFINITY))
        try:
            %s
        except MemoryError:
            print("MemoryError")
        """
    ) % (setup, call)
    here = os.path.dirname(os.path.abspath(__file__))
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, cwd=here)
    assert (done.returncode, done.stdout, done.stderr) == (0, "MemoryError\n", "")


@pytest.mark.parametrize(
    "call",
    [
        lambda big: ulvex.scan(big, threads=None),
        lambda big: ulvex.scan(big, threads=1.5),
        lambda big: ulvex.scan(big, threads=2**70),
        lambda big: ulvex.scan(big, text="yes"),
        lambda big: ulvex.scan(big, 1),
        lambda big: ulvex.scan(big, thread=1),
        lambda big: ulvex.pack(b"A", big, None),
        lambda big: ulvex.entries(big, 1),
        lambda big: ulvex.StreamReader().feed(big, 1),
    ],
)
def test_argument_errors_do_not_carry_the_buffer(call):
    with pytest.raises((TypeError, ValueError)) as e:
        call(b"\x01" * 2**20)
    assert len(str(e.value)) < 300


def test_indexes_and_integer_arguments_accept_any_integer_type():
    np = pytest.importorskip("numpy")
    data = ulvex.pack(b"A", b"x", np.uint8(3)) + b"\0"
    records = ulvex.scan(data, threads=np.int64(2))
    assert records[np.int32(0)].version == 3
    assert ulvex.StreamReader(max_payload=np.int64(1)).finish() == []


def test_columns_of_an_empty_scan_are_read_only_like_the_others():
    with pytest.raises(ValueError):
        ulvex.scan(b"").offset[:] = 1


def test_records_are_equal_when_their_fields_and_payloads_are():
    data = ulvex.pack(b"A", b"x") + ulvex.pack(b"A", b"y") + b"\0"
    first, again, other = ulvex.scan(data)[0], ulvex.scan(bytearray(data))[0], ulvex.scan(data)[1]
    assert first == again and hash(first) == hash(again)
    assert first != other
