#include "scan.h"

#include <exception>

namespace ulvex_cli {
namespace {

struct SinkContext {
    const BatchSink* sink;
    std::exception_ptr error;  // thrown by the sink, rethrown once the scan has stopped
};

// The scan's callback is a plain function: an exception must not cross the
// library's frames, so it is held here and the scan stopped.
std::size_t Deliver(void* context, const ulvex::Record* records, std::size_t count) {
    SinkContext& c = *static_cast<SinkContext*>(context);
    try {
        return (*c.sink)(records, count);
    } catch (...) {
        c.error = std::current_exception();
        return 0;
    }
}

}  // namespace

bool ScanRecords(const unsigned char* data, std::uint64_t size, ulvex::RecordForm form, unsigned threads,
                 ulvex::ThreadPool* pool, const BatchSink& sink) {
    ulvex::ScanOptions options;
    options.threads = threads;
    SinkContext context{&sink, nullptr};
    std::uint64_t pos = 0;
    const bool completed = pool != nullptr ? ulvex::Scan(form, data, size, pos, options, *pool, &Deliver, &context)
                                           : ulvex::Scan(form, data, size, pos, options, &Deliver, &context);
    if (context.error) std::rethrow_exception(context.error);
    return completed;
}

}  // namespace ulvex_cli
