// The update check against a real FTP server on loopback that each test starts itself:
// the version comparison, the installer's download, check and start, every failure path,
// TLS, and the end of the program's running copies.
#include "file_bytes.h"
#include "ftp_test_server.h"
#include "network/curl_ftp_client.h"
#include "window_fixture.h"

#include "entry/desktop.h"
#include "ui/wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

const QString question = "Warning: new version available, download and install now?";
const QString closing = "Update successfully downloaded to .../vexolan/update.\r"
                        "A backup of the old program has been generated (vexolan.old)\r"
                        "vexolan will now close. \r"
                        "Installation of vexolan should start automaticaly. \r"
                        "If not, run vexolaninstall.msi from .../vexolan/update.";

// An installer of `size` bytes that no two blocks repeat in.
QByteArray payload(qsizetype size) {
    QByteArray out(size, Qt::Uninitialized);
    uint32_t x = 2463534242u;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        out[i] = static_cast<char>(x);
    }
    return out;
}

QByteArray version_text(const char* version, qint64 size,
                        const QByteArray& notes = "Faster retardation maps\r\n") {
    return "Vexolan update\r\n" + QByteArray(version) + "\r\n" + QByteArray::number(size) + "\r\n" +
           notes;
}

// A program the tests run as "copies": sleep, under a name of the test's choosing.
QString copy_of_sleep(const QString& path) {
    const QString sleep = QStandardPaths::findExecutable("sleep");
    QFile::remove(path);
    if (sleep.isEmpty() || !QFile::copy(sleep, path)) return {};
    return path;
}

// Records what the check asks of the FTP client.
class RecordingClient : public network::FtpClient {
  public:
    explicit RecordingClient(QStringList& calls) : calls_(calls) {}
    void set_server(const network::ServerSettings&) override { calls_ << "set_server"; }
    void set_passive(bool) override { calls_ << "set_passive"; }
    bool connected() override {
        calls_ << "connected";
        return false;
    }
    void connect() override { calls_ << "connect"; }
    void change_folder(const QString&) override { calls_ << "change_folder"; }
    void download(const QString&, const QString&, int64_t) override { calls_ << "download"; }
    int64_t bytes_received() override { return 0; }
    int64_t announced_size() override { return -1; }
    void abort() override { calls_ << "abort"; }
    void disconnect() override { calls_ << "disconnect"; }

  private:
    QStringList& calls_;
};

} // namespace

class UpdateTest : public ::testing::Test {
  protected:
    UpdateTest() { fresh_folders(); }
    ~UpdateTest() override {
        for (auto& child : children) {
            child->kill();
            child->waitForFinished(3000);
        }
    }

    // A program folder holding the program file, and an empty server folder.
    void fresh_folders() {
        folder = std::make_unique<QTemporaryDir>();
        root = std::make_unique<QTemporaryDir>();
        program_folder = folder->path() + "/";
        home = root->path() + "/Website/VEXOLANHome/";
        QDir().mkpath(home);
        write_bytes(program_folder + "vexolan", "the program, version 1.07");
    }
    void publish(const QByteArray& version, const QByteArray& installer) {
        write_bytes(home + "version.txt", version);
        write_bytes(home + "vexolanInstall.MSI", installer);
    }
    FtpTestServer& start_server(const QStringList& faults = {}) {
        server = std::make_unique<FtpTestServer>(root->path(), faults);
        return *server;
    }

