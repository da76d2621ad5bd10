// The window's drawn pictures: the four legend backgrounds, the button icons and the
// program's icon.
#pragma once

#include <QIcon>
#include <QImage>

namespace artwork {

enum class LegendTitle { retardation, angle, transmission, live };

// A 50 x 240 legend background: a two-pixel frame, the title in the top 40 rows, an
// empty bar frame (white interior columns 12..22, rows 47..136, bottom line row 137) with
// a tick at row 92, and a scale bar (rows 156..168). Identical below row 40.
QImage legend_background(LegendTitle title);

QIcon diskette_icon();    // 16 x 16
QIcon open_folder_icon(); // 21 x 20
QIcon program_icon();     // 32 x 32

} // namespace artwork
