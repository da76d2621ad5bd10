// The background images a measurement divides by: the four angle images of the empty field
// recorded under the same objective, optic, frame size and wavelength, whose file names
// begin with one prefix ("04x_o_640 x 480_550_"). A set is used whole or not at all.
#pragma once

#include "saturation.h"

#include <QSize>
#include <QString>
#include <QStringList>

namespace background_set {

struct Check {
    enum class Verdict {
        none,       // no image of the set: the measurement is not corrected
        complete,   // four images of the frame size: the measurement divides by them
        incomplete, // some are missing: `files` names them
        unfit,      // of another size than the frames, or unreadable: `files` says how
        mixed,      // stored at different times: of two collections, one cut short
    } verdict = Verdict::none;
    QStringList files;
    // Images of a complete set that can hardly be the empty field ("45.bmp: mostly black").
    QStringList implausible;
};

// The background images `prefix` + "0.bmp" ... "135.bmp" against frames of `frame` size,
// with `sample` what the engine reads of a pixel.
Check check(const QString& prefix, QSize frame, saturation::Channel sample);

// "04x_o_640 x 480_550": the settings a prefix stands for, without its folder.
QString settings_name(const QString& prefix);

} // namespace background_set
