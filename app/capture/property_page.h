// The frame of a device's property dialog: its title, its content, and the buttons below.
#pragma once

#include "device.h"

#include <QDialog>
#include <QFormLayout>
#include <QLayout>
#include <QSize>
#include <QString>

namespace capture {

// The frame sizes the window asks for with its three size buttons.
constexpr QSize standard_sizes[] = {{320, 240}, {640, 480}, {1024, 768}};

// "640 x 480", as the format dialogs list a size.
QString size_text(QSize size);

// A row of `form` for the feature: a number box named after it, with its unit, kept within
// its range (shown beside it), that sets the device when the operator has changed the
// value (typed and confirmed, or stepped) and then shows what the device took. A value the
// device refuses, or a device that cannot be reached, puts the box back to the value the
// device keeps and says why under it.
void add_feature_row(QFormLayout* form, Feature feature);

// Shows `dialog` modally with `content` above OK and Cancel (`choice`) or a Close
// button; true when the operator chose OK. The content's widgets live as long as the
// dialog.
bool show_page(QDialog& dialog, const QString& title, QLayout* content, bool choice = true);

} // namespace capture
