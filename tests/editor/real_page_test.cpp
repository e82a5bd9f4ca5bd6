// The shipped editor page in the embedded browser with the real plug-in
// behind it: quenrileq-editor loads the bundle, feeds the processor audio and
// carries the page's edits to it as a host does. The screenshot is kept in
// artifacts/editor/ for people to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "editor_session.h"
#include "parameters.h"

namespace {

using nlohmann::json;

// Collects uncaught errors, failed resource loads, unhandled rejections and
// console.error calls (the page's frame loop reports caught errors there).
const char* const kErrorCollector = R"JS(
(function () {
  var log = window.__qeqErrors = [], original = console.error;
  window.addEventListener('error', function (e) {
    log.push('error: ' + (e.message || (e.target && (e.target.src || e.target.href)) || 'resource failed') + (e.filename ? ' @' + e.filename + ':' + e.lineno : ''));
  }, true);
  window.addEventListener('unhandledrejection', function (e) { log.push('rejection: ' + String(e.reason)); });
  console.error = function () {
    log.push('console.error: ' + Array.prototype.map.call(arguments, String).join(' '));
    return original.apply(console, arguments);
  };
})();
)JS";

// Makes band 1 a dynamic bell at 1 kHz through the page's bridge, as the
// page's own controls do, and samples the live gain the page shows for it.
const char* const kEdit = R"JS(
(function () {
  function set(id, v) { beginEdit(id); performEdit(id, v); setParamNormalized(id, v); endEdit(id); }
  var values = %s;
  for (var id in values) set(Number(id), values[id]);
  window.__gains = [];
  setInterval(function () { var b = QEQ.live.band(0); if (b) window.__gains.push(b.gainDb); }, 40);
  return { edit: true };
})()
)JS";

const char* const kFinal = R"JS(({ final: { errors: window.__qeqErrors === undefined ? null : window.__qeqErrors,
  values: QEQ.store.snapshot(), linked: QEQ.live.linked(), sampleRate: QEQ.live.sampleRate(), gains: window.__gains } }))JS";

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// One run under tone bursts at 1 kHz: the page's edits reach the processor and
// nothing else, the page shows the processor's values, the dynamic band's gain
// is taken down while a burst sounds and given back in the pauses, and the page
// runs without a script error.
TEST(RealPage, EditsReachTheProcessorAndTheLiveGainMovesWithTheMusic) {
  const json edits = {{"2000", 1.0}, {"2002", QuenrilEQ::freqToNormalized(1000.0)}, {"2003", QuenrilEQ::gainToNormalized(9.0)},
                      {"2007", 1.0}, {"2008", QuenrilEQ::thresholdToNormalized(-30.0)}};
  std::vector<char> edit(std::strlen(kEdit) + edits.dump().size());
  std::snprintf(edit.data(), edit.size(), kEdit, edits.dump().c_str());
  const std::string shot = qeqtest::ArtifactPath("real-page.png");
  std::remove(shot.c_str());
  const qeqtest::CommandRun tool = qeqtest::RunCommand(
      quoted(QEQ_EDITOR_TOOL) + " --plugin " + quoted(QEQ_BUNDLE_PATH) + " --signal burst:1000 --seconds 45 --linger 4" +
      " --print-state --init " + quoted(kErrorCollector) + " --wait-for " +
      quoted("document.body && document.body.dataset.ready === 'true'") + " --eval " + quoted(edit.data()) +
      " --exit-eval " + quoted(kFinal) + " --screenshot " + quoted(shot));
  ASSERT_EQ(tool.status, 0) << tool.output;
  std::map<std::string, json> states;  // "before", "after"
  json final;
  std::istringstream lines(tool.output);
  for (std::string line; std::getline(lines, line);) {
    const auto space = line.find(' ', 16);
    const json value = json::parse(line.rfind("processor-state ", 0) == 0 ? line.substr(space + 1) : line, nullptr, false);
    if (line.rfind("processor-state ", 0) == 0) states[line.substr(16, space - 16)] = value;
    else if (value.is_object() && value.contains("final")) final = value["final"];
  }
  ASSERT_TRUE(final.is_object()) << tool.output;
  const json &before = states["before"], &after = states["after"], &page = final["values"];
  ASSERT_TRUE(before.size() == 314 && after.size() == 314 && page.size() == 314) << tool.output;
  for (const auto& [key, value] : after.items()) {
    const int id = std::stoi(key);
    const double expected = edits.value(key, before.value(key, NAN));
    EXPECT_NEAR(value.get<double>(), expected, 1e-6) << "parameter " << id << " in the processor";
    EXPECT_NEAR(page.value(key, NAN), value.get<double>(), 1e-6) << "parameter " << id << " on the page";
  }
  ASSERT_TRUE(final["errors"].is_array()) << "the error collector did not run";
  EXPECT_TRUE(final["errors"].empty()) << final["errors"].dump(2);
  EXPECT_EQ(final["linked"], true) << "the editor has no link to its processor";
  EXPECT_EQ(final["sampleRate"].get<double>(), 48000.0);
  const std::vector<double> gains = final["gains"].get<std::vector<double>>();
  ASSERT_GT(gains.size(), 20u) << "the page saw no live gain";
  EXPECT_NEAR(*std::max_element(gains.begin(), gains.end()), 9.0, 0.5) << "back to the static gain in the pauses";
  EXPECT_LT(*std::min_element(gains.begin(), gains.end()), 4.0) << "taken down during the bursts";

  QuenrilEQ::editorhost::RgbImage image;
  ASSERT_TRUE(QuenrilEQ::editorhost::ReadPng(shot, image));
  EXPECT_TRUE(image.width == 1400 && image.height == 900);
  const qeqtest::ImageFacts facts = qeqtest::FactsOf(image, QuenrilEQ::editorhost::EditorFrame::kBackground);
  EXPECT_GT(facts.distinctColours, 100);
  EXPECT_LT(facts.fractionLikeBackground, 0.001) << "the page does not cover the window";
}

}  // namespace
