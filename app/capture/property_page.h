// The frame of a device's property dialog: its title, its content, and the buttons below.
#pragma once

#include <QDialog>
#include <QLayout>
#include <QSize>
#include <QString>

namespace capture {

// The frame sizes the window asks for with its three size buttons.
constexpr QSize standard_sizes[] = {{320, 240}, {640, 480}, {1024, 768}};

// "640 x 480", as the format dialogs list a size.
QString size_text(QSize size);

// Shows `dialog` modally with `content` above OK and Cancel (`choice`) or a Close
// button; true when the operator chose OK. The content's widgets live as long as the
// dialog.
bool show_page(QDialog& dialog, const QString& title, QLayout* content, bool choice = true);

} // namespace capture