    UpdateEnvironment environment(const network::ServerSettings& settings) {
        UpdateEnvironment env;
        env.program_folder = program_folder;
        env.ftp_factory = [this] {
            return std::make_unique<network::CurlFtpClient>(ui::process_messages, timeouts);
        };
        env.update_server = settings;
        env.installer_key = installer_key;
        env.check_deadline_ms = check_deadline_ms;
        env.dialogs = &dialogs;
        env.open_file = [this](const QString& path, const QString& working_folder) {
            opened << path;
            return open_for_real ? desktop::open_file(path, working_folder) : true;
        };
        env.running_processes = [this] {
            return processes ? processes() : std::vector<RunningProcess>{};
        };
        env.end_process = [this](const RunningProcess& p) {
            const int pid = p.pid;
            ended.push_back(pid);
            // only the test's own children are ever signalled
            for (auto& child : children)
                if (child->processId() == pid) return desktop::end_process(p);
            return true;
        };
        return env;
    }
    std::unique_ptr<TFormupdate> make_update(const network::ServerSettings& settings) {
        return std::make_unique<TFormupdate>(environment(settings));
    }
    std::unique_ptr<TFormupdate> make_update() { return make_update(server->settings()); }

    // The main window and the update window over `env`, as main() builds them, with the
    // simulated controller and a capture component that lists nothing. The update window
    // is destroyed first, as at the end of main().
    struct Windows {
        std::unique_ptr<TForm1> main;
        std::unique_ptr<TFormupdate> update;
    };
    static Windows make_windows(const UpdateEnvironment& update_env,
                                std::function<void()> end_program = {}) {
        Environment env;
        env.end_program = std::move(end_program);
        env.program_folder = update_env.program_folder;
        env.dialogs = update_env.dialogs;
        env.open_file = update_env.open_file;
        env.stepper_factory = [] {
            return std::make_unique<stepper::SimulatedController>(stepper::SimulatedConfig{});
        };
        env.camera_factory = [] { return std::make_unique<FakeCamera>(); };
        Windows windows{std::make_unique<TForm1>(env, nullptr),
                        std::make_unique<TFormupdate>(update_env)};
        windows.main->Formupdate = windows.update.get();
        return windows;
    }

    QProcess& start_child(const QString& program) {
        children.push_back(std::make_unique<QProcess>());
        children.back()->start(program, {"30"});
        EXPECT_TRUE(children.back()->waitForStarted(5000)) << program.toStdString();
        return *children.back();
    }
    // The system's entries for the test's children.
    std::vector<RunningProcess> children_as_listed() {
        std::vector<RunningProcess> out;
        for (const RunningProcess& p : desktop::running_processes())
            for (auto& child : children)
                if (child->processId() == p.pid) out.push_back(p);
        return out;
    }
    // After a check: nothing of an installer is left or started, the program file is
    // untouched and the connection is closed.
    void expect_nothing_installed(TFormupdate& update) {
        EXPECT_FALSE(update.update_started);
        EXPECT_TRUE(opened.isEmpty());
        EXPECT_TRUE(ended.empty());
        EXPECT_FALSE(QFile::exists(program_folder + "update/vexolaninstall.MSI"));
        EXPECT_FALSE(QFile::exists(program_folder + "update/vexolaninstall.MSI.part"));
        EXPECT_TRUE(QFile::exists(program_folder + "vexolan"));
        EXPECT_FALSE(QFile::exists(program_folder + "vexolan.old"));
        EXPECT_FALSE(update.isVisible());
        EXPECT_FALSE(update.NMFTP1->connected());
    }

    network::Timeouts timeouts{3000, 5, 20};
    QByteArray installer_key;
    int check_deadline_ms = 31000;
    std::unique_ptr<QTemporaryDir> folder, root;
    QString program_folder, home;
    ScriptedDialogs dialogs;
    std::unique_ptr<FtpTestServer> server;
    QStringList opened;
    bool open_for_real = false;
    std::function<std::vector<RunningProcess>()> processes;
    std::vector<int> ended;
    std::vector<std::unique_ptr<QProcess>> children;
};

TEST_F(UpdateTest, WithoutAnUpdateServerNothingIsAsked) {
    QStringList calls;
    UpdateEnvironment env = environment({});
    env.ftp_factory = [&] { return std::make_unique<RecordingClient>(calls); };
    TFormupdate update(env);
    EXPECT_FALSE(update.Checkforupdates1Click());
    EXPECT_TRUE(calls.isEmpty()) << calls.join(",").toStdString();
    EXPECT_TRUE(dialogs.questions.isEmpty());
}

