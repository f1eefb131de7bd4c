#!/usr/bin/env python3
"""Build the thread-palette resources from the vendor charts.

For every palette P this writes
  <out>/P.clr/P.clr          the colour file: a header line, then one line per
                             colour "INDEX R G B 1.0 KEY" (components as
                             fractions of 255)
  <out>/en.lproj/P.strings   the English names: "KEY" = "Name"; per key, plus
                             "P" = "Title"; for the palette title

Sources (default ../shared/palettes-src relative to the repository root):
GIMP palettes (.gpl) and the two machine charts (brother-chart.tsv,
janome-chart.tsv). After writing, every colour file is read back with the
same rules the application's colour-list reader follows and checked against
what was converted.

Run from the repository root:  python3 scripts/convert_palettes.py
Standard library only.
"""

import argparse
import os
import re
import struct
import sys
from collections import Counter

# Palette name -> (source file, palette title shown to the user).
GIMP_PALETTES = [
    ("Sulky Rayon", "InkStitch Sulky Rayon.gpl"),
    ("Robison-Anton Poly", "InkStitch Robison-Anton Polyester.gpl"),
    ("Poly-X40 Polyester", "Poly X40.gpl"),
    ("Marathon Rayon", "Marathon Rayon.gpl"),
    ("Madeira Rayon", "InkStitch Madeira Rayon.gpl"),
    ("Madeira Polyneon", "InkStitch Madeira Polyneon.gpl"),
    ("Fufu Rayon", "FuFu Rayon.gpl"),
    ("Floriani Polyester", "Floriani Polyester.gpl"),
    ("Coats Trilobal", "Coats Sylko.gpl"),
    ("Coats Rayon", "Coats Alcazar.gpl"),
    ("Brother Country", "InkStitch Brother Country.gpl"),
    ("Ackermann Isacord", "InkStitch Isacord Polyester.gpl"),
    ("WonderFil Splendor", "InkStitch Wonderfil Rayon.gpl"),
    ("Pfaff", "Robison-Anton Rayon.gpl"),
]

CHART_PALETTES = [
    ("Brother", "brother-chart.tsv"),
    ("Janome", "janome-chart.tsv"),
]

# Fixed chart for formats that carry no colours: keys "1" to "20".
UNDEFINED = [
    ("Black", 0, 0, 0),
    ("Red", 230, 25, 35),
    ("Blue", 20, 60, 200),
    ("Green", 30, 150, 50),
    ("Yellow", 255, 225, 25),
    ("Orange", 245, 130, 30),
    ("Purple", 120, 40, 160),
    ("Sky Blue", 100, 190, 240),
    ("Pink", 245, 140, 185),
    ("Brown", 130, 80, 35),
    ("Dark Green", 10, 85, 40),
    ("Magenta", 215, 25, 150),
    ("Teal", 0, 128, 128),
    ("Navy Blue", 20, 30, 105),
    ("Lime Green", 165, 220, 45),
    ("Grey", 128, 128, 128),
    ("Maroon", 128, 0, 35),
    ("Beige", 230, 210, 165),
    ("Lavender", 180, 155, 225),
    ("Olive", 128, 128, 0),
]

# The machine colour-index tables of the Brother and Janome readers/writers;
# every code they name should be a key of the matching chart.
JANOME_CODES = [  # index 0..78
    "x9", "002", "001", "204", "203", "219", "226", "217", "208", "201",
    "225", "214", "207", "003", "205", "209", "210", "211", "212", "213",
    "215", "216", "218", "220", "221", "227", "228", "229", "230", "231",
    "232", "233", "234", "235", "236", "237", "238", "239", "240", "241",
    "242", "243", "244", "245", "246", "247", "248", "249", "250", "251",
    "252", "253", "254", "255", "256", "257", "258", "259", "260", "261",
    "262", "263", "264", "265", "266", "267", "268", "269", "270", "271",
    "272", "273", "274", "275", "202", "206", "222", "223", "224",
]
BROTHER_CODES = [  # index 1..64
    "007", "405", "534", "070", "800", "337", "620", "810", "612", "502",
    "214", "208", "205", "513", "328", "005", "330", "010", "704", "900",
    "406", "869", "707", "058", "086", "323", "079", "030", "001", "613",
    "542", "019", "126", "812", "348", "339", "509", "415", "817", "399",
    "517", "307", "085", "808", "804", "607", "843", "807", "333", "519",
    "107", "209", "017", "507", "614", "515", "124", "206", "420", "202",
    "027", "x9", "x8", "x7",
]
BROTHER_READ_EXTRA = {66: "007", 67: "405", 69: "515", 71: "513",
                      75: "058", 79: "019", 92: "086"}

