// The program reads its bitmaps and maps from files: a fuzz target that goes the program's
// whole way writes each input to a file of its own folder first (on tmpfs when there is
// one), which is removed when the target ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzz_file {

// The folder, made at the first call and removed with what it holds at the end.
class Folder {
  public:
    Folder() {
        const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/vexolan-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline const std::filesystem::path& folder() {
    static const Folder made;
    return made.path();
}

// Writes the bytes to `name` in the folder and returns its path.
inline std::string write(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = (folder() / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    if (std::fclose(f) != 0) std::abort();
    return path;
}

} // namespace fuzz_file
