#include "file_replace.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fileio {

namespace {

std::atomic<unsigned> temp_counter{0};

struct Place {
    std::string folder, base; // the folder with its final "/", or empty for the current one
};
Place place_of(const std::string& target) {
    const size_t slash = target.rfind('/');
    if (slash == std::string::npos) return {"", target};
    return {target.substr(0, slash + 1), target.substr(slash + 1)};
}

// The temporary name sits in the target's folder (a rename never crosses file systems)
// and starts with a dot, so a listing of result files does not show it: ".NAME.tmpPID.N".
std::string temp_name_for(const std::string& target) {
    const Place p = place_of(target);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp%ld.%u", static_cast<long>(getpid()),
                  temp_counter.fetch_add(1));
    return p.folder + "." + p.base + suffix;
}

} // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
    temp_ = temp_name_for(target_);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

ReplacementFile::~ReplacementFile() {
    discard();
    release_old();
}

void ReplacementFile::release_old() {
    const int reason = errno;
    if (old_fd_ >= 0) ::close(old_fd_);
    old_fd_ = -1;
    errno = reason;
}

bool ReplacementFile::write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (ok() && size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            discard();
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return ok();
}

bool ReplacementFile::write_at(const void* data, size_t size, uint64_t offset) {
    const char* p = static_cast<const char*>(data);
    while (ok() && size > 0) {
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true; // another thread may be writing: the file closes at the commit
            return false;
        }
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return ok();
}

bool ReplacementFile::commit(bool durable) {
    if (fd_ < 0) return false;
    if (failed_) {
        discard();
        return false;
    }
    bool good = !durable || ::fsync(fd_) == 0;
    good = ::close(fd_) == 0 && good;
    fd_ = -1;
    // Holding the old file open moves the release of its pages out of the rename, where
    // the folder is locked, to release_old.
    if (good) old_fd_ = ::open(target_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    good = good && ::rename(temp_.c_str(), target_.c_str()) == 0;
    if (good) {
        temp_.clear();
        return true;
    }
    const int reason = errno;
    ::unlink(temp_.c_str());
    temp_.clear();
    errno = reason;
    return false;
}

void ReplacementFile::discard() {
    // the reason of the failure that led here stays the caller's to report
    const int reason = errno;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    errno = reason;
}

void remove_stale_temporaries(const std::string& target) {
    const Place p = place_of(target);
    const std::string start = "." + p.base + ".tmp";
    DIR* dir = ::opendir(p.folder.empty() ? "." : p.folder.c_str());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, start.size(), start) != 0) continue;
        long pid = 0;
        unsigned n = 0;
        char end = 0;
        if (std::sscanf(name.c_str() + start.size(), "%ld.%u%c", &pid, &n, &end) != 2 || pid <= 0)
            continue;
        // a process that still runs may be writing it
        if (pid == static_cast<long>(getpid()) ||
            (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
            ::unlink((p.folder + name).c_str());
    }
    ::closedir(dir);
}

bool replace_file(const std::string& path, const void* data, size_t size, bool durable) {
    ReplacementFile file(path);
    return file.write(data, size) && file.commit(durable);
}

} // namespace fileio
