#include "regular_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace regular_file {

std::optional<QByteArray> read(const QString& path, qint64 limit, QString* why) {
    auto fail = [why](const QString& reason) -> std::optional<QByteArray> {
        if (why) *why = reason;
        return std::nullopt;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode)) return fail(QStringLiteral("not a regular file"));
    if (st.st_size > limit) return fail(QStringLiteral("larger than %1 bytes").arg(limit));
    // one byte more than the bound tells a file that grew meanwhile
    QByteArray content(static_cast<qsizetype>(limit) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < content.size()) {
        const ssize_t n =
            ::read(fd, content.data() + got, static_cast<size_t>(content.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
        if (n == 0) break;
        got += n;
    }
    if (got > limit) return fail(QStringLiteral("larger than %1 bytes").arg(limit));
    content.truncate(got);
    return content;
}

} // namespace regular_file
