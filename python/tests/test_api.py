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
        (-(2**63), b"k=-9223372036854775808|\r\n"),
        (2**64 - 1, b"k=18446744073709551615|\r\n"),  # the unsigned writer
        (1 / 3, b"k=0.333333333|\r\n"),  # 9 significant digits
        (b"v\xff", b"k=v\xff|\r\n"),
        ("\u00e9", b"k=\xc3\xa9|\r\n"),
    ],
)
def test_entry_writes_each_type_with_its_writer(value, written):
    assert ulvex.entry(b"k", value) == written


def test_str_name_is_encoded_as_utf8():
    assert ulvex.pack("\u00e9", b"") == ulvex.pack(b"\xc3\xa9", b"")


# One call for each rule: a wrong type, a bad value, a length the format cannot
# hold (an untouched anonymous map costs address space only), an int beyond 64
# bits. None of the messages carries the 1 MiB buffer passed along.
@pytest.mark.parametrize(
    "error, call",
    [
        (TypeError, lambda big: ulvex.pack(b"A", big, None)),
        (ValueError, lambda big: ulvex.scan(big, threads=2**70)),
        (OverflowError, lambda big: ulvex.pack(b"A", mmap.mmap(-1, 2**32 - 20))),
        (OverflowError, lambda big: ulvex.entry(big, 2**64)),
    ],
)
def test_argument_errors_raise_by_kind_without_the_buffer(error, call):
    with pytest.raises(error) as e:
        call(b"\x01" * 2**20)
    assert len(str(e.value)) < 300


def test_out_of_memory_raises_memory_error():
    # A fresh interpreter, allowed 64 MiB more address space than it has once
    # set up (run from the tests' directory, where no source tree shadows the
    # installed package).
    code = textwrap.dedent(
        """
        import mmap, resource, ulvex
        data = ulvex.pack(b"A", b"") * (2**27 // 20)  # 6.7 million records
        with open("/proc/self/statm") as f:
            used = int(f.read().split()[0]) * mmap.PAGESIZE
        resource.setrlimit(resource.RLIMIT_AS, (used + 64 * 2**20, resource.RLIM_INFINITY))
        try:
            ulvex.scan(data)
        except MemoryError:
            print("MemoryError")
        """
    )
    here = os.path.dirname(os.path.abspath(__file__))
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, cwd=here)
    assert (done.returncode, done.stdout, done.stderr) == (0, "MemoryError\n", "")


def test_indexes_and_integer_arguments_accept_any_integer_type():
    np = pytest.importorskip("numpy")
    data = ulvex.pack(b"A", b"x", np.uint8(3)) + b"\0"
    records = ulvex.scan(data, threads=np.int64(2))
    assert records[np.int32(0)].version == 3
    assert ulvex.StreamReader(max_payload=np.int64(1)).finish() == []


def test_records_are_equal_when_their_fields_and_payloads_are():
    data = ulvex.pack(b"A", b"x") + ulvex.pack(b"A", b"y") + b"\0"
    first, again, other = ulvex.scan(data)[0], ulvex.scan(bytearray(data))[0], ulvex.scan(data)[1]
    assert first == again and hash(first) == hash(again)
    assert first != other
