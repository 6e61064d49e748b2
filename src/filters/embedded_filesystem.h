#pragma once

// A read-only store of files compiled into the library, addressed by path.
//
// The build turns every resource file into a constant byte array and
// generates the code that registers the arrays under their paths (lib.cpp in
// the build tree, made by cmake/embed_resources.cmake). The first call of
// get_filesystem() builds the index from that registration; from then on the
// store never changes and any number of threads may read it.
//
// Paths are relative: names joined by "/", no leading or trailing slash; the
// root directory is "". Lookups normalise the caller's path first, so
// "/preinstalled//resources/" finds "preinstalled/resources".

#include <cstddef>
#include <iterator>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace Filters::Resources {

class directory;

// One stored file. Its bytes are a constant array of the library and are
// never copied; the byte at end() is a zero that is not part of the file, so
// begin() can be read as a zero-terminated text.
class file {
public:
    file(const char* begin, const char* end) : begin_(begin), end_(end) {}

    const char* begin() const { return begin_; }
    const char* end() const { return end_; }
    std::size_t size() const { return static_cast<std::size_t>(end_ - begin_); }

private:
    const char* begin_;
    const char* end_;
};

// Refers to a file or to a directory of the store (never to nothing).
class file_or_directory {
public:
    explicit file_or_directory(const file& f) : file_(&f) {}
    explicit file_or_directory(const directory& d) : directory_(&d) {}

    bool is_file() const { return file_ != nullptr; }
    bool is_directory() const { return directory_ != nullptr; }
    // Calling the accessor of the other kind is a programming error.
    const file& as_file() const;
    const directory& as_directory() const;

private:
    const file* file_ = nullptr;
    const directory* directory_ = nullptr;
};

// Owns its subdirectories and file entries. Children are kept in a map
// ordered by byte-wise comparison of their names (std::string compares its
// characters as unsigned bytes), which is the order in which they are listed.
class directory {
public:
    using children_map = std::map<std::string, file_or_directory>;

    directory() = default;
    directory(const directory&) = delete;
    directory& operator=(const directory&) = delete;

    // Both throw std::logic_error when the name is already taken: the build
    // never registers one name twice, so that would be a broken registration.
    std::pair<directory&, file_or_directory> add_subdir(const std::string& name);
    file_or_directory add_file(const std::string& name, const char* begin, const char* end);

    const children_map& children() const { return children_; }

private:
    // Lists, not vectors: entries hand out pointers to these objects, which
    // must stay where they are while siblings are added.
    std::list<directory> subdirs_;
    std::list<file> files_;
    children_map children_;
};

// What iterating a directory yields: the child's own name (without the
// directory part) and the child itself.
class directory_entry {
public:
    directory_entry(std::string name, file_or_directory entry) : name_(std::move(name)), entry_(entry) {}

    const std::string& name() const { return name_; }
    const file_or_directory& entry() const { return entry_; }
    bool is_file() const { return entry_.is_file(); }
    bool is_directory() const { return entry_.is_directory(); }

private:
    std::string name_;
    file_or_directory entry_;
};

// Walks a directory's children in name order; each step makes a
// directory_entry holding a copy of the child's name.
class directory_iterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = directory_entry;
    using difference_type = std::ptrdiff_t;
    using reference = directory_entry;
    using pointer = void;

    directory_iterator() = default;
    explicit directory_iterator(directory::children_map::const_iterator position) : position_(position) {}

    directory_entry operator*() const { return directory_entry(position_->first, position_->second); }
    directory_iterator& operator++() {
        ++position_;
        return *this;
    }
    directory_iterator operator++(int) {
        directory_iterator before = *this;
        ++position_;
        return before;
    }
    friend bool operator==(const directory_iterator& a, const directory_iterator& b) {
        return a.position_ == b.position_;
    }

private:
    directory::children_map::const_iterator position_{};
};

class directory_range {
public:
    explicit directory_range(const directory& dir) : dir_(&dir) {}
    directory_iterator begin() const { return directory_iterator(dir_->children().begin()); }
    directory_iterator end() const { return directory_iterator(dir_->children().end()); }

private:
    const directory* dir_;
};

namespace detail {

// The whole store: the root directory and one map from the full path of
// every entry to that entry. Built once by the generated registration and
// read-only afterwards; it cannot be copied or moved because its entries
// point into it.
class index {
public:
    using registration = void (*)(index&);

    // Registers the root under "" and then runs the registration.
    explicit index(registration fill);
    index(const index&) = delete;
    index& operator=(const index&) = delete;

    // `path` is a full path whose parent directory is already registered.
    // Both throw std::logic_error for a missing parent or a taken path.
    void add_directory(std::string_view path);
    void add_file(std::string_view path, const unsigned char* bytes, std::size_t size);

    // Looks up an already normalised path.
    const file_or_directory* find(const std::string& path) const;

private:
    // The parent directory of `path` and the last name in it.
    std::pair<directory&, std::string> parentOf(std::string_view path);
    void registerPath(std::string_view path, file_or_directory entry);

    directory root_;
    std::map<std::string, file_or_directory> paths_;
    // The same directories, writable, for the registration to add to.
    std::map<std::string, directory*> directories_;
};

} // namespace detail

// A handle to the store; copying it copies the reference only.
class embedded_filesystem {
public:
    explicit embedded_filesystem(const detail::index& store) : store_(&store) {}

    // The entry at the path, or nothing. Never throws for a missing path.
    std::optional<file_or_directory> _get(std::string path) const;

    // The file at the path. A missing path or a directory raises
    // std::system_error with ENOENT of the generic category; the message
    // starts with the path as the caller wrote it.
    file open(const std::string& path) const;

    // The children of the directory at the path, in name order. A missing
    // path raises std::system_error with ENOENT, a file with ENOTDIR.
    directory_range iterate_directory(const std::string& path) const;

    friend bool operator==(const embedded_filesystem& a, const embedded_filesystem& b) {
        return a.store_ == b.store_;
    }

private:
    const detail::index* store_;
};

// Removes every leading and every trailing "/" and collapses each run of
// slashes into one. Nothing else changes: "." and ".." are ordinary names and
// case is kept.
std::string normalize_path(std::string path);

// The library's store, built on the first call (once, even when several
// threads make that first call together). Defined in the generated lib.cpp.
embedded_filesystem get_filesystem();

} // namespace Filters::Resources
