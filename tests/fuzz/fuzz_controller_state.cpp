// Fuzzes the two streams a host hands the controller when it restores a
// project: its own state (setState, then getState must write a complete,
// well-formed stream) and the processor's state (setComponentState, after
// which every parameter must still hold a normalised value). The first byte
// picks the stream; the rest is the stream.
#include <cstring>

#include "controller_state.h"
#include "fuzz_support.h"

using namespace QuenrilEQ;
using fuzzing::check;
using fuzzing::le32;
using QuenrilEQ::testing::streamOf;

namespace {

void checkControllerStream(QuenrilEQController& controller, const std::uint8_t* data, size_t size) {
  check(controller.setState(streamOf(std::vector<char>(data, data + size))) == Steinberg::kResultOk);
  auto out = Steinberg::owned(new Steinberg::MemoryStream());
  check(controller.getState(out) == Steinberg::kResultOk);
  // "GQEQ" ('QEQG' little-endian), version 1, 4 bytes kept, the text's length with its zero, the text without any other zero.
  const auto* b = reinterpret_cast<const std::uint8_t*>(out->getData());
  const size_t written = static_cast<size_t>(out->getSize());
  check(written >= 17 && std::memcmp(b, "GQEQ", 4) == 0 && le32(b + 4) == 1);
  const std::int32_t n = le32(b + 12);
  check(n >= 1 && written == 16 + static_cast<size_t>(n) && b[15 + n] == 0);
  check(std::memchr(b + 16, 0, static_cast<size_t>(n - 1)) == nullptr);

  // What a well-formed input carried comes back unchanged.
  const bool known = size >= 8 && std::memcmp(data, "GQEQ", 4) == 0;
  check(!known || size < 12 || le32(data + 8) == le32(b + 8));
  if (!known || size < 16) return;
  const std::int32_t length = le32(data + 12);
  if (length >= 1 && length <= kMaxControllerStateText && size - 16 >= static_cast<size_t>(length)) {
    const size_t text = strnlen(reinterpret_cast<const char*>(data + 16), static_cast<size_t>(length));
    check(static_cast<size_t>(n - 1) == text && std::memcmp(data + 16, b + 16, text) == 0);
  }
}

void checkComponentStream(QuenrilEQController& controller, const std::uint8_t* data, size_t size) {
  // Refused exactly when the magic or the version is missing; values are in range either way.
  const bool header = size >= 8 && std::memcmp(data, "1QEQ", 4) == 0;
  check((controller.setComponentState(streamOf(std::vector<char>(data, data + size))) == Steinberg::kResultOk) ==
        header);
  check(fuzzing::controllerValuesInRange(controller));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  QuenrilEQController& controller = *fuzzing::fuzzController().controller;
  if (size == 0) return 0;
  (data[0] & 1 ? checkComponentStream : checkControllerStream)(controller, data + 1, size - 1);
  return 0;
}
