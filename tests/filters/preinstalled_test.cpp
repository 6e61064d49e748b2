// The preinstalled filter catalogue: counting, listing records from the file
// names, existence of names, and handing out the stored texts.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "filters/embedded_filesystem.h"
#include "filters/preinstalled.h"
#include "filters/t_filter.h"
#include "kalo_artifacts/types.h"

namespace {

using Filters::Impl::TFilter;
using Filters::Preinstalled::PreinstaledFilter;

constexpr int catalogueSize = 151;

// The file names of the catalogue directory, in the store's order.
std::vector<std::string> fileNames() {
    std::vector<std::string> names;
    for (const auto& entry : Filters::Resources::get_filesystem().iterate_directory("preinstalled/resources"))
        names.push_back(entry.name());
    return names;
}

// The record a file name stands for, read here independently of the
// catalogue: "BP_1p75_500.dat" is kind BP, 1.75 Hz, 500 Hz.
_FilterParam recordOfName(const std::string& fileName) {
    static const std::map<std::string, _FilterType> kinds = {{"HP", HP}, {"LP", LP}, {"BS", BS}, {"BP", BP}};
    const std::size_t first = fileName.find('_');
    const std::size_t second = fileName.find('_', first + 1);
    const std::size_t dot = fileName.rfind(".dat");
    std::string frequency = fileName.substr(first + 1, second - first - 1);
    for (char& c : frequency)
        if (c == 'p')
            c = '.';
    _FilterParam record{};
    record.filter_type = kinds.at(fileName.substr(0, first));
    record.frequency = std::stod(frequency);
    record.sampling_rate = std::stoi(fileName.substr(second + 1, dot - second - 1));
    return record;
}

std::vector<_FilterParam> catalogueList() {
    std::vector<_FilterParam> list(catalogueSize);
    PreinstaledFilter().GetList(list.data());
    return list;
}

void expectRecord(const _FilterParam& record, int kind, int rate, double frequency, const std::string& what) {
    EXPECT_EQ(static_cast<int>(record.filter_type), kind) << what;
    EXPECT_EQ(record.sampling_rate, rate) << what;
    EXPECT_EQ(record.frequency, frequency) << what;
}

TEST(CatalogueCount, Is151) {
    int count = -1;
    PreinstaledFilter().GetPreinstalledCount(count);
    EXPECT_EQ(count, catalogueSize);
}

TEST(CatalogueList, KnownEntriesAtTheirPlaces) {
    const std::vector<_FilterParam> list = catalogueList();
    expectRecord(list[0], BP, 500, 11.0, "entry 0");
    expectRecord(list[1], BP, 500, 1.75, "entry 1");
    expectRecord(list[150], LP, 250, 9.0, "entry 150");

    const std::vector<std::string> names = fileNames();
    ASSERT_EQ(names.size(), list.size());
    const auto recordOf = [&](const std::string& name) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name)
                return list[i];
        ADD_FAILURE() << name << " is not in the catalogue";
        return _FilterParam{};
    };
    expectRecord(recordOf("HP_0p1_1000.dat"), HP, 1000, 0.1, "HP_0p1_1000");
    expectRecord(recordOf("BS_59p5_125.dat"), BS, 125, 59.5, "BS_59p5_125");
    expectRecord(recordOf("BS_62p5_250.dat"), BS, 250, 62.5, "BS_62p5_250");
    expectRecord(recordOf("LP_0p3_250.dat"), LP, 250, 0.3, "LP_0p3_250");
    expectRecord(recordOf("HP_10_1000.dat"), HP, 1000, 10.0, "HP_10_1000");
}

TEST(CatalogueList, EveryRecordMatchesItsFileName) {
    const std::vector<_FilterParam> list = catalogueList();
    const std::vector<std::string> names = fileNames();
    ASSERT_EQ(names.size(), list.size());
    std::map<int, int> perKind;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const _FilterParam expected = recordOfName(names[i]);
        expectRecord(list[i], expected.filter_type, expected.sampling_rate, expected.frequency, names[i]);
        ++perKind[list[i].filter_type];
    }
    EXPECT_EQ(perKind[BP], 5);
    EXPECT_EQ(perKind[BS], 15);
    EXPECT_EQ(perKind[HP], 50);
    EXPECT_EQ(perKind[LP], 81);
}

TEST(CatalogueList, WritesNothingPastTheLastEntry) {
    _FilterParam sentinel{};
    sentinel.filter_type = static_cast<_FilterType>(0xAB);
    sentinel.sampling_rate = -7;
    sentinel.frequency = -7.5;
    std::vector<_FilterParam> list(catalogueSize + 2, sentinel);
    PreinstaledFilter().GetList(list.data());
    for (int i = catalogueSize; i < catalogueSize + 2; ++i)
        expectRecord(list[i], 0xAB, -7, -7.5, "past the end");
    EXPECT_NE(static_cast<int>(list[catalogueSize - 1].filter_type), 0xAB);
}

