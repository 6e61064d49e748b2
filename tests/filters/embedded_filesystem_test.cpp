// The embedded resource store: path normalisation, lookups, opening files,
// listing directories, its errors, and that the compiled-in bytes are exactly
// those of the resource files on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "filters/embedded_filesystem.h"

namespace {

using Filters::Resources::directory;
using Filters::Resources::embedded_filesystem;
using Filters::Resources::get_filesystem;
using Filters::Resources::normalize_path;
namespace detail = Filters::Resources::detail;

const std::string resources = "preinstalled/resources";
const std::string lp30 = "preinstalled/resources/LP_30_250.dat";

std::vector<std::string> namesIn(const Filters::Resources::directory_range& range) {
    std::vector<std::string> names;
    for (const auto& entry : range)
        names.push_back(entry.name());
    return names;
}

std::string fileOnDisk(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Expects `work` to raise a generic-category system error with `code` and the
// message "<path>: <description of code>".
template <class Work>
void expectSystemError(Work&& work, int code, const std::string& path) {
    try {
        work();
        ADD_FAILURE() << "no error for " << path;
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), code) << path;
        EXPECT_EQ(error.code().category(), std::generic_category()) << path;
        EXPECT_EQ(std::string(error.what()), path + ": " + std::generic_category().message(code));
    }
}

TEST(NormalizePath, StripsOuterSlashesAndCollapsesRuns) {
    EXPECT_EQ(normalize_path("/a"), "a");
    EXPECT_EQ(normalize_path("///a"), "a");
    EXPECT_EQ(normalize_path("a/"), "a");
    EXPECT_EQ(normalize_path("a///"), "a");
    EXPECT_EQ(normalize_path("a//b"), "a/b");
    EXPECT_EQ(normalize_path("//a///b////c//"), "a/b/c");
    EXPECT_EQ(normalize_path("a/b/c"), "a/b/c");
}

TEST(NormalizePath, EmptyAndSlashOnlyPathsAreTheRoot) {
    EXPECT_EQ(normalize_path(""), "");
    EXPECT_EQ(normalize_path("/"), "");
    EXPECT_EQ(normalize_path("////"), "");
}

TEST(NormalizePath, ChangesNothingElse) {
    EXPECT_EQ(normalize_path("./a/../b"), "./a/../b");
    EXPECT_EQ(normalize_path("Preinstalled/LP_30_250.DAT"), "Preinstalled/LP_30_250.DAT");
    EXPECT_EQ(normalize_path("a b/ c"), "a b/ c");
    EXPECT_EQ(normalize_path("a\\b"), "a\\b");
}

TEST(StoreLookup, FindsAFileUnderAnySpellingOfItsSlashes) {
    const embedded_filesystem fs = get_filesystem();
    for (const std::string& path : {lp30, "/" + lp30, lp30 + "/", std::string("preinstalled//resources//LP_30_250.dat"),
                                    std::string("//preinstalled///resources///LP_30_250.dat//")}) {
        const auto entry = fs._get(path);
        ASSERT_TRUE(entry.has_value()) << path;
        EXPECT_TRUE(entry->is_file()) << path;
        EXPECT_FALSE(entry->is_directory()) << path;
        EXPECT_EQ(entry->as_file().begin(), fs.open(lp30).begin()) << path;
    }
}

TEST(StoreLookup, FindsTheDirectories) {
    const embedded_filesystem fs = get_filesystem();
    for (const std::string& path : {std::string(""), std::string("/"), std::string("preinstalled"),
                                    std::string("preinstalled/"), resources, resources + "/"}) {
        const auto entry = fs._get(path);
        ASSERT_TRUE(entry.has_value()) << path;
        EXPECT_TRUE(entry->is_directory()) << path;
        EXPECT_FALSE(entry->is_file()) << path;
    }
    EXPECT_EQ(&fs._get("preinstalled/")->as_directory(), &fs._get("/preinstalled")->as_directory());
    EXPECT_NE(&fs._get("")->as_directory(), &fs._get("preinstalled")->as_directory());
}

