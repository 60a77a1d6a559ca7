#!/usr/bin/env python3
"""Writes the carrier pictogram table of the engine from EmojiSources.txt.

Each data line of the source is "Unicode sequence;docomo;KDDI;SoftBank", the
last three a Shift_JIS code in hexadecimal or empty. The header holds one
array per carrier of (code, UTF-8 text), sorted by code for a binary search.

    gen_pictogram_table.py EmojiSources.txt OUTPUT.h
"""

import sys

CARRIERS = ("kDocomoPictograms", "kAUPictograms", "kSoftBankPictograms")


def parse(path):
    tables = ({}, {}, {})
    with open(path, encoding="utf-8") as source:
        for number, raw in enumerate(source, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            fields = [field.strip() for field in line.split(";")]
            if len(fields) != 4:
                sys.exit(f"{path}:{number}: expected 4 fields, found {len(fields)}")
            text = "".join(chr(int(cp, 16)) for cp in fields[0].split())
            for table, code in zip(tables, fields[1:]):
                if not code:
                    continue
                value = int(code, 16)
                if not 0x8140 <= value <= 0xFCFC or value in table:
                    sys.exit(f"{path}:{number}: bad or repeated code {code}")
                table[value] = text
    if not all(tables):
        sys.exit(f"{path}: a carrier has no codes")
    return tables


def c_string(text):
    return '"' + "".join(f"\\x{b:02X}" for b in text.encode("utf-8")) + '"'


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    tables = parse(sys.argv[1])
    out = [
        "// Generated at build time from EmojiSources.txt; not to be edited.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        "namespace vcard::detail::generated {",
        "",
        "struct PictogramEntry {",
        "  std::uint16_t code;  // Shift_JIS",
        "  const char* utf8;    // the Unicode character or sequence",
        "};",
    ]
    for name, table in zip(CARRIERS, tables):
        out.append("")
        out.append(f"inline constexpr PictogramEntry {name}[] = {{")
        for code in sorted(table):
            out.append(f"    {{0x{code:04X}, {c_string(table[code])}}},")
        out.append("};")
    out += ["", "}  // namespace vcard::detail::generated", ""]
    with open(sys.argv[2], "w", encoding="utf-8") as header:
        header.write("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
