// The shipped editor page in the embedded browser with the real plug-in
// behind it: quenrileq-editor loads the bundle, feeds the processor audio and
// carries the page's edits to it as a host does. The screenshots are kept in
// artifacts/editor/ for people to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "editor_session.h"
#include "parameters.h"

namespace {

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

// Double-clicks empty graph space a quarter down from the top, half way across, with the pointer
// events a real double click brings, then presses the Up arrow on the graph. Reports where it
// clicked as fractions of the plot.
const char* const kEdit = R"JS(
(function () {
  var s = document.getElementById('graph-wrap'), r = s.getBoundingClientRect(), p = QEQ.graph.plot();
  var x = Math.round(r.left + p.x + p.w * 0.5), y = Math.round(r.top + p.y + p.h * 0.25);
  var at = { bubbles: true, cancelable: true, clientX: x, clientY: y, button: 0, pointerId: 1, pointerType: 'mouse', isPrimary: true };
  for (var click = 1; click <= 2; click++) {
    s.dispatchEvent(new PointerEvent('pointerdown', Object.assign({ buttons: 1 }, at)));
    s.dispatchEvent(new PointerEvent('pointerup', at));
    s.dispatchEvent(new MouseEvent('click', Object.assign({ detail: click }, at)));
  }
  s.dispatchEvent(new MouseEvent('dblclick', Object.assign({ detail: 2 }, at)));
  s.dispatchEvent(new KeyboardEvent('keydown', { key: 'ArrowUp', bubbles: true, cancelable: true }));
  return { edit: { u: (x - r.left - p.x) / p.w, v: (y - r.top - p.y) / p.h, width: s.clientWidth } };
})()
)JS";

// At the end: errors, the page's values, and what this instance's analysis got.
const char* const kFinal = R"JS(
(function () {
  var a = QEQ.live.analysis(), near1k = -999;
  if (a) for (var i = 0; i < a.freqHz.length; i++) if (a.freqHz[i] > 900 && a.freqHz[i] < 1100) near1k = Math.max(near1k, a.post[i]);
  return { final: { errors: window.__qeqErrors === undefined ? null : window.__qeqErrors, values: QEQ.store.snapshot(),
                    linked: QEQ.live.linked(), sampleRate: QEQ.live.sampleRate(), outputRmsDb: a ? a.outputRmsDb : -999, levelAt1k: near1k } };
})()
)JS";

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct EditorRun {
  qeqtest::CommandRun tool;
  std::map<std::string, nlohmann::json> states;  // "before", "after"
  nlohmann::json edit, final;
};

EditorRun runEditor(const std::string& signal, const std::string& edit, const std::string& final, double linger, const std::string& shot) {
  EditorRun run;
  run.tool = qeqtest::RunCommand(quoted(QEQ_EDITOR_TOOL) + " --plugin " + quoted(QEQ_BUNDLE_PATH) + " --signal " + signal +
                                 " --seconds 45 --linger " + std::to_string(linger) + " --print-state --init " + quoted(kErrorCollector) +
                                 " --wait-for " + quoted("document.body && document.body.dataset.ready === 'true'") + " --eval " +
                                 quoted(edit) + " --exit-eval " + quoted(final) + " --screenshot " + quoted(shot));
  std::istringstream lines(run.tool.output);
  for (std::string line; std::getline(lines, line);) {
    const auto space = line.find(' ', 16);
    const nlohmann::json value = nlohmann::json::parse(line.rfind("processor-state ", 0) == 0 ? line.substr(space + 1) : line, nullptr, false);
    if (line.rfind("processor-state ", 0) == 0) run.states[line.substr(16, space - 16)] = value;
    else if (value.is_object() && value.contains("edit")) run.edit = value["edit"];
    else if (value.is_object() && value.contains("final")) run.final = value["final"];
  }
  return run;
}

double valueOf(const nlohmann::json& values, int id) {
  const std::string key = std::to_string(id);
  return values.is_object() && values.contains(key) && values[key].is_number() ? values[key].get<double>() : NAN;
}

