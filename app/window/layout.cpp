// The window's designed layout: every control with its bounds, caption or text, range,
// start state and font, one table per page. Bounds are left, top, width, height in
// pixels of the parent; a width of 0 sizes the control to its caption.
#include "form.h"
#include "logic/artwork.h"
#include "logic/orientation_view.h"

#include <QFont>

#include <type_traits>

namespace {

struct Box {
    int left, top, width = 0, height = 0;
};

enum class Bevel { lowered, raised, none };
enum class Ticks { top, bottom, none };
struct Range {
    int min, max, position;
};

const QColor navy(0, 0, 128), maroon(128, 0, 0), dark_green(0, 128, 0);

template <class W> W* place(W*& slot, const char* name, QWidget* parent, Box b) {
    slot = new W(parent);
    slot->setObjectName(QString::fromLatin1(name));
    if (b.width > 0)
        slot->setGeometry(b.left, b.top, b.width, b.height);
    else
        slot->move(b.left, b.top);
    return slot;
}

void text_colour(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

// The bold sans face that stands in for the platform's "System" font.
QFont system_font() {
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(12);
    f.setBold(true);
    return f;
}

ui::Label* label(ui::Label*& slot, const char* name, QWidget* parent, Box b, const QString& caption,
                 const QColor& colour = QColor()) {
    place(slot, name, parent, b);
    slot->setTextFormat(Qt::PlainText);
    if (colour.isValid()) text_colour(slot, colour);
    slot->set_caption(caption);
    return slot;
}

ui::GroupBox* group(ui::GroupBox*& slot, const char* name, QWidget* parent, Box b,
                    const QString& caption, const QColor& caption_colour = QColor()) {
    place(slot, name, parent, b)->setTitle(caption);
    slot->set_caption_colour(caption_colour);
    return slot;
}

QFrame* panel(QFrame*& slot, const char* name, QWidget* parent, Box b, Bevel bevel) {
    place(slot, name, parent, b);
    if (bevel == Bevel::none)
        slot->setFrameStyle(QFrame::NoFrame);
    else
        slot->setFrameStyle(QFrame::Panel |
                            (bevel == Bevel::lowered ? QFrame::Sunken : QFrame::Raised));
    return slot;
}

ui::Picture* picture(ui::Picture*& slot, const char* name, QWidget* parent, Box b, bool stretch) {
    place(slot, name, parent, b)->set_stretch(stretch);
    return slot;
}

QSlider* trackbar(QSlider*& slot, const char* name, QWidget* parent, Box b, Range r, int tick_every,
                  Ticks ticks) {
    slot = new QSlider(Qt::Horizontal, parent);
    slot->setObjectName(QString::fromLatin1(name));
    slot->setGeometry(b.left, b.top, b.width, b.height);
    slot->setRange(r.min, r.max);
    slot->setValue(r.position);
    slot->setTickInterval(tick_every);
    slot->setTickPosition(ticks == Ticks::top      ? QSlider::TicksAbove
                          : ticks == Ticks::bottom ? QSlider::TicksBelow
                                                   : QSlider::NoTicks);
    return slot;
}

template <class B>
B* button(B*& slot, const char* name, QWidget* parent, Box b, const QString& caption) {
    place(slot, name, parent, b)->setText(caption);
    return slot;
}

template <class B>
B* choice(B*& slot, const char* name, QWidget* parent, Box b, const QString& caption,
          bool checked) {
    place(slot, name, parent, b)->setText(caption);
    slot->setChecked(checked);
    if (b.width == 0) slot->adjustSize();
    if constexpr (std::is_same_v<B, QRadioButton>) ui::join_parent_group(slot);
    return slot;
}

QLineEdit* edit(QLineEdit*& slot, const char* name, QWidget* parent, Box b, const QString& text) {
    place(slot, name, parent, b)->setText(text);
    return slot;
}

void background(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Button, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

} // namespace

// The designed name of a control is both its member and its object name.
#define AT(control) control, #control

void TForm1::build_window() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("VEXOLAN"));
    QFont font;
    // Tahoma where it is installed, else the free font of the same metrics class
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11); // 8 points at 96 pixels per inch
    setFont(font);
    setWindowIcon(artwork::program_icon());
    move(242, 115);
    resize(901, 537); // the client area; the designed outer size is 917 x 573

    // the reading buffer and the pressed-image copy, under the page control: never seen
    picture(AT(Image6), this, {584, 8, 41, 41}, false)->setVisible(false);
    picture(AT(Image10), this, {640, 8, 41, 41}, false)->setVisible(false);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, 901, 537);
    for (auto [page, name, caption] : {std::tuple{&TabSheet1, "TabSheet1", "Preview"},
                                       std::tuple{&TabSheet2, "TabSheet2", "Measure"},
                                       std::tuple{&TabSheet3, "TabSheet3", "Set-up"}}) {
        *page = new QWidget;
        (*page)->setObjectName(QString::fromLatin1(name));
        PageControl1->addTab(*page, QString::fromLatin1(caption));
    }
    build_preview_page();
    build_measure_page();
    build_setup_page();
    build_orientation_page();
    PageControl1->setCurrentWidget(TabSheet3); // designed with "Set-up" active
}

