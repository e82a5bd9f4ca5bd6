// UTF-8 <-> UTF-16 conversion for strings crossing between the page (UTF-8)
// and the VST 3 SDK (UTF-16). Lenient both ways: what cannot be converted
// becomes U+FFFD, so the result is always well-formed and never throws.
#pragma once

#include <cstddef>
#include <string>

namespace webbridge {

/// Converts UTF-16 code units (host byte order) up to the first zero unit or
/// `maxUnits`, whichever comes first. Lone surrogates become U+FFFD.
/// Any thread.
std::string utf16ToUtf8(const char16_t* text, std::size_t maxUnits);

/// Converts UTF-8 to UTF-16. Malformed sequences (stray continuation bytes,
/// truncated or overlong sequences, encoded surrogates, values above
/// U+10FFFF) become one U+FFFD each. Any thread.
std::u16string utf8ToUtf16(const std::string& text);

}  // namespace webbridge
