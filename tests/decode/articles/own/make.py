#!/usr/bin/env python3
"""Makes this folder's articles, as posting programs write them, from the
pictures in ../pictures (Python's test pictures). Run it from anywhere; it
rewrites the files next to it. The articles are kept in the repository, so
the tests never depend on what this script would make today.

- email-two-pictures.eml: Python's email package, its own boundary
  ("===============...=="), a PNG and a GIF attached.
- names.eml: one picture per way of naming it: RFC 2231, RFC 2047, an
  unquoted filename, a name in Content-Type only, header names in lower
  case, Content-Disposition before Content-Transfer-Encoding, folded lines.
- two-uu.txt: two files uuencoded by sharutils' uuencode in one article.
- yenc-variants-1.ntx, yenc-variants-2.ntx: the yEnc 1.3 example posts of
  joystick.jpg with what other posters write: a CRC of 16 hex digits, the
  "=ypart" on the "=ybegin" line, blanks after the name.
- undeclared.txt: a base64 part with its boundary but no MIME header above
  it, as a gateway that drops headers leaves it."""

import base64
import email.policy
import os
import subprocess
from email.message import EmailMessage

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURES = os.path.join(HERE, "..", "pictures")


def picture(name):
    with open(os.path.join(PICTURES, name), "rb") as f:
        return f.read()


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def b64(data):
    text = base64.encodebytes(data).decode()  # 76 characters a line
    return text.replace("\n", "\r\n")


def email_two_pictures():
    msg = EmailMessage(policy=email.policy.default)
    msg["From"] = "Mime Sender <mime@example.invalid>"
    msg["Newsgroups"] = "alt.binaries.pictures.test"
    msg["Subject"] = "Two pictures (1/1)"
    msg.set_content("Two pictures made for the tests.\n")
    msg.add_attachment(picture("python.png"), maintype="image", subtype="png",
                       filename="python.png")
    msg.add_attachment(picture("python.gif"), maintype="image", subtype="gif",
                       filename="python.gif")
    write("email-two-pictures.eml", msg.as_bytes(policy=email.policy.SMTP))


def names():
    parts = [
        # RFC 2231, as Python's email package writes a name outside ASCII.
        ("Content-Type: image/png\r\n"
         "Content-Transfer-Encoding: base64\r\n"
         "Content-Disposition: attachment;\r\n"
         " filename*=utf-8''%E2%82%AC%20rates.png\r\n", picture("python.png")),
        # RFC 2047 in Content-Type's name, no Content-Disposition.
        ("Content-Type: image/gif; name=\"=?utf-8?B?Y2Fmw6kuZ2lm?=\"\r\n"
         "Content-Transfer-Encoding: base64\r\n", picture("python.gif")),
        # Lower-case names, the name before the encoding, unquoted.
        ("content-disposition: inline; filename=plain.jpg\r\n"
         "content-type: image/jpeg\r\n"
         "content-transfer-encoding: BASE64\r\n", picture("python.jpg")),
        # A folded Content-Type whose name is on the continuation line.
        ("Content-Type: image/webp;\r\n"
         "\tname=\"folded.webp\"\r\n"
         "Content-Transfer-Encoding:\r\n"
         " base64\r\n", picture("python.webp")),
        # No name at all, a type that is no text: named by the subject.
        ("Content-Type: image/bmp\r\n"
         "Content-Transfer-Encoding: base64\r\n", picture("python.bmp")),
    ]
    boundary = "----=_Part_7_names"
    out = ("From: Names <names@example.invalid>\r\n"
           "Newsgroups: alt.binaries.pictures.test\r\n"
           "Subject: Five ways to name a picture - snapshot.bmp (1/1)\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed;\r\n"
           " boundary=\"%s\"\r\n\r\n"
           "This is a multi-part message in MIME format.\r\n" % boundary)
    for headers, data in parts:
        out += "--%s\r\n%s\r\n%s" % (boundary, headers, b64(data))
    out += "--%s--\r\n" % boundary
    write("names.eml", out.encode())


def two_uu():
    out = (b"From: Uu Poster <uu@example.invalid>\r\n"
           b"Newsgroups: alt.binaries.pictures.test\r\n"
           b"Subject: Two pictures in one article (1/1)\r\n\r\n"
           b"Here they are.\r\n\r\n")
    for name, remote in (("python.jpg", "first.jpg"), ("python.tiff", "second.tif")):
        encoded = subprocess.run(["uuencode", os.path.join(PICTURES, name), remote],
                                 check=True, capture_output=True).stdout
        out += encoded.replace(b"\n", b"\r\n") + b"\r\n"
    write("two-uu.txt", out)


def yenc_variants():
    for n, source in ((1, "00000020.ntx"), (2, "00000021.ntx")):
        with open(os.path.join(HERE, "..", "yenc", source), "rb") as f:
            text = f.read()
        head, body = text.split(b"\r\n=ybegin", 1)
        ybegin, ypart, rest = body.split(b"\r\n", 2)
        # The name with more blanks after it, the =ypart on the same line.
        ybegin = b"=ybegin" + ybegin.rstrip(b" ") + b"   " + ypart
        # The part's CRC in 16 digits, its last 8 the CRC.
        rest = rest.replace(b"pcrc32=", b"pcrc32=ffffffff")
        write("yenc-variants-%d.ntx" % n, head + b"\r\n" + ybegin + b"\r\n" + rest)


def undeclared():
    out = ("From: Gateway <gate@example.invalid>\r\n"
           "Newsgroups: alt.binaries.pictures.test\r\n"
           "Subject: lost its MIME header\r\n\r\n"
           "------=_NextPart_000_0001\r\n"
           "Content-Type: image/png; name=\"gated.png\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" + b64(picture("python.png")) +
           "\r\n------=_NextPart_000_0001--\r\n")
    write("undeclared.txt", out.encode())


if __name__ == "__main__":
    email_two_pictures()
    names()
    two_uu()
    yenc_variants()
    undeclared()
