#include "headless.h"

#include "logic/bitmap_file.h"
#include "logic/precise_maps.h"
#include "logic/saturation.h"
#include "ui/handlers.h"
#include "ui/wait.h"
#include "window/form.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>

namespace headless {

namespace {

constexpr int start_limit_ms = 30000;
// the picture of the maps' orientation view, beside BASE.png
constexpr const char* orientation_suffix = "-orientation.png";
// the polarizer may have to go home first
constexpr int close_limit_ms = 60000;

void say(std::FILE* out, const QString& text) {
    std::fprintf(out, "vexolan: %s\n", text.toUtf8().constData());
    std::fflush(out);
}

// A measurement can start: the start-up's motor check found the polarizer, and
// Start_Sequence is available by its rule (frames arrive, no sequence runs), applied now
// rather than at the next refresh.
bool startable(TForm1& form) {
    if (!form.motor.controls) return false;
    form.actualresolution();
    return form.Start_Sequence->isEnabled();
}

QString why_not_startable(const TForm1& form, const Request& request) {
    if (form.GroupBox1->isHidden())
        return QStringLiteral("the polarizer's motor is not connected: ") +
               form.motor.why_not_connected;
    if (form.Image0->picture().width() < 2 && !request.camera.isEmpty())
        return QStringLiteral("no camera frames from \"%1\"").arg(request.camera);
    if (form.Image0->picture().width() < 2)
        return QStringLiteral("no camera frames (choose the camera in the program once)");
    return QStringLiteral("Start_Sequence was not available within %1 s")
        .arg(start_limit_ms / 1000);
}

// What the measurement came to: the engine's result code, with the result set and the
// picture of the Measure page kept under the base name when it is 0.
int keep_measurement(TForm1& form, const QString& base, Dialogs& dialogs, std::FILE* progress,
                     std::FILE* files) {
    const int code = form.sequence.engine_code;
    if (code < 0) return no_measurement; // the engine could not be called
    if (code != 0) return code;          // its status text said what went wrong
    const qsizetype errors = dialogs.errors.size();
    dialogs.save_as = base + QStringLiteral(".bmp"); // as chosen in "Save all"'s dialog
    ui::run_handler([&] { form.Save_all_imagesClick(); });
    dialogs.save_as.clear();
    if (dialogs.errors.size() > errors) return no_measurement;
    form.PageControl1->setCurrentWidget(form.TabSheet2);
    const QString picture = base + QStringLiteral(".png");
    if (!bitmap_file::write_picture(picture, form.TabSheet2->grab().toImage(), "PNG")) {
        say(progress, QStringLiteral("error: cannot write the picture \"%1\"").arg(picture));
        return no_measurement;
    }
    // the maps' orientation view with its legend, when the maps are those of the results
    const QString orientation = base + QString::fromLatin1(orientation_suffix);
    const QImage view = form.orientation_picture();
    if (view.isNull()) {
        QFile::remove(orientation); // not a view of another set under the name
    } else if (!bitmap_file::write_picture(orientation, view, "PNG")) {
        say(progress, QStringLiteral("error: cannot write the picture \"%1\"").arg(orientation));
        return no_measurement;
    }
    for (const char* extension : {".a1.bmp", ".a2.bmp", ".a0.bmp", precise_maps::saved_extension,
                                  ".png", orientation_suffix}) {
        const QString path = base + QString::fromLatin1(extension);
        if (QFileInfo(path).isFile()) std::fprintf(files, "%s\n", path.toUtf8().constData());
    }
    // kept, but not "Ready": the status line said why
    return form.sequence.clipped_percent > saturation::limit_percent ? saturated : 0;
}

// The camera of the request instead of the settings' one: the start-up opens it and
// applies the saved frame size, and it is then chosen from the list, as an operator does.
void choose_camera(TForm1& form, const Request& request, const std::function<bool()>& ended) {
    if (request.camera.isEmpty()) return;
    ui::wait_until([&] { return ended() || form.combobox1->count() > 0; }, start_limit_ms);
    const int item = form.combobox1->findText(request.camera);
    if (item < 0) return;
    form.combobox1->setCurrentIndex(item);
    ui::run_handler([&] { form.combobox1Click(); });
}

} // namespace

int list_cameras(capture::Camera& camera, std::FILE* out) {
    for (const QString& name : camera.devices())
        std::fprintf(out, "%s\n", name.toUtf8().constData());
    return 0;
}

bool camera_listed(capture::Camera& camera, const QString& name, std::FILE* err) {
    const QStringList names = camera.devices();
    if (names.contains(name)) return true;
    say(err, QStringLiteral("no camera \"%1\"; the cameras are:").arg(name));
    for (const QString& n : names) std::fprintf(err, "  %s\n", n.toUtf8().constData());
    return false;
}

void Dialogs::message(const QString& text) {
    say(out_, text);
}

void Dialogs::error(const QString& text) {
    errors << text;
    say(out_, QStringLiteral("error: ") + text);
}

bool Dialogs::question(const QString& title, const QString& text) {
    say(out_, title + QStringLiteral(": ") + text + QStringLiteral(" No."));
    return false;
}

bool Dialogs::execute(ui::FileDialog& dialog) {
    if (dialog.kind != ui::FileDialog::Kind::save || save_as.isEmpty()) return false;
    dialog.file_name = save_as;
    return true;
}

int run(TForm1& form, const Request& request, Dialogs& dialogs, const std::function<bool()>& ended,
        std::FILE* progress, std::FILE* files) {
    form.sequence.on_progress = [progress](const QString& text) { say(progress, text); };
    form.sequence.on_warning = [progress](const QString& text) {
        say(progress, QStringLiteral("warning: ") + text);
    };
    say(progress, QStringLiteral("starting: waiting for camera frames and the polarizer"));
    if (!request.camera.isEmpty()) form.camera.video_driver_name = request.camera;
    form.show();
    form.activateWindow(); // the start-up work runs at the first activation
    choose_camera(form, request, ended);
    ui::wait_until([&] { return ended() || form.GroupBox1->isHidden() || startable(form); },
                   start_limit_ms);
    if (ended()) { // a signal closed the window meanwhile
        say(progress, QStringLiteral("interrupted before the measurement started"));
        return no_measurement;
    }
    if (!startable(form)) {
        say(progress,
            QStringLiteral("no measurement could start: ") + why_not_startable(form, request));
        form.close();
        ui::wait_until(ended, close_limit_ms);
        return no_measurement;
    }

    const bool measure = request.command == Command::measure;
    if (measure) QDir().mkpath(QFileInfo(request.base).absolutePath()); // the base's folder
    const qsizetype errors = dialogs.errors.size();
    (measure ? static_cast<QAbstractButton*>(form.Start_Sequence) : form.Collectbackgroundimages)
        ->click();
    ui::wait_until(
        [&] { return ended() || (!form.sequence.running && !form.executethis->enabled()); });
    if (ended() || form.sequence.stopping) {
        // a signal closed the window meanwhile: it ends in order once the polarizer is home
        say(progress, QStringLiteral("interrupted: the window was closed during the sequence"));
        ui::wait_until(ended, close_limit_ms);
        return no_measurement;
    }

    int status = no_measurement;
    if (dialogs.errors.size() > errors) {
        // the error said what went wrong
    } else if (measure) {
        say(progress, form.Label13->caption()); // the engine's status text
        status = keep_measurement(form, request.base, dialogs, progress, files);
    } else if (form.sequence.stored_backgrounds.size() == 4) {
        for (const QString& image : form.sequence.stored_backgrounds)
            std::fprintf(files, "%s\n", image.toUtf8().constData());
        status = 0;
    }
    form.close();
    ui::wait_until(ended, close_limit_ms);
    return status;
}

} // namespace headless
