// The stereo frames sent to the output, kept for a while so the spectrum,
// the level and the data calls can look at what the device is playing now.
//
// Frames are numbered from 0 (the first frame written since the last
// Reset). Invariant: the buffer holds frames [end_ - min(end_, size), end_),
// frame f at index f % size.
#pragma once
#include <cstdint>
#include <vector>

namespace audio {

class SampleHistory {
public:
    explicit SampleHistory(int frames);

    void Reset();
    void Append(const int16_t* frames, int count);  // interleaved stereo
    int64_t End() const { return end_; }

    // The count frames ending before frame `end` (earlier than the oldest
    // kept, or not yet written: silence).
    void CopyMono(int64_t end, int count, float* out) const;  // (L + R) / 2, in -1..1
    void CopyStereo(int64_t end, int count, int16_t* out) const;
    // Peak magnitudes of each channel over those frames, 0..32768.
    void Peak(int64_t end, int count, int* left, int* right) const;

private:
    bool Has(int64_t frame) const;
    std::vector<int16_t> data_;
    int size_;
    int64_t end_ = 0;
};

}  // namespace audio
