// A real FTP server on loopback for the update tests (ftp_server.py over pyftpdlib), on a
// free port, serving one folder to one account. It lives as long as this object, and ends
// by itself if the test process dies. Its event lines ("login Uploader tls=0", "RETR
// version.txt prot=0", "QUIT", ...) show what the client did.
#pragma once

#include "network/ftp_client.h"

#include <QProcess>
#include <QStringList>

class FtpTestServer {
  public:
    // `faults`: the script's options ("--stall", "version.txt", "--tls", folder, ...).
    // Raises std::runtime_error when the server does not start.
    explicit FtpTestServer(const QString& root, const QStringList& faults = {});
    ~FtpTestServer();

    // Host, port and account, to log in with.
    network::ServerSettings settings() const;
    // The events so far.
    QStringList events();
    // Waits up to `timeout_ms` until the event `line` has occurred `times` times.
    bool wait_for(const QString& line, int times = 1, int timeout_ms = 5000);

    static const QString user, password;

  private:
    void read();
    QProcess process_;
    QByteArray pending_;
    QStringList events_;
    int port_ = 0;
};
