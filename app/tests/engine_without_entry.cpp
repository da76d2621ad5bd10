// A library that loads but has no "Execute_Tarnwick".
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t Execute_Something_Else(const char*) {
    return 0;
}