MACHINE_TABLES = [
    ("janomeColorCodes", "Janome", dict(enumerate(JANOME_CODES))),
    ("brotherColorCodes", "Brother",
     {i + 1: c for i, c in enumerate(BROTHER_CODES)}),
    ("brotherReadColorCodes", "Brother",
     {**BROTHER_READ_EXTRA, **{i + 1: c for i, c in enumerate(BROTHER_CODES)}}),
]

# Characters that separate items in a colour file; a key must not hold one.
SEPARATORS = "\n\r\t ,"
SEPARATOR_RUN = re.compile(r"[\n\r\t ,]+")
DECIMAL = re.compile(r"[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?\Z")
INTEGER = re.compile(r"[+-]?\d+\Z")
# Names that stand for "no name" in the vendor data.
PLACEHOLDER_NAMES = {"N / A", "N/A"}


class Palette:
    def __init__(self, name, source):
        self.name = name
        self.source = source
        self.entries = []   # (key, name, r, g, b) in source order
        self.lines = []     # source line number of each entry
        self.dropped = []   # (line number, reason, text)
        self.notes = []     # remarks on kept lines (trimmed names, ...)

    def add(self, lineno, key, name, rgb, text):
        if not key or any(c in SEPARATORS for c in key):
            self.dropped.append((lineno, "key %r holds a separator" % key, text))
            return
        if any(not 0 <= v <= 255 for v in rgb):
            self.dropped.append((lineno, "component outside 0..255", text))
            return
        if name in PLACEHOLDER_NAMES:
            self.notes.append("line %d: name %r replaced by the key %s"
                              % (lineno, name, key))
            name = ""
        if not name:
            name = key
        self.entries.append((key, name) + tuple(rgb))
        self.lines.append(lineno)

    def duplicates(self):
        counts = Counter(e[0] for e in self.entries)
        return [k for k, n in counts.items() if n > 1]


# ---------------------------------------------------------------- readers

def read_gimp(palette, path):
    """GIMP palette: header lines, '#' comments, colour lines "R G B name number".

    The number (the key) is the last word; a line whose last word holds no
    digit has no number and takes its position among the colour lines.
    Number-first layouts ("R G B number name" with a tab between) and tab
    separated names are recognised too.
    """
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    colour_re = re.compile(r"\s*(-?\d+)[\s,]+(-?\d+)[\s,]+(-?\d+)(?:[\t ]+(.*?))?\s*\Z")
    position = 0
    parsed = []  # (lineno, position, rest, raw_rest, text)
    for lineno, text in enumerate(lines, 1):
        stripped = text.strip()
        if not stripped or stripped.startswith("#"):
            continue
        if lineno == 1 and stripped == "GIMP Palette":
            continue
        if re.match(r"(Name|Columns)\s*:", stripped):
            continue
        m = colour_re.match(text)
        if not m:
            palette.dropped.append((lineno, "not a colour line", text))
            continue
        position += 1
        rgb = [int(m.group(i)) for i in (1, 2, 3)]
        rest = m.group(4) or ""
        parsed.append((lineno, position, rgb, rest, text))

    # Aligned files right-justify the name in a fixed column; a name that
    # ends before the column most lines of the same width use carried
    # trailing blanks in the source.
    splits = [split_name_and_key(rest) for _l, _p, _c, rest, _t in parsed]
    ends = Counter((end, len(rest)) for (key, name, end), (_l, _p, _c, rest, _t)
                   in zip(splits, parsed) if key and name)
    usual = {}
    for (end, width), _n in ends.most_common():
        usual.setdefault(width, end)

    for (lineno, position, rgb, rest, text), (key, name, end) in zip(parsed, splits):
        if key is None:
            key = str(position)
            palette.notes.append("line %d: no number, key %s from its position"
                                 % (lineno, key))
        if name and end < usual.get(len(rest), end):
            palette.notes.append("line %d: trailing blank trimmed from name %r"
                                 % (lineno, name + " " * (usual[len(rest)] - end)))
        palette.add(lineno, key, name, rgb, text)


