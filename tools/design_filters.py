#!/usr/bin/env python3
"""Designer of the preinstalled IIR filter catalogue.

The library compiles every file of preinstalled/resources/ into its resource
store, and callers ask for a filter by kind, frequency and sampling rate
(file name kind_freq_rate.dat, "p" standing for the decimal point).  This
script is the single source of those files: it designs every filter from the
rules below, prints the coefficient text exactly in the catalogue's house
style and writes it with CR LF line ends.

Design rules (f = cut-off or centre, fs = sampling rate, W = tan(pi f / fs),
the prewarped frequency of the bilinear transform s = (1 - z^-1)/(1 + z^-1)):

* LP / HP: third-order Butterworth, one first-order term and one second-order
  term.  With D = 1 + W + W^2 the denominators are
  "1, -(1-W)/(1+W)" and "1, (2W^2-2)/D, (1-W+W^2)/D";
  LP numerators "1, 1" and "1, 2., 1", K = W^3 / ((1+W) D);
  HP numerators "1, -1" and "1, -2., 1", K = 1 / ((1+W) D).
* BP: third-order Butterworth low-pass prototype moved to the band between the
  prewarped edges W1, W2 (s -> (s^2 + W0^2) / (B s), B = W2 - W1,
  W0^2 = W1 W2), then the bilinear transform.  Three second-order terms with
  numerator "1, 0, -1"; K makes the gain 1 at the centre (prewarped W0).
* BS: the same with s -> B s / (s^2 + W0^2).  Numerators "1, c, 1" with
  c = -2 (1 - W0^2) / (1 + W0^2), i.e. zeros on the unit circle at the
  centre; K makes the gain 1 at 0 Hz.

Numbers are the double results rounded to 16 significant digits and laid
out as in all published texts (see fmt and style).

Section order in the band designs: the term that comes from the real pole of
the prototype first, then the two terms of its complex pole pair, the one
with the lower natural frequency before the higher one.  That is the order of
the published BP_11_500 file.

A few catalogue files carry values that were published before this script
existed; those texts are kept digit for digit (see PUBLISHED below) and
--check shows how closely the design reproduces them.

Usage:
    python3 tools/design_filters.py           write the 151 files
    python3 tools/design_filters.py --check   regenerate in memory, compare
                                              with disk, run the self-tests

Standard-library Python 3 only.
"""

import cmath
import decimal
import math
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCE_DIR = os.path.join(ROOT, "preinstalled", "resources")

# ---------------------------------------------------------------------------
# Catalogue contents: kind, rate -> frequency parts as they stand in the names
# ---------------------------------------------------------------------------

CATALOGUE = [
    ("BP", 500, "1p75 2p25 6 11 24"),
    ("BS", 125, "50 59p5 60"),
    ("BS", 250, "50 60 62p5 100"),
    ("BS", 500, "50 60 100 120 150 180"),
    ("BS", 1000, "50 60"),
    ("HP", 100, "0p5 1"),
    ("HP", 125, "1 2 3 4 5 6 7 8 9 10"),
    ("HP", 250, "0p3 0p5 1 2 3 4 5 6 7 8 9 10 30 35 40"),
    ("HP", 500, "0p5 1 2 3 4 5 6 7 8 9 10"),
    ("HP", 1000, "0p1 0p5 1 2 3 4 5 6 7 8 9 10"),
    ("LP", 100, "2 3 4 5 10"),
    ("LP", 125, "30 31 32 33 34 35 36 37 38 39 40"),
    ("LP", 250, "0p3 1 2 3 4 5 6 7 8 9 10 20 30 31 32 33 34 35 36 37 38 39 40 "
                "45 50 60 70 100"),
    ("LP", 500, "30 31 32 33 34 35 36 37 38 39 40 60 70 80 200"),
    ("LP", 1000, "2 3 4 5 6 7 8 9 10 20 30 31 32 33 34 35 36 37 38 39 40 400"),
]

CATALOGUE_SIZE = 151

# Band-pass edges (Hz) at 500 Hz, by frequency part of the name.
BP_EDGES = {
    "1p75": (0.5, 4.0),
    "2p25": (0.5, 5.0),
    "6": (4.0, 8.0),
    "11": (8.0, 14.0),
    "24": (14.0, 34.0),
}


