#include "window_capture.h"

#include <X11/Xutil.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

namespace QuenrilEQ {
namespace editorhost {

namespace {

// Position and width of a colour channel inside a pixel value.
struct Channel {
  int shift = 0;
  int bits = 0;
};

Channel channelOf(unsigned long mask) {
  Channel c;
  if (mask == 0) return c;
  while (!(mask & 1ul)) {
    mask >>= 1;
    ++c.shift;
  }
  while (mask & 1ul) {
    mask >>= 1;
    ++c.bits;
  }
  return c;
}

std::uint8_t to8Bits(unsigned long pixel, Channel c) {
  if (c.bits == 0) return 0;
  const unsigned long value = (pixel >> c.shift) & ((1ul << c.bits) - 1);
  return static_cast<std::uint8_t>(value * 255 / ((1ul << c.bits) - 1));
}

int onlyNoteError(Display*, XErrorEvent*) { return 0; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool CaptureWindow(Display* display, Window window, RgbImage& image) {
  if (!display || !window) return false;
  XSync(display, False);
  // A window that vanished must give "false", not Xlib's exit on BadWindow.
  auto previous = XSetErrorHandler(onlyNoteError);
  XWindowAttributes attributes;
  XImage* shot = nullptr;
  if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
    shot = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                     static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (!shot) return false;

  const Channel red = channelOf(shot->red_mask);
  const Channel green = channelOf(shot->green_mask);
  const Channel blue = channelOf(shot->blue_mask);
  image.width = shot->width;
  image.height = shot->height;
  image.rgb.assign(static_cast<std::size_t>(image.width) * image.height * 3, 0);
  std::size_t at = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const unsigned long pixel = XGetPixel(shot, x, y);
      image.rgb[at++] = to8Bits(pixel, red);
      image.rgb[at++] = to8Bits(pixel, green);
      image.rgb[at++] = to8Bits(pixel, blue);
    }
  }
  XDestroyImage(shot);
  return red.bits > 0 && green.bits > 0 && blue.bits > 0;
}

bool WritePng(const RgbImage& image, const std::string& path) {
  if (image.width < 1 || image.height < 1 ||
      image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3)
    return false;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
               8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool ReadPng(const std::string& path, RgbImage& image) {
  png_image reader{};
  reader.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&reader, path.c_str())) return false;
  reader.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(reader));
  if (!png_image_finish_read(&reader, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&reader);
    return false;
  }
  image.width = static_cast<int>(reader.width);
  image.height = static_cast<int>(reader.height);
  image.rgb = std::move(pixels);
  return true;
}

ImageFacts FactsOf(const RgbImage& image, unsigned long backgroundRgb) {
  ImageFacts facts;
  std::set<unsigned long> colours;
  long like = 0, total = 0;
  const int br = (backgroundRgb >> 16) & 0xff, bg = (backgroundRgb >> 8) & 0xff, bb = backgroundRgb & 0xff;
  for (int y = 0; y < image.height; y += 4) {
    for (int x = 0; x < image.width; x += 4) {
      const std::size_t at = (static_cast<std::size_t>(y) * image.width + x) * 3;
      const int r = image.rgb[at], g = image.rgb[at + 1], b = image.rgb[at + 2];
      if (colours.size() < 10000) colours.insert((r << 16) | (g << 8) | b);
      if (std::abs(r - br) <= 8 && std::abs(g - bg) <= 8 && std::abs(b - bb) <= 8) ++like;
      ++total;
    }
  }
  facts.distinctColours = static_cast<int>(colours.size());
  facts.fractionLikeBackground = total ? static_cast<double>(like) / total : 1.0;
  return facts;
}

}  // namespace editorhost
}  // namespace QuenrilEQ
