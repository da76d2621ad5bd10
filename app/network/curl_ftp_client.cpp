#include "curl_ftp_client.h"

#include <QFile>
#include <QSaveFile>
#include <QUrl>

#include <string>
#include <utility>

namespace network {

namespace {

// How long libcurl may wait on its sockets before the caller's work runs again.
const int slice_ms = 10;

void global_init() {
    static const bool done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!done) throw Error("The network library cannot be initialised.");
}

// "a/b/" for the folder "a/b", "" for the login folder; each name percent-encoded, and a
// leading "/" (the server's root rather than the login folder) as "%2F".
QByteArray encoded_folder(const QString& folder) {
    QByteArray out;
    if (folder.startsWith(QLatin1Char('/'))) out = "%2F";
    for (const QString& name : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        out += QUrl::toPercentEncoding(name) + '/';
    return out;
}

} // namespace

CurlFtpClient::CurlFtpClient(std::function<void()> while_waiting, Timeouts timeouts)
    : while_waiting_(std::move(while_waiting)), timeouts_(timeouts) {
    global_init();
}

CurlFtpClient::~CurlFtpClient() {
    close_handles();
}

void CurlFtpClient::open_handles() {
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
    if (!multi_ || !easy_) {
        close_handles();
        throw Error("The network library cannot start a connection.");
    }
    CURL* e = easy_;
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROXY, ""); // no proxy, whatever the environment says
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error_);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts_.connect_ms));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeouts_.response_s);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, timeouts_.stall_s);
    const QByteArray user = server_.user.toUtf8(), password = server_.password.toUtf8();
    curl_easy_setopt(e, CURLOPT_USERNAME, user.constData()); // libcurl keeps copies
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.constData());
    // TLS whenever the server offers it, with its certificate verified; plain otherwise,
    // unless TLS is required
    curl_easy_setopt(e, CURLOPT_USE_SSL,
                     static_cast<long>(server_.tls_required ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!server_.ca_file.isEmpty())
        curl_easy_setopt(e, CURLOPT_CAINFO, QFile::encodeName(server_.ca_file).constData());
    if (!passive_) curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlFtpClient::on_data);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
}

// The multi handle's cleanup closes its connections, each with a QUIT whose answer it
// waits for at most the response time.
void CurlFtpClient::close_handles() {
    if (multi_) curl_multi_cleanup(multi_);
    if (easy_) curl_easy_cleanup(easy_);
    multi_ = nullptr;
    easy_ = nullptr;
}

QByteArray CurlFtpClient::url(const QString& folder, const QString& file) const {
    QByteArray host = QUrl::toAce(server_.host);
    if (host.isEmpty()) host = server_.host.toUtf8();
    if (server_.host.contains(QLatin1Char(':'))) host = '[' + server_.host.toUtf8() + ']';
    return "ftp://" + host + ':' + QByteArray::number(server_.port) + '/' + encoded_folder(folder) +
           QUrl::toPercentEncoding(file);
}

void CurlFtpClient::connect() {
    if (server_.host.isEmpty()) throw Error("No update server is configured.");
    if (busy_) throw Error("The update server is busy with another request.");
    disconnect();
    open_handles();
    folder_.clear();
    try {
        perform(url(folder_), false, nullptr); // the login, and nothing else
    } catch (const Error&) {
        close_handles();
        throw;
    }
    connected_ = true;
}

void CurlFtpClient::change_folder(const QString& folder) {
    if (!connected_) throw Error("Not connected to the update server.");
    // right after the login the current folder is the login folder, which the URL's path
    // names by leaving the "/" out
    const QString target = folder.startsWith(QLatin1Char('/')) || folder_.isEmpty()
                               ? folder
                               : folder_ + QLatin1Char('/') + folder;
    perform(url(target), false, nullptr); // the server changes to the folder, or refuses
    folder_ = target;
}

