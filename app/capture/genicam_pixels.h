// The pixels of GenICam cameras as the window takes them: 32-bit RGB of 8 bits a sample.
// A GenICam frame comes in the camera's pixel format, named by the GenICam standard
// (Pixel Format Naming Convention) and numbered as Aravis numbers it.
#pragma once

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace capture {

// The pixel formats read: Mono8, Mono10, Mono12, Mono16, RGB8, BGR8, and the Bayer formats
// BayerRG, BayerGR, BayerGB and BayerBG of 8, 10, 12 and 16 bits. Samples of more than 8
// bits come in 16-bit little-endian words, 10, 12 or 16 of them significant.
bool is_readable_pixel_format(uint32_t format);

// The significant bits of a sample of the format: 8, 10, 12 or 16; 0 for a format that is
// not read.
int pixel_format_bits(uint32_t format);

// The frame of `width` x `height` pixels in `data` (`size` bytes, rows without padding) as
// a Format_RGB32 image. Samples of more than 8 bits keep their 8 most significant of
// `significant_bits` (the format's own when 0; fewer when the camera's sensor fills only
// part of the word): brighter samples than that clip at 255. Bayer frames are demosaiced
// with libdc1394's high-quality linear interpolation. A null image for a format that is
// not read or data shorter than the frame.
QImage genicam_image(uint32_t format, int width, int height, const void* data, size_t size,
                     int significant_bits = 0);

} // namespace capture
