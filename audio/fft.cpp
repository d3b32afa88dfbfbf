#include "audio/fft.h"

#include <kissfft/kiss_fftr.h>

#include <cmath>
#include <new>

namespace audio {

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

Spectrum::Spectrum()
    : config_(kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr)),
      window_(kFftSize),
      input_(kFftSize),
      output_(2 * (kFftSize / 2 + 1)) {
    if (!config_) throw std::bad_alloc();
    // The periodic Hann window: its mean is exactly 0.5, so a sine of
    // amplitude A at a bin centre gives |X| = A * N / 4.
    for (int n = 0; n < kFftSize; ++n) {
        window_[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * n / kFftSize));
    }
}

Spectrum::~Spectrum() { kiss_fftr_free(config_); }

void Spectrum::Compute(const float* samples, float* out) {
    for (int n = 0; n < kFftSize; ++n) input_[n] = samples[n] * window_[n];
    auto* bins = reinterpret_cast<kiss_fft_cpx*>(output_.data());
    kiss_fftr(config_, input_.data(), bins);
    const float scale = 4.0f / kFftSize;
    for (int k = 0; k < kSpectrumBins; ++k) {
        out[k] = std::sqrt(bins[k].r * bins[k].r + bins[k].i * bins[k].i) * scale;
    }
}

}  // namespace audio
