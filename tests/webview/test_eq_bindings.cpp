// The display curves against the response of the same bands designed here,
// the argument rules, and the waveform read back after real processing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "band_design.h"
#include "band_response.h"
#include "eq_bindings.h"
#include "plugin_fixture.h"
#include "processor_rig.h"
#include "waveform_ring.h"

using nlohmann::json;
using namespace QuenrilEQ;

namespace {

struct BandSetting {
  int index;
  double shape, freq, gain, q, slope;  // normalised
};

class EqBindingsTest : public qeqtest::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    bindings.Bind(&view);
  }
  void enable(const BandSetting& s) {
    const double values[] = {1.0, s.shape, s.freq, s.gain, s.q, s.slope};
    for (int field = 0; field < 6; ++field) controller->setParamNormalized(bandParamId(s.index, field), values[field]);
  }
  // The reference: the band designed from plain values worked out here, at `rate`.
  static EqBand designed(const BandSetting& s, double rate) {
    EqBand band;
    band.enabled = true;
    designBand(band, int(std::lround(s.shape * 8)), 20.0 * std::pow(1100.0, s.freq), s.gain * 60.0 - 30.0,
               0.025 * std::pow(1600.0, s.q), int(std::lround(s.slope * 4)), rate);
    return band;
  }
  static double gridHz(int k, int n) { return 20.0 * std::pow(1100.0, double(k) / double(n - 1)); }
  static double levelDb(std::complex<double> h) { return 20.0 * std::log10(std::max(std::abs(h), 1e-12)); }

  EqBindings bindings{controller.get()};
};

