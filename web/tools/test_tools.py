#!/usr/bin/env python3
"""Checks of the two page builds (make_site.py, make_single_file.py) with a
small stand-in engine text: what the browser reads back from the single file
is what went in, the policy's hashes match the inline style and script,
nothing refers outside the file or the folder, and the ids the browser tests
use are there."""

import base64
import hashlib
import html.parser
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import embed_wasm  # noqa: E402
import make_single_file  # noqa: E402
import make_site  # noqa: E402
import pagekit  # noqa: E402

PLAIN_ENGINE = "var createVCardEngine = function () { return Promise.resolve({}); };\n"
# The loader above with a module, as the web build makes the engine.
MODULE_ENGINE = embed_wasm.embedded(PLAIN_ENGINE, b"\0asm\1\0\0\0")
# Each would end or change a <script> element's text if kept as it stands:
# the end tag, a comment opening (which can hide a later end tag), a carriage
# return (the parser folds it into a line feed).
AWKWARD_ENGINES = (
    "var createVCardEngine = function () { var s = '</script>'; return Promise.resolve({}); };\n",
    "var createVCardEngine = function () { var s = '<!-- <script>'; return Promise.resolve({}); };\n",
    "var createVCardEngine = function () {\r\n  return Promise.resolve({});\r\n};\r\n",
)


class Element:
    def __init__(self, tag, attrs):
        self.tag = tag
        self.attrs = dict(attrs)
        self.text = ""


class Collector(html.parser.HTMLParser):
    """Every element with its attributes, and the raw text of script and
    style elements (HTMLParser keeps their content as it stands, as a
    browser's parser does)."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.elements = []
        self._open = None

    def handle_starttag(self, tag, attrs):
        element = Element(tag, attrs)
        self.elements.append(element)
        self._open = element if tag in ("script", "style") else None

    def handle_startendtag(self, tag, attrs):
        self.elements.append(Element(tag, attrs))

    def handle_endtag(self, tag):
        self._open = None

    def handle_data(self, data):
        if self._open is not None:
            self._open.text += data

    def by_id(self, ident):
        found = [e for e in self.elements if e.attrs.get("id") == ident]
        return found[0] if len(found) == 1 else None


def parse(text):
    collector = Collector()
    collector.feed(text)
    collector.close()
    return collector


def sha256(text):
    return "'sha256-%s'" % base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode()


def read_back(element):
    """The text as view.js's embeddedText reads it from the element."""
    if element.attrs.get("data-encoding") == "base64":
        return base64.b64decode(element.text.strip()).decode("utf-8")
    return element.text


def policy(collector):
    metas = [e for e in collector.elements
             if e.tag == "meta" and e.attrs.get("http-equiv") == "Content-Security-Policy"]
    assert len(metas) == 1, "one policy per page"
    return {d.split()[0]: d.split()[1:] for d in
            (part.strip() for part in metas[0].attrs["content"].split(";")) if d}


def references(collector):
    return [e.attrs[name] for e in collector.elements for name in ("src", "href") if name in e.attrs]


def section_text(text, ident):
    """The HTML of the single file's section of that id."""
    match = re.search(r'<section id="%s".*?</section>\n\n' % ident, text, re.S)
    if match is None:
        raise AssertionError("no section " + ident)
    return match.group(0)


