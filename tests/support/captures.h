// Generated captures for the tests: records of both forms back to back and
// among garbage rich in marker bytes, damaged, nested and never-completed
// records, and headers sharing one footer.
#ifndef ULVEX_TESTS_CAPTURES_H
#define ULVEX_TESTS_CAPTURES_H

#include <random>
#include <string>
#include <vector>

#include "ulvex/encoder_bin.h"
#include "ulvex/encoder_txt.h"

namespace ulvex {
namespace test {

typedef std::vector<unsigned char> Bytes;

// One record of the text or binary form, appended to `out`.
inline void Append(bool text, Bytes& out, const char* name, const Bytes& payload, unsigned char version) {
    if (text) CUlvexEncoderTxt().AddTagTxt(out, name, payload, version);
    if (!text) CUlvexEncoder().AddTagBin(out, name, payload, version);
}

struct Maker {  // of text records when `text`, drawing from `rng`
    bool text;
    std::mt19937 rng;

    void Frame(Bytes& out, const char* name, const Bytes& payload) {
        Append(text, out, name, payload, static_cast<unsigned char>(text ? rng() % 10 : rng()));
    }
    // Makes the header at `at` announce L bytes (text: the number it holds).
    void SetLen(Bytes& b, std::size_t at, std::uint64_t L) {
        const std::string digits = std::to_string(10000000000ull + L).substr(1);
        for (std::size_t k = 0; k < (text ? 10u : 4u); ++k)
            b[at + 6 + k] = static_cast<unsigned char>(text ? digits[k] : L >> (8 * k));
    }
    Bytes Random(std::size_t n) {
        Bytes b(n);
        for (auto& c : b) c = static_cast<unsigned char>(rng() % 2 ? "<h>\r\n0AB"[rng() % 8] : rng());
        return b;
    }
    // Records back to back, garbage rich in marker bytes, damaged records,
    // valid records nested in the payload of valid (hidden) and damaged
    // (listed) records two and three deep, headers announcing lengths that
    // run over many chunks, and headers sharing one footer with a wrong sum.
    Bytes Input(std::size_t pieces) {
        Bytes out;
        for (std::size_t i = 0; i < pieces; ++i) {
            Bytes piece, inner, tail;
            const unsigned kind = static_cast<unsigned>(rng() % 7);
            if (kind == 0) Frame(out, rng() % 4 ? "AB" : "", Random(rng() % 40));
            if (kind == 1) piece = Random(rng() % 30);
            if (kind == 2) Frame(piece, "DMG", Random(rng() % 40 + 1));
            if (kind == 2) piece[rng() % piece.size()] ^= static_cast<unsigned char>(1 + rng() % 255);
            if (kind == 3) {  // nested, possibly twice, the outer one possibly damaged (its checksum)
                Frame(inner, "IN", Random(rng() % 20));
                if (rng() % 2) tail = Random(rng() % 5), Frame(tail, "MID", inner), inner = tail;
                inner.insert(inner.begin(), rng() % 6, 'g');
                Frame(piece, "OUT", inner);
                if (rng() % 2) piece[piece.size() - 3] ^= 0x40;
            }
            if (kind == 4) Frame(piece, "LONG", Random(4)), SetLen(piece, 0, 50 + rng() % 2000);  // never completed
            if (kind == 5) Frame(out, "B2B", Bytes()), Frame(out, "B2B", Random(rng() % 3));
            if (kind == 6) {  // headers whose lengths all end at one footer with a wrong checksum
                Frame(tail, "SHRD", Random(200));
                tail[tail.size() - (text ? 4 : 3)] ^= 1;
                const auto h = static_cast<std::ptrdiff_t>(text ? 18 : 12);
                for (std::size_t k = 0; k < 8; ++k) piece.insert(piece.end(), tail.begin(), tail.begin() + h);
                piece.insert(piece.end(), tail.begin() + h, tail.end());
            }
            out.insert(out.end(), piece.begin(), piece.end());
        }
        return out;
    }
};

}  // namespace test
}  // namespace ulvex

#endif  // ULVEX_TESTS_CAPTURES_H
