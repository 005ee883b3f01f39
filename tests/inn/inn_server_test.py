#!/usr/bin/env python3
"""End-to-end tests of today's servers against INN: TLS from the first byte
and after STARTTLS, refused certificates, compression, and a big group.

    inn_server_test.py --server DIR [--pass PATH] [--relay PATH] [--keep]

DIR is a server folder made by scripts/inn/setup and scripts/inn/setup-tls
(running, seeded). The recording relay (tools/newsgleaner-relay) sits in
front of INN where a check needs the client's bytes. Prints one PASS/FAIL or
NOTE line per check; exits 1 when any check failed.
"""

import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import inn_pass_test as base
from seed import INN_BIN, as_news

BIG_GROUP = "ng.test.big"
BIG_COUNT = 100000
BIG_MEMORY_LIMIT_MB = 200


class Relay:
    """The recording relay in front of a port, for one check."""

    def __init__(self, program, port, folder, extra=()):
        self.record = os.path.join(folder, "client-bytes")
        port_file = os.path.join(folder, "relay-port")
        self.proc = subprocess.Popen(
            [program, "--port", "0", "--port-file", port_file, "--target", "127.0.0.1:%d" % port,
             "--record", self.record, "--lifetime", "120", "--quiet"] + list(extra))
        self.port = 0
        for _ in range(200):
            try:
                with open(port_file) as f:
                    self.port = int(f.read().strip() or 0)
            except (OSError, ValueError):
                pass
            if self.port:
                break
            time.sleep(0.025)

    def recorded(self):
        return base.read_bytes(self.record) or b""

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


def tls_record_types(data):
    """The content types of the TLS records in what a client sent."""
    types, at = [], 0
    while at + 5 <= len(data):
        types.append(data[at])
        at += 5 + int.from_bytes(data[at + 3:at + 5], "big")
    return types


def capabilities(port):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        f = s.makefile("rwb")
        f.readline()
        f.write(b"CAPABILITIES\r\n")
        f.flush()
        lines = []
        if f.readline().startswith(b"101"):
            for line in iter(f.readline, b".\r\n"):
                if not line:
                    break
                lines.append(line.decode(errors="replace").strip())
        f.write(b"QUIT\r\n")
        f.flush()
        return lines


