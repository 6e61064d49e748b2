#include "kalo_artifacts/types.h"

// Definitions of the exported records, constants and texts. They are declared
// with C linkage inside OviMath::Types, so C hosts find them under their
// plain names and C++ code under the namespace.

namespace OviMath::Types {

extern "C" {

const _MathLibSetting MathLibSettingDefault = {
    /* sampling_rate */ 0,
    /* process_win_freq */ 25,
    /* fft_window */ 0,
    /* n_first_sec_skipped */ 4,
    /* bipolar_mode */ false,
    /* use_power_spectrum */ false,
    /* channels_number */ 4,
    /* channel_for_analysis */ 0,
};

const _ArtifactDetectSetting ArtifactDetectSettingDefault = {
    /* amplitude_threshold */ 70,
    /* bad_samples_percent */ 50,
    /* band_power_threshold */ 800000,
    /* total_power_threshold */ 30000000,
    /* artifact_sequence_sec */ 4,
    /* detect_by_total_power */ false,
    /* use_hanning */ false,
    /* use_hamming */ false,
    /* quality_history_length */ 100,
};

const _ShortArtifactDetectSetting ShortArtifactDetectSettingDefault = {
    /* peak_win_ms */ 200,
    /* peak_area_ms */ 200,
    /* peak_threshold */ 30,
};

const _MentalAndSpectralSetting MentalAndSpectralSettingDefault = {
    /* mental_estimation_sec */ 2,
    /* spectral_averaging_sec */ 2,
};

const int32_t BufferSize = 15000;
const int32_t MentalValueArraySize = 150;
const int32_t AttEstBufferSize = 100;
const int32_t SpectralPercentsArraySize = 200;

// Band-stop around 50 Hz (45 to 55 Hz at 250 Hz), four second-order sections.
const char* const K_bs_45_55_4 =
    "K = .7187168060459113\n"
    "\n"
    "Term 1:\n"
    "1, -.6180339887498949, 1\n"
    "1, -.6362664997340413, .79387944010353\n"
    "\n"
    "Term 2:\n"
    "1, -.6180339887498949, 1\n"
    "1, -.7946350197100292, .9120234632540067\n"
    "\n"
    "Term 3:\n"
    "1, -.6180339887498949, 1\n"
    "1, -.4682186810673564, .7879440587968587\n"
    "\n"
    "Term 4:\n"
    "1, -.6180339887498949, 1\n"
    "1, -.3697762568291702, .905440002856472\n"
    "\n";

// Band-stop around 60 Hz (55 to 65 Hz at 250 Hz), four second-order sections.
const char* const K_bs_55_65 =
    "K = .8483199451884242\n"
    "\n"
    "Term 1:\n"
    "1, -.1255810390586269, 1\n"
    "1, -.1641550371654011, .8902373199109685\n"
    "\n"
    "Term 2:\n"
    "1, -.1255810390586269, 1\n"
    "1, -.2355097048812527, .9532507956706395\n"
    "\n"
    "Term 3:\n"
    "1, -.1255810390586269, 1\n"
    "1, -7.307243266028923e-02, .8899218207338772\n"
    "\n"
    "Term 4:\n"
    "1, -.1255810390586269, 1\n"
    "1, -8.95176032919359e-03, .9529157988730944\n"
    "\n";

// Band-stop around 62.5 Hz at 250 Hz, four second-order sections.
const char* const K_bs_62 =
    "K = .7181611191112476\n"
    "\n"
    "Term 1:\n"
    "1, 0, 1\n"
    "1, -8.749745930743569e-02, .7904680311187496\n"
    "\n"
    "Term 2:\n"
    "1, 0, 1\n"
    "1, -.2226137422507769, .9085264869628359\n"
    "\n"
    "Term 3:\n"
    "1, 0, 1\n"
    "1, 8.749745930743535e-02, .7904680311187496\n"
    "\n"
    "Term 4:\n"
    "1, 0, 1\n"
    "1, .2226137422507766, .9085264869628359\n"
    "\n";

// High-pass, 4 Hz at 250 Hz: one first-order and one second-order section.
const char* const K_hp_4 =
    "K = .9043187344847895\n"
    "\n"
    "Term 1:\n"
    "1, -1\n"
    "1, -.9042035937390208\n"
    "\n"
    "Term 2:\n"
    "1, -2., 1\n"
    "1, -1.894818420934282, .9044338752305583\n"
    "\n";

// Third-order Chebyshev high-pass, pass band from about 10 Hz at 250 Hz.
const char* const K_hp_10_Cheb3 =
    "K = .8347960711381394\n"
    "\n"
    "Term 1:\n"
    "1, -1\n"
    "1, -.8000268966243025\n"
    "\n"
    "Term 2:\n"
    "1, -2., 1\n"
    "1, -1.840584075799529, .8695652456519763\n"
    "\n";

// Third-order Butterworth low-pass, -3 dB at 30 Hz at 250 Hz.
const char* const K_lp_30 =
    "K = 2.863530017091789e-02\n"
    "\n"
    "Term 1:\n"
    "1, 1\n"
    "1, -.432738642247426\n"
    "\n"
    "Term 2:\n"
    "1, 2., 1\n"
    "1, -1.086169992415511, .4900092425892617\n"
    "\n";
} // extern "C"

} // namespace OviMath::Types
