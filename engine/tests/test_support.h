// Shared fixtures of the engine tests: temporary folders and the engine loaded as the
// program loads it.
#pragma once

#include "bmp.h"

#include <cstdint>
#include <string>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // The folder, ending with "/".
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

// libtarnwick.so, loaded with dlopen for each call and unloaded again.
int32_t execute_engine(const std::string& options);

bool file_exists(const std::string& path);
std::string read_bytes(const std::string& path);

// An image of `width` x `height` whose pixel (x, y) is f(x, y) as 0x00RRGGBB.
template <class F> bmp::Image make_image(int32_t width, int32_t height, F f) {
    bmp::Image img;
    img.width = width;
    img.height = height;
    img.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            img.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                       static_cast<size_t>(x)] = f(x, y);
    return img;
}

// Grey pixel of level v.
inline uint32_t grey(unsigned v) {
    return v * 0x010101u;
}

} // namespace testing_support
