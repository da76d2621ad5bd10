// The FTP client over libcurl. Each operation is one request on libcurl's multi interface,
// run in slices: libcurl waits on its sockets for at most a few milliseconds, then the
// caller's "while waiting" work runs (the program lets its window's pending events run
// there), and so on until the request ends. The window stays responsive and its timers
// fire, and no state of libcurl's is waited on for long. The logged-in connection stays in
// the multi handle's cache from one request to the next.
#pragma once

#include "ftp_client.h"

#include <curl/curl.h>

#include <functional>

class QSaveFile;

namespace network {

// How long the client waits; the defaults are the program's.
struct Timeouts {
    int connect_ms = 10000; // connection and login
    long response_s = 10;   // each answer of the server on the control connection
    long stall_s = 60;      // a download that receives nothing for this long fails
};

class CurlFtpClient : public FtpClient {
  public:
    // `while_waiting` runs between the slices of every request, on the calling thread; it
    // may abort the request.
    explicit CurlFtpClient(std::function<void()> while_waiting, Timeouts timeouts = {});
    ~CurlFtpClient() override;
    CurlFtpClient(const CurlFtpClient&) = delete;
    CurlFtpClient& operator=(const CurlFtpClient&) = delete;

    void set_server(const ServerSettings& server) override { server_ = server; }
    void set_passive(bool passive) override { passive_ = passive; }
    bool connected() override { return connected_; }
    void connect() override;
    void change_folder(const QString& folder) override;
    void download(const QString& remote_name, const QString& local_path,
                  int64_t size_limit) override;
    int64_t bytes_received() override { return received_; }
    int64_t announced_size() override { return announced_; }
    void abort() override;
    void disconnect() override;

  private:
    void open_handles();
    void close_handles();
    QByteArray url(const QString& folder, const QString& file = {}) const;
    // Runs one request to its end, processing events meanwhile; raises on failure.
    void perform(const QByteArray& url, bool body, QSaveFile* sink);
    // What libcurl has done: the request's end, and data that arrived.
    void collect();
    static size_t on_data(char* data, size_t size, size_t count, void* self);

    std::function<void()> while_waiting_;
    Timeouts timeouts_;
    ServerSettings server_;
    bool passive_ = true;
    bool connected_ = false;
    QString folder_; // the current remote folder, relative to the login folder

    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    char error_[CURL_ERROR_SIZE] = {};

    // the request in progress
    bool busy_ = false;
    bool finished_ = false;
    bool aborted_ = false;
    bool close_after_ = false; // disconnect() came while a request was in progress
    CURLcode result_ = CURLE_OK;
    QSaveFile* sink_ = nullptr;
    bool sink_failed_ = false;
    int64_t received_ = 0;
    int64_t reported_ = 0;
    int64_t size_limit_ = -1;
    bool too_large_ = false;
    int64_t announced_ = -1;
};

} // namespace network
