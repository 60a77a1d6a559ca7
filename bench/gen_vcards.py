#!/usr/bin/env python3
"""Writes a deterministic feature-phone style vCard export for benchmarks.

Shift_JIS, CR LF, vCard 2.1: kanji names, SOUND;X-IRMC-N in half-width
katakana with voiced marks, one to three TEL, EMAIL with INTERNET or CELL,
ADR, a quoted-printable NOTE with soft line breaks, and FN/REV/X-GNO lines
that the converter drops. With --photos every tenth card carries a folded
Base64 photo. The same arguments always give the same bytes.
"""

import argparse
import base64
import random
import sys

FAMILY = [("山田", "ﾔﾏﾀﾞ"), ("佐藤", "ｻﾄｳ"), ("鈴木", "ｽｽﾞｷ"), ("高橋", "ﾀｶﾊｼ"),
          ("田中", "ﾀﾅｶ"), ("渡辺", "ﾜﾀﾅﾍﾞ"), ("伊藤", "ｲﾄｳ"), ("中村", "ﾅｶﾑﾗ"),
          ("小林", "ｺﾊﾞﾔｼ"), ("加藤", "ｶﾄｳ"), ("吉田", "ﾖｼﾀﾞ"), ("山口", "ﾔﾏｸﾞﾁ"),
          ("松本", "ﾏﾂﾓﾄ"), ("井上", "ｲﾉｳｴ"), ("木村", "ｷﾑﾗ"), ("林", "ﾊﾔｼ")]
GIVEN = [("太郎", "ﾀﾛｳ"), ("花子", "ﾊﾅｺ"), ("健太", "ｹﾝﾀ"), ("美咲", "ﾐｻｷ"),
         ("大輔", "ﾀﾞｲｽｹ"), ("陽菜", "ﾋﾅ"), ("翔太", "ｼｮｳﾀ"), ("葵", "ｱｵｲ"),
         ("蓮", "ﾚﾝ"), ("結衣", "ﾕｲ"), ("悠斗", "ﾕｳﾄ"), ("ぱぴぷ", "ﾊﾟﾋﾟﾌﾟ")]
CITY = ["東京都千代田区丸の内", "大阪府大阪市北区梅田", "愛知県名古屋市中村区名駅",
        "福岡県福岡市博多区博多駅前", "北海道札幌市中央区北一条西"]
NOTES = ["会議は毎週月曜日の午前十時から。ﾒｰﾙでの連絡を優先すること。",
         "誕生日は三月三日。ｹｰｷはﾁｮｺﾚｰﾄが好き。",
         "旧姓：佐々木。年賀状は会社宛てに送る。"]


def qp_encode(data: bytes, width: int = 72) -> str:
    """Quoted-printable with "=" soft line breaks, lines at most width long."""
    out, line = [], ""
    for b in data:
        piece = chr(b) if 0x21 <= b <= 0x7E and b != 0x3D else "=%02X" % b
        if len(line) + len(piece) > width - 1:
            out.append(line + "=")
            line = ""
        line += piece
    out.append(line)
    return "\r\n".join(out)


def card(rng: random.Random, n: int, photos: bool) -> bytes:
    fam, fam_kana = rng.choice(FAMILY)
    giv, giv_kana = rng.choice(GIVEN)
    lines = ["BEGIN:VCARD", "VERSION:2.1",
             f"N;CHARSET=SHIFT_JIS:{fam};{giv};;;",
             f"FN;CHARSET=SHIFT_JIS:{fam}{giv}",
             f"SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:{fam_kana};{giv_kana};;;"]
    for k in range(rng.randint(1, 3)):
        kind = ["CELL", "HOME", "WORK"][k]
        lines.append(f"TEL;{kind}:0{rng.randint(70, 90)}-{rng.randint(1000, 9999)}-"
                     f"{rng.randint(1000, 9999)}")
    lines.append(f"EMAIL;{rng.choice(['INTERNET', 'CELL'])}:user{n}@example.jp")
    lines.append(f"ADR;HOME;CHARSET=SHIFT_JIS:;;{rng.choice(CITY)}{rng.randint(1, 9)}-"
                 f"{rng.randint(1, 30)};;;{rng.randint(100, 999)}-{rng.randint(1000, 9999)};日本")
    note = rng.choice(NOTES).encode("cp932")
    lines.append("NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:" + qp_encode(note))
    if photos and n % 10 == 0:
        blob = base64.b64encode(bytes(rng.getrandbits(8) for _ in range(1536))).decode()
        folded = "\r\n ".join(blob[i:i + 75] for i in range(0, len(blob), 75))
        lines.append("PHOTO;ENCODING=BASE64;TYPE=JPEG:" + folded)
        lines.append("")
    lines.append(f"REV:2026{rng.randint(1, 12):02d}{rng.randint(1, 28):02d}T120000Z")
    lines.append(f"X-GNO:{rng.randint(0, 9)}")
    lines.append(f"X-GN:グループ{rng.randint(0, 9)}")
    lines.append("END:VCARD")
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("cards", type=int)
    parser.add_argument("output")
    parser.add_argument("--photos", action="store_true")
    parser.add_argument("--seed", type=int, default=20261207)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    with open(args.output, "wb") as f:
        for n in range(args.cards):
            f.write(card(rng, n, args.photos))
    return 0


if __name__ == "__main__":
    sys.exit(main())
