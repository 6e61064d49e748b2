"""Loading libkalo_artifacts.so and declaring its C interface for ctypes.

Every record mirrors include/kalo_artifacts/types.h, filters.h and detector.h
field for field (the layout test compares them with what a C compiler makes
of the headers), and every exported function gets its argument and result
types here, so that a wrong argument is a Python error instead of a crash.
"""

import ctypes
import os
import pathlib
from ctypes import POINTER, Structure, c_bool, c_char, c_char_p, c_double, c_int, c_int32, c_size_t, c_uint8

LIBRARY_ENV = "KALO_LIBRARY"
_SONAMES = ("libkalo_artifacts.so.1", "libkalo_artifacts.so")

# ---------------------------------------------------------------- records

SideType = c_int32  # _SideType: LEFT 0, RIGHT 1, NONE 2, stored as a 32-bit integer


class RawChannels(Structure):
    _fields_ = [("left", c_double), ("right", c_double)]


class RawChannelsArray(Structure):
    _fields_ = [("channels", POINTER(c_double))]


class MindData(Structure):
    _fields_ = [("rel_attention", c_double), ("rel_relaxation", c_double),
                ("inst_attention", c_double), ("inst_relaxation", c_double)]


class SpectralDataPercents(Structure):
    _fields_ = [(band, c_double) for band in ("delta", "theta", "alpha", "beta", "gamma")]


class RawSpectVals(Structure):
    _fields_ = [("alpha", c_double), ("beta", c_double)]


class SpectralData(Structure):
    _fields_ = [(band, c_int32) for band in ("delta", "theta", "alpha", "beta", "gamma")]


class MathLibSetting(Structure):
    _fields_ = [("sampling_rate", c_int32), ("process_win_freq", c_int32), ("fft_window", c_int32),
                ("n_first_sec_skipped", c_int32), ("bipolar_mode", c_bool), ("use_power_spectrum", c_bool),
                ("channels_number", c_int32), ("channel_for_analysis", c_int32)]


class ArtifactDetectSetting(Structure):
    _fields_ = [("amplitude_threshold", c_int32), ("bad_samples_percent", c_int32),
                ("band_power_threshold", c_int32), ("total_power_threshold", c_int32),
                ("artifact_sequence_sec", c_int32), ("detect_by_total_power", c_bool),
                ("use_hanning", c_bool), ("use_hamming", c_bool), ("quality_history_length", c_int32)]


class ShortArtifactDetectSetting(Structure):
    _fields_ = [("peak_win_ms", c_int32), ("peak_area_ms", c_int32), ("peak_threshold", c_int32)]


class MentalAndSpectralSetting(Structure):
    _fields_ = [("mental_estimation_sec", c_int32), ("spectral_averaging_sec", c_int32)]


class OutStatus(Structure):
    _fields_ = [("success", c_bool), ("error_code", c_int32), ("error_msg", c_char * 512)]


class FilterParam(Structure):
    _fields_ = [("filter_type", c_uint8), ("sampling_rate", c_int32), ("frequency", c_double)]


class ArtifactSetting(Structure):
    _fields_ = [("sampling_rate", c_int32), ("process_win_freq", c_int32), ("fft_window", c_int32)]


class ArtifactInfo(Structure):
    _fields_ = [("position", c_int32), ("is_start", c_bool), ("type", c_int32)]


# The C name of every record, for the layout test and for error messages.
RECORDS = {
    "_RawChannels": RawChannels, "_RawChannelsArray": RawChannelsArray, "_MindData": MindData,
    "_SpectralDataPercents": SpectralDataPercents, "_RawSpectVals": RawSpectVals, "_SpectralData": SpectralData,
    "_MathLibSetting": MathLibSetting, "_ArtifactDetectSetting": ArtifactDetectSetting,
    "_ShortArtifactDetectSetting": ShortArtifactDetectSetting,
    "_MentalAndSpectralSetting": MentalAndSpectralSetting, "_OutStatus": OutStatus, "_FilterParam": FilterParam,
    "_ArtifactSetting": ArtifactSetting, "_ArtifactInfo": ArtifactInfo,
}


class _Opaque(Structure):
    """Handles are pointers to records the host never looks into."""


class MathLib(_Opaque):
    pass


class ArtifactsMath(_Opaque):
    pass


class TFilter(_Opaque):
    pass


class TFilterList(_Opaque):
    pass


# ---------------------------------------------------------------- functions

