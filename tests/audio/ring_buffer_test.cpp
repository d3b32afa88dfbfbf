// The download buffer: byte order across the wrap, the counters the file
// positions come from, and the waits between the download thread and the
// decoder.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "audio/ring_buffer.h"

using audio::RingBuffer;

namespace {

std::vector<uint8_t> Bytes(int from, int count) {
    std::vector<uint8_t> v(count);
    for (int i = 0; i < count; ++i) v[i] = static_cast<uint8_t>(from + i);
    return v;
}

TEST(RingBuffer, KeepsOrderAcrossTheWrap) {
    RingBuffer ring(10);
    auto first = Bytes(0, 7);
    ASSERT_TRUE(ring.Write(first.data(), first.size()));
    uint8_t out[16];
    ASSERT_EQ(ring.Read(out, 5), 5u);
    auto second = Bytes(7, 8);  // wraps: 2 left at the end, 6 at the start
    ASSERT_TRUE(ring.Write(second.data(), second.size()));
    EXPECT_EQ(ring.Fill(), 10u);
    ASSERT_EQ(ring.Read(out, 16), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 5 + i) << "byte " << i;
}

TEST(RingBuffer, CountsWhatWentInAndOut) {
    RingBuffer ring(64);
    auto data = Bytes(0, 40);
    ring.Write(data.data(), data.size());
    uint8_t out[64];
    ring.Read(out, 15);
    EXPECT_EQ(ring.Written(), 40u);
    EXPECT_EQ(ring.Taken(), 15u);
    EXPECT_EQ(ring.Fill(), 25u);
    EXPECT_EQ(ring.Read(out, 64), 25u);
    EXPECT_EQ(ring.Read(out, 64), 0u);
    EXPECT_EQ(ring.Taken(), 40u);
}

TEST(RingBuffer, WriterWaitsForRoomThenCompletes) {
    RingBuffer ring(8);
    auto data = Bytes(0, 20);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        EXPECT_TRUE(ring.Write(data.data(), data.size()));
        done = true;
    });
    std::vector<uint8_t> got;
    uint8_t out[4];
    while (got.size() < 20) {
        size_t n = ring.Read(out, sizeof out);
        got.insert(got.end(), out, out + n);
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(got, data);
}

TEST(RingBuffer, AbortReleasesABlockedWriter) {
    RingBuffer ring(4);
    auto data = Bytes(0, 10);
    std::atomic<int> result{-1};
    std::thread writer([&] { result = ring.Write(data.data(), data.size()) ? 1 : 0; });
    while (ring.Fill() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ring.Abort();
    writer.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(ring.Write(data.data(), 1));
}

TEST(RingBuffer, WaitForFillEndsOnFillOrClose) {
    RingBuffer ring(100);
    std::thread writer([&] {
        auto data = Bytes(0, 60);
        ring.Write(data.data(), data.size());
    });
    EXPECT_TRUE(ring.WaitForFill(50, 10000));
    writer.join();
    // Asking for more than is coming: the writer's close ends the wait.
    std::thread closer([&] { ring.Close(); });
    EXPECT_FALSE(ring.WaitForFill(90, 10000));
    closer.join();
    EXPECT_TRUE(ring.Closed());
}

TEST(RingBuffer, WaitForFillTimesOut) {
    RingBuffer ring(100);
    EXPECT_FALSE(ring.WaitForFill(1, 20));
}

}  // namespace
