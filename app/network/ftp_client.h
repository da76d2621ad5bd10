// The FTP client boundary: the operations the update check uses. Every operation raises
// network::Error when it fails. While an operation waits on the server the client runs the
// work it was made with (the program lets its window's events run, so timers fire and the
// window stays responsive); `on_packet_received` runs on the calling thread after each
// block of a download that arrives.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

namespace network {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where the update server is and how to log in. No host: there is no update server.
struct ServerSettings {
    QString host;
    int port = 21;
    QString user;
    QString password;
    // The certificate authorities a server that speaks TLS must prove itself by; empty:
    // the system's.
    QString ca_file;
    // True: a server that does not speak TLS is not logged in to (the account never goes
    // out in clear). False: TLS whenever the server offers it, plain FTP otherwise.
    bool tls_required = false;
};

class FtpClient {
  public:
    virtual ~FtpClient() = default;

    // Written before connecting; they take effect at the next connect.
    virtual void set_server(const ServerSettings& server) = 0;
    virtual void set_passive(bool passive) = 0;
    // True between a successful connect and a disconnect.
    virtual bool connected() = 0;
    // Opens the control connection and logs in, over TLS on the control and data
    // connections when the server offers it (its certificate verified: one that cannot be
    // verified fails the connect), in plain FTP when it does not and TLS is not required.
    // Gives up after 10 s.
    virtual void connect() = 0;
    // Changes the remote folder ("/" between names; relative to the current one unless it
    // starts with "/"); raises, with the folder unchanged, when the server refuses it.
    virtual void change_folder(const QString& folder) = 0;
    // Copies the remote file of the current folder byte for byte into the local path,
    // which is replaced only once the whole file has arrived; after a failure it is as it
    // was. Raises when the server refuses the file, the transfer breaks, is aborted,
    // receives nothing for a minute, or brings more than `size_limit` bytes (no limit
    // when negative); a transfer shorter than the size the server announced breaks.
    virtual void download(const QString& remote_name, const QString& local_path,
                          int64_t size_limit) = 0;
    // Bytes received in the current (or last) download; 0 when a download starts.
    virtual int64_t bytes_received() = 0;
    // The size the server announced for the last download before sending it; -1 when it
    // announced none.
    virtual int64_t announced_size() = 0;
    // Ends the operation in progress (a download, a folder change), which then raises;
    // does nothing when none is in progress.
    virtual void abort() = 0;
    // Says goodbye to the server (QUIT) and closes the connection, ending an operation in
    // progress first; not connected afterwards. Never raises.
    virtual void disconnect() = 0;

    std::function<void()> on_packet_received;
};

// Creates an FTP client; raises network::Error when none can be made.
using Factory = std::function<std::unique_ptr<FtpClient>()>;

} // namespace network
