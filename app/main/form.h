// TForm1, the operator's main window: three pages "Preview", "Measure" and "Set-up" with
// the designed controls, the window's state grouped by owner, and the handlers.
//
// The window holds no global state: everything it touches from outside (program folder,
// stepper controller, dialogs, the way the program ends) is handed in, so tests can make
// several windows in one process.
#pragma once

#include "stepper/stepper.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/picture.h"
#include "ui/timer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFormupdate;

// What the window is built with.
struct Environment {
    QString program_folder;   // the folder of the program file, ending with "/"
    stepper::Factory stepper_factory;
    ui::Dialogs* dialogs = nullptr;
    std::function<void()> end_program;   // the orderly end of the process
};

class TForm1 : public QWidget {
public:
    TForm1(Environment env, TFormupdate* update_window);
    ~TForm1() override;

    // ---- window events (shell) ----
    void FormCreate();
    void FormActivate();
    // Returns false when the close is refused (the polarizer is driven home first).
    bool FormClose();
    void Timer3Timer();

    // ---- polarizer motor ----
    int32_t Targetsteps(int32_t angle);
    int32_t Targetangle(int32_t steps);
    void TrackBar1Change();
    void TrackBar2Change();
    void TrackBar3Change();
    void CheckBox1Click();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton6Click();
    void Edit6Change();
    void Timer1Timer();
    void Timer2Timer();
    void Phidget21COMIPhidgetStepperEvents1Attach();
    void Phidget21COMIPhidgetStepperEvents1Detach();
    void Phidget21COMIPhidgetStepperEvents1PositionChange(int index, int steps);

    // ---- handlers of the camera, integration, sequence and results (their own work
    // comes with those parts of the program) ----
    void combobox1Change() {}
    void combobox1Click() {}
    void CapturePINClick() {}
    void CaptureClick() {}
    void Button2Click() {}
    void Button3Click() {}
    void Button4Click() {}
    void Button5Click() {}
    void Button6Click() {}
    void Timer5Timer() {}
    void Timer6Timer() { Timer6->setEnabled(false); }
    void executethisTimer() { executethis->setEnabled(false); }
    void Start_SequenceClick() {}
    void CollectbackgroundimagesClick() {}
    void IntegrationsChange();
    void sindthreshhold1Change() {}
    void Timer4Timer() { Timer4->setEnabled(false); }
    void redClick() {}
    void nmChange() {}
    void Legend() {}
    void Edit2Change() { image_scale_changed(0, Edit2); }
    void Edit3Change() { image_scale_changed(1, Edit3); }
    void Edit4Change() { image_scale_changed(2, Edit4); }
    void Edit5Change() { image_scale_changed(3, Edit5); }
    void ob04Click() {}
    void Ob10Click() {}
    void Ob20Click() {}
    void Ob40Click() {}
    void reloadimages() {}
    void Save_all_imagesClick() {}
    void OpenimagesClick() {}
    void Timer7Timer() { Timer7->setEnabled(false); }
    void Timer8Timer() { Timer8->setEnabled(false); }
    void Timer9Timer() { Timer9->setEnabled(false); }
    void Timer10Timer() { Timer10->setEnabled(false); }
    // the name the capture device answers to: "None" while no device is selected
    QString capture_device_name() const { return QStringLiteral("None"); }

    // ---- state, grouped by owner ----
    struct Shell {
        QString program_folder;
        QString measurement_folder;
        bool activating = false;   // guards FormActivate against re-entry from its waits
        bool ended = false;        // the orderly close has run
    } shell;

    struct Motor {
        std::unique_ptr<stepper::Controller> controller;   // the stepper object
        int32_t selected = 0;
        int32_t count = 0;
        bool attached = false;
        bool controls = false;                             // the motor-controls flag
        std::array<int32_t, 4> steps_per_turn{1, 0, 0, 0};
        std::array<int32_t, 4> acceleration{1, 1, 1, 1};
        std::array<int32_t, 4> speed{1, 1, 1, 1};
        std::array<int32_t, 4> sense{1, 1, 1, 1};          // +1 clockwise, -1 counterclockwise
        std::array<int32_t, 4> position{0, 0, 0, 0};       // commanded degrees
        long double acceleration_min = 0, acceleration_max = 0, speed_max = 0;
        int32_t position_sum = 1000;
        bool not_connected_reported = false;
    } motor;

