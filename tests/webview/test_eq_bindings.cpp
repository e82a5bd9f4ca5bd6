// The display curves against an independent evaluation of the same bands,
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
    bindings = std::make_unique<EqBindings>(controller.get());
    bindings->Bind(&view);
  }
  void TearDown() override {
    bindings.reset();
    PluginFixture::TearDown();
  }

  void enable(const BandSetting& s) {
    const double values[] = {1.0, s.shape, s.freq, s.gain, s.q, s.slope};
    for (int field = 0; field < 6; ++field) controller->setParamNormalized(bandParamId(s.index, field), values[field]);
  }

  // The reference: records designed from plain values worked out here, at
  // the given rate, evaluated by the response functions.
  static EqBand referenceBand(const BandSetting& s, double rate) {
    EqBand band;
    band.enabled = true;
    designBand(band, static_cast<int>(std::lround(s.shape * 8)), 20.0 * std::pow(1100.0, s.freq),
               s.gain * 60.0 - 30.0, 0.025 * std::pow(1600.0, s.q), static_cast<int>(std::lround(s.slope * 4)), rate);
    return band;
  }
  static double gridHz(int k, int n) { return 20.0 * std::pow(1100.0, double(k) / double(n - 1)); }
  static double levelDb(std::complex<double> h) { return 20.0 * std::log10(std::max(std::hypot(h.real(), h.imag()), 1e-12)); }

  std::unique_ptr<EqBindings> bindings;
};

const BandSetting kBellBand{0, 0.0, 0.6, 0.7, 0.5, 0.0};          // +12 dB at a grid point of 16
const BandSetting kShelfBand{4, 2.0 / 8, 0.3, 0.2, 0.4, 0.5};     // high shelf, -18 dB, 24 dB/oct
const BandSetting kCutBand{23, 4.0 / 8, 1.0, 0.5, 0.55, 0.75};    // high cut at 22 kHz, 48 dB/oct

}  // namespace

TEST_F(EqBindingsTest, BindsThreeFunctionsInOrder) {
  ASSERT_EQ(view.initScripts.size(), 3u);
  EXPECT_NE(view.initScripts[0].find("'getEqCurve'"), std::string::npos);
  EXPECT_NE(view.initScripts[1].find("'getEqBandCurves'"), std::string::npos);
  EXPECT_NE(view.initScripts[2].find("'getEqWaveformRaw'"), std::string::npos);
}

TEST_F(EqBindingsTest, FlatWhenEveryBandIsDisabled) {
  const json curve = answerJson("getEqCurve", json::array());
  ASSERT_EQ(curve.size(), 256u);
  for (const json& p : curve) EXPECT_EQ(p["db"].get<double>(), 0.0);
  EXPECT_EQ(curve.front()["freqHz"].get<double>(), 20.0);
  EXPECT_EQ(curve.back()["freqHz"].get<double>(), 22000.0);
  EXPECT_EQ(answer("getEqBandCurves", json::array()), "[]");
  EXPECT_EQ(answer("getEqCurve", {16}).substr(0, 28), R"([{"db":0.0,"freqHz":20.0},{")") << "keys sorted";
}