// A page after the designed ones, so that none of theirs moves: the orientation view of
// the quantitative maps, the picture as large as the preview's, its legend beside it.
void TForm1::build_orientation_page() {
    TabSheet4 = new QWidget;
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Orientation"));
    picture(AT(OrientationMap), TabSheet4, {8, 12, 640, 480}, true);
    picture(AT(OrientationLegend), TabSheet4, {656, 12, orientation_view::legend_width, 240},
            false);
    label(AT(OrientationNote), TabSheet4, {656, 262}, QString())->setWordWrap(true);
    OrientationNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    show_orientation();
}

void TForm1::build_preview_page() {
    picture(AT(Image0), TabSheet1, {8, 12, 640, 480}, true);
}

void TForm1::build_measure_page() {
    build_result_panels();
    panel(AT(Panel5), TabSheet2, {760, 8, 129, 489}, Bevel::raised);
    build_measurements_group();
    build_microscope_group();
    build_readings_and_sets_groups();
}

void TForm1::build_result_panels() {
    QWidget* page = TabSheet2;
    // four lowered panels: a 320 x 240 picture at 1, 1 and a 50 x 240 legend on the right
    panel(AT(Panel1), page, {8, 8, 370, 242}, Bevel::lowered);
    picture(AT(Image5), Panel1, {1, 1, 320, 240}, true);
    picture(AT(legend4), Panel1, {319, 1, 50, 240}, false);
    panel(AT(Panel2), page, {384, 8, 370, 242}, Bevel::lowered);
    picture(AT(Image1), Panel2, {1, 1, 320, 240}, true);
    picture(AT(legend3), Panel2, {319, 1, 50, 240}, false);
    panel(AT(Panel3), page, {8, 256, 370, 242}, Bevel::lowered);
    picture(AT(Image2), Panel3, {1, 1, 320, 240}, true);
    picture(AT(legend1), Panel3, {319, 1, 50, 240}, false);
    panel(AT(Panel4), page, {384, 256, 370, 242}, Bevel::lowered);
    picture(AT(Image3), Panel4, {1, 1, 320, 240}, true);
    picture(AT(legend2), Panel4, {319, 1, 50, 240}, false);
    legend1->set_picture(artwork::legend_background(artwork::LegendTitle::retardation));
    legend2->set_picture(artwork::legend_background(artwork::LegendTitle::angle));
    legend3->set_picture(artwork::legend_background(artwork::LegendTitle::transmission));
    legend4->set_picture(artwork::legend_background(artwork::LegendTitle::live));
    // a result image widened to 370 (an opened result set) covers its live legend
    for (ui::Picture* p : {Image1, Image2, Image3, Image5}) p->raise();
}

