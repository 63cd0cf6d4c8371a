// ulvex.Record: one record, a plain CPython type (a notebook iterates
// millions of them, and a bare object costs a fraction of a bound class
// instance), and the read-only payload views it hands out.
#ifndef ULVEX_PYTHON_RECORD_H
#define ULVEX_PYTHON_RECORD_H

#include "common.h"
#include "ulvex/format.h"

namespace ulvex_py {

// A new Record, or null with an exception set. `owner` keeps `payload`
// readable for as long as the Record or a payload view of it lives.
PyObject* NewRecord(PyObject* owner, const unsigned char* payload, const ulvex::Record& record);

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_RECORD_H
