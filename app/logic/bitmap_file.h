// Bitmap files of the program, read and written by the project's codec (the engine's),
// so every picture the program loads or saves takes one way: every variant the codec
// reads, and 32-bit, bottom-up files written through a temporary name and a rename.
#pragma once

#include "bmp.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace bitmap_file {

// Images of at most `size`: a larger one is refused from its header, before its pixels take
// any memory. The default bound is the largest image the engine takes.
bmp::Limits at_most(QSize size);
bmp::Limits largest_image();

// Reads the file into a 32-bit image (Format_RGB32). On failure `image` is unchanged.
bmp::Status read(const QString& path, QImage& image, const bmp::Limits& limits = largest_image());
// Writes the image as a 32-bit bitmap; the file under `path` is the old one or the
// complete new one. False on failure.
bool write(const QString& path, const QImage& image);
// The same, raising std::runtime_error "Cannot create file "PATH"." with the system's
// reason on failure.
void write_or_raise(const QString& path, const QImage& image);

// Writes the image in one of Qt's formats ("PNG") through a temporary name and a rename, as
// the bitmaps are written: the file under `path` is the old one or the complete new one.
// False on failure.
bool write_picture(const QString& path, const QImage& image, const char* format);

} // namespace bitmap_file
