// Small additions to Qt's controls for the window's designed behaviour.
#pragma once

#include <QLabel>
#include <QRadioButton>
#include <QString>

namespace ui {

// A label that takes the size of its caption, as the window's labels do.
class Label : public QLabel {
public:
    explicit Label(QWidget* parent = nullptr) : QLabel(parent) {}
    void set_caption(const QString& caption) {
        setText(caption);
        adjustSize();
    }
    QString caption() const { return text(); }
};

// Checks or unchecks a radio button from code. Checking runs its click handler (it is
// connected to becoming checked); unchecking runs nothing. Qt refuses to uncheck the
// checked button of a group, so the group's exclusivity is lifted for the moment.
inline void set_checked(QRadioButton* button, bool checked) {
    if (checked || !button->isChecked()) {
        button->setChecked(checked);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

// Hints are kept with their control but never shown.
inline void set_hint(QWidget* w, const QString& hint) { w->setProperty("hint", hint); }
inline QString hint(const QWidget* w) { return w->property("hint").toString(); }

}  // namespace ui
