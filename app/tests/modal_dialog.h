// Answering the modal dialogs of a device as the operator would.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

// Answers the next modal dialog: `choose` sets its controls, then OK is pressed.
inline void answer_dialog(const std::function<void(QDialog&)>& choose) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, choose] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll->stop();
        poll->deleteLater();
        choose(*dialog);
        dialog->accept();
    });
    poll->start(5);
}
