// The measurement sequence: the polarizer to 0, 45, 90, 135 degrees and back, an
// integration at each angle, the angle images, the engine run; background collection.
//
// A state machine advanced by the 1 ms timer `executethis`, one state per tick. A tick
// that fails shows its error and leaves the sequence idle, so the next Start works; its
// waits are bounded and sleep on the event queue, so the window stays alive meanwhile.
#include "file_replace.h"
#include "form.h"
#include "logic/background_set.h"
#include "logic/bitmap_file.h"
#include "logic/numbers.h"
#include "logic/objectives.h"
#include "logic/orientation_view.h"
#include "logic/polarizer_travel.h"
#include "logic/saturation.h"
#include "logic/version.h"
#include "tarnwick_contract.h"
#include "ui/handlers.h"
#include "ui/wait.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

const QString status_file = QStringLiteral(TARNWICK_STATUS_FILE);

// How much longer than its travel time the polarizer may take to arrive.
constexpr int arrival_margin_ms = 10000;
// What a controller that goes away during a measurement does to it.
constexpr const char* polarizer_gone = "the measurement has ended.";

// The file name of the angle image of `angle` degrees: "0.bmp", "45.bmp", ...
QString image_name(int32_t angle) {
    for (int i = 0; i < TARNWICK_ANGLE_IMAGES; ++i)
        if (tarnwick_angle_degrees(i) == angle) return QString::fromLatin1(tarnwick_angle_file(i));
    throw std::logic_error("no angle image is taken at that angle");
}

// One state of the passes: where the polarizer goes, the state its integration ends in,
// and whether the integration is combined with the forward image (the backward pass).
struct Pass {
    int32_t state, angle, next;
    bool back;
};
constexpr Pass passes[] = {{1, 0, 2, false},   {2, 45, 3, false}, {3, 90, 4, false},
                           {4, 135, 6, false}, {6, 135, 7, true}, {7, 90, 8, true},
                           {8, 45, 9, true},   {9, 0, 0, true}};
constexpr int32_t last_pass = 9, storing_backgrounds = 10;
// The first backward state: its integration is combined with the forward image only once
// it has ended, so up to here no angle image has been combined.
constexpr int32_t first_combined_state = 6;

// Ends a tick without an error box of its own: the integration has shown why it did not
// finish, or the window closes.
struct SequenceEnded {};

QImage read_image(const QString& path) {
    QImage image;
    const bmp::Status status = bitmap_file::read(path, image);
    if (status != bmp::Status::ok)
        throw std::runtime_error(QStringLiteral("Cannot open file \"%1\". %2")
                                     .arg(path, QString::fromLatin1(bmp::status_text(status)))
                                     .toStdString());
    return image;
}

} // namespace

// A measurement starts only when it can be right: the polarizer turns to four positions, the
// engine's options can be built, and the background set is whole and fits the frames. A
// refusal says why in the status line and a box and changes nothing else. A click while a
// sequence runs changes nothing: the running sequence goes on.
void TForm1::Start_SequenceClick() {
    if (sequence.state >= 1) return;
    const bool measuring = !sequence.collecting_background;
    StartPlan plan;
    try {
        plan = plan_start(measuring);
    } catch (const std::exception& e) {
        sequence.collecting_background = false;
        Label13->set_caption(QString::fromStdString(e.what()));
        throw;
    }
    Start_Sequence->setEnabled(false);
    sequence.running = true;
    try {
        Label13->set_caption(QString());
        // the sequence drives Motor 1 with its steps per turn and rotation sense
        if (RadioButton1->isChecked())
            RadioButton1Click();
        else
            ui::set_checked(RadioButton1, true);
    } catch (...) {
        end_sequence(); // a sequence that could not start leaves nothing running
        throw;
    }
    sequence.state = 1;
    sequence.stopping = false;
    sequence.engine_code = -1;
    sequence.stored_backgrounds.clear();
    sequence.clipped_percent = 0;
    sequence.background_prefix = plan.background_prefix;
    sequence.calibrating = plan.calibrating;
    sequence.notes = plan.notes;
    forget_passes();
    // the maps of the last measurement go with its angle images, which this one replaces
    QFile::remove(shell.measurement_folder + QString::fromLatin1(precise_maps::file_name));
    display.maps_of_folder = false;
    display.maps_shown = false;
    display.orientation = QImage();
    show_orientation();
    for (const QString& warning : plan.warnings)
        if (sequence.on_warning) sequence.on_warning(warning);
    executethis->setEnabled(true);
    // a status file left by an engine run that never finished would make it answer "busy"
    QFile::remove(shell.measurement_folder + status_file);
}

