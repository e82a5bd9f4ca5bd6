// Screenshots of an X11 window, as shown on screen (child windows included),
// and PNG files of them.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#undef None

namespace QuenrilEQ {
namespace editorhost {

/// 8-bit RGB pixels, row by row, top row first.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3 bytes
};

/// Reads the window's visible contents, child windows included (XGetImage).
/// False when the window cannot be read (not mapped, gone, odd visual).
/// [the thread that owns the display connection]
bool CaptureWindow(Display* display, Window window, RgbImage& image);

/// Writes the image as an 8-bit RGB PNG file; false on any error. Any thread.
bool WritePng(const RgbImage& image, const std::string& path);

/// Reads an 8-bit RGB or RGBA PNG file (alpha dropped); false on any error.
bool ReadPng(const std::string& path, RgbImage& image);

/// Colour statistics of a screenshot, for telling a painted page from an
/// empty window.
struct ImageFacts {
  int distinctColours = 0;            // counted on a 4-pixel grid, capped at 10000
  double fractionLikeBackground = 0;  // pixels within 8 levels of the given colour
};
ImageFacts FactsOf(const RgbImage& image, unsigned long backgroundRgb);

}  // namespace editorhost
}  // namespace QuenrilEQ
