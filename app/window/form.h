// TForm1, the operator's main window: three pages "Preview", "Measure" and "Set-up" with
// the designed controls and after them "Orientation", the maps' orientation view; the
// window's state grouped by owner, and the handlers, one
// source per concern: layout, shell (creation, activation, closing, settings), motor,
// camera, integration, sequence, engine run, display, readings, result sets.
//
// The window holds no global state: everything it touches from outside is handed in
// (Environment), so tests can make several windows in one process.
#pragma once

#include "capture/camera.h"
#include "environment.h"
#include "logic/colour_channels.h"
#include "logic/engine_library.h"
#include "logic/frame_sums.h"
#include "logic/pass_check.h"
#include "logic/precise_maps.h"
#include "logic/result_kinds.h"
#include "logic/settings_file.h"
#include "stepper/stepper.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/picture.h"
#include "ui/timer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
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
#include <optional>
#include <vector>

class TFormupdate;

class TForm1 : public QWidget {
  public:
    // Builds the window with its designed controls and runs FormCreate. The update
    // window is needed from the first activation on.
    TForm1(Environment env, TFormupdate* update_window);
    ~TForm1() override;

    // ---- shell: window events ----
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

    // ---- camera ----
    void combobox1Change();
    void combobox1Click();
    void Button4Click();
    void Button2Click();
    void Button3Click();
    void CapturePINClick();
    void CaptureClick();
    void Button5Click();
    void Button6Click();
    void Timer5Timer();
    // Shows the frame size in Label11 and makes Start_Sequence available or not.
    void actualresolution();

    // ---- frame integration ----
    void VLGenericFilter1ProcessData(const QImage& frame);
    void Timer6Timer();
    void IntegrationsChange();
    // Makes the bitmap 32 bits per pixel, the form the integration sums.
    void BmpToArray1(QImage& bitmap);
    // p := the per-channel mean of p and q (halves rounded down), under the colour rule.
    // Raises when q's size is not p's. Returns true.
    bool average(QImage& p, const QImage& q);
    // p := the per-channel mean of p and q relative to the background r, scaled so that
    // the background level becomes 200 (at most 255; p's value where r is 0), under the
    // colour rule. Raises when q's or r's size is not p's. Returns true.
    bool normalize_and_average(QImage& p, const QImage& q, const QImage& r);

    // ---- measurement sequence ----
    void Start_SequenceClick();
    void CollectbackgroundimagesClick();
    void executethisTimer();
    // Turns the polarizer to `angle` degrees and waits until it stands there, integrates
    // a run of frames that ends in the state `target`, and re-arms executethis. `mode` 1:
    // the polarizer is moved first (every call passes 1). Raises "Polarizer did not reach
    // N degrees" when the motor is not there within its travel time plus 10 s.
    void waitforcompletion(int32_t mode, int32_t angle, int32_t target);
    // Where the background images of the current objective, optic, frame size and
    // wavelength lie: the measurement folder and "04x_o_640 x 480_550_", to which the
    // angle image's name is appended.
    QString background_prefix() const;

    // ---- engine run ----
    void sindthreshhold1Change();
    void Timer4Timer();
    void redClick();
    void nmChange();
    void ExecuteTarnwick();

    // ---- result display ----
    void reloadimagespath();
    void reloadimages();
    void Legend();
    // The orientation page: the maps' picture and its legend while the maps are those of
    // the shown results, else an empty picture and a note that says so.
    void show_orientation();
    // That picture with its legend on its right, at one pixel per pixel of the maps; null
    // while the maps are not those of the shown results.
    QImage orientation_picture() const;

    // ---- readings and image scales ----
    void Image1MouseDown(const ui::MouseEvent& e);
    void Image1MouseMove(const ui::MouseEvent& e);
    void Image1MouseUp(const ui::MouseEvent& e);
    void Image1DblClick();
    void Image2MouseDown(const ui::MouseEvent& e);
    void Image2MouseMove(const ui::MouseEvent& e);
    void Image2MouseUp(const ui::MouseEvent& e);
    void Image2DblClick();
    void Image3MouseDown(const ui::MouseEvent& e);
    void Image3MouseMove(const ui::MouseEvent& e);
    void Image3MouseUp(const ui::MouseEvent& e);
    void Image3DblClick();
    void Timer7Timer();
    void Timer8Timer();
    void Timer9Timer();
    void Timer10Timer();
    void Edit2Change();
    void Edit3Change();
    void Edit4Change();
    void Edit5Change();
    void ob04Click();
    void Ob10Click();
    void Ob20Click();
    void Ob40Click();