// What the sequence about to start will do, or a refusal (raised) when it cannot be right.
TForm1::StartPlan TForm1::plan_start(bool measuring) {
    StartPlan plan;
    require_polarizer("no measurement can start.");
    check_polarizer_positions(plan);
    if (const EngineOptions o = engine_options(); !o.problem.isEmpty())
        throw std::runtime_error(o.problem.toStdString());
    // the frame size of the background names as it is now, not at the last refresh
    const QSize frame = Image0->picture().size();
    Label11->set_caption(QStringLiteral("%1 x %2").arg(frame.width()).arg(frame.height()));
    plan.background_prefix = background_prefix();
    if (!measuring) return plan;
    const QString settings = background_set::settings_name(plan.background_prefix);
    const background_set::Check c =
        background_set::check(plan.background_prefix, frame, engine_sample());
    switch (c.verdict) {
    case background_set::Check::Verdict::none:
        plan.notes << QStringLiteral("not corrected");
        plan.warnings
            << QStringLiteral("no background images for %1: results not corrected").arg(settings);
        break;
    case background_set::Check::Verdict::incomplete:
        throw std::runtime_error(
            QStringLiteral("The background images for %1 are incomplete: %2 missing. Collect "
                           "the background images again.")
                .arg(settings, c.files.join(QStringLiteral(", ")))
                .toStdString());
    case background_set::Check::Verdict::unfit:
        throw std::runtime_error(QStringLiteral("The background images for %1 cannot be used: "
                                                "%2. Collect the background images again.")
                                     .arg(settings, c.files.join(QStringLiteral(", ")))
                                     .toStdString());
    case background_set::Check::Verdict::mixed:
        throw std::runtime_error(QStringLiteral("The background images for %1 were stored at "
                                                "different times: they are of two collections, "
                                                "one cut short. Collect the background images "
                                                "again.")
                                     .arg(settings)
                                     .toStdString());
    case background_set::Check::Verdict::complete:
        plan.calibrating = true;
        if (!c.implausible.isEmpty()) {
            const QString warning =
                QStringLiteral("background images for %1 that cannot be of the lit empty "
                               "field: %2")
                    .arg(settings, c.implausible.join(QStringLiteral(", ")));
            plan.warnings << warning;
            plan.notes << QStringLiteral("doubtful background");
            dialogs().message(warning);
        }
        break;
    }
    return plan;
}

// Motor 1 stands at the four angles' positions of its steps per turn and rotation sense:
// four different ones, or the four images are one image. Far off the angles, the results
// are said to be so.
void TForm1::check_polarizer_positions(StartPlan& plan) const {
    const int32_t steps_per_turn = motor.steps_per_turn[0];
    std::vector<int32_t> positions;
    long double worst_off = 0;
    for (int i = 0; i < TARNWICK_ANGLE_IMAGES; ++i) {
        const long double angle = tarnwick_angle_degrees(i);
        const int32_t steps =
            numbers::rounded(angle / 360 * steps_per_turn * motor.sense[0]); // as Targetsteps
        if (std::find(positions.begin(), positions.end(), steps) == positions.end())
            positions.push_back(steps);
        if (steps_per_turn != 0)
            worst_off = std::max(worst_off, std::fabs(static_cast<long double>(steps) * 360 /
                                                          (steps_per_turn * motor.sense[0]) -
                                                      angle));
    }
    if (positions.size() < TARNWICK_ANGLE_IMAGES)
        throw std::runtime_error(
            QStringLiteral("Motor steps/360 degrees is %1: the polarizer cannot turn to four "
                           "different positions for 0, 45, 90 and 135 degrees. Enter the motor "
                           "steps of one turn of the polarizer on the Set-up page.")
                .arg(steps_per_turn)
                .toStdString());
    if (worst_off > max_angle_off) {
        plan.notes << QStringLiteral("polarizer %1° off")
                          .arg(numbers::shortest(numbers::rounded_decimals(worst_off, 1)));
        plan.warnings << QStringLiteral("with Motor steps/360 degrees %1 the polarizer stands up "
                                        "to %2° off the four angles")
                             .arg(steps_per_turn)
                             .arg(numbers::shortest(numbers::rounded_decimals(worst_off, 1)));
    }
}