// Only a difference above 0.0005, either way, asks; the operator's No downloads nothing
// and closes the connection.
TEST_F(UpdateTest, AsksOnlyWhenTheVersionsDiffer) {
    FtpTestServer& s = start_server();
    const struct {
        const char* version;
        bool asks;
    } cases[] = {{"1.07", false},  {"1.0705", false}, {"1.0695", false},
                 {"1.0706", true}, {"1.06", true},    {"2", true}};
    int sessions = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        // a version file longer than the bar's designed range of 100
        const QByteArray version = version_text(c.version, 100, QByteArray(120, '*'));
        publish(version, payload(100));
        dialogs.questions.clear();
        auto update = make_update();
        EXPECT_FALSE(update->Checkforupdates1Click());
        EXPECT_EQ(dialogs.questions, c.asks ? QStringList{question} : QStringList{});
        EXPECT_TRUE(dialogs.messages.isEmpty());
        EXPECT_EQ(read_bytes(program_folder + "version.txt"), version);
        EXPECT_EQ(update->ProgressBar1->value(), 100) << "the bytes received, clamped to the range";
        EXPECT_TRUE(s.wait_for("QUIT", ++sessions)) << s.events().join("\n").toStdString();
        expect_nothing_installed(*update);
    }
    EXPECT_FALSE(s.events().contains("RETR vexolanInstall.MSI prot=0"));
}

// Yes, through the main window's activation: the notes, the installer downloaded whole and
// started (a script, made executable), the backup, the closing message, and the end of
// every running copy, this one last. The activation stops there.
TEST_F(UpdateTest, InstallsTheNewVersionAndEndsEveryCopy) {
    const QByteArray installer =
        "#!/bin/sh\ncd \"$(dirname \"$0\")/..\" && echo installed > marker\n";
    const QByteArray notes = "Faster retardation maps\r\nNew legends\r\n";
    publish(version_text("1.08", installer.size(), notes), installer);
    start_server();
    ASSERT_FALSE(copy_of_sleep(program_folder + "vexolan").isEmpty());
    const QByteArray program = read_bytes(program_folder + "vexolan");
    QProcess& copy = start_child(program_folder + "vexolan"); // another running copy
    const int self = static_cast<int>(QCoreApplication::applicationPid());
    processes = [&] {
        std::vector<RunningProcess> list = children_as_listed();
        // this process runs the program file too, as the copy reports it now
        list.push_back({self, list.empty() ? QString() : list.front().executable});
        return list;
    };
    open_for_real = true;
    dialogs.answers = {true};

    const Windows windows = make_windows(environment(server->settings()));
    TForm1& form = *windows.main;
    TFormupdate& update = *windows.update;
    const QString caption = form.windowTitle();
    form.FormActivate();

    EXPECT_TRUE(update.update_started);
    EXPECT_EQ(form.windowTitle(), caption) << "the start-up work stops";
    EXPECT_EQ(dialogs.questions, QStringList{question});
    EXPECT_EQ(dialogs.messages, (QStringList{"\rFaster retardation maps\rNew legends", closing}));
    const QString installed = program_folder + "update/vexolaninstall.MSI";
    EXPECT_EQ(update.installer_path, installed);
    EXPECT_EQ(read_bytes(installed), installer);
    EXPECT_EQ(opened, QStringList{installed});
    EXPECT_TRUE(QFileInfo(installed).isExecutable());
    EXPECT_TRUE(ui::wait_until([&] { return QFile::exists(program_folder + "marker"); }, 10000))
        << "the installer ran";
    EXPECT_EQ(read_bytes(program_folder + "vexolan.old"), program);
    EXPECT_FALSE(QFile::exists(program_folder + "vexolan"));
    EXPECT_FALSE(update.isVisible());
    EXPECT_EQ(update.Label1->caption(), "100 %");
    EXPECT_EQ(ended, (std::vector<int>{static_cast<int>(copy.processId()), self}));
    EXPECT_TRUE(copy.waitForFinished(5000));
    EXPECT_EQ(copy.exitStatus(), QProcess::CrashExit) << "ended by its signal";
    EXPECT_FALSE(update.NMFTP1->connected());
    EXPECT_TRUE(server->wait_for("QUIT"));
}