    // ---- result sets ----
    void Save_all_imagesClick();
    // Saves the result image of the checked kind ("Sin(d)", "phi", "I/Io") to `path`;
    // raises when the file cannot be written.
    void SaveimagesClick(const QString& path);
    void OpenimagesClick();

    // ---- state, grouped by owner ----
    struct Shell {
        QString program_folder;
        QString measurement_folder;
        bool started_up = false; // the first activation has run the start-up work
    } shell;

    struct Motor {
        std::unique_ptr<stepper::Controller> controller; // the stepper object
        int32_t selected = 0;
        int32_t count = 0;
        bool attached = false; // has attached once in this run
        bool present = false;  // attached now
        bool controls = false; // the motor-controls flag
        std::array<int32_t, 4> steps_per_turn{1, 0, 0, 0};
        std::array<int32_t, 4> acceleration{1, 1, 1, 1};
        std::array<int32_t, 4> speed{1, 1, 1, 1};
        std::array<int32_t, 4> sense{1, 1, 1, 1}; // +1 clockwise, -1 counterclockwise
        long double acceleration_min = 0, acceleration_max = 0, speed_max = 0;
        int32_t position_sum = 1000;
        bool not_connected_reported = false;
        bool limits_read = false;  // the set-up of the activation has read the limits
        QString why_not_connected; // the start-up check's reason, when it found none
    } motor;

    struct Camera {
        QString video_driver_name;
        bool chosen = false;
        int32_t resolution = 2; // 1: 320 x 240, 2: 640 x 480, 3: 1024 x 768
        QString software_path;
        capture::DialogSet dialog_set;
    } camera;

    struct Integration {
        int32_t count = 10; // frames per integration, beyond the first
        bool new_frame = false;
        int32_t frame_counter = 0; // frames summed so far in the running integration
        int32_t frames = 0;        // frames of the last integration that ended
        // frames still to let go before the integration takes one: the first frame after the
        // polarizer has arrived may have been exposed while it turned
        int32_t settling = 0;
        frames::Accumulator sums;
        QImage integrated;          // the last integrated image, kept apart from the preview
        bool window_closed = false; // a waiting integration gives up: the program ends
    } integration;

    struct Sequence {
        int32_t state = -1; // -1 never run, 0 idle, 1-4 forward, 6-9 back, 10 background
        int32_t target_state = 0;
        bool running = false;
        bool collecting_background = false;
        bool stopping = false; // the window closes: the running sequence ends at its wait
        // what the last sequence came to: the engine's result code (-1: no engine run) and
        // the background images it stored
        int32_t engine_code = -1;
        QStringList stored_backgrounds;
        // the most clipped integrated image of the running sequence, in per cent
        double clipped_percent = 0;
        // the background set the sequence uses or stores, fixed at its start, and whether a
        // measurement divides by it (the set is complete)
        QString background_prefix;
        bool calibrating = false;
        // what the final status adds to the engine's word on the results ("not corrected")
        QStringList notes;
        // the integrations of both passes, held against each other once the last has ended
        pass_check::Passes passes;
        // and at full precision, for the maps
        precise_maps::Inputs precise;
        // Each progress text as Label13 shows it, and each warning, for a run without an
        // operator.
        std::function<void(const QString&)> on_progress, on_warning;
    } sequence;

    struct Analysis {
        int32_t wavelength = 550; // nm
        int32_t result_code = -1; // of the last engine run; -1: the engine could not be called
        // What the angle image set is: divided by background images (their level is 200),
        // how much of it clipped where the engine reads, in per cent, and what else its
        // results are to be read with ("not corrected"); unknown before this run measured.
        bool calibrated = false;
        double clipped_percent = 0;
        QStringList notes;
    } analysis;

