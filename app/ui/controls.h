// Small additions to Qt's controls for the window's designed behaviour.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QString>

class QRadioButton;

namespace ui {

// A label that takes the size of its caption, as the window's labels do.
class Label : public QLabel {
  public:
    explicit Label(QWidget* parent = nullptr) : QLabel(parent) {}
    void set_caption(const QString& caption);
    QString caption() const { return caption_; }
    // A caption wider than `width` pixels (a status line in its group box) is shown whole
    // in a smaller face, down to 8 pixels, and beyond that cut short with "…" and shown whole
    // in the label's tool tip. 0: the label grows with its caption.
    void set_fit_width(int width);

  private:
    QString caption_;
    int fit_width_ = 0;
    QFont designed_font_;
};

// A group box whose own caption can take a colour of its own; the controls inside keep
// theirs (a palette colour would pass down to every caption inside).
class GroupBox : public QGroupBox {
  public:
    explicit GroupBox(QWidget* parent = nullptr) : QGroupBox(parent) {}
    void set_caption_colour(const QColor& colour) {
        caption_colour_ = colour;
        update();
    }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QColor caption_colour_;
};

// Makes the radio button a member of the one exclusive group of its parent's radio
// buttons, as the window's groups are designed: the buttons in a panel inside a group box
// form a group of their own. (Qt's automatic exclusivity would join every radio button
// anywhere below the parent into one group.)
void join_parent_group(QRadioButton* button);

// Hints are kept with their control but never shown.
inline void set_hint(QWidget* w, const QString& hint) {
    w->setProperty("hint", hint);
}
inline QString hint(const QWidget* w) {
    return w->property("hint").toString();
}

} // namespace ui
