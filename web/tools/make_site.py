#!/usr/bin/env python3
"""Makes the page as a static folder, to be served over HTTP(S):

    make_site.py --engine path/to/vcard-engine.js --out folder

The folder holds index.html (the converter), style.css, app.js, worker.js,
the engine (its loader, vcard-engine.js, and its wasm module,
vcard-engine-module.js), the icon, the page's home page (home.html) and the
desktop program's terms (terms.html). Nothing in it loads anything from elsewhere.
"""

import argparse
import html
import re
import shutil
from pathlib import Path

import pagekit

STATIC_FILES = ("index.html", "style.css")


def side_page_document(index, page):
    """A full page around a desktop page's content, with the converter's
    head (and so its policy), header and footer."""
    head = re.search(r"^.*?<body>\n", index, re.S).group(0)
    head = pagekit.replace_once(head, "<title>%s</title>" % pagekit.SITE_NAME,
                                "<title>%s</title>" % html.escape(page["document_title"]), "title")
    # The converter's script has nothing to do here.
    head = pagekit.replace_once(head, '<script src="app.js" defer></script>\n', "", "app script")
    header = re.search(r'<header class="site-header">.*?</header>\n', index, re.S).group(0)
    header = pagekit.replace_once(header, 'href="#converter"', 'href="index.html"', "site link")
    footer = re.search(r'<footer class="site-footer">.*?</footer>\n', index, re.S).group(0)
    body = pagekit.side_page_body(page, "index.html", embedded=False)
    return head + header + "\n" + body + "\n\n" + footer + "</body>\n</html>\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", required=True, type=Path, help="the engine, vcard-engine.js")
    parser.add_argument("--out", required=True, type=Path, help="the folder to write (made if missing)")
    args = parser.parse_args()

    if not args.engine.is_file():
        raise SystemExit("%s: no such file" % args.engine)
    args.out.mkdir(parents=True, exist_ok=True)
    for name in STATIC_FILES:
        shutil.copyfile(pagekit.PAGE_DIR / name, args.out / name)
    (args.out / "app.js").write_text(pagekit.app_script(), encoding="utf-8")
    (args.out / "worker.js").write_text(pagekit.worker_script(), encoding="utf-8")
    loader, module = pagekit.engine_parts(pagekit.read_text(args.engine))
    (args.out / "vcard-engine.js").write_text(loader, encoding="utf-8")
    (args.out / "vcard-engine-module.js").write_text(module, encoding="utf-8")
    shutil.copyfile(pagekit.ICON, args.out / "icon.svg")

    index = pagekit.read_text(pagekit.PAGE_DIR / "index.html")
    for page in pagekit.side_pages(lambda name: name):
        (args.out / page["file"]).write_text(side_page_document(index, page), encoding="utf-8")


if __name__ == "__main__":
    main()