    // What the result pictures show: nothing yet, the engine's results, or a saved set.
    enum class Shown { nothing, engine_results, saved_set };
    struct Display {
        long double sind_maximum = 1.0L; // the sin(d) colour maximum of the next engine run
        Shown shown = Shown::nothing;
        // the colour maximum the shown |sin(d)| picture was computed with, and whether the
        // shown results come from calibrated angle images
        long double shown_maximum = 1.0L;
        bool shown_calibrated = false;
        // the maps in the program folder: written by the last measurement, of the sample and
        // wavelength it analysed; and whether they are those of the shown engine results (the
        // engine's last "Ready" run read that sample at that wavelength)
        bool maps_of_folder = false;
        saturation::Channel maps_sample = saturation::Channel::red;
        QString maps_wavelength;
        bool maps_shown = false;
        // the orientation view of the maps in the program folder (orientation_view.h),
        // and the wavelength of its scale; null while there are none
        QImage orientation;
        double orientation_wavelength = 550;
        int32_t result_width = 320, result_height = 240;
        // the legend pictures as stored with the window, before anything is drawn on them
        std::array<QImage, 4> legend_backgrounds;
    } display;

    struct Readings {
        std::array<long double, 4> image_scale{}; // mm, objectives 4x, 10x, 20x, 40x
        bool tracking = false;
        // in pixels of the result images: Left/Top where the left button went down,
        // Right/Bottom the latest pointer position; and the rectangle drawn last
        struct Rectangle {
            int32_t left = 0, top = 0, right = 0, bottom = 0;
        } selection, drawn;
    } readings;

    // ---- controls, by page ----
    ui::Picture *Image6, *Image10;
    QTabWidget* PageControl1;
    QWidget *TabSheet1, *TabSheet2, *TabSheet3;
    // beyond the designed pages, after them: the maps' orientation view
    QWidget* TabSheet4;
    ui::Picture *OrientationMap, *OrientationLegend;
    ui::Label* OrientationNote;
    // Preview
    ui::Picture* Image0;
    // Measure
    QFrame *Panel1, *Panel2, *Panel3, *Panel4, *Panel5, *Panel6, *Panel7;
    ui::Picture *Image1, *Image2, *Image3, *Image5;
    ui::Picture *legend1, *legend2, *legend3, *legend4;
    ui::GroupBox *GroupBox4, *GroupBox5, *GroupBox6, *GroupBox8;
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
    ui::GroupBox *GroupBox1, *GroupBox2, *GroupBox3, *GroupBox7, *GroupBox17;
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
    // components without a window
    ui::Timer *Timer1, *Timer2, *Timer3, *Timer4, *Timer5, *Timer6, *Timer7, *Timer8, *Timer9,
        *Timer10, *executethis;
    std::unique_ptr<capture::Camera> VLDSCapture1; // the capture component
    ui::FileDialog OpenDialog1{ui::FileDialog::Kind::open};
    ui::FileDialog SaveDialog1{ui::FileDialog::Kind::save,
                               ui::FileDialog::prompt_before_overwriting};

    TFormupdate* Formupdate;
    ui::Dialogs& dialogs() { return *env_.dialogs; }
    // The stepper object; raises stepper::Error when it could not be created.
    stepper::Controller& controller();
    // The capture component; raises capture::Error when it could not be created.
    capture::Camera& capture();

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    // layout
    void build_window();
    void build_preview_page();
    void build_measure_page();
    void build_result_panels();
    void build_measurements_group();
    void build_microscope_group();
    void build_readings_and_sets_groups();
    void build_setup_page();
    void build_motor_group();
    void build_camera_group();
    void build_scales_and_calibrations_groups();
    void build_orientation_page();
    void build_timers();

    // the handlers' connections
    void connect_handlers();
    void connect_value_controls();
    void connect_buttons();
    void connect_result_images();

    // shell and settings file
    void read_settings_file();
    void apply_settings(const settings_file::Settings& s, const settings_file::Reading& r);
    // The window's state as the settings file holds it, the camera as chosen.
    settings_file::Settings current_settings() const;
    void apply_first_start(const FirstStart& settings);
    void write_settings_file();
    void open_saved_camera();

