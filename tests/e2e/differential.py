#!/usr/bin/env python3
"""Prediction against reality: random packages and system folders, each
predicted by the package check's what-if and then installed for real by
QMXSET.EXE /quiet under Wine, on the same folders.

    differential.py --qmxset EXE --driver EXE --arch x86|x64 --fixtures DIR
                    --pending-ops EXE (--native-check PATH | --check QMXCHECK.EXE)

Environment:
    QMX_DIFF_SEED   the seed (default 19); the same seed makes the same cases
    QMX_DIFF_CASES  how many cases (default 240, at least 200 to count)
    QMX_DIFF_BUSY   0 leaves out modules held in use (they need qmxcheck's
                    --busy); anything else includes them (the default)

Each case runs in the code page of a Japanese (932) or a Western (1252)
Windows, as Wine takes it from the locale, and tells the what-if which one
(--codepage). Module names may hold characters beyond ASCII: in 932 some
whose second byte is 0x5C, the byte of the backslash (表, ソ), which the
installer must read as one character; in 1252 accented letters, and now and
then the bytes of 表 as an entry, where 0x5C is a separator and the name is
refused.

Every case gets module names of its own, so all cases of one Windows version
are set up at once and run by one driver process, one installer after the
other: Wine's start-up, not the installer, is what costs. Then the outcome
bits (the log's last EngingMessage line), the exit code and each module's end
state (the installed copy and its staged copy, by digest) must be what the
predicted decisions, taken in list order, leave behind.

Some installed modules have a restart-time operation waiting: our own staged
copy's pair, or another program's delete. Both lists hold them (the move list
by pending_ops.exe's delayed moves, WININIT.INI's [Rename] section), so each
Windows family finds its own; the native what-if is told them by
--pending-ours and --pending-other, QMXCHECK.EXE against the prefix's own
system folder reads the lists as the installer does.

Now and then a package ships a module of another machine: a copy of a
fixture whose COFF header names another machine (at e_lfanew + 4), as that
machine's build would. Where the installed copy is this machine's, the
installer installs nothing at all, names each such module in its log, and
exits 1633; the what-if must say the same, module for module. An undo can
meet one too: another program's copy of another machine, put in between over
a module the installation replaced, which the kept copy does not fit.

Then a third of the cases are undone: now and then another program changes
an installed module in between, the what-if predicts QMXSET.EXE /undo from a
copy of the store (--undo --store), and the real /undo must agree: a module
restored holds the bytes it had before the installation, any other is left as
it was.
"""

import argparse
import hashlib
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ACTIONS = ["replace", "stage", "restart", "keep", "not installed", "missing", "refused"]

# Windows as Wine imitates it for one program: the what-if's name for it, its
# family and the platform, major and minor version the installer reads.
WINDOWS = {
    "win10": ("10", "NT", (2, 10, 0)),
    "winxp": ("XP", "NT", (2, 5, 1)),
    "win98": ("98", "95/98/Me", (1, 4, 10)),
    "winme": ("ME", "95/98/Me", (1, 4, 90)),
}

# The fixture modules used, with their FileVersion text and first three
# numbers: only these decide whether a staged copy waiting is replaced, which
# the predicted decision does not say.
FIXTURES = {
    "V1_0.DLL": ("1.0", (1, 0, 0)),
    "V1_0_0.DLL": ("1.0.0", (1, 0, 0)),
    "V1_0A_LOWER.DLL": ("1.0a", (1, 0, 0)),
    "V1_0A_UPPER.DLL": ("1.0A", (1, 0, 0)),
    "V2_9.DLL": ("2.9", (2, 9, 0)),
    "V2_10.DLL": ("2.10", (2, 10, 0)),
    "V3_0.DLL": ("3.0", (3, 0, 0)),
    "V5_1_2600_0.DLL": ("5.1.2600.0", (5, 1, 2600)),
    "V5_1_2600_1.DLL": ("5.1.2600.1", (5, 1, 2600)),
    "V5_1_2601.DLL": ("5.1.2601", (5, 1, 2601)),
    "NOVERSION.DLL": (None, None),
    "NOVERSION2.DLL": (None, None),
}

# Few distinct times, so that equal ones are common.
TIMES = [int(time.mktime((year, month, 1, 12, 0, 0, 0, 0, -1)))
         for year in (2019, 2021, 2023) for month in (3, 9)]

QUIET = ["/quiet", "/q", "-Q", "-quiet", "/QUIET"]

# The machines another build's module may name, by this build's own.
OTHER_MACHINES = {"x86": [0x8664, 0xAA64], "x64": [0x014C, 0xAA64]}
# The share of packaged modules that are another machine's; drawn by an
# rng of their own, so that the rest of each case stays as it was.
FOREIGN_SHARE = 0.07

# The code pages drawn, the locale Wine takes each from, and the characters
# a module's name may hold beyond ASCII ("" keeps a name ASCII).
CODE_PAGES = {
    932: ("ja_JP.UTF-8", "cp932", ["", "", "表", "ソ", "ア", "ｱ"]),
    1252: ("C.UTF-8", "cp1252", ["", "", "É", "Ü"]),
}
# 表 as a Western Windows reads its two bytes: a bullet and a backslash.
HYOU_IN_1252 = "\u2022\\"
REFUSED_FORMS = ["..\\{}", "SUB\\{}", "C:{}", "{}:STREAM", "QDF*.DLL", "NUL.DLL", "..", "LPT1"]