_S = POINTER(OutStatus)
_ENGINE = POINTER(MathLib)
_DETECTOR = POINTER(ArtifactsMath)
_FILTER = POINTER(TFilter)
_LIST = POINTER(TFilterList)
_FLAG = POINTER(c_bool)
_DOUBLES = POINTER(c_double)
_B, _I32, _D = c_bool, c_int32, c_double

# name: (result type, argument types), in the order of the C declarations.
_PROTOTYPES = {
    # engine (every function fills the status and returns the success flag)
    "createMathLib": (_ENGINE, [MathLibSetting, ArtifactDetectSetting, ShortArtifactDetectSetting,
                                MentalAndSpectralSetting, _S]),
    "freeMathLib": (_B, [_ENGINE, _S]),
    "MathLibSetHammingWinSpect": (_B, [_ENGINE, _S]),
    "MathLibSetHanningWinSpect": (_B, [_ENGINE, _S]),
    "MathLibSetCallibrationLength": (_B, [_ENGINE, _I32, _S]),
    "MathLibSetSkipWinsAfterArtifact": (_B, [_ENGINE, _I32, _S]),
    "MathLibSetMentalEstimationMode": (_B, [_ENGINE, _B, _S]),
    "MathLibSetPrioritySide": (_B, [_ENGINE, SideType, _S]),
    "MathLibPushData": (_B, [_ENGINE, POINTER(RawChannels), c_size_t, _S]),
    "MathLibPushDataArr": (_B, [_ENGINE, POINTER(RawChannelsArray), c_size_t, _S]),
    "MathLibProcessDataArr": (_B, [_ENGINE, _S]),
    "MathLibProcessWindow": (_B, [_ENGINE, _S]),
    "MathLibProcessData": (_B, [_ENGINE, SideType, _S]),
    "MathLibStartCalibration": (_B, [_ENGINE, _S]),
    "MathLibCalibrationFinished": (_B, [_ENGINE, POINTER(c_bool), _S]),
    "MathLibGetCallibrationPercents": (_B, [_ENGINE, POINTER(c_int32), _S]),
    "MathLibIsArtifactedWin": (_B, [_ENGINE, SideType, _B, POINTER(c_bool), _S]),
    "MathLibIsArtifactedSequence": (_B, [_ENGINE, POINTER(c_bool), _S]),
    "MathLibIsBothSidesArtifacted": (_B, [_ENGINE, POINTER(c_bool), _S]),
    "MathLibReadAverageMentalData": (_B, [_ENGINE, _I32, POINTER(MindData), _S]),
    "MathLibReadSpectralDataPercentsArrSize": (_B, [_ENGINE, POINTER(c_int32), _S]),
    "MathLibReadSpectralDataPercentsArr": (_B, [_ENGINE, POINTER(SpectralDataPercents), POINTER(c_int32), _S]),
    "MathLibReadMentalDataArrSize": (_B, [_ENGINE, POINTER(c_int32), _S]),
    "MathLibReadMentalDataArr": (_B, [_ENGINE, POINTER(MindData), POINTER(c_int32), _S]),
    "MathLibReadRawSpectralVals": (_B, [_ENGINE, POINTER(RawSpectVals), _S]),
    "MathLibSetZeroSpectWaves": (_B, [_ENGINE, _B, _I32, _I32, _I32, _I32, _I32, _S]),
    "MathLibSetWeightsForSpectra": (_B, [_ENGINE, _D, _D, _D, _D, _D, _S]),
    "MathLibSetSpectNormalizationByBandsWidth": (_B, [_ENGINE, _B, _S]),
    "MathLibSetSpectNormalizationByCoeffs": (_B, [_ENGINE, _B, _S]),
    # detector (every function but the constructor returns its status by value)
    "createArtifactsMath": (_DETECTOR, [c_int, ArtifactSetting, _S]),
    "freeArtifactsMath": (OutStatus, [_DETECTOR]),
    "ArtifactsMathInit": (OutStatus, [_DETECTOR, c_int, c_int, c_int, c_int]),
    "ArtifactsMathInitFilters": (OutStatus, [_DETECTOR, c_int, c_int]),
    "ArtifactsMathIsArtifactedWin": (OutStatus, [POINTER(c_bool), POINTER(c_int), _DETECTOR, _DOUBLES, c_int,
                                                 c_bool]),
    "ArtifactsMathReadArtifactInfo": (OutStatus, [_DETECTOR, POINTER(ArtifactInfo)]),
    "ArtifactsMathReadArtifactInfoArrSize": (OutStatus, [POINTER(c_int), _DETECTOR]),
    "ArtifactsMathReadArtifactInfoArr": (OutStatus, [_DETECTOR, POINTER(ArtifactInfo), POINTER(c_int)]),
    "ArtifactsMathSetHanningWinSpect": (OutStatus, [_DETECTOR]),
    "ArtifactsMathSetHammingWinSpect": (OutStatus, [_DETECTOR]),
    "ArtifactsMathSetArtifactDetectByTotalPower": (OutStatus, [_DETECTOR, c_int]),
    # exported under its C++ symbol only: ArtifactsMathClearData(_ArtifactsMath*)
    "_Z22ArtifactsMathClearDataP14_ArtifactsMath": (OutStatus, [_DETECTOR]),
    # filters and lists (the error flag comes last)
    "create_TFilterList": (_LIST, [_FLAG]),
    "TFilterList_AddFilter": (None, [_LIST, _FILTER, _FLAG]),
    "TFilterList_Filter": (c_double, [_LIST, c_double, _FLAG]),
    "TFilterList_Filter_array": (None, [_LIST, _DOUBLES, c_int, _FLAG]),
    "TFilterList_Reset": (None, [_LIST, _FLAG]),
    "TFilter_List_ClearFilters": (None, [_LIST, _FLAG]),
    "TFilterList_Delete_TFilter": (None, [_LIST, c_int, _FLAG]),
    "delete_TFilterList": (None, [_LIST, _FLAG]),
    "create_custom_TFilter": (_FILTER, [c_char_p, _FLAG]),
    "TFilter_Filter": (c_double, [_FILTER, c_double, _FLAG]),
    "TFilter_Filter_array": (None, [_FILTER, _DOUBLES, c_int, _FLAG]),
    "TFilter_Reset": (None, [_FILTER, _FLAG]),
    "TFilter_ClearParams": (None, [_FILTER, _FLAG]),
    "TFilter_SetParams": (None, [_FILTER, c_char_p, _FLAG]),
    "getID_TFilter": (c_int, [_FILTER, _FLAG]),
    "delete_TFilter": (None, [_FILTER, _FLAG]),
    "create_TFilter_by_param": (_FILTER, [FilterParam, _FLAG]),
    "get_preinstalled_filter_count": (None, [POINTER(c_int), _FLAG]),
    "get_preinstalled_filter_list": (None, [POINTER(FilterParam), _FLAG]),
}


