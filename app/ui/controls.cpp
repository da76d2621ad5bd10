#include "controls.h"

#include <QButtonGroup>
#include <QFontInfo>
#include <QFontMetrics>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

#include <algorithm>

namespace ui {

void Label::set_caption(const QString& caption) {
    caption_ = caption;
    if (fit_width_ <= 0) {
        setText(caption);
        adjustSize();
        return;
    }
    QFont face = designed_font_;
    const int smallest = std::min(8, face.pixelSize());
    while (QFontMetrics(face).horizontalAdvance(caption) > fit_width_ &&
           face.pixelSize() > smallest)
        face.setPixelSize(face.pixelSize() - 1);
    setFont(face);
    const QFontMetrics metrics(face);
    const bool whole = metrics.horizontalAdvance(caption) <= fit_width_;
    setText(whole ? caption : metrics.elidedText(caption, Qt::ElideRight, fit_width_));
    setToolTip(whole ? QString() : caption);
    adjustSize();
}

void Label::set_fit_width(int width) {
    fit_width_ = width;
    designed_font_ = font();
    if (designed_font_.pixelSize() <= 0) designed_font_.setPixelSize(QFontInfo(font()).pixelSize());
    set_caption(caption_.isNull() ? text() : caption_);
}

void GroupBox::paintEvent(QPaintEvent* e) {
    if (!caption_colour_.isValid()) {
        QGroupBox::paintEvent(e);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    // the colour goes into this drawing's palette only, never into the children's
    option.textColor = caption_colour_;
    option.palette.setColor(QPalette::WindowText, caption_colour_);
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
}

void join_parent_group(QRadioButton* button) {
    QWidget* parent = button->parentWidget();
    auto* group = parent->findChild<QButtonGroup*>(QString(), Qt::FindDirectChildrenOnly);
    if (!group) group = new QButtonGroup(parent);
    group->addButton(button);
}

} // namespace ui
