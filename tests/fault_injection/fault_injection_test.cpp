// Allocation failure in the C++ classes: for every n, the n-th allocation of
// an operation fails; its outputs must then be as documented and nothing may
// leak.
#include "failing_new.h"

#include <functional>
#include <list>
#include <map>
#include <memory>

#include "captures.h"
#include "ulvex/ulvex.h"

namespace {
typedef std::vector<unsigned char> Bytes;

Bytes Records(Bytes b) {  // nine records after `b`, and one more byte
    for (int i = 0; i < 9; ++i) ulvex::test::Append(false, b, i % 2 ? "ODD" : "EVEN", Bytes(3, 'p'), 1);
    return b.push_back(0), b;
}
// Headers every 12 bytes whose lengths all end at one footer with a wrong
// checksum: the scan switches to its checksum table.
Bytes Hostile() {
    Bytes b(3000, 'A');
    for (unsigned p = 0; p + 12 < 2991; p += 12) {
        const unsigned L = 2991 - p - 12;
        const unsigned char h[12] = {'<', 'h', 'H', 'O', 'S', 'T', (unsigned char)L, (unsigned char)(L >> 8),
                                     0,   0,   1,   '>'};
        std::copy(h, h + 12, b.begin() + p);
    }
    const unsigned char f[8] = {'<', 'H', 'O', 'S', 'T', 0, 0, '>'};
    return std::copy(f, f + 8, b.begin() + 2991), Records(b);
}

TEST(FaultInjection, EncodersAndWritersLeaveTheirOutputUnchanged) {
    std::unique_ptr<IUlvexEncoderBin> bin(IUlvexEncoderBin::CreateMe());
    std::unique_ptr<IUlvexEncoderTxt> txt(IUlvexEncoderTxt::CreateMe());
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    Bytes pl(40, 'x');
    const std::string key(30, 'k');
    // One call of each path that builds an output (the others forward to these).
    const std::function<void(Bytes&)> ops[] = {
        [&](Bytes& o) { bin->AddTagBin(o, "NAME", pl, 3); },
        [&](Bytes& o) { bin->EncodeTagBin(o, 0x454D414Eu, pl.data(), 40, 3); },
        [&](Bytes& o) { txt->AddTagTxt(o, "NAME", pl, 3); },
        [&](Bytes& o) { fmt->FormatData(o, key, std::string(30, 'v')); },
        [&](Bytes& o) { fmt->FormatData(o, key, -123456789); },
        [&](Bytes& o) { fmt->FormatDataHex(o, key, 0xBEEFu); },
    };
    for (const auto& op : ops)
        EachFailure([&](long n) {
            Bytes out(5, 7);
            if (FailingAt(n, [&] { op(out); })) {
                EXPECT_EQ(out, Bytes(5, 7)) << "allocation " << n;
            }
        });
    EachFailure([](long n) { FailingAt(n, [] { delete IUlvexEncoderTxt::CreateMe(); }); });
}

// A failed bulk scan keeps the tags appended before the failure: the old
// content, then the first k tags of a complete run.
template <class Out, class Scan>
void KeepsPrefix(Scan scan) {
    Out full(1, STag());
    scan(full);
    ASSERT_GT(full.size(), 3u);
    EachFailure([&](long n) {
        Out out(1, STag());
        if (FailingAt(n, [&] { scan(out); }))
            ASSERT_LE(out.size(), full.size()) << "allocation " << n;
        else
            ASSERT_EQ(out.size(), full.size()) << "allocation " << n;
        typename Out::const_iterator f = full.begin();
        for (const STag& t : out) {
            EXPECT_EQ(t.PtrTag, f->PtrTag) << "allocation " << n;
            EXPECT_EQ(t.TagName, (f++)->TagName) << "allocation " << n;
        }
    });
}

TEST(FaultInjection, BulkScansKeepThePrefixFoundBeforeTheFailure) {
    std::unique_ptr<IUlvexDecoderBin> dec(IUlvexDecoderBin::CreateMe());
    const std::list<std::string> names = {"ODD", "EVEN"};
    for (const Bytes& b : {Records(Bytes()), Hostile()}) {
        const unsigned n = unsigned(b.size());
        KeepsPrefix<std::vector<STag>>([&](std::vector<STag>& o) { dec->FindAllTagPtrAnyName(b.data(), n, o); });
        KeepsPrefix<std::list<STag>>([&](std::list<STag>& o) { dec->FindAllTagPtrAnyName(b.data(), n, o); });
        KeepsPrefix<std::vector<STag>>([&](std::vector<STag>& o) { dec->FindAllTagPtr(b.data(), n, names, o); });
        KeepsPrefix<std::list<STag>>([&](std::list<STag>& o) { dec->FindAllTagPtr(b.data(), n, names, o); });
    }
    std::unique_ptr<IUlvexDecoderTxt> txt(IUlvexDecoderTxt::CreateMe());
    const Bytes t = ulvex::test::Maker{true, std::mt19937(3)}.Input(40);
    KeepsPrefix<std::vector<STag>>(
        [&](std::vector<STag>& o) { txt->FindAllTagPtrAnyName(t.data(), unsigned(t.size()), o); });
}

// Every entry left in the map after a failure is one that was read in full.
TEST(FaultInjection, EntryReaderKeepsOnlyEntriesItRead) {
    std::unique_ptr<IUlvexDataFormatter> fmt(IUlvexDataFormatter::CreateMe());
    Bytes data, one;
    for (int i = 0; i < 6; ++i) {
        fmt->FormatData(one, "key number " + std::to_string(i), std::string(20 + i, char('a' + i)));
        data.insert(data.end(), one.begin(), one.end());
    }
    std::map<std::string, std::string> full;
    fmt->FindInDataAllEntry(data.data(), unsigned(data.size()), full);
    ASSERT_EQ(full.size(), 6u);
    EachFailure([&](long n) {
        std::map<std::string, std::string> got = {{"old", "entry"}};
        FailingAt(n, [&] { fmt->FindInDataAllEntry(data.data(), unsigned(data.size()), got); });
        for (const auto& e : got) EXPECT_EQ(full.count(e.first) ? full.at(e.first) : "?", e.second) << e.first;
    });
}

}  // namespace
