// The result display: reloading the result image set, and the four legends drawn
// completely each time, with the palette of the result images.
#include "file_bytes.h"
#include "logic/legend.h"
#include "results_fixture.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace {

struct Text {
    int x, y;
    QString text;
    int points;
};

// A text as the legends' canvas writes it: an opaque white cell from (x, y), as wide as the
// text advances and as high as the font's line, with black glyphs on the baseline.
void write_text(QImage& image, const Text& t) {
    const QFont font = legend::font(t.points);
    const QFontMetrics metrics(font);
    QPainter p(&image);
    p.fillRect(QRect(t.x, t.y, metrics.horizontalAdvance(t.text), metrics.height()), Qt::white);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(t.x, t.y + metrics.ascent(), t.text);
}

// A legend as designed: the background, the bar of palette or grey rows 47 to 137 with
// indices 2, 255, ..., 3, and the texts at their places.
QImage designed_legend(QImage legend, bool false_colour, const std::vector<Text>& texts) {
    for (int y = 47; y <= 137; ++y) {
        const int i =
            static_cast<int>(std::nearbyint(255 - (y - 48) * 255 / 90.0)) & 0xff; // ties to even
        const palette::Colour& c = palette::false_colour()[static_cast<size_t>(i)];
        for (int x = 12; x <= 22; ++x)
            legend.setPixel(x, y, false_colour ? qRgb(c.red, c.green, c.blue) : qRgb(i, i, i));
    }
    for (const Text& t : texts) write_text(legend, t);
    return legend;
}

std::vector<Text> common_texts(QString top, QString middle, QString bottom, QString scale,
                               QString nm) {
    return {{30, 46, top, 7},       {30, 87, middle, 7},
            {30, 129, bottom, 7},   {8, 175, QString(17, ' '), 7},
            {8, 175, scale, 7},     {10, 205, nm + QString(9, ' '), 7},
            {10, 205, nm + "nm", 7}};
}

std::vector<Text> sind_texts(QString top, QString middle, QString scale = "0.25mm",
                             QString nm = "550") {
    std::vector<Text> texts = {{5, 12, "|sin(   )| ", 10},
                               {29, 12, QString(QChar(0x03b4)), 10},
                               {30, 46, "0.0  ", 7},
                               {30, 87, "0.0  ", 7}};
    for (Text& t : common_texts(top, middle, "0.0", scale, nm)) texts.push_back(t);
    return texts;
}

} // namespace

// Rows 47, 48, 92 and 137 of the bars carry indices 2, 255, 130 and 3 in columns 12 to 22,
// from the engine's palette (legends of |sin(d)| and phi) or in grey.
TEST_F(ResultsTest, LegendBarsUseThePaletteOfTheResultImages) {
    auto form = make_window();
    form->Legend();
    const struct { int row, index; } rows[] = {{47, 2}, {48, 255}, {92, 130}, {137, 3}};
    const QColor frame(128, 128, 128);
    for (const auto& r : rows) {
        const palette::Colour& c = palette::false_colour()[static_cast<size_t>(r.index)];
        const QColor colour(c.red, c.green, c.blue), grey(r.index, r.index, r.index);
        for (ui::Picture* l : {form->legend1, form->legend2, form->legend3, form->legend4}) {
            SCOPED_TRACE(l->objectName().toStdString() + " row " + std::to_string(r.row));
            const bool coloured = l == form->legend1 || l == form->legend2;
            for (int x = 12; x <= 22; ++x)
                EXPECT_EQ(l->picture().pixelColor(x, r.row), coloured ? colour : grey);
            EXPECT_EQ(l->picture().pixelColor(11, r.row), frame);
            EXPECT_EQ(l->picture().pixelColor(23, r.row), frame);
        }
    }
    EXPECT_EQ(form->legend1->picture().pixelColor(16, 48),
              QColor(255, 0, 249)); // the top of the scale
}

