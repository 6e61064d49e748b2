"""python3 -m kalo report RECORDING -o report.png: analyse one recording and draw its session.

Reads every format the host layer reads (EDF, EDF+, BDF, BDF+, CSV) as the
kalo program does, with the program's options (--left, --fft-window,
--events, ...). Any failure prints one line on stderr and exits with code 2.
"""

import argparse
import sys

from . import _host
from .analysis import _RECORD_FIELDS, run_file
from .plots import plot_session


def _setting(text):
    """--set NAME=VALUE with a field of the engine's settings records, kept for scripts that use it."""
    name, sep, value = text.partition("=")
    name = name.strip()
    if not sep or name not in _RECORD_FIELDS:
        raise argparse.ArgumentTypeError(f"expected NAME=VALUE with NAME one of: {', '.join(sorted(_RECORD_FIELDS))}; "
                                         f"got {text!r}")
    return _RECORD_FIELDS[name], value.strip()


def _parser():
    parser = argparse.ArgumentParser(prog="python3 -m kalo", description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    report = commands.add_parser("report", help="analyse a recording and draw its session as a picture",
                                 description="Analyse a recording as `kalo analyze` does and draw band "
                                             "composition, attention and relaxation, artifacts, calibration and "
                                             "a raw-signal excerpt. The options are those of `kalo analyze`.")
    report.add_argument("recording", help="EDF/EDF+/BDF/BDF+ file or CSV file (.csv)")
    report.add_argument("-o", "--output", required=True, help="picture to write (.png, .svg, .pdf)")
    report.add_argument("--excerpt", type=float, nargs=2, metavar=("START", "SECONDS"),
                        help="raw-signal excerpt [10 s around the first artifact]")
    report.add_argument("--title", help="title of the picture [the recording's name]")
    report.add_argument("--set", type=_setting, action="append", default=[], metavar="NAME=VALUE",
                        help="an engine setting by its field name, e.g. --set amplitude_threshold=100")
    # Every option of the host layer, as `kalo analyze` has it.
    for key in _host.keys():
        flag = "--" + key["key"].replace("_", "-")
        help_text = key["help"] + (f" [default: {key['default']}]" if key["default"] and key["value"] else "")
        if not key["value"]:
            report.add_argument(flag, dest=key["key"], action="store_const", const="true", help=help_text)
        elif key["key"] == "events":
            report.add_argument(flag, dest="events", action="append", metavar=key["value"], help=help_text)
        else:
            report.add_argument(flag, dest=key["key"], metavar=key["value"], help=help_text)
    return parser


def main(argv=None):
    args = _parser().parse_args(argv)
    values = vars(args)
    pairs = []
    for key in _host.keys():
        value = values.get(key["key"])
        for one in (value if isinstance(value, list) else [] if value is None else [value]):
            pairs.append((key["key"], one))
    pairs += args.set
    try:
        reading = [(key, value) for key, value in pairs if key in ("rate", "units")]
        result = run_file(args.recording, reading, lambda names: pairs, style=_host.STYLE_FLAGS)
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