// A click while a sequence runs makes the rest of it collect background images, when the
// operator confirms it (the sample is then in the images), as long as none of its angle
// images has been combined for a measurement (divided by the earlier background images,
// or reduced to the channel the engine reads): after that it would store a mix of combined
// and plain images as the new background set. Once the last integration has ended, the
// sequence is finishing and a new one waits for it.
void TForm1::CollectbackgroundimagesClick() {
    if (sequence.running && sequence.state == 0) {
        dialogs().message(QStringLiteral(
            "The measurement is finishing; collect the background images when it has ended."));
        return;
    }
    if (sequence.running && !sequence.collecting_background) {
        if (sequence.state > first_combined_state) {
            dialogs().message(
                QStringLiteral("The measurement has already combined angle images; collect "
                               "the background images when it has ended."));
            return;
        }
        if (!dialogs().question(
                QStringLiteral("Collect background images"),
                QStringLiteral("A measurement is running. Store its images as the background "
                               "images for %1? They replace the earlier ones, and they must "
                               "show the empty field, without the sample.")
                    .arg(background_set::settings_name(sequence.background_prefix))))
            return;
    }
    sequence.collecting_background = true;
    Start_SequenceClick();
}

void TForm1::executethisTimer() {
    executethis->setEnabled(false);
    try {
        sequence_step(sequence.state);
    } catch (const SequenceEnded&) {
        end_sequence();
    } catch (...) {
        end_sequence();
        throw; // shown in the standard error box
    }
}

// The work of one state. During its wait the state already changes to the next one; what
// follows the wait is still the work of the state the tick started in.
void TForm1::sequence_step(int32_t state) {
    if (sequence.stopping) throw SequenceEnded{};
    // the background set of the settings at the start, for the whole sequence: settings
    // changed meanwhile would mix the images of two sets
    const QString prefix = sequence.background_prefix;
    if (state == storing_backgrounds) {
        show_progress(QStringLiteral("background 0°"));
        waitforcompletion(1, 0, 0); // shown in the preview, not saved
        sequence.running = false;
        sequence.collecting_background = false;
        store_background_images(prefix);
        return;
    }
    const Pass* pass = std::find_if(std::begin(passes), std::end(passes),
                                    [state](const Pass& p) { return p.state == state; });
    if (pass == std::end(passes)) { // idle: the next measurement can start at once
        sequence.running = false;
        actualresolution();
        return;
    }
    const QString step =
        (pass->back ? QStringLiteral("%1° back (%2/9)") : QStringLiteral("%1° forward (%2/9)"))
            .arg(pass->angle)
            .arg(state);
    show_progress(step);
    const bool to_backgrounds = state == last_pass && sequence.collecting_background;
    waitforcompletion(1, pass->angle, to_backgrounds ? storing_backgrounds : pass->next);
    if (pass->back)
        check_clipping(step, pass->angle, combine_angle_image(pass->angle, prefix));
    else
        check_clipping(step, pass->angle, save_angle_image(pass->angle));
    if (state != last_pass) return;
    // the two passes of a measurement against each other: a drifting lamp or a polarizer
    // that stood elsewhere
    pass_check::Findings found;
    if (!sequence.collecting_background && sequence.passes.complete()) {
        found = sequence.passes.findings();
        sequence.notes << pass_check::notes(found);
        for (const QString& warning : pass_check::warnings(found))
            if (sequence.on_warning) sequence.on_warning(warning);
    }
    if (!sequence.collecting_background && write_maps(prefix, found)) {
        display.maps_of_folder = true;
        display.maps_sample = engine_sample();
        display.maps_wavelength = nm->text();
    }
    forget_passes();
    // what the angle image set is, for this run and every later one on it
    analysis.calibrated = sequence.calibrating && !sequence.collecting_background;
    analysis.notes = sequence.collecting_background ? QStringList() : sequence.notes;
    analysis.clipped_percent = sequence.clipped_percent;
    ExecuteTarnwick();
    sequence.engine_code = analysis.result_code;
    // the background images are still to come: no new start before they are stored
    if (to_backgrounds) Start_Sequence->setEnabled(false);
}

// Idle again: no tick, no integration, Start available.
void TForm1::end_sequence() {
    executethis->setEnabled(false);
    Timer6->setEnabled(false);
    sequence.state = 0;
    sequence.running = false;
    sequence.collecting_background = false;
    forget_passes();
    actualresolution();
}

