// The pixel arithmetic of frame integration and calibration: the per-pixel, per-channel
// sums of a run of frames and their rounded mean, and the two combinations of two
// integrations (their mean, and their mean relative to a background image). Images are
// 32 bits per pixel (QImage::Format_RGB32: bytes blue, green, red, spare).
#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <vector>

namespace frames {

// The sums of a run of frames, sized from the frames themselves.
class Accumulator {
  public:
    // Starts the sums with this frame, taking its size.
    void store(const QImage& frame);
    // Adds a frame; raises std::invalid_argument when its size is not the sums' size.
    void add(const QImage& frame);
    QSize size() const { return {width_, height_}; }
    // The mean over `frames` frames of the sums' size: every channel of every pixel is
    // its sum divided by `frames`, rounded to the nearest integer, ties to the even one.
    QImage mean(int frames) const;
    // The sums themselves, four per pixel in the order of the frame's bytes.
    const std::vector<int32_t>& sums() const { return sums_; }

  private:
    int width_ = 0, height_ = 0;
    std::vector<int32_t> sums_; // four per pixel, in the order of the frame's bytes
};

// The channels a combined pixel keeps: all three, one of them (the others become 0), or
// none (the pixel is left as it was).
enum class Channels { all, red, green, blue, none };

// p := per channel floor((p + q) / 2). Raises std::runtime_error when q's size is not p's.
void mean_into(QImage& p, const QImage& q, Channels keep);
// p := per channel round((p + q) x 100 / r), ties to the even one, at most 255; where a
// channel of r is 0 it takes p's value. A mean equal to the background becomes 200.
// Raises std::runtime_error when q's or r's size is not p's.
void normalized_mean_into(QImage& p, const QImage& q, const QImage& r, Channels keep);

} // namespace frames
