// The download buffer: a fixed-size byte queue between the download thread
// (the one writer) and the decoder (the one reader).
//
// Invariants (under mutex_): 0 <= fill_ <= data_.size(); the bytes queued
// start at head_ and wrap at the end; written_ - read_ == fill_.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace audio {

class RingBuffer {
public:
    explicit RingBuffer(size_t capacity);

    // Queues all of data, waiting while the buffer is full. False when the
    // buffer was aborted first (the rest of data is dropped).
    bool Write(const uint8_t* data, size_t size);
    // Takes up to size queued bytes without waiting; returns how many.
    size_t Read(uint8_t* dst, size_t size);

    // The writer will add nothing more: readers see the end once drained.
    void Close();
    // Wakes every waiter for good: writes fail, waits return.
    void Abort();

    // Waits until at least `bytes` are queued, the buffer is closed or
    // aborted, or timeoutMs passed. True when the fill was reached.
    bool WaitForFill(size_t bytes, int timeoutMs);

    size_t Capacity() const { return data_.size(); }
    size_t Fill() const;
    bool Closed() const;
    uint64_t Written() const;  // bytes queued since creation
    uint64_t Taken() const;    // bytes read since creation

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> data_;
    size_t head_ = 0;
    size_t fill_ = 0;
    uint64_t written_ = 0;
    uint64_t read_ = 0;
    bool closed_ = false;
    bool aborted_ = false;
};

}  // namespace audio
