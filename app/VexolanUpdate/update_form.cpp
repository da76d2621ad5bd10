// The update window and the check: connect, read the version file, ask, and on consent
// install (installer.cpp). Nothing of the check is shown to the operator but the question
// and the download's boxes; every failure ends it with false.
#include "update_form.h"

#include "logic/version.h"
#include "ui/handlers.h"
#include "ui/wait.h"

#include <QFile>
#include <QFont>

#include <algorithm>
#include <cmath>

namespace {

const QString remote_folder = QStringLiteral("Website/VEXOLANHome");
const QString version_name = QString::fromLatin1(version_file::name);
// A version file is a few short lines; anything longer is not one.
const int64_t version_size_limit = 64 * 1024;

} // namespace

TFormupdate::TFormupdate(UpdateEnvironment env)
    : program_version(::program_version), env_(std::move(env)) {
    setObjectName(QStringLiteral("Formupdate"));
    setWindowTitle(QStringLiteral("Downloading Update"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    QFont font;
    // the designed face where it is installed, else a sans face in which the caption fits
    // the window's designed width of 213 pixels
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    setFont(font);
    move(190, 130);
    resize(213, 63);

    Label2 = new ui::Label(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(8, 8);
    Label2->set_caption(QStringLiteral("Download Progress of TAVMOR Update"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 32, 145, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false); // Label1 shows the percentage
    Label1 = new ui::Label(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(168, 32);
    Label1->set_caption(QStringLiteral("Label1"));
    Timer1 = new ui::Timer(
        31000, [this] { Timer1Timer(); }, this);
    check_deadline = new QTimer(this);
    check_deadline->setSingleShot(true);
    QObject::connect(check_deadline, &QTimer::timeout, this, [this] {
        if (NMFTP1) NMFTP1->abort();
    });

    try {
        if (env_.ftp_factory) NMFTP1 = env_.ftp_factory();
    } catch (const network::Error&) {
        // without an FTP client there is no update check
    }
    if (NMFTP1)
        NMFTP1->on_packet_received = [this] { ui::run_handler([this] { NMFTP1PacketRecvd(); }); };
}

bool TFormupdate::Checkforupdates1Click() {
    // no update server: nothing is asked, and no start-up waits on the network
    if (env_.update_server.host.isEmpty() || !NMFTP1) return update_started;
    network::FtpClient& ftp = *NMFTP1;
    if (ftp.connected()) {
        // left over from a check that is still running further out, or that failed
        ftp.disconnect();
        return false;
    }
    ui::pause(100);
    try {
        ftp.set_server(env_.update_server);
        ftp.set_passive(true);
        check_deadline->start(env_.check_deadline_ms);
        try {
            ftp.connect();
        } catch (const network::Error&) {
            if (!check_deadline->isActive()) throw;
            ftp.connect(); // once more
        }
        Timer1->setEnabled(true);
        ftp.change_folder(remote_folder);
        try {
            download(version_name, env_.program_folder + version_name, version_size_limit);
        } catch (const network::Error&) {
            // closed, so that the next check starts afresh
            Timer1->setEnabled(false);
            check_deadline->stop();
            ftp.disconnect();
            return false;
        }
        check_deadline->stop(); // the operator's question and the installer take their time
        const VersionFile version = read_version_file();
        ProgressBar1->setMaximum(std::max(0, version.installer_size));
        ui::process_messages();
        // the versions are decimals: a difference of exactly 0.0005 asks nothing on either
        // side, whichever way the binary fractions round
        const bool differs = std::fabs(version.version - program_version) > 0.0005L + 1e-12L;
        const QString question = QStringLiteral("new version available, download and install now?");
        if (differs && env_.dialogs && env_.dialogs->question(QStringLiteral("Warning"), question))
            install(version);
    } catch (const std::exception&) {
        // every failure ends the check silently
    }
    check_deadline->stop();
    if (ftp.connected()) ftp.abort();
    if (ftp.connected()) ftp.disconnect();
    return update_started;
}

TFormupdate::VersionFile TFormupdate::read_version_file() const {
    QFile file(env_.program_folder + version_name);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The version file cannot be read.");
    return version_file::parse(file.read(version_size_limit));
}

// A download starts with the bar at 0, so the watchdog watches each download, and with the
// watchdog's full period before its first byte must have come.
void TFormupdate::download(const QString& remote_name, const QString& local_path,
                           int64_t size_limit) {
    ProgressBar1->setValue(0);
    if (Timer1->enabled()) {
        Timer1->setEnabled(false);
        Timer1->setEnabled(true);
    }
    NMFTP1->download(remote_name, local_path, size_limit);
}

void TFormupdate::cancel() {
    if (NMFTP1 && NMFTP1->connected()) NMFTP1->abort();
}

void TFormupdate::NMFTP1PacketRecvd() {
    const int64_t received = NMFTP1 ? NMFTP1->bytes_received() : 0;
    // the bar shows at most its range; Qt would ignore a value outside it
    ProgressBar1->setValue(static_cast<int>(
        std::clamp<int64_t>(received, ProgressBar1->minimum(), ProgressBar1->maximum())));
    const int64_t maximum = ProgressBar1->maximum();
    if (maximum > 0 && ProgressBar1->value() > 0)
        Label1->set_caption(QString::number(received * 100 / maximum) + QStringLiteral(" %"));
}

void TFormupdate::Timer1Timer() {
    // data arrived: the download goes on (with no size known the bar stays at 0)
    if (ProgressBar1->value() > 0 || (NMFTP1 && NMFTP1->bytes_received() > 0)) return;
    Timer1->setEnabled(false);
    if (NMFTP1) NMFTP1->abort();
}