void TForm1::build_measurements_group() {
    group(AT(GroupBox4), Panel5, {8, 1, 113, 190}, "Measurements", navy);
    button(AT(Start_Sequence), GroupBox4, {14, 24, 91, 33}, "Start_Sequence")->setEnabled(false);
    edit(AT(Edit1), GroupBox4, {16, 12, 89, 21}, "-L 0.1 -U 1 ")->setVisible(false);
    trackbar(AT(TrackBar4), GroupBox4, {6, 59, 105, 22}, {1, 20, 20}, 2, Ticks::top);
    ui::set_hint(TrackBar4, "Maximum sin(d) for color encoding");
    ui::set_hint(label(AT(Label12), GroupBox4, {9, 81}, "0.05  max sin(d) 1.0"),
                 "Maximum sin(d) for color encoding");
    trackbar(AT(sindthreshhold1), GroupBox4, {6, 95, 105, 22}, {0, 60, 5}, 5, Ticks::top);
    ui::set_hint(sindthreshhold1, "Set the threshhold for suppressing extinction data");
    ui::set_hint(label(AT(sindthreshholdcaption), GroupBox4, {10, 116}, "0.0  sin(d) limit  0.30"),
                 "Set the threshhold for suppressing extinction data");
    trackbar(AT(Integrations), GroupBox4, {6, 132, 105, 22}, {0, 100, 10}, 10, Ticks::top);
    ui::set_hint(Integrations, "Set the threshhold for suppressing extinction data");
    ui::set_hint(label(AT(Label21), GroupBox4, {10, 153}, "0    integrations  100"),
                 "Set the threshhold for suppressing extinction data");
    label(AT(Label13), GroupBox4, {8, 172}, "Status", dark_green);
    // the status line: a long message in a smaller face, or cut short with its whole text
    // in the tool tip, never clipped by the group box
    Label13->set_fit_width(GroupBox4->width() - 8 - 3);
}

void TForm1::build_microscope_group() {
    group(AT(GroupBox5), Panel5, {8, 190, 113, 172}, "Microscope", navy);
    panel(AT(Panel7), GroupBox5, {2, 15, 108, 62}, Bevel::none);
    label(AT(Label22), Panel7, {17, 1}, "Wavelength  ");
    edit(AT(nm), Panel7, {24, 18, 49, 17}, "550");
    nm->setFont(QFont(QStringLiteral("Times New Roman"), 8));
    ui::set_hint(nm, "Selcted wavelength");
    label(AT(nano), Panel7, {75, 20}, "nm");
    choice(AT(red), Panel7, {0, 41, 25, 17}, "", false);
    choice(AT(green), Panel7, {28, 41, 25, 17}, "", false);
    choice(AT(blue), Panel7, {56, 41, 25, 17}, "", false);
    choice(AT(monochrome), Panel7, {84, 41, 25, 17}, "", true);
    background(red, QColor(255, 0, 0));
    background(green, QColor(0, 128, 0));
    background(blue, QColor(0, 0, 255));
    background(monochrome, QColor(128, 128, 128));
    label(AT(Label14), GroupBox5, {19, 81}, "Objective");
    choice(AT(ob04), GroupBox5, {24, 94}, "4x", true);
    choice(AT(Ob10), GroupBox5, {61, 94}, "10x", false);
    choice(AT(Ob20), GroupBox5, {24, 108}, "20x", false);
    choice(AT(Ob40), GroupBox5, {61, 108}, "40x", false);
    ui::set_hint(ob04, "4x objective selected");
    ui::set_hint(Ob10, "10x objective selected");
    ui::set_hint(Ob20, "20x objective selected");
    ui::set_hint(Ob40, "40x objective selected");
    label(AT(Label16), GroupBox5, {19, 125}, "Optic");
    panel(AT(Panel6), GroupBox5, {23, 140, 83, 29}, Bevel::none);
    choice(AT(orthoscopic), Panel6, {1, 0}, "orthoscopic", true);
    choice(AT(conoscopic), Panel6, {1, 13}, "conoscopic", false);
}