TEST(StoreLookup, MissingPathsGiveNothing) {
    const embedded_filesystem fs = get_filesystem();
    for (const char* path : {"preinstalled/resources/LP_30_25.dat", "preinstalled/resources/lp_30_250.dat",
                             "Preinstalled", "preinstalled/resources/LP_30_250", "LP_30_250.dat",
                             "preinstalled/./resources/LP_30_250.dat", "resources"}) {
        EXPECT_FALSE(fs._get(path).has_value()) << path;
    }
}

TEST(StoreLookup, AccessorOfTheOtherKindIsRefused) {
    const embedded_filesystem fs = get_filesystem();
    EXPECT_THROW((void)fs._get(lp30)->as_directory(), std::logic_error);
    EXPECT_THROW((void)fs._get(resources)->as_file(), std::logic_error);
}

TEST(StoreOpen, MissingPathOrDirectoryFailsWithEnoentAndTheCallersPath) {
    const embedded_filesystem fs = get_filesystem();
    for (const std::string& path : {resources, std::string("preinstalled/resources/"), std::string(""),
                                    std::string("preinstalled"), std::string("preinstalled/resources/HP_0p5_125.dat"),
                                    std::string("//preinstalled//nothing/")}) {
        expectSystemError([&] { (void)fs.open(path); }, ENOENT, path);
    }
}

TEST(StoreIterate, TheRootHoldsOnlyPreinstalled) {
    const embedded_filesystem fs = get_filesystem();
    int count = 0;
    for (const auto& entry : fs.iterate_directory("")) {
        ++count;
        EXPECT_EQ(entry.name(), "preinstalled");
        EXPECT_TRUE(entry.is_directory());
    }
    EXPECT_EQ(count, 1);
    EXPECT_EQ(namesIn(fs.iterate_directory("/preinstalled/")), std::vector<std::string>{"resources"});
}

TEST(StoreIterate, ListsTheCatalogueInByteWiseNameOrder) {
    const embedded_filesystem fs = get_filesystem();
    const std::vector<std::string> names = namesIn(fs.iterate_directory("preinstalled/resources/"));
    ASSERT_EQ(names.size(), 151u);
    EXPECT_EQ(names.front(), "BP_11_500.dat");
    EXPECT_EQ(names.back(), "LP_9_250.dat");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    // Byte order, not numeric order.
    const auto at = [&](const std::string& name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    EXPECT_LT(at("BP_11_500.dat"), at("BP_1p75_500.dat"));
    EXPECT_LT(at("HP_10_1000.dat"), at("HP_1_100.dat"));
    for (const auto& entry : fs.iterate_directory(resources))
        EXPECT_TRUE(entry.is_file()) << entry.name();
}

TEST(StoreIterate, FileFailsWithEnotdirAndMissingPathWithEnoent) {
    const embedded_filesystem fs = get_filesystem();
    expectSystemError([&] { (void)fs.iterate_directory(lp30); }, ENOTDIR, lp30);
    expectSystemError([&] { (void)fs.iterate_directory("/" + lp30 + "/"); }, ENOTDIR, "/" + lp30 + "/");
    expectSystemError([&] { (void)fs.iterate_directory("preinstalled/filters"); }, ENOENT, "preinstalled/filters");
}

TEST(StoreContents, EveryFileOnDiskIsStoredByteForByteWithAZeroAfterIt) {
    const embedded_filesystem fs = get_filesystem();
    std::set<std::string> onDisk;
    for (const auto& item : std::filesystem::directory_iterator(KALO_RESOURCE_DIR))
        if (item.path().extension() == ".dat")
            onDisk.insert(item.path().filename().string());
    const std::vector<std::string> stored = namesIn(fs.iterate_directory(resources));
    EXPECT_EQ(std::set<std::string>(stored.begin(), stored.end()), onDisk);

    for (const std::string& name : stored) {
        const auto file = fs.open(resources + "/" + name);
        const std::string expected = fileOnDisk(std::filesystem::path(KALO_RESOURCE_DIR) / name);
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(std::string(file.begin(), file.end()), expected) << name;
        EXPECT_EQ(file.size(), expected.size()) << name;
        EXPECT_EQ(*file.end(), '\0') << name;
    }
}

TEST(StoreHandle, EveryCallAndEveryThreadSeesTheSameStore) {
    // Whichever thread gets there first builds the store; all must end up
    // with handles to that one store and the same directory objects.
    std::vector<embedded_filesystem> seen(8, get_filesystem());
    std::vector<const directory*> resourceDirs(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            seen[i] = get_filesystem();
            resourceDirs[i] = &seen[i]._get(resources)->as_directory();
        });
    for (auto& thread : threads)
        thread.join();
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(seen[i] == get_filesystem());
        EXPECT_EQ(resourceDirs[i], &get_filesystem()._get(resources)->as_directory());
    }
}

