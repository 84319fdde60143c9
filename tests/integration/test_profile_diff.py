"""This program's profile reader and writer against the real Windows functions.

profile-tool (Linux build: the program's own GetString/GetInt/WriteString on
the file's bytes) and profile-tool.exe under Wine (the real
GetPrivateProfileStringA, GetPrivateProfileIntA and WritePrivateProfileStringA)
answer the same questions on the same files: every fixture under
tests/data/profile, read with many section, key and size combinations, and a
set of writes whose resulting files are compared byte for byte.

The two must agree, except where Wine itself is known to differ from Windows
(KNOWN_DIFFERENCES below). Each of those is checked on its own: the Linux tool
must give what Windows gives, and Wine what Wine is known to give, so that a
change on either side shows up.

Environment: ZB_PROFILE_TOOL (the Linux profile-tool), ZB_WIN32_BUILD_DIR,
ZB_WIN64_BUILD_DIR and ZB_WINE_WORK (see wine_env.py). Needs no display.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_env  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
DATA = os.path.join(SOURCE_DIR, "tests", "data", "profile")
# The sample settings file as the Windows release ships it, in the build.
SAMPLE_INI = ("share", "windows", "zettelblick.ini")

BIG = 65536  # a read size no fixture value comes near
BLANKS = " \t\n\x0b\x0c\r\x1a"  # what every trim of the profile functions removes


def hex_arg(data):
    """A profile-tool argument for any bytes, safe in a batch file and a shell."""
    return "hex:" + data.hex()


def parse_string_result(output):
    """(count, bytes) from get-string's output."""
    count, _, text = output.rstrip(b"\n").partition(b"\t")
    return int(count), bytes.fromhex(text.decode())


# --- the fixtures' names ---------------------------------------------------------------


def entries(raw):
    """The (section, key, raw value) entries of a fixture, in file order, as a
    Windows-like reader sees them: sections by name, keys with '=' only, names
    trimmed and cut at a NUL. Files without a BOM are 8-bit; UTF-16LE files
    are decoded. Good enough to pick the names to ask for; the tools give the
    answers."""
    if raw.startswith(b"\xff\xfe"):
        text = raw[2:].decode("utf-16-le", "replace").encode("cp1252", "replace")
    else:
        text = raw
    section = None
    found = []
    for line in re.split(rb"[\r\n]+", text):
        line = line.strip(BLANKS.encode())
        if line.startswith(b"[") and b"]" in line[1:]:
            section = line[1:line.rindex(b"]")].strip(BLANKS.encode()).split(b"\0")[0]
        elif section is not None and b"=" in line:
            key, _, value = line.partition(b"=")
            key = key.strip(BLANKS.encode()).split(b"\0")[0]
            if key and section:
                found.append((section, key, value.strip(BLANKS.encode())))
    return found


def is_quoted(value):
    return len(value) >= 2 and value[:1] in (b'"', b"'") and value[-1:] == value[:1]


# --- known differences between Wine 8 and Windows ------------------------------------
#
# From Wine's own conformance tests (the checks it marks as failing on Wine
# but passing on Windows), Microsoft's documentation and reports of Windows
# users.
#
# Each entry: what it is about, and the reads that show it with what Windows
# (and so the Linux tool) gives and what Wine gives. Entries without reads are
# listed for completeness; the reason says why no case here can show them.


class Known:
    def __init__(self, name, reason, reads=(), skip=None):
        self.name = name
        self.reason = reason
        # (file, section, key, size, default, Windows result, Wine result)
        self.reads = reads
        # Whether a generated read case falls under this difference.
        self.skip = skip or (lambda case: False)


DEF = b"def"