void TForm1::build_readings_and_sets_groups() {
    group(AT(GroupBox8), Panel5, {8, 361, 113, 64}, "Readings", navy);
    for (auto [slot, name, top, caption] :
         {std::tuple{&Label34, "Label34", 14, "sin(d)"}, std::tuple{&Label35, "Label35", 27, "phi"},
          std::tuple{&Label36, "Label36", 42, "I/Io"}}) {
        label(*slot, name, GroupBox8, {8, top}, caption, maroon)->setFont(system_font());
        (*slot)->adjustSize();
    }

    group(AT(GroupBox6), Panel5, {8, 425, 113, 56}, "Save / Load Images", navy);
    place(AT(SpeedButton1), GroupBox6, {8, 16, 48, 33});
    SpeedButton1->setIcon(artwork::diskette_icon());
    SpeedButton1->setIconSize(QSize(16, 16));
    place(AT(Openimages), GroupBox6, {57, 16, 48, 33});
    Openimages->setIcon(artwork::open_folder_icon());
    Openimages->setIconSize(QSize(21, 20));
    choice(AT(RadioButton3), GroupBox6, {0, 0}, "Sin(d)", true)->setVisible(false);
    choice(AT(RadioButton4), GroupBox6, {0, 0}, "phi", false)->setVisible(false);
    choice(AT(RadioButton5), GroupBox6, {0, 0}, "I/Io", false)->setVisible(false);
}

void TForm1::build_setup_page() {
    build_motor_group();
    build_camera_group();
    build_scales_and_calibrations_groups();
}

void TForm1::build_motor_group() {
    QWidget* page = TabSheet3;
    // "Motor Controls Disabled" lies under "Motorcontrolls" and shows when that is hidden
    group(AT(GroupBox3), page, {0, 8, 425, 481}, "Motor Controls Disabled");
    group(AT(GroupBox1), page, {0, 8, 425, 481}, "Motorcontrolls")->setAutoFillBackground(true);
    choice(AT(CheckBox1), GroupBox1, {8, 24, 97, 17}, "Activated", false);
    place(AT(Memo1), GroupBox1, {168, 24, 217, 81})->setPlainText("Memo1");
    label(AT(Label8), GroupBox1, {8, 168}, "Position (degr)");
    label(AT(Label1), GroupBox1, {96, 168}, "0");
    label(AT(Label6), GroupBox1, {128, 168}, "0");
    trackbar(AT(TrackBar1), GroupBox1, {160, 168, 233, 33}, {-180, 180, 0}, 30, Ticks::bottom)
        ->setEnabled(false);
    label(AT(Label7), GroupBox1, {154, 200},
          "-180              90               0              90             180");
    label(AT(Label2), GroupBox1, {8, 232}, "Accelaration (%)");
    label(AT(Label5), GroupBox1, {128, 232}, "0");
    trackbar(AT(TrackBar2), GroupBox1, {160, 232, 233, 25}, {1000000, 1000000, 1000000}, 10000,
             Ticks::none)
        ->setEnabled(false);
    label(AT(Label9), GroupBox1, {160, 256},
          "min                                                                   max");
    label(AT(Label3), GroupBox1, {8, 296}, "Speed (%)");
    label(AT(Label4), GroupBox1, {128, 296}, "0");
    trackbar(AT(TrackBar3), GroupBox1, {160, 296, 233, 25}, {0, 1000000, 0}, 1, Ticks::none)
        ->setEnabled(false);
    label(AT(Label10), GroupBox1, {160, 320}, Label9->caption());
    choice(AT(RadioButton1), GroupBox1, {8, 352, 65, 17}, "Motor 1", true);
    choice(AT(RadioButton2), GroupBox1, {72, 352, 65, 17}, "Motor 2", false)->setVisible(false);
    label(AT(Label15), GroupBox1, {9, 378}, "Motor steps/360 degrees");
    edit(AT(Edit6), GroupBox1, {168, 374, 217, 21}, "");
    panel(AT(Panel8), GroupBox1, {8, 416, 385, 49}, Bevel::none);
    label(AT(Label23), Panel8, {0, 16}, "Rotation sense:");
    choice(AT(RadioButton6), Panel8, {120, 16}, "clockwise", true);
    choice(AT(RadioButton7), Panel8, {264, 16}, "counterclockwise", false);
}

