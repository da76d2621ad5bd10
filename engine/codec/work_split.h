// Work split across threads: the one place where the engine and the codec start threads.
//
// A thread that cannot be started (a process or memory limit) is no failure: its share
// of the work then runs on the calling thread, after the calling thread's own share, so
// the result is the same, only later.
#pragma once

#include <cstdint>
#include <functional>

namespace work {

// How many parts work of `units` (pixels, bytes) is worth splitting into: 2 from
// `parallel_from` units on where the machine has two cores or more, else 1.
int parts_for(uint64_t units, uint64_t parallel_from);

// Runs part(0) .. part(parts - 1) and returns when all have ended. Part 0 runs on the
// calling thread, each other part on a thread of its own where one can be started and
// otherwise on the calling thread after part 0. Parts run at the same time, so they must
// touch disjoint data. An exception that a part throws is thrown again here once every
// part has ended (the first one, when several throw).
void split(int parts, const std::function<void(int part)>& part);

} // namespace work
