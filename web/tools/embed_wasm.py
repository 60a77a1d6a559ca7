#!/usr/bin/env python3
"""Makes the engine one JavaScript file: Emscripten's loader followed by the
wasm module as Base64 in one global,

    embed_wasm.py --loader vcard-engine.js --wasm vcard-engine.wasm --out OUT

The worker decodes that text itself and hands the loader the bytes
(wasmBinary), so the loader never fetches anything: a module inlined as a
data: URL is fetched first, which the page's policy (connect-src 'none')
refuses and every engine reports as a violation.
"""

import argparse
import base64
from pathlib import Path

GLOBAL = "vcardEngineWasm"
# Where the module's script starts, after the loader's last line.
MODULE_START = "\n;var %s = '" % GLOBAL


def embedded(loader_text, wasm_bytes):
    data = base64.b64encode(wasm_bytes).decode("ascii")
    return "%s%s%s';\n" % (loader_text.rstrip("\n"), MODULE_START, data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--loader", required=True, type=Path)
    parser.add_argument("--wasm", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    args = parser.parse_args()
    args.out.write_text(embedded(args.loader.read_text(encoding="utf-8"), args.wasm.read_bytes()),
                        encoding="utf-8")


if __name__ == "__main__":
    main()
