"""Today's posts for the INN run: yEnc and pictures split over several
articles, made by Debian's uudeview (uuenview), and PNG/GIF in base64 made
by Python's email package. Called by seed.py; everything goes into a group
of its own, so the older scenarios see nothing of it.

Each file the pass should save is kept in DIR/expected/ under the name the
pass should give it. The last part of one post is kept back in
DIR/posts-late-part.txt: the test posts it between two passes.
"""

import email.policy
import os
import re
import subprocess
from email.message import EmailMessage

# Outside "ng.test", which the group select dialog's INN test counts.
GROUP = "ng.binaries.posts"
LATE_PART = "posts-late-part.txt"


def uuenview(seeder, kind, path, lines=None):
    """uuenview's parts of the file (-y yEnc, -u uu), as bytes, in order."""
    out = os.path.join(seeder.work, "uue-%d" % (seeder.count + 1))
    os.makedirs(out, exist_ok=True)
    argv = ["uuenview", kind] + (["-%d" % lines] if lines else []) + ["-od", out, path]
    subprocess.run(argv, check=True, capture_output=True, timeout=30)
    names = sorted(os.listdir(out))
    parts = []
    for name in names:
        with open(os.path.join(out, name), "rb") as f:
            parts.append(f.read())
    return parts


def lines_for_parts(path, per_line, count):
    """Lines per part that cut the file into `count` parts (uuenview takes 200 or more)."""
    total = -(-os.path.getsize(path) // per_line)
    return max(200, -(-total // count))


def post_parts(seeder, subject, parts, expect, note):
    """One article per part; the subject's "(n/N)" counts them."""
    for n, body in enumerate(parts, 1):
        seeder.add("posts", [GROUP], subject % (n, len(parts)), "Part Poster <parts@example.invalid>",
                   body, file=None, expect="none", note=note)
    seeder.articles[-1]["file"] = expect
    seeder.articles[-1]["expect"] = "posts"


def email_base64(seeder, path, subtype, filename, subject):
    msg = EmailMessage(policy=email.policy.default)
    msg.set_content("A picture made for the newsgleaner tests.\n")
    with open(path, "rb") as f:
        msg.add_attachment(f.read(), maintype="image", subtype=subtype, filename=filename)
    # The package's own boundary ("===============...=="), as its users post.
    raw = msg.as_bytes(policy=email.policy.default.clone(linesep="\n"))
    head, _, body = raw.partition(b"\n\n")
    mime = [h for h in head.decode().split("\n")
            if h.lower().startswith(("mime-version:", "content-type:"))]
    seeder.add("email", [GROUP], subject, "Mime Sender <mime@example.invalid>", body,
               extra_headers=mime, file=None, expect="none")


def seed_posts(seeder):
    """Queues the posts into seeder's batch; returns the group's name."""
    expected = seeder.expected
    plasma = os.path.join(expected, "plasma-3.jpg")
    subprocess.run(["convert", "-seed", "7", "-size", "420x320", "plasma:", "-quality", "95",
                    plasma], check=True, capture_output=True, timeout=60)
    single = seeder.picture("yenc-rose.jpg", "rose:", "-resize", "200%")
    uu_big = seeder.picture("uu-parts.jpg", "wizard:", "-resize", "70%")
    late = seeder.picture("late.jpg", "logo:", "-resize", "80%", "-quality", "95")

    # A whole picture in one yEnc article.
    part, = uuenview(seeder, "-y", single)
    seeder.add("posts", [GROUP], '"yenc-rose.jpg" yEnc (1/1)', "Part Poster <parts@example.invalid>",
               part, file="yenc-rose.jpg", expect="posts")
    # Three yEnc parts, posted out of order.
    parts = uuenview(seeder, "-y", plasma, lines_for_parts(plasma, 128, 3))
    assert len(parts) == 3, "uuenview made %d parts" % len(parts)
    for n in (2, 3, 1):
        seeder.add("posts", [GROUP], '"plasma-3.jpg" yEnc (%d/3)' % n,
                   "Part Poster <parts@example.invalid>", parts[n - 1], expect="none",
                   note="yEnc part %d of 3" % n)
    seeder.articles[-1].update(file="plasma-3.jpg", expect="posts")
    # A uuencoded picture in three parts.
    parts = uuenview(seeder, "-u", uu_big, lines_for_parts(uu_big, 45, 3))
    post_parts(seeder, "uu-parts.jpg (%d/%d)", parts, "uu-parts.jpg", "uu part")
    # PNG and GIF in base64, named without an extension: they get their type's.
    png = os.path.join(seeder.work, "flower.png")
    subprocess.run(["convert", "rose:", "-resize", "150%", png], check=True, timeout=30)
    os.replace(png, os.path.join(expected, "flower.png"))
    email_base64(seeder, os.path.join(expected, "flower.png"), "png", "flower",
                 "A flower in PNG (1/1)")
    seeder.articles[-1].update(file="flower.png", expect="posts")
    gif = os.path.join(expected, "spinner.gif")
    subprocess.run(["convert", "granite:", gif], check=True, timeout=30)
    email_base64(seeder, gif, "gif", "spinner", "A GIF texture (1/1)")
    seeder.articles[-1].update(file="spinner.gif", expect="posts")
    # The first picture again under another name: not saved twice.
    again = os.path.join(seeder.work, "rose-again.jpg")
    with open(single, "rb") as f, open(again, "wb") as g:
        g.write(f.read())
    seeder.uu([GROUP], "rose-again.jpg (1/1)", "Reposter <again@example.invalid>", again,
              expect="none", note="same bytes as yenc-rose.jpg")
    # A yEnc post whose CRC is wrong: reported, nothing saved.
    badcrc = os.path.join(seeder.work, "badcrc.jpg")
    subprocess.run(["convert", "netscape:", badcrc], check=True, timeout=30)
    part, = uuenview(seeder, "-y", badcrc)
    part = re.sub(rb"crc32=([0-9a-f]{8})", lambda m: b"crc32=%08x" % (int(m.group(1), 16) ^ 1),
                  part)
    seeder.add("posts", [GROUP], '"badcrc.jpg" yEnc (1/1)', "Part Poster <parts@example.invalid>",
               part, expect="none", note="wrong CRC")
    # A post whose last part comes only after the first pass.
    parts = uuenview(seeder, "-y", late, 200)
    if len(parts) < 2:
        raise SystemExit("seed: late.jpg is too small to split")
    for n, body in enumerate(parts[:-1], 1):
        seeder.add("posts", [GROUP], '"late.jpg" yEnc (%d/%d)' % (n, len(parts)),
                   "Part Poster <parts@example.invalid>", body, expect="none",
                   note="late post, part %d" % n)
    with open(os.path.join(seeder.dir, LATE_PART), "wb") as f:
        f.write(b"Subject: \"late.jpg\" yEnc (%d/%d)\n\n" % (len(parts), len(parts)) + parts[-1])
    return GROUP