def split_name_and_key(rest):
    """Split the text after R G B into (key, name, end of name in rest).

    Returns key None when the line carries no number."""
    body = rest.rstrip()
    if not body:
        return None, "", 0
    if "\t" in body.strip():
        # Tab separated columns: "name<TAB>number" or "number<TAB>name".
        fields = [x.strip() for x in body.strip().split("\t") if x.strip()]
        if len(fields) >= 2:
            if has_digit(fields[-1]):
                name = " ".join(fields[:-1])
                return fields[-1], name, body.rfind(fields[-1])
            if has_digit(fields[0]) and " " not in fields[0]:
                return fields[0], " ".join(fields[1:]), len(body)
    words = body.split()
    last = words[-1]
    if not has_digit(last):
        return None, body.strip(), len(body)
    if len(words) == 1:
        return last, "", 0
    head = body[:body.rfind(last)].rstrip()
    return last, head.strip(), len(head)


def has_digit(s):
    return any(c.isdigit() for c in s)


def read_chart(palette, path):
    """Machine chart, tab separated: index, code, name, red, green, blue."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    header = lines[0].rstrip("\r").split("\t")
    col = {h.strip().lower(): i for i, h in enumerate(header)}
    for need in ("code", "name", "red", "green", "blue"):
        if need not in col:
            sys.exit("%s: no column %r" % (path, need))
    palette.chart_index = {}
    for lineno, text in enumerate(lines[1:], 2):
        line = text.rstrip("\r")
        if not line.strip():
            continue
        fields = line.split("\t")
        fields += [""] * (len(header) - len(fields))
        key = fields[col["code"]]
        raw_name = fields[col["name"]]
        try:
            rgb = [int(fields[col[c]]) for c in ("red", "green", "blue")]
        except ValueError:
            palette.dropped.append((lineno, "code %s has no colour" % key, text))
            continue
        name = raw_name.strip()
        if name != raw_name:
            palette.notes.append("line %d: blanks trimmed from name %r" % (lineno, raw_name))
        if "index" in col:
            palette.chart_index[key] = fields[col["index"]]
        palette.add(lineno, key, name, rgb, text)


# ---------------------------------------------------------------- writers

def fraction(v):
    # repr gives the shortest text that reads back as the same double, so it
    # also reads back as the nearest single-precision value.
    return repr(v / 255)


def write_clr(palette, out):
    d = os.path.join(out, palette.name + ".clr")
    os.makedirs(d, exist_ok=True)
    path = os.path.join(d, palette.name + ".clr")
    lines = ["# Vardelle thread chart: %s" % palette.name]
    for i, (key, _name, r, g, b) in enumerate(palette.entries, 1):
        lines.append("%d %s %s %s 1.0 %s" % (i, fraction(r), fraction(g), fraction(b), key))
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    return path


def strings_quote(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_strings(palette, title, out):
    d = os.path.join(out, "en.lproj")
    os.makedirs(d, exist_ok=True)
    path = os.path.join(d, palette.name + ".strings")
    # One line per key; for a repeated key the later name wins, as the
    # later colour does in the colour file.
    names = {}
    for key, name, *_ in palette.entries:
        names[key] = name
    lines = ["%s = %s;" % (strings_quote(palette.name), strings_quote(title))]
    for key, name in names.items():
        lines.append("%s = %s;" % (strings_quote(key), strings_quote(name)))
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    return path


# ---------------------------------------------------------------- checks

def read_clr(path):
    """Read a colour file as the application does: first line ignored, six
    items per line separated by runs of LF CR TAB space comma; lines that do
    not give six items are skipped. Components are single precision."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    keys, colours = [], {}
    for line in lines[1:]:
        items = [x for x in SEPARATOR_RUN.split(line) if x]
        if len(items) < 6:
            continue
        index, r, g, b, alpha, key = items[:6]
        if not INTEGER.match(index):
            continue
        if not all(DECIMAL.match(x) for x in (r, g, b, alpha)):
            continue
        rgb = tuple(struct.unpack("f", struct.pack("f", float(x)))[0] for x in (r, g, b))
        keys.append(key)
        colours[key] = rgb
    return keys, colours


