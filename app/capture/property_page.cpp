#include "property_page.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace capture {

bool show_page(QDialog& dialog, const QString& title, QLayout* content, bool choice) {
    dialog.setWindowTitle(title);
    auto* buttons = new QDialogButtonBox(choice ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                                : QDialogButtonBox::Close);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(content);
    layout->addWidget(buttons);
    return dialog.exec() == QDialog::Accepted;
}

QString size_text(QSize size) {
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

} // namespace capture
