// libFuzzer target: `vexolan --info`, which reads the record row of saved result images
// and what files of maps hold. Each input is given to it as a bitmap and as a TIFF file;
// it prints a record or says why the file is none, and never reads outside what it read.
#include "fuzz_file.h"
#include "logic/result_info.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* const out = std::fopen("/dev/null", "w");
    if (!out) std::abort();
    const std::string bitmap = fuzz_file::write("saved.bmp", data, size);
    const std::string maps = fuzz_file::write("saved.ome.tif", data, size);
    const char* const files[] = {bitmap.c_str(), maps.c_str()};
    const int status = result_info::print(2, files, out, out);
    if (status != 0 && status != 1) std::abort();
    return 0;
}
