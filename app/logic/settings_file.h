// "vexolan.ini", the operator's choices from one run to the next: 20 lines in a fixed order,
// read once at the start and written whole at every orderly close.
//
//   1      the camera's device name ("None" when none could be selected)
//   2-5    steps per turn of motors 1 to 4, one integer a line
//   6-9    acceleration setting of motors 1 to 4
//   10-13  speed setting of motors 1 to 4
//   14     frame-size choice: 1 320 x 240, 2 640 x 480, 3 1024 x 768
//   15     image scales of the 4x, 10x, 20x and 40x objectives in mm, each with 4
//          decimals right-aligned in 6 characters, one blank between them
//   16     14 flags, 1 for a checked choice: red, green, blue, monochrome, 0, 0, the four
//          objectives, 0, 0, orthoscopic, conoscopic
//   17     the dark level as typed
//   18     frames per integration, beyond the first
//   19     rotation sense of motors 1 to 4 (+1 clockwise, -1 counterclockwise)
//   20     the camera maker's program
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace settings_file {

inline constexpr const char* name = "vexolan.ini";
// The file is 20 short lines; anything larger is not a settings file.
inline constexpr qint64 max_size = 64 * 1024;

// Where line 16 keeps the flag of a colour channel, of an objective and of an optic, in
// the order of their tables (colour_channels.h, objectives.h); the other four positions are
// written as 0 and never read.
inline constexpr int channel_flag = 0, objective_flag = 6, orthoscopic_flag = 12,
                     conoscopic_flag = 13, flag_count = 14;

// The file's content, line by line; the start-up values are the window's.
struct Settings {
    QString camera;
    std::array<int32_t, 4> steps_per_turn{}, acceleration{}, speed{};
    int32_t frame_size = 0;
    std::array<long double, 4> image_scale{};
    std::array<int32_t, flag_count> flags{};
    QString dark_level;
    int32_t integrations = 0;
    std::array<int32_t, 4> sense{};
    QString camera_software;
};

// The groups of the file in their order: a group is read only when the file has not ended
// before it, and then read whole.
enum Group {
    camera,
    steps_per_turn,
    acceleration,
    speed,
    frame_size,
    image_scale,
    flags,
    dark_level,
    integrations,
    sense,
    camera_software,
    group_count
};

struct Reading {
    // The groups read whole.
    std::array<bool, group_count> read{};
    // A word stood where a number belongs, or a number the program never writes there (an
    // image scale beyond objectives::max_image_scale): a file the program did not write.
    // The reading stopped there, and everything read before it stands, down to single
    // values of a group that was begun.
    bool stopped = false;
};

// Reads the file's text into `settings`, which holds the values to keep where the file
// says nothing.
Reading read(const QByteArray& text, Settings& settings);

// The file's text.
QByteArray write(const Settings& settings);

} // namespace settings_file