def bs_edges(freq, rate):
    """Stop-band edges (Hz) of the band-stop files designed by rule."""
    if freq == "50":
        return (45.0, 55.0)
    if freq == "60" and rate in (250, 500, 1000):
        return (55.0, 65.0)
    if freq == "59p5" and rate == 125:
        return (58.0, 61.0)
    if rate == 500 and freq in ("100", "120", "150", "180"):
        f = float(freq)
        return (f - 5.0, f + 5.0)
    raise KeyError("no band-stop rule for BS_%s_%d" % (freq, rate))


def catalogue_names():
    names = []
    for kind, rate, freqs in CATALOGUE:
        for freq in freqs.split():
            names.append("%s_%s_%d" % (kind, freq, rate))
    return names


def split_name(name):
    kind, freq, rate = name.split("_")
    return kind, freq, int(rate)


# ---------------------------------------------------------------------------
# Number printing in the catalogue's style
# ---------------------------------------------------------------------------

def fmt(x):
    """Print a coefficient the way every catalogue and built-in text does:
    the value rounded to 16 significant digits, then laid out by style()."""
    if math.isnan(x) or math.isinf(x):
        raise ValueError("coefficient is not finite: %r" % x)
    if x == 0.0:
        return "0"
    exact = decimal.Decimal(x)          # exact value of the double
    unit = decimal.Decimal(1).scaleb(exact.adjusted() - 15)
    rounded = exact.quantize(unit, rounding=decimal.ROUND_HALF_EVEN)
    return style(rounded)


def style(value):
    """Lay out a decimal number of at most 16 significant digits.

    Trailing zeros are dropped.  Magnitudes from 0.1 up to (but excluding) 10
    are written in plain notation without a leading "0" (".9875121748695907",
    "-1.086169992415511", ".857166232744409"); everything else gets an
    exponent of at least two digits ("2.863530017091789e-02",
    "-8.95176032919359e-03").  Whole-number constants of the numerators never
    come through here: they are literal tokens of the design rules ("1",
    "2.", "-1", "0").
    """
    sign, digit_tuple, _exp = value.as_tuple()
    exp = value.adjusted()              # power of ten of the first digit
    body = "".join(map(str, digit_tuple)).lstrip("0").rstrip("0")
    if len(body) > 16:
        raise ValueError("more than 16 significant digits: %s" % value)
    minus = "-" if sign else ""
    if exp == 0:
        return minus + body[0] + "." + body[1:]
    if exp == -1:
        return minus + "." + body
    return "%s%s.%se%s%02d" % (minus, body[0], body[1:],
                               "-" if exp < 0 else "+", abs(exp))


def token(v):
    """A coefficient token: literal strings stay as they are."""
    return v if isinstance(v, str) else fmt(v)


# ---------------------------------------------------------------------------
# Filter representation and text
# ---------------------------------------------------------------------------
# A filter is (K, [(numerator, denominator), ...]); every coefficient is a
# float or a literal string token.

def render(filt):
    k, sections = filt
    lines = ["K = " + token(k)]
    for i, (num, den) in enumerate(sections, 1):
        lines.append("")
        lines.append("Term %d:" % i)
        lines.append(", ".join(token(v) for v in num))
        lines.append(", ".join(token(v) for v in den))
    # CR LF after every line, the last one included, and nothing after it.
    return "".join(line + "\r\n" for line in lines)


def parse(text):
    """Read a coefficient text back into (K, [(num, den), ...]) of floats.

    Deliberately simple: it accepts only the strict shape this script
    writes, so any drift of the printed format shows up as an error.
    """
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if not lines or not lines[0].startswith("K = "):
        raise ValueError("text does not start with a gain line")
    k = float(lines[0][4:])
    sections = []
    i = 1
    while i < len(lines):
        if lines[i] != "":
            raise ValueError("expected blank line at line %d" % (i + 1))
        if i + 3 >= len(lines):
            raise ValueError("incomplete term at line %d" % (i + 2))
        if lines[i + 1] != "Term %d:" % (len(sections) + 1):
            raise ValueError("bad term header at line %d" % (i + 2))
        num = [float(v) for v in lines[i + 2].split(",")]
        den = [float(v) for v in lines[i + 3].split(",")]
        if len(num) != len(den) or len(num) not in (2, 3):
            raise ValueError("bad coefficient lines at line %d" % (i + 3))
        sections.append((num, den))
        i += 4
    return k, sections


