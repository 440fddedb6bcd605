#include "preview/request_framer.h"

#include <gtest/gtest.h>

namespace qp::preview {
namespace {

using State = TRequestFramer::State;

// The verdict when the bytes arrive one at a time, as a slow client sends them.
State ByteByByte(const std::string& request, TRequestFramer& framer) {
    std::string seen;
    for (char c : request) {
        seen += c;
        if (const State s = framer.Scan(seen); s == State::Complete || s == State::Refused) break;
    }
    return framer.Current();
}

TEST(RequestFramer, ChunkSizeLineIsHeldToItsLimitWholeOrInPieces) {
    const std::string head = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const std::size_t extension : {std::size_t{1000}, std::size_t{1100}}) {
        const std::string request = head + "1;" + std::string(extension, 'e') + "\r\nx\r\n0\r\n\r\n";
        TRequestFramer whole({});
        TRequestFramer pieces({});
        const State expected = extension < 1024 ? State::Complete : State::Refused;
        EXPECT_EQ(whole.Scan(request), expected) << extension;
        EXPECT_EQ(ByteByByte(request, pieces), expected) << extension;
        EXPECT_EQ(whole.RefusalStatus(), pieces.RefusalStatus());
    }
}

}  // namespace
}  // namespace qp::preview
