#include "text.h"

#include <cstring>

namespace QuenrilEQ {
namespace host {

namespace {
void appendCodePoint (std::string& out, char32_t cp)
{
	if (cp < 0x80)
	{
		out += static_cast<char> (cp);
	}
	else if (cp < 0x800)
	{
		out += static_cast<char> (0xC0 | (cp >> 6));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
	else if (cp < 0x10000)
	{
		out += static_cast<char> (0xE0 | (cp >> 12));
		out += static_cast<char> (0x80 | ((cp >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
	else
	{
		out += static_cast<char> (0xF0 | (cp >> 18));
		out += static_cast<char> (0x80 | ((cp >> 12) & 0x3F));
		out += static_cast<char> (0x80 | ((cp >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
}

bool isHighSurrogate (char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate (char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
} // namespace

std::string toUtf8 (const Steinberg::char16* text, size_t maxUnits)
{
	std::string out;
	if (!text)
		return out;
	for (size_t i = 0; i < maxUnits && text[i] != 0; ++i)
	{
		char32_t unit = static_cast<char16_t> (text[i]);
		if (isHighSurrogate (unit) && i + 1 < maxUnits && isLowSurrogate (static_cast<char16_t> (text[i + 1])))
		{
			char32_t low = static_cast<char16_t> (text[++i]);
			appendCodePoint (out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
		}
		else if (isHighSurrogate (unit) || isLowSurrogate (unit))
		{
			appendCodePoint (out, 0xFFFD);
		}
		else
		{
			appendCodePoint (out, unit);
		}
	}
	return out;
}

std::string fromField (const char* field, size_t fieldSize)
{
	const void* end = std::memchr (field, 0, fieldSize);
	size_t length = end ? static_cast<size_t> (static_cast<const char*> (end) - field) : fieldSize;
	return std::string (field, length);
}

} // namespace host
} // namespace QuenrilEQ
