// The engine run: the option string from the window's settings, the deferred run after
// a change, and the call of the engine library.
#include "form.h"
#include "logic/engine_library.h"
#include "logic/numbers.h"
#include "logic/saturation.h"
#include "tarnwick_contract.h"
#include "ui/handlers.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

// The display thresholds take effect at the engine run a second later: until its results
// are shown the pictures, their legends and Save stay as they are.
void TForm1::sindthreshhold1Change() {
    Timer4->setEnabled(false); // a pending run is cancelled
    for (ui::Label* l : {Label34, Label35, Label36}) l->setVisible(false);
    QDir::setCurrent(shell.measurement_folder);
    display.sind_maximum = TrackBar4->value() / 20.0L;
    // the options the run will send, as far as the controls give them now
    if (const EngineOptions o = engine_options(); o.problem.isEmpty()) ui::set_text(Edit1, o.text);
    Legend();
    Timer4->setEnabled(true); // the run follows a second after the last change
}

std::optional<long double> TForm1::dark_level() const {
    const std::optional<long double> level = numbers::parse_decimal(darklevel->text());
    if (!level || !(*level >= 0 && *level <= max_dark_level)) return std::nullopt;
    return level;
}

// -P "folder" -s <angle limit> -U <colour maximum> -d <dark level> -C <channel>, every value
// written by the program itself, so that nothing typed into a field reaches the engine as
// options of its own.
TForm1::EngineOptions TForm1::engine_options() const {
    const std::optional<long double> dark = dark_level();
    if (!dark)
        return {{},
                QStringLiteral("The dark level \"%1\" is not a number from 0 to %2 (Set-up page, "
                               "Calibrations).")
                    .arg(darklevel->text(), numbers::shortest(max_dark_level))};
    if (shell.measurement_folder.contains(QLatin1Char('"')))
        return {{},
                QStringLiteral("The program folder \"%1\" holds a double quote, which the "
                               "engine's options cannot carry. Move the program to another folder.")
                    .arg(shell.measurement_folder)};
    // with no channel chosen the engine reads its default
    const std::optional<size_t> checked = checked_channel();
    const QString channel =
        checked ? QStringLiteral(" -C ") + QLatin1Char(colour_channels::table[*checked].option)
                : QString();
    // the engine compares the limit with the retardation code, which is scaled by the
    // colour maximum: a pixel gets an angle when |sin(d)| reaches the sin(d) limit
    const long double sind_limit = sindthreshhold1->value() / 200.0L;
    const long double angle_limit = sind_limit / display.sind_maximum;
    const QString text = QStringLiteral("-P \"") + shell.measurement_folder +
                         QStringLiteral("\" -s ") + numbers::shortest(angle_limit) +
                         QStringLiteral(" -U ") + numbers::shortest(display.sind_maximum) +
                         QStringLiteral(" -d ") + numbers::shortest(*dark) + channel;
    // the engine reads at most TARNWICK_MAX_OPTION_CHARS characters and would run with
    // whatever options were cut off; every part but the folder is short
    if (QFile::encodeName(text).size() > TARNWICK_MAX_OPTION_CHARS)
        return {{},
                QStringLiteral("The program folder \"%1\" is too long a path for the engine, "
                               "whose options are at most %2 characters long. Move the program "
                               "to a folder with a shorter path.")
                    .arg(shell.measurement_folder)
                    .arg(TARNWICK_MAX_OPTION_CHARS)};
    return {text, {}};
}

void TForm1::Timer4Timer() {
    Timer4->setEnabled(false);
    ExecuteTarnwick();
}

void TForm1::redClick() {
    if (const std::optional<size_t> checked = checked_channel())
        ui::set_text(nm, QString::fromLatin1(colour_channels::table[*checked].wavelength));
    nmChange();
    sindthreshhold1Change();
}

// The legends show the text as typed; the wavelength recorded with saved images keeps
// its last whole number while the text is anything else.
void TForm1::nmChange() {
    Legend();
    bool whole = false;
    const int32_t wavelength = nm->text().toInt(&whole);
    if (whole) analysis.wavelength = wavelength;
}

// Results of angle images in which the camera, or the calibration, clipped are not "Ready":
// their |sin(d)| is wrong where it did.
QString TForm1::run_status(const engine_library::Run& run) const {
    QString status = engine_library::status_text(run);
    if (run.outcome != engine_library::Outcome::called || run.code != TARNWICK_READY) return status;
    if (analysis.clipped_percent > saturation::limit_percent)
        status = QStringLiteral("Saturated %1%: less light or a shorter exposure")
                     .arg(analysis.clipped_percent, 0, 'f', 1);
    for (const QString& note : analysis.notes) status += QStringLiteral(", ") + note;
    return status;
}

// One run on the angle image set with the options of the controls as they are now. When
// the controls give none, the status line says why and nothing runs.
void TForm1::ExecuteTarnwick() {
    analysis.result_code = -1;
    const EngineOptions o = engine_options();
    if (!o.problem.isEmpty()) {
        Label13->set_caption(o.problem);
        Start_Sequence->setEnabled(true);
        return;
    }
    ui::set_text(Edit1, o.text);
    const QByteArray options = QFile::encodeName(o.text);
    // the engine's busy check looks for its status file in the current directory
    QDir::setCurrent(shell.measurement_folder);
    Label1->set_caption(QString());
    repaint(); // the window is up to date before the run blocks it
    const engine_library::Run run = engine_library::execute(
        env_.program_folder + env_.engine_library, env_.engine_library, options);
    analysis.result_code = run.outcome == engine_library::Outcome::called ? run.code : -1;
    Label13->set_caption(run_status(run));
    if (!run.problem.isEmpty() && env_.diagnostic) env_.diagnostic(run.problem);
    if (analysis.result_code == TARNWICK_READY) {
        show_results(Shown::engine_results, display.sind_maximum);
        display.maps_shown = display.maps_of_folder && engine_sample() == display.maps_sample &&
                             nm->text() == display.maps_wavelength;
    }
    show_orientation();
    Start_Sequence->setEnabled(true);
}
