// The frame of a device's property dialog: its title, its content, and the buttons below.
#pragma once

#include <QDialog>
#include <QLayout>
#include <QString>

namespace capture {

// Shows `dialog` modally with `content` above OK and Cancel (`choice`) or a Close
// button; true when the operator chose OK. The content's widgets live as long as the
// dialog.
bool show_page(QDialog& dialog, const QString& title, QLayout* content, bool choice = true);

}  // namespace capture
