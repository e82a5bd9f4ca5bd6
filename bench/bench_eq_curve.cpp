// Cost of the editor's curve call at its largest size (2048 points, all 24
// bands enabled with the steepest slopes): the curve alone, and the whole
// page round trip through the bridge including serialisation.
#include <benchmark/benchmark.h>

#include "../tests/controller/controller_test_support.h"  // TempHome: controllers save their state under HOME
#include "controller.h"
#include "eq_bindings.h"
#include "webview/webview.h"

namespace {

using namespace QuenrilEQ;

class NullWebview final : public webbridge::Webview {
 public:
  std::size_t answerBytes = 0;
  void SetTitle(const std::string&) override {}
  void SetViewSize(int, int, webbridge::SizeHint) override {}
  std::string GetResourcesPath() override { return {}; }
  void Navigate(const std::string&) override {}
  void EvalJS(const std::string& script, std::function<void(const nlohmann::json&)>) override {
    answerBytes = script.size();
  }
  void AddInitScript(const std::string&) override {}
  void* GetNativeWindow() override { return nullptr; }
  void Terminate() override {}
  void Dispatch(std::function<void()> fn) override { fn(); }
};

// Every band on, shapes cycling through all nine, slopes at 96 dB/oct.
Steinberg::IPtr<QuenrilEQController> busyController() {
  auto controller = Steinberg::owned(new QuenrilEQController);
  controller->initialize(nullptr);
  for (int i = 0; i < kNumBands; ++i) {
    controller->setParamNormalized(bandParamId(i, kFieldEnabled), 1.0);
    controller->setParamNormalized(bandParamId(i, kFieldShape), (i % 9) / 8.0);
    controller->setParamNormalized(bandParamId(i, kFieldFreq), (i + 0.5) / kNumBands);
    controller->setParamNormalized(bandParamId(i, kFieldGain), (i % 5) / 4.0);
    controller->setParamNormalized(bandParamId(i, kFieldQ), 0.6);
    controller->setParamNormalized(bandParamId(i, kFieldSlope), 1.0);
  }
  return controller;
}

void BM_EqCurve2048(benchmark::State& state) {
  const QuenrilEQ::testing::TempHome home;
  auto controller = busyController();
  for (auto _ : state) {
    const auto bands = displayBands([&](ParamId id) { return controller->getParamNormalized(id); });
    nlohmann::json curve = eqCurve(bands, 2048);
    benchmark::DoNotOptimize(curve);
  }
  controller->terminate();
}
BENCHMARK(BM_EqCurve2048)->Unit(benchmark::kMillisecond);

void BM_GetEqCurve2048ThroughBridge(benchmark::State& state) {
  const QuenrilEQ::testing::TempHome home;
  auto controller = busyController();
  EqBindings bindings(controller.get());
  NullWebview view;
  bindings.Bind(&view);
  const std::string message = R"({"id":1,"method":"getEqCurve","params":[2048]})";
  for (auto _ : state) view.OnMessage(message);
  state.counters["answer_bytes"] = static_cast<double>(view.answerBytes);
  controller->terminate();
}
BENCHMARK(BM_GetEqCurve2048ThroughBridge)->Unit(benchmark::kMillisecond);

void BM_GetEqWaveformRaw8192(benchmark::State& state) {
  for (auto _ : state) {
    nlohmann::json wave = eqWaveformRaw(8192);
    benchmark::DoNotOptimize(wave);
  }
}
BENCHMARK(BM_GetEqWaveformRaw8192)->Unit(benchmark::kMillisecond);

}  // namespace