def run_measured(sc, program):
    """Runs one pass; (exit status, output, peak resident memory in MB, seconds)."""
    env = dict(os.environ, XDG_CONFIG_HOME=sc.config, XDG_DATA_HOME=os.path.dirname(sc.data),
               HOME=sc.root)
    started = time.monotonic()
    proc = subprocess.Popen([program, "--plain"], env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = proc.stdout.read().decode("utf-8", "replace")
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return proc.returncode, output, usage.ru_maxrss / 1024.0, time.monotonic() - started


def reader_children(parent):
    """The PIDs of the nnrpd processes innd (PID `parent`) started for readers."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        name = stat[stat.find("(") + 1:stat.rfind(")")]
        fields = stat[stat.rfind(")") + 2:].split()
        if name == "nnrpd" and fields[1] == str(parent):
            pids.append(int(entry))
    return pids


def inject_big_group(server):
    """BIG_COUNT small articles in one rnews batch; the time it took."""
    started = time.monotonic()
    r = as_news(server, [INN_BIN + "/ctlinnd", "-t", "10", "newgroup", BIG_GROUP, "y", "ngtest"])
    if r.returncode != 0:
        raise RuntimeError("newgroup failed: %s" % (r.stdout + r.stderr).decode(errors="replace"))
    work = os.path.join(server, "big-work")
    os.makedirs(work, exist_ok=True)
    os.chmod(work, 0o755)
    batch = os.path.join(work, "batch")
    stamp = "Mon, 1 Jan 2024 00:00:00 +0000"
    with open(batch, "wb") as f:
        for n in range(BIG_COUNT):
            article = ("Path: ngtest\nFrom: Poster <poster@example.invalid>\nNewsgroups: %s\n"
                       "Subject: picture %d of many.jpg (1/1)\nMessage-ID: <big-%d@ngtest>\n"
                       "Date: %s\n\nshort\n" % (BIG_GROUP, n, n, stamp)).encode()
            f.write(b"#! rnews %d\n" % len(article) + article)
    os.chmod(batch, 0o644)
    r = subprocess.run(["setpriv", "--reuid=news", "--regid=news", "--init-groups",
                        INN_BIN + "/rnews", "-N", batch],
                       env={"PATH": INN_BIN + ":/usr/bin:/bin", "HOME": server,
                            "INNCONF": os.path.join(server, "etc", "inn.conf")},
                       capture_output=True, timeout=600, check=False)
    if r.returncode != 0:
        raise RuntimeError("rnews failed: %s" % (r.stdout + r.stderr).decode(errors="replace"))
    shutil.rmtree(work, ignore_errors=True)
    return time.monotonic() - started


class ServerSuite(base.Suite):
    def __init__(self, server, program, relay, folder):
        super().__init__(server, program, folder)
        self.relay_program = relay
        self.ca = self.state["TLS_CA"]
        self.login = (self.state["AUTH_USER"], self.state["AUTH_PASSWORD"])

    def picture_names(self):
        return self.saved_in_order([self.pictures_group])

    def scenario_tls(self):
        for name, port, extra, auth in (
                ("implicit TLS", int(self.state["TLS_PORT"]),
                 {"NNTPSecurity": "tls", "TLSCAFile": self.ca}, None),
                ("STARTTLS with a login", int(self.state["STARTTLS_PORT"]),
                 {"NNTPSecurity": "starttls", "TLSCAFile": self.ca}, self.login)):
            sc = base.Scenario(self.base, name.replace(" ", "-"), port, [self.pictures_group],
                               auth=auth, extra=extra)
            status, output, _ = sc.run(self.program)
            self.r.check("%s: pass ends \"Operation complete\"" % name,
                         base.ended_complete(status, output), output)
            self.check_pictures(sc, self.picture_names(), name)

    def scenario_refused_certificates(self):
        cases = (
            ("an unknown authority", int(self.state["TLS_PORT"]), {"NNTPSecurity": "tls"},
             "Can't connect to server securely: certificate not trusted"),
            ("another host's certificate", int(self.state["WRONGNAME_PORT"]),
             {"NNTPSecurity": "tls", "TLSCAFile": self.ca},
             "Can't connect to server securely: host name does not match"),
        )
        for name, port, extra, status_text in cases:
            folder = os.path.join(self.base, "relay-" + str(port))
            os.makedirs(folder, exist_ok=True)
            relay = Relay(self.relay_program, port, folder)
            sc = base.Scenario(self.base, "refused-" + str(port), relay.port,
                               [self.pictures_group], auth=self.login, extra=extra)
            status, output, _ = sc.run(self.program)
            relay.stop()
            self.r.check("%s: the pass ends with \"%s\" and status 1" % (name, status_text),
                         status == 1 and status_text in output, output)
            # Only handshake records and alerts left the client: no login,
            # no command at all went to the server it did not trust.
            types = tls_record_types(relay.recorded())
            self.r.check("%s: no application data (no AUTHINFO) sent" % name,
                         types and set(types) <= {20, 21, 22}, "TLS record types %s" % types)
            self.r.check("%s: nothing saved" % name, sc.saved_names() == [], sc.saved_names())

    def scenario_compression(self):
        offered = capabilities(self.open_port)
        self.r.check("INN lists COMPRESS DEFLATE", "COMPRESS DEFLATE" in offered, offered)
        for compress in ("1", "0"):
            folder = os.path.join(self.base, "relay-compress-" + compress)
            os.makedirs(folder, exist_ok=True)
            relay = Relay(self.relay_program, self.open_port, folder)
            sc = base.Scenario(self.base, "compress-" + compress, relay.port,
                               [self.pictures_group], extra={"NNTPCompress": compress})
            status, output, _ = sc.run(self.program)
            relay.stop()
            sent = relay.recorded()
            label = "NNTPCompress=%s" % compress
            self.r.check("%s: pass ends \"Operation complete\"" % label,
                         base.ended_complete(status, output), output)
            self.check_pictures(sc, self.picture_names(), label)
            if compress == "1":
                self.r.check("%s: CAPABILITIES, COMPRESS DEFLATE, then compressed commands" % label,
                             sent.startswith(b"CAPABILITIES\r\nCOMPRESS DEFLATE\r\n")
                             and b"GROUP " not in sent, sent[:120])
            else:
                self.r.check("%s: plain commands only" % label,
                             sent.startswith(b"GROUP " + self.pictures_group.encode()), sent[:120])

    def scenario_cut_sessions(self):
        """The server's reader processes stopped twice in the middle of a
        pass: the pass reconnects, says so, and saves what a clean pass saves."""
        folder = os.path.join(self.base, "relay-cut")
        os.makedirs(folder, exist_ok=True)
        # A slow line, so that the pass is still fetching when its session goes.
        relay = Relay(self.relay_program, self.open_port, folder, ("--connection-rate", "40k"))
        sc = base.Scenario(self.base, "cut", relay.port, [self.pictures_group],
                           extra={"ConnectRetries": "3", "RetryWait": "1", "NNTPCompress": "0"})
        env = dict(os.environ, XDG_CONFIG_HOME=sc.config, XDG_DATA_HOME=os.path.dirname(sc.data),
                   HOME=sc.root)
        proc = subprocess.Popen([self.program, "--plain"], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(
            l.decode("utf-8", "replace") for l in proc.stdout), daemon=True)
        reader.start()
        innd = int(self.state["INND_PID"])
        cuts, last_cut, deadline = 0, 0.0, time.monotonic() + 90
        while proc.poll() is None and time.monotonic() < deadline:
            time.sleep(0.1)
            fetching = any("files from" in l for l in list(lines))
            if cuts < 2 and fetching and time.monotonic() - last_cut > 2.5:
                killed = reader_children(innd)
                for pid in killed:
                    os.kill(pid, signal.SIGTERM)
                cuts += 1 if killed else 0
                last_cut = time.monotonic()
        if proc.poll() is None:
            proc.kill()
        proc.wait()
        reader.join(timeout=10)
        relay.stop()
        output = "".join(lines)
        label = "nnrpd stopped mid-pass"
        self.r.check("%s: stopped twice while fetching" % label, cuts == 2, output[-1500:])
        self.r.check("%s: the status says it reconnects" % label,
                     "Connection lost, retrying in 1 s (1 of 3)" in output, output[-1500:])
        self.r.check("%s: pass ends \"Operation complete\" with exit 0" % label,
                     base.ended_complete(proc.returncode, output),
                     "exit %s\n%s" % (proc.returncode, output[-1500:]))
        want = self.picture_names()
        self.r.check("%s: exactly the pictures of a clean pass, each once" % label,
                     sc.saved_names() == sorted(want), "saved %s" % sc.saved_names())
        self.check_pictures(sc, want, label)
        self.r.check("%s: marked up to the group's last article" % label,
                     sc.marks().get(self.pictures_group) ==
                     str(self.m["ranges"][self.pictures_group]["last"]), sc.marks())

    def scenario_big_group(self):
        seconds = inject_big_group(self.server)
        print("NOTE: %d articles injected with rnews in %.1f s" % (BIG_COUNT, seconds), flush=True)
        filters = {"MinLines": "100000"}  # nothing fetched: the overview and the mark matter
        sc = base.Scenario(self.base, "big", self.open_port, [BIG_GROUP], extra=filters)
        status, output, peak, took = run_measured(sc, self.program)
        print("NOTE: first visit to %d overview lines: peak memory %.0f MB, %.1f s" %
              (BIG_COUNT, peak, took), flush=True)
        self.r.check("big group: pass ends \"Operation complete\"",
                     base.ended_complete(status, output), output[-2000:])
        self.r.check("big group: every overview line scanned",
                     "Articles Scanned: %d," % BIG_COUNT in output, output[-500:])
        self.r.check("big group: peak memory under %d MB" % BIG_MEMORY_LIMIT_MB,
                     peak < BIG_MEMORY_LIMIT_MB, "%.0f MB" % peak)
        self.r.check("big group: marked up to its last article",
                     sc.marks().get(BIG_GROUP) == str(BIG_COUNT), sc.marks())
        newest = base.Scenario(self.base, "big-newest", self.open_port, [BIG_GROUP],
                               extra=dict(filters, FirstVisitMax="1000"))
        status, output, _ = newest.run(self.program)
        self.r.check("FirstVisitMax=1000: only the newest 1000 scanned, mark at the last",
                     base.ended_complete(status, output) and "Articles Scanned: 1000," in output
                     and newest.marks().get(BIG_GROUP) == str(BIG_COUNT), output[-500:])


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build = os.environ.get("NG_BUILD_DIR", os.path.join(root, "build"))
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--server", required=True)
    ap.add_argument("--pass", dest="program",
                    default=os.path.join(build, "src", "pass", "newsgleaner-pass"))
    ap.add_argument("--relay", default=os.path.join(build, "tools", "newsgleaner-relay"))
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()
    for path in (args.program, args.relay):
        if not os.access(path, os.X_OK):
            print("FAIL: %s is not built" % path)
            return 1
    folder = tempfile.mkdtemp(prefix="ng-inn-servers.")
    suite = ServerSuite(os.path.abspath(args.server), os.path.abspath(args.program),
                        os.path.abspath(args.relay), folder)
    for scenario in (suite.scenario_tls, suite.scenario_refused_certificates,
                     suite.scenario_compression, suite.scenario_cut_sessions,
                     suite.scenario_big_group):
        try:
            scenario()
        except Exception as e:  # a broken scenario is a failure, not a crash of the run
            suite.r.check("%s ran to its end" % scenario.__name__, False, repr(e))
    failed = suite.r.failed()
    print()
    if failed:
        print("INN server tests: %d of %d checks FAILED" % (len(failed), len(suite.r.items)))
        print("Scenario folders kept in %s" % folder)
        return 1
    print("INN server tests: all %d checks passed" % len(suite.r.items))
    if not args.keep:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
