// The FTP client's contract against a real server on loopback: what a refused folder, a
// stalled and a broken download leave behind, and operations ended from the packet
// handler.
#include "file_bytes.h"
#include "ftp_test_server.h"
#include "network/curl_ftp_client.h"
#include "ui/wait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

struct Served {
    QTemporaryDir root, local;
    QString home = root.path() + "/Website/VEXOLANHome/";
    Served() {
        QDir().mkpath(home);
        write_bytes(home + "data.bin", QByteArray(3'000'000, 'x'));
    }
    QString local_file() const { return local.path() + "/data.bin"; }
};

std::unique_ptr<network::CurlFtpClient> connected_client(const FtpTestServer& server,
                                                         network::Timeouts timeouts = {}) {
    auto client = std::make_unique<network::CurlFtpClient>(ui::process_messages, timeouts);
    client->set_server(server.settings());
    client->connect();
    client->change_folder("Website");
    return client;
}

} // namespace

// A refused folder leaves the current one; a download that breaks off or stalls raises
// and leaves the local file as it was; the next download replaces it whole.
TEST(FtpClient, FailuresLeaveFolderAndFileAsTheyWere) {
    Served s;
    FtpTestServer server(s.root.path(), {"--cut", "data.bin:1000000"});
    auto client = connected_client(server);
    EXPECT_THROW(client->change_folder("Elsewhere"), network::Error);
    client->change_folder("VEXOLANHome");

    write_bytes(s.local_file(), "the earlier file");
    int packets = 0;
    client->on_packet_received = [&] { ++packets; };
    EXPECT_THROW(client->download("data.bin", s.local_file(), -1), network::Error);
    EXPECT_GT(packets, 0);
    EXPECT_GT(client->bytes_received(), 0);
    EXPECT_EQ(read_bytes(s.local_file()), "the earlier file");
    EXPECT_EQ(QDir(s.local.path()).entryList(QDir::Files), QStringList{"data.bin"})
        << "no temporary left";

    client->download("data.bin", s.local_file(), -1);
    EXPECT_EQ(client->bytes_received(), 3'000'000);
    EXPECT_TRUE(read_bytes(s.local_file()) == read_bytes(s.home + "data.bin"));
    client->disconnect();
    EXPECT_FALSE(client->connected());
    EXPECT_TRUE(server.wait_for("QUIT"));
}

// A download that receives nothing fails after the stall time, without any watchdog.
TEST(FtpClient, StalledDownloadFails) {
    Served s;
    FtpTestServer server(s.root.path(), {"--stall", "data.bin"});
    network::Timeouts timeouts;
    timeouts.stall_s = 1;
    auto client = connected_client(server, timeouts);
    client->change_folder("VEXOLANHome");
    EXPECT_THROW(client->download("data.bin", s.local_file(), -1), network::Error);
    EXPECT_FALSE(QFile::exists(s.local_file()));
}

// The packet handler may abort the download or close the connection; the download then
// raises, and a closed client is not connected.
TEST(FtpClient, EndedFromThePacketHandler) {
    Served s;
    FtpTestServer server(s.root.path());
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "disconnect" : "abort");
        auto client = connected_client(server);
        client->change_folder("VEXOLANHome");
        client->on_packet_received = [&] { close ? client->disconnect() : client->abort(); };
        EXPECT_THROW(client->download("data.bin", s.local_file(), -1), network::Error);
        EXPECT_LT(client->bytes_received(), 3'000'000);
        EXPECT_EQ(client->connected(), !close);
        EXPECT_FALSE(QFile::exists(s.local_file()));
    }
    EXPECT_TRUE(server.wait_for("disconnect", 2));
}

// Folders are relative to the account's login folder, also where that is not the
// server's root.
TEST(FtpClient, FoldersStartAtTheLoginFolder) {
    Served s;
    FtpTestServer server(s.root.path(), {"--login-folder", "Website"});
    network::CurlFtpClient client(ui::process_messages);
    client.set_server(server.settings());
    client.connect();
    client.change_folder("VEXOLANHome");
    client.download("data.bin", s.local_file(), -1);
    EXPECT_EQ(read_bytes(s.local_file()).size(), 3'000'000);
}
