#pragma once

// An output file that appears under its name only once it is complete: it is
// written to a temporary file beside the target and renamed over it by
// commit(). A run that fails, or is interrupted, leaves no file that looks
// complete: the temporary is removed unless committed.

#include <cstdio>
#include <filesystem>

namespace kalo::cli {

class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // A stream on the temporary file.
    std::FILE* stream();
    // For writers that open files by name themselves (EDFlib).
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    // Flushes, closes and renames; CliError if any of it fails.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

} // namespace kalo::cli
