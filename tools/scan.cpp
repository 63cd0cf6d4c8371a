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

std::string RecordName(const ulvex::Record& r) {
    std::size_t n = 0;
    while (n < 4 && r.name[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(r.name), n);
}

std::string TrimSpaces(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

unsigned ThreadCount(unsigned threads) { return threads != 0 ? threads : ulvex::DefaultScanThreads(); }

bool ScanRecords(const unsigned char* data, std::uint64_t size, Form form, unsigned threads, const BatchSink& sink) {
    ulvex::ScanOptions options;
    options.threads = threads;
    SinkContext context{&sink, nullptr};
    std::uint64_t pos = 0;
    const bool completed = ulvex::Scan(form == Form::Text ? ulvex::RecordForm::Text : ulvex::RecordForm::Binary, data,
                                       size, pos, options, &Deliver, &context);
    if (context.error) std::rethrow_exception(context.error);
    return completed;
}

}  // namespace ulvex_cli
