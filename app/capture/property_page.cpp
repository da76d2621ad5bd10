#include "property_page.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

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

void add_feature_row(QFormLayout* form, Feature feature) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(feature.name);
    box->setKeyboardTracking(false); // a typed number is set once, when it is confirmed
    box->setDecimals(feature.step >= 1 ? 0 : 2);
    box->setRange(feature.minimum, feature.maximum);
    if (feature.step > 0) box->setSingleStep(feature.step);
    if (!feature.unit.isEmpty()) box->setSuffix(QStringLiteral(" ") + feature.unit);
    box->setValue(feature.value);
    // a value the device refuses is said under the box, which goes back to the device's value
    auto* problem = new QLabel;
    problem->setObjectName(feature.name + QStringLiteral(" problem"));
    problem->setWordWrap(true);
    problem->setVisible(false);
    auto kept = std::make_shared<double>(feature.value);
    QObject::connect(box, &QDoubleSpinBox::valueChanged, box,
                     [box, problem, kept, set = feature.set](double v) {
                         double took = v;
                         try {
                             took = set(v);
                             problem->setVisible(false);
                         } catch (const Error& e) {
                             took = *kept;
                             problem->setText(QString::fromStdString(e.what()));
                             problem->setVisible(true);
                         }
                         *kept = took;
                         if (std::fabs(took - v) > 1e-9 * std::max(1.0, std::fabs(v))) {
                             const QSignalBlocker quiet(box);
                             box->setValue(took);
                         }
                     });
    const QString unit = feature.unit.isEmpty() ? QString() : QStringLiteral(" ") + feature.unit;
    auto* row = new QHBoxLayout;
    row->addWidget(box);
    row->addWidget(new QLabel(QStringLiteral("%1 to %2%3")
                                  .arg(feature.minimum, 0, 'g', 8)
                                  .arg(feature.maximum, 0, 'g', 8)
                                  .arg(unit)));
    auto* field = new QVBoxLayout;
    field->addLayout(row);
    field->addWidget(problem);
    form->addRow(feature.name, field);
}

QString size_text(QSize size) {
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

} // namespace capture
