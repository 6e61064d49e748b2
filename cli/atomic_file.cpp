#include "atomic_file.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli_error.h"

namespace kalo::cli {

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)) {
    // Beside the target, so the rename stays within one file system and is
    // atomic; hidden, so a directory listing during the run shows no output.
    const std::filesystem::path dir = target_.has_parent_path() ? target_.parent_path() : ".";
    std::string pattern = (dir / ("." + target_.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0)
        throw CliError(fmt::format("{}: cannot be created: {}", target_.string(), std::strerror(errno)));
    temporary_ = pattern;
}

AtomicFile::~AtomicFile() {
    if (stream_ != nullptr)
        std::fclose(stream_);
    else if (fd_ >= 0)
        close(fd_);
    if (!committed_)
        unlink(temporary_.c_str());
}

std::FILE* AtomicFile::stream() {
    if (stream_ == nullptr) {
        stream_ = fdopen(fd_, "wb");
        if (stream_ == nullptr)
            throw CliError(fmt::format("{}: cannot be written: {}", target_.string(), std::strerror(errno)));
    }
    return stream_;
}

void AtomicFile::commit() {
    // mkstemp makes the file private; give it the mode a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd_, 0666 & ~mask) == 0;
    if (stream_ != nullptr) {
        ok = std::fflush(stream_) == 0 && !std::ferror(stream_) && ok;
        ok = std::fclose(stream_) == 0 && ok;
        stream_ = nullptr;
    } else {
        ok = close(fd_) == 0 && ok;
    }
    fd_ = -1;
    if (!ok || std::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw CliError(fmt::format("{}: cannot be written: {}", target_.string(), std::strerror(errno)));
    committed_ = true;
}

} // namespace kalo::cli