def action_of(decision):
    text = decision.lower()
    for action in ACTIONS:
        if text.startswith(action):
            return action
    return "unknown: " + decision


def newer(first, second):
    """Whether the first copy is newer than the second, by the installer's
    rule: equal texts or equal numbers leave it to the times."""
    (fix1, time1), (fix2, time2) = first, second
    text1, numbers1 = FIXTURES[fix1]
    text2, numbers2 = FIXTURES[fix2]
    if text1 is not None and text2 is not None and text1.lower() != text2.lower() \
            and numbers1 != numbers2:
        return numbers1 > numbers2
    return time1 > time2


def describe(copy):
    if copy is None:
        return "-"
    fixture, when = copy
    return "%s@%s" % (fixture[:-4], time.strftime("%Y-%m", time.localtime(when)))


def digest(path):
    try:
        with open(path, "rb") as f:
            return hashlib.md5(f.read()).hexdigest()[:8]
    except FileNotFoundError:
        return "absent"
    except IsADirectoryError:
        return "folder"


class Slot:
    """One module: its copy in the package, the installed one, a staged copy
    already waiting, and whether the installed one is held in use."""

    def __init__(self, name):
        self.name = name
        self.package = self.installed = self.staged = None
        self.busy = False
        self.pending = None  # "ours", "other" or None
        self.staged_by_install = False
        self.foreign = None  # the machine the package's copy names instead of this build's

    @property
    def staged_name(self):
        """The staged copy's name, the last letter shifted (only D to M
        occurs here); None for a name that does not end in a letter, which
        has no place for a staged copy."""
        return self.name[:-1] + "M" if self.name.endswith("L") else None

    def copies(self, package_folder, system_folder):
        """(what, copy, path) of the package's, the installed and the staged
        copy; a copy of None is not there."""
        return [("package", self.package, os.path.join(package_folder, self.name)),
                ("installed", self.installed, os.path.join(system_folder, self.name)),
                ("staged", self.staged, os.path.join(system_folder, self.staged_name or ""))]


class Case:
    def __init__(self, number, windows, rng, arch_digit, busy_allowed, machine_rng, others):
        self.number = number
        self.windows = windows
        self.codepage = rng.choice([932, 1252])
        characters = CODE_PAGES[self.codepage][2]
        prefix = "QDF%s%03d" % (arch_digit, number)
        self.slots = []
        for letter in "ABCDE"[:rng.randint(1, 5)]:
            beyond = rng.choice(characters)
            slot = Slot(prefix + beyond + letter + (".DL1" if rng.random() < 0.06 else ".DLL"))
            if rng.random() < 0.88:
                slot.package = (rng.choice(list(FIXTURES)), rng.choice(TIMES))
            if rng.random() < 0.8:
                if slot.package and rng.random() < 0.25:
                    slot.installed = slot.package
                else:
                    slot.installed = (rng.choice(list(FIXTURES)), rng.choice(TIMES))
                if slot.staged_name and rng.random() < 0.3:
                    if slot.package and rng.random() < 0.3:
                        slot.staged = slot.package
                    else:
                        slot.staged = (rng.choice(list(FIXTURES)), rng.choice(TIMES))
                # In use is where a name without a place to stage matters.
                # Drawn either way, so that leaving modules in use out
                # changes nothing else.
                in_use = rng.random() < (0.3 if slot.staged_name else 0.7)
                slot.busy = busy_allowed and in_use
                if rng.random() < 0.2:
                    slot.pending = "ours" if slot.staged_name and rng.random() < 0.5 else "other"
            if slot.package and machine_rng.random() < FOREIGN_SHARE:
                slot.foreign = machine_rng.choice(others)
            self.slots.append(slot)

        # The [File] entries: every module in some spelling, some twice,
        # and now and then a name that is not a plain file name.
        def spelled(name):
            return rng.choice([name, name.lower(), name[:4].lower() + name[4:], " \t" + name + " "])
        entries = [spelled(s.name) for s in self.slots]
        for slot in self.slots:
            if rng.random() < 0.15:
                entries.append(spelled(slot.name))
        self.parent_name = None
        if self.codepage == 1252 and rng.random() < 0.15:
            entries.append(prefix + HYOU_IN_1252 + "R.DLL")
        if rng.random() < 0.25:
            form = rng.choice(REFUSED_FORMS)
            if form.startswith("..\\"):
                # Something to overwrite one folder up, if the name were taken.
                self.parent_name = prefix + "R.DLL"
            entries.append(form.format(prefix + "R.DLL"))
        rng.shuffle(entries)

        _, _, (platform, major, minor) = WINDOWS[windows]
        matching = ["%d:%d" % (platform, major), "%d:%d:%d" % (platform, major, minor),
                    "%d : %d :" % (platform, major)]
        other = ["1:4:0", "2:6:1", "%d:%d:%d" % (platform, major, minor + 1), "3:10",
                 "%d:%d:%d:0" % (platform, major, minor)]
        kind = rng.random()
        patterns = rng.sample(other, rng.randint(0, 2))
        if kind < 0.85:
            patterns.insert(rng.randint(0, len(patterns)), rng.choice(matching))
        elif not patterns:
            patterns = [rng.choice(other)]
        lines = ["// differential case %d, code page %d" % (number, self.codepage)]
        if kind < 0.97:
            lines += ["[Install]", ", ".join(patterns) + rng.choice(["", " // targets"])]
        lines += ["[File]"] + ([] if rng.random() < 0.03 else entries)
        lines += rng.choice([[], ["[Log]", "ON"], ["[Log]", "off"]])
        self.change_list = "\r\n".join(lines) + "\r\n"
        self.quiet = rng.choice(QUIET)

    def summary(self):
        text = self.change_list.replace("\r\n", " | ").rstrip(" |")
        folders = ["%s package %s, system %s, staged %s%s%s" % (
            s.name[-5], describe(s.package), describe(s.installed), describe(s.staged),
            ", busy" if s.busy else "", ", %s pending" % s.pending if s.pending else "") +
            (", the package's of machine 0x%04x" % s.foreign if s.foreign else "") for s in self.slots]
        return text, folders


