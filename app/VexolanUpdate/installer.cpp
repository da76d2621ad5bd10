// On the operator's consent: the notes, the installer downloaded into the "update" folder
// and checked, the program file kept as a backup, the installer started and every running
// copy of the program ended.
#include "update_form.h"

#include "logic/installer_signature.h"
#include "ui/wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <stdexcept>

namespace {

const QString remote_installer = QStringLiteral("vexolanInstall.MSI");
// the installer's detached signature, beside it on the server
const QString remote_signature = remote_installer + QStringLiteral(".sig");
const int64_t signature_size_limit = 1024;
const QString program_name = QStringLiteral("vexolan");

QString closing_message() {
    return QStringList{
        QStringLiteral("Update successfully downloaded to .../vexolan/update."),
        QStringLiteral("A backup of the old program has been generated (vexolan.old)"),
        QStringLiteral("vexolan will now close. "),
        QStringLiteral("Installation of vexolan should start automaticaly. "),
        QStringLiteral("If not, run vexolaninstall.msi from .../vexolan/update.")}
        .join(QLatin1Char('\r'));
}

} // namespace

void TFormupdate::install(const VersionFile& version) {
    if (env_.dialogs) env_.dialogs->message(version.notes);
    show();
    try {
        fetch_installer(version);
    } catch (...) {
        hide(); // the download has ended, though not well
        throw;
    }
    back_up_program_file();
    if (env_.dialogs) env_.dialogs->message(closing_message());
    hide();
    update_started = true;
    start_installer();
    ui::pause(1000);
    endprocessesbyname(program_name);
}

// The installer arrives under a temporary name and takes its own only when it is whole and
// is what was published (check_installer). A partial installer is never started.
void TFormupdate::fetch_installer(const VersionFile& version) {
    const QString folder = env_.program_folder + QStringLiteral("update");
    installer_path = folder + QStringLiteral("/vexolaninstall.MSI");
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder))
        throw std::runtime_error("Cannot create undo directory");
    const QString part = installer_path + QStringLiteral(".part");
    download(remote_installer, part, version.installer_size > 0 ? version.installer_size : -1);
    try {
        check_installer(version, part);
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    // the rename is the moment the installer appears, whole: there is nothing to wait for
    const QByteArray from = QFile::encodeName(part), to = QFile::encodeName(installer_path);
    if (std::rename(from.constData(), to.constData()) != 0) {
        QFile::remove(part);
        throw std::runtime_error("The installer cannot be stored.");
    }
}

// Whole: of the version file's size, or else of the size the server announced (a transfer
// that ends short of it has failed already). With an installer key, what the lab signed:
// the detached signature beside it verifies. Without a key, an installer whose size
// nothing told is never started, since a server that ends its transfer early would pass
// for a whole one.
void TFormupdate::check_installer(const VersionFile& version, const QString& part) {
    const qint64 size = QFileInfo(part).size();
    if (version.installer_size > 0 && size != version.installer_size)
        throw std::runtime_error("The installer's size differs from the version file's.");
    const int64_t announced = NMFTP1->announced_size();
    if (env_.installer_key.isEmpty()) {
        if (version.installer_size <= 0 && announced < 0)
            throw std::runtime_error("The installer's size is not known.");
        return;
    }
    const QString signature_path = part + QStringLiteral(".sig");
    QByteArray signature;
    try {
        download(remote_signature, signature_path, signature_size_limit);
        QFile file(signature_path);
        if (file.open(QIODevice::ReadOnly)) signature = file.read(signature_size_limit);
    } catch (...) {
        QFile::remove(signature_path);
        throw;
    }
    QFile::remove(signature_path);
    QString why;
    if (!installer_signature::verify(env_.installer_key, part, signature, &why))
        throw std::runtime_error(why.toStdString());
}

// A program file of another name stays as it is.
void TFormupdate::back_up_program_file() {
    const QString program = env_.program_folder + program_name;
    const QString backup = backup_path(program_name);
    if (QFile::exists(backup)) QFile::remove(backup);
    QFile::rename(program, backup);
}

// As the desktop opens a file: a script or a program is made executable and started, any
// other file handed to its application. A failure is ignored.
void TFormupdate::start_installer() {
    QFile file(installer_path);
    QByteArray head;
    if (file.open(QIODevice::ReadOnly)) head = file.read(4);
    file.close();
    if (head.startsWith("#!") || head.startsWith("\x7f"
                                                 "ELF"))
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser |
                            QFileDevice::ExeGroup | QFileDevice::ExeOther);
    if (env_.open_file) env_.open_file(installer_path, QString());
}