TEST_F(EqBindingsTest, PointCountsFollowTheArgumentRules) {
  for (const json& p : answerJson("getEqCurve", json::array())) EXPECT_EQ(p["db"].get<double>(), 0.0) << "no band: flat";
  EXPECT_EQ(answer("getEqBandCurves", json::array()), "[]");
  enable({0, 0.0, 0.6, 0.7, 0.5, 0.0});
  struct Case { json params; size_t curve, bands, wave; };
  const Case cases[] = {  // defaults, clamped to 16..2048 (1024 per band, 64..8192 samples), truncated, extra ignored
      {json::array(), 256, 128, 2048}, {nullptr, 256, 128, 2048},     {{"300"}, 256, 128, 2048}, {{true}, 256, 128, 2048},
      {{5}, 16, 16, 64},               {{100000}, 2048, 1024, 8192}, {{300.9}, 300, 300, 300},  {{700, 20}, 700, 700, 700},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(answerJson("getEqCurve", c.params).size(), c.curve) << c.params;
    EXPECT_EQ(answerJson("getEqBandCurves", c.params)[0]["points"].size(), c.bands) << c.params;
    EXPECT_EQ(answerJson("getEqWaveformRaw", c.params)["right"].size(), c.wave) << c.params;
  }
  // Arguments that are not an array (hand-made messages) are not answered.
  for (const char* params : {"\"abc\"", "5", "{\"a\":1}"})
    for (const char* method : {"getEqCurve", "getEqBandCurves", "getEqWaveformRaw"})
      EXPECT_TRUE(view.post(std::string(R"({"id":1,"method":")") + method + R"(","params":)" + params + "}").empty()) << method << params;
}

TEST_F(EqBindingsTest, CurvesAreTheResponseOfTheBandsDesignedAt96kHz) {
  // Every shape and slope alone: the band's curve is the sum.
  const int n = 48;
  for (int shape = 0; shape < 9; ++shape)
    for (int slope = 0; slope < 5; ++slope) {
      const BandSetting s{9, shape / 8.0, 0.45, 0.85, 0.3 + 0.05 * slope, slope / 4.0};
      enable(s);
      const json curve = answerJson("getEqCurve", {n}), band = answerJson("getEqBandCurves", {n});
      ASSERT_EQ(band.size(), 1u);
      ASSERT_EQ(band[0]["band"], 9);
      for (int k = 0; k < n; ++k) {
        ASSERT_NEAR(curve[k]["freqHz"].get<double>(), gridHz(k, n), 1e-9 * gridHz(k, n));
        ASSERT_NEAR(curve[k]["db"].get<double>(), levelDb(bandResponse(designed(s, 96000.0), gridHz(k, n), 96000.0)), 1e-7) << shape << "/" << slope;
        ASSERT_EQ(band[0]["points"][k], curve[k]);
      }
    }
  // Four bands together; a notch on a grid point stops at -240 dB. The 22 kHz cut is drawn as
  // designed at 96 kHz: at 44.1 kHz it would sit at 19845 Hz and read more than 1 dB lower at 20 kHz.
  controller->setParamNormalized(bandParamId(9, kFieldEnabled), 0.0);
  const BandSetting bell{0, 0.0, 0.6, 0.7, 0.5, 0.0}, shelf{4, 2.0 / 8, 0.3, 0.2, 0.4, 0.5}, cut{23, 4.0 / 8, 1.0, 0.5, 0.55, 0.75},
      notch{7, 5.0 / 8, 0.6, 0.5, 0.0, 1.0};
  std::array<EqBand, kNumBands> reference{};
  for (const BandSetting& s : {bell, shelf, cut, notch}) enable(s), reference[size_t(s.index)] = designed(s, 96000.0);
  const json curve = answerJson("getEqCurve", {16}), perBand = answerJson("getEqBandCurves", {16});
  ASSERT_EQ(perBand.size(), 4u);
  for (int k = 0; k < 16; ++k) {
    EXPECT_NEAR(curve[k]["db"].get<double>(), levelDb(combinedResponse(reference, gridHz(k, 16), 96000.0)), 1e-7) << k;
    for (int b = 0; b < 4; ++b)
      EXPECT_NEAR(perBand[b]["points"][k]["db"].get<double>(),
                  levelDb(bandResponse(reference[perBand[b]["band"].get<size_t>()], gridHz(k, 16), 96000.0)), 1e-7) << b << " " << k;
  }
  EXPECT_EQ(perBand[3]["band"], 23);
  EXPECT_LT(curve[9]["db"].get<double>(), -200.0);
}

TEST_F(EqBindingsTest, WaveformIsTheNewestProcessedOutput) {
  // The only test in this program that processes audio: the rings start empty here.
  ASSERT_EQ(waveformRing(0).writeCount.load(), 0u);
  json wave = answerJson("getEqWaveformRaw", json::array());
  EXPECT_EQ(wave["sampleRate"], 48000.0);
  for (const json& s : wave["left"]) ASSERT_EQ(s, 0.0);

  QuenrilEQ::testing::ProcessorRig rig(44100.0, 512, 2, 2);
  std::vector<float> left, right;
  auto run = [&](int frames, int offset) {
    for (int i = 0; i < frames; ++i) {
      rig.buffers.input(0, 0)[i] = 0.001f * float((offset + i) % 700);
      rig.buffers.input(0, 1)[i] = -0.002f * float((offset + i) % 300);
    }
    rig.run(frames);
    left.insert(left.end(), rig.buffers.output(0, 0), rig.buffers.output(0, 0) + frames);
    right.insert(right.end(), rig.buffers.output(0, 1), rig.buffers.output(0, 1) + frames);
  };
  run(100, 0);
  // Fewer samples written than asked for: the oldest come from the untouched end of the ring.
  wave = answerJson("getEqWaveformRaw", {164});
  EXPECT_EQ(wave["sampleRate"], 44100.0);
  for (int j = 0; j < 164; ++j) EXPECT_EQ(wave["left"][j].get<double>(), j < 64 ? 0.0 : double(left[size_t(j - 64)])) << j;
  for (int block = 0; block < 20; ++block) run(512, 100 + 512 * block);
  wave = answerJson("getEqWaveformRaw", {8192});
  for (size_t j = 0; j < 8192; ++j) {
    ASSERT_EQ(wave["left"][j].get<double>(), double(left[left.size() - 8192 + j])) << j;
    ASSERT_EQ(wave["right"][j].get<double>(), double(right[right.size() - 8192 + j])) << j;
  }
  EXPECT_NE(wave["left"][8191], 0.0) << "the signal really went through";
}

}  // namespace
