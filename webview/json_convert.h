// Conversions of page-supplied JSON values shared by every binding set.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

namespace webbridge {

/// Reads a JSON number or boolean as a 32-bit int: true/false give 1/0,
/// integers keep their low 32 bits, doubles are truncated toward zero
/// (NaN gives 0, values beyond the int range saturate). Any other type
/// throws the library's type_error 302 ("type must be number, but is ...").
inline int jsonToInt(const nlohmann::json& value) {
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (std::isnan(d)) return 0;
    if (d <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (d >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(d);
  }
  if (value.is_number_unsigned())
    return static_cast<int>(static_cast<std::uint32_t>(value.get<std::uint64_t>()));
  if (value.is_number_integer())
    return static_cast<int>(static_cast<std::uint32_t>(value.get<std::int64_t>()));
  return value.get<int>();  // booleans convert; everything else throws 302
}

/// The bridge's one serialisation: compact, keys ascending, UTF-8 written
/// unescaped. A string holding invalid UTF-8 throws type_error 316.
inline std::string jsonCompact(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

}  // namespace webbridge