// Each legend is its background with the bar and the texts at their designed places,
// whatever was drawn before: the |sin(d)| labels follow the colour maximum (two decimals,
// ties to even), the wavelength is shown as typed, the scale of the selected objective.
TEST_F(ResultsTest, LegendTextsAtTheirPlaces) {
    auto form = make_window();
    form->FormActivate();
    const auto& bg = form->display.legend_backgrounds;
    EXPECT_EQ(form->legend1->picture(), designed_legend(bg[0], true, sind_texts("1", "0.5")));
    EXPECT_EQ(form->legend2->picture(),
              designed_legend(bg[1], true, common_texts("180", "  90", " 0.0", "0.25mm", "550")));
    EXPECT_EQ(form->legend3->picture(),
              designed_legend(bg[2], false, common_texts("1.0", "0.5", "0.0", "0.25mm", "550")));
    EXPECT_EQ(form->legend4->picture(),
              designed_legend(bg[3], false, common_texts("1.0", "0.5", "0.0", "0.25mm", "550")));

    const struct {
        int position;
        const char *top, *middle;
    } maxima[] = {{1, "0.05", "0.02"}, {3, "0.15", "0.08"},  {5, "0.25", "0.12"},
                  {7, "0.35", "0.18"}, {19, "0.95", "0.48"}, {20, "1", "0.5"}};
    for (const auto& m : maxima) {
        SCOPED_TRACE(m.position);
        ui::set_position(form->TrackBar4, m.position);
        EXPECT_EQ(form->legend1->picture(),
                  designed_legend(bg[0], true, sind_texts(m.top, m.middle)));
    }

    ui::set_text(form->nm, "55");
    EXPECT_EQ(form->legend1->picture(),
              designed_legend(bg[0], true, sind_texts("1", "0.5", "0.25mm", "55")));
    EXPECT_EQ(form->legend3->picture(),
              designed_legend(bg[2], false, common_texts("1.0", "0.5", "0.0", "0.25mm", "55")));
    ui::set_text(form->nm, "550");

    // an objective click changes the scale line only; a scale edit shows at the next drawing
    const QImage before = form->legend2->picture();
    ui::set_text(form->Edit3, "0.2");
    EXPECT_EQ(form->legend2->picture(), before);
    ui::set_checked(form->Ob10, true);
    const QImage after = form->legend2->picture();
    EXPECT_TRUE(form->monochrome->isChecked()); // the channel buttons are a group of their own
    EXPECT_EQ(after,
              designed_legend(bg[1], true, common_texts("180", "  90", " 0.0", "0.2mm", "550")));
    for (int y = 0; y < 240; ++y)
        if (y < 175 || y > 190) {
            EXPECT_EQ(after.copy(0, y, 50, 1), before.copy(0, y, 50, 1)) << y;
        }
    ui::set_text(form->Edit5, "0.2505"); // three decimals, a decimal tie to even
    ui::set_checked(form->Ob40, true);
    EXPECT_EQ(form->legend4->picture(),
              designed_legend(bg[3], false, common_texts("1.0", "0.5", "0.0", "0.25mm", "550")));
    ui::set_checked(form->Ob40, false);
    form->Legend();
    EXPECT_EQ(form->legend4->picture(),
              designed_legend(bg[3], false, common_texts("1.0", "0.5", "0.0", "mm", "550")));
}

// Reloading loads a0, a1, a2 in this order and stops at the first file that is missing
// or damaged; the result image size follows a complete reload only.
TEST_F(ResultsTest, ReloadStopsAtTheFirstMissingFile) {
    auto form = make_window();
    write_results({64, 48}, uniform(10), uniform(20), uniform(30));
    form->reloadimages();
    EXPECT_EQ(form->Image3->picture(), read(file("a2.bmp")));
    EXPECT_EQ(form->display.result_width, 64);
    EXPECT_EQ(form->display.result_height, 48);

    const QImage a1 = form->Image2->picture(), a2 = form->Image3->picture();
    write_results({32, 24}, uniform(40), nullptr, uniform(50));
    form->reloadimages();
    EXPECT_EQ(form->Image1->picture(), read(file("a0.bmp")));
    EXPECT_EQ(form->Image2->picture(), a1);
    EXPECT_EQ(form->Image3->picture(), a2);
    EXPECT_EQ(form->display.result_width, 64);

    const QImage a0 = form->Image1->picture();
    QFile damaged(file("a0.bmp"));
    ASSERT_TRUE(damaged.resize(100));
    write_results({32, 24}, nullptr, uniform(60), uniform(70));
    form->reloadimages();
    EXPECT_EQ(form->Image1->picture(), a0);
    EXPECT_EQ(form->Image2->picture(), a1);
}

// A threshold change takes effect with the run's results a second later: until then, and
// when the run fails, the pictures, their legend and Save stay as they are, so a legend
// always describes the picture beside it. The readings go, the measurement folder becomes
// current and the run is scheduled at once.
TEST_F(ResultsTest, ThresholdChangeTakesEffectWithTheResults) {
    install_engine(ENGINE_STUB);
    write_uniform_results({320, 240}, 100);
    auto form = make_window();
    form->Timer4Timer(); // the stand-in answers 0: the results are shown, at maximum 1
    ASSERT_EQ(form->Label13->caption(), "Ready");
    const QImage legend_at_1 = form->legend1->picture(), picture = form->Image2->picture();
    for (ui::Label* l : {form->Label34, form->Label35, form->Label36}) l->setVisible(true);
    QDir::setCurrent(QDir::tempPath());

    ui::set_position(form->TrackBar4, 4);
    for (ui::Label* l : {form->Label34, form->Label35, form->Label36}) EXPECT_TRUE(l->isHidden());
    EXPECT_EQ(QDir::currentPath(), QDir(folder.path()).canonicalPath());
    EXPECT_EQ(form->display.sind_maximum, 4 / 20.0L);
    EXPECT_TRUE(form->Timer4->enabled());
    EXPECT_EQ(form->legend1->picture(), legend_at_1);

    write_bytes(file("engine_code.txt"), "6");
    form->Timer4Timer();
    EXPECT_EQ(form->Label13->caption(), "Input Parameter Error");
    EXPECT_EQ(form->legend1->picture(), legend_at_1);
    EXPECT_EQ(form->Image2->picture(), picture);
    EXPECT_EQ(form->display.shown_maximum, 1);

    // the readings of the pictures before go with them
    form->Label34->set_caption("sin(d)=0.5");
    form->Label34->setVisible(true);
    write_bytes(file("engine_code.txt"), "0");
    form->Timer4Timer();
    EXPECT_EQ(form->Label34->caption(), "sin(d)");
    EXPECT_TRUE(form->Label34->isHidden());
    EXPECT_EQ(form->display.shown_maximum, 4 / 20.0L);
    EXPECT_NE(form->legend1->picture(), legend_at_1);
    for (ui::Picture* p : {form->Image1, form->Image2, form->Image3})
        EXPECT_EQ(p->size(), QSize(320, 240));
    EXPECT_TRUE(form->SpeedButton1->isEnabled());
}