// The same machinery with a registration of its own, independent of the
// library's resources.
const unsigned char helloBytes[] = {'h', 'i', '\r', '\n', 0};
const unsigned char emptyBytes[] = {0};

void smallStore(detail::index& store) {
    store.add_directory("docs");
    store.add_directory("docs/notes");
    store.add_file("docs/notes/hello.txt", helloBytes, 4);
    store.add_file("docs/empty", emptyBytes, 0);
    store.add_file("top.bin", helloBytes, 2);
}

TEST(StoreBuild, RegistrationMakesDirectoriesFilesAndIndex) {
    const detail::index store(smallStore);
    const embedded_filesystem fs(store);
    EXPECT_EQ(namesIn(fs.iterate_directory("")), (std::vector<std::string>{"docs", "top.bin"}));
    EXPECT_EQ(namesIn(fs.iterate_directory("docs")), (std::vector<std::string>{"empty", "notes"}));
    const auto hello = fs.open("/docs//notes/hello.txt");
    EXPECT_EQ(std::string(hello.begin(), hello.end()), "hi\r\n");
    EXPECT_EQ(hello.begin(), reinterpret_cast<const char*>(helloBytes)) << "file bytes must not be copied";
    EXPECT_EQ(fs.open("docs/empty").size(), 0u);
    EXPECT_EQ(fs.open("top.bin").size(), 2u);
    expectSystemError([&] { (void)fs.open("docs/notes"); }, ENOENT, "docs/notes");
}

void fileBeforeItsDirectory(detail::index& store) { store.add_file("docs/hello.txt", helloBytes, 4); }
void pathTwice(detail::index& store) {
    store.add_directory("docs");
    store.add_file("docs", helloBytes, 4);
}

TEST(StoreBuild, BrokenRegistrationsAreRefused) {
    EXPECT_THROW(detail::index{fileBeforeItsDirectory}, std::logic_error);
    EXPECT_THROW(detail::index{pathTwice}, std::logic_error);
}

TEST(StoreDirectory, ChildrenAreOrderedByUnsignedBytes) {
    directory dir;
    const char* none = nullptr;
    dir.add_file("b", none, none);
    dir.add_file("\xc3\xa9", none, none); // a byte above 0x7f sorts after every ASCII name
    dir.add_subdir("B");
    dir.add_file("a.dat", none, none);
    dir.add_file("a", none, none);
    std::vector<std::string> names;
    for (const auto& [name, entry] : dir.children())
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"B", "a", "a.dat", "b", "\xc3\xa9"}));
    EXPECT_TRUE(dir.children().at("B").is_directory());
    EXPECT_THROW(dir.add_subdir("a"), std::logic_error);
    EXPECT_THROW(dir.add_file("B", none, none), std::logic_error);
}

} // namespace