void TForm1::waitforcompletion([[maybe_unused]] int32_t mode, int32_t angle, int32_t target) {
    require_polarizer(polarizer_gone);
    ui::set_position(TrackBar1, angle);
    ui::set_checked(CheckBox1, true);
    wait_for_polarizer(angle);
    // the integration starts from a frame exposed with the polarizer at rest, not from a
    // picture taken while it turned: frames already queued are shown first, and the frame
    // that arrives next, whose exposure may have begun before the polarizer stood still,
    // is let go too
    ui::process_messages();
    integration.new_frame = false;
    integration.settling = 1;
    sequence.target_state = target;
    integration.frame_counter = 0;
    Timer6->setEnabled(true);
    wait_for_integration(target);
    executethis->setEnabled(true);
}

void TForm1::wait_for_polarizer(int32_t angle) {
    const int s = motor.selected;
    const double travel =
        polarizer_travel::seconds(Targetsteps(angle) - controller().current_position(s),
                                  motor.speed[s], motor.acceleration[s]);
    // a motor without speed never gets there: it has the margin alone
    const double limit_ms =
        (std::isfinite(travel) ? std::ceil(travel * 1000) : 0) + arrival_margin_ms;
    const bool arrived = ui::wait_until(
        [&] {
            return closing() || !motor.present ||
                   controller().current_position(s) == Targetsteps(angle);
        },
        static_cast<int>(std::min(limit_ms, 2e9)));
    if (closing()) throw SequenceEnded{};
    require_polarizer(polarizer_gone);
    if (!arrived)
        throw std::runtime_error(
            QStringLiteral("Polarizer did not reach %1 degrees").arg(angle).toStdString());
}

// The integration ends in the target state, or stops on its own failure (which it has
// shown, "No camera frames" among them) with its timer off.
void TForm1::wait_for_integration(int32_t target) {
    ui::wait_until([&] { return sequence.state == target || !Timer6->enabled() || closing(); });
    if (sequence.state != target || closing()) throw SequenceEnded{};
}

// The forward pass: the integrated image becomes the angle image, replacing the file.
const QImage& TForm1::save_angle_image(int32_t angle) {
    sequence.passes.set_forward(angle / 45, integration.integrated);
    if (!sequence.collecting_background)
        sequence.precise.forward[size_t(angle / 45)] =
            precise_maps::plane_of(integration.sums, integration.frames, engine_sample());
    bitmap_file::write_or_raise(shell.measurement_folder + image_name(angle),
                                integration.integrated);
    return integration.integrated;
}

// The backward pass: the mean of the new integration and the forward image, relative to
// the background image of the angle when the measurement divides by the background set, is
// shown in the preview and replaces the forward image.
QImage TForm1::combine_angle_image(int32_t angle, const QString& prefix) {
    sequence.passes.set_backward(angle / 45, integration.integrated);
    if (!sequence.collecting_background)
        sequence.precise.backward[size_t(angle / 45)] =
            precise_maps::plane_of(integration.sums, integration.frames, engine_sample());
    const QString path = shell.measurement_folder + image_name(angle);
    QImage combined = integration.integrated;
    const QImage forward = read_image(path);
    if (sequence.calibrating && !sequence.collecting_background)
        normalize_and_average(combined, forward, read_image(prefix + image_name(angle)));
    else
        average(combined, forward);
    Image0->set_picture(combined);
    bitmap_file::write_or_raise(path, combined);
    return combined;
}

// The integrations of both passes are needed only until the sequence's last one has ended.
void TForm1::forget_passes() {
    sequence.passes.clear();
    sequence.precise = {};
}

saturation::Channel TForm1::engine_sample() const {
    const std::optional<size_t> checked = checked_channel();
    return (checked ? colour_channels::table[*checked] : colour_channels::engine_default).sample;
}

