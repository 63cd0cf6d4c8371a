// libulvex: frame named pieces of data ("tags") in byte buffers and find them again.
//
// Umbrella header: includes every public header of the library.
#ifndef ULVEX_ULVEX_H
#define ULVEX_ULVEX_H

#include "ulvex/columns.h"
#include "ulvex/data_formatter.h"
#include "ulvex/decoder_bin.h"
#include "ulvex/decoder_txt.h"
#include "ulvex/encoder_bin.h"
#include "ulvex/encoder_txt.h"
#include "ulvex/export.h"
#include "ulvex/external_helper.h"
#include "ulvex/format.h"
#include "ulvex/range_scan.h"
#include "ulvex/records.h"
#include "ulvex/scan.h"
#include "ulvex/stag.h"
#include "ulvex/stream_reader.h"
#include "ulvex/thread_pool.h"

#endif  // ULVEX_ULVEX_H
