#include "quarn/runtime/scan_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace quarn::runtime {
namespace {

// The block search against a byte-by-byte walk, at every start and length
// around the block sizes, for random exit sets and texts with non-ASCII bytes.
TEST(RunExits, FindAgreesWithAByteByByteWalk) {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::vector<RunExits::Range> ranges;
        unsigned next = rng() % 8;
        for (std::size_t i = 0, n = rng() % (RunExits::kMaxRanges + 1); i < n && next < 0x80; ++i) {
            const unsigned last = std::min(0x7Fu, next + static_cast<unsigned>(rng() % 3));
            ranges.push_back({static_cast<std::uint8_t>(next), static_cast<std::uint8_t>(last)});
            next = last + 2 + rng() % 40;
        }
        const RunExits exits(ranges, rng() % 2 == 0);
        std::string text(70, 'x');
        for (char& c : text) {
            if (rng() % 6 == 0)
                c = static_cast<char>(rng() % 256);
        }
        for (std::size_t from = 0; from < text.size(); ++from) {
            for (std::size_t end = from; end <= text.size(); end += 1 + rng() % 5) {
                const char* expected = text.data() + from;
                while (expected != text.data() + end) {
                    const auto byte = static_cast<unsigned char>(*expected);
                    bool stops = byte >= 0x80 && exits.stops_at(0x80);
                    for (const RunExits::Range& r : ranges)
                        stops = stops || (byte >= r.first && byte <= r.last);
                    if (stops)
                        break;
                    ++expected;
                }
                ASSERT_EQ(exits.find(text.data() + from, text.data() + end), expected)
                    << "round " << round << " from " << from << " end " << end;
            }
        }
    }
}

}  // namespace
}  // namespace quarn::runtime
