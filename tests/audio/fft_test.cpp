// The spectrum's scale and order, and the played-frames history it reads.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/sample_history.h"
#include "audio/fft.h"

using namespace audio;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> Sine(double bin, double amplitude) {
    std::vector<float> s(kFftSize);
    for (int n = 0; n < kFftSize; ++n) s[n] = static_cast<float>(amplitude * std::sin(2 * kPi * bin * n / kFftSize));
    return s;
}

int Loudest(const std::vector<float>& bins) {
    int best = 0;
    for (int k = 1; k < kSpectrumBins; ++k) {
        if (bins[k] > bins[best]) best = k;
    }
    return best;
}

TEST(Spectrum, FullScaleSineAtABinCentreReadsOne) {
    Spectrum spectrum;
    std::vector<float> bins(kSpectrumBins);
    for (int bin : {4, 23, 100, 200}) {
        spectrum.Compute(Sine(bin, 1.0).data(), bins.data());
        EXPECT_EQ(Loudest(bins), bin);
        EXPECT_NEAR(bins[bin], 1.0, 0.01) << "bin " << bin;
        // The Hann window keeps the energy next to the peak: far bins are quiet.
        EXPECT_LT(bins[(bin + 64) % kSpectrumBins], 0.001) << "bin " << bin;
    }
}

TEST(Spectrum, ScalesWithAmplitudeAndSilenceIsZero) {
    Spectrum spectrum;
    std::vector<float> bins(kSpectrumBins);
    spectrum.Compute(Sine(40, 0.25).data(), bins.data());
    EXPECT_NEAR(bins[40], 0.25, 0.005);
    std::vector<float> silence(kFftSize, 0.0f);
    spectrum.Compute(silence.data(), bins.data());
    for (float b : bins) EXPECT_EQ(b, 0.0f);
}

TEST(Spectrum, LowestFrequencyFirst) {
    Spectrum spectrum;
    std::vector<float> low(kSpectrumBins), high(kSpectrumBins);
    spectrum.Compute(Sine(3, 1.0).data(), low.data());
    spectrum.Compute(Sine(150, 1.0).data(), high.data());
    EXPECT_LT(Loudest(low), Loudest(high));
}

std::vector<int16_t> StereoFrames(int count, int16_t left, int16_t right) {
    std::vector<int16_t> f;
    for (int i = 0; i < count; ++i) {
        f.push_back(left);
        f.push_back(right);
    }
    return f;
}

TEST(SampleHistory, MonoMixOfTheFramesBeforeAPosition) {
    SampleHistory history(16);
    auto a = StereoFrames(4, 16384, 0);      // mono 0.25
    auto b = StereoFrames(4, -32768, -32768);  // mono -1.0
    history.Append(a.data(), 4);
    history.Append(b.data(), 4);
    float mono[6];
    history.CopyMono(6, 6, mono);  // frames 0..5
    EXPECT_FLOAT_EQ(mono[0], 0.25f);
    EXPECT_FLOAT_EQ(mono[3], 0.25f);
    EXPECT_FLOAT_EQ(mono[4], -1.0f);
    EXPECT_FLOAT_EQ(mono[5], -1.0f);
    // Before frame 0 and beyond the written end: silence.
    history.CopyMono(2, 4, mono);
    EXPECT_EQ(mono[0], 0.0f);
    EXPECT_EQ(mono[1], 0.0f);
    EXPECT_FLOAT_EQ(mono[2], 0.25f);
    history.CopyMono(10, 4, mono);
    EXPECT_FLOAT_EQ(mono[1], -1.0f);
    EXPECT_EQ(mono[2], 0.0f);
}

TEST(SampleHistory, ForgetsFramesOlderThanItsSize) {
    SampleHistory history(8);
    auto old = StereoFrames(8, 1000, 1000);
    auto recent = StereoFrames(4, 2000, -3000);
    history.Append(old.data(), 8);
    history.Append(recent.data(), 4);  // frames 0..3 are overwritten
    int16_t out[2 * 6];
    history.CopyStereo(6, 6, out);  // frames 0..5
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[6], 0);
    EXPECT_EQ(out[8], 1000);
    int left = 0, right = 0;
    history.Peak(12, 4, &left, &right);
    EXPECT_EQ(left, 2000);
    EXPECT_EQ(right, 3000);
    history.Reset();
    history.Peak(12, 4, &left, &right);
    EXPECT_EQ(left, 0);
}

}  // namespace
