// Saving the three result images as a result set, and opening a saved set.
#include "form.h"
#include "record_row.h"
#include "ui/bitmap_file.h"
#include "ui/handlers.h"

#include <QFile>

#include <cstring>

namespace {

const QString bitmap_filter = QStringLiteral("Windows Bitmap|*.bmp|All Files|*.*");
const QString bitmap_extension = QStringLiteral("BMP");

// The position of the extension of the path's last component (from its last "."), or
// the path's length when it has none.
qsizetype extension_at(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > path.lastIndexOf(QLatin1Char('/')) ? dot : path.size();
}

QString with_extension(const QString& path, const QString& extension) {
    return path.left(extension_at(path)) + extension;
}

// Every destination pixel takes the colour of one source pixel, the source's columns and
// rows spread evenly over the destination: no colour is made up.
QImage nearest_neighbour(const QImage& source, int width, int height) {
    QImage out(width, height, QImage::Format_RGB32);
    if (out.isNull()) return source; // the picture then keeps its size
    out.fill(Qt::black);
    if (source.isNull()) return out;
    for (int y = 0; y < height; ++y) {
        const auto* from =
            reinterpret_cast<const QRgb*>(source.constScanLine(y * source.height() / height));
        auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) to[x] = from[x * source.width() / width];
    }
    return out;
}

} // namespace

void TForm1::Save_all_imagesClick() {
    SaveDialog1.filter = bitmap_filter;
    SaveDialog1.default_extension = bitmap_extension;
    if (!dialogs().execute(SaveDialog1)) return;
    const QString chosen = SaveDialog1.file_name; // never written itself
    const std::pair<QRadioButton*, const char*> kinds[] = {
        {RadioButton3, ".a1.bmp"}, {RadioButton4, ".a2.bmp"}, {RadioButton5, ".a0.bmp"}};
    for (auto [kind, extension] : kinds) {
        ui::set_checked(kind, true);
        SaveimagesClick(with_extension(chosen, QString::fromLatin1(extension)));
    }
}

void TForm1::SaveimagesClick(const QString& path) {
    const Result kind = RadioButton3->isChecked()   ? Result::retardation
                        : RadioButton4->isChecked() ? Result::angle
                                                    : Result::transmission;
    ui::write_bitmap_or_raise(path, saved_image(kind));
}

// The displayed picture (a selection rectangle included) at 320 x 240, the legend strip
// of its quantity as drawn now, and the record row.
QImage TForm1::saved_image(Result r) {
    QImage picture = result_control(r)->picture();
    if (picture.size() != QSize(320, 240)) picture = nearest_neighbour(picture, 320, 240);
    QImage out(record_row::width, record_row::height, QImage::Format_RGB32);
    out.fill(Qt::black);
    const ui::Picture* legend = r == Result::retardation ? legend1
                                : r == Result::angle     ? legend2
                                                         : legend3;
    for (int y = 0; y < out.height(); ++y) {
        auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        if (y < picture.height())
            std::memcpy(to, picture.constScanLine(y),
                        sizeof(QRgb) * static_cast<size_t>(std::min(picture.width(), 320)));
        if (y < legend->picture().height())
            std::memcpy(to + 320, legend->picture().constScanLine(y),
                        sizeof(QRgb) *
                            static_cast<size_t>(std::min(legend->picture().width(), 50)));
    }

    record_row::Record record;
    record.optic = orthoscopic->isChecked() ? 100 : conoscopic->isChecked() ? 200 : 0;
    record.wavelength = analysis.wavelength;
    const int magnifications[] = {4, 10, 20, 40};
    if (const int checked = checked_objective(); checked >= 0)
        record.objective = magnifications[checked];
    record.kind = r == Result::retardation ? record_row::retardation
                  : r == Result::angle     ? record_row::angle
                                           : record_row::transmission;
    record.sind_maximum = display.sind_maximum;
    const QDateTime now = env_.now(); // each file takes its own time reading
    record.year = now.date().year();
    record.month = now.date().month();
    record.day = now.date().day();
    record.hour = now.time().hour();
    record.minute = now.time().minute();
    record.second = now.time().second();
    record.millisecond = now.time().msec();
    const auto bytes = record_row::encode(record);
    for (int i = 0; i < record_row::length; ++i)
        if (const auto b = bytes[static_cast<size_t>(i)])
            out.setPixel(record_row::first_column + i, record_row::row, qRgb(*b, 0, 0));
    return out;
}

void TForm1::OpenimagesClick() {
    OpenDialog1.filter = bitmap_filter;
    OpenDialog1.default_extension = bitmap_extension;
    if (!dialogs().execute(OpenDialog1)) return;
    SpeedButton1->setEnabled(false); // until the next threshold change computes new results
    // quartz.a1.bmp, quartz.a0.bmp and quartz.bmp all name the set quartz
    QString base = OpenDialog1.file_name.left(extension_at(OpenDialog1.file_name));
    if (base.contains(QLatin1Char('.'))) base = base.left(extension_at(base));
    const char* const names[] = {"a0", "a1", "a2"};
    for (const char* name : names)
        QFile::remove(shell.measurement_folder + QString::fromLatin1(name) + ".bmp");
    for (const char* name : names) // a missing file of the set is not reported
        QFile::copy(base + "." + QString::fromLatin1(name) + ".bmp",
                    shell.measurement_folder + QString::fromLatin1(name) + ".bmp");
    reloadimagespath();
    for (ui::Picture* p : {Image1, Image2, Image3}) p->resize(370, p->height());
}
