#include "window_fixture.h"

#include "file_bytes.h"
#include "logic/bitmap_file.h"
#include "ui/wait.h"

void WindowTest::write_settings(const QByteArray& text) {
    write_bytes(settings_path(), text);
}

QByteArray WindowTest::read_settings() const {
    return read_bytes(settings_path());
}

QImage WindowTest::read(const QString& path) {
    QImage image;
    bitmap_file::read(path, image);
    return image;
}

void WindowTest::pick(TForm1& form, const QString& name) {
    form.combobox1->setCurrentIndex(form.combobox1->findText(name));
    form.combobox1Click();
}

void WindowTest::stage_at_full_speed(TForm1& form) {
    ui::set_text(form.Edit6, "200");
    ui::set_position(form.TrackBar2, form.TrackBar2->maximum());
    ui::set_position(form.TrackBar3, form.TrackBar3->maximum());
}

bool WindowTest::run_sequence(TForm1& form, QAbstractButton* button, int timeout_ms) {
    form.actualresolution(); // Start_Sequence by its rule now, not at the next refresh
    EXPECT_TRUE(form.Start_Sequence->isEnabled());
    button->click();
    return ui::wait_until([&] { return !form.sequence.running && !form.executethis->enabled(); },
                          timeout_ms);
}
