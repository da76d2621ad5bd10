// The whole instrument on the test slide: the window drives the simulated motor, which
// turns the virtual microscope's polarizer, integrates the virtual camera's frames at 0,
// 45, 90 and 135 degrees, and the engine reads each disc of the `target` slide back: its
// extinction angle is the disc's slow axis and its |sin(d)| the disc's.
#include "microscope_fixture.h"

#include <dlfcn.h>

namespace {

// Runs the engine library as the program does, on the angle images in `folder`.
int run_engine(const QString& folder) {
    void* library = dlopen(TARNWICK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) return -1;
    auto* execute = reinterpret_cast<int32_t (*)(const char*)>(dlsym(library, "Execute_Tarnwick"));
    const QByteArray options = "-P \"" + QFile::encodeName(folder) + "/\"";
    const int result = execute ? execute(options.constData()) : -1;
    dlclose(library);
    return result;
}

} // namespace

TEST_F(MicroscopeTest, EngineReadsTheTargetSlide) {
    auto form = start_microscope();
    int state = 1;
    for (int angle : {0, 45, 90, 135}) {
        ui::set_position(form->TrackBar1, angle);
        ASSERT_TRUE(ui::wait_until(
            [&] { return sim->current_position(0) == form->Targetsteps(angle); }, 5000));
        // as the sequence does: the frames queued while the polarizer turned are shown, and
        // the next one, whose exposure may have begun before it stood still, is let go
        ui::process_messages();
        form->integration.new_frame = false;
        form->integration.settling = 1;
        form->integration.frame_counter = 0;
        form->sequence.target_state = ++state;
        form->Timer6->setEnabled(true);
        ASSERT_TRUE(ui::wait_until([&] { return form->sequence.state == state; }, 5000)) << angle;
        ASSERT_EQ(form->integration.integrated.size(), QSize(640, 480));
        ASSERT_TRUE(bitmap_file::write(folder.path() + QStringLiteral("/%1.bmp").arg(angle),
                                       form->integration.integrated));
    }
    ASSERT_EQ(run_engine(folder.path()), 0);
    // the empty field shows the light's imperfection, |sin(d)| about 0.04
    expect_target_truth(read(folder.path() + "/a1.bmp"), read(folder.path() + "/a2.bmp"), 0.04);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}
