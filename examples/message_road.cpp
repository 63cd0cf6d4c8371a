// The road of a message: a writer formats key=value entries into payloads,
// frames them as tag records (binary, then text), and a reader finds the
// records again among garbage and a damaged record and reads their entries.
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ulvex/ulvex.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void PrintHex(const char* title, const Bytes& bytes) {
    std::printf("%s (%zu bytes):\n", title, bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        std::printf("%02X%s", bytes[i], (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : " ");
}

std::string Printable(const unsigned char* p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        char esc[8];
        if (std::isprint(p[i]) != 0) {
            s += static_cast<char>(p[i]);
        } else {
            std::snprintf(esc, sizeof esc, "\\x%02X", p[i]);
            s += esc;
        }
    }
    return s;
}

// Joins single-entry vectors into one payload.
void Append(Bytes& payload, const Bytes& entry) { payload.insert(payload.end(), entry.begin(), entry.end()); }

void PrintTags(IUlvexDataFormatter& fmt, const Bytes& buf, const std::vector<STag>& tags) {
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const STag& t = tags[i];
        std::printf("  offset %4ld  name \"%s\"  version %u  payload %u bytes  record %u bytes\n",
                    static_cast<long>(t.PtrTag - buf.data()),
                    Printable(reinterpret_cast<const unsigned char*>(t.TagName.data()), t.TagName.size()).c_str(),
                    t.Version, t.PayloadLen, t.TagLen);
        std::map<std::string, std::string> entries;
        fmt.FindInDataAllEntry(t.PtrPayload, t.PayloadLen, entries);
        for (std::map<std::string, std::string>::const_iterator it = entries.begin(); it != entries.end(); ++it)
            std::printf("      %s = %s\n", it->first.c_str(), it->second.c_str());
    }
}

}  // namespace

int main() {
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    std::unique_ptr<IUlvexEncoderBin> enc(IUlvexEncoderBin::CreateMe());
    std::unique_ptr<IUlvexDecoderBin> dec(IUlvexDecoderBin::CreateMe());
    std::unique_ptr<IUlvexEncoderTxt> encTxt(IUlvexEncoderTxt::CreateMe());
    std::unique_ptr<IUlvexDecoderTxt> decTxt(IUlvexDecoderTxt::CreateMe());

    // 1. The writer builds payloads of entries, one entry per writer call.
    Bytes entry, weather, status;
    fmt->FormatData(entry, "station", std::string("north-7"));
    Append(weather, entry);
    fmt->FormatData(entry, "temp", 21.5);
    Append(weather, entry);
    fmt->FormatData(entry, "humidity", 64);
    Append(weather, entry);
    fmt->FormatData(entry, "uptime", 86400ull);
    Append(status, entry);
    fmt->FormatDataHex(entry, "flags", 0x2Fu);
    Append(status, entry);

    // 2. It frames them as binary records, with garbage and a damaged record
    //    between them, as a reader may receive them.
    Bytes buf;
    enc->AddTagBin(buf, "DATA", weather, 1);
    const unsigned char garbage[] = {0x00, 0x3C, 0x68, 0xFF, '<', 'h', 0x13, 0x37};
    buf.insert(buf.end(), garbage, garbage + sizeof garbage);
    Bytes damaged;
    enc->AddTagBin(damaged, "LOST", status, 1);
    damaged[damaged.size() - 3] ^= 0x55;  // corrupt its checksum
    buf.insert(buf.end(), damaged.begin(), damaged.end());
    enc->AddTagBin(buf, "STAT", status, 2);
    buf.push_back(0x00);

    Bytes first;
    const char abc[] = "abc";
    enc->EncodeTagBin(first, const_cast<char*>("DATA"), const_cast<char*>(abc), 3, 1);
    PrintHex("One binary record, name DATA, payload abc", first);

    // 3. The reader lists every valid record and 4. reads each payload's entries.
    std::vector<STag> tags;
    dec->FindAllTagPtrAnyName(buf.data(), static_cast<unsigned int>(buf.size()), tags);
    std::printf("\nBinary buffer of %zu bytes: %zu records found\n", buf.size(), tags.size());
    PrintTags(*fmt, buf, tags);

    // The same road through the printable text form.
    Bytes txt;
    encTxt->AddTagTxt(txt, "DATA", weather, 1);
    txt.insert(txt.end(), garbage, garbage + sizeof garbage);
    encTxt->AddTagTxt(txt, "STAT", status, 2);
    std::printf("\nText buffer:\n%s\n", Printable(txt.data(), txt.size()).c_str());
    tags.clear();
    decTxt->FindAllTagPtrAnyName(txt.data(), static_cast<unsigned int>(txt.size()), tags);
    std::printf("Text buffer of %zu bytes: %zu records found\n", txt.size(), tags.size());
    PrintTags(*fmt, txt, tags);
    return 0;
}
