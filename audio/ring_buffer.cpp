#include "audio/ring_buffer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace audio {

RingBuffer::RingBuffer(size_t capacity) : data_(capacity > 0 ? capacity : 1) {}

bool RingBuffer::Write(const uint8_t* data, size_t size) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (size > 0) {
        changed_.wait(lock, [&] { return aborted_ || fill_ < data_.size(); });
        if (aborted_) return false;
        size_t tail = (head_ + fill_) % data_.size();
        size_t room = std::min(data_.size() - fill_, data_.size() - tail);
        size_t n = std::min(room, size);
        std::memcpy(data_.data() + tail, data, n);
        fill_ += n;
        written_ += n;
        data += n;
        size -= n;
        changed_.notify_all();
    }
    return true;
}

size_t RingBuffer::Read(uint8_t* dst, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t total = 0;
    while (total < size && fill_ > 0) {
        size_t n = std::min({size - total, fill_, data_.size() - head_});
        std::memcpy(dst + total, data_.data() + head_, n);
        head_ = (head_ + n) % data_.size();
        fill_ -= n;
        total += n;
    }
    read_ += total;
    if (total > 0) changed_.notify_all();
    return total;
}

void RingBuffer::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

void RingBuffer::Abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    changed_.notify_all();
}

bool RingBuffer::WaitForFill(size_t bytes, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    bytes = std::min(bytes, data_.size());
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return aborted_ || closed_ || fill_ >= bytes; });
    return fill_ >= bytes;
}

size_t RingBuffer::Fill() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fill_;
}

bool RingBuffer::Closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

uint64_t RingBuffer::Written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

uint64_t RingBuffer::Taken() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read_;
}

}  // namespace audio