void CurlFtpClient::download(const QString& remote_name, const QString& local_path,
                             int64_t size_limit) {
    if (!connected_) throw Error("Not connected to the update server.");
    QSaveFile file(local_path);
    auto cannot_write = [&] {
        return Error("Cannot write " + local_path.toStdString() + ": " +
                     file.errorString().toStdString());
    };
    if (!file.open(QIODevice::WriteOnly)) throw cannot_write();
    received_ = reported_ = 0;
    announced_ = -1;
    size_limit_ = size_limit;
    // a file announced larger than the limit is refused before its transfer
    curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(size_limit >= 0 ? size_limit : 0));
    try {
        perform(url(folder_, remote_name), true, &file); // on failure the file is discarded
    } catch (const Error&) {
        size_limit_ = -1;
        throw;
    }
    size_limit_ = -1;
    if (!file.commit()) throw cannot_write();
}

void CurlFtpClient::abort() {
    if (!busy_) return;
    aborted_ = true;
    finished_ = true;
}

void CurlFtpClient::disconnect() {
    connected_ = false;
    if (busy_) {
        // the request in progress ends first; the connection closes once it has
        abort();
        close_after_ = true;
        return;
    }
    close_handles();
}

void CurlFtpClient::perform(const QByteArray& address, bool body, QSaveFile* sink) {
    if (busy_) throw Error("The update server is busy with another request.");
    curl_easy_setopt(easy_, CURLOPT_URL, address.constData());
    curl_easy_setopt(easy_, CURLOPT_NOBODY, body ? 0L : 1L);
    error_[0] = '\0';
    busy_ = true;
    finished_ = aborted_ = close_after_ = sink_failed_ = too_large_ = false;
    result_ = CURLE_OK;
    sink_ = sink;
    const CURLMcode added = curl_multi_add_handle(multi_, easy_);
    while (added == CURLM_OK) {
        int running = 0;
        curl_multi_perform(multi_, &running);
        collect();
        if (finished_) break;
        curl_multi_poll(multi_, nullptr, 0, slice_ms, nullptr);
        if (while_waiting_) while_waiting_(); // the window's events, timers, packet handler
        if (finished_) break;                 // aborted meanwhile
    }
    // a request that has not ended (aborted) closes its connection here
    curl_off_t announced = -1;
    if (body &&
        curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK)
        announced_ = announced;
    curl_multi_remove_handle(multi_, easy_);
    busy_ = false;
    sink_ = nullptr;
    if (close_after_) close_handles();
    if (added != CURLM_OK) throw Error(curl_multi_strerror(added));
    if (aborted_) throw Error("The transfer was aborted.");
    if (too_large_ || result_ == CURLE_FILESIZE_EXCEEDED)
        throw Error("The file is larger than " + std::to_string(size_limit_) + " bytes.");
    if (sink_failed_) throw Error("The downloaded file cannot be written.");
    if (result_ != CURLE_OK) throw Error(error_[0] ? error_ : curl_easy_strerror(result_));
}

void CurlFtpClient::collect() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        result_ = message->data.result;
        finished_ = true;
    }
    // last, as the handler may abort or disconnect
    if (received_ > reported_ && !aborted_) {
        reported_ = received_;
        if (on_packet_received) on_packet_received();
    }
}

size_t CurlFtpClient::on_data(char* data, size_t size, size_t count, void* self) {
    auto* client = static_cast<CurlFtpClient*>(self);
    const qint64 n = static_cast<qint64>(size * count);
    if (client->aborted_) return 0;
    if (client->size_limit_ >= 0 && client->received_ + n > client->size_limit_) {
        client->too_large_ = true;
        return 0; // ends the transfer
    }
    if (!client->sink_ || client->sink_->write(data, n) != n) {
        client->sink_failed_ = true;
        return 0; // ends the transfer with a write error
    }
    client->received_ += n;
    return static_cast<size_t>(n);
}

} // namespace network
