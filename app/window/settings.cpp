// The window's side of the settings file: its state as the file's lines, and the lines read
// at creation applied to the window in their order, each control through its setter so
// that its handler runs as for the operator's change.
#include "file_replace.h"
#include "form.h"
#include "logic/numbers.h"
#include "logic/regular_file.h"
#include "ui/handlers.h"

#include <QFile>

// A file that is no regular file, or far larger than the program writes, is no settings
// file: the start-up values stand.
void TForm1::read_settings_file() {
    const std::optional<QByteArray> text =
        regular_file::read(shell.program_folder + settings_file::name, settings_file::max_size);
    if (!text) return;
    settings_file::Settings s = current_settings();
    const settings_file::Reading r = settings_file::read(*text, s);
    apply_settings(s, r);
}

// A group that was not read leaves its part of the window as it is; a reading that stopped
// at a bad item (a file the program did not write) keeps what came before it.
void TForm1::apply_settings(const settings_file::Settings& s, const settings_file::Reading& r) {
    using settings_file::Group;
    if (r.read[Group::camera]) camera.video_driver_name = s.camera;
    motor.steps_per_turn = s.steps_per_turn;
    motor.acceleration = s.acceleration;
    motor.speed = s.speed;
    camera.resolution = s.frame_size;
    readings.image_scale = s.image_scale;
    if (r.read[Group::image_scale])
        for (size_t i = 0; i < objective_controls().size(); ++i)
            ui::set_text(objective_controls()[i].scale, numbers::shortest_local(s.image_scale[i]));
    if (r.read[Group::flags]) {
        auto check = [&](QRadioButton* button, int at) {
            ui::set_checked(button, s.flags[size_t(at)] == 1);
        };
        for (size_t i = 0; i < channel_buttons().size(); ++i)
            check(channel_buttons()[i], settings_file::channel_flag + int(i));
        for (size_t i = 0; i < objective_controls().size(); ++i)
            check(objective_controls()[i].button, settings_file::objective_flag + int(i));
        check(orthoscopic, settings_file::orthoscopic_flag);
        check(conoscopic, settings_file::conoscopic_flag);
    }
    if (r.read[Group::dark_level]) ui::set_text(darklevel, s.dark_level);
    if (r.read[Group::integrations]) {
        integration.count = s.integrations;
        ui::set_position(Integrations, integration.count);
    }
    motor.sense = s.sense;
    // also when the file ended before the senses: motor 1's start-up sense then counts
    if (!r.stopped) ui::set_checked(motor.sense[0] == 1 ? RadioButton6 : RadioButton7, true);
    if (r.read[Group::camera_software]) camera.software_path = s.camera_software;
}

settings_file::Settings TForm1::current_settings() const {
    namespace file = settings_file;
    file::Settings s;
    s.camera = camera.video_driver_name;
    s.steps_per_turn = motor.steps_per_turn;
    s.acceleration = motor.acceleration;
    s.speed = motor.speed;
    s.frame_size = camera.resolution;
    s.image_scale = readings.image_scale;
    for (size_t i = 0; i < channel_buttons().size(); ++i)
        s.flags[file::channel_flag + i] = channel_buttons()[i]->isChecked();
    for (size_t i = 0; i < objective_controls().size(); ++i)
        s.flags[file::objective_flag + i] = objective_controls()[i].button->isChecked();
    s.flags[file::orthoscopic_flag] = orthoscopic->isChecked();
    s.flags[file::conoscopic_flag] = conoscopic->isChecked();
    s.dark_level = darklevel->text();
    s.integrations = integration.count;
    s.sense = motor.sense;
    s.camera_software = camera.software_path;
    return s;
}

// A first start on known devices: the camera, and motor 1 as its stage needs it.
void TForm1::apply_first_start(const FirstStart& settings) {
    camera.video_driver_name = settings.camera;
    motor.steps_per_turn[0] = settings.steps_per_turn;
    motor.sense[0] = settings.sense;
    motor.speed[0] = settings.speed;
    motor.acceleration[0] = settings.acceleration;
    ui::set_checked(settings.sense == 1 ? RadioButton6 : RadioButton7, true);
}

void TForm1::write_settings_file() {
    settings_file::Settings s = current_settings();
    s.camera = QStringLiteral("None"); // the device the capture component has now
    try {
        s.camera = capture().device_name();
    } catch (const capture::Error&) {
        // no capture component: no device
    }
    const QByteArray text = settings_file::write(s);
    const QByteArray path = QFile::encodeName(shell.program_folder + settings_file::name);
    // a failed write is not reported; the old file then stays as it was
    fileio::replace_file(path.toStdString(), text.constData(), static_cast<size_t>(text.size()),
                         true);
}
