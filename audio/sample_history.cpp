#include "audio/sample_history.h"

#include <algorithm>
#include <cstdlib>

namespace audio {

SampleHistory::SampleHistory(int frames) : data_(static_cast<size_t>(frames) * 2), size_(frames) {}

void SampleHistory::Reset() { end_ = 0; }

void SampleHistory::Append(const int16_t* frames, int count) {
    for (int i = 0; i < count; ++i) {
        size_t at = static_cast<size_t>((end_ + i) % size_) * 2;
        data_[at] = frames[2 * i];
        data_[at + 1] = frames[2 * i + 1];
    }
    end_ += count;
}

bool SampleHistory::Has(int64_t frame) const {
    return frame >= 0 && frame < end_ && frame >= end_ - size_;
}

void SampleHistory::CopyMono(int64_t end, int count, float* out) const {
    for (int i = 0; i < count; ++i) {
        int64_t f = end - count + i;
        if (!Has(f)) {
            out[i] = 0.0f;
            continue;
        }
        size_t at = static_cast<size_t>(f % size_) * 2;
        out[i] = (static_cast<float>(data_[at]) + static_cast<float>(data_[at + 1])) / 65536.0f;
    }
}

void SampleHistory::CopyStereo(int64_t end, int count, int16_t* out) const {
    for (int i = 0; i < count; ++i) {
        int64_t f = end - count + i;
        size_t at = static_cast<size_t>((f % size_ + size_) % size_) * 2;
        out[2 * i] = Has(f) ? data_[at] : 0;
        out[2 * i + 1] = Has(f) ? data_[at + 1] : 0;
    }
}

void SampleHistory::Peak(int64_t end, int count, int* left, int* right) const {
    int l = 0, r = 0;
    for (int i = 0; i < count; ++i) {
        int64_t f = end - count + i;
        if (!Has(f)) continue;
        size_t at = static_cast<size_t>(f % size_) * 2;
        l = std::max(l, std::abs(static_cast<int>(data_[at])));
        r = std::max(r, std::abs(static_cast<int>(data_[at + 1])));
    }
    *left = l;
    *right = r;
}

}  // namespace audio