KNOWN_DIFFERENCES = [
    Known("UTF-8 BOM before the first header",
          "Windows takes the BOM as text: line 1 '<BOM>[s]' is no header and the "
          "section cannot be reached; UTF-8 values stay bytes. Wine strips the "
          "BOM and decodes the file as UTF-8.",
          reads=[("utf8_bom.ini", b"s", b"a", BIG, DEF, (3, DEF), (1, b"1")),
                 ("utf8_bom.ini", b"t", b"b", BIG, DEF, (5, b"caf\xc3\xa9"), (4, b"caf\xe9"))],
          skip=lambda case: case.file == "utf8_bom.ini"),
    Known("UTF-16BE BOM",
          "Windows does not know the big-endian BOM: the file is 8-bit text whose "
          "lines start with NUL, so it holds no section. Wine reads it as UTF-16BE.",
          reads=[("diff/utf16be.ini", b"s", b"a", BIG, DEF, (3, DEF), (1, b"1"))],
          skip=lambda case: case.file == "diff/utf16be.ini"),
    Known("the empty section name",
          "Windows reads a real [] section; Wine takes the keys before the first "
          "header instead.",
          reads=[("before_header.ini", b"", b"a", BIG, DEF, (5, b"empty"), (1, b"0"))],
          skip=lambda case: case.section.strip(BLANKS.encode()) == b""),
    Known("a quoted value read with a size of its length plus one",
          "Windows returns the whole unquoted value; Wine loses its last character.",
          reads=[("quotes.ini", b"q", b"dq", 6, DEF, (5, b"hello"), (4, b"hell")),
                 ("quotes.ini", b"q", b"nested", 4, DEF, (3, b"'x'"), (2, b"'x"))],
          skip=lambda case: case.quoted_fit),
    Known("the writer",
          "Windows edits the file in place and keeps every other byte; Wine writes "
          "the whole file anew from what it parsed (blank lines dropped, lines "
          "normalised to 'key=value', CRLF). Both read back the same: see "
          "test_writes_read_back_the_same."),
    Known("a value with leading blanks",
          "Windows writes the value as given ('left= 3495'); Wine drops the blanks "
          "('left=3495'). See test_leading_blanks_of_a_written_value."),
    Known("deleting from a missing file",
          "Windows creates an empty file, Wine nothing. Not shown here: the tool "
          "and the program only ever write values, never delete."),
    Known("case folding beyond ASCII",
          "Wine folds A-Z only; what Windows folds is not known. Not shown here: "
          "the program's section and key names are ASCII, and so are the cases."),
    Known("empty section or key names",
          "The A functions may crash on Windows with them; Wine takes them. Not "
          "shown here beyond the empty section above: the program never passes "
          "an empty name."),
]

# Not a Wine difference: the Linux program's system code page is UTF-8, so
# text from a UTF-16 file comes back as UTF-8, where Windows (and Wine) with
# the Western code page 1252 give one byte per character. The results are
# (Linux, Windows and Wine).
CODE_PAGE_READS = [
    ("utf16le.ini", b"s", b"a", BIG, DEF, (5, b"caf\xc3\xa9"), (4, b"caf\xe9")),
]
CODE_PAGE_READBACKS = [
    ("w/golden_utf16le.ini", b"text", b"msg", (7, b"Gr\xc3\xbc\xc3\x9fe"), (5, b"Gr\xfc\xdfe")),
]


def under_code_page_difference(case):
    return (case.file.endswith("utf16le.ini") and
            case.key.strip(BLANKS.encode()).lower() in (b"a", b"msg"))


# Wine details of the default that Windows is not known to share: Wine takes
# a quote pair off the default, and leaves one blank of a default made of
# blanks only. The Linux reader returns the first as given and the second
# empty, as the trim of trailing blanks says. The program's defaults hold
# neither quotes nor only blanks.
WINE_QUIRK_READS = [
    ("case.ini", b"text", b"nosuch", BIG, b'"dq"', (4, b'"dq"'), (2, b"dq")),
    ("case.ini", b"text", b"nosuch", BIG, b"   ", (0, b""), (1, b" ")),
]


# --- the cases --------------------------------------------------------------------------


class Read:
    """One get-string or get-int call."""

    def __init__(self, file, section, key, size=None, default=DEF, quoted_fit=False,
                 expected=None):
        self.file = file
        self.section = section
        self.key = key
        self.size = size  # None: get-int
        self.default = default
        self.quoted_fit = quoted_fit
        # For a known difference: (Windows result, Wine result).
        self.expected = expected

    def args(self, root):
        path = (root + "/" if root else "") + self.file
        if self.size is None:
            return ["get-int", hex_arg(path.encode()), hex_arg(self.section),
                    hex_arg(self.key), "7"]
        return ["get-string", hex_arg(path.encode()), hex_arg(self.section), hex_arg(self.key),
                hex_arg(self.default), str(self.size)]

    def __repr__(self):
        what = "get-int" if self.size is None else "get-string size %d" % self.size
        return "%s [%r] %r default %r: %s" % (self.file, self.section, self.key, self.default,
                                             what)


