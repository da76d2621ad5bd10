// Drawing on a 32-bit image as the window's canvases draw: text on an opaque white cell and
// the selection rectangle in exclusive-or mode. The picture controls draw through these, and
// the legends, which are drawn without a window, too.
#pragma once

#include <QImage>
#include <QString>

class QFont;

namespace canvas {

// Writes `text` in `font`: black glyphs on an opaque white cell whose top left corner is
// (x, y), as wide as the text advances and as high as the font's line, so a text drawn
// over a shorter one covers it.
void text_out(QImage& image, int x, int y, const QString& text, const QFont& font);

// The selection rectangle as drawn in exclusive-or mode with a black 1-pixel pen and a
// white brush: the figure covers the columns from the smaller of `left` and `right` up to,
// not including, the larger, and the rows likewise; its border (the black pen) stays as it
// is and its inside (the white brush) is inverted. Drawn twice it leaves every pixel as it
// was.
void xor_rectangle(QImage& image, int left, int top, int right, int bottom);

} // namespace canvas
