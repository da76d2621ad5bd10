// A file that replaces another one in a single step.
//
// The new content is written under a temporary name in the target's folder and renamed
// over the target only when it is complete, so a failing or interrupted write (full disk,
// crash) never leaves a truncated file under the target's name.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fileio {

class ReplacementFile {
  public:
    explicit ReplacementFile(std::string target);
    ~ReplacementFile(); // removes the temporary file unless it was committed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // False once anything has failed; every later call then does nothing.
    bool ok() const { return fd_ >= 0 && !failed_; }
    // Appends to the new content.
    bool write(const void* data, size_t size);
    // Writes at `offset` of the new content. Several threads may write at once, at
    // offsets that do not overlap; a failure in any of them fails the commit.
    bool write_at(const void* data, size_t size, uint64_t offset);
    // Renames the new file over the target; with `durable`, the data reach the disk
    // first. The old file's content is released later, by release_old or the destructor.
    bool commit(bool durable = false);
    // Gives back the memory and disk space of the replaced file, which takes a while for
    // a large file; separate from commit so that it can overlap other work.
    void release_old();
    // Drops the new content; the target keeps its old content.
    void discard();

  private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int old_fd_ = -1;
    std::atomic<bool> failed_{false};
};

// Removes what a ReplacementFile of `target` left behind when its process was killed: the
// temporary files of that target whose process no longer runs.
void remove_stale_temporaries(const std::string& target);

// Writes `data` to `path` as a ReplacementFile does. Returns false on any failure, with
// the old file untouched.
bool replace_file(const std::string& path, const void* data, size_t size, bool durable = false);

} // namespace fileio
