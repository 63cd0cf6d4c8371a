// IExternalHelper: the callback interface of the helper-driven scans.
//
// Implemented by the library's users, never by the library. The decoder
// borrows the helper for one call: it never copies, keeps or deletes it.
#ifndef ULVEX_EXTERNAL_HELPER_H
#define ULVEX_EXTERNAL_HELPER_H

#include "ulvex/stag.h"

class IExternalHelper {
public:
    virtual ~IExternalHelper() {}
    // Told of each valid record as it is found. Return true to accept it and
    // let the scan go on, false to stop the whole scan. `tag` lives only for
    // the call; copy it to keep it.
    virtual bool OnTagFound(const STag& tag) = 0;
    // Asked at every scan position `pos` where no valid record starts: the
    // number of bytes to advance (0 retries the same position), or
    // 0xFFFFFFFF to stop the whole scan.
    virtual unsigned int GetSkipLen(const void* buf, unsigned int len, unsigned int pos) = 0;
};

#endif  // ULVEX_EXTERNAL_HELPER_H