TEST(CatalogueList, NullArrayIsRefused) {
    EXPECT_THROW(PreinstaledFilter().GetList(nullptr), std::invalid_argument);
}

TEST(CatalogueNames, FullPathIsDirectoryNameAndExtension) {
    std::string name = "LP_30_250";
    PreinstaledFilter::buildFullPath(name);
    EXPECT_EQ(name, "preinstalled/resources/LP_30_250.dat");
    name = "/x";
    PreinstaledFilter::buildFullPath(name);
    EXPECT_EQ(name, "preinstalled/resources//x.dat");
    name = "";
    PreinstaledFilter::buildFullPath(name);
    EXPECT_EQ(name, "preinstalled/resources/.dat");
}

TEST(CatalogueNames, ExistenceIsExactAndCaseSensitive) {
    const PreinstaledFilter catalogue;
    EXPECT_TRUE(catalogue.FilterExist("LP_30_250"));
    EXPECT_TRUE(catalogue.FilterExist("BP_1p75_500"));
    EXPECT_TRUE(catalogue.FilterExist("/LP_30_250")) << "the store collapses the doubled slash";
    EXPECT_FALSE(catalogue.FilterExist("LP_30_250.dat"));
    EXPECT_FALSE(catalogue.FilterExist("lp_30_250"));
    EXPECT_FALSE(catalogue.FilterExist("LP_30_25"));
    EXPECT_FALSE(catalogue.FilterExist(""));
    EXPECT_FALSE(catalogue.FilterExist("LP_30_250/"));
    EXPECT_FALSE(catalogue.FilterExist("LP_30p0_250"));
    EXPECT_FALSE(catalogue.FilterExist("HP_0p5_125"));
}

TEST(CatalogueNames, EveryListedFileExistsByItsName) {
    const PreinstaledFilter catalogue;
    for (const std::string& file : fileNames()) {
        const std::string name = file.substr(0, file.size() - 4);
        EXPECT_TRUE(catalogue.FilterExist(name.c_str())) << name;
    }
}

TEST(CatalogueNames, NullNameIsRefused) {
    const PreinstaledFilter catalogue;
    EXPECT_THROW((void)catalogue.FilterExist(nullptr), std::invalid_argument);
    EXPECT_THROW((void)catalogue.GetFilterData(nullptr), std::invalid_argument);
}

TEST(CatalogueData, TextOfLp30BeginsWithItsGain) {
    const char* text = PreinstaledFilter().GetFilterData("LP_30_250");
    ASSERT_NE(text, nullptr);
    const std::string gainLine = "K = 2.863530017091789e-02\r\n";
    EXPECT_EQ(std::string(text).substr(0, gainLine.size()), gainLine);
}

TEST(CatalogueData, TextIsTheStoredFileInPlaceAndEndsAtItsSize) {
    const PreinstaledFilter catalogue;
    const auto fs = Filters::Resources::get_filesystem();
    for (const std::string& file : fileNames()) {
        const std::string name = file.substr(0, file.size() - 4);
        const auto stored = fs.open("preinstalled/resources/" + file);
        const char* text = catalogue.GetFilterData(name.c_str());
        EXPECT_EQ(text, stored.begin()) << name << ": the text must not be copied";
        EXPECT_EQ(std::strlen(text), stored.size()) << name;
    }
}

TEST(CatalogueData, MissingNameFailsWithTheStoresError) {
    try {
        (void)PreinstaledFilter().GetFilterData("HP_0p5_125");
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::error_code(ENOENT, std::generic_category()));
        EXPECT_EQ(std::string(error.what()),
                  "preinstalled/resources/HP_0p5_125.dat: " + std::generic_category().message(ENOENT));
    }
}

TEST(CatalogueData, Lp30HoldsTheSameFilterAsTheBuiltInText) {
    double catalogueGain = 0.0;
    double builtInGain = 0.0;
    const auto fromCatalogue = TFilter::CreateCascades(PreinstaledFilter().GetFilterData("LP_30_250"), catalogueGain);
    const auto builtIn = TFilter::CreateCascades(K_lp_30, builtInGain);
    EXPECT_EQ(catalogueGain, builtInGain);
    ASSERT_EQ(fromCatalogue.size(), builtIn.size());
    // Same sections means the same output sample for sample.
    TFilter a(PreinstaledFilter().GetFilterData("LP_30_250"));
    TFilter b(K_lp_30);
    for (int n = 0; n < 500; ++n) {
        const double x = (n % 37) - 18.0;
        ASSERT_EQ(a.Filter(x), b.Filter(x)) << "sample " << n;
    }
}

} // namespace
