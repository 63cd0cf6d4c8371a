// ulvex.Records: what scan returns, the records of one buffer, which it
// keeps held.
#ifndef ULVEX_PYTHON_RECORDS_H
#define ULVEX_PYTHON_RECORDS_H

#include <cstddef>

#include "common.h"
#include "record.h"
#include "record_store.h"

namespace ulvex_py {

// What scan returns: the records of one buffer, which it keeps held.
class RecordList {
public:
    py::object owner;  // the capsule holding the buffer
    const unsigned char* data = nullptr;
    RecordStore records;

    PyObject* Make(std::size_t i) const {
        const ulvex::Record& r = records[i];
        return NewRecord(owner.ptr(), data + r.payloadOffset, r);
    }
};

}  // namespace ulvex_py

#endif  // ULVEX_PYTHON_RECORDS_H