    struct Camera {
        QString video_driver_name;
        bool chosen = false;
        int32_t resolution = 2;   // 1: 320 x 240, 2: 640 x 480, 3: 1024 x 768
        QString software_path;
    } camera;

    struct Sequence {
        int32_t state = -1;
        int32_t target_state = 0;
        bool running = false;
        bool collecting_background = false;
        bool new_frame = false;
        int32_t integration_count = 10;
    } sequence;

    struct Display {
        int32_t wavelength = 550;
        long double sind_maximum = 1.0L;
        std::array<long double, 4> image_scale{};   // 4x, 10x, 20x, 40x
        int32_t result_width = 320, result_height = 240;
        bool tracking = false;
        QRect selection;
    } display;

    // ---- controls, by page ----
    ui::Picture *Image6, *Image10;
    QTabWidget* PageControl1;
    QWidget *TabSheet1, *TabSheet2, *TabSheet3;
    // Preview
    ui::Picture* Image0;
    // Measure
    QFrame *Panel1, *Panel2, *Panel3, *Panel4, *Panel5, *Panel6, *Panel7;
    ui::Picture *Image1, *Image2, *Image3, *Image5;
    ui::Picture *legend1, *legend2, *legend3, *legend4;
    QGroupBox *GroupBox4, *GroupBox5, *GroupBox6, *GroupBox8;
    QPushButton* Start_Sequence;
    QLineEdit* Edit1;
    QSlider *TrackBar4, *sindthreshhold1, *Integrations;
    ui::Label *Label12, *sindthreshholdcaption, *Label21, *Label13, *Label22, *nano, *Label14,
        *Label16, *Label34, *Label35, *Label36;
    QLineEdit* nm;
    QRadioButton *red, *green, *blue, *monochrome, *ob04, *Ob10, *Ob20, *Ob40, *orthoscopic,
        *conoscopic, *RadioButton3, *RadioButton4, *RadioButton5;
    QToolButton *SpeedButton1, *Openimages;
    // Set-up
    QGroupBox *GroupBox1, *GroupBox2, *GroupBox3, *GroupBox7, *GroupBox17;
    QCheckBox* CheckBox1;
    QPlainTextEdit* Memo1;
    ui::Label *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9,
        *Label10, *Label15, *Label23, *Label19, *Label11, *Label38, *Label39, *Label40, *Label41,
        *Label20;
    QSlider *TrackBar1, *TrackBar2, *TrackBar3;
    QRadioButton *RadioButton1, *RadioButton2, *RadioButton6, *RadioButton7;
    QLineEdit *Edit6, *Edit2, *Edit3, *Edit4, *Edit5, *darklevel;
    QFrame* Panel8;
    QComboBox* combobox1;
    QPushButton *CapturePIN, *Capture, *Button4, *Button2, *Button3, *Button6, *Button5,
        *Collectbackgroundimages;
    ui::Picture* Image4;
    // timers
    ui::Timer *Timer1, *Timer2, *Timer3, *Timer4, *Timer5, *Timer6, *Timer7, *Timer8, *Timer9,
        *Timer10, *executethis;

    TFormupdate* Formupdate;
    ui::Dialogs& dialogs() { return *env_.dialogs; }
    // The stepper object; raises stepper::Error when it could not be created.
    stepper::Controller& controller();
    // Brings the polarizer home and ends the program in order, as a close does.
    void request_close() { close(); }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void build_window();
    void build_preview_page();
    void build_measure_page();
    void build_setup_page();
    void build_timers();
    void connect_handlers();

    void image_scale_changed(int objective, const QLineEdit* edit);
    void read_settings_file();
    void write_settings_file();
    void motor_setup_at_activation();
    void select_motor(int index);
    std::vector<QRadioButton*> motor_buttons() const;
    void park_motors_and_end();

    class StepperEvents;
    std::unique_ptr<StepperEvents> stepper_events_;
    Environment env_;
};
