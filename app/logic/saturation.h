// Clipped pixels of an integrated image. A sample at 255 may stand for any brighter
// light, so where the camera clips at one polarizer angle the engine computes a wrong
// |sin(d)| without noticing; the measurement warns of it instead.
#pragma once

#include <QImage>

namespace saturation {

// Clipped pixels of an integrated image, in per cent, beyond which a measurement is not to
// be trusted: the operator is told, and its status is not "Ready".
constexpr double limit_percent = 0.1;

// The sample the engine reads of a pixel: one colour channel, or the mean of the three
// (monochrome), which is wrong as soon as any one of them clips.
enum class Channel { red, green, blue, mean };

// The share of the image's pixels, in per cent, whose sample the engine reads is clipped:
// 255 in the channel, or for the mean 255 in any of the three. 0 for an empty image.
double clipped_percent(const QImage& image, Channel channel);

} // namespace saturation
