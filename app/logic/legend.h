// One legend of the result display, drawn on its stored background: the colour bar, the
// value labels, the image scale under the scale bar and the wavelength.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>

namespace legend {

enum class Bar { false_colour, grey };

struct Content {
    Bar bar = Bar::grey;
    // The |sin(d)| legend: its title with the delta over the stored one, and top and
    // middle labels that change, so they are cleared first.
    bool retardation = false;
    QString top, middle, bottom;
    QString scale;      // "0.25mm"; "mm" alone without an objective
    QString wavelength; // as typed
};

// The legends' serif face at a size in points of the window's 96 pixels per inch.
QFont font(int points);

// Draws everything of `content` on the image, which holds the legend's background.
void draw(QImage& image, const Content& content);

} // namespace legend
