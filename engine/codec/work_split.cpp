#include "work_split.h"

#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace work {

int parts_for(uint64_t units, uint64_t parallel_from) {
    return units >= parallel_from && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

void split(int parts, const std::function<void(int part)>& part) {
    std::mutex mutex;
    std::exception_ptr failure;
    auto run = [&](int p) {
        try {
            part(p);
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<size_t>(parts));
    std::vector<int> left; // parts without a thread of their own
    for (int p = 1; p < parts; ++p) {
        try {
            helpers.emplace_back(run, p);
        } catch (const std::system_error&) {
            left.push_back(p);
        }
    }
    run(0);
    for (int p : left) run(p);
    for (std::thread& t : helpers) t.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace work
