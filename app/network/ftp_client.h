// The FTP client boundary: the operations the update check uses. Every operation raises
// network::Error when it fails. A transfer lets the window's events run while it waits,
// and `on_packet_received` runs on the GUI thread after each block that arrives.
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
};

class FtpClient {
public:
    virtual ~FtpClient() = default;

    // Written before connecting.
    virtual void set_server(const ServerSettings& server) = 0;
    virtual void set_passive(bool passive) = 0;
    // True between a successful connect and a disconnect.
    virtual bool connected() = 0;
    // Opens the control connection and logs in.
    virtual void connect() = 0;
    // Changes the remote folder.
    virtual void change_folder(const QString& folder) = 0;
    // Copies the remote file byte for byte into the local path.
    virtual void download(const QString& remote_name, const QString& local_path) = 0;
    // Bytes received in the current (or last) transfer; grows as data arrive.
    virtual int64_t bytes_received() = 0;
    // Ends the data transfer in progress, if any.
    virtual void abort() = 0;
    // Says goodbye to the server and closes the connection.
    virtual void disconnect() = 0;

    std::function<void()> on_packet_received;
};

// Creates an FTP client; raises network::Error when none can be made.
using Factory = std::function<std::unique_ptr<FtpClient>()>;

}  // namespace network