class Write:
    """One write into a copy of `source` (None: a file that does not exist)."""

    def __init__(self, name, source, section, key, value, file=None):
        self.name = name
        self.source = source
        self.section = section
        self.key = key
        self.value = value
        self.file = file or "w/%s.ini" % name

    def args(self):
        return ["write", hex_arg(self.file.encode()), hex_arg(self.section), hex_arg(self.key),
                hex_arg(self.value)]


def fixture_files():
    names = sorted(f for f in os.listdir(DATA) if f.endswith(".ini"))
    names += sorted("diff/" + f for f in os.listdir(os.path.join(DATA, "diff")))
    return names


def read_cases(linux_full_length):
    """Reads over every fixture: every key of every section in full, cut by one
    and at an exact fit, as an integer, and a few spellings of the names."""
    cases = []
    for name in fixture_files():
        with open(os.path.join(DATA, name), "rb") as f:
            found = entries(f.read())
        cases.append(Read(name, b"nosuch", b"a", BIG))
        cases.append(Read(name, b"nosuch", b"a", 0))
        seen = set()
        first_in_section = {}
        for section, key, raw in found:
            if (section.lower(), key.lower()) in seen:
                continue  # only the first of duplicate keys or sections counts
            seen.add((section.lower(), key.lower()))
            first_in_section.setdefault(section.lower(), (section, key))
            cases.append(Read(name, section, key, BIG))
            cases.append(Read(name, section, key, None))
            length = linux_full_length(name, section, key)
            for size in sorted({1, length, length + 1}):
                if size >= 1:
                    cases.append(Read(name, section, key, size,
                                      quoted_fit=is_quoted(raw) and size == length + 1))
        for section, key in first_in_section.values():
            cases.append(Read(name, section.upper(), key.upper(), BIG))
            cases.append(Read(name, b"  " + section + b"\t", b" " + key + b"  ", BIG))
            cases.append(Read(name, section, b"nosuch", BIG))
            cases.append(Read(name, section, b"nosuch", None))
    # The default: trailing blanks, quotes, a size too small for it.
    for default in (b"", b"abc   ", b"  x  ", b"abc\t", b"one two  ", b"x" * 40):
        for size in (4, BIG):
            cases.append(Read("case.ini", b"text", b"nosuch", size, default=default))
    cases.append(Read("missing.ini", b"window", b"left", BIG, default=b"3500"))
    cases.append(Read("missing.ini", b"window", b"left", None))
    return cases


def golden_writes():
    """The writer's golden fixtures, each with the write that produced it."""
    top = (b"window", b"top", b" 3500")
    cases = {"replace": (b"window", b"left", b" 3500"),
             "nul_preamble": (b"section1", b"key1", b"string1"),
             "duplicate_sections": (b"Window", b"top", b" 3500")}
    writes = []
    for name in sorted(f[:-4] for f in os.listdir(os.path.join(DATA, "write"))
                       if f.endswith(".ini")):
        section, key, value = cases.get(name, top)
        writes.append(Write("golden_" + name, "write/%s.ini" % name, section, key, value))
    return writes


# Writes where Wine rewriting the file gives the same bytes as Windows editing
# it: a file already in Wine's form and values without leading blanks.
SAME_BYTES_WRITES = [
    Write("replace", "diff/canonical.ini", b"window", b"left", b"3495"),
    Write("replace_other_case", "diff/canonical.ini", b"WINDOW", b"LEFT", b"1"),
    Write("unchanged", "diff/canonical.ini", b"window", b"left", b"100"),
    Write("insert_key", "diff/canonical.ini", b"window", b"width", b"3500"),
    Write("insert_key_last_section", "diff/canonical.ini", b"text", b"Text2", b"Neue Post"),
    Write("new_section", "diff/canonical.ini", b"wave", b"file", b"ding.wav"),
    Write("empty_value", "diff/canonical.ini", b"window", b"top", b""),
    Write("trailing_blanks", "diff/canonical.ini", b"window", b"top", b"200  "),
    Write("quotes_kept", "diff/canonical.ini", b"text", b"Text1", b'"Hallo Welt"'),
    Write("new_file", None, b"window", b"left", b"3495"),
]

# The position write-back of a real close, into the shipped sample and into
# a file in Wine's form.
LEADING_BLANKS = Write("leading_blanks", "diff/canonical.ini", b"window", b"left", b" 3495")
SAMPLE_WRITES = [Write("sample", "sample", b"window", b"left", b" 3495"),
                 Write("sample", "sample", b"window", b"top", b" 3495")]
