"""Pieces shared by the two ways the page ships: the static folder
(make_site.py) and the one self-contained HTML file (make_single_file.py).

The home page is the page's own (page/home.html: it describes this page,
not the desktop program); the terms are the desktop program's
(app/pages/terms.html), written once. Their header and main content are
taken from there.
"""

import html
import json
import re
from pathlib import Path

import embed_wasm

TOOLS_DIR = Path(__file__).resolve().parent
PAGE_DIR = TOOLS_DIR.parent / "page"
SOURCE_ROOT = TOOLS_DIR.parent.parent
APP_PAGES_DIR = SOURCE_ROOT / "app" / "pages"
ICON = SOURCE_ROOT / "packaging" / "vcard-converter.svg"

# The side pages: their source, their name in the static folder (index.html
# is the converter itself), their fragment in the single file and whether
# they are the desktop program's, which need a word on what differs here.
SIDE_PAGES = (
    {"source": PAGE_DIR / "home.html", "file": "home.html", "id": "home", "desktop": False},
    {"source": APP_PAGES_DIR / "terms.html", "file": "terms.html", "id": "terms",
     "desktop": True},
)

# What the desktop pages describe differently from the page in the browser.
SIDE_PAGE_NOTE = (
    "保存先やボタンの説明はデスクトップ版のものです。ブラウザー版では、変換したファイルを"
    "「変換したファイル」のリンクからダウンロードして保存します。変換はこのブラウザーの中だけで行われ、"
    "ファイルの内容はどこにも送信されません。"
)

SITE_NAME = "PC→iPhone vCard 変換"

# The headers whose texts the page's script shows as the window does: they
# are written once, there, and filled into the script when the page is built.
TEXT_HEADERS = (SOURCE_ROOT / "checks" / "source_check.h",
                SOURCE_ROOT / "engine" / "result_texts.h")
_TEXT_CONSTANT = re.compile(r'inline constexpr const char\* (k\w+) =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);')
_LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
_PLACEHOLDER = re.compile(r"'@text:(k\w+)@'")


def header_texts():
    """The text constants of TEXT_HEADERS by name, their C literals joined
    and their escapes undone."""
    texts = {}
    for header in TEXT_HEADERS:
        for name, literals in _TEXT_CONSTANT.findall(read_text(header)):
            raw = "".join(_LITERAL.findall(literals))
            texts[name] = raw.encode("latin-1", "backslashreplace").decode("unicode_escape") \
                if "\\" in raw else raw
    return texts


# The page's script, one job to each file: what the page knows and
# decides, the view (the only one that touches the document), where the
# outputs are kept, the worker's messages, and the run that ties them
# together. They are joined, in this
# order, into the one script the page loads.
APP_MODULES = ("state.js", "view.js", "storage.js", "engine_worker.js", "app.js")


def with_texts(script):
    """script with every '@text:kName@' replaced by the header's text, as a
    JavaScript string."""
    texts = header_texts()

    def text_of(match):
        if match.group(1) not in texts:
            raise SystemExit("the page's script asks for %s, which no header defines"
                             % match.group(1))
        return json.dumps(texts[match.group(1)], ensure_ascii=False)

    return _PLACEHOLDER.sub(text_of, script)


def app_script():
    """The page's modules joined into one strict script of its own scope,
    with the headers' texts filled in."""
    modules = "\n".join(read_text(PAGE_DIR / name) for name in APP_MODULES)
    return with_texts("'use strict';\n(function () {\n" + modules + "})();\n")


def worker_script():
    """The worker's script, with the headers' texts filled in."""
    return with_texts(read_text(PAGE_DIR / "worker.js"))


def engine_parts(engine_text):
    """The engine's script (embed_wasm.py) as its loader and the script that
    holds its wasm module ("" when it holds none). A worker that is handed
    the module already compiled needs only the loader, and skips reading
    the module's megabytes of text."""
    at = engine_text.rfind(embed_wasm.MODULE_START)
    if at < 0:
        return engine_text, ""
    return engine_text[:at + 1], engine_text[at + 1:]