// The version file's layouts: the notes box, the bar's maximum and the percentage. With no
// size the bar stays at 0 and the label keeps the text the version file's download gave
// it, and the watchdog leaves the running download alone.
TEST_F(UpdateTest, VersionFileLayouts) {
    const QByteArray installer = payload(1 << 20);
    start_server();
    const struct {
        const char* name;
        QByteArray version;
        QString notes;
        int maximum;
        QString label; // empty: as before the installer's download
    } cases[] = {
        {"notes", version_text("1.08", installer.size(), "One\r\n\r\nThree"), "\rOne\r\rThree",
         static_cast<int>(installer.size()), "100 %"},
        {"three lines",
         "Vexolan update\r\n1.08\r\n" + QByteArray::number(installer.size()) + "\r\n", "\r",
         static_cast<int>(installer.size()), "100 %"},
        {"no size", "Vexolan update\r\n1.08\r\n0\r\nNotes", "\rNotes", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        publish(c.version, installer);
        dialogs.messages.clear();
        dialogs.answers = {true};
        auto update = make_update();
        QString label_before; // when the question is asked
        dialogs.while_shown = [&] {
            if (label_before.isNull()) label_before = update->Label1->caption();
        };
        auto show_progress = update->NMFTP1->on_packet_received;
        int packets = 0;
        update->NMFTP1->on_packet_received = [&] {
            show_progress();
            ++packets;
            update->Timer1Timer(); // the watchdog fires while data arrive
        };
        EXPECT_TRUE(update->Checkforupdates1Click());
        ASSERT_FALSE(dialogs.messages.isEmpty());
        EXPECT_EQ(dialogs.messages.first(), c.notes);
        EXPECT_EQ(update->ProgressBar1->maximum(), c.maximum);
        EXPECT_EQ(update->Label1->caption(), c.label.isEmpty() ? label_before : c.label);
        EXPECT_TRUE(update->Timer1->enabled());
        EXPECT_GT(packets, 1);
        EXPECT_EQ(read_bytes(program_folder + "update/vexolaninstall.MSI"), installer);
        dialogs.while_shown = nullptr;
    }
}

// 30,000,000 bytes: the percentage climbs to 100 without overflow, the file arrives byte
// for byte, the window is shown meanwhile and the event loop keeps running.
TEST_F(UpdateTest, LargeInstallerProgress) {
    const QByteArray installer = payload(30'000'000);
    publish(version_text("1.08", installer.size()), installer);
    start_server();
    dialogs.answers = {true};
    auto update = make_update();
    auto show_progress = update->NMFTP1->on_packet_received;
    std::vector<int> percent;
    bool shown = true;
    update->NMFTP1->on_packet_received = [&] {
        show_progress();
        if (update->ProgressBar1->maximum() != installer.size()) return; // the version file
        shown = shown && update->isVisible();
        percent.push_back(update->Label1->caption().chopped(2).toInt());
    };
    int ticks = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { ++ticks; });
    beat.start(1);

    EXPECT_TRUE(update->Checkforupdates1Click());
    beat.stop();
    ASSERT_GT(percent.size(), 2u);
    EXPECT_TRUE(std::is_sorted(percent.begin(), percent.end()));
    EXPECT_GE(percent.front(), 0);
    EXPECT_EQ(percent.back(), 100);
    EXPECT_EQ(update->Label1->caption(), "100 %");
    EXPECT_EQ(update->ProgressBar1->value(), installer.size());
    EXPECT_TRUE(shown);
    EXPECT_GT(ticks, 0) << "the event loop ran during the transfers";
    EXPECT_TRUE(read_bytes(program_folder + "update/vexolaninstall.MSI") == installer);
}