def numeric(filt):
    k, sections = filt
    return (float(k), [([float(v) for v in num], [float(v) for v in den])
                       for num, den in sections])


def values(filt):
    """Flat list of (label, value) of every coefficient that is not 1."""
    k, sections = numeric(filt)
    out = [("K", k)]
    for i, (num, den) in enumerate(sections, 1):
        for j, v in enumerate(num[1:], 1):
            out.append(("Term %d b%d" % (i, j), v))
        for j, v in enumerate(den[1:], 1):
            out.append(("Term %d a%d" % (i, j), v))
    return out


def response(filt, f, fs):
    """|H| at frequency f (Hz) of a filter at rate fs."""
    k, sections = numeric(filt)
    zi = cmath.exp(-2j * math.pi * f / fs)  # z^-1 on the unit circle
    h = complex(k)
    for num, den in sections:
        n = sum(c * zi ** p for p, c in enumerate(num))
        d = sum(c * zi ** p for p, c in enumerate(den))
        h *= n / d
    return abs(h)


def pole_radii(filt):
    """Moduli of the poles of every section (roots of its denominator)."""
    radii = []
    for _num, den in numeric(filt)[1]:
        if len(den) == 2:
            radii.append(abs(-den[1] / den[0]))
        else:
            a0, a1, a2 = den
            disc = cmath.sqrt(a1 * a1 - 4 * a0 * a2)
            radii.append(abs((-a1 + disc) / (2 * a0)))
            radii.append(abs((-a1 - disc) / (2 * a0)))
    return radii


# ---------------------------------------------------------------------------
# Designs
# ---------------------------------------------------------------------------

def prewarp(f, fs):
    return math.tan(math.pi * f / fs)


def butter_lp_hp(kind, f, fs):
    """Third-order Butterworth low- or high-pass, bilinear with prewarping."""
    w = prewarp(f, fs)
    d = 1.0 + w + w * w
    den1 = ["1", -(1.0 - w) / (1.0 + w)]
    den2 = ["1", (2.0 * w * w - 2.0) / d, (1.0 - w + w * w) / d]
    # K is the product of the two terms' own gains; written this way it
    # lands on the published K_hp_4 bit for bit.
    if kind == "LP":
        k = (w / (1.0 + w)) * (w * w / d)
        return k, [(["1", "1"], den1), (["1", "2.", "1"], den2)]
    k = (1.0 / (1.0 + w)) * (1.0 / d)
    return k, [(["1", "-1"], den1), (["1", "-2.", "1"], den2)]


def band_quadratics(bandwidth, w0sq, stop):
    """Analog second-order denominators s^2 + b s + c of a third-order
    Butterworth band design, in catalogue order.

    The real prototype pole -1 gives s^2 + B s + W0^2 for both band-pass and
    band-stop.  The prototype pole p = exp(j 2pi/3) (with its conjugate)
    gives the roots of s^2 - q s + W0^2, q = p B (band-pass) or B / p
    (band-stop); each root paired with its conjugate is one section.
    """
    quads = [(bandwidth, w0sq)]
    p = complex(-0.5, math.sqrt(3.0) / 2.0)
    q = bandwidth / p if stop else p * bandwidth
    disc = cmath.sqrt(q * q - 4.0 * w0sq)
    roots = sorted(((q + disc) / 2.0, (q - disc) / 2.0), key=abs)
    for s in roots:
        quads.append((-2.0 * s.real, s.real * s.real + s.imag * s.imag))
    return quads


def bilinear_den(b, c):
    """Digital denominator of s^2 + b s + c under s = (1-z^-1)/(1+z^-1),
    normalised to a leading 1, and the normaliser 1 + b + c."""
    d = 1.0 + b + c
    return [(2.0 * c - 2.0) / d, (1.0 - b + c) / d], d