class SingleFileTest(unittest.TestCase):
    def build(self, engine):
        return parse(make_single_file.single_file(engine))

    def test_engine_and_worker_read_back_exactly(self):
        for engine in (PLAIN_ENGINE, MODULE_ENGINE) + AWKWARD_ENGINES:
            page = self.build(engine)
            loader = read_back(page.by_id("engine-source"))
            module = read_back(page.by_id("engine-module-source"))
            self.assertEqual(loader + module, engine)
            # The module is apart from the loader exactly when there is one.
            self.assertEqual(module.startswith(";var vcardEngineWasm = '"), engine == MODULE_ENGINE)
            self.assertEqual(read_back(page.by_id("worker-source")),
                             pagekit.worker_script())

    def test_awkward_engine_is_kept_as_base64(self):
        for engine in AWKWARD_ENGINES:
            self.assertEqual(self.build(engine).by_id("engine-source").attrs.get("data-encoding"),
                             "base64", repr(engine))
        self.assertIsNone(self.build(PLAIN_ENGINE).by_id("engine-source").attrs.get("data-encoding"))

    def test_policy_allows_exactly_the_inline_script_and_style(self):
        page = self.build(PLAIN_ENGINE)
        running = [e for e in page.elements if e.tag == "script" and "type" not in e.attrs]
        styles = [e for e in page.elements if e.tag == "style"]
        self.assertEqual(len(running), 1)
        self.assertEqual(len(styles), 1)
        self.assertEqual(running[0].text, pagekit.app_script())
        directives = policy(page)
        self.assertEqual(directives["default-src"], ["'none'"])
        self.assertEqual(directives["connect-src"], ["'none'"])
        self.assertEqual(directives["script-src"], [sha256(running[0].text), "'wasm-unsafe-eval'"])
        self.assertEqual(directives["style-src"], [sha256(styles[0].text)])
        self.assertEqual(directives["worker-src"], ["blob:"])
        self.assertEqual(directives["base-uri"], ["'none'"])
        self.assertEqual(directives["form-action"], ["'none'"])
        # The other scripts hold text only; a browser does not run them.
        for e in page.elements:
            if e.tag == "script" and e is not running[0]:
                self.assertEqual(e.attrs.get("type"), "text/plain")

    def test_refers_to_nothing_outside_itself(self):
        page = self.build(PLAIN_ENGINE)
        for ref in references(page):
            self.assertTrue(ref.startswith("#") or ref.startswith("data:"), ref)
        ids = {e.attrs["id"] for e in page.elements if "id" in e.attrs}
        for ref in references(page):
            if ref.startswith("#"):
                self.assertIn(ref[1:], ids, "link to a missing section")

    def test_holds_the_home_and_terms_pages(self):
        text = make_single_file.single_file(PLAIN_ENGINE)
        page = parse(text)
        for side in pagekit.SIDE_PAGES:
            section = page.by_id(side["id"])
            self.assertIsNotNone(section, side["id"])
            self.assertIn("side-page", section.attrs["class"])
        self.assertIn("第6条（規約の変更）", text)
        # The home page is the page's own: it names both UTF-16 byte orders
        # and none of the desktop window's controls; only the desktop
        # program's terms carry the note on what differs here.
        home = section_text(text, "home")
        self.assertIn("このページでできること", home)
        self.assertIn("UTF-16BE", home)
        for desktop_word in ("「次へ」", "「参照…」", "出力ファイル", "同じフォルダ"):
            self.assertNotIn(desktop_word, home)
        self.assertNotIn(pagekit.SIDE_PAGE_NOTE, home)
        self.assertIn(pagekit.SIDE_PAGE_NOTE, section_text(text, "terms"))
        # Source line breaks between Japanese characters are not drawn as spaces.
        self.assertNotIn("ものです。 本ソフトウェア", re.sub(r"\s+", " ", text))


