#include "ftp_test_server.h"

#include <QDeadlineTimer>

#include <stdexcept>

const QString FtpTestServer::user = QStringLiteral("Uploader");
const QString FtpTestServer::password = QStringLiteral("ab#123456");

FtpTestServer::FtpTestServer(const QString& root, const QStringList& faults) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList account{QStringLiteral("--user"), user, QStringLiteral("--password"),
                              password};
    process_.start(QStringLiteral(SYSTEM_PYTHON3),
                   QStringList{QStringLiteral(FTP_SERVER_SCRIPT), root} + account + faults);
    QDeadlineTimer deadline(20000); // the first line once it listens
    while (port_ == 0 && !deadline.hasExpired()) {
        if (!process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
        read();
        if (!events_.isEmpty() && events_.first().startsWith(QLatin1String("port ")))
            port_ = events_.takeFirst().mid(5).toInt();
    }
    if (port_ == 0) throw std::runtime_error("The test FTP server did not start.");
}

FtpTestServer::~FtpTestServer() {
    process_.closeWriteChannel(); // the server ends when its input closes
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(3000);
}

network::ServerSettings FtpTestServer::settings() const {
    network::ServerSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port_;
    s.user = user;
    s.password = password;
    return s;
}

void FtpTestServer::read() {
    pending_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
        events_ << QString::fromUtf8(pending_.left(end));
        pending_.remove(0, end + 1);
    }
}

QStringList FtpTestServer::events() {
    read();
    return events_;
}

bool FtpTestServer::wait_for(const QString& line, int times, int timeout_ms) {
    QDeadlineTimer deadline(timeout_ms);
    while (events().count(line) < times) {
        if (deadline.hasExpired()) return false;
        process_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    return true;
}