def butter_band(w1, w2, stop, w0sq=None):
    """Third-order Butterworth band-pass/band-stop between the analog
    (already prewarped) edges w1 < w2.  w0sq overrides W1*W2 when the
    centre is fixed on its own."""
    bandwidth = w2 - w1
    if w0sq is None:
        w0sq = w1 * w2
    sections = []
    gain = 1.0
    if stop:
        c = -2.0 * (1.0 - w0sq) / (1.0 + w0sq)
        for b, cc in band_quadratics(bandwidth, w0sq, stop):
            (a1, a2), _d = bilinear_den(b, cc)
            sections.append((["1", c, "1"], ["1", a1, a2]))
            # gain 1 at 0 Hz: divide out each term's value at z = 1
            gain *= (1.0 + a1 + a2) / (2.0 + c)
    else:
        for b, cc in band_quadratics(bandwidth, w0sq, stop):
            (a1, a2), d = bilinear_den(b, cc)
            sections.append((["1", "0", "-1"], ["1", a1, a2]))
            # B s / (s^2 + b s + c) is exactly 1 at the centre for a
            # Butterworth band-pass; bilinear, its numerator is B(1 - z^-2)/d.
            gain *= bandwidth / d
    return gain, sections


def band_design(kind, freq, rate):
    if kind == "BP":
        f1, f2 = BP_EDGES[freq]
    else:
        f1, f2 = bs_edges(freq, rate)
    return butter_band(prewarp(f1, rate), prewarp(f2, rate), kind == "BS")


def bs_60_125_design():
    """BS_60_125 asks for 55-65 Hz at 125 Hz, past the Nyquist frequency, so
    tan() cannot prewarp the upper edge.  The published file is the band-stop
    built from the unwarped edges W = pi f / fs instead; it stops around
    39.1 Hz (-3 dB from about 37.6 to 40.6 Hz)."""
    return butter_band(math.pi * 55.0 / 125.0, math.pi * 65.0 / 125.0, True)


def bs_100_250_design(published):
    """BS_100_250 is centred exactly on 100 Hz (W0 = tan(0.4 pi), numerator
    c = 2 cos(pi/5)), but its bandwidth follows none of the edge rules.
    Recover the prewarped bandwidth B from the published Term 1, whose
    denominator is exactly (W0^2 + 1 - B)/(W0^2 + 1 + B) in a2, then take the
    B among its few nearest doubles that fits all published values best."""
    w0sq = prewarp(100.0, 250.0) ** 2
    a2 = float(published[1][0][1][2])
    b0 = (1.0 + w0sq) * (1.0 - a2) / (1.0 + a2)
    want = [v for _l, v in values(published)]
    best = None
    for step in range(-64, 65):
        bandwidth = b0 * (1.0 + step * 2.0 ** -53)
        w1 = (-bandwidth + math.sqrt(bandwidth * bandwidth + 4.0 * w0sq)) / 2.0
        filt = butter_band(w1, w1 + bandwidth, True, w0sq)
        got = [v for _l, v in values(filt)]
        err = max(abs(g - w) / abs(w) for g, w in zip(got, want))
        if best is None or err < best[0]:
            best = (err, bandwidth, w1, filt)
    _err, bandwidth, w1, filt = best
    edges = (math.atan(w1) * 250.0 / math.pi,
             math.atan(w1 + bandwidth) * 250.0 / math.pi)
    return filt, bandwidth, edges


# ---------------------------------------------------------------------------
# Published texts
# ---------------------------------------------------------------------------

def text_filter(text):
    """A filter whose coefficients are kept as the literal strings of a
    published text (so they print back unchanged)."""
    lines = [ln.strip() for ln in text.strip().splitlines()]
    k = lines[0][4:]
    sections = []
    for i, ln in enumerate(lines):
        if ln.startswith("Term "):
            num = [v.strip() for v in lines[i + 1].split(",")]
            den = [v.strip() for v in lines[i + 2].split(",")]
            sections.append((num, den))
    return k, sections


# Built-in coefficient texts of the library (same values, LF ends there).
K_LP_30 = """
K = 2.863530017091789e-02

Term 1:
1, 1
1, -.432738642247426

Term 2:
1, 2., 1
1, -1.086169992415511, .4900092425892617
"""

K_HP_4 = """
K = .9043187344847895

Term 1:
1, -1
1, -.9042035937390208

Term 2:
1, -2., 1
1, -1.894818420934282, .9044338752305583
"""

