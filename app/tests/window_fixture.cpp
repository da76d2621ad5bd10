#include "window_fixture.h"

#include <QFile>

void WindowTest::write_settings(const QByteArray& text) {
    QFile f(settings_path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray WindowTest::read_settings() const {
    QFile f(settings_path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