def candidates():
    """Where the library is looked for, in order.

    An explicit KALO_LIBRARY wins (a build tree, a test run); then a copy
    shipped inside the package; then the dynamic loader's own search
    (LD_LIBRARY_PATH, the ld.so cache, the system directories), which finds an
    installed library by its soname.
    """
    explicit = os.environ.get(LIBRARY_ENV)
    if explicit:
        return [explicit]
    here = pathlib.Path(__file__).resolve().parent
    return [str(here / name) for name in _SONAMES if (here / name).exists()] + list(_SONAMES)


def _load():
    tried = []
    for candidate in candidates():
        try:
            lib = ctypes.CDLL(candidate)
            break
        except OSError as error:
            tried.append(f"{candidate}: {error}")
    else:
        raise ImportError("libkalo_artifacts.so was not found; set KALO_LIBRARY to its path "
                          "(for instance build/src/libkalo_artifacts.so). Tried:\n  " + "\n  ".join(tried))
    for name, (restype, argtypes) in _PROTOTYPES.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib = _load()
path = lib._name

# Exported read-only records and constants.
DEFAULTS = {
    "math_lib": MathLibSetting.in_dll(lib, "MathLibSettingDefault"),
    "artifact_detect": ArtifactDetectSetting.in_dll(lib, "ArtifactDetectSettingDefault"),
    "short_artifact_detect": ShortArtifactDetectSetting.in_dll(lib, "ShortArtifactDetectSettingDefault"),
    "mental_and_spectral": MentalAndSpectralSetting.in_dll(lib, "MentalAndSpectralSettingDefault"),
}
CONSTANTS = {name: c_int32.in_dll(lib, name).value
             for name in ("BufferSize", "MentalValueArraySize", "AttEstBufferSize", "SpectralPercentsArraySize")}
COEFFICIENT_TEXTS = {name: c_char_p.in_dll(lib, name).value.decode("ascii")
                     for name in ("K_bs_45_55_4", "K_bs_55_65", "K_bs_62", "K_hp_4", "K_hp_10_Cheb3", "K_lp_30")}
