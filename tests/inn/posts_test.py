"""The INN run's scenario for today's posts (seeded by seed_posts.py):
yEnc, pictures split over several articles, PNG and GIF in base64, a
repost of the same picture, a damaged post, and a post whose last part
arrives between two passes."""

import os
import socket

import seed_posts
from inn_pass_test import Scenario, ended_complete, read_bytes, read_lines

HOST = "127.0.0.1"


def post_article(port, text):
    """Posts an article through nnrpd; the server's reply to it."""
    with socket.create_connection((HOST, port), timeout=10) as s:
        f = s.makefile("rwb")
        f.readline()
        f.write(b"POST\r\n")
        f.flush()
        if not f.readline().startswith(b"340"):
            return "POST refused"
        for line in text.split(b"\n"):
            f.write((b"." if line.startswith(b".") else b"") + line + b"\r\n")
        f.write(b".\r\n")
        f.flush()
        return f.readline().decode(errors="replace").strip()


def scenario_posts(suite):
    group = suite.m["posts_group"]
    r = suite.r
    sc = Scenario(suite.base, "posts", suite.open_port, [group],
                  extra={"SubjectIncl": "", "SubjectIncl2": "", "MaxLines": "5000",
                         "LogHistAct": "yes"})
    status, out, summary = sc.run(suite.program)
    L = "posts"
    r.check("%s: pass ends \"Operation complete\" with exit 0" % L, ended_complete(status, out),
            "exit %s\n%s" % (status, out[-1500:]))
    want = ["yenc-rose.jpg", "plasma-3.jpg", "uu-parts.jpg", "flower.png", "spinner.gif"]
    r.check("%s: exactly the whole pictures saved" % L, sc.saved_names() == sorted(want),
            "saved %s" % sc.saved_names())
    for name in want:
        got, wanted = read_bytes(os.path.join(sc.pictures, name)), read_bytes(
            suite.expected_path(name))
        r.check("%s: %s byte for byte" % (L, name), got is not None and got == wanted,
                "saved %s bytes, original %s" % (len(got or b""), len(wanted or b"")))
    r.check("%s: the repost under another name is a history skip, logged as a duplicate" % L,
            "rose-again.jpg -- duplicate of yenc-rose.jpg" in (
                read_lines(os.path.join(sc.data, "HistLog.txt")) or []),
            "HistLog.txt %s" % read_lines(os.path.join(sc.data, "HistLog.txt")))
    r.check("%s: the post with a wrong CRC is reported as damaged and not saved" % L,
            "Damaged post, not saved: badcrc.jpg" in out and "badcrc.jpg" not in sc.history(),
            out[-1500:])
    parts = os.path.join(sc.data, ".parts")
    kept = [f for _, _, files in os.walk(parts) for f in files]
    r.check("%s: the incomplete post waits in the work folder" % L,
            "state" in kept and not os.path.exists(os.path.join(sc.pictures, "late.jpg")),
            "work folder %s" % kept)

    with open(os.path.join(suite.server, seed_posts.LATE_PART), "rb") as f:
        last = f.read()
    head = b"From: Part Poster <parts@example.invalid>\nNewsgroups: %s\n" % group.encode()
    reply = post_article(suite.open_port, head + last)
    r.check("%s: the last part is posted between the passes" % L, reply.startswith("240"), reply)
    status, out, summary = sc.run(suite.program)
    L = "posts, second pass"
    r.check("%s: ends \"Operation complete\" with exit 0" % L, ended_complete(status, out),
            "exit %s\n%s" % (status, out[-1500:]))
    r.check("%s: the post is joined once its last part came: late.jpg byte for byte" % L,
            read_bytes(os.path.join(sc.pictures, "late.jpg")) ==
            read_bytes(suite.expected_path("late.jpg")))
    r.check("%s: only the last part was fetched" % L, summary is not None and summary[1] == 1,
            "summary %s" % (summary,))
    kept = [f for _, _, files in os.walk(parts) for f in files]
    r.check("%s: the work folder is empty again" % L, not kept, "work folder %s" % kept)
