#include "engine_library.h"

#include "tarnwick_contract.h"

#include <QFile>

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine_library {

namespace {

using Entry = int32_t (*)(const char*);

bool read_at(int fd, void* into, size_t size, uint64_t offset) {
    return ::pread(fd, into, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

// What keeps the file from being loaded: it is no regular file (a FIFO would block the
// loader), or a 64-bit ELF file whose headers or loaded segments reach past its end (the
// loader maps them and the process dies with SIGBUS on the first page beyond). Empty when
// the loader may try it; the loader refuses any other foreign file by itself.
QString unloadable(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return QStringLiteral("not a regular file");
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    Elf64_Ehdr e{};
    if (!read_at(fd, &e, sizeof e, 0) || std::memcmp(e.e_ident, ELFMAG, SELFMAG) != 0 ||
        e.e_ident[EI_CLASS] != ELFCLASS64)
        return {};
    const QString cut = QStringLiteral("damaged: the file ends before what its headers describe");
    if (e.e_phentsize != sizeof(Elf64_Phdr) ||
        e.e_phoff + uint64_t{e.e_phnum} * sizeof(Elf64_Phdr) > size ||
        e.e_shoff + uint64_t{e.e_shnum} * e.e_shentsize > size)
        return cut;
    for (uint16_t i = 0; i < e.e_phnum; ++i) {
        Elf64_Phdr ph{};
        if (!read_at(fd, &ph, sizeof ph, e.e_phoff + uint64_t{i} * sizeof ph)) return cut;
        if (ph.p_type == PT_LOAD && (ph.p_offset > size || ph.p_filesz > size - ph.p_offset))
            return cut;
    }
    return {};
}

// The library for the length of one run.
class Loaded {
  public:
    // The program folder's library when there is one, even when it cannot be loaded (an
    // engine found elsewhere might be another version); the system's search otherwise.
    Loaded(const QString& first_path, const QString& name) {
        const bool own = QFile::exists(first_path);
        if (own) {
            problem_ = unloadable(first_path);
            if (!problem_.isEmpty()) {
                problem_ = first_path + QStringLiteral(": ") + problem_;
                return;
            }
        }
        handle_ =
            dlopen(QFile::encodeName(own ? first_path : name).constData(), RTLD_NOW | RTLD_LOCAL);
    }
    ~Loaded() {
        if (handle_) dlclose(handle_);
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const QString& problem() const { return problem_; }
    Entry entry() const { return reinterpret_cast<Entry>(dlsym(handle_, "Execute_Tarnwick")); }

  private:
    void* handle_ = nullptr;
    QString problem_;
};

} // namespace

Run execute(const QString& first_path, const QString& name, const QByteArray& options) {
    Run run;
    const Loaded library(first_path, name);
    run.problem = library.problem();
    if (!library.loaded()) return run;
    const Entry entry = library.entry();
    run.outcome = Outcome::no_function;
    if (!entry) return run;
    run.outcome = Outcome::called;
    run.code = entry(options.constData());
    return run;
}

QString status_text(const Run& run) {
    switch (run.outcome) {
    case Outcome::not_loaded:
        return QStringLiteral("DLL not found");
    case Outcome::no_function:
        return QStringLiteral("Function in DLL not found");
    case Outcome::called:
        break;
    }
    // the engine's own table: one text per code, empty for any other code
    return QString::fromLatin1(tarnwick_status_text(run.code));
}

} // namespace engine_library