class SiteTest(unittest.TestCase):
    def test_folder_is_complete_and_every_page_has_the_policy(self):
        with tempfile.TemporaryDirectory() as folder:
            out = Path(folder)
            engine = out / "engine-in.js"
            engine.write_text(MODULE_ENGINE, encoding="utf-8")
            sys.argv = ["make_site.py", "--engine", str(engine), "--out", str(out / "site")]
            make_site.main()
            site = out / "site"
            loader = (site / "vcard-engine.js").read_text(encoding="utf-8")
            self.assertEqual(loader, PLAIN_ENGINE)
            self.assertEqual(loader + (site / "vcard-engine-module.js").read_text(encoding="utf-8"),
                             MODULE_ENGINE)
            # The script carries the engine's texts, as the headers write them.
            script = (site / "app.js").read_text(encoding="utf-8")
            self.assertNotIn("@text:", script)
            self.assertIn('failedLog: "変換処理に失敗しました。\\n\\n",', script)
            worker = (site / "worker.js").read_text(encoding="utf-8")
            self.assertNotIn("@text:", worker)
            self.assertIn('const kOutOfMemoryAlert = "メモリーが足りないため', worker)
            pages = sorted(p.name for p in site.glob("*.html"))
            self.assertEqual(pages, ["home.html", "index.html", "terms.html"])
            for name in pages:
                page = parse((site / name).read_text(encoding="utf-8"))
                directives = policy(page)
                self.assertEqual(directives["default-src"], ["'none'"], name)
                self.assertEqual(directives["connect-src"], ["'none'"], name)
                self.assertEqual(directives["script-src"], ["'self'", "'wasm-unsafe-eval'"], name)
                self.assertEqual(directives["style-src"], ["'self'"], name)
                self.assertFalse([e for e in page.elements if e.tag in ("style",)
                                  or (e.tag == "script" and "src" not in e.attrs)], name)
                for ref in references(page):
                    if ref.startswith("#"):
                        continue
                    self.assertNotRegex(ref, r"^[a-z]+:", "%s refers outside: %s" % (name, ref))
                    self.assertTrue((site / ref.split("#")[0]).is_file(), "%s: %s missing" % (name, ref))


class PageContractTest(unittest.TestCase):
    """The ids and values the browser tests and the window's flow rely on."""

    def test_controls(self):
        page = parse(pagekit.read_text(pagekit.PAGE_DIR / "index.html"))
        self.assertEqual(page.elements[0].tag, "html")
        self.assertEqual(page.elements[0].attrs.get("lang"), "ja")
        source = page.by_id("source-file")
        self.assertEqual((source.attrs["type"], source.attrs["accept"]),
                         ("file", ".vcf,text/vcard,text/x-vcard"))
        self.assertEqual(page.by_id("drop-area").attrs.get("tabindex"), "0")
        self.assertEqual(page.by_id("carrier").tag, "select")
        options = [e.attrs["value"] for e in page.elements if e.tag == "option"]
        self.assertEqual(options, ["auto", "docomo", "au", "softbank", "none"])
        radios = [e.attrs for e in page.elements if e.tag == "input" and e.attrs.get("name") == "target"]
        self.assertEqual([r["value"] for r in radios], ["iphone", "icloud"])
        self.assertIn("checked", radios[0])
        self.assertEqual(page.by_id("start").tag, "button")
        self.assertEqual(page.by_id("log").attrs.get("aria-live"), "polite")
        self.assertEqual(page.by_id("alert").tag, "dialog")
        self.assertIsNotNone(page.by_id("alert-text"))
        self.assertIsNotNone(page.by_id("alert-ok"))
        self.assertEqual(page.by_id("progress").tag, "progress")

    def test_the_pages_decisions(self):
        # state.js needs no page, so Node runs its table (state_test.js).
        node = shutil.which("node") or shutil.which("nodejs")
        if node is None:
            self.skipTest("no Node to run state_test.js")
        run = subprocess.run([node, str(pagekit.TOOLS_DIR / "state_test.js"), str(pagekit.PAGE_DIR / "state.js")],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_only_the_view_touches_the_page(self):
        # The document and the browser's window are the view's alone; the
        # state, the worker's messages and the run reach them through it.
        # The page's storage is the browser's too, and storage.js's alone.
        touching = re.compile(r"(?<![.\w])(document|window|navigator|location)\b")
        allowed = {"view.js": ["document", "location", "navigator", "window"], "storage.js": ["navigator"]}
        for name in pagekit.APP_MODULES:
            code = "\n".join(line for line in pagekit.read_text(pagekit.PAGE_DIR / name).splitlines()
                              if not line.lstrip().startswith("//"))
            found = sorted(set(touching.findall(code)))
            self.assertEqual(found, allowed.get(name, []), name)


if __name__ == "__main__":
    unittest.main()
