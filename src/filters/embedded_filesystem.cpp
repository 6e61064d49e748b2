#include "filters/embedded_filesystem.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace Filters::Resources {

namespace {

// The standard what() of a system error is "<text>: <description of the
// code>", which is the message the store promises: the caller's path, ": ",
// then the C library's description of the error.
[[noreturn]] void fail(int code, const std::string& callerPath) {
    throw std::system_error(code, std::generic_category(), callerPath);
}

} // namespace

const file& file_or_directory::as_file() const {
    if (file_ == nullptr)
        throw std::logic_error("store entry is a directory, not a file");
    return *file_;
}

const directory& file_or_directory::as_directory() const {
    if (directory_ == nullptr)
        throw std::logic_error("store entry is a file, not a directory");
    return *directory_;
}

std::pair<directory&, file_or_directory> directory::add_subdir(const std::string& name) {
    if (children_.count(name) != 0)
        throw std::logic_error("store entry registered twice: " + name);
    directory& added = subdirs_.emplace_back();
    const file_or_directory entry(added);
    children_.emplace(name, entry);
    return {added, entry};
}

file_or_directory directory::add_file(const std::string& name, const char* begin, const char* end) {
    if (children_.count(name) != 0)
        throw std::logic_error("store entry registered twice: " + name);
    const file_or_directory entry(files_.emplace_back(begin, end));
    children_.emplace(name, entry);
    return entry;
}

namespace detail {

index::index(registration fill) {
    paths_.emplace(std::string(), file_or_directory(root_));
    directories_.emplace(std::string(), &root_);
    fill(*this);
}

std::pair<directory&, std::string> index::parentOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string parentPath(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
    const std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
    const auto parent = directories_.find(parentPath);
    if (parent == directories_.end())
        throw std::logic_error("store entry registered before its directory: " + std::string(path));
    return {*parent->second, name};
}

void index::registerPath(std::string_view path, file_or_directory entry) {
    if (!paths_.emplace(std::string(path), entry).second)
        throw std::logic_error("store path registered twice: " + std::string(path));
}

void index::add_directory(std::string_view path) {
    auto [parent, name] = parentOf(path);
    auto [added, entry] = parent.add_subdir(name);
    registerPath(path, entry);
    directories_.emplace(std::string(path), &added);
}

void index::add_file(std::string_view path, const unsigned char* bytes, std::size_t size) {
    auto [parent, name] = parentOf(path);
    const char* begin = reinterpret_cast<const char*>(bytes);
    registerPath(path, parent.add_file(name, begin, begin + size));
}

const file_or_directory* index::find(const std::string& path) const {
    const auto found = paths_.find(path);
    return found == paths_.end() ? nullptr : &found->second;
}

} // namespace detail

std::string normalize_path(std::string path) {
    const std::size_t first = path.find_first_not_of('/');
    if (first == std::string::npos)
        return std::string();
    path.erase(0, first);
    path.erase(path.find_last_not_of('/') + 1);
    for (std::size_t doubled = path.find("//"); doubled != std::string::npos; doubled = path.find("//", doubled))
        path.erase(doubled, 1);
    return path;
}

std::optional<file_or_directory> embedded_filesystem::_get(std::string path) const {
    const file_or_directory* entry = store_->find(normalize_path(std::move(path)));
    if (entry == nullptr)
        return std::nullopt;
    return *entry;
}

file embedded_filesystem::open(const std::string& path) const {
    const auto entry = _get(path);
    // A directory cannot be opened; it reads as missing, as ENOENT.
    if (!entry || !entry->is_file())
        fail(ENOENT, path);
    return entry->as_file();
}

directory_range embedded_filesystem::iterate_directory(const std::string& path) const {
    const auto entry = _get(path);
    if (!entry)
        fail(ENOENT, path);
    if (!entry->is_directory())
        fail(ENOTDIR, path);
    return directory_range(entry->as_directory());
}

} // namespace Filters::Resources
