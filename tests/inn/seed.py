#!/usr/bin/env python3
"""Fills the test news server that scripts/inn/setup started with articles
made by real encoders, and writes what the tests should expect.

    seed.py DIR

Runs as root (it injects with rnews as user news). Pictures come from
ImageMagick's built-in images; they are encoded with sharutils' uuencode,
with mpack, and with Python's email package. The original pictures go to
DIR/expected/, the description of every article to DIR/manifest.json, with
the article numbers and line counts the server gave them.
"""

import email.policy
import email.utils
import json
import os
import secrets
import shutil
import socket
import subprocess
import sys
from email.message import EmailMessage

import seed_posts

INN_BIN = "/usr/lib/news/bin"

PICTURES = "ng.test.pictures"
MORE = "ng.test.more"
EMPTY = "ng.test.empty"
GROUPS = [PICTURES, MORE, EMPTY, seed_posts.GROUP]


def read_state(dir_):
    state = {}
    with open(os.path.join(dir_, "state")) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            state[key] = value
    return state


def as_news(dir_, argv, **kwargs):
    env = {
        "PATH": INN_BIN + ":/usr/bin:/bin",
        "HOME": dir_,
        "INNCONF": os.path.join(dir_, "etc", "inn.conf"),
    }
    return subprocess.run(
        ["setpriv", "--reuid=news", "--regid=news", "--init-groups"] + argv,
        env=env, check=False, capture_output=True, timeout=30, **kwargs)


def run(argv, **kwargs):
    return subprocess.run(argv, check=True, capture_output=True, timeout=30, **kwargs)