def read_strings(path):
    pattern = re.compile(r'"((?:[^"\\]|\\.)*)"\s*=\s*"((?:[^"\\]|\\.)*)"\s*;\s*\Z')
    table = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            if not line.strip():
                continue
            m = pattern.match(line.strip())
            assert m, "%s:%d: not a strings entry" % (path, n)
            unq = lambda s: re.sub(r"\\(.)", r"\1", s)
            table[unq(m.group(1))] = unq(m.group(2))
    return table


def verify(palette, title, clr_path, strings_path):
    keys, colours = read_clr(clr_path)
    want = [e[0] for e in palette.entries]
    assert len(keys) == len(want), "%s: read %d keys, converted %d" % (
        clr_path, len(keys), len(want))
    assert keys == want, "%s: keys read back differ" % clr_path
    last = {e[0]: e for e in palette.entries}
    for key, (_k, _n, r, g, b) in last.items():
        back = tuple(round(c * 255) for c in colours[key])
        assert back == (r, g, b), "%s: key %s reads back as %s, not %s" % (
            clr_path, key, back, (r, g, b))
    table = read_strings(strings_path)
    assert table.get(palette.name) == title, "%s: title missing" % strings_path
    for key, e in last.items():
        assert table.get(key) == e[1], "%s: name of %s reads back wrong" % (strings_path, key)


def machine_table_report(palettes):
    problems = []
    for table_name, chart, table in MACHINE_TABLES:
        p = palettes[chart]
        have = {e[0] for e in p.entries}
        for index in sorted(table):
            code = table[index]
            if code not in have:
                problems.append("%s: index %d code %r not in the %s chart"
                                % (table_name, index, code, chart))
            elif table_name != "brotherReadColorCodes":
                listed = getattr(p, "chart_index", {}).get(code)
                if listed is not None and listed != str(index):
                    problems.append("%s: code %r has index %d, chart lists %s"
                                    % (table_name, code, index, listed))
    return problems


# ---------------------------------------------------------------- main

def main(argv=None):
    here = os.getcwd()
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--src", default=os.path.join(here, "..", "shared", "palettes-src"),
                    help="folder of the source charts (default ../shared/palettes-src)")
    ap.add_argument("--out", default=os.path.join(here, "resources"),
                    help="resource folder to write (default resources)")
    args = ap.parse_args(argv)

    jobs = []
    for name, source in CHART_PALETTES:
        p = Palette(name, source)
        read_chart(p, os.path.join(args.src, source))
        jobs.append((p, name))
    for name, source in GIMP_PALETTES:
        p = Palette(name, source)
        read_gimp(p, os.path.join(args.src, source))
        jobs.append((p, name))
    undefined = Palette("Undefined", "(built in)")
    for i, (name, r, g, b) in enumerate(UNDEFINED, 1):
        undefined.add(0, str(i), name, (r, g, b), "")
    jobs.append((undefined, "Undefined"))

    for p, title in jobs:
        clr = write_clr(p, args.out)
        strings = write_strings(p, title, args.out)
        verify(p, title, clr, strings)

    rows = [(p.name, p.source, str(len(p.entries)), str(len(p.duplicates())),
             str(len(p.dropped))) for p, _ in jobs]
    head = ("palette", "source", "keys written", "duplicates", "dropped lines")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    fmt = "  ".join("%%-%ds" % w for w in widths)
    print(fmt % head)
    print(fmt % tuple("-" * w for w in widths))
    for r in rows:
        print(fmt % r)

    print()
    for p, _ in jobs:
        for key in p.duplicates():
            lines = [str(n) for e, n in zip(p.entries, p.lines) if e[0] == key]
            print("%s: key %s repeated (%s lines %s)"
                  % (p.name, key, p.source, ", ".join(lines)))
        for lineno, reason, text in sorted(p.dropped):
            print("%s: dropped %s line %d (%s): %r" % (p.name, p.source, lineno, reason, text))
        for note in p.notes:
            print("%s: %s" % (p.name, note))

    problems = machine_table_report({p.name: p for p, _ in jobs})
    print()
    if problems:
        print("Machine colour tables against the charts:")
        for line in problems:
            print("  " + line)
    else:
        print("Machine colour tables: every code is in its chart.")
    print("All colour files read back with the converted key counts.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