class Harness:
    def __init__(self, args):
        self.args = args
        self.arch_digit = "3" if args.arch == "x86" else "6"
        prefix = os.environ["WINEPREFIX"]
        self.windows_dir = os.path.join(prefix, "drive_c", "windows")
        self.sysdir = os.path.join(self.windows_dir, "syswow64" if args.arch == "x86" else "system32")
        self.wininit = os.path.join(self.windows_dir, "WININIT.INI")
        self.store = os.path.join(self.windows_dir, "QMX_UNDO")
        self.root = tempfile.mkdtemp(prefix="qmxdiff.")
        self.store_copy = os.path.join(self.root, "store")
        self.wininit_before = None
        self.keeper = None
        if os.path.exists(self.wininit):
            with open(self.wininit, "rb") as f:
                self.wininit_before = f.read()
        self.mismatches = 0
        self.no_busy_option = False
        self.counts = {}
        self.machine_rng = random.Random(args.seed + 3)

    # -- files -------------------------------------------------------------

    def put(self, copy, path, label, machine=None):
        """A fixture with the given last-write time, made unique by a trailer
        after the image (which no version reader looks at), so that a digest
        tells which copy ended up where; its COFF header names machine when
        one is given."""
        fixture, when = copy
        with open(os.path.join(self.args.fixtures, fixture), "rb") as f:
            data = bytearray(f.read())
        if machine is not None:
            struct.pack_into("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4, machine)
        with open(path, "wb") as f:
            f.write(bytes(data) + ("\0qmxdiff %s\0" % label).encode())
        os.utime(path, (when, when))

    def hold_server(self):
        """A Wine process that lives as long as the harness. When the last
        Wine process ends, the wineserver follows a few seconds later, and
        the next process to start boots the prefix, which carries out the
        pending lists: between the installs and the undo (a native what-if
        for every undone case) that would run the very operations the
        prediction counts on still waiting."""
        self.keeper = subprocess.Popen(["wine", self.args.driver, "sleep", "86400000"],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        # Waits for the boot the keeper may have started: the lists are
        # seeded after it.
        reg(["query", APP_KEY])

    def clean_own_files(self):
        pattern = re.compile(r"^QDF%s\d{3}.?[A-Z]\.DL[LM1]$" % self.arch_digit, re.I)
        # A record's name tells no module: the store goes whole, as no other
        # test that shares the prefix keeps a record for the next.
        shutil.rmtree(self.store, ignore_errors=True)
        for folder in (self.sysdir, self.windows_dir):
            for name in filter(pattern.match, os.listdir(folder)):
                path = os.path.join(folder, name)
                if os.path.isdir(path):
                    shutil.rmtree(path)
                else:
                    os.remove(path)

    def set_up(self, case):
        folder = os.path.join(self.root, "c%03d" % case.number)
        os.mkdir(folder)
        case.folder = folder
        shutil.copyfile(self.args.qmxset, os.path.join(folder, "QMXSET.EXE"))
        with open(os.path.join(folder, "QMX_CHG.DAT"), "wb") as f:
            f.write(case.change_list.encode(CODE_PAGES[case.codepage][1]))
        # A copy equal to the package's is the very same bytes.
        for s in case.slots:
            for what, copy, path in s.copies(folder, self.sysdir):
                if copy:
                    ours = copy == s.package
                    self.put(copy, path, s.name + (" package" if ours else " " + what), s.foreign if ours else None)
        if case.parent_name:
            self.put(("V1_0.DLL", TIMES[0]), os.path.join(self.windows_dir, case.parent_name), "installed")
            self.put(("V3_0.DLL", TIMES[-1]), os.path.join(self.root, case.parent_name), "package")

    # -- prediction ----------------------------------------------------------

    def predict(self, case, undo=False):
        name = WINDOWS[case.windows][0]
        busy = [arg for s in case.slots if s.busy and not undo for arg in ("--busy", s.name)]
        if self.args.native_check:
            tool, system, folder = [self.args.native_check], self.sysdir, case.folder
            store = self.store_copy
            busy += [arg for s in case.slots if s.pending for arg in ("--pending-" + s.pending, s.name)]
        else:
            # The prefix's own system folder: the lists are read there.
            tool, system, folder = ["wine", self.args.check], "C:\\windows\\system32", winpath(case.folder)
            store = winpath(self.store_copy)
        if undo:
            busy += ["--undo", "--store", store]
            if self.args.native_check:
                # The pairs the installation scheduled wait too: the real
                # /undo reads them from the lists.
                busy += [arg for s in case.slots if s.pending != "ours" and s.staged_by_install
                         for arg in ("--pending-ours", s.name)]
        command = tool + ["--json", "--codepage", str(case.codepage), "--against", system,
                          "--windows", name] + busy + [folder]
        # QMXCHECK.EXE reads names in its own system's code page: Wine's,
        # from the locale.
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE,
                                env=dict(os.environ, LC_ALL=CODE_PAGES[case.codepage][0]))
        try:
            case.prediction = json.loads(result.stdout.decode("utf-8", "replace"))["whatIf"]
            case.prediction_error = None
        except (ValueError, KeyError):
            case.prediction = None
            case.prediction_error = "no prediction (exit %d): %s" % (
                result.returncode, result.stderr.decode("utf-8", "replace").strip().splitlines()[:2])

    def seed_pending(self, cases):
        """Every case's waiting operations, in both lists at once: the names
        are the cases' own."""
        system = "C:\\windows\\system32\\"
        lines = b""
        # Each name in its case's code page: scheduled by a process of that
        # code page, and written to WININIT.INI in it, as its installer reads
        # them.
        for codepage, (locale, encoding, _) in CODE_PAGES.items():
            commands = []
            for s in (s for c in cases if c.codepage == codepage for s in c.slots if s.pending):
                if s.pending == "ours":
                    commands.append(["move", system + s.staged_name, system + s.name])
                    line = "%s%s=%s%s" % (system, s.name, system, s.staged_name)
                else:
                    commands.append(["delete", system + s.name])
                    line = "NUL=%s%s" % (system, s.name)
                lines += (line + "\r\n").encode(encoding)
            for start in range(0, len(commands), 200):
                arguments = [a for c in commands[start:start + 200] for a in c]
                result = subprocess.run(["wine", self.args.pending_ops] + arguments, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        env=dict(os.environ, LC_ALL=locale))
                if result.returncode != 0:
                    sys.exit("pending_ops failed: %s" % result.stdout.decode("latin-1").strip())
        with open(self.wininit, "wb") as f:
            f.write(b"[Rename]\r\n" + lines)

    # -- reality -------------------------------------------------------------

    def run_group(self, windows, codepage, cases, undo=False, folder="folder", log=None):
        """Each case's QMXSET.EXE in its folder (the attribute named), in
        order; its log goes to log in that folder (RUN.LOG, or UNDO.LOG)."""
        log = log or ("UNDO.LOG" if undo else "RUN.LOG")
        reg(["add", APP_KEY, "/v", "Version", "/d", windows, "/f"])
        self.locale = CODE_PAGES[codepage][0]
        # One driver runs the installers one after the other; what it holds
        # stays held until it ends, which touches no other case's modules.
        # Its command line stays well below Windows' 32767 characters.
        chunk, length = [], 0
        for case in cases + [None]:
            if case is not None:
                # In use as a loaded library is: readable, never exclusively.
                commands = [arg for s in case.slots if s.busy and not undo
                            for arg in ("hold", "C:\\windows\\system32\\" + s.name)]
                where = getattr(case, folder)
                commands += ["run-with", winpath(os.path.join(where, "QMXSET.EXE")),
                             "%s%s /log:%s" % (case.quiet, " /undo" if undo else "", winpath(os.path.join(where, log))),
                             "60000"]
                case.commands = commands
                size = sum(len(c) + 3 for c in commands)
            if case is None or length + size > 20000:
                self.run_chunk(chunk)
                chunk, length = [], 0
            if case is not None:
                chunk.append(case)
                length += size

    def run_chunk(self, cases, again=True):
        if not cases:
            return
        command = ["wine", self.args.driver]
        for case in cases:
            command += case.commands
        # Wine takes the ANSI code page from the locale of each process.
        env = dict(os.environ, LC_ALL=self.locale)
        out = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, env=env).stdout.decode("utf-8", "replace")
        codes = re.findall(r"^run\.exit=(\d+)", out.replace("\r", ""), re.M)
        failed = re.findall(r"^FAIL: (.*)$", out.replace("\r", ""), re.M)
        for i, case in enumerate(cases):
            case.exit_code = int(codes[i]) if i < len(codes) else None
            case.driver_failure = failed[0] if failed and i >= len(codes) else None
        # Once in many hundred runs Wine refuses a CreateProcess: the
        # installer never ran, so nothing of the case has changed and the rest
        # of the chunk can run again. A second refusal is reported.
        if again and failed and failed[0].startswith("cannot start ") and len(codes) < len(cases):
            print("note: the driver %s; the %d cases from case %d on run again" % (
                failed[0], len(cases) - len(codes), cases[len(codes)].number))
            self.run_chunk(cases[len(codes):], again=False)

    # -- comparison ------------------------------------------------------------

    def expected_state(self, case):
        """Each module's installed and staged copy after the predicted
        decisions, taken in list order."""
        installed = {s.name: s.installed for s in case.slots}
        staged = {s.name: s.staged for s in case.slots}
        slots = {s.name: s for s in case.slots}
        for m in case.prediction["modules"]:
            name = m["name"].strip().upper()
            if name not in slots:
                continue
            action = action_of(m["decision"])
            package = slots[name].package
            # Our pair waiting with a staged copy older than the module would
            # downgrade it at the restart: the run makes it harmless, the
            # module's own copy under the staged name, before deciding.
            if slots[name].pending == "ours" and action in ("keep", "stage") and staged[name] is not None \
                    and newer(installed[name], staged[name]):
                staged[name] = installed[name]
            if action == "replace" and m["bit"] == 0x01:
                installed[name] = package
            elif action == "stage" and m["bit"] == 0x04:
                if staged[name] is None or newer(package, staged[name]):
                    staged[name] = package
        return installed, staged

    def compare(self, case):
        seen = []
        if case.prediction is None:
            seen.append(case.prediction_error)
        if case.exit_code is None:
            seen.append("the installer did not run: %s" % (case.driver_failure or "driver ended early"))
        log, case.outcome = read_log(os.path.join(case.folder, "RUN.LOG"))
        # The installer must have seen the Windows it was meant to.
        _, _, version = WINDOWS[case.windows]
        for seen_version in re.findall(r"^CompVersion\((\d+), (\d+), (\d+),", log, re.M):
            if tuple(map(int, seen_version)) != version:
                seen.append("the installer saw Windows %s, not %s" % (".".join(seen_version), case.windows))
                break

        case.reality = []
        if case.prediction is not None and case.exit_code is not None:
            p = case.prediction
            if case.outcome != p["outcome"]:
                seen.append("outcome predicted %s, real %s" % (
                    hex(p["outcome"]), hex(case.outcome) if case.outcome is not None else "none"))
            if case.exit_code != p["quietExitCode"]:
                seen.append("exit code predicted %d, real %d" % (p["quietExitCode"], case.exit_code))
            seen += self.misfits_seen(case, log, p)
            installed, staged = self.expected_state(case)
            staging = {m["name"].strip().upper() for m in p["modules"]
                       if action_of(m["decision"]) == "stage" and m["bit"] == 0x04}
            for s in case.slots:
                s.staged_by_install = s.name in staging
            for s in case.slots:
                copies = [("installed", installed[s.name], s.name)]
                if s.staged_name:
                    copies.append(("staged", staged[s.name], s.staged_name))
                for what, expected, name in copies:
                    path = os.path.join(self.sysdir, name)
                    real = digest(path)
                    case.reality.append("%s %s %s" % (s.name[-5], what, self.name_digest(s, real)))
                    if real != self.digest_of(s, expected, what):
                        seen.append("%s: %s copy expected %s, found %s" % (
                            s.name, what, describe(expected), self.name_digest(s, real)))
            if case.parent_name:
                path = os.path.join(self.windows_dir, case.parent_name)
                if digest(path) != case.parent_digest:
                    seen.append("..\\%s: the module one folder up was changed" % case.parent_name)
        if case.prediction_error and "--busy" in case.prediction_error:
            self.no_busy_option = True
        if seen:
            self.mismatches += 1
            self.report(case, seen)

    @staticmethod
    def misfits_seen(case, log, prediction):
        """The log's lines naming modules not for this machine against those
        the what-if named, in list order: what disagrees."""
        encoding = CODE_PAGES[case.codepage][1]
        predicted = ["C:\\windows\\system32\\" + m["name"].encode(encoding, "replace").decode("latin-1")
                     for m in prediction.get("otherMachine", [])]
        real = re.findall(r"^PrepareInstallation - Not for this machine: (.*)\.$", log, re.M)
        if real == predicted:
            return []
        return ["not for this machine: predicted %s, the log names %s" % (predicted, real)]

    # -- undoing ---------------------------------------------------------------

    def prepare_undo(self, case, rng):
        """What another program may change before the undo, and each
        module's bytes just before it. Now and then another machine's copy
        goes over one the installation replaced, whose kept copy the undo
        would put back: the gate compares the two (where nothing is kept it
        has nothing to compare)."""
        replaced = {m["name"].strip().upper() for m in (case.prediction or {}).get("modules", [])
                    if m["bit"] == 0x01}
        for s in case.slots:
            path = os.path.join(self.sysdir, s.name)
            changed = os.path.isfile(path) and rng.random() < 0.2
            foreign = s.name in replaced and self.machine_rng.random() < 0.15
            if changed or foreign:
                machine = self.machine_rng.choice(OTHER_MACHINES[self.args.arch]) if foreign else None
                self.put(("V3_0.DLL", TIMES[-1]), path, s.name + " another program's", machine)
                self.count("undo: module changed in between" + (", another machine's" if foreign else ""))
            s.before_undo = digest(path)

    def copy_store(self):
        if os.path.isdir(self.store):
            shutil.copytree(self.store, self.store_copy)
        else:
            os.mkdir(self.store_copy)

    def compare_undo(self, case):
        seen = []
        log, case.outcome = read_log(os.path.join(case.folder, "UNDO.LOG"))
        case.reality = []
        p = case.prediction
        if p is None:
            seen.append(case.prediction_error)
        elif case.exit_code is None:
            seen.append("the undo did not run: %s" % (case.driver_failure or "driver ended early"))
        else:
            if case.outcome != p["outcome"]:
                seen.append("undo outcome predicted %s, real %s" % (
                    hex(p["outcome"]), hex(case.outcome) if case.outcome is not None else "none"))
            if case.exit_code != p["quietExitCode"]:
                seen.append("undo exit code predicted %d, real %d" % (p["quietExitCode"], case.exit_code))
            seen += self.misfits_seen(case, log, p)
            if p.get("otherMachine"):
                self.count("undo gate: a kept copy for another machine's refused")
            restored = {m["name"].strip().upper() for m in p["modules"] if m["bit"] == 0x01}
            for s in case.slots:
                expected = self.digest_of(s, s.installed, "installed") if s.name in restored else s.before_undo
                real = digest(os.path.join(self.sysdir, s.name))
                case.reality.append("%s after undo %s" % (s.name[-5], self.name_digest(s, real)))
                if real != expected:
                    seen.append("%s: after the undo expected %s, found %s" % (
                        s.name, self.name_digest(s, expected), self.name_digest(s, real)))
            for m in p["modules"]:
                self.count("undo action " + m["decision"].split(":")[0])
            self.count("undo exit code %d" % p["quietExitCode"])
        if seen:
            self.mismatches += 1
            self.report(case, ["(undo) " + line for line in seen])

    @staticmethod
    def digest_of(slot, copy, what):
        if copy is None:
            return "absent"
        if copy == slot.package:
            return slot.digests["package"]
        # A copy may move: the installed one under the staged name, say. Its
        # own place first: two copies can be alike but for their bytes.
        places = {"installed": slot.installed, "staged": slot.staged}
        for where in sorted(places, key=lambda place: place != what):
            if copy == places[where] and where in slot.digests:
                return slot.digests[where]
        return slot.digests[what]

    @staticmethod
    def name_digest(slot, real):
        if real == "absent":
            return "absent"
        for what, value in slot.digests.items():
            if value == real:
                return "the %s copy" % ("package's" if what == "package" else "old " + what)
        return "unknown bytes " + real

    def record_digests(self, case):
        """The digest of each copy as put down, before the run."""
        for s in case.slots:
            s.digests = {what: digest(path) for what, copy, path in s.copies(case.folder, self.sysdir)
                         if copy and (what == "package" or copy != s.package)}
        if case.parent_name:
            case.parent_digest = digest(os.path.join(self.windows_dir, case.parent_name))

    def report(self, case, seen):
        change_list, folders = case.summary()
        name, family, _ = WINDOWS[case.windows]
        print("MISMATCH in case %d (seed %d, %s, Wine %s as %s, %s family, code page %d, QMXSET %s /log)" % (
            case.number, self.args.seed, self.args.arch, case.windows, name, family, case.codepage,
            case.quiet))
        print("  change list: %s" % change_list)
        for line in folders:
            print("  module %s" % line)
        if case.prediction is not None:
            p = case.prediction
            print("  predicted: outcome %s, exit %d; %s" % (hex(p["outcome"]), p["quietExitCode"], "; ".join(
                "%s %s (%s)" % (m["name"], action_of(m["decision"]), hex(m["bit"])) for m in p["modules"])))
        print("  real: outcome %s, exit %s; %s" % (
            hex(case.outcome) if case.outcome is not None else "none", case.exit_code,
            "; ".join(case.reality)))
        for line in seen:
            print("  -> %s" % line)

    def count(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1

    def tally(self, case):
        name, family, _ = WINDOWS[case.windows]
        self.count("family " + family)
        self.count("windows %s (%s)" % (case.windows, name))
        self.count("quiet run (%s)" % case.quiet)
        self.count("code page %d" % case.codepage)
        for s in case.slots:
            if any(ord(c) > 0x7F for c in s.name):
                self.count("name beyond ASCII in code page %d" % case.codepage)
            if any(c in "表ソ" for c in s.name):
                self.count("name with a 0x5C trail byte")
            if s.staged:
                self.count("folder: staged copy waiting")
            if s.busy:
                self.count("folder: installed copy in use")
            if s.pending:
                self.count("folder: %s restart-time operation waiting" % s.pending)
            if not s.staged_name:
                self.count("folder: a name without a place to stage")
            if s.foreign:
                self.count("machine: the package ships 0x%04x's module" % s.foreign)
        if case.prediction is not None:
            slots = {s.name: s for s in case.slots}
            for m in case.prediction["modules"]:
                action = action_of(m["decision"])
                self.count("action " + action)
                slot = slots.get(m["name"].strip().upper())
                if action == "stage" and slot and slot.staged:
                    self.count("action stage, a staged copy waiting")
            self.count("exit code %d" % case.prediction["quietExitCode"])
            if case.prediction.get("otherMachine"):
                self.count("gate: another machine's module refused")
            names = [m["name"].strip().upper() for m in case.prediction["modules"]]
            if len(set(names)) < len(names):
                self.count("change list: a module listed twice")

    # -- a second package, and undoing each ------------------------------------

    def chain(self, case, rng):
        """A second package over what the first left: the same package copied
        again with newer times, or a cumulative one that ships some modules
        exactly as the first did and some anew. The store's oracle: which
        bytes each run replaced, by package."""
        case.kind = rng.choice(["again", "cumulative"])
        case.second = case.folder + "-2"
        os.mkdir(case.second)
        for name in ("QMXSET.EXE", "QMX_CHG.DAT"):
            shutil.copyfile(os.path.join(case.folder, name), os.path.join(case.second, name))
        later = TIMES[-1] + 86400 * 365
        for s in case.slots:
            if not s.package:
                continue
            first, path = os.path.join(case.folder, s.name), os.path.join(case.second, s.name)
            if case.kind == "again" or rng.random() < 0.5:
                shutil.copyfile(first, path)
                when = later if case.kind == "again" or rng.random() < 0.5 else os.stat(first).st_mtime
                os.utime(path, (when, when))
            else:
                self.put(("V3_0.DLL", later), path, s.name + " second package")
        self.count("chain: " + case.kind)

    def run_chained(self, groups, chained, store):
        """The second packages installed, then undone, then (cumulative ones)
        the first undone too, each run checked against the oracle."""
        steps = [("second", False, "RUN2.LOG"), ("second", True, "UNDO2.LOG"), ("folder", True, "UNDO1.LOG")]
        for folder, undo, log in steps:
            step = [c for c in chained if folder == "second" or c.kind == "cumulative"]
            expected = {}
            for case in step:
                where = getattr(case, folder)
                expected[case.number] = self.expect_undo(case, where, store) if undo else None
            for windows in groups:
                for codepage in CODE_PAGES:
                    self.run_group(windows, codepage, [c for c in step if c.windows == windows and
                                                       c.codepage == codepage], undo=undo, folder=folder, log=log)
            for case in step:
                if undo:
                    self.check_state(case, expected[case.number], "after /undo from the %s package" % (
                        "second" if folder == "second" else "first"))
                    for s in case.slots:
                        s.before_run = digest(os.path.join(self.sysdir, s.name))
                else:
                    self.observe_run(case, case.second, store)

    def package_of(self, case, folder):
        """A package as the store knows it: its listed modules' bytes."""
        return tuple(digest(os.path.join(folder, s.name)) for s in case.slots)

    def observe_run(self, case, folder, store):
        """After an installation from folder: each module it changed, the
        bytes it replaced kept by the package's identity, as /undo means."""
        identity = self.package_of(case, folder)
        for s in case.slots:
            now = digest(os.path.join(self.sysdir, s.name))
            shipped = digest(os.path.join(folder, s.name))
            if now == shipped and s.before_run != shipped:
                store[(s.name, identity)] = s.before_run
            s.before_run = now

    def expect_undo(self, case, folder, store):
        """What /undo from folder must leave: each module this package changed
        and that still holds its bytes goes back, any other stays."""
        identity = self.package_of(case, folder)
        expected = {}
        for s in case.slots:
            now = digest(os.path.join(self.sysdir, s.name))
            kept = store.get((s.name, identity))
            if kept is not None and now == digest(os.path.join(folder, s.name)):
                expected[s.name] = kept
                del store[(s.name, identity)]
                self.count("chain: a module put back by " + ("the first" if folder == case.folder else "the second"))
            else:
                expected[s.name] = now
        return expected

    def check_state(self, case, expected, what):
        seen = []
        for s in case.slots:
            real = digest(os.path.join(self.sysdir, s.name))
            if real != expected[s.name]:
                seen.append("%s: %s expected %s, found %s" % (s.name, what, self.name_digest(s, expected[s.name]),
                                                            self.name_digest(s, real)))
        if seen:
            self.mismatches += 1
            self.report(case, ["(%s) %s" % (case.kind, line) for line in seen])

    # -- cleaning up -----------------------------------------------------------

    def clean(self):
        if self.keeper is not None:
            self.keeper.kill()
            self.keeper.wait()
        self.clean_own_files()
        shutil.rmtree(self.root, ignore_errors=True)
        if self.wininit_before is not None:
            with open(self.wininit, "wb") as f:
                f.write(self.wininit_before)
        elif os.path.exists(self.wininit):
            os.remove(self.wininit)
        reg(["delete", APP_KEY, "/f"])
        reg(["delete", PENDING_KEY, "/v", "PendingFileRenameOperations", "/f"])
        reg(["delete", PENDING_KEY, "/v", "PendingFileRenameOperations2", "/f"])


APP_KEY = "HKCU\\Software\\Wine\\AppDefaults\\QMXSET.EXE"
PENDING_KEY = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"


def reg(arguments):
    subprocess.run(["wine", "reg"] + arguments, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def read_log(path):
    """A run's log without CRs, and the outcome bits of its last
    EngingMessage line (None when there is none)."""
    log = ""
    try:
        with open(path, "rb") as f:
            log = f.read().decode("latin-1").replace("\r", "")
    except FileNotFoundError:
        pass
    outcomes = re.findall(r"^EngingMessage\[(0x[0-9a-f]+)\]", log, re.M)
    return log, int(outcomes[-1], 16) if outcomes else None


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qmxset", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--arch", required=True, choices=["x86", "x64"])
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--pending-ops", required=True)
    parser.add_argument("--native-check")
    parser.add_argument("--check")
    args = parser.parse_args()
    args.seed = int(os.environ.get("QMX_DIFF_SEED", "19"))
    total = int(os.environ.get("QMX_DIFF_CASES", "240"))
    busy = os.environ.get("QMX_DIFF_BUSY", "1") != "0"
    if not 1 <= total <= 999:
        sys.exit("QMX_DIFF_CASES must be between 1 and 999")
    if not args.native_check and not args.check:
        sys.exit("no what-if: give --native-check or --check")

    started = time.time()
    harness = Harness(args)
    rng = random.Random(args.seed)
    groups = list(WINDOWS)
    cases = [Case(i, groups[i % len(groups)], rng, harness.arch_digit, busy, harness.machine_rng,
                  OTHER_MACHINES[args.arch]) for i in range(total)]
    print("seed %d: %d cases on %s, modules in use %s; what-if by %s" % (
        args.seed, total, args.arch, "included" if busy else "left out (QMX_DIFF_BUSY=0)",
        "the native qmxcheck" if args.native_check else "QMXCHECK.EXE under Wine"))
    try:
        harness.clean_own_files()
        harness.hold_server()
        # A Wine process that starts a new wineserver boots the prefix, which
        # carries the lists out: seeded when Wine processes come back to back.
        if args.check:
            harness.seed_pending(cases)
        for case in cases:
            harness.set_up(case)
            harness.record_digests(case)
            harness.predict(case)
        if not args.check:
            harness.seed_pending(cases)
        predicted = time.time()
        for windows in groups:
            for codepage in CODE_PAGES:
                harness.run_group(windows, codepage,
                                  [c for c in cases if c.windows == windows and c.codepage == codepage])
        for case in cases:
            harness.compare(case)
            harness.tally(case)
        # The undo draws its own numbers: the cases above stay as they were.
        undo_rng = random.Random(args.seed + 1)
        undone = [c for c in cases if undo_rng.random() < 1 / 3]
        for case in undone:
            harness.prepare_undo(case, undo_rng)
        harness.copy_store()
        for case in undone:
            harness.predict(case, undo=True)
        for windows in groups:
            for codepage in CODE_PAGES:
                harness.run_group(windows, codepage,
                                  [c for c in undone if c.windows == windows and c.codepage == codepage], undo=True)
        for case in undone:
            harness.compare_undo(case)
        # A second package over the first, and /undo from each: checked
        # against what /undo means, each package's change and no more. Only
        # cases whose modules are neither held nor waiting: what the restart
        # will do is the other phases' business.
        chain_rng = random.Random(args.seed + 2)
        chained = [c for c in cases if c not in undone and c.prediction is not None and
                   not any(s.busy or s.pending for s in c.slots) and chain_rng.random() < 0.5]
        store = {}
        for case in chained:
            for s in case.slots:
                s.before_run = s.digests.get("installed", "absent") if s.installed else "absent"
                if s.installed == s.package and s.installed:
                    s.before_run = s.digests["package"]
            harness.observe_run(case, case.folder, store)
            harness.chain(case, chain_rng)
        harness.run_chained(groups, chained, store)
    finally:
        harness.clean()

    print("counts:")
    for what in sorted(harness.counts):
        print("  %-40s %d" % (what, harness.counts[what]))
    missing = [a for a in ACTIONS if "action " + a not in harness.counts and (busy or a != "stage")]
    missing += [f for f in ("NT", "95/98/Me") if "family " + f not in harness.counts]
    missing += [w for w in ("name with a 0x5C trail byte", "name beyond ASCII in code page 1252")
                if w not in harness.counts]
    missing += [u for u in ("undo action restore the kept copy", "undo action nothing to undo",
                            "undo: module changed in between", "chain: again", "chain: cumulative",
                            "chain: a module put back by the first", "chain: a module put back by the second",
                            "gate: another machine's module refused",
                            "undo gate: a kept copy for another machine's refused")
                if u not in harness.counts]
    if missing:
        print("the generator never reached: %s" % ", ".join(missing))
    print("%d of %d cases disagree; %.0f s (what-if %.0f s, real runs %.0f s)" % (
        harness.mismatches, total, time.time() - started, predicted - started, time.time() - predicted))
    if total < 200:
        print("fewer than 200 cases: too few to pass")
    if not busy:
        print("note: modules in use were left out, so \"stage\" was not tried")
    if harness.no_busy_option:
        print("note: this qmxcheck has no --busy; QMX_DIFF_BUSY=0 leaves modules in use out")
    sys.exit(1 if harness.mismatches or missing or total < 200 else 0)


if __name__ == "__main__":
    main()