// Each download has the watchdog's full period before its first byte must come: a tick
// that would fall just after the installer's download began (its bar back at 0) waits.
TEST_F(UpdateTest, WatchdogGivesEachDownloadItsFullPeriod) {
    const QByteArray installer = payload(100'000);
    publish(version_text("1.08", installer.size()), installer);
    start_server({"--late", "vexolanInstall.MSI:0.5"});
    dialogs.answers = {true};
    auto update = make_update();
    update->Timer1->setInterval(1000);
    // the operator reads each box until the watchdog's next tick is near
    dialogs.while_shown = [&] {
        ui::wait_until([&] { return update->Timer1->remaining() < 100; }, 3000);
    };
    EXPECT_TRUE(update->Checkforupdates1Click());
    EXPECT_EQ(read_bytes(program_folder + "update/vexolaninstall.MSI"), installer);
}

// Every failure ends the check with false: nothing started, no installer under its name,
// the program file untouched, the window hidden, the connection closed.
TEST_F(UpdateTest, FailuresEndTheCheckWithFalse) {
    const QByteArray installer = payload(200'000);
    const struct {
        const char* name;
        QStringList faults;
        std::function<void()> arrange;
        bool asks;
        bool wrong_password = false;
        bool watchdog = false; // the watchdog ends it
    } cases[] = {
        {"login refused", {}, [] {}, false, true},
        {"remote folder missing", {}, [this] { QDir(home).removeRecursively(); }, false},
        {"version file missing", {}, [this] { QFile::remove(home + "version.txt"); }, false},
        {"version not a number",
         {},
         [this] { write_bytes(home + "version.txt", "Vexolan\r\n1,08\r\n200000\r\n"); },
         false},
        {"version file ends early",
         {},
         [this] { write_bytes(home + "version.txt", "Vexolan\r\n1.08\r\n"); },
         false},
        {"transfer cut off halfway", {"--cut", "vexolanInstall.MSI:100000"}, [] {}, true},
        {"installer shorter than its size",
         {},
         [&] { write_bytes(home + "vexolanInstall.MSI", installer.left(150'000)); },
         true},
        {"update folder not creatable",
         {},
         [this] { write_bytes(program_folder + "update", "a file"); },
         true},
        {"version file never sent", {"--stall", "version.txt"}, [] {}, false, false, true},
        // one byte every 0.3 s would take 14 s: the check's deadline ends it
        {"version file trickled", {"--trickle", "version.txt:0.3"}, [] {}, false},
        {"version file of a megabyte",
         {},
         [this] {
             write_bytes(home + "version.txt", version_text("1.08", 200'000, payload(1 << 20)));
         },
         false},
        {"version file of a megabyte, its size not told",
         {"--no-size"},
         [this] {
             write_bytes(home + "version.txt", version_text("1.08", 200'000, payload(1 << 20)));
         },
         false},
        {"installer never sent", {"--stall", "vexolanInstall.MSI"}, [] {}, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_folders();
        publish(version_text("1.08", installer.size()), installer);
        c.arrange();
        FtpTestServer& s = start_server(c.faults);
        network::ServerSettings settings = s.settings();
        if (c.wrong_password) settings.password = "wrong";
        dialogs.questions.clear();
        dialogs.answers = {true};
        check_deadline_ms = 2000;
        auto update = make_update(settings);
        update->Timer1->setInterval(1000); // the watchdog, quicker than 31 s
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(update->Checkforupdates1Click());
        EXPECT_LT(clock.elapsed(), 8000);
        EXPECT_EQ(dialogs.questions.size(), c.asks ? 1 : 0);
        expect_nothing_installed(*update);
        EXPECT_LE(QFileInfo(program_folder + "version.txt").size(), 64 * 1024);
        if (c.watchdog) {
            EXPECT_FALSE(update->Timer1->enabled());
        }
        EXPECT_TRUE(s.wait_for("disconnect")) << s.events().join("\n").toStdString();
        // the login is tried twice
        if (c.wrong_password) {
            EXPECT_TRUE(s.wait_for("login-failed Uploader", 2))
                << s.events().join("\n").toStdString();
        }
    }
}

// A failed version file download closes the connection and stops the watchdog, so the
// next activation's check starts afresh and asks.
TEST_F(UpdateTest, NextCheckAfterAFailedVersionDownload) {
    publish(version_text("1.08", 100), payload(100));
    FtpTestServer& s = start_server({"--stall", "version.txt"});
    auto update = make_update();
    update->Timer1->setInterval(1000);
    EXPECT_FALSE(update->Checkforupdates1Click());
    EXPECT_FALSE(update->Timer1->enabled());
    EXPECT_FALSE(update->NMFTP1->connected());
    EXPECT_TRUE(s.wait_for("disconnect"));

    EXPECT_FALSE(update->Checkforupdates1Click());
    EXPECT_EQ(dialogs.questions, QStringList{question});
}

// A server that accepts the connection and never answers: the connect gives up, once more,
// and the check is false.
TEST_F(UpdateTest, SilentServerIsGivenUp) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (silent.nextPendingConnection()) ++connections; // kept open, never written to
    });
    timeouts.connect_ms = 500;
    network::ServerSettings settings{
        "127.0.0.1", silent.serverPort(), FtpTestServer::user, FtpTestServer::password, {}};
    auto update = make_update(settings);
    EXPECT_FALSE(update->Checkforupdates1Click());
    EXPECT_EQ(connections, 2);
    EXPECT_FALSE(update->NMFTP1->connected());
}

// A server that offers TLS gets the account only over TLS, with its certificate verified:
// one the client cannot verify fails before the login.
TEST_F(UpdateTest, TlsWhenTheServerOffersIt) {
    publish(version_text("1.08", 100), payload(100));
    QTemporaryDir certificates;
    FtpTestServer& s = start_server({"--tls", certificates.path()});
    for (const bool trusted : {true, false}) {
        SCOPED_TRACE(trusted ? "trusted" : "not trusted");
        network::ServerSettings settings = s.settings();
        if (trusted) settings.ca_file = certificates.path() + "/cert.pem";
        dialogs.questions.clear();
        auto update = make_update(settings);
        EXPECT_FALSE(update->Checkforupdates1Click());
        EXPECT_EQ(dialogs.questions.size(), trusted ? 1 : 0);
    }
    EXPECT_TRUE(s.wait_for("disconnect", 3)); // two tries without trust
    const QStringList events = s.events();
    EXPECT_EQ(events.filter("login").join(","), "login Uploader tls=1")
        << events.join("\n").toStdString();
    EXPECT_TRUE(events.contains("RETR version.txt prot=1"));
}

// The copies of the program are the processes of the program file of this program folder,
// and those that run the backup the update renamed it to (the system reports the new name
// for them, this process included). A copy installed in another folder and another program
// are not signalled; this process comes last.
TEST_F(UpdateTest, EndsEveryCopyOfThisInstallationAndNothingElse) {
    QTemporaryDir elsewhere;
    ASSERT_FALSE(copy_of_sleep(program_folder + "vexolan").isEmpty());
    ASSERT_FALSE(copy_of_sleep(elsewhere.path() + "/vexolan").isEmpty());
    ASSERT_FALSE(copy_of_sleep(program_folder + "vexolan-tools").isEmpty());
    QProcess& same_file = start_child(program_folder + "vexolan");
    QProcess& other_folder = start_child(elsewhere.path() + "/vexolan");
    QProcess& other_program = start_child(program_folder + "vexolan-tools");
    // the backup
    ASSERT_TRUE(QFile::rename(program_folder + "vexolan", program_folder + "vexolan.old"));

    const int self = static_cast<int>(QCoreApplication::applicationPid());
    const QString renamed = program_folder + "vexolan.old";
    processes = [&] {
        std::vector<RunningProcess> list = children_as_listed();
        list.insert(list.begin(), RunningProcess{self, renamed}); // this process, first
        return list;
    };
    for (const RunningProcess& p : children_as_listed()) {
        if (p.pid == same_file.processId()) {
            EXPECT_EQ(p.executable, renamed) << "the system follows the rename";
        }
    }

    auto update = make_update({});
    EXPECT_FALSE(update->endprocessesbyname("nothing"));
    EXPECT_TRUE(ended.empty());

    EXPECT_TRUE(update->endprocessesbyname("vexolan"));
    EXPECT_EQ(ended, (std::vector<int>{static_cast<int>(same_file.processId()), self}));
    EXPECT_TRUE(same_file.waitForFinished(5000));
    EXPECT_EQ(same_file.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(other_folder.state(), QProcess::Running);
    EXPECT_EQ(other_program.state(), QProcess::Running);
}

// A process is signalled only while it still runs the program file it was listed with:
// a number that another program took over since the listing is left alone.
TEST_F(UpdateTest, EndingAProcessChecksItsProgramFile) {
    ASSERT_FALSE(copy_of_sleep(program_folder + "vexolan").isEmpty());
    QProcess& child = start_child(program_folder + "vexolan");
    const int pid = static_cast<int>(child.processId());
    EXPECT_FALSE(desktop::end_process({pid, program_folder + "another-program"}));
    EXPECT_FALSE(child.waitForFinished(300));
    const std::vector<RunningProcess> listed = children_as_listed();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(desktop::end_process(listed[0]));
    EXPECT_TRUE(child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
}

// Closing the window while the check downloads ends the transfer and the check; the
// start-up work does not go on over a closed window.
TEST_F(UpdateTest, ClosingDuringTheCheckEndsIt) {
    publish(version_text("1.08", 10), "0123456789");
    start_server({"--late", "version.txt:3"});
    int program_ended = 0;
    const Windows windows = make_windows(environment(server->settings()), [&] { ++program_ended; });
    TForm1& form = *windows.main;
    TFormupdate& update = *windows.update;
    QTimer::singleShot(300, &form, [&] { form.close(); });
    QElapsedTimer clock;
    clock.start();
    form.FormActivate();
    EXPECT_LT(clock.elapsed(), 2500) << "the transfer ended with the close";
    EXPECT_EQ(program_ended, 1);
    EXPECT_EQ(form.windowTitle(), "VEXOLAN") << "no start-up work after the close";
    EXPECT_FALSE(update.update_started);
    EXPECT_TRUE(dialogs.questions.isEmpty());
}

// A lab that requires TLS never sends its account in clear: a server without TLS is not
// logged in to, one with TLS is used as before.
TEST_F(UpdateTest, TlsRequired) {
    publish(version_text("1.08", 100), payload(100));
    QTemporaryDir certificates;
    for (const bool offers_tls : {false, true}) {
        SCOPED_TRACE(offers_tls ? "server with TLS" : "server without TLS");
        FtpTestServer& s =
            start_server(offers_tls ? QStringList{"--tls", certificates.path()} : QStringList{});
        network::ServerSettings settings = s.settings();
        settings.tls_required = true;
        if (offers_tls) settings.ca_file = certificates.path() + "/cert.pem";
        dialogs.questions.clear();
        auto update = make_update(settings);
        EXPECT_FALSE(update->Checkforupdates1Click());
        EXPECT_EQ(dialogs.questions.size(), offers_tls ? 1 : 0);
        EXPECT_TRUE(s.wait_for("disconnect", offers_tls ? 1 : 2));
        EXPECT_EQ(s.events().filter("login").join(","), offers_tls ? "login Uploader tls=1" : "")
            << s.events().join("\n").toStdString();
    }
}

namespace {

// Runs the openssl command, as a lab signs its installers; its standard output.
QByteArray openssl(const QStringList& arguments) {
    QProcess p;
    p.start("openssl", arguments);
    EXPECT_TRUE(p.waitForFinished(10000)) << arguments.join(" ").toStdString();
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

} // namespace

// An installer is started only when it is known whole and, with an installer key, is what
// the lab signed. Without a key its size must be known (from the version file or the
// server's SIZE): a server that ends the transfer early would otherwise pass for a whole
// one. With a key the signature beside it decides, whatever the sizes say.
TEST_F(UpdateTest, InstallerStartedOnlyWhenKnownWholeAndSigned) {
    QTemporaryDir keys;
    const QString key = keys.path() + "/update-key.pem";
    openssl({"genpkey", "-algorithm", "ed25519", "-out", key});
    const QByteArray pem = openssl({"pkey", "-in", key, "-pubout"});
    const QByteArray public_key = pem.split('\n').value(1); // the base64 line
    const QByteArray installer = payload(300'000);
    const QString signed_copy = keys.path() + "/vexolanInstall.MSI";
    write_bytes(signed_copy, installer);
    openssl({"pkeyutl", "-sign", "-rawin", "-inkey", key, "-in", signed_copy, "-out",
             signed_copy + ".sig"});
    const QByteArray signature = read_bytes(signed_copy + ".sig");
    ASSERT_EQ(signature.size(), 64);

    enum Signature { none, valid, missing, of_other_bytes };
    const struct {
        const char* name;
        bool size_in_version_file;
        QStringList faults;
        Signature signature;
        bool started;
    } cases[] = {
        {"size from the server's SIZE", false, {}, none, true},
        {"size from the server's SIZE, cut short",
         false,
         {"--short", "vexolanInstall.MSI:100000"},
         none,
         false},
        {"no size known, cut short",
         false,
         {"--no-size", "--short", "vexolanInstall.MSI:100000"},
         none,
         false},
        {"no size known, whole", false, {"--no-size"}, none, false},
        {"signed, no size known", false, {"--no-size"}, valid, true},
        {"signed, cut short",
         false,
         {"--no-size", "--short", "vexolanInstall.MSI:100000"},
         valid,
         false},
        {"key set, no signature", true, {}, missing, false},
        {"key set, installer replaced", true, {}, of_other_bytes, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_folders();
        publish(version_text("1.08", c.size_in_version_file ? installer.size() : 0), installer);
        if (c.signature == valid) write_bytes(home + "vexolanInstall.MSI.sig", signature);
        if (c.signature == of_other_bytes) {
            write_bytes(home + "vexolanInstall.MSI.sig", signature);
            QByteArray other = installer;
            other[1000] = static_cast<char>(other[1000] ^ 1);
            write_bytes(home + "vexolanInstall.MSI", other);
        }
        installer_key = c.signature == none ? QByteArray() : public_key;
        FtpTestServer& s = start_server(c.faults);
        dialogs.questions.clear();
        dialogs.answers = {true};
        auto update = make_update();
        EXPECT_EQ(update->Checkforupdates1Click(), c.started);
        EXPECT_EQ(dialogs.questions.size(), 1) << s.events().join("\n").toStdString();
        if (c.started) {
            EXPECT_EQ(read_bytes(program_folder + "update/vexolaninstall.MSI"), installer);
            EXPECT_EQ(opened, QStringList{program_folder + "update/vexolaninstall.MSI"});
        } else {
            expect_nothing_installed(*update);
        }
        EXPECT_FALSE(QFile::exists(program_folder + "update/vexolaninstall.MSI.part.sig"));
        opened.clear();
        ended.clear();
        EXPECT_TRUE(s.wait_for("disconnect")) << s.events().join("\n").toStdString();
    }
}
