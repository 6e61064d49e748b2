#include "edf_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include <edflib.h>
#include <fmt/format.h>

#include "cli_error.h"

namespace kalo::cli {

namespace {

std::string openErrorText(int code) {
    switch (code) {
    case EDFLIB_MALLOC_ERROR: return "out of memory";
    case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY: return "cannot open: No such file or directory";
    case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS: return "not a valid EDF/BDF file (its header has format errors)";
    case EDFLIB_MAXFILES_REACHED: return "too many EDF files open";
    case EDFLIB_FILE_READ_ERROR: return "cannot be read";
    case EDFLIB_FILE_ALREADY_OPENED: return "already opened";
    case EDFLIB_FILETYPE_ERROR: return "not an EDF, EDF+, BDF or BDF+ file";
    case EDFLIB_FILE_IS_DISCONTINUOUS: return "a discontinuous recording (EDF+D/BDF+D), which cannot be analysed";
    default: return fmt::format("cannot be read as EDF/BDF (EDFlib error {})", code);
    }
}

std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    while (!s.empty() && s.front() == ' ')
        s.erase(s.begin());
    return s;
}

// How many units of the header's physical dimension make one volt; 0 when
// it is not a voltage. The micro sign may be Latin-1 or UTF-8.
double unitsPerVolt(std::string unit) {
    for (const std::string micro : {"\xC2\xB5", "\xB5"})
        if (unit.rfind(micro, 0) == 0)
            unit = "u" + unit.substr(micro.size());
    std::transform(unit.begin(), unit.end(), unit.begin(), [](unsigned char c) { return std::tolower(c); });
    if (unit == "v")
        return 1.0;
    if (unit == "mv")
        return 1e3;
    if (unit == "uv")
        return 1e6;
    if (unit == "nv")
        return 1e9;
    return 0.0;
}

struct EdfCloser {
    int handle;
    ~EdfCloser() { edfclose_file(handle); }
};

bool isAnnotationSignal(const std::string& label) { return label == "EDF Annotations" || label == "BDF Annotations"; }

// Some EDF+ files in circulation (PhysioNet's among them) break rules of
// EDF+ that do not concern their samples, such as a prefilter text in the
// header of the annotation signal, and EDFlib refuses them whole. A
// continuous file (EDF+C, BDF+C) is then read from a temporary copy whose
// header's reserved field no longer claims EDF+: EDFlib reads that as plain
// EDF or BDF, with the annotation signal as one more signal, dropped below.
// Returns the copy's path, or an empty one when the file is not EDF+C or
// BDF+C or the copy could not be made.
std::string plainCopyOf(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
    std::string bytes;
    char buffer[1 << 16];
    for (std::size_t got; in && (got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;)
        bytes.append(buffer, got);
    constexpr std::size_t reservedAt = 192, reservedLength = 44;
    if (bytes.size() < 256 ||
        (bytes.compare(reservedAt, 5, "EDF+C") != 0 && bytes.compare(reservedAt, 5, "BDF+C") != 0))
        return {};
    bytes.replace(reservedAt, reservedLength, reservedLength, ' ');
    std::string copy = (std::filesystem::temp_directory_path() / "kalo-edf.XXXXXX").string();
    const int fd = mkstemp(copy.data());
    if (fd < 0)
        return {};
    const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    if (!written) {
        unlink(copy.c_str());
        return {};
    }
    return copy;
}

struct RemovedAtExit {
    std::string path;
    ~RemovedAtExit() {
        if (!path.empty())
            unlink(path.c_str());
    }
};

} // namespace

Recording readEdf(const std::string& path) {
    // The header record holds 640 signal descriptions: too large for the stack.
    auto header = std::make_unique<edf_hdr_struct>();
    RemovedAtExit plain;
    if (edfopen_file_readonly(path.c_str(), header.get(), EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0) {
        const int error = header->filetype;
        if (error == EDFLIB_FILE_CONTAINS_FORMAT_ERRORS)
            plain.path = plainCopyOf(path);
        if (plain.path.empty() ||
            edfopen_file_readonly(plain.path.c_str(), header.get(), EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0)
            throw CliError(fmt::format("{}: {}", path, openErrorText(error)));
    }
    const EdfCloser closer{header->handle};

    Recording recording;
    recording.source = path;
    const double recordSec = static_cast<double>(header->datarecord_duration) / EDFLIB_TIME_DIMENSION;
    for (int s = 0; s < header->edfsignals; ++s) {
        const edf_param_struct& p = header->signalparam[s];
        Channel channel;
        channel.name = trimmed(p.label);
        if (isAnnotationSignal(channel.name))
            continue;
        channel.rateHz = recordSec > 0 ? p.smp_in_datarecord / recordSec : 0.0;
        const std::string unit = trimmed(p.physdimension);
        const double perVolt = unitsPerVolt(unit);
        if (perVolt == 0.0)
            channel.unitProblem = fmt::format("its unit \"{}\" is not a voltage (V, mV, uV or nV)", unit);
        channel.volts.resize(static_cast<std::size_t>(p.smp_in_file));
        constexpr long long kChunk = 1 << 20;
        for (long long done = 0; done < p.smp_in_file;) {
            const int want = static_cast<int>(std::min(kChunk, p.smp_in_file - done));
            if (edfread_physical_samples(header->handle, s, want, channel.volts.data() + done) != want)
                throw CliError(fmt::format("{}: cannot read the samples of {} (the file is shorter than its header says)",
                                           path, channel.name));
            done += want;
        }
        // A division, not a multiplication by 1e-6: the result is then the
        // double nearest to the true value in volts, the same number a
        // decimal text of that value reads back as.
        if (perVolt != 0.0)
            for (double& v : channel.volts)
                v /= perVolt;
        recording.channels.push_back(std::move(channel));
    }
    return recording;
}

bool namesBdf(const std::string& path) {
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".bdf";
}

void writeEdf(const std::string& path, bool bdf, const Recording& recording,
              const std::vector<EdfAnnotation>& annotations) {
    const int channels = static_cast<int>(recording.channels.size());
    const int handle =
        edfopen_file_writeonly(path.c_str(), bdf ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS, channels);
    if (handle < 0)
        throw CliError(fmt::format("{}: cannot be written (EDFlib error {})", path, handle));
    bool closed = false;
    const auto fail = [&](std::string_view what) {
        if (!closed)
            edfclose_file(handle);
        closed = true;
        throw CliError(fmt::format("{}: cannot be written: {}", path, what));
    };

    const int rate = static_cast<int>(recording.channels.front().rateHz);
    const int digitalMax = bdf ? 8388607 : 32767;
    for (int c = 0; c < channels; ++c) {
        const Channel& ch = recording.channels[static_cast<std::size_t>(c)];
        double largestUv = 1.0;
        for (const double v : ch.volts)
            largestUv = std::max(largestUv, std::abs(v) * 1e6);
        // A round range just above the largest sample keeps the quantisation
        // step small and every sample representable.
        const double rangeUv = std::ceil(largestUv * 1.01);
        if (edf_set_samplefrequency(handle, c, rate) || edf_set_physical_maximum(handle, c, rangeUv) ||
            edf_set_physical_minimum(handle, c, -rangeUv) || edf_set_digital_maximum(handle, c, digitalMax) ||
            edf_set_digital_minimum(handle, c, -digitalMax - 1) || edf_set_label(handle, c, ch.name.c_str()) ||
            edf_set_physical_dimension(handle, c, "uV"))
            fail("EDFlib refused the signal header");
    }
    // Records last one second; a last, incomplete second is padded with its
    // final value.
    const std::size_t samples = recording.channels.front().volts.size();
    std::vector<double> buffer(static_cast<std::size_t>(rate));
    for (std::size_t first = 0; first < samples; first += buffer.size())
        for (const Channel& ch : recording.channels) {
            for (std::size_t i = 0; i < buffer.size(); ++i)
                buffer[i] = ch.volts[std::min(first + i, samples - 1)] * 1e6;
            if (edfwrite_physical_samples(handle, buffer.data()) != 0)
                fail("EDFlib could not write the samples");
        }
    for (const EdfAnnotation& a : annotations)
        if (edfwrite_annotation_utf8(handle, std::llround(a.onsetSec * 10000), std::llround(a.durationSec * 10000),
                                     a.text.c_str()) != 0)
            fail("EDFlib could not write an annotation");
    closed = true;
    if (edfclose_file(handle) != 0)
        throw CliError(fmt::format("{}: cannot be written: EDFlib could not finish the file", path));
}

} // namespace kalo::cli