K_BS_62 = """
K = .7181611191112476

Term 1:
1, 0, 1
1, -8.749745930743569e-02, .7904680311187496

Term 2:
1, 0, 1
1, -.2226137422507769, .9085264869628359

Term 3:
1, 0, 1
1, 8.749745930743535e-02, .7904680311187496

Term 4:
1, 0, 1
1, .2226137422507766, .9085264869628359
"""

# The other built-in texts; used only to prove the number printer.
K_OTHERS = """
K = .7187168060459113
1, -.6180339887498949, 1
1, -.6362664997340413, .79387944010353
1, -.7946350197100292, .9120234632540067
1, -.4682186810673564, .7879440587968587
1, -.3697762568291702, .905440002856472
K = .8483199451884242
1, -.1255810390586269, 1
1, -.1641550371654011, .8902373199109685
1, -.2355097048812527, .9532507956706395
1, -7.307243266028923e-02, .8899218207338772
1, -8.95176032919359e-03, .9529157988730944
K = .8347960711381394
1, -.8000268966243025
1, -1.840584075799529, .8695652456519763
"""

# Catalogue files whose texts were published before this script; they are
# written exactly as published.
PUBLISHED_TEXTS = {
    "LP_30_250": K_LP_30,
    "HP_0p5_250": """
K = .9875121748695907

Term 1:
1, -1
1, -.9875119299073143

Term 2:
1, -2., 1
1, -1.987355494206334, .9875124198318671
""",
    "BP_11_500": """
K = 4.975743576868641e-05

Term 1:
1, 0, -1
1, -1.910281307110229, .9273077683310032

Term 2:
1, 0, -1
1, -1.961075438681094, .9717402771010988

Term 3:
1, 0, -1
1, -1.926208276250695, .9543777334919031
""",
    "BS_100_250": """
K = .8806304510921554

Term 1:
1, 1.618033988749895, 1
1, 1.521278700705122, .8804038867940874

Term 2:
1, 1.618033988749895, 1
1, 1.497139971073089, .9340476439667888

Term 3:
1, 1.618033988749895, 1
1, 1.630278415852583, .9430536237416422
""",
    "BS_60_125": """
K = .857166232744409

Term 1:
1, .7723152749614289, 1
1, .7170069996356557, .85677280478873

Term 2:
1, .7723152749614289, 1
1, .6212349920706185, .9240590594695312

Term 3:
1, .7723152749614289, 1
1, .8599053026032023, .9280355534768329
""",
    # The 62.5 Hz band-stop is the engine's own four-term K_bs_62.
    "BS_62p5_250": K_BS_62,
}

PUBLISHED = {name: text_filter(text)
             for name, text in PUBLISHED_TEXTS.items()}


# ---------------------------------------------------------------------------
# Catalogue generation
# ---------------------------------------------------------------------------

def design(name):
    """The designed filter of a catalogue name, before any published pin."""
    kind, freq, rate = split_name(name)
    if kind in ("LP", "HP"):
        return butter_lp_hp(kind, float(freq.replace("p", ".")), rate)
    if name == "BS_60_125":
        return bs_60_125_design()
    if name == "BS_100_250":
        return bs_100_250_design(PUBLISHED[name])[0]
    if name == "BS_62p5_250":
        return PUBLISHED[name]
    return band_design(kind, freq, rate)


def catalogue():
    """name -> file text for all 151 entries."""
    texts = {}
    for name in catalogue_names():
        filt = PUBLISHED[name] if name in PUBLISHED else design(name)
        texts[name] = render(filt)
    return texts


def write_all():
    texts = catalogue()
    os.makedirs(RESOURCE_DIR, exist_ok=True)
    for name, text in texts.items():
        with open(os.path.join(RESOURCE_DIR, name + ".dat"), "wb") as fh:
            fh.write(text.encode("ascii"))
    print("wrote %d files to %s" % (len(texts), RESOURCE_DIR))
    return 0


# ---------------------------------------------------------------------------
# --check
# ---------------------------------------------------------------------------

# A reproduced published value may differ from the printed one by the
# rounding of 16 significant digits plus a few ulps of arithmetic.
REPRO_TOL = 1e-15
# Frequency responses are measured on the printed (rounded) coefficients;
# filters with W ~ 3e-4 lose about 1e-9 there.
RESP_TOL = 1e-6