NO_DIRECTORY = Write("no_directory", None, b"window", b"left", b"1", file="w/no/such/dir.ini")


class ProfileDiffTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.linux_tool = os.environ.get("ZB_PROFILE_TOOL")
        if not cls.linux_tool or not os.path.isfile(cls.linux_tool):
            raise unittest.SkipTest("ZB_PROFILE_TOOL does not name the Linux profile-tool")
        cls.scratch = tempfile.mkdtemp(prefix="zb-profile-diff-")
        cls.roots = {side: os.path.join(cls.scratch, side) for side in ("linux", "wine")}
        for root in cls.roots.values():
            shutil.copytree(DATA, os.path.join(root, "r"))
            os.makedirs(os.path.join(root, "w"))
        try:
            with wine_env.WineEnv() as wine:
                cls._run_everything(wine)
        except BaseException:
            shutil.rmtree(cls.scratch, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    # --- running both tools ---------------------------------------------------------

    @classmethod
    def linux(cls, args):
        result = subprocess.run([cls.linux_tool] + args, cwd=cls.roots["linux"],
                                capture_output=True, timeout=60)
        return result.stdout, result.returncode

    @classmethod
    def _run_everything(cls, wine):
        tool = wine_env.windows_path(wine.build_file("tools", "profile-tool.exe"))
        cls.sample_ini = wine.build_file(*SAMPLE_INI)

        def full_length(name, section, key):
            out, _ = cls.linux(Read(name, section, key, BIG).args("r"))
            return parse_string_result(out)[0]

        cls.reads = read_cases(full_length)
        for reads in [k.reads for k in KNOWN_DIFFERENCES] + [CODE_PAGE_READS, WINE_QUIRK_READS]:
            cls.reads += [Read(f, s, k, size, default=d, expected=(windows, wine))
                          for f, s, k, size, d, windows, wine in reads]

        cls.writes = (golden_writes() + SAME_BYTES_WRITES + [LEADING_BLANKS] + SAMPLE_WRITES +
                      [NO_DIRECTORY])
        for root in cls.roots.values():
            for write in cls.writes:
                if write.source == "sample":
                    shutil.copyfile(cls.sample_ini, os.path.join(root, write.file))
                elif write.source:
                    shutil.copyfile(os.path.join(DATA, write.source),
                                    os.path.join(root, write.file))
        commands = [c.args("r") for c in cls.reads] + [w.args() for w in cls.writes]
        wine_results = wine.run_batch([tool + " " + " ".join(c) for c in commands],
                                      cls.roots["wine"])
        linux_results = [cls.linux(c) for c in commands]
        n = len(cls.reads)
        cls.read_results = list(zip(cls.reads, linux_results[:n], wine_results[:n]))
        cls.write_results = list(zip(cls.writes, linux_results[n:], wine_results[n:]))

        # Read back every name of each written file, each side with its own
        # reader on its own file.
        cls.readbacks = []
        for write in golden_writes() + SAMPLE_WRITES[:1]:
            names = {}
            for side in ("linux", "wine"):
                with open(os.path.join(cls.roots[side], write.file), "rb") as f:
                    for section, key, _ in entries(f.read()):
                        names.setdefault((section.lower(), key.lower()), (section, key))
            names.setdefault((write.section.lower(), write.key.lower()), (write.section, write.key))
            for section, key in names.values():
                cls.readbacks.append(Read(write.file, section, key, BIG))
        commands = [c.args("") for c in cls.readbacks]
        wine_back = wine.run_batch([tool + " " + " ".join(c) for c in commands],
                                   cls.roots["wine"])
        linux_back = [cls.linux(c) for c in commands]
        cls.readback_results = list(zip(cls.readbacks, linux_back, wine_back))

    def file_bytes(self, side, write):
        path = os.path.join(self.roots[side], write.file)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    # --- reads -----------------------------------------------------------------------

    def test_reads_agree(self):
        compared = 0
        mismatches = []
        for case, (linux_out, linux_status), (wine_out, wine_status) in self.read_results:
            if (case.expected or under_code_page_difference(case) or
                    any(k.skip(case) for k in KNOWN_DIFFERENCES)):
                continue
            compared += 1
            if (linux_out, linux_status) != (wine_out, wine_status):
                mismatches.append("%r\n    Linux %r (%d), Wine %r (%d)"
                                  % (case, linux_out, linux_status, wine_out, wine_status))
        self.assertGreater(compared, 300)
        self.assertFalse(mismatches, "\n".join(["%d of %d reads differ:" % (len(mismatches),
                                                                             compared)]
                                               + mismatches[:40]))

    def check_known_reads(self, reads):
        results = {(c.file, c.section, c.key, c.size, c.default): (lin, win)
                   for c, lin, win in self.read_results + self.readback_results}
        for file, section, key, size, default, windows, wine in reads:
            with self.subTest(file=file, section=section, key=key, size=size):
                (linux_out, _), (wine_out, _) = results[(file, section, key, size, default)]
                self.assertEqual(parse_string_result(linux_out), windows,
                                 "the Linux tool does not give what Windows gives")
                self.assertEqual(parse_string_result(wine_out), wine,
                                 "Wine no longer gives what it is known to give")

    def test_known_differences_of_wine(self):
        for known in KNOWN_DIFFERENCES:
            with self.subTest(known.name):
                self.check_known_reads(known.reads)

    def test_code_page_difference(self):
        self.check_known_reads(CODE_PAGE_READS)
        self.check_known_reads([(f, s, k, BIG, DEF, lin, win)
                                for f, s, k, lin, win in CODE_PAGE_READBACKS])

    def test_wine_quirks_of_the_default(self):
        self.check_known_reads(WINE_QUIRK_READS)

    # --- writes ------------------------------------------------------------------------

    def write_result(self, name):
        return [(w, lin, win) for w, lin, win in self.write_results if w.name == name]

    def test_writes_give_the_same_bytes(self):
        for write in SAME_BYTES_WRITES:
            with self.subTest(write.name):
                [(_, linux_out, wine_out)] = self.write_result(write.name)
                self.assertEqual(linux_out, (b"1\n", 0))
                self.assertEqual(wine_out, (b"1\n", 0))
                self.assertEqual(self.file_bytes("linux", write), self.file_bytes("wine", write))

    def test_golden_writes_edit_only_the_line_concerned(self):
        # The Windows writer's result, which the Linux tool must give; Wine's
        # file differs (the writer, KNOWN_DIFFERENCES) but reads back the same.
        for write in golden_writes():
            with self.subTest(write.name):
                [(_, linux_out, wine_out)] = self.write_result(write.name)
                self.assertEqual(linux_out, (b"1\n", 0))
                self.assertEqual(wine_out, (b"1\n", 0))
                with open(os.path.join(DATA, write.source[:-4] + ".expected"), "rb") as f:
                    self.assertEqual(self.file_bytes("linux", write), f.read())

    def test_writes_read_back_the_same(self):
        mismatches = ["%r: Linux %r, Wine %r" % (case, lin, win)
                      for case, lin, win in self.readback_results
                      if lin != win and not under_code_page_difference(case)]
        self.assertGreater(len(self.readback_results), 40)
        self.assertFalse(mismatches, "\n".join(mismatches[:40]))

    def test_leading_blanks_of_a_written_value(self):
        with open(os.path.join(DATA, "diff", "canonical.ini"), "rb") as f:
            original = f.read()
        self.assertEqual(self.file_bytes("linux", LEADING_BLANKS),
                         original.replace(b"left=100", b"left= 3495"))
        self.assertEqual(self.file_bytes("wine", LEADING_BLANKS),
                         original.replace(b"left=100", b"left=3495"))

    def test_position_write_back_into_the_sample_keeps_it(self):
        # Windows keeps the comments, blank lines and spacing of the shipped
        # file and changes the two lines only.
        with open(self.sample_ini, "rb") as f:
            sample = f.read()
        expected = (sample.replace(b"\nleft=3500\r", b"\nleft= 3495\r", 1)
                    .replace(b"\ntop=3500\r", b"\ntop= 3495\r", 1))
        self.assertEqual(self.file_bytes("linux", SAMPLE_WRITES[0]), expected)
        for _, linux_out, wine_out in self.write_result("sample"):
            self.assertEqual(linux_out, (b"1\n", 0))
            self.assertEqual(wine_out, (b"1\n", 0))

    def test_write_into_a_missing_directory_fails_on_both(self):
        [(_, linux_out, wine_out)] = self.write_result("no_directory")
        self.assertEqual(linux_out, (b"0\n", 0))
        self.assertEqual(wine_out, (b"0\n", 0))
        for side in self.roots:
            self.assertFalse(os.path.exists(os.path.join(self.roots[side], "w", "no")))


if __name__ == "__main__":
    unittest.main()
