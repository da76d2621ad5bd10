// The result display: the three result images and the four legends.
#include "form.h"
#include "logic/legend.h"
#include "logic/numbers.h"
#include "logic/orientation_view.h"
#include "logic/record_row.h"

namespace {

constexpr result_kinds::Kind kinds[] = {result_kinds::transmission, result_kinds::retardation,
                                        result_kinds::angle};

} // namespace

// The result image set lies in the measurement folder, which every threshold change and
// every engine run also make the current directory; it is addressed there directly. The
// images load in the order of their files.
bool TForm1::load_result_images() {
    for (result_kinds::Kind kind : kinds)
        if (!result_view(kind).image->load_file(shell.measurement_folder +
                                                QString::fromLatin1(result_kinds::file(kind))))
            return false;
    return true;
}

// A missing or unreadable file stops the loading there: the later controls keep their
// pictures and the result image size stays as it was.
void TForm1::reloadimagespath() {
    if (!load_result_images()) return;
    display.result_width = Image1->picture().width();
    display.result_height = Image1->picture().height();
}

void TForm1::reloadimages() {
    reloadimagespath();
}

// The result image set of the measurement folder is loaded and shown: a saved set at its
// full 370 pixels, its own legend strip over the live legend, the engine's results at 320
// beside their legends. Readings of the pictures before are gone with them.
bool TForm1::show_results(Shown what, long double maximum) {
    if (!load_result_images()) return false;
    display.result_width = Image1->picture().width();
    display.result_height = Image1->picture().height();
    display.shown = what;
    display.shown_maximum = maximum;
    display.shown_calibrated = what == Shown::engine_results && analysis.calibrated;
    const int width = what == Shown::saved_set ? record_row::width : 320;
    for (ui::Picture* p : {Image1, Image2, Image3}) p->resize(width, p->height());
    // a saved set is not saved again: only the engine's results are
    SpeedButton1->setEnabled(what == Shown::engine_results);
    const std::pair<ui::Label*, const char*> readings_of[] = {
        {Label34, "sin(d)"}, {Label35, "phi"}, {Label36, "I/Io"}};
    for (auto [label, caption] : readings_of) {
        label->set_caption(QString::fromLatin1(caption));
        label->setVisible(false);
    }
    Legend();
    show_orientation();
    return true;
}

// The image scale of the selected objective under the scale bar.
QString TForm1::scale_text() const {
    const std::optional<size_t> checked = checked_objective();
    if (!checked) return QStringLiteral("mm");
    return numbers::shortest(numbers::rounded_decimals(readings.image_scale[*checked], 3)) +
           QStringLiteral("mm");
}

namespace {

// The colour scale of a result kind's legend, for the sin(d) colour maximum `m`.
legend::Content legend_content(result_kinds::Kind kind, long double m) {
    switch (kind) {
    case result_kinds::retardation:
        return {legend::Bar::false_colour,
                true,
                numbers::shortest(numbers::rounded_decimals(m, 2)),
                numbers::shortest(numbers::rounded_decimals(m / 2, 2)),
                QStringLiteral("0.0"),
                {},
                {}};
    case result_kinds::angle:
        return {legend::Bar::false_colour,
                false,
                QStringLiteral("180"),
                QStringLiteral("  90"),
                QStringLiteral(" 0.0"),
                {},
                {}};
    case result_kinds::transmission:
        break;
    }
    return {legend::Bar::grey,
            false,
            QStringLiteral("1.0"),
            QStringLiteral("0.5"),
            QStringLiteral("0.0"),
            {},
            {}};
}

} // namespace

// Every call draws all four legends completely, each on its stored background: those of
// the three result images, then the live picture's, whose scale is the transmission's.
void TForm1::Legend() {
    const std::pair<ui::Picture*, result_kinds::Kind> legends[] = {
        {legend1, result_kinds::retardation},
        {legend2, result_kinds::angle},
        {legend3, result_kinds::transmission},
        {legend4, result_kinds::transmission}};
    if (display.legend_backgrounds[0].isNull())
        for (size_t i = 0; i < std::size(legends); ++i)
            display.legend_backgrounds[i] = legends[i].first->picture();

    for (size_t i = 0; i < std::size(legends); ++i) {
        // the colour scale of the picture beside it
        legend::Content content = legend_content(legends[i].second, shown_maximum());
        content.scale = scale_text();
        content.wavelength = nm->text();
        QImage image = display.legend_backgrounds[i];
        legend::draw(image, content);
        legends[i].first->set_picture(image);
    }
}

namespace {

bool orientation_of_shown_results(const TForm1& form) {
    return form.display.shown == TForm1::Shown::engine_results && form.display.maps_shown &&
           !form.display.orientation.isNull();
}

} // namespace

void TForm1::show_orientation() {
    const double wavelength = display.orientation_wavelength;
    OrientationLegend->set_picture(
        orientation_view::legend(wavelength, OrientationLegend->height()));
    if (orientation_of_shown_results(*this)) {
        OrientationMap->set_picture(display.orientation);
        OrientationNote->set_caption(
            QStringLiteral("The maps of the shown results, %1 nm.").arg(wavelength));
        return;
    }
    QImage none(OrientationMap->size(), QImage::Format_RGB32);
    none.fill(qRgb(0, 0, 0));
    OrientationMap->set_picture(none);
    OrientationNote->set_caption(QStringLiteral("No maps of the shown results."));
}

QImage TForm1::orientation_picture() const {
    if (!orientation_of_shown_results(*this)) return {};
    return orientation_view::with_legend(
        display.orientation,
        orientation_view::legend(display.orientation_wavelength, display.orientation.height()));
}
