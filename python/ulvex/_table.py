"""Records.table() and Records.to_pandas(): the entries of many records as columns."""

import numpy as np

from ._ulvex import Records

_TYPES = ("auto", "int64", "uint64", "float64", "str", "bytes")
_RECORD_COLUMNS = ("offset", "name", "version", "payload_len")


def _key_bytes(key):
    if isinstance(key, bytes):
        return key
    if isinstance(key, str):
        return key.encode("utf-8", "surrogateescape")
    raise TypeError(f"keys are bytes or str, not {type(key).__name__}")


def _type_code(t):
    if t not in _TYPES:
        raise ValueError(f"unknown type {t!r}: one of {', '.join(_TYPES)}")
    return _TYPES.index(t)


# keys=None first takes the keys of this many records and reads those; only
# when the rest hold other keys are all keys listed (a second walk).
_GUESS = 1024


def _codes(keys, types):
    if types is None or isinstance(types, str):
        return [_type_code(types or "auto")] * len(keys)
    if isinstance(types, dict):
        by_key = {_key_bytes(k): _type_code(t) for k, t in types.items()}
        return [by_key.get(k, 0) for k in keys]
    raise TypeError(f"types is a type name or a dict of key to type name, not {type(types).__name__}")


def _read(records, keys, types, errors, threads):
    """The record columns and (name, type, values, present) per key."""
    if errors not in ("coerce", "raise"):
        raise ValueError(f"errors is 'coerce' or 'raise', not {errors!r}")
    raise_ = errors == "raise"
    if keys is None:
        # One walk when the first records hold every key. Under "raise" the
        # first bad value must be found among all keys at once, so they are
        # listed first.
        keys = records._keys(threads, None if raise_ else _GUESS)
        codes = _codes(keys, types)
        *columns, entries, others = records._columns(keys, codes, raise_, threads)
        if others:
            known = dict(zip(keys, entries))
            keys = records._keys(threads)
            extra = [k for k in keys if k not in known]
            *_, more, _ = records._columns(extra, _codes(extra, types), raise_, threads)
            known.update(zip(extra, more))
            entries = [known[k] for k in keys]
    else:
        keys = [_key_bytes(keys)] if isinstance(keys, (bytes, str)) else [_key_bytes(k) for k in keys]
        *columns, entries, _ = records._columns(keys, _codes(keys, types), raise_, threads)
    named = []
    for key, (kind, values, present) in zip(keys, entries):
        column = key.decode("utf-8", "surrogateescape")
        named.append(("entry." + column if column in _RECORD_COLUMNS else column, kind, values, present))
    return dict(zip(_RECORD_COLUMNS, columns)), named


def table(self, keys=None, *, types=None, errors="coerce", threads=1):
    """The records and their entries as a dict of numpy arrays, one per column.

    Record columns first: ``offset`` (uint64), ``name`` (str), ``version``
    (uint8), ``payload_len`` (uint32); then one column per key, named by the
    key (``entry.<key>`` for a key named like a record column). ``keys=None``
    takes every key found, in the order first seen; keys are bytes or str.

    ``types`` is one type for every key or a dict from key to type (other
    keys: ``"auto"``). Types: ``"int64"``, ``"uint64"``, ``"float64"``
    (values that are not such a number are missing, or with
    ``errors="raise"`` a ValueError naming the key, the record's offset and
    the value), ``"str"`` (UTF-8; other bytes as lone surrogates, as
    ``surrogateescape`` decodes them), ``"bytes"``, and ``"auto"``: int64 if
    every value fits, else uint64, else float64 if all are numbers, else str.

    Numeric columns with a missing value are ``numpy.ma.MaskedArray`` (a
    ``nan`` value is a value, not masked); str and bytes columns are object
    arrays with None where missing. The GIL is released while the columns
    are read, on ``threads`` threads (0: one per core).
    """
    out, entries = _read(self, keys, types, errors, threads)
    for column, kind, values, present in entries:
        if kind in ("str", "bytes") or present.all():
            out[column] = values
        else:
            out[column] = np.ma.MaskedArray(values, mask=~present)
    return out


def to_pandas(self, keys=None, *, types=None, errors="coerce", threads=1):
    """The columns of ``table()`` as a pandas DataFrame.

    Numeric entry columns are pandas' nullable ``Int64``, ``UInt64`` and
    ``Float64`` (missing values are ``<NA>``; a ``nan`` value stays NaN).
    Needs pandas, which ulvex does not import otherwise.
    """
    try:
        import pandas as pd
    except ImportError:
        raise ImportError(
            "Records.to_pandas needs pandas: install Debian's python3-pandas (or pandas from PyPI)"
        ) from None
    out, entries = _read(self, keys, types, errors, threads)
    for column, kind, values, present in entries:
        if kind == "float64":
            out[column] = pd.arrays.FloatingArray(values, ~present)
        elif kind in ("int64", "uint64"):
            out[column] = pd.arrays.IntegerArray(values, ~present)
        else:
            out[column] = values
    return pd.DataFrame(out, copy=False)


Records.table = table
Records.to_pandas = to_pandas
