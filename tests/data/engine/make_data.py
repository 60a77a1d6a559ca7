#!/usr/bin/env python3
"""Writes the end-to-end vCard sources of the engine tests with the exact
bytes each case needs, and the expected output of each as UTF-8 text with LF
line ends (the tests turn it into UTF-16LE with FF FE and CR LF)."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def crlf(lines):
    return "".join(line + "\r\n" for line in lines)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def ref(name, lines):
    write(name, "".join(line + "\n" for line in lines).encode("utf-8"))


def qp(data):
    return "".join("=%02X" % b for b in data)


# The road of one card: a Shift_JIS phone export.
ROAD = [
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N;CHARSET=SHIFT_JIS:山田;太郎;;;",
    "SOUND;CHARSET=SHIFT_JIS:ﾔﾏﾀﾞ;ﾀﾛｳ;;;",
    "TEL;CELL:090-1234-5678",
    "EMAIL;INTERNET:taro@example.jp",
    "FN:山田太郎",
    "END:VCARD",
]
write("sjis_road.vcf", crlf(ROAD).encode("shift_jis"))
ref("sjis_road.ref", [
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:山田;太郎;;;",
    "X-PHONETIC-LAST-NAME:ヤマダ",
    "X-PHONETIC-FIRST-NAME:タロウ",
    "TEL;CELL:090-1234-5678",
    "EMAIL;TYPE=HOME:taro@example.jp",
    "END:VCARD",
])

# UTF-8 without mark, LF line ends, every kept property once.
UTF8_CARD = [
    "BEGIN:VCARD",
    "VERSION:3.0",
    "N:鈴木;花子;;;",
    "SORT-STRING:すずき",
    "X-PHONETIC-FIRST-NAME:ﾊﾅｺ",
    "ORG:ｶﾌﾞｼｷｶﾞｲｼｬ",
    "TITLE:課長",
    "TEL;TYPE=WORK:03-1111-2222",
    "EMAIL;TYPE=WORK;TYPE=INTERNET:hanako@example.com",
    "ADR;TYPE=HOME:;;本町1-2-3;大阪市;大阪府;530-0001;日本",
    "NICKNAME:ﾊﾅ",
    "BDAY:1990-01-02",
    "URL:http://example.com/ｶ",
    "NOTE:メモ",
    "LABEL:ラベル",
    "REV:2020-01-01T00:00:00Z",
    "X-CUSTOM:x",
    "END:VCARD",
]
write("utf8_nobom.vcf", "".join(l + "\n" for l in UTF8_CARD).encode("utf-8"))
ref("utf8_nobom.ref", [
    "BEGIN:VCARD",
    "VERSION:3.0",
    "N:鈴木;花子;;;",
    "X-PHONETIC-LAST-NAME:すずき",
    "X-PHONETIC-FIRST-NAME:",
    "X-PHONETIC-FIRST-NAME:ハナコ",
    "ORG:カブシキガイシャ",
    "TITLE:課長",
    "TEL;TYPE=WORK:03-1111-2222",
    "EMAIL;TYPE=WORK:hanako@example.com",
    "ADR;TYPE=HOME:;;本町1-2-3;大阪市;大阪府;530-0001;日本",
    "NICKNAME:ハナ",
    "BDAY:1990-01-02",
    "URL:http://example.com/ｶ",
    "NOTE:メモ",
    "END:VCARD",
])

# UTF-8 after a mark, with one ill-formed byte that must come out as U+FFFD.
write("utf8_bom.vcf", b"\xEF\xBB\xBF" + crlf([
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:Smith;John;;;",
    "EMAIL:john@example.com",
    "EMAIL;CELL:john@docomo.example",
]).encode("utf-8") + b"NOTE:ab\xFFcd\r\nEND:VCARD\r\n")
ref("utf8_bom.ref", [
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:Smith;John;;;",
    "item1.EMAIL:john@example.com",
    "item1.X-ABLabel:_$!<Other>!$_",
    "EMAIL;TYPE=HOME:john@docomo.example",
    "NOTE:ab\ufffdcd",
    "END:VCARD",
])

# UTF-16 cards, with a character outside the basic plane.
UTF16_CARD = [
    "BEGIN:VCARD",
    "VERSION:3.0",
    "N:𠮷野;家;;;",
    "TEL;TYPE=HOME;TYPE=VOICE:011-222-3333",
    "END:VCARD",
]
write("utf16le_bom.vcf", b"\xFF\xFE" + crlf(UTF16_CARD).encode("utf-16-le"))
ref("utf16le_bom.ref", UTF16_CARD)
write("utf16le_nobom.vcf", crlf(UTF16_CARD).encode("utf-16-le"))
ref("utf16le_nobom.ref", UTF16_CARD)
# Big-endian without mark is refused once it is seen to be UTF-16, whether its
# first byte is zero (a card starting 00 42) or not; a zero first byte is no
# reason for an empty text (U+3000 in little-endian starts 00 30).
write("utf16be_nobom.vcf", crlf(["メモ"] + UTF16_CARD).encode("utf-16-be"))
write("utf16be_nobom_ascii.vcf", crlf(UTF16_CARD).encode("utf-16-be"))
write("utf16le_bom_zero_first.vcf", b"\xFF\xFE" + crlf(["\u3000"] + UTF16_CARD).encode("utf-16-le"))
ref("utf16le_bom_zero_first.ref", UTF16_CARD)
# A lone high surrogate in a note, a lone low surrogate in a name: each unit
# becomes U+FFFD and the rest of the file converts.
write("utf16le_bom_ill_formed.vcf", b"\xFF\xFE" + crlf([
    "BEGIN:VCARD", "VERSION:3.0", "N:A;B;;;", "NOTE:x@y", "END:VCARD",
    "BEGIN:VCARD", "VERSION:3.0", "N:C@;D;;;", "END:VCARD",
]).encode("utf-16-le").replace("@".encode("utf-16-le"), b"\x3D\xD8", 1)
      .replace("@".encode("utf-16-le"), b"\x00\xDC", 1))
ref("utf16le_bom_ill_formed.ref", [
    "BEGIN:VCARD", "VERSION:3.0", "N:A;B;;;", "NOTE:x\ufffdy", "END:VCARD",
    "BEGIN:VCARD", "VERSION:3.0", "N:C\ufffd;D;;;", "END:VCARD",
])
write("utf16be_bom.vcf", b"\xFE\xFF" + crlf(UTF16_CARD).encode("utf-16-be"))

write("empty.vcf", b"")
ref("empty.ref", [])

# Quoted-printable values with soft line breaks, charsets and a bad byte.
nihongo = "あいう".encode("shift_jis")
write("qp_soft_breaks.vcf", crlf([
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:" + qp("山田".encode("shift_jis")) + ";"
    + qp("太郎".encode("shift_jis")) + ";;;",
    "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=SHIFT_JIS:" + qp(nihongo[:4]) + "=",
    qp(nihongo[4:]) + "=0D=0A" + qp("え".encode("shift_jis")) + "=",
    qp("お".encode("shift_jis")),
    "ADR;HOME;ENCODING=QUOTED-PRINTABLE;CHARSET=SHIFT_JIS:;;" + qp("東京都".encode("shift_jis"))
    + ";;;;",
    "NOTE;ENCODING=QUOTED-PRINTABLE:" + qp("ｱｲｳ".encode("shift_jis")),
    "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + qp("あ".encode("utf-8")),
    "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=SHIFT_JIS:A=FF=FFB",
    "NOTE;ENCODING=QUOTED-PRINTABLE:abc=",
    "",
    "TEL:1",
    "END:VCARD",
]).encode("ascii"))
ref("qp_soft_breaks.ref", [
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:山田;太郎;;;",
    "NOTE:あいう",
    " えお",
    "ADR;TYPE=HOME:;;東京都;;;;",
    "NOTE:アイウ",
    "NOTE:あ",
    "NOTE:A\ufffd\ufffdB",
    "NOTE:abc",
    "TEL:1",
    "END:VCARD",
])

# Folded lines stay folded; a dropped property takes its continuation along.
write("folded.vcf", crlf([
    "BEGIN:VCARD",
    "VERSION:3.0",
    "N:Doe;Jane;;;",
    "NOTE:abc",
    " def",
    "\tghi",
    "LABEL:drop me",
    " still the label",
    "TEL:123",
    "END:VCARD",
]).encode("utf-8"))
ref("folded.ref", [
    "BEGIN:VCARD",
    "VERSION:3.0",
    "N:Doe;Jane;;;",
    "NOTE:abc",
    " def",
    "\tghi",
    "TEL:123",
    "END:VCARD",
])

# Base64 photo: folded data with leading blanks is kept; vCard 2.1 data lines
# without a blank belong to the value up to the blank line, written folded.
B64 = ["/9j/4AAQSkZJRgABAQEASABIAAD/", "2wBDAAMCAgMCAgMDAwMEAwMEBQgFBQQEBQoHBwYICQ",
       "wKDAwLCgsLDQ4SEA0OEQ4LCxAWEBETFBUVFQwPFxgWFBgSFBUU"]
write("photo_base64.vcf", crlf([
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:Photo;Folded;;;",
    "PHOTO;ENCODING=BASE64;TYPE=JPEG:" + B64[0],
    " " + B64[1],
    " " + B64[2],
    "",
    "END:VCARD",
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:Photo;Bare;;;",
    "PHOTO;ENCODING=BASE64;TYPE=JPEG:",
    B64[0],
    B64[1],
    "",
    "END:VCARD",
]).encode("ascii"))
ref("photo_base64.ref", [
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:Photo;Folded;;;",
    "PHOTO;ENCODING=BASE64;TYPE=JPEG:" + B64[0],
    " " + B64[1],
    " " + B64[2],
    "END:VCARD",
    "BEGIN:VCARD",
    "VERSION:2.1",
    "N:Photo;Bare;;;",
    "PHOTO;ENCODING=BASE64;TYPE=JPEG:",
    " " + B64[0],
    " " + B64[1],
    "END:VCARD",
])

# Begin and end lines in any case open and close cards and keep their case;
# a begin line with a trailing blank opens a card that keeps the line
# without it.
write("lowercase_begin_end.vcf", crlf([
    "begin:vcard",
    "version:2.1",
    "n:Lower;Case;;;",
    "tel;cell:111",
    "End:VCard",
    "BEGIN:VCARD ",
    "N:Trailing;Space;;;",
    "END:VCARD",
]).encode("ascii"))
ref("lowercase_begin_end.ref", [
    "begin:vcard",
    "version:2.1",
    "n:Lower;Case;;;",
    "tel;cell:111",
    "End:VCard",
    "BEGIN:VCARD",
    "N:Trailing;Space;;;",
    "END:VCARD",
])

# Cards rejected for their version, charset or transfer encoding.
def card(*body):
    return ["BEGIN:VCARD"] + list(body) + ["END:VCARD"]

write("rejected_cards.vcf", crlf(
    card("VERSION:2.1", "N:One;;;;")
    + card("VERSION:5.0", "N:Two;;;;")
    + card("VERSION:2.1", "N;CHARSET=ISO-2022-JP:Three;;;;")
    + card("VERSION:2.1", "N:Four;;;;", "NOTE;ENCODING=8BIT:x")
    + card("VERSION:2.1", "N:Five;;;;", "LABEL;CHARSET=ISO-8859-1:x")
    + card("VERSION:2.1", "N;CHARSET=Shift-JIS:Six;;;;")
    + card("VERSION:3.0", "N:Seven;;;;", "item1.EMAIL;type=INTERNET:seven@example.com")
).encode("ascii"))
# Only an unsupported version, a charset ICU does not know or an unknown
# transfer encoding rejects a card.
write("rejected_cards_unknown.vcf", crlf(
    card("VERSION:2.1", "N;CHARSET=X-NO-SUCH-CHARSET:Eight;;;;")
    + card("VERSION:2.1", "N:Nine;;;;", "NOTE;ENCODING=X-UUENCODE:x")
    + card("VERSION:2.1", "N:Ten;;;;", "LABEL;CHARSET=X-NO-SUCH-CHARSET:x")
).encode("ascii"))
ref("rejected_cards_unknown.ref", card("VERSION:2.1", "N:Ten;;;;"))
ref("rejected_cards.ref",
    card("VERSION:2.1", "N:One;;;;")
    + card("VERSION:2.1", "N:Three;;;;")
    + card("VERSION:2.1", "N:Four;;;;", "NOTE:x")
    + card("VERSION:2.1", "N:Five;;;;")
    + card("VERSION:2.1", "N:Six;;;;")
    + card("VERSION:3.0", "N:Seven;;;;", "EMAIL;TYPE=HOME:seven@example.com"))

write("three_cards_one_rejected.vcf", crlf(
    card("VERSION:2.1", "N:A;;;;") + card("VERSION:5.0", "N:B;;;;")
    + card("VERSION:3.0", "N:C;;;;")).encode("ascii"))
ref("three_cards_one_rejected.ref",
    card("VERSION:2.1", "N:A;;;;") + card("VERSION:3.0", "N:C;;;;"))

# E-mail and address classification.
write("email_types.vcf", crlf(card(
    "VERSION:3.0",
    "EMAIL;TYPE=INTERNET:a@x",
    "EMAIL;INTERNET;CELL:b@x",
    "EMAIL:c@x",
    "EMAIL;TYPE=WORK;TYPE=HOME:d@x",
    "EMAIL;PCS:e@x",
    "EMAIL;X-HOMEPAGE:f@x",
    "ADR;INTERNET:;;g;;;;",
    "ADR;WORK:;;h;;;;",
    "TEL;CELL:ｱ",
)).encode("utf-8"))
ref("email_types.ref", card(
    "VERSION:3.0",
    "EMAIL;TYPE=HOME:a@x",
    "item1.EMAIL:b@x",
    "item1.X-ABLabel:_$!<Other>!$_",
    "item2.EMAIL:c@x",
    "item2.X-ABLabel:_$!<Other>!$_",
    "EMAIL;TYPE=WORK:d@x",
    "EMAIL;TYPE=HOME:e@x",
    "EMAIL;TYPE=HOME:f@x",
    "item3.ADR:;;g;;;;",
    "item3.X-ABLabel:_$!<Other>!$_",
    "ADR;TYPE=WORK:;;h;;;;",
    "TEL;CELL:ｱ",
))

# More than 99 grouped addresses in one card: numbered on, work and home
# addresses written where they stand.
src = ["VERSION:3.0"]
out = ["VERSION:3.0"]
item = 0
for i in range(1, 61):
    src.append("EMAIL:user%d@example.com" % i)
    item += 1
    out += ["item%d.EMAIL:user%d@example.com" % (item, i), "item%d.X-ABLabel:_$!<Other>!$_" % item]
    if i == 30:
        src.append("EMAIL;WORK:boss@example.com")
        out.append("EMAIL;TYPE=WORK:boss@example.com")
for i in range(1, 46):
    src.append("ADR:;;street %d;;;;" % i)
    item += 1
    out += ["item%d.ADR:;;street %d;;;;" % (item, i), "item%d.X-ABLabel:_$!<Other>!$_" % item]
src.append("ADR;HOME:;;home street;;;;")
out.append("ADR;TYPE=HOME:;;home street;;;;")
src.append("EMAIL:late@example.com")
item += 1
out += ["item%d.EMAIL:late@example.com" % item, "item%d.X-ABLabel:_$!<Other>!$_" % item]
write("many_addresses.vcf", crlf(card(*src)).encode("ascii"))
ref("many_addresses.ref", card(*out))

# A card never closed is neither counted nor written.
write("no_end.vcf", crlf(["BEGIN:VCARD", "VERSION:2.1", "N:Open;;;;"]).encode("ascii"))
ref("no_end.ref", [])

# Line structure: text outside cards, a card inside a card (written first,
# the outer one going on after it), CR CR LF and LF breaks, an end line with
# no card open, a card never closed, and a last line without a line break.
write("structure.vcf", b"N:Outside;;;;\r\nBEGIN:VCARD\r\nN:Outer;;;;\r\nBEGIN:VCARD\r\r\n"
      b"VERSION:2.1\nN:Inner;;;;\r\nEND:VCARD\r\nTEL:999\r\nEND:VCARD\r\nEND:VCARD\r\n"
      b"BEGIN:VCARD\r\nN:Open;;;;\r\nBEGIN:VCARD\nEND:VCARD")
ref("structure.ref", ["BEGIN:VCARD", "VERSION:2.1", "N:Inner;;;;", "END:VCARD",
                      "BEGIN:VCARD", "N:Outer;;;;", "TEL:999", "END:VCARD",
                      "BEGIN:VCARD", "END:VCARD"])

# What real exports need to arrive whole, card by card.
fidelity = []
fidelity_out = []
# Grouped properties with their labels, as Apple and Google write them.
fidelity += card("VERSION:3.0", "N:Appleseed;John;;;", "FN:John Appleseed",
                 "item1.EMAIL;type=INTERNET;type=pref:john@example.com",
                 "item1.X-ABLabel:_$!<Other>!$_",
                 "item2.TEL;type=CELL:+1 555 0100", "item2.X-ABLabel:_$!<Mobile>!$_",
                 "item3.X-ABLabel:Blog", "item3.URL:http://example.com",
                 "item4.EMAIL;TYPE=INTERNET:g@example.com", "item4.X-ABLabel:",
                 "item5.X-ABRELATEDNAMES:Jane", "item5.X-ABLabel:_$!<Spouse>!$_")
fidelity_out += card("VERSION:3.0", "N:Appleseed;John;;;",
                     "item1.EMAIL;TYPE=HOME:john@example.com", "item1.X-ABLabel:_$!<Other>!$_",
                     "item2.TEL;type=CELL:+1 555 0100", "item2.X-ABLabel:_$!<Mobile>!$_",
                     "item3.URL:http://example.com", "item3.X-ABLabel:Blog",
                     "EMAIL;TYPE=HOME:g@example.com")
# A card known only by FN.
fidelity += card("VERSION:2.1", "FN;CHARSET=SHIFT_JIS:ﾔﾏﾀﾞ 商店", "TEL:03-0000-0000")
fidelity_out += card("VERSION:2.1", "TEL:03-0000-0000", "N:ヤマダ 商店;;;;")
# A soft line break before the end line, and an agent's card inside a card.
fidelity += ["BEGIN:VCARD", "VERSION:2.1", "N:Outer;;;;",
             "NOTE;ENCODING=QUOTED-PRINTABLE:abc="] + card("VERSION:2.1", "N:Agent;;;;") + [
             "TEL:1", "END:VCARD"]
fidelity_out += card("VERSION:2.1", "N:Agent;;;;") + card("VERSION:2.1", "N:Outer;;;;",
                                                         "NOTE:abc", "TEL:1")
fidelity += card("VERSION:2.1", "N:Soft;;;;", "NOTE;ENCODING=QUOTED-PRINTABLE:xyz=")
fidelity_out += card("VERSION:2.1", "N:Soft;;;;", "NOTE:xyz")
# Quoted-printable line feeds and harmless charsets and transfer encodings.
fidelity += card("VERSION:2.1", "N;CHARSET=us-ascii:Ulm;Ute;;;",
                 "ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;Main St 2=0A12345 Ulm;;;;",
                 "NOTE;ENCODING=8BIT:plain",
                 "ORG;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Gr=FC=DFe",
                 "SOUND;ENCODING=BASE64;TYPE=WAVE:UklGRg==")
fidelity_out += card("VERSION:2.1", "N:Ulm;Ute;;;", "ADR;TYPE=HOME:;;Main St 2", " 12345 Ulm;;;;",
                     "NOTE:plain", "ORG:Grüße")
write("fidelity.vcf", crlf(fidelity).encode("shift_jis"))
ref("fidelity.ref", fidelity_out)

# Quoted-printable without a charset in a UTF-8 file is UTF-8 where its bytes
# are well-formed UTF-8, Shift_JIS otherwise; so it is in a file of ASCII
# only, which shows no Japanese: its well-formed UTF-8 is UTF-8, and bytes
# that read as Japanese Shift_JIS stay Shift_JIS.
UNDECLARED = ["VERSION:2.1", "N;ENCODING=QUOTED-PRINTABLE:" + qp("山田".encode("utf-8")) + ";;;;",
              "NOTE;ENCODING=QUOTED-PRINTABLE:" + qp("あ".encode("shift_jis"))]
write("utf8_qp_undeclared.vcf", crlf(card(*UNDECLARED, "NOTE:é")).encode("utf-8"))
ref("utf8_qp_undeclared.ref", card("VERSION:2.1", "N:山田;;;;", "NOTE:あ", "NOTE:é"))
write("ascii_qp_undeclared.vcf", crlf(card(*UNDECLARED)).encode("ascii"))
ref("ascii_qp_undeclared.ref", card("VERSION:2.1", "N:山田;;;;", "NOTE:あ"))

# Shift_JIS with stray zero bytes, one between the cards and one inside a
# name: they are dropped and both cards arrive.
write("sjis_stray_nul.vcf", crlf(card("VERSION:2.1", "N:前;;;;")).encode("shift_jis") + b"\x00"
      + crlf(card("VERSION:2.1", "N:後;;;;")).encode("shift_jis").replace(b"N:", b"N:\x00"))
ref("sjis_stray_nul.ref", card("VERSION:2.1", "N:前;;;;") + card("VERSION:2.1", "N:後;;;;"))

# An undeclared Western ("ANSI") export: neither UTF-8 nor Shift_JIS, decoded
# by the charset detector's guess, windows-1252 for its bytes 80-9F.
write("western_undeclared.vcf", crlf(card(
    "VERSION:2.1", "N:M\u00fcller;J\u00fcrgen;;;", "ORG:Gr\u00fc\u00dfe & S\u00f6hne",
    "NOTE:\u201eZitat\u201c \u2013 \u20ac 5")).encode("cp1252"))
ref("western_undeclared.ref", card(
    "VERSION:2.1", "N:M\u00fcller;J\u00fcrgen;;;", "ORG:Gr\u00fc\u00dfe & S\u00f6hne",
    "NOTE:\u201eZitat\u201c \u2013 \u20ac 5"))

# Bytes that no decoding or guess fits.
write("undecodable.vcf", b"\xFF\xFD\xFE\xFC")
