// The result display: the three result images and the four legends.
#include "form.h"
#include "legend.h"
#include "numbers.h"

// The result image set lies in the measurement folder, which every threshold change and
// every engine run also make the current directory; it is addressed there directly.
bool TForm1::load_result_images() {
    const std::pair<ui::Picture*, const char*> files[] = {
        {Image1, "a0.bmp"}, {Image2, "a1.bmp"}, {Image3, "a2.bmp"}};
    for (auto [control, name] : files)
        if (!control->load_file(shell.measurement_folder + QString::fromLatin1(name))) return false;
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

// The image scale of the selected objective under the scale bar.
QString TForm1::scale_text() const {
    const int checked = checked_objective();
    if (checked < 0) return QStringLiteral("mm");
    return numbers::shortest(numbers::rounded_decimals(readings.image_scale[size_t(checked)], 3)) +
           QStringLiteral("mm");
}

// Every call draws all four legends completely, each on its stored background.
void TForm1::Legend() {
    ui::Picture* const pictures[] = {legend1, legend2, legend3, legend4};
    if (display.legend_backgrounds[0].isNull())
        for (size_t i = 0; i < std::size(pictures); ++i)
            display.legend_backgrounds[i] = pictures[i]->picture();

    const long double m = display.sind_maximum;
    legend::Content content[4];
    content[0] = {legend::Bar::false_colour,
                  true,
                  numbers::shortest(numbers::rounded_decimals(m, 2)),
                  numbers::shortest(numbers::rounded_decimals(m / 2, 2)),
                  QStringLiteral("0.0"),
                  {},
                  {}};
    content[1] = {legend::Bar::false_colour,
                  false,
                  QStringLiteral("180"),
                  QStringLiteral("  90"),
                  QStringLiteral(" 0.0"),
                  {},
                  {}};
    content[2] = {legend::Bar::grey,
                  false,
                  QStringLiteral("1.0"),
                  QStringLiteral("0.5"),
                  QStringLiteral("0.0"),
                  {},
                  {}};
    content[3] = content[2];
    for (size_t i = 0; i < std::size(pictures); ++i) {
        content[i].scale = scale_text();
        content[i].wavelength = nm->text();
        pictures[i]->set_picture(display.legend_backgrounds[i]);
        legend::draw(*pictures[i], content[i]);
    }
}
