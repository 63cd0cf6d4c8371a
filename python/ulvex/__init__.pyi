import sys
from typing import Any, Dict, Iterator, List, Literal, Mapping, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

# Any object with the buffer protocol (PEP 688).
if sys.version_info >= (3, 12):
    from collections.abc import Buffer as _Buffer
else:
    from typing_extensions import Buffer as _Buffer

__version__: str

_Type = Literal["auto", "int64", "uint64", "float64", "str", "bytes"]

class Record:
    """One record found in a buffer."""

    @property
    def name(self) -> bytes:
        """The name bytes up to the first NUL (at most 4)."""
    @property
    def version(self) -> int:
        """The header's version byte (0-255)."""
    @property
    def offset(self) -> int:
        """Position of the record's first byte."""
    @property
    def payload_offset(self) -> int:
        """Position of the first payload byte (text form: the first data byte)."""
    @property
    def payload_len(self) -> int:
        """Payload length in bytes (text form: data bytes)."""
    @property
    def record_len(self) -> int:
        """Record length, header through footer (text form: without the closing CR LF)."""
    @property
    def payload(self) -> memoryview:
        """The payload as a read-only memoryview that keeps the scanned buffer alive."""

class Records:
    """The records that scan found in one buffer, in buffer order."""

    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, index: int) -> Record: ...
    @overload
    def __getitem__(self, index: Union[slice, npt.ArrayLike]) -> "Records":
        """A slice, a boolean mask of len(self) or integer indexes: the records
        picked, over the same buffer (no copy of the buffer)."""
    def __iter__(self) -> Iterator[Record]: ...
    @property
    def offset(self) -> npt.NDArray[np.uint64]: ...
    @property
    def payload_offset(self) -> npt.NDArray[np.uint64]: ...
    @property
    def payload_len(self) -> npt.NDArray[np.uint32]: ...
    @property
    def record_len(self) -> npt.NDArray[np.uint32]: ...
    @property
    def version(self) -> npt.NDArray[np.uint8]: ...
    @property
    def name(self) -> npt.NDArray[np.bytes_]: ...
    def table(
        self,
        keys: Optional[Sequence[Union[bytes, str]]] = None,
        *,
        types: Union[None, _Type, Mapping[Union[bytes, str], _Type]] = None,
        errors: Literal["coerce", "raise"] = "coerce",
        threads: int = 1,
    ) -> Dict[str, Union[npt.NDArray[Any], np.ma.MaskedArray[Any, Any]]]:
        """The record columns (offset, name, version, payload_len) and one
        column per entry key, read with the GIL released."""
    def to_pandas(
        self,
        keys: Optional[Sequence[Union[bytes, str]]] = None,
        *,
        types: Union[None, _Type, Mapping[Union[bytes, str], _Type]] = None,
        errors: Literal["coerce", "raise"] = "coerce",
        threads: int = 1,
    ) -> Any:
        """The columns of table() as a pandas.DataFrame, numeric entries as
        nullable Int64 / UInt64 / Float64."""

def scan(data: _Buffer, *, text: bool = False, threads: int = 1) -> Records:
    """Every record of `data`, read in place with the GIL released."""

def scan_range(
    data: _Buffer, begin: int, end: int, *, entry: Optional[int] = None, text: bool = False
) -> Tuple[Records, int]:
    """The records of [begin, end) on the path entering it at `entry`, and that path's exit."""

def join_range(
    data: _Buffer,
    begin: int,
    end: int,
    entry: int,
    offsets: npt.ArrayLike,
    record_lens: npt.ArrayLike,
    *,
    text: bool = False,
) -> Tuple[Records, int, int]:
    """A range scanned on its own, joined at `entry`: (head, start, exit)."""

def pack(name: Union[bytes, str], payload: _Buffer, version: int = 0, *, text: bool = False) -> bytes:
    """One record framing `payload`."""

def entries(payload: _Buffer) -> Dict[bytes, bytes]:
    """The key=value entries of a payload; the last value of a key wins."""

def entry(key: Union[bytes, str], value: Union[int, float, bytes, str]) -> bytes:
    """One key=value entry, written by the library's typed writers."""

class StreamReader:
    """Records from a stream that arrives in chunks."""

    def __init__(self, *, text: bool = False, max_payload: int = ...) -> None: ...
    def feed(self, data: _Buffer) -> List[Record]:
        """Takes the next chunk and returns the records it completed (payloads copied)."""
    def finish(self) -> List[Record]:
        """Ends the stream and returns the records its last bytes decide."""
    @property
    def records(self) -> int: ...
    @property
    def garbage_bytes(self) -> int: ...
    @property
    def rejected(self) -> int: ...
