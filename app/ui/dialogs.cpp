#include "dialogs.h"

#include "handlers.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace ui {

namespace {
QString title() {
    return QCoreApplication::applicationName();
}
} // namespace

void QtDialogs::message(const QString& text) {
    EventLoopScope scope;
    QMessageBox::information(parent_, title(), text, QMessageBox::Ok);
}

void QtDialogs::error(const QString& text) {
    EventLoopScope scope;
    QMessageBox::critical(parent_, title(), text, QMessageBox::Ok);
}

bool QtDialogs::question(const QString& box_title, const QString& text) {
    EventLoopScope scope;
    return QMessageBox::question(parent_, box_title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool QtDialogs::execute(FileDialog& dialog) {
    EventLoopScope scope;
    const bool save = dialog.kind == FileDialog::Kind::save;
    QFileDialog box(parent_);
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, !dialog.prompt_overwrite);
    if (!dialog.filter.isEmpty()) box.setNameFilter(qt_name_filters(dialog.filter));
    box.setDefaultSuffix(dialog.default_extension);
    if (!dialog.file_name.isEmpty()) {
        const QFileInfo last(dialog.file_name);
        box.setDirectory(last.absolutePath());
        box.selectFile(last.fileName());
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
    dialog.file_name = box.selectedFiles().first();
    return true;
}

QString qt_name_filters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        patterns.replace(QStringLiteral("*.*"),
                         QStringLiteral("*")); // every file, with a dot or not
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

} // namespace ui