class Checker:
    def __init__(self):
        self.failures = []

    def fail(self, msg):
        self.failures.append(msg)
        print("FAIL: " + msg)


def printed(filt):
    """The printed tokens of a filter, in the order of values()."""
    k, sections = filt
    out = [token(k)]
    for num, den in sections:
        out += [token(v) for v in num[1:]] + [token(v) for v in den[1:]]
    return out


def compare(chk, title, designed, given):
    """Print the largest relative difference between two filters' values
    and how many of the designed values print exactly as given."""
    dv, gv = values(designed), values(given)
    if [l for l, _ in dv] != [l for l, _ in gv]:
        chk.fail("%s: designed and given filters differ in shape" % title)
        return None
    same = sum(d == g for d, g in zip(printed(designed), printed(given)))
    worst = max(((abs(d - g) / abs(g) if g else abs(d)), i)
                for i, ((_l, d), (_m, g)) in enumerate(zip(dv, gv)))
    rel, i = worst
    print("%s:" % title)
    if rel == 0.0:
        print("    all %d values identical" % len(dv))
    else:
        print("    max rel diff %.2e at %s (designed %s, given %s); "
              "%d of %d values print identically"
              % (rel, dv[i][0], printed(designed)[i], printed(given)[i],
                 same, len(dv)))
    if rel > REPRO_TOL:
        chk.fail("%s not reproduced: %.2e > %.0e" % (title, rel, REPRO_TOL))
    return rel


# Values whose correctly rounded 16-digit form is known independently
# (exact binary value in the comment where it decides the last digit).
PRINTER_CASES = [
    (2.0 / 3.0, ".6666666666666666"),            # .66666666666666662966
    (-1.0 / 30.0, "-3.333333333333333e-02"),
    (10.0 / 7.0, "1.428571428571429"),           # 1.42857142857142860315
    (0.1, ".1"),
    (-0.25, "-.25"),
    (0.09999999999999999, "9.999999999999999e-02"),
    (12.5, "1.25e+01"),
    (1e-14, "1.e-14"),   # 9.99999999999999998819e-15: rounding carries
    (4.975743576868641e-05, "4.975743576868641e-05"),
    (1e-300, "1.e-300"),
]


def check_printer_cases(chk):
    bad = 0
    for x, want in PRINTER_CASES:
        if fmt(x) != want:
            bad += 1
            chk.fail("printer gives %s for %r, want %s" % (fmt(x), x, want))
    print("printer: %d of %d hand-checked values correct"
          % (len(PRINTER_CASES) - bad, len(PRINTER_CASES)))


def check_layout(chk):
    """The writer lays the published texts out again character for
    character (CR LF, no blank line after the last term)."""
    sources = [K_LP_30, K_HP_4, K_BS_62] + list(PUBLISHED_TEXTS.values())
    for src in sources:
        want = "".join(ln + "\r\n" for ln in src.strip("\n").split("\n"))
        got = render(text_filter(src))
        if got != want:
            chk.fail("writer does not reproduce the published layout of:%s"
                     % src)
    print("writer: %d published texts laid out again character for "
          "character" % len(sources))


def check_formatter(chk):
    """Every number of the published texts must come back from the layout
    character for character, and through a double to within one unit of
    its last digit."""
    literals = {"1", "-1", "0", "2.", "-2."}
    sources = [K_LP_30, K_HP_4, K_BS_62, K_OTHERS]
    sources += [render(f) for f in PUBLISHED.values()]
    seen = set()
    for src in sources:
        for line in src.splitlines():
            line = line.strip()
            if line.startswith("K = "):
                parts = [line[4:]]
            elif "," in line:
                parts = line.split(",")
            else:
                continue                    # blank line or term header
            seen.update(p.strip() for p in parts
                        if p.strip() not in literals)
    bad = [s for s in sorted(seen) if style(decimal.Decimal(s)) != s]
    for s in bad:
        chk.fail("layout gives %s for published %s"
                 % (style(decimal.Decimal(s)), s))
    print("printer: %d of %d distinct published numbers laid out "
          "identically" % (len(seen) - len(bad), len(seen)))
    # Round trip through a double.  Some published strings lie between two
    # doubles' 16-digit roundings (they were printed from a more precise
    # value); those come back one unit away in the last digit, never more.
    off = []
    for s in sorted(seen):
        got = fmt(float(s))
        if got != s:
            unit = decimal.Decimal(1).scaleb(decimal.Decimal(s).adjusted() - 15)
            steps = abs(decimal.Decimal(got) - decimal.Decimal(s)) / unit
            if steps > 1:
                chk.fail("printer gives %s for published %s" % (got, s))
            off.append("%s->%s" % (s, got))
    print("printer: %d of %d come back through a double unchanged; "
          "one unit off: %s" % (len(seen) - len(off), len(seen),
                                ", ".join(off) or "none"))


