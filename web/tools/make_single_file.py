#!/usr/bin/env python3
"""Makes the page as one self-contained HTML file that works opened from disk
(file://, offline):

    make_single_file.py --engine path/to/vcard-engine.js --out pc-iphone-vcard-converter.html

Style, script, icon, the home and terms pages, the engine and the worker all
go into the one file. The engine and the worker are kept as text in
non-running <script type="text/plain"> elements; the page makes its worker
from that text through a blob, so the worker runs under the page's policy.
The policy allows the inline style and script by their hashes only.
"""

import argparse
import base64
import hashlib
import re
from pathlib import Path

import pagekit

DEFAULT_OUT = "pc-iphone-vcard-converter.html"

# Sequences that would end a <script> element early or change how its text
# is read (the parser folds CR and replaces NUL).
UNSAFE_IN_SCRIPT = re.compile(r"</script|<!--|<script|[\r\0]", re.I)


def csp_hash(text):
    return "'sha256-%s'" % base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode()


def embedded_text(ident, text):
    """A <script type="text/plain"> holding text exactly, as the page reads it
    back (view.js: embeddedText)."""
    if UNSAFE_IN_SCRIPT.search(text):
        data = base64.b64encode(text.encode("utf-8")).decode("ascii")
        return '<script type="text/plain" id="%s" data-encoding="base64">%s</script>\n' % (ident, data)
    return '<script type="text/plain" id="%s">%s</script>\n' % (ident, text)


def single_file(engine_text):
    index = pagekit.read_text(pagekit.PAGE_DIR / "index.html")
    css = pagekit.read_text(pagekit.PAGE_DIR / "style.css")
    app = pagekit.app_script()
    worker = pagekit.worker_script()
    if UNSAFE_IN_SCRIPT.search(app) or "</style" in css.lower():
        raise SystemExit("the page's script or style.css holds a sequence that would end its element early")

    page = index
    page = pagekit.replace_once(page, '<link rel="stylesheet" href="style.css">\n',
                                "<style>%s</style>\n" % css, "style sheet link")
    page = pagekit.replace_once(page, '<script src="app.js" defer></script>\n', "", "app script")
    icon = "data:image/svg+xml;base64," + base64.b64encode(pagekit.ICON.read_bytes()).decode("ascii")
    page = page.replace('"icon.svg"', '"%s"' % icon)

    anchors = {page_info["file"]: "#" + page_info["id"] for page_info in pagekit.SIDE_PAGES}
    for page_info in pagekit.SIDE_PAGES:
        page = pagekit.replace_once(page, 'href="%s"' % page_info["file"],
                                    'href="#%s"' % page_info["id"], "link to " + page_info["file"])
    sections = "".join(
        pagekit.side_page_body(side, "#converter", embedded=True) + "\n\n"
        for side in pagekit.side_pages(lambda name: anchors[name]))
    page = pagekit.replace_once(page, "</main>\n", "</main>\n\n" + sections, "end of main")

    loader, module = pagekit.engine_parts(engine_text)
    scripts = (embedded_text("engine-source", loader) + embedded_text("engine-module-source", module) +
               embedded_text("worker-source", worker) +
               "<script>%s</script>\n" % app)
    page = pagekit.replace_once(page, "</body>", scripts + "</body>", "end of body")

    policy = ("default-src 'none'; script-src %s 'wasm-unsafe-eval'; worker-src blob:; "
              "connect-src 'none'; style-src %s; img-src 'self' data: blob:; font-src 'none'; "
              "base-uri 'none'; form-action 'none'") % (csp_hash(app), csp_hash(css))
    return pagekit.set_policy(page, policy)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", required=True, type=Path, help="the engine, vcard-engine.js")
    parser.add_argument("--out", type=Path, default=Path(DEFAULT_OUT),
                        help="the HTML file to write (default: %s)" % DEFAULT_OUT)
    args = parser.parse_args()
    if not args.engine.is_file():
        raise SystemExit("%s: no such file" % args.engine)
    engine_text = args.engine.read_text(encoding="utf-8")
    args.out.write_text(single_file(engine_text), encoding="utf-8")


if __name__ == "__main__":
    main()
