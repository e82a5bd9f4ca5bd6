// Text conversions between the VST 3 interfaces' UTF-16 strings and UTF-8.
#pragma once

#include "pluginterfaces/base/ftypes.h"

#include <string>

namespace QuenrilEQ {
namespace host {

/** UTF-16 string (zero-terminated, at most maxUnits code units) to UTF-8.
 *  Unpaired surrogates become U+FFFD. Any thread. */
std::string toUtf8 (const Steinberg::char16* text, size_t maxUnits = 128);

/** Fixed-size 8-bit field (zero-terminated or filling the whole field) to a string. Any thread. */
std::string fromField (const char* field, size_t fieldSize);

} // namespace host
} // namespace QuenrilEQ
