"""python3 -m kalo report RECORDING -o report.png: analyse one recording and draw its session.

Reads EDF, BDF (and whatever else MNE reads) or CSV in the layout the kalo
program accepts. Any failure prints one line on stderr and exits with code 2.
"""

import argparse
import sys

from .analysis import UNITS_PER_VOLT, analyze_file
from .engine import SETTING_RECORD
from .plots import plot_session

# Set through their own options, or fixed by the recording.
_NOT_SETTABLE = {"sampling_rate", "bipolar_mode", "channels_number", "channel_for_analysis"}


def _setting(text):
    name, sep, value = text.partition("=")
    name = name.strip()
    if not sep or name not in SETTING_RECORD or name in _NOT_SETTABLE:
        choices = ", ".join(sorted(set(SETTING_RECORD) - _NOT_SETTABLE))
        raise argparse.ArgumentTypeError(f"expected NAME=VALUE with NAME one of: {choices}; got {text!r}")
    value = value.strip().lower()
    if value in ("true", "false"):
        return name, value == "true"
    try:
        return name, int(value)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{name}: {value!r} is not an integer, true or false") from None


def _calibrate_at(text):
    if text == "never":
        return None
    try:
        return float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected seconds or 'never', not {text!r}") from None


def _parser():
    parser = argparse.ArgumentParser(prog="python3 -m kalo", description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    report = commands.add_parser("report", help="analyse a recording and draw its session as a picture",
                                 description="Analyse a recording as `kalo analyze` does and draw band "
                                             "composition, attention and relaxation, artifacts, calibration and "
                                             "a raw-signal excerpt.")
    report.add_argument("recording", help="EDF/BDF file (read with MNE) or CSV file (.csv)")
    report.add_argument("-o", "--output", required=True, help="picture to write (.png, .svg, .pdf)")
    report.add_argument("--left", help="left channel of a bipolar pair")
    report.add_argument("--right", help="right channel of a bipolar pair")
    report.add_argument("--channels", help="multichannel mode with these channels (A,B,C)")
    report.add_argument("--analysis-channel", help="the channel analysed in multichannel mode [the first]")
    report.add_argument("--rate", type=int, help="sampling rate, Hz, for a CSV without a t column")
    report.add_argument("--units", choices=sorted(UNITS_PER_VOLT), default="V", help="units of CSV channel columns")
    report.add_argument("--calibrate-at", type=_calibrate_at, default=0.0, metavar="SEC|never",
                        help="start a calibration at this time [0]")
    report.add_argument("--excerpt", type=float, nargs=2, metavar=("START", "SECONDS"),
                        help="raw-signal excerpt [10 s around the first artifact]")
    report.add_argument("--title", help="title of the picture [the recording's name]")
    report.add_argument("--set", type=_setting, action="append", default=[], metavar="NAME=VALUE",
                        help="an engine setting, e.g. --set amplitude_threshold=100 --set use_hanning=true")
    return parser


def main(argv=None):
    args = _parser().parse_args(argv)
    try:
        channels = args.channels.split(",") if args.channels else None
        result = analyze_file(args.recording, args.left, args.right, channels=channels,
                              analysis_channel=args.analysis_channel, rate=args.rate, units=args.units,
                              calibrate_at=args.calibrate_at, **dict(args.set))
        plot_session(result, args.output, excerpt=args.excerpt, title=args.title)
    except Exception as error:  # one line for the user, as the kalo program does
        print(f"python3 -m kalo report: {error}", file=sys.stderr)
        return 2
    summary = result.summary
    print(f"{args.output}: {summary['recording']}, {summary['duration_s']:.1f} s, {summary['windows']} records, "
          f"{100 * summary['artifacted_share']:.1f} % artifacted on both sides")
    return 0


if __name__ == "__main__":
    sys.exit(main())