TEST_F(EqBindingsTest, PointCountsFollowTheArgumentRules) {
  enable(kBellBand);
  struct Case { json params; size_t curve, bands, wave; };
  const Case cases[] = {
      {json::array(), 256, 128, 2048},          {nullptr, 256, 128, 2048},
      {json::object(), 256, 128, 2048},         {{5}, 16, 16, 64},
      {{100000}, 2048, 1024, 8192},             {{300.9}, 300, 300, 300},
      {{"300"}, 256, 128, 2048},                {{true}, 256, 128, 2048},
      {json::array({nullptr}), 256, 128, 2048}, {{-40}, 16, 16, 64},
      {{1e300}, 2048, 1024, 8192},              {json::array({json::array({100})}), 256, 128, 2048},
      {{700, 20}, 700, 700, 700},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(answerJson("getEqCurve", c.params).size(), c.curve) << c.params;
    const json bands = answerJson("getEqBandCurves", c.params);
    ASSERT_EQ(bands.size(), 1u) << c.params;
    EXPECT_EQ(bands[0]["points"].size(), c.bands) << c.params;
    const json wave = answerJson("getEqWaveformRaw", c.params);
    EXPECT_EQ(wave["left"].size(), c.wave) << c.params;
    EXPECT_EQ(wave["right"].size(), c.wave) << c.params;
  }
  // Arguments that are not an array (hand-made messages) are not answered.
  for (const char* params : {"\"abc\"", "5", "{\"a\":1}"}) {
    for (const char* method : {"getEqCurve", "getEqBandCurves", "getEqWaveformRaw"}) {
      EXPECT_TRUE(view.post(std::string(R"({"id":1,"method":")") + method + R"(","params":)" + params + "}").empty())
          << method << " " << params;
    }
  }
}

TEST_F(EqBindingsTest, CurvesMatchTheResponseOfTheSameBandsAt96kHz) {
  for (const BandSetting& s : {kBellBand, kShelfBand, kCutBand}) enable(s);
  std::array<EqBand, kNumBands> reference{};
  for (const BandSetting& s : {kBellBand, kShelfBand, kCutBand}) reference[size_t(s.index)] = referenceBand(s, 96000.0);

  const int n = 97;
  const json curve = answerJson("getEqCurve", {n});
  const json perBand = answerJson("getEqBandCurves", {n});
  ASSERT_EQ(curve.size(), size_t(n));
  ASSERT_EQ(perBand.size(), 3u);
  EXPECT_EQ(perBand[0]["band"], 0);
  EXPECT_EQ(perBand[1]["band"], 4);
  EXPECT_EQ(perBand[2]["band"], 23);
  for (int k = 0; k < n; ++k) {
    const double f = gridHz(k, n);
    EXPECT_NEAR(curve[k]["freqHz"].get<double>(), f, 1e-9 * f);
    EXPECT_NEAR(curve[k]["db"].get<double>(), levelDb(combinedResponse(reference, f, 96000.0)), 1e-7) << f;
    for (int b = 0; b < 3; ++b) {
      const EqBand& band = reference[perBand[b]["band"].get<size_t>()];
      EXPECT_NEAR(perBand[b]["points"][k]["db"].get<double>(), levelDb(bandResponse(band, f, 96000.0)), 1e-7) << f;
    }
  }

  // The 22 kHz cut is drawn as designed at 96 kHz, not clamped to a host
  // rate: at 44.1 kHz it would sit at 19845 Hz and read clearly lower.
  const EqBand hostRateCut = referenceBand(kCutBand, 44100.0);
  const double at20k = 20000.0;
  EXPECT_GT(levelDb(bandResponse(reference[23], at20k, 96000.0)) - levelDb(bandResponse(hostRateCut, at20k, 44100.0)), 1.0);
}

TEST_F(EqBindingsTest, EveryShapeAndSlopeMatchesItsBandResponse) {
  const int n = 48;
  for (int shape = 0; shape < 9; ++shape) {
    for (int slope = 0; slope < 5; ++slope) {
      const BandSetting s{9, shape / 8.0, 0.45, 0.85, 0.3 + 0.05 * slope, slope / 4.0};
      enable(s);
      const EqBand reference = referenceBand(s, 96000.0);
      const json curve = answerJson("getEqCurve", {n});
      const json band = answerJson("getEqBandCurves", {n});
      ASSERT_EQ(band.size(), 1u);
      ASSERT_EQ(band[0]["band"], 9);
      for (int k = 0; k < n; ++k) {
        const double expected = levelDb(bandResponse(reference, gridHz(k, n), 96000.0));
        ASSERT_NEAR(curve[k]["db"].get<double>(), expected, 1e-7) << shape << "/" << slope << " " << gridHz(k, n);
        ASSERT_EQ(band[0]["points"][k], curve[k]) << "one band alone is the sum";
      }
    }
  }
}

TEST_F(EqBindingsTest, BellReachesItsGainAtItsCentre) {
  enable(kBellBand);  // centre 20 * 1100^0.6 Hz = grid point 9 of 16
  const json curve = answerJson("getEqCurve", {16});
  EXPECT_NEAR(curve[9]["db"].get<double>(), 12.0, 1e-9);
  EXPECT_LT(std::abs(curve[0]["db"].get<double>()), 0.5) << "far below the centre the bell is flat";
  const json band = answerJson("getEqBandCurves", {16});
  for (int k = 0; k < 16; ++k) EXPECT_EQ(band[0]["points"][k], curve[k]) << "one band alone is the sum";
}

TEST_F(EqBindingsTest, NotchLevelsStopAtMinus240Decibels) {
  enable({7, 5.0 / 8, 0.6, 0.5, 0.0, 1.0});  // notch on grid point 9 of 16, widest Q
  const json curve = answerJson("getEqCurve", {16});
  double lowest = 0;
  for (const json& p : curve) lowest = std::min(lowest, p["db"].get<double>());
  EXPECT_GE(lowest, -240.0);
  EXPECT_LT(curve[9]["db"].get<double>(), -200.0);
}

TEST_F(EqBindingsTest, WaveformIsTheNewestProcessedOutput) {
  // This is the only test in this program that processes audio: the rings
  // start empty here.
  ASSERT_EQ(waveformRing(0).writeCount.load(), 0u);
  json wave = answerJson("getEqWaveformRaw", json::array());
  EXPECT_EQ(wave["sampleRate"], 48000.0);
  for (const json& s : wave["left"]) ASSERT_EQ(s, 0.0);

  // A side-chain bus too, as hosts usually hand one over.
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
  // Fewer samples written than asked for: the oldest entries come from the
  // untouched end of the ring.
  wave = answerJson("getEqWaveformRaw", {164});
  EXPECT_EQ(wave["sampleRate"], 44100.0);
  for (int j = 0; j < 64; ++j) EXPECT_EQ(wave["left"][j], 0.0) << j;
  for (int j = 0; j < 100; ++j) EXPECT_EQ(wave["left"][64 + j].get<double>(), double(left[size_t(j)])) << j;

  for (int block = 0; block < 20; ++block) run(512, 100 + 512 * block);
  ASSERT_GT(left.size(), 8192u);
  wave = answerJson("getEqWaveformRaw", {8192});
  for (size_t j = 0; j < 8192; ++j) {
    const size_t at = left.size() - 8192 + j;
    ASSERT_EQ(wave["left"][j].get<double>(), double(left[at])) << j;
    ASSERT_EQ(wave["right"][j].get<double>(), double(right[at])) << j;
  }
  EXPECT_NE(wave["left"][8191], 0.0) << "the signal really went through";
}
