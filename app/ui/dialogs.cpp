#include "dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace ui {

namespace {
QString title() { return QCoreApplication::applicationName(); }
}  // namespace

void QtDialogs::message(const QString& text) {
    QMessageBox::information(parent_, title(), text, QMessageBox::Ok);
}

void QtDialogs::error(const QString& text) {
    QMessageBox::critical(parent_, title(), text, QMessageBox::Ok);
}

bool QtDialogs::question(const QString& text) {
    return QMessageBox::question(parent_, title(), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString QtDialogs::open_file(const QString& filter, const QString& folder) {
    return QFileDialog::getOpenFileName(parent_, QString(), folder, filter);
}

QString QtDialogs::save_file(const QString& filter, const QString& folder) {
    return QFileDialog::getSaveFileName(parent_, QString(), folder, filter);
}

}  // namespace ui