    // The choices of the Measure page, each in the order of its table: the colour buttons
    // (colour_channels.h), the objective buttons with their image scale fields on the
    // Set-up page (objectives.h). The checked one, or nothing.
    std::array<QRadioButton*, 4> channel_buttons() const { return {red, green, blue, monochrome}; }
    struct ObjectiveControls {
        QRadioButton* button;
        QLineEdit* scale;
    };
    std::array<ObjectiveControls, 4> objective_controls() const {
        return {{{ob04, Edit2}, {Ob10, Edit3}, {Ob20, Edit4}, {Ob40, Edit5}}};
    }
    std::optional<size_t> checked_channel() const;
    std::optional<size_t> checked_objective() const;
    // What the window shows and does of each result kind (result_kinds.h).
    struct ResultView {
        ui::Picture* image;       // the result image of the Measure page
        ui::Picture* legend;      // its legend
        QRadioButton* saved;      // checked: SaveimagesClick saves this kind
        ui::Label* reading;       // its reading over the selection
        ui::Timer* reading_timer; // reads it when another result image was dragged over
    };
    ResultView result_view(result_kinds::Kind kind) const;

    // motor
    void motor_setup_at_activation();
    bool wait_for_controller();
    QString why_no_controller();
    void require_polarizer(const char* consequence);
    void select_motor(int index);
    std::vector<QRadioButton*> motor_buttons() const;
    void park_motors_and_end();

    // engine run
    // The options of an engine run, built from the controls as they are now; or, when the
    // controls do not give valid ones, what is wrong (then `text` is empty).
    struct EngineOptions {
        QString text, problem;
    };
    EngineOptions engine_options() const;
    // The status line after a run: the engine's word, or for results that cannot be right
    // everywhere what is wrong with them, in its place or after it.
    QString run_status(const engine_library::Run& run) const;
    // The dark level typed on the Set-up page, when it is a number from 0 to max_dark_level.
    static constexpr long double max_dark_level = 0.95L;
    std::optional<long double> dark_level() const;

    // result display
    bool load_result_images();
    // The result image set of the measurement folder becomes the shown results, computed
    // with colour maximum `maximum`: the widths of their controls, Save, the legends and the
    // readings follow them. False, with the display as it was, when a file cannot be read.
    bool show_results(Shown what, long double maximum);
    // The colour maximum of the |sin(d)| picture shown; the next run's while none is shown.
    long double shown_maximum() const {
        return display.shown == Shown::nothing ? display.sind_maximum : display.shown_maximum;
    }
    QString scale_text() const;

    // readings
    void image_scale_changed(size_t objective);
    void result_mouse_down(result_kinds::Kind pressed, const ui::MouseEvent& e);
    void result_mouse_move(result_kinds::Kind pressed, const ui::MouseEvent& e);
    void reading_timer(result_kinds::Kind kind);
    void write_reading(result_kinds::Kind kind);

    // result sets
    QImage saved_image(result_kinds::Kind kind);

    // measurement sequence
    void sequence_step(int32_t state);
    void end_sequence();
    // The window closes: a running sequence ends at its wait.
    bool closing() const { return sequence.stopping || integration.window_closed; }
    void wait_for_polarizer(int32_t angle);
    void wait_for_integration(int32_t target);
    // the angle image written, as it is in its file
    const QImage& save_angle_image(int32_t angle);
    QImage combine_angle_image(int32_t angle, const QString& prefix);
    // The quantitative maps of the measurement that has just ended, written beside its
    // angle images; a failure is said, and no maps of an earlier measurement are left.
    bool write_maps(const QString& prefix, const pass_check::Findings& found);
    // The sample the engine reads of a pixel, by the chosen channel.
    saturation::Channel engine_sample() const;
    void forget_passes();
    void store_background_images(const QString& prefix);
    void show_progress(const QString& step);
    void check_clipping(const QString& step, int32_t angle, const QImage& angle_image);
    // What a sequence about to start does: the background set, and what it says about
    // its results (notes in the final status, warnings at the start).
    struct StartPlan {
        QString background_prefix;
        bool calibrating = false;
        QStringList notes, warnings;
    };
    StartPlan plan_start(bool measuring);
    void check_polarizer_positions(StartPlan& plan) const;
    // How far the polarizer may stand off an angle before the results say so, in degrees.
    static constexpr long double max_angle_off = 2;

    // camera and frame integration
    void select_listed_camera();
    void set_frame_size(int width, int height, int32_t choice);
    void camera_dialog(const std::function<void(capture::Camera&)>& steps);
    void start_camera_software();
    frames::Channels combination_channels() const;

    class StepperEvents;
    std::unique_ptr<StepperEvents> stepper_events_;
    Environment env_;
};