def read_text(path):
    return Path(path).read_text(encoding="utf-8")


def _element(text, tag, source):
    match = re.search(r"<%s\b[^>]*>(.*?)</%s>" % (tag, tag), text, re.S | re.I)
    if match is None:
        raise SystemExit("%s: no <%s> element" % (source, tag))
    return match.group(1).strip()


def side_pages(link_for):
    """The side pages as dicts: id, file, title (its heading, plain text),
    document_title (plain text), lead (plain text or ""), content (HTML of
    its main part). link_for maps a side page's file name ("home.html",
    "terms.html") to the address it has here; the desktop pages' own name
    of their home page, index.html, counts as home.html."""
    pages = []
    for page in SIDE_PAGES:
        path = page["source"]
        text = read_text(path)
        header = _element(text, "header", path)
        title = html.unescape(re.sub(r"<[^>]+>", "", _element(header, "h1", path)))
        lead_match = re.search(r"<p\b[^>]*>(.*?)</p>", header, re.S | re.I)
        lead = html.unescape(re.sub(r"<[^>]+>", "", lead_match.group(1))).strip() if lead_match else ""
        document_title = html.unescape(_element(text, "title", path))
        content = _element(text, "main", path)
        if "<script" in content.lower() or " style=" in content.lower():
            raise SystemExit("%s: scripts and style attributes would break the page's policy" % path)
        # A line break between two Japanese characters in the source would be
        # drawn as a space.
        content = re.sub(r"(?<=[^\x00-\x7f])\n[ \t]*(?=[^\x00-\x7f])", "", content)
        content = re.sub(
            r'href="(index\.html|home\.html|terms\.html)"',
            lambda m: 'href="%s"' % link_for(
                "home.html" if m.group(1) == "index.html" else m.group(1)),
            content,
        )
        pages.append(dict(page, title=title, document_title=document_title, lead=lead,
                          content=content))
    return pages


def side_page_body(page, back_href, embedded):
    """The main part of a desktop page as it stands in the web build."""
    classes = "side-page embedded" if embedded else "side-page"
    tag = "section" if embedded else "main"
    ident = ' id="%s"' % page["id"] if embedded else ""
    heading_id = "%s-title" % page["id"]
    lead = '\n  <p class="side-page-lead">%s</p>' % html.escape(page["lead"]) if page["lead"] else ""
    return (
        '<%(tag)s%(ident)s class="%(classes)s" aria-labelledby="%(heading_id)s">\n'
        '  <a class="back-link" href="%(back)s">← 変換の画面に戻る</a>\n'
        '  <h1 id="%(heading_id)s" class="side-page-title">%(title)s</h1>%(lead)s\n'
        "%(note)s"
        "%(content)s\n"
        '  <a class="back-link" href="%(back)s">← 変換の画面に戻る</a>\n'
        "</%(tag)s>"
    ) % {
        "tag": tag,
        "ident": ident,
        "classes": classes,
        "heading_id": heading_id,
        "back": back_href,
        "title": html.escape(page["title"]),
        "lead": lead,
        "note": ('  <p class="side-page-note">%s</p>\n' % html.escape(SIDE_PAGE_NOTE)
                 if page["desktop"] else ""),
        "content": page["content"],
    }


def replace_once(text, old, new, what):
    """Replaces the one occurrence of old; the page's template changing under
    the build must fail it, not give a page that half works."""
    count = text.count(old)
    if count != 1:
        raise SystemExit("index.html: expected one %s, found %d" % (what, count))
    return text.replace(old, new)


def policy_of(text):
    match = re.search(r'<meta http-equiv="Content-Security-Policy" content="([^"]*)">', text)
    if match is None:
        raise SystemExit("index.html: no Content-Security-Policy")
    return match.group(1)


def set_policy(text, policy):
    return replace_once(
        text,
        '<meta http-equiv="Content-Security-Policy" content="%s">' % policy_of(text),
        '<meta http-equiv="Content-Security-Policy" content="%s">' % policy,
        "Content-Security-Policy",
    )
