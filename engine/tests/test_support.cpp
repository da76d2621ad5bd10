#include "test_support.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

#ifndef TARNWICK_LIBRARY
#error "TARNWICK_LIBRARY must name the engine library"
#endif

namespace testing_support {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexolan-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

int32_t execute_engine(const std::string& options) {
    void* lib = dlopen(TARNWICK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!lib) throw std::runtime_error(dlerror());
    using Fn = int32_t (*)(const char*);
    auto fn = reinterpret_cast<Fn>(dlsym(lib, "Execute_Tarnwick"));
    if (!fn) throw std::runtime_error("Execute_Tarnwick missing");
    const int32_t code = fn(options.c_str());
    dlclose(lib);
    return code;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace testing_support