void TForm1::build_camera_group() {
    group(AT(GroupBox2), TabSheet3, {440, 9, 425, 216}, "Camera");
    place(AT(combobox1), GroupBox2, {8, 21, 226, 21})->setEditable(true);
    combobox1->setEditText("Videodrivers");
    label(AT(Label19), GroupBox2, {8, 56}, "size = ", dark_green);
    label(AT(Label11), GroupBox2, {44, 56}, "  ", dark_green);
    button(AT(CapturePIN), GroupBox2, {8, 76, 113, 28}, "Format");
    button(AT(Capture), GroupBox2, {120, 76, 112, 28}, "Features");
    button(AT(Button4), GroupBox2, {8, 112, 73, 25}, "320 x 240");
    button(AT(Button2), GroupBox2, {82, 112, 75, 25}, "640 x 480");
    button(AT(Button3), GroupBox2, {158, 112, 75, 25}, "1024 x 768");
    button(AT(Button6), GroupBox2, {8, 144, 225, 25}, "Open Camera software");
    button(AT(Button5), GroupBox2, {8, 176, 225, 25}, "Search For Camera Software");
    picture(AT(Image4), GroupBox2, {240, 16, 169, 129}, true);
}

void TForm1::build_scales_and_calibrations_groups() {
    QWidget* page = TabSheet3;
    group(AT(GroupBox17), page, {440, 231, 425, 121}, "Image Scales");
    label(AT(Label38), GroupBox17, {16, 32}, "4 x");
    edit(AT(Edit2), GroupBox17, {16, 48, 121, 21}, "0.25");
    label(AT(Label39), GroupBox17, {168, 32}, "10 x");
    edit(AT(Edit3), GroupBox17, {168, 48, 121, 21}, "0.1");
    label(AT(Label40), GroupBox17, {16, 72}, "20 x");
    edit(AT(Edit4), GroupBox17, {16, 88, 121, 21}, "0.05");
    label(AT(Label41), GroupBox17, {168, 72}, "40 x");
    edit(AT(Edit5), GroupBox17, {168, 88, 121, 21}, "0.025");

    group(AT(GroupBox7), page, {440, 360, 425, 129}, "Calibrations");
    button(AT(Collectbackgroundimages), GroupBox7, {8, 24, 201, 25}, "Collect background images");
    label(AT(Label20), GroupBox7, {8, 64}, "dark level  ( 0 < level < 0.95)");
    edit(AT(darklevel), GroupBox7, {168, 60, 41, 21}, "0.15");
}

void TForm1::build_timers() {
    // all designed disabled; each is started by the part of the program that owns it
    const struct {
        ui::Timer** slot;
        const char* name;
        int interval;
        void (TForm1::*handler)();
    } timers[] = {
        {&Timer1, "Timer1", 1000, &TForm1::Timer1Timer},
        {&Timer2, "Timer2", 3000, &TForm1::Timer2Timer},
        {&Timer3, "Timer3", 500, &TForm1::Timer3Timer},
        {&Timer4, "Timer4", 1000, &TForm1::Timer4Timer},
        {&Timer5, "Timer5", 3000, &TForm1::Timer5Timer},
        {&Timer6, "Timer6", 1, &TForm1::Timer6Timer},
        {&Timer7, "Timer7", 50, &TForm1::Timer7Timer},
        {&Timer8, "Timer8", 100, &TForm1::Timer8Timer},
        {&Timer9, "Timer9", 150, &TForm1::Timer9Timer},
        {&Timer10, "Timer10", 500, &TForm1::Timer10Timer},
        {&executethis, "executethis", 1, &TForm1::executethisTimer},
    };
    for (const auto& t : timers) {
        *t.slot = new ui::Timer(
            t.interval, [this, h = t.handler] { (this->*h)(); }, this);
        (*t.slot)->setObjectName(QString::fromLatin1(t.name));
    }
}