def check_published(chk):
    print("-- designed vs published values")
    compare(chk, "LP_30_250 vs catalogue table",
            design("LP_30_250"), PUBLISHED["LP_30_250"])
    compare(chk, "LP_30_250 vs K_lp_30",
            design("LP_30_250"), text_filter(K_LP_30))
    compare(chk, "HP_0p5_250 vs published example",
            design("HP_0p5_250"), PUBLISHED["HP_0p5_250"])
    compare(chk, "HP_4_250 vs K_hp_4",
            design("HP_4_250"), text_filter(K_HP_4))
    compare(chk, "BP_11_500 vs published example",
            design("BP_11_500"), PUBLISHED["BP_11_500"])
    filt, bandwidth, edges = bs_100_250_design(PUBLISHED["BS_100_250"])
    print("BS_100_250: centre 100 Hz, fitted prewarped bandwidth B = %r,"
          % bandwidth)
    print("            i.e. -3 dB edges %.6f and %.6f Hz" % edges)
    compare(chk, "BS_100_250 vs published table", filt,
            PUBLISHED["BS_100_250"])
    compare(chk, "BS_60_125 (unwarped 55-65 Hz) vs published",
            bs_60_125_design(), PUBLISHED["BS_60_125"])
    try:
        written = parse(render(PUBLISHED["BS_62p5_250"]))
    except ValueError as exc:
        chk.fail("BS_62p5_250: %s" % exc)
    else:
        compare(chk, "BS_62p5_250 vs K_bs_62", written, text_filter(K_BS_62))


def check_disk(chk, texts):
    print("-- files on disk")
    if not os.path.isdir(RESOURCE_DIR):
        chk.fail("missing directory %s" % RESOURCE_DIR)
        return
    on_disk = sorted(os.listdir(RESOURCE_DIR))
    expected = sorted(n + ".dat" for n in texts)
    extra = sorted(set(on_disk) - set(expected))
    missing = sorted(set(expected) - set(on_disk))
    for n in extra:
        chk.fail("file not in the catalogue: %s" % n)
    for n in missing:
        chk.fail("missing catalogue file: %s" % n)
    differ = 0
    for name, text in texts.items():
        path = os.path.join(RESOURCE_DIR, name + ".dat")
        if not os.path.exists(path):
            continue
        with open(path, "rb") as fh:
            data = fh.read()
        if data != text.encode("ascii"):
            differ += 1
            chk.fail("%s.dat differs from its design" % name)
    print("%d files on disk, %d expected, %d differ from the regenerated "
          "texts" % (len(on_disk), len(expected), differ))