class Seeder:
    def __init__(self, dir_):
        self.dir = dir_
        self.work = os.path.join(dir_, "seed-work")
        self.expected = os.path.join(dir_, "expected")
        os.makedirs(self.work, exist_ok=True)
        os.makedirs(self.expected, exist_ok=True)
        # Message-IDs unique to this server, so a rerun never meets duplicates.
        self.token = secrets.token_hex(4)
        self.count = 0
        self.articles = []  # manifest entries
        self.batch = bytearray()

    # -- pictures ---------------------------------------------------------
    def picture(self, name, *convert_args):
        """A JPEG from ImageMagick, kept in expected/ as the reference."""
        path = os.path.join(self.expected, name)
        run(["convert", *convert_args, path])
        os.chmod(path, 0o644)
        return path

    def padded_picture(self, name, source, remainder):
        """A JPEG whose size is 45*k + remainder bytes: a comment segment
        right after the start marker takes up the difference, so the file
        stays a valid picture."""
        with open(source, "rb") as f:
            data = f.read()
        assert data[:2] == b"\xff\xd8"
        pad = 1
        while (len(data) + 4 + pad) % 45 != remainder:
            pad += 1
        comment = (b"newsgleaner test padding " * 4)[:pad].ljust(pad, b".")
        segment = b"\xff\xfe" + (len(comment) + 2).to_bytes(2, "big") + comment
        padded = data[:2] + segment + data[2:]
        path = os.path.join(self.expected, name)
        with open(path, "wb") as f:
            f.write(padded)
        os.chmod(path, 0o644)
        return path

    # -- articles ---------------------------------------------------------
    def headers(self, groups, subject, sender):
        self.count += 1
        msgid = "<ng-%s-%d@ngtest.localdomain>" % (self.token, self.count)
        lines = [
            "Path: ngtest.localdomain!not-for-mail",
            "From: " + sender,
            "Newsgroups: " + ",".join(groups),
            "Subject: " + subject,
            "Message-ID: " + msgid,
            "Date: " + email.utils.formatdate(usegmt=True),
        ]
        return msgid, lines

    def add(self, kind, groups, subject, sender, body, extra_headers=(), file=None,
            expect="none", note=""):
        """Queues one article for the batch. body: bytes, LF line ends."""
        msgid, lines = self.headers(groups, subject, sender)
        head = "\n".join(lines + list(extra_headers)) + "\n\n"
        article = head.encode() + body
        if not article.endswith(b"\n"):
            article += b"\n"
        self.batch += b"#! rnews %d\n" % len(article) + article
        self.articles.append({
            "kind": kind,
            "message_id": msgid,
            "groups": groups,
            "subject": subject,
            "from": sender,
            "file": os.path.basename(file) if file else None,
            "expect": expect,  # "exact" or "none"
            "body_lines": body.count(b"\n"),
            "note": note,
        })
        return msgid

    def uu(self, groups, subject, sender, picture, name=None, text_before="", **kw):
        name = name or os.path.basename(picture)
        encoded = run(["uuencode", picture, name]).stdout
        body = text_before.encode() + encoded
        return self.add("uu", groups, subject, sender, body, file=name,
                        expect=kw.pop("expect", "exact"), **kw)

    def mpack(self, groups, subject, sender, picture, description=None, **kw):
        out = os.path.join(self.work, "mpack-%d.txt" % (self.count + 1))
        argv = ["mpack", "-s", subject, "-o", out]
        if description is not None:
            desc = os.path.join(self.work, "desc-%d.txt" % (self.count + 1))
            with open(desc, "w") as f:
                f.write(description)
            argv += ["-d", desc]
        run(argv + [picture], cwd=os.path.dirname(picture))
        with open(out, "rb") as f:
            message = f.read().replace(b"\r\n", b"\n")
        head, _, body = message.partition(b"\n\n")
        # Keep mpack's MIME headers; the news headers are ours.
        mime = [h for h in head.decode().split("\n")
                if h.lower().startswith(("mime-version:", "content-type:"))]
        assert any("boundary" in h for h in mime), "mpack wrote no multipart message"
        return self.add("mpack", groups, subject, sender, body, extra_headers=mime,
                        file=os.path.basename(picture), expect="exact", **kw)

    def email_mime(self, groups, subject, sender, picture, filename, boundary, **kw):
        msg = EmailMessage(policy=email.policy.default)
        msg.set_content("A picture made for the newsgleaner tests.\n")
        with open(picture, "rb") as f:
            msg.add_attachment(f.read(), maintype="image", subtype="jpeg", filename=filename)
        msg.set_boundary(boundary)
        raw = msg.as_bytes(policy=email.policy.default.clone(linesep="\n"))
        head, _, body = raw.partition(b"\n\n")
        mime = [h for h in head.decode().split("\n")
                if h.lower().startswith(("mime-version:", "content-type:"))]
        return self.add("email", groups, subject, sender, body, extra_headers=mime,
                        file=filename, expect="exact", **kw)

    def text(self, groups, subject, sender, nlines, **kw):
        body = "".join("Line %d of a plain text article without pictures.\n" % (i + 1)
                       for i in range(nlines)).encode()
        return self.add("text", groups, subject, sender, body, expect="none", **kw)

    # -- server -----------------------------------------------------------
    def create_groups(self):
        for group in GROUPS:
            r = as_news(self.dir, [INN_BIN + "/ctlinnd", "-t", "10", "newgroup", group, "y",
                                   "ngtest"])
            if r.returncode != 0:
                sys.exit("seed: ctlinnd newgroup %s failed: %s" %
                         (group, (r.stdout + r.stderr).decode(errors="replace")))

    def inject(self):
        batch = os.path.join(self.work, "batch")
        with open(batch, "wb") as f:
            f.write(self.batch)
        os.chmod(self.work, 0o755)
        os.chmod(batch, 0o644)
        r = as_news(self.dir, [INN_BIN + "/rnews", "-N", batch])
        if r.returncode != 0:
            sys.exit("seed: rnews failed: %s" % (r.stdout + r.stderr).decode(errors="replace"))

    def collect_numbers(self, port):
        """Asks the server where each article went: rnews exits 0 even when
        it refuses an article, so this is the only proof of the injection."""
        by_id = {a["message_id"]: a for a in self.articles}
        for a in self.articles:
            a["numbers"] = {}
        ranges = {}
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            f = s.makefile("rwb")

            def command(line):
                f.write(line.encode() + b"\r\n")
                f.flush()
                return f.readline().decode(errors="replace").rstrip("\r\n")

            def block():
                lines = []
                while True:
                    line = f.readline()
                    if not line:
                        raise SystemExit("seed: connection closed during a reply")
                    line = line.decode(errors="replace").rstrip("\r\n")
                    if line == ".":
                        return lines
                    lines.append(line[1:] if line.startswith("..") else line)

            if not f.readline().startswith(b"200"):
                sys.exit("seed: the server did not greet with 200")
            for group in GROUPS:
                reply = command("GROUP " + group)
                if not reply.startswith("211 "):
                    sys.exit("seed: GROUP %s answered %s" % (group, reply))
                count, first, last = (int(x) for x in reply.split()[1:4])
                ranges[group] = {"count": count, "first": first, "last": last}
                if count == 0:
                    continue
                reply = command("XOVER %d-%d" % (first, last))
                if not reply.startswith("224"):
                    sys.exit("seed: XOVER in %s answered %s" % (group, reply))
                for line in block():
                    fields = line.split("\t")
                    article = by_id.get(fields[4])
                    if article is None:
                        sys.exit("seed: unknown article %s in %s" % (fields[4], group))
                    article["numbers"][group] = int(fields[0])
                    article["lines"] = int(fields[7])
            command("QUIT")
        missing = [(a["message_id"], g) for a in self.articles for g in a["groups"]
                   if g not in a["numbers"]]
        if missing:
            sys.exit("seed: the server refused or misfiled %s (see %s/log)" %
                     (missing, self.dir))
        return ranges


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: seed.py DIR")
    dir_ = os.path.abspath(sys.argv[1])
    state = read_state(dir_)
    s = Seeder(dir_)
    s.create_groups()

    work = s.work
    poster = "Picture Poster <poster@example.invalid>"

    rose = s.picture("rose.jpg", "rose:")
    s.uu([PICTURES], "rose.jpg (1/1)", "Rose Grower <rose@example.invalid>", rose)

    wizard = s.picture("wizard.jpg", "wizard:", "-resize", "40%")
    s.uu([PICTURES], "A wizard - wizard.jpg (1/1)", poster, wizard,
         text_before="The wizard, uuencoded.\n\n")

    # The last uu line of this one holds 14 bytes: its length character is
    # ".", so the server sends that line with its dot doubled.
    granite_src = os.path.join(work, "granite-src.jpg")
    run(["convert", "granite:", granite_src])
    granite = s.padded_picture("granite-dot.jpg", granite_src, 14)
    s.uu([PICTURES], "granite-dot.jpg (1/1) last uu line starts with a dot",
         "Stone Mason <stone@example.invalid>", granite,
         note="size 45*k+14: last uu line begins with '.'")

    logo = s.picture("logo-small.jpg", "logo:", "-resize", "25%")
    s.mpack([PICTURES], "logo-small.jpg (1/1) sent with mpack",
            "Logo Maker <logo@example.invalid>", logo)

    large = s.picture("rose-large.jpg", "rose:", "-resize", "300%")
    s.email_mime([PICTURES], "Large rose in MIME (1/1) .jpg",
                 "Mime Sender <mime@example.invalid>", large, "rose-large.jpg",
                 "----=_NG_Part_0001_" + s.token)

    # One article in two groups whose subject names its file: the second
    # copy meets the history test.
    twogroups = s.picture("twogroups.jpg", "wizard:", "-resize", "20%")
    s.uu([PICTURES, MORE], "Crossposted twogroups.jpg (1/1)", poster, twogroups)
    # One whose subject does not name its file: the second copy is a crosspost.
    tworoses = s.picture("tworoses.jpg", "rose:", "-resize", "150%")
    s.uu([PICTURES, MORE], "A rose for two groups (1/1) .jpg", poster, tworoses)

    s.text([PICTURES], "Short chat about .jpg (1/1) posts", poster, 5,
           note="fewer lines than MinLines")

    granite2 = s.picture("granite.jpg", "granite:", "-resize", "150%")
    s.mpack([MORE], "granite.jpg (1/1) mpack with a description",
            "Logo Maker <logo@example.invalid>", granite2,
            description="A granite texture, with a text part before the picture.\n")

    netscape = s.picture("netscape.jpg", "netscape:")
    s.uu([MORE], "netscape.jpg (1/2)", poster, netscape, expect="none",
         note="part 1/2: fails the second subject list")

    full = s.picture("logo-full.jpg", "logo:")
    s.uu([MORE], "logo-full.jpg (1/1) too many lines", poster, full, expect="none",
         note="more lines than MaxLines")

    s.text([MORE], "Wanted: tulips .jpg (1/1) in colour", poster, 40,
           note="passes the filters but carries no attachment")

    seed_posts.seed_posts(s)

    s.inject()
    ranges = s.collect_numbers(int(state["OPEN_PORT"]))

    manifest = {
        "groups": GROUPS,
        "pictures_group": PICTURES,
        "more_group": MORE,
        "empty_group": EMPTY,
        "missing_group": "ng.test.nosuchgroup",
        "posts_group": seed_posts.GROUP,
        "ranges": ranges,
        "articles": s.articles,
    }
    with open(os.path.join(dir_, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)
    os.chmod(os.path.join(dir_, "manifest.json"), 0o644)
    for name in os.listdir(s.expected):
        os.chmod(os.path.join(s.expected, name), 0o644)
    os.chmod(s.expected, 0o755)
    shutil.rmtree(work, ignore_errors=True)
    print("Seeded %d articles: %s" % (
        len(s.articles),
        ", ".join("%s %d-%d" % (g, r["first"], r["last"]) for g, r in ranges.items())))


if __name__ == "__main__":
    main()
