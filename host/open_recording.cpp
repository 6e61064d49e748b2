#include "open_recording.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string_view>

#include <fmt/format.h>

#include "brainvision_recording.h"
#include "csv_recording.h"
#include "edf_recording.h"
#include "error.h"
#include "board_text_recording.h"
#include "resampled_recording.h"

namespace kalo::host {

namespace {

bool hasExtension(const std::string& path, std::initializer_list<std::string_view> extensions) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

// EDF starts with the version "0" and seven spaces; BDF with the byte 255
// and "BIOSEMI".
bool looksLikeEdfOrBdf(const std::string& head) {
    return head == std::string("0       ", 8) || head == std::string("\xff" "BIOSEMI", 8);
}

std::unique_ptr<Recording> openAtFileRate(const std::string& path, const ReadOptions& options,
                                          const std::string& rateOption) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw badRecording(fmt::format("{}: cannot open: Is a directory", path));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        throw badRecording(fmt::format("{}: cannot open: {}", path, std::strerror(errno)));
    char head[64] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);

    if (looksLikeEdfOrBdf(std::string(head, std::min<std::size_t>(got, 8)))) {
        std::unique_ptr<Recording> recording = openEdfRecording(path);
        if (options.rateHz)
            recording->overrideRate(*options.rateHz);
        return recording;
    }
    if (hasExtension(path, {".edf", ".bdf", ".rec"}))
        throw badRecording(fmt::format("{}: not an EDF or BDF file (it does not start with an EDF/BDF header)", path));
    if (looksLikeBrainVisionHeader(std::string_view(head, got)) || hasExtension(path, {".vhdr"})) {
        std::unique_ptr<Recording> recording = openBrainVisionRecording(path);
        if (options.rateHz)
            recording->overrideRate(*options.rateHz);
        return recording;
    }
    if (looksLikeBoardText(std::string_view(head, got)))
        return readBoardTextRecording(path, options.rateHz, rateOption);
    if (hasExtension(path, {".csv"})) {
        CsvReadOptions csv;
        csv.rateHz = options.rateHz;
        csv.unitsPerVolt = options.unitsPerVolt.value_or(1.0);
        csv.unitName = options.unitsPerVolt ? options.unitName : "V";
        csv.unitGiven = options.unitsPerVolt.has_value();
        csv.rateOption = rateOption;
        return readCsvRecording(path, csv);
    }
    throw badRecording(fmt::format("{}: unsupported format: give an EDF, EDF+, BDF or BDF+ file, a BrainVision "
                                   "header (.vhdr), a CSV file ending in .csv, or a GUI text file starting \"%OpenBCI Raw EXG Data\"",
                                   path));
}

} // namespace

std::unique_ptr<Recording> openRecording(const std::string& path, const ReadOptions& options,
                                         const std::string& rateOption) {
    std::unique_ptr<Recording> recording = openAtFileRate(path, options, rateOption);
    if (options.resampleHz)
        return resampleRecording(std::move(recording), *options.resampleHz);
    return recording;
}

} // namespace kalo::host
