#!/usr/bin/env python3
"""The attachments of an article as Python's email package and binascii
decode them, for the decoder tests to compare with, byte for byte.

    extract.py ARTICLE OUTDIR

Writes each attachment, in article order, as OUTDIR/0, OUTDIR/1, ... and
their names (as the part or begin line gives them, "" for none) one a line
in OUTDIR/names. Attachments are base64 parts that are files (named, said
to be attachments, or of a type that is no text), x-uuencode parts, and
uuencoded files in the text of the other parts."""

import binascii
import email
import email.policy
import os
import re
import sys

BEGIN = re.compile(rb"^begin[ \t]+[0-7]+[ \t]*(.*?)[ \t]*$")


def uu_files(text):
    """(name, bytes) of each uuencoded file in the text, as binascii reads it."""
    files, current = [], None
    for line in text.split(b"\n"):
        line = line.rstrip(b"\r")
        if current is None:
            m = BEGIN.match(line)
            if m:
                current = (m.group(1), bytearray())
            continue
        if line.strip() == b"end":
            files.append(current)
            current = None
            continue
        if not line:
            continue
        # The characters the length calls for (a checksum may follow them).
        chars = (((line[0] - 32) & 63) * 4 + 5) // 3
        current[1].extend(binascii.a2b_uu(line[:chars]))
    return files


def attachments(raw):
    message = email.message_from_bytes(raw, policy=email.policy.default)
    for part in message.walk():
        if part.is_multipart():
            continue
        cte = part.get("content-transfer-encoding", "").strip().lower()
        name = part.get_filename() or ""
        if cte == "base64":
            # binascii, as the email package leaves a folded encoding's
            # value (" base64") undecoded.
            if part.get_content_maintype() != "text" or name or part.is_attachment():
                yield name.encode(), binascii.a2b_base64(part.get_payload(decode=False))
        elif cte in ("x-uuencode", "uuencode", "x-uue"):
            for uu_name, data in uu_files(part.get_payload(decode=False).encode("latin-1")):
                yield uu_name, bytes(data)
        elif part.get_content_maintype() == "text" and cte not in ("quoted-printable",):
            for uu_name, data in uu_files(part.get_payload(decode=True) or b""):
                yield uu_name, bytes(data)


def main():
    article, outdir = sys.argv[1], sys.argv[2]
    with open(article, "rb") as f:
        raw = f.read()
    names = []
    for n, (name, data) in enumerate(attachments(raw)):
        with open(os.path.join(outdir, str(n)), "wb") as f:
            f.write(data)
        names.append(name)
    with open(os.path.join(outdir, "names"), "wb") as f:
        f.write(b"".join(name + b"\n" for name in names))


if __name__ == "__main__":
    main()
