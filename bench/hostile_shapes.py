"""Writes the hostile shapes that bench/hostile.sh measures into a folder:
one property (or one file) grown to about SIZE bytes by repeating one thing.

    python3 bench/hostile_shapes.py FOLDER SIZE_BYTES
"""
import sys
work, size = sys.argv[1], int(sys.argv[2])
head = b"BEGIN:VCARD\r\nVERSION:2.1\r\n"
tail = b"END:VCARD\r\n"
def fill(piece):
    return piece * max(1, size // len(piece))
shapes = {
    "long-line": fill(b"A"),
    "long-value": head + b"NOTE:" + fill(b"x") + b"\r\n" + tail,
    "delimiters": head + b"N:" + fill(b";") + b"\r\n" + tail,
    "escapes": head + b"NOTE:" + fill(b"\\;") + b"\r\n" + tail,
    "parameters": head + b"TEL" + fill(b";CELL") + b":1\r\n" + tail,
    "folds": head + b"NOTE:a" + fill(b"\r\n b") + b"\r\n" + tail,
    "soft-breaks": head + b"NOTE;ENCODING=QUOTED-PRINTABLE:" + fill(b"=41=\r\n") + b"\r\n" + tail,
    "empty-lines": fill(b"\r\n"),
    "open-cards": fill(b"BEGIN:VCARD\r\n"),
    "grouped-adr": head + fill(b"ADR;DOM:;;1-2-3;Tokyo;;100-0001;JP\r\n") + tail,
    "halfwidth-kana": head + b"SOUND:" + fill(b"\xca\xdf\xb3\xde") + b"\r\n" + tail,
    "base64-lines": head + b"PHOTO;ENCODING=BASE64:\r\n" + fill(b"QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\r\n") + b"\r\n" + tail,
}
for name, data in shapes.items():
    with open(f"{work}/{name}.vcf", "wb") as f:
        f.write(data)
