// The record model: the two record forms, the lengths a record has, and a
// found record as plain numbers. Every part of the library and its front
// ends (the C API, the tool, the Python module) takes these facts from here.
//
// A record frames a payload of up to about 4 GiB: the binary form adds 20
// bytes (a 12-byte header and an 8-byte footer), the text form 34 (an
// 18-byte header, CR LF, the data, a 12-byte footer, CR LF). Either way a
// record's lengths are 32-bit, so no record is longer than 2^32 - 1 bytes.
#ifndef ULVEX_FORMAT_H
#define ULVEX_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace ulvex {

// Which record form a buffer holds.
enum class RecordForm { Binary = 0, Text = 1 };

// The longest record of either form, in bytes.
const std::uint64_t kMaxRecordLength = 0xFFFFFFFFu;

// The bytes a record of `form` adds around its payload: 20 (binary) or 34
// (text).
inline constexpr std::uint32_t FrameLength(RecordForm form) { return form == RecordForm::Text ? 34u : 20u; }

// The length of the record of `form` that frames `payloadLen` payload bytes
// (text form: data bytes); above kMaxRecordLength when no record can.
inline constexpr std::uint64_t RecordLength(RecordForm form, std::uint64_t payloadLen) {
    return payloadLen + FrameLength(form);
}

// The longest payload (text form: data) a record of `form` can frame.
inline constexpr std::uint64_t MaxPayloadLength(RecordForm form) { return kMaxRecordLength - FrameLength(form); }

// One record found in a buffer or a stream, as plain numbers.
struct Record {
    std::uint64_t offset;         // the record's first byte in the buffer
    std::uint64_t payloadOffset;  // its first payload byte (text form: first data byte)
    std::uint32_t payloadLen;     // payload bytes (text form: data bytes)
    std::uint32_t recordLen;      // header through footer (text form: without the closing CR LF)
    unsigned char name[4];        // the four name bytes as the binary header holds them (text
                                  // form: as the text holds them, spaces included)
    unsigned char version;        // the header's version byte
};

// How many bytes of a record's four name bytes show its name: those before
// the first zero byte.
inline std::size_t NameLength(const unsigned char* name) {
    std::size_t n = 0;
    while (n < 4 && name[n] != 0) ++n;
    return n;
}

// A record's name as the decoders' STag::TagName gives it: its name bytes up
// to the first zero byte (a text name keeps the spaces that stand for zero
// bytes).
inline std::string RecordName(const Record& r) {
    return std::string(reinterpret_cast<const char*>(r.name), NameLength(r.name));
}

// A text record's name as the binary form holds it: without the spaces at
// its end, which the text form writes for zero name bytes.
inline std::string TrimTextName(std::string name) {
    while (!name.empty() && name[name.size() - 1] == ' ') name.erase(name.size() - 1);
    return name;
}

}  // namespace ulvex

#endif  // ULVEX_FORMAT_H
