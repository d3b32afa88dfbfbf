// The spectrum of the samples just played: a Hann-windowed 512-point FFT of
// the mono mix, as 256 magnitudes, lowest frequency first. Bin k is centred
// on k * rate / 512 Hz; a full-scale sine at a bin's centre reads about 1.0.
#pragma once
#include <vector>

struct kiss_fftr_state;

namespace audio {

constexpr int kFftSize = 512;
constexpr int kSpectrumBins = kFftSize / 2;

class Spectrum {
public:
    Spectrum();
    ~Spectrum();
    Spectrum(const Spectrum&) = delete;
    Spectrum& operator=(const Spectrum&) = delete;

    // samples: kFftSize mono values in -1..1; out: kSpectrumBins magnitudes.
    // Not reentrant: one caller at a time per object.
    void Compute(const float* samples, float* out);

private:
    kiss_fftr_state* config_;
    std::vector<float> window_;
    std::vector<float> input_;
    std::vector<float> output_;  // kiss_fft_cpx pairs (re, im)
};

}  // namespace audio
