#include "edf_recording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include <edflib.h>
#include <fmt/format.h>

#include "error.h"
#include "units.h"

namespace kalo::host {

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

class EdfRecording final : public Recording {
public:
    explicit EdfRecording(const std::string& path);
    ~EdfRecording() override { edfclose_file(handle_); }
    EdfRecording(const EdfRecording&) = delete;
    EdfRecording& operator=(const EdfRecording&) = delete;

private:
    void readChecked(std::span<const int> channels, std::int64_t first, std::int64_t count, double* out) override;

    RemovedAtExit plain_; // a plain copy of the file, read instead of it, removed when closed
    int handle_ = -1;
    std::vector<int> signalOf_;         // EDF signal of each channel
    std::vector<double> perVolt_;       // header units per volt of each channel, 0 when not a voltage
    std::vector<double> block_;
};

EdfRecording::EdfRecording(const std::string& path) : Recording(path, "EDF") {
    // The header record holds 640 signal descriptions: too large for the stack.
    auto header = std::make_unique<edf_hdr_struct>();
    bool annotationsDropped = false;
    if (edfopen_file_readonly(path.c_str(), header.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
        const int error = header->filetype;
        if (error == EDFLIB_FILE_CONTAINS_FORMAT_ERRORS)
            plain_.path = plainCopyOf(path);
        if (plain_.path.empty() ||
            edfopen_file_readonly(plain_.path.c_str(), header.get(), EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0)
            throw badRecording(fmt::format("{}: {}", path, openErrorText(error)));
        annotationsDropped = true;
    }
    handle_ = header->handle;
    switch (header->filetype) {
    case EDFLIB_FILETYPE_EDFPLUS: format_ = "EDF+"; break;
    case EDFLIB_FILETYPE_BDF: format_ = "BDF"; break;
    case EDFLIB_FILETYPE_BDFPLUS: format_ = "BDF+"; break;
    default: format_ = "EDF"; break;
    }
    if (annotationsDropped)
        notes_.push_back("its header breaks EDF+ rules outside the samples, so it was read as plain EDF/BDF and its "
                         "annotations were left out");

    const double recordSec = static_cast<double>(header->datarecord_duration) / EDFLIB_TIME_DIMENSION;
    for (int s = 0; s < header->edfsignals; ++s) {
        const edf_param_struct& p = header->signalparam[s];
        ChannelInfo channel;
        channel.name = trimmed(p.label);
        if (isAnnotationSignal(channel.name))
            continue;
        channel.rateHz = recordSec > 0 ? p.smp_in_datarecord / recordSec : 0.0;
        channel.sampleCount = p.smp_in_file;
        channel.unit = trimmed(p.physdimension);
        const double perVolt = unitsPerVolt(channel.unit).value_or(0.0);
        if (perVolt == 0.0)
            channel.problem = fmt::format("its unit \"{}\" is not a voltage ({})", channel.unit, kVoltageUnitsHelp);
        channels_.push_back(std::move(channel));
        signalOf_.push_back(s);
        perVolt_.push_back(perVolt);
    }
    for (long long a = 0; a < header->annotations_in_file; ++a) {
        edf_annotation_struct annotation{};
        if (edf_get_annotation(handle_, static_cast<int>(a), &annotation) != 0)
            continue;
        const double onset = static_cast<double>(annotation.onset) / EDFLIB_TIME_DIMENSION;
        const double duration =
            annotation.duration_l > 0 ? static_cast<double>(annotation.duration_l) / EDFLIB_TIME_DIMENSION : 0.0;
        events_.push_back({onset, duration, annotation.annotation});
    }
}

void EdfRecording::readChecked(std::span<const int> channels, std::int64_t first, std::int64_t count,
                               double* out) {
    const std::size_t width = channels.size();
    block_.resize(static_cast<std::size_t>(count));
    for (std::size_t c = 0; c < width; ++c) {
        const auto channel = static_cast<std::size_t>(channels[c]);
        const int signal = signalOf_[channel];
        if (edfseek(handle_, signal, first, EDFSEEK_SET) != first)
            throw badRecording(fmt::format("{}: cannot find sample {} of {}", source_, first, channels_[channel].name));
        for (std::int64_t done = 0; done < count;) {
            const int want = static_cast<int>(std::min<std::int64_t>(count - done, 1 << 20));
            if (edfread_physical_samples(handle_, signal, want, block_.data() + done) != want)
                throw badRecording(fmt::format("{}: cannot read the samples of {} (the file is shorter than its "
                                               "header says)",
                                               source_, channels_[channel].name));
            done += want;
        }
        // A division, not a multiplication by 1e-6: the result is then the
        // double nearest to the true value in volts, the same number a
        // decimal text of that value reads back as.
        const double perVolt = perVolt_[channel];
        for (std::int64_t i = 0; i < count; ++i)
            out[static_cast<std::size_t>(i) * width + c] =
                perVolt != 0.0 ? block_[static_cast<std::size_t>(i)] / perVolt : block_[static_cast<std::size_t>(i)];
    }
}

} // namespace

std::unique_ptr<Recording> openEdfRecording(const std::string& path) { return std::make_unique<EdfRecording>(path); }

bool namesBdf(const std::string& path) {
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".bdf";
}

void writeEdf(const std::string& path, bool bdf, int rate, const std::vector<ChannelSamples>& samples,
              const std::vector<Event>& events) {
    const int channels = static_cast<int>(samples.size());
    const int handle =
        edfopen_file_writeonly(path.c_str(), bdf ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS, channels);
    if (handle < 0)
        throw badRecording(fmt::format("{}: cannot be written (EDFlib error {})", path, handle));
    bool closed = false;
    const auto fail = [&](std::string_view what) {
        if (!closed)
            edfclose_file(handle);
        closed = true;
        throw badRecording(fmt::format("{}: cannot be written: {}", path, what));
    };

    const int digitalMax = bdf ? 8388607 : 32767;
    for (int c = 0; c < channels; ++c) {
        const ChannelSamples& ch = samples[static_cast<std::size_t>(c)];
        double largestUv = 1.0;
        for (const double v : *ch.volts)
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
    const std::size_t length = samples.front().volts->size();
    std::vector<double> buffer(static_cast<std::size_t>(rate));
    for (std::size_t first = 0; first < length; first += buffer.size())
        for (const ChannelSamples& ch : samples) {
            for (std::size_t i = 0; i < buffer.size(); ++i)
                buffer[i] = (*ch.volts)[std::min(first + i, length - 1)] * 1e6;
            if (edfwrite_physical_samples(handle, buffer.data()) != 0)
                fail("EDFlib could not write the samples");
        }
    for (const Event& a : events)
        if (edfwrite_annotation_utf8(handle, std::llround(a.onsetSec * 10000), std::llround(a.durationSec * 10000),
                                     a.description.c_str()) != 0)
            fail("EDFlib could not write an annotation");
    closed = true;
    if (edfclose_file(handle) != 0)
        throw badRecording(fmt::format("{}: cannot be written: EDFlib could not finish the file", path));
}

} // namespace kalo::host
