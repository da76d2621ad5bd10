#include "controls.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

namespace ui {

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