// One run: wait until the page has read all 314 values, add a band by double-clicking the graph
// and raise its gain with the arrow key (the page's own event handlers), then compare the
// processor's state before and after, the page's values with the processor's, and look for
// script errors.
TEST(RealPage, AnEditMadeOnThePageReachesTheProcessor) {
  const std::string shot = qeqtest::ArtifactPath("real-page.png");
  std::remove(shot.c_str());
  const EditorRun run = runEditor("noise", kEdit, kFinal, 2.5, shot);
  ASSERT_EQ(run.tool.status, 0) << run.tool.output;
  ASSERT_TRUE(run.edit.is_object() && run.final.is_object()) << run.tool.output;
  const nlohmann::json &before = run.states.at("before"), &after = run.states.at("after"), &page = run.final["values"];
  ASSERT_TRUE(before.size() == 314 && after.size() == 314 && page.size() == 314) << run.tool.output;

  // The graph spans 20 Hz .. 22 kHz logarithmically, exactly the frequency parameter's mapping, and
  // +30 .. -30 dB top to bottom, the gain's range: the click's place on the plot is the normalised
  // value. One pixel of rounding is allowed; the arrow adds half a decibel.
  const double u = run.edit["u"].get<double>(), v = run.edit["v"].get<double>(), pixel = 2.0 / run.edit["width"].get<double>();
  EXPECT_NEAR(u, 0.5, pixel);
  EXPECT_NEAR(v, 0.25, 4 * pixel);
  EXPECT_LT(valueOf(before, 2000), 0.5) << "band 1 should start disabled";
  EXPECT_EQ(valueOf(after, 2000), 1.0) << "band 1 was not enabled in the processor";
  EXPECT_EQ(valueOf(after, 2001), 0.0) << "a click in mid-range makes a bell";
  EXPECT_NEAR(valueOf(after, 2002), u, 1e-5);
  EXPECT_NEAR(valueOf(after, 2003), (1.0 - v) + 0.5 / 60.0, 1e-5);
  // Nothing else moved in the processor, and the page shows what it holds.
  for (const auto& [key, value] : after.items()) {
    const int id = std::stoi(key);
    EXPECT_TRUE((id >= 2000 && id <= 2003) || value.get<double>() == valueOf(before, id)) << "parameter " << id;
    EXPECT_NEAR(valueOf(page, id), value.get<double>(), 1e-6) << "parameter " << id;
  }
  // No script errors anywhere in the run, and the instance's own analysis fed by the processor
  // (noise at -12 dBFS peak, then the +15.5 dB bell: clearly not silence).
  ASSERT_TRUE(run.final["errors"].is_array()) << "the error collector did not run";
  EXPECT_TRUE(run.final["errors"].empty()) << run.final["errors"].dump(2);
  EXPECT_EQ(run.final["linked"], true) << "the editor has no link to its processor";
  EXPECT_EQ(run.final["sampleRate"].get<double>(), 48000.0);
  EXPECT_GT(run.final["outputRmsDb"].get<double>(), -30.0);
  EXPECT_GT(run.final["levelAt1k"].get<double>(), -60.0);
  QuenrilEQ::editorhost::RgbImage image;
  ASSERT_TRUE(QuenrilEQ::editorhost::ReadPng(shot, image));
  EXPECT_TRUE(image.width == 1400 && image.height == 900);
  const qeqtest::ImageFacts facts = qeqtest::FactsOf(image, QuenrilEQ::editorhost::EditorFrame::kBackground);
  EXPECT_GT(facts.distinctColours, 100);
  EXPECT_LT(facts.fractionLikeBackground, 0.001) << "the page does not cover the window";
}

// A dynamic band at 1 kHz under tone bursts: the page shows its gain taken down while a burst
// sounds and given back in the pauses, as it happens.
TEST(RealPage, ADynamicBandsLiveGainMovesWithTheMusic) {
  char edit[1024];
  std::snprintf(edit, sizeof edit, R"JS(
(function () {
  function set(id, v) { beginEdit(id); performEdit(id, v); setParamNormalized(id, v); endEdit(id); }
  set(2000, 1); set(2002, %.9f); set(2003, %.9f); set(2007, 1); set(2008, %.9f);
  window.__gains = [];
  setInterval(function () { var b = QEQ.live.band(0); if (b) window.__gains.push(b.gainDb); }, 40);
  return { edit: true };
})()
)JS", QuenrilEQ::freqToNormalized(1000.0), QuenrilEQ::gainToNormalized(9.0), QuenrilEQ::thresholdToNormalized(-30.0));
  const EditorRun run = runEditor("burst:1000", edit, "({ final: { gains: window.__gains, errors: window.__qeqErrors } })", 4.0,
                                  qeqtest::ArtifactPath("live-gain.png"));
  ASSERT_EQ(run.tool.status, 0) << run.tool.output;
  ASSERT_TRUE(run.final.is_object()) << run.tool.output;
  EXPECT_TRUE(run.final["errors"].empty()) << run.final["errors"].dump(2);
  const std::vector<double> gains = run.final["gains"].get<std::vector<double>>();
  ASSERT_GT(gains.size(), 20u) << "the page saw no live gain";
  EXPECT_NEAR(*std::max_element(gains.begin(), gains.end()), 9.0, 0.5) << "back to the static gain in the pauses";
  EXPECT_LT(*std::min_element(gains.begin(), gains.end()), 4.0) << "taken down during the bursts";
}

}  // namespace
