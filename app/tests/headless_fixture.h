// The program run as a user runs it, without an operator: the program and the engine
// library in a program folder of their own, no display, started in its folder "work".
#pragma once

#include "file_bytes.h"
#include "microscope_fixture.h"

// What a run of the program came to: its exit status (-1 when it crashed) and its output.
struct Outcome {
    int status = -1;
    QString out, err;
};

class HeadlessTest : public MicroscopeTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::copy(VEXOLAN_PROGRAM, program()));
        ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(TARNWICK_LIBRARY), file("libtarnwick.so")));
        ASSERT_TRUE(QDir().mkdir(file("work")));
    }

    QString program() const { return file("vexolan"); }

    // The maps of a calibrated measurement of the test slide against its truth.
    void expect_maps_truth(const QString& path);

    // Runs the program in the folder "work" without a display, with these variables added
    // to its environment.
    Outcome vexolan(const QStringList& arguments, const QStringList& environment = {}) {
        QProcess p;
        without_display(p, file("work"));
        QProcessEnvironment env = p.processEnvironment();
        for (const QString& variable : environment)
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        p.setProcessEnvironment(env);
        p.start(program(), arguments);
        EXPECT_TRUE(p.waitForFinished(120000)) << arguments.join(' ').toStdString();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
};