def check_texts(chk, texts):
    """Shape, line ends, stability and frequency response of every text."""
    print("-- every catalogue text")
    if len(texts) != CATALOGUE_SIZE:
        chk.fail("catalogue has %d entries, not %d"
                 % (len(texts), CATALOGUE_SIZE))
    worst_pole = (0.0, "")
    worst_resp = (0.0, "")
    for name, text in sorted(texts.items()):
        kind, freq, rate = split_name(name)
        raw = text.encode("ascii")
        if not raw.startswith(b"K = "):
            chk.fail("%s does not start with 'K = '" % name)
        if not raw.endswith(b"\r\n") or raw.endswith(b"\r\n\r\n"):
            chk.fail("%s does not end right after its last line" % name)
        if raw.count(b"\n") != raw.count(b"\r\n") or \
                raw.count(b"\r") != raw.count(b"\r\n"):
            chk.fail("%s has a line end other than CR LF" % name)
        try:
            filt = parse(text)
        except ValueError as exc:
            chk.fail("%s: %s" % (name, exc))
            continue
        orders = [len(den) - 1 for _n, den in filt[1]]
        want = {"LP": [1, 2], "HP": [1, 2]}.get(
            kind, [2, 2, 2, 2] if name == "BS_62p5_250" else [2, 2, 2])
        if orders != want:
            chk.fail("%s has sections of order %s" % (name, orders))
        if any(num[0] != 1.0 or den[0] != 1.0 for num, den in filt[1]):
            chk.fail("%s has a leading coefficient other than 1" % name)
        radius = max(pole_radii(filt))
        if not radius < 1.0:
            chk.fail("%s has a pole on or outside the unit circle (%r)"
                     % (name, radius))
        worst_pole = max(worst_pole, (radius, name))
        for what, f, want_gain in response_points(name):
            got = response(filt, f, rate)
            err = abs(got - want_gain)
            worst_resp = max(worst_resp, (err, name))
            if err > RESP_TOL:
                chk.fail("%s: |H| at %s (%.6g Hz) is %.12g, want %.12g"
                         % (name, what, f, got, want_gain))
    print("largest pole radius %.15f (%s); all poles inside the unit circle"
          % worst_pole if worst_pole[0] < 1.0 else
          "largest pole radius %r (%s)" % worst_pole)
    print("largest deviation of |H| at the design points %.1e (%s)"
          % worst_resp)
    # The name promises the stop-band centre; only BS_60_125 (see
    # bs_60_125_design) may miss it.
    worst_centre = (0.0, "")
    for name in texts:
        kind, freq, rate = split_name(name)
        if kind != "BS" or name == "BS_60_125":
            continue
        centre = [f for what, f, _g in response_points(name)
                  if what in ("centre", "notch")][0]
        off = abs(centre - float(freq.replace("p", ".")))
        worst_centre = max(worst_centre, (off, name))
        if off > 1.0:
            chk.fail("%s stops at %.3f Hz" % (name, centre))
    print("band-stop centres within %.3f Hz of their names (worst %s)"
          % worst_centre)


def response_points(name):
    """(what, frequency, expected |H|) for the designed behaviour of a file.

    The -3 dB points are where the prewarped design puts them: the digital
    frequency whose W equals the analog edge."""
    kind, freq, rate = split_name(name)
    half = math.sqrt(0.5)

    def digital(w):
        return math.atan(w) * rate / math.pi

    if kind in ("LP", "HP"):
        f = float(freq.replace("p", "."))
        end = 0.0 if kind == "LP" else rate / 2.0
        return [("pass band", end, 1.0), ("cut-off", f, half)]
    if name == "BS_62p5_250":
        return [("notch", 62.5, 0.0)]
    if name == "BS_60_125":
        w1, w2 = math.pi * 55.0 / 125.0, math.pi * 65.0 / 125.0
    elif name == "BS_100_250":
        _f, bandwidth, edges = bs_100_250_design(PUBLISHED[name])
        w1, w2 = prewarp(edges[0], rate), prewarp(edges[1], rate)
    else:
        f1, f2 = BP_EDGES[freq] if kind == "BP" else bs_edges(freq, rate)
        w1, w2 = prewarp(f1, rate), prewarp(f2, rate)
    centre = digital(math.sqrt(w1 * w2))
    pts = [("lower edge", digital(w1), half), ("upper edge", digital(w2), half)]
    if kind == "BP":
        pts += [("centre", centre, 1.0), ("0 Hz", 0.0, 0.0),
                ("Nyquist", rate / 2.0, 0.0)]
    else:
        pts += [("centre", centre, 0.0), ("0 Hz", 0.0, 1.0),
                ("Nyquist", rate / 2.0, 1.0)]
    return pts


def check():
    chk = Checker()
    check_printer_cases(chk)
    check_formatter(chk)
    check_layout(chk)
    check_published(chk)
    texts = catalogue()
    check_texts(chk, texts)
    check_disk(chk, texts)
    if chk.failures:
        print("check FAILED (%d problems)" % len(chk.failures))
        return 1
    print("check passed")
    return 0


def main(argv):
    if argv == ["--check"]:
        return check()
    if argv:
        print(__doc__.split("Usage:")[1].rstrip(), file=sys.stderr)
        return 2
    return write_all()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