bool TForm1::write_maps(const QString& prefix, const pass_check::Findings& found) {
    const QString path = shell.measurement_folder + QString::fromLatin1(precise_maps::file_name);
    precise_maps::Inputs in = std::move(sequence.precise);
    precise_maps::Metadata m;
    bool whole = false;
    const double wavelength = nm->text().toDouble(&whole);
    in.wavelength_nm = whole && wavelength > 0 ? wavelength : analysis.wavelength;
    m.wavelength_nm = in.wavelength_nm;
    const std::optional<size_t> checked = checked_channel();
    m.channel = QString::fromLatin1(
        (checked ? colour_channels::table[*checked] : colour_channels::engine_default).name);
    m.integrations = integration.frames;
    m.program_version = QStringLiteral(VEXOLAN_VERSION_TEXT);
    m.lamp_drift_percent = found.worst_drift_percent();
    m.polarizer_angle_degrees = found.worst_angle_degrees();
    QString problem;
    try {
        if (sequence.calibrating) {
            QDateTime oldest;
            for (size_t i = 0; i < 4; ++i) {
                const QString background = prefix + image_name(int32_t(45 * i));
                in.background[i] = precise_maps::plane_of(read_image(background), engine_sample());
                m.background_files << QFileInfo(background).fileName();
                const QDateTime stored = QFileInfo(background).lastModified();
                if (!oldest.isValid() || stored < oldest) oldest = stored;
            }
            m.background_date = oldest.toUTC().toString(Qt::ISODate);
        }
        const precise_maps::Maps maps = precise_maps::compute(in);
        display.orientation = orientation_view::picture(maps, in.wavelength_nm);
        display.orientation_wavelength = in.wavelength_nm;
        if (const std::optional<size_t> objective = checked_objective();
            objective && readings.image_scale[*objective] > 0 && maps.width > 0)
            m.pixel_size_um = double(readings.image_scale[*objective]) * 1000 / maps.width;
        problem = precise_maps::write_ome_tiff(path, maps, m);
    } catch (const std::exception& e) {
        problem = QString::fromStdString(e.what());
    }
    if (problem.isEmpty()) return true;
    display.orientation = QImage();
    QFile::remove(path); // no maps of another measurement beside these results
    sequence.notes << QStringLiteral("no maps");
    if (sequence.on_warning) sequence.on_warning(QStringLiteral("maps not written: ") + problem);
    return false;
}

// The four angle images become the background images of the current settings, as one set:
// all four are written under temporary names first and replace the earlier set only once
// each is whole, one right after another. A failure before that leaves the earlier set as
// it was; what a killed store left behind is removed by the next one.
void TForm1::store_background_images(const QString& prefix) {
    struct Stored {
        QString target;
        std::unique_ptr<fileio::ReplacementFile> file;
    };
    std::vector<Stored> set;
    QStringList failed;
    for (const Pass& pass : passes) {
        if (pass.back) continue;
        const QString target = prefix + image_name(pass.angle);
        const std::string path = QFile::encodeName(target).toStdString();
        fileio::remove_stale_temporaries(path);
        QFile source(shell.measurement_folder + image_name(pass.angle));
        const QByteArray bytes = source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
        auto file = std::make_unique<fileio::ReplacementFile>(path);
        if (bytes.isEmpty() || !file->write(bytes.constData(), size_t(bytes.size())))
            failed << target;
        set.push_back({target, std::move(file)});
    }
    if (failed.isEmpty())
        for (Stored& s : set) {
            if (s.file->commit(true))
                sequence.stored_backgrounds << s.target;
            else
                failed << s.target;
        }
    if (!failed.isEmpty())
        throw std::runtime_error(QStringLiteral("Cannot store the background image \"%1\".")
                                     .arg(failed.join(QStringLiteral("\", \"")))
                                     .toStdString());
}

QString TForm1::background_prefix() const {
    QString prefix = shell.measurement_folder;
    if (const std::optional<size_t> checked = checked_objective())
        prefix += objectives::background_name(*checked);
    prefix += orthoscopic->isChecked() ? QStringLiteral("o_") : QStringLiteral("c_");
    return prefix + Label11->caption() + QLatin1Char('_') + nm->text() + QLatin1Char('_');
}

// The step in Label13, with the worst clipping of the sequence so far.
void TForm1::show_progress(const QString& step) {
    QString text = step;
    if (sequence.clipped_percent > saturation::limit_percent)
        text += QStringLiteral(", saturated %1%").arg(sequence.clipped_percent, 0, 'f', 1);
    Label13->set_caption(text);
    if (sequence.on_progress) sequence.on_progress(text);
}

// Pixels at 255 in the channel the engine reads give a wrong |sin(d)| without any sign of
// it in the results: the operator is told, and the measurement goes on. Both the camera's
// integration and the angle image written from it count: a calibrated image clips where
// the sample is brighter than 1.275 times its background, also where the camera did not.
void TForm1::check_clipping(const QString& step, int32_t angle, const QImage& angle_image) {
    const saturation::Channel channel = engine_sample();
    const double percent = std::max(saturation::clipped_percent(integration.integrated, channel),
                                    saturation::clipped_percent(angle_image, channel));
    if (percent <= saturation::limit_percent) return;
    sequence.clipped_percent = std::max(sequence.clipped_percent, percent);
    show_progress(step);
    if (sequence.on_warning)
        sequence.on_warning(QStringLiteral("saturated %1% at %2°: the camera clips there, and "
                                           "|sin(d)| is wrong where it does; less light or a "
                                           "shorter exposure mends it")
                                .arg(percent, 0, 'f', 1)
                                .arg(angle));
}
