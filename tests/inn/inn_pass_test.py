#!/usr/bin/env python3
"""End-to-end tests of newsgleaner-pass against a real INN news server.

    inn_pass_test.py --server DIR [--pass PATH] [--keep]

DIR is a server folder made by scripts/inn/setup (running and seeded: it
holds state and manifest.json). Each scenario runs newsgleaner-pass with a
throwaway settings file and working folder, then checks the pictures, the
history files, the marks and the download log. Prints one PASS/FAIL line per
check and a summary; exits 1 when any check failed.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HOST = "127.0.0.1"
MIN_LINES = 20
MAX_LINES = 1000
PASS_TIMEOUT = 30  # seconds; a pass over this small spool takes about half a second

SUMMARY = re.compile(
    r"Articles Scanned: (\d+), Articles Saved: (\d+), Bytes Transferred: [\d,]+, "
    r"History Files Skipped: (\d+), Crossposts Skipped: (\d+)")


class Results:
    def __init__(self):
        self.items = []

    def check(self, name, ok, detail=""):
        self.items.append((name, bool(ok)))
        line = ("PASS" if ok else "FAIL") + ": " + name
        if detail and (not ok or os.environ.get("NG_INN_VERBOSE")):
            line += "\n      " + detail.replace("\n", "\n      ")
        print(line, flush=True)
        return bool(ok)

    def failed(self):
        return [name for name, ok in self.items if not ok]


def read_ini(path):
    """The sections of an INI file as {section: {key: value}}; {} when missing."""
    sections = {}
    current = None
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for raw in f:
                line = raw.strip()
                if not line or line[0] in ";#":
                    continue
                if line.startswith("[") and line.endswith("]"):
                    current = sections.setdefault(line[1:-1], {})
                elif "=" in line and current is not None:
                    key, _, value = line.partition("=")
                    value = value.strip()
                    if len(value) >= 2 and value[0] == value[-1] == '"':
                        value = value[1:-1]
                    current[key.strip()] = value
    except FileNotFoundError:
        pass
    return sections


def read_lines(path):
    """The lines of a text file without line ends, or None when it is missing."""
    try:
        with open(path, "rb") as f:
            return [line.rstrip(b"\r\n").decode("latin-1") for line in f]
    except FileNotFoundError:
        return None


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


class Scenario:
    """One throwaway profile: settings, working folder and download folder."""

    def __init__(self, base, name, port, groups, auth=None, extra=None):
        self.name = name
        self.root = os.path.join(base, name)
        self.config = os.path.join(self.root, "config")
        self.data = os.path.join(self.root, "data", "newsgleaner")
        self.pictures = os.path.join(self.root, "pictures") + "/"
        self.log = os.path.join(self.root, "download.log")
        self.runs = 0
        for path in (self.config, self.data, self.pictures):
            os.makedirs(path, exist_ok=True)
        settings = {
            "NNTPHost": HOST,
            "NNTPPort": str(port),
            "DownloadDirectory": self.pictures,
            "MinLines": str(MIN_LINES),
            "MaxLines": str(MAX_LINES),
            "SubjectIncl": "jpg",
            "SubjectIncl2": "1/1:01/01",
            "MaxHist": "20000",
            "HistSaveFrequency": "2",
            "EnableLogging": "1",
            "LogFile": self.log,
            "ReadTimeout": "30",
        }
        settings.update(extra or {})
        server = {"UserAuthentication": "0"}
        if auth:
            server = {"UserAuthentication": "1", "Username": auth[0], "Password": auth[1],
                      "PromptForPasswd": "0"}
        with open(os.path.join(self.config, "newsgleaner.ini"), "w") as f:
            f.write("[Newsgleaner]\n")
            f.writelines("%s=%s\n" % kv for kv in settings.items())
            f.write("\n[%s]\n" % HOST)
            f.writelines("%s=%s\n" % kv for kv in server.items())
        with open(os.path.join(self.data, "Groups." + HOST), "w") as f:
            f.writelines(g + "\n" for g in groups)

    def run(self, program):
        """Runs one pass; returns (exit status, output, summary numbers or None)."""
        self.runs += 1
        env = dict(os.environ)
        env.update(XDG_CONFIG_HOME=self.config, XDG_DATA_HOME=os.path.dirname(self.data),
                   HOME=self.root)
        started = time.monotonic()
        try:
            proc = subprocess.run([program, "--plain"], env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  timeout=PASS_TIMEOUT, check=False)
            status, output = proc.returncode, proc.stdout.decode("utf-8", "replace")
        except subprocess.TimeoutExpired as e:
            status = "timeout"
            output = (e.stdout or b"").decode("utf-8", "replace")
        elapsed = time.monotonic() - started
        with open(os.path.join(self.root, "pass-%d.out" % self.runs), "w") as f:
            f.write(output)
        m = SUMMARY.search(output)
        summary = tuple(int(x) for x in m.groups()) if m else None
        print("  [%s pass %d: exit %s in %.2f s]" % (self.name, self.runs, status, elapsed),
              flush=True)
        return status, output, summary

    def marks(self):
        """The high-water marks: the server section without its login keys."""
        section = read_ini(os.path.join(self.config, "newsgleaner.ini")).get(HOST, {})
        login = ("UserAuthentication", "Username", "Password", "PromptForPasswd")
        return {k: v for k, v in section.items() if k not in login}

    def saved_names(self):
        return sorted(os.listdir(self.pictures))

    def history(self):
        return read_lines(os.path.join(self.data, "HistList"))

    def history_backup(self):
        return read_lines(os.path.join(self.data, "~HistList"))

    def stray_pictures(self):
        """Picture files anywhere but the download folder: there must be none."""
        stray = []
        for folder, _, files in os.walk(self.root):
            if os.path.abspath(folder) == os.path.abspath(self.pictures):
                continue
            stray += [os.path.join(folder, n) for n in files if n.lower().endswith(".jpg")]
        return stray


def probe_login(port, user, password, tail):
    """The server's replies to USER, PASS and GROUP when each AUTHINFO line
    ends in `tail` before its CR LF."""
    import socket
    try:
        with socket.create_connection((HOST, port), timeout=5) as s:
            f = s.makefile("rwb")
            f.readline()
            replies = []
            for line in ("AUTHINFO USER " + user + tail, "AUTHINFO PASS " + password + tail,
                         "GROUP ng.test.pictures"):
                f.write(line.encode() + b"\r\n")
                f.flush()
                replies.append(f.readline().decode(errors="replace").split(" ")[0])
            return " ".join(replies)
    except OSError as e:
        return "error: %s" % e


def ended_complete(status, output):
    lines = [l for l in output.splitlines() if l.strip()]
    return status == 0 and "Operation complete" in lines


class Suite:
    def __init__(self, server_dir, program, base):
        self.server = server_dir
        self.program = program
        self.base = base
        self.r = Results()
        with open(os.path.join(server_dir, "manifest.json")) as f:
            self.m = json.load(f)
        self.state = {}
        with open(os.path.join(server_dir, "state")) as f:
            for line in f:
                k, _, v = line.rstrip("\n").partition("=")
                self.state[k] = v
        self.open_port = int(self.state["OPEN_PORT"])
        self.auth_port = int(self.state["AUTH_PORT"])
        self.articles = self.m["articles"]
        self.pictures_group = self.m["pictures_group"]
        self.more_group = self.m["more_group"]
        self.by_file = {a["file"]: a for a in self.articles if a["file"]}

    # -- helpers ------------------------------------------------------------
    def expected_path(self, name):
        return os.path.join(self.server, "expected", name)

    def saved_in_order(self, groups, skip=()):
        """Names the pass should save, in retrieval order: group by group,
        article number order, each file once (later copies are skipped)."""
        names = []
        for group in groups:
            arts = sorted((a for a in self.articles if group in a["numbers"]),
                          key=lambda a: a["numbers"][group])
            for a in arts:
                if a["expect"] != "none" and a["file"] not in names and a["file"] not in skip:
                    names.append(a["file"])
        return names

    def check_pictures(self, sc, names, label):
        for name in names:
            a = self.by_file[name]
            want = read_bytes(self.expected_path(name))
            got = read_bytes(os.path.join(sc.pictures, name))
            if got is None:
                self.r.check("%s: %s saved (%s)" % (label, name, a["kind"]), False, "missing")
            else:
                self.r.check("%s: %s byte for byte (%s)" % (label, name, a["kind"]), got == want,
                             "saved %d bytes, original %d%s" % (
                                 len(got), len(want),
                                 "" if got == want else "; first difference at byte %d" %
                                 next((i for i, (x, y) in enumerate(zip(got, want)) if x != y),
                                      min(len(got), len(want)))))

    # -- preconditions ------------------------------------------------------
    def check_manifest(self):
        lines = {a["file"] or a["subject"]: a["lines"] for a in self.articles}
        ok = all((MIN_LINES <= a["lines"] <= MAX_LINES) == (a["note"] not in (
            "fewer lines than MinLines", "more lines than MaxLines")) for a in self.articles)
        self.r.check("seed: line counts straddle MinLines=%d/MaxLines=%d as intended" %
                     (MIN_LINES, MAX_LINES), ok, repr(lines))
        dot = self.expected_path("granite-dot.jpg")
        size = os.path.getsize(dot)
        self.r.check("seed: granite-dot.jpg is 45*k+14 bytes (last uu line length '.')",
                     size % 45 == 14, "size %d" % size)

    # -- scenarios ----------------------------------------------------------
    def scenario_main(self):
        """Open port, every kind of article, a missing and an empty group;
        then a second pass that finds nothing new."""
        missing = self.m["missing_group"]
        empty = self.m["empty_group"]
        groups = [self.pictures_group, missing, self.more_group, empty]
        sc = Scenario(self.base, "main", self.open_port, groups)
        status, out, summary = sc.run(self.program)
        L = "main"
        self.r.check("%s: pass ends \"Operation complete\" with exit 0" % L,
                     ended_complete(status, out), "exit %s\n%s" % (status, out[-1500:]))

        want = self.saved_in_order([self.pictures_group, self.more_group])
        self.r.check("%s: exactly the expected files saved" % L,
                     sc.saved_names() == sorted(want),
                     "saved %s\nwanted %s" % (sc.saved_names(), sorted(want)))
        self.check_pictures(sc, want, L)
        dot = os.path.join(sc.pictures, "granite-dot.jpg")
        self.r.check("%s: uu picture whose last line holds 14 bytes (dot-stuffed) is exact" % L,
                     read_bytes(dot) == read_bytes(self.expected_path("granite-dot.jpg")))
        for name in ("netscape.jpg", "logo-full.jpg"):
            self.r.check("%s: %s not saved (%s)" % (L, name, self.by_file[name]["note"]),
                         not os.path.exists(os.path.join(sc.pictures, name)))
        self.r.check("%s: no picture written outside the download folder" % L,
                     not sc.stray_pictures(), repr(sc.stray_pictures()))

        # 8 + 6 headers scanned; saved: 7 files from the first group and
        # granite.jpg from the second (the text article without attachment is
        # fetched but saves nothing, and "Articles Saved" counts files). The
        # crossposted twogroups.jpg names its file in the subject (history
        # skip); the crossposted "A rose for two groups" does not (crosspost skip).
        self.r.check("%s: counters scanned 14, saved 8, history skips 1, crossposts 1" % L,
                     summary == (14, 8, 1, 1), "summary %s" % (summary,))
        log = read_lines(sc.log) or []
        twice = [n for n in want if sum(l.startswith(sc.pictures + n + " ->") for l in log) != 1]
        self.r.check("%s: crossposted pictures saved once each" % L,
                     not twice and "twogroups.jpg" in want and "tworoses.jpg" in want,
                     "not exactly once in the log: %s" % twice)

        expected_log = ["%s%s -> %s" % (sc.pictures, n, self.by_file[n]["from"]) for n in want]
        self.r.check("%s: download log has one \"path -> sender\" record per saved file" % L,
                     log == expected_log,
                     "log:\n%s\nexpected:\n%s" % ("\n".join(log), "\n".join(expected_log)))

        hist = sc.history()
        self.r.check("%s: HistList lists the saved files in order, lower case" % L,
                     hist == [n.lower() for n in want], "HistList %s" % hist)
        self.r.check("%s: no ~HistList after a first pass (there was no list to back up)" % L,
                     sc.history_backup() is None, "~HistList %s" % sc.history_backup())

        marks = sc.marks()
        ranges = self.m["ranges"]
        self.r.check("%s: marks set to each group's last article" % L,
                     marks.get(self.pictures_group) == str(ranges[self.pictures_group]["last"])
                     and marks.get(self.more_group) == str(ranges[self.more_group]["last"]),
                     "marks %s" % marks)
        self.r.check("%s: no mark for a group the server does not have (411)" % L,
                     missing not in marks, "marks %s" % marks)
        self.r.check("%s: no mark for an empty group" % L, empty not in marks,
                     "marks %s" % marks)
        self.r.check("%s: the group after the missing one was still read" % L,
                     "granite.jpg" in sc.saved_names())

        # Second pass: nothing new on the server.
        before = {n: read_bytes(os.path.join(sc.pictures, n)) for n in sc.saved_names()}
        log_before = read_lines(sc.log)
        status, out, summary = sc.run(self.program)
        L = "main, second pass"
        self.r.check("%s: ends \"Operation complete\" with exit 0" % L,
                     ended_complete(status, out), "exit %s\n%s" % (status, out[-1500:]))
        self.r.check("%s: nothing scanned or retrieved" % L,
                     summary == (0, 0, 0, 0), "summary %s" % (summary,))
        after = {n: read_bytes(os.path.join(sc.pictures, n)) for n in sc.saved_names()}
        self.r.check("%s: no new or changed files" % L, before == after,
                     "files %s" % sorted(after))
        self.r.check("%s: download log unchanged" % L, read_lines(sc.log) == log_before)
        self.r.check("%s: HistList unchanged" % L, sc.history() == hist,
                     "HistList %s" % sc.history())
        self.r.check("%s: ~HistList holds the list as the pass began" % L,
                     sc.history_backup() == hist, "~HistList %s" % sc.history_backup())
        self.r.check("%s: marks unchanged" % L, sc.marks() == marks, "marks %s" % sc.marks())

    def scenario_history(self):
        """A history from an earlier pass: its names are skipped, backed up
        and logged."""
        sc = Scenario(self.base, "history", self.open_port,
                      [self.pictures_group, self.more_group], extra={"LogHistAct": "yes"})
        old = ["rose.jpg", "WIZARD.JPG", "abc"]
        with open(os.path.join(sc.data, "HistList"), "w") as f:
            f.writelines(n + "\n" for n in old)
        status, out, summary = sc.run(self.program)
        L = "history"
        self.r.check("%s: pass ends \"Operation complete\" with exit 0" % L,
                     ended_complete(status, out), "exit %s\n%s" % (status, out[-1500:]))
        want = self.saved_in_order([self.pictures_group, self.more_group],
                                   skip=("rose.jpg", "wizard.jpg"))
        self.r.check("%s: files named in the history are not fetched again" % L,
                     sc.saved_names() == sorted(want), "saved %s" % sc.saved_names())
        self.r.check("%s: counters scanned 14, saved 6, history skips 3, crossposts 1" % L,
                     summary == (14, 6, 3, 1), "summary %s" % (summary,))
        self.r.check("%s: ~HistList is the list as the pass began" % L,
                     sc.history_backup() == old, "~HistList %s" % sc.history_backup())
        # Loaded names keep their case; names of 3 characters or fewer are dropped.
        expect_hist = ["rose.jpg", "WIZARD.JPG"] + [n.lower() for n in want]
        self.r.check("%s: HistList keeps the old names and adds the new ones" % L,
                     sc.history() == expect_hist, "HistList %s" % sc.history())
        hist_log = read_lines(os.path.join(sc.data, "HistLog.txt"))
        expect_log = ["rose.jpg -- rose.jpg (1/1)",
                      " wizard.jpg -- a wizard - wizard.jpg (1/1)",
                      " twogroups.jpg -- crossposted twogroups.jpg (1/1)"]
        self.r.check("%s: HistLog.txt records each history skip" % L, hist_log == expect_log,
                     "HistLog.txt %s" % hist_log)

    def scenario_login(self):
        user, password = self.state["AUTH_USER"], self.state["AUTH_PASSWORD"]
        groups = [self.pictures_group]

        sc = Scenario(self.base, "login-good", self.auth_port, groups, auth=(user, password))
        status, out, summary = sc.run(self.program)
        L = "login with the right password"
        self.r.check("%s: pass ends \"Operation complete\" with exit 0" % L,
                     ended_complete(status, out), "exit %s\n%s" % (status, out[-1500:]))
        want = self.saved_in_order(groups)
        same = [n for n in want if read_bytes(os.path.join(sc.pictures, n)) is not None and
                read_bytes(os.path.join(sc.pictures, n)).startswith(
                    read_bytes(self.expected_path(n)))]
        ok = self.r.check("%s: every picture of the group saved intact" % L,
                          sc.saved_names() == sorted(want) and same == want,
                          "saved %s\nwanted %s" % (sc.saved_names(), sorted(want)))
        ok &= self.r.check("%s: mark set" % L, sc.marks().get(self.pictures_group) ==
                           str(self.m["ranges"][self.pictures_group]["last"]),
                           "marks %s" % sc.marks())
        if not ok:
            print("      Diagnosis, the login lines sent by hand:\n" + "\n".join(
                "        %-34s -> %s" % (what, probe_login(self.auth_port, user, password, tail))
                for what, tail in (("with a blank before CR LF", " "),
                                   ("without it", ""))), flush=True)

        # INN answers a wrong password with 481. The client goes on as if
        # logged in (only 482 and 502 end the pass); every GROUP then meets
        # 480 and is skipped like a group the server does not have.
        sc = Scenario(self.base, "login-bad", self.auth_port,
                      [self.pictures_group, self.more_group], auth=(user, password + "x"))
        status, out, summary = sc.run(self.program)
        L = "login with a wrong password"
        self.r.check("%s: the pass goes on after 481 and ends \"Operation complete\"" % L,
                     ended_complete(status, out) and "Authentication failed" not in out,
                     "exit %s\n%s" % (status, out[-1500:]))
        self.r.check("%s: no group is read" % L,
                     summary == (0, 0, 0, 0) and "Retrieving" not in out,
                     "summary %s" % (summary,))
        self.r.check("%s: nothing saved, nothing logged" % L,
                     sc.saved_names() == [] and read_lines(sc.log) is None,
                     "saved %s" % sc.saved_names())
        marks = sc.marks()
        self.r.check("%s: marks not written" % L,
                     self.pictures_group not in marks and self.more_group not in marks,
                     "marks %s" % marks)
        self.r.check("%s: history stays empty" % L, not sc.history(),
                     "HistList %s" % sc.history())


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    default_pass = os.path.join(os.environ.get("NG_BUILD_DIR", os.path.join(root, "build")),
                                "src", "pass", "newsgleaner-pass")
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--server", required=True, help="server folder made by scripts/inn/setup")
    ap.add_argument("--pass", dest="program",
                    default=os.environ.get("NG_PASS_PROGRAM", default_pass),
                    help="newsgleaner-pass to test (default: %(default)s)")
    ap.add_argument("--keep", action="store_true", help="keep the scenario folders")
    args = ap.parse_args()

    program = os.path.abspath(args.program)
    if not os.access(program, os.X_OK):
        print("FAIL: newsgleaner-pass not found at %s (build it, or pass --pass)" % program)
        return 1
    base = tempfile.mkdtemp(prefix="ng-inn-tests.")
    suite = Suite(os.path.abspath(args.server), program, base)
    print("Testing %s against INN in %s (open port %d, login port %d)" %
          (program, suite.server, suite.open_port, suite.auth_port), flush=True)
    suite.check_manifest()
    import posts_test  # today's posts, in a module of their own
    scenarios = (suite.scenario_main, suite.scenario_history, suite.scenario_login,
                 lambda: posts_test.scenario_posts(suite))
    for scenario in scenarios:
        try:
            scenario()
        except Exception as e:  # a broken scenario is a failure, not a crash of the run
            suite.r.check("%s ran to its end" % getattr(scenario, "__name__", "posts"), False,
                          repr(e))

    failed = suite.r.failed()
    total = len(suite.r.items)
    print()
    if failed:
        print("INN tests: %d of %d checks FAILED:" % (len(failed), total))
        for name in failed:
            print("  FAIL: " + name)
        print("Scenario folders kept in %s" % base)
        return 1
    print("INN tests: all %d checks passed" % total)
    if args.keep:
        print("Scenario folders kept in %s" % base)
    else:
        shutil.rmtree(base, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
