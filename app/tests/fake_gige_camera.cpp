#include "fake_gige_camera.h"

#include "capture/aravis_camera.h"

FakeGigECamera::FakeGigECamera() {
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(QStringLiteral(ARV_FAKE_GV_CAMERA), {"-i", "127.0.0.1"});
    if (!process_.waitForStarted(10000)) return;
    // each listing gives the cameras a second to answer
    for (int i = 0; i < 10 && !listed_; ++i) listed_ = capture::genicam_cameras().contains(name);
}

FakeGigECamera::~FakeGigECamera() {
    unplug();
}

void FakeGigECamera::unplug() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(10000);
}
