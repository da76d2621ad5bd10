// Saving the three result images as a result set, and opening a saved set.
#include "file_replace.h"
#include "form.h"
#include "logic/bitmap_file.h"
#include "logic/objectives.h"
#include "logic/record_row.h"
#include "logic/result_info.h"
#include "ui/handlers.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <stdexcept>

namespace {

const QString bitmap_filter = QStringLiteral("Windows Bitmap|*.bmp|All Files|*.*");
const QString bitmap_extension = QStringLiteral("BMP");

// `from` copied to `to` through a temporary name: an earlier `to` stays whole until the
// copy is.
void copy_replacing(const QString& from, const QString& to) {
    QFile source(from);
    const QByteArray bytes = source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
    fileio::ReplacementFile file(QFile::encodeName(to).toStdString());
    if (bytes.isEmpty() || !file.write(bytes.constData(), size_t(bytes.size())) ||
        !file.commit(true))
        throw std::runtime_error(QStringLiteral("Cannot write \"%1\".").arg(to).toStdString());
}

// The position of the extension of the path's last component (from its last "."), or
// the path's length when it has none.
qsizetype extension_at(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > path.lastIndexOf(QLatin1Char('/')) ? dot : path.size();
}

QString with_extension(const QString& path, const QString& extension) {
    return path.left(extension_at(path)) + extension;
}

// ".a1.bmp": what a saved set's base name takes for an image of the kind.
QString saved_extension(result_kinds::Kind kind) {
    return QLatin1Char('.') + QString::fromLatin1(result_kinds::file(kind));
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
    // in the order of their record bytes: "quartz.a1.bmp", "quartz.a2.bmp", "quartz.a0.bmp"
    for (int record = 1; record <= result_kinds::count; ++record) {
        const result_kinds::Kind kind = *result_kinds::of_record(record);
        ui::set_checked(result_view(kind).saved, true);
        SaveimagesClick(with_extension(chosen, saved_extension(kind)));
    }
    // the quantitative maps of the measurement whose results these are; none of another
    // set under the name
    const QString maps = shell.measurement_folder + QString::fromLatin1(precise_maps::file_name);
    const QString saved =
        with_extension(chosen, QString::fromLatin1(precise_maps::saved_extension));
    if (display.shown == Shown::engine_results && display.maps_shown && QFileInfo(maps).isFile())
        copy_replacing(maps, saved);
    else if (QFileInfo::exists(saved) && !QFile::remove(saved))
        throw std::runtime_error(QStringLiteral("Cannot remove \"%1\", the maps of another set.")
                                     .arg(saved)
                                     .toStdString());
}

void TForm1::SaveimagesClick(const QString& path) {
    result_kinds::Kind kind = result_kinds::transmission; // unless another is checked
    for (result_kinds::Kind k : {result_kinds::retardation, result_kinds::angle})
        if (result_view(k).saved->isChecked()) {
            kind = k;
            break;
        }
    bitmap_file::write_or_raise(path, saved_image(kind));
}

// The displayed picture (a selection rectangle included) at 320 x 240, the legend strip
// of its quantity as drawn now, and the record row.
QImage TForm1::saved_image(result_kinds::Kind kind) {
    const ResultView view = result_view(kind);
    QImage picture = view.image->picture();
    if (picture.size() != QSize(320, 240)) picture = nearest_neighbour(picture, 320, 240);
    QImage out(record_row::width, record_row::height, QImage::Format_RGB32);
    out.fill(Qt::black);
    const ui::Picture* legend = view.legend;
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
    if (const std::optional<size_t> checked = checked_objective())
        record.objective = objectives::magnification[*checked];
    record.kind = kind;
    record.sind_maximum = shown_maximum(); // the one its colours were drawn with
    const QDateTime now = env_.now();      // each file takes its own time reading
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

// A saved set is opened whole or not at all: its three images must be there, each a saved
// result image of its kind. Anything else is named in a message and changes nothing, so the
// results shown and their files stay.
void TForm1::OpenimagesClick() {
    OpenDialog1.filter = bitmap_filter;
    OpenDialog1.default_extension = bitmap_extension;
    if (!dialogs().execute(OpenDialog1)) return;
    // quartz.a1.bmp, quartz.a0.bmp and quartz.bmp all name the set quartz
    QString base = OpenDialog1.file_name.left(extension_at(OpenDialog1.file_name));
    if (base.contains(QLatin1Char('.'))) base = base.left(extension_at(base));
    long double maximum = 1;
    for (int k = 0; k < result_kinds::count; ++k) {
        const auto kind = result_kinds::Kind(k);
        const QString path = base + saved_extension(kind);
        const result_info::Row row = result_info::read_row(QFile::encodeName(path).toStdString());
        QString problem;
        if (!QFileInfo(path).isFile())
            problem = QStringLiteral("is missing");
        else if (!row.error.empty())
            problem = QString::fromStdString(row.error);
        else if (const record_row::Decoded d = record_row::decode(row.bytes); !d.error.empty())
            problem = QString::fromStdString(d.error);
        else if (d.kind != kind)
            problem = QStringLiteral("holds the %1 image of a set, not the %2 image")
                          .arg(QString::fromLatin1(result_kinds::table[d.kind].name),
                               QString::fromLatin1(result_kinds::table[kind].name));
        else if (kind == result_kinds::retardation)
            maximum = d.sind_maximum;
        if (!problem.isEmpty()) {
            dialogs().message(QStringLiteral("\"%1\" is not a saved result set: %2 %3.")
                                  .arg(OpenDialog1.file_name, path, problem));
            return;
        }
    }
    auto result_file = [this](int kind) {
        return shell.measurement_folder +
               QString::fromLatin1(result_kinds::file(result_kinds::Kind(kind)));
    };
    for (int kind = 0; kind < result_kinds::count; ++kind) QFile::remove(result_file(kind));
    bool copied = true;
    for (int kind = 0; kind < result_kinds::count; ++kind)
        copied = QFile::copy(base + saved_extension(result_kinds::Kind(kind)), result_file(kind)) &&
                 copied;
    if (!copied || !show_results(Shown::saved_set, maximum))
        throw std::runtime_error(
            QStringLiteral("The saved set \"%1\" cannot be copied into the program folder.")
                .arg(base)
                .toStdString());
}
