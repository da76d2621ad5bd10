#include "settings_file.h"

#include "objectives.h"
#include "text_file.h"

namespace settings_file {

namespace {

// One integer a line, each into its place as it is read.
template <size_t n> void integer_lines(text_file::Reader& in, std::array<int32_t, n>& values) {
    for (int32_t& v : values) {
        v = in.integer();
        in.next_line();
    }
}

// Reads the groups in their order until the end of the text; a bad item ends it by raising.
void read_groups(text_file::Reader& in, Settings& s, Reading& r) {
    auto group = [&](Group g, auto&& read_it) {
        if (in.eof()) return;
        read_it();
        r.read[g] = true;
    };
    group(camera, [&] { s.camera = in.line(); });
    group(steps_per_turn, [&] { integer_lines(in, s.steps_per_turn); });
    group(acceleration, [&] { integer_lines(in, s.acceleration); });
    group(speed, [&] { integer_lines(in, s.speed); });
    group(frame_size, [&] {
        s.frame_size = in.integer();
        in.next_line();
    });
    group(image_scale, [&] {
        for (long double& v : s.image_scale) {
            const long double scale = in.real();
            if (!objectives::is_image_scale(scale))
                throw text_file::BadItem("not an image scale the program writes");
            v = scale;
        }
        in.next_line();
    });
    group(flags, [&] {
        // all 14 first: a bad one leaves the flags as they were
        std::array<int32_t, flag_count> read{};
        for (int32_t& f : read) f = in.integer();
        in.next_line();
        s.flags = read;
    });
    group(dark_level, [&] { s.dark_level = in.line(); });
    group(integrations, [&] {
        s.integrations = in.integer();
        in.next_line();
    });
    group(sense, [&] {
        for (int32_t& v : s.sense) v = in.integer();
        in.next_line();
    });
    group(camera_software, [&] { s.camera_software = in.line(); });
}

} // namespace

Reading read(const QByteArray& text, Settings& settings) {
    Reading r;
    text_file::Reader in(text);
    try {
        read_groups(in, settings, r);
    } catch (const text_file::BadItem&) {
        r.stopped = true;
    }
    return r;
}

QByteArray write(const Settings& s) {
    text_file::Writer out;
    out.line(s.camera);
    for (const auto* values : {&s.steps_per_turn, &s.acceleration, &s.speed})
        for (int32_t v : *values) out.integers({v});
    out.integers({s.frame_size});
    out.reals({s.image_scale[0], s.image_scale[1], s.image_scale[2], s.image_scale[3]});
    out.integers(s.flags);
    out.line(s.dark_level);
    out.integers({s.integrations});
    out.integers({s.sense[0], s.sense[1], s.sense[2], s.sense[3]});
    out.line(s.camera_software);
    return out.text();
}

} // namespace settings_file
