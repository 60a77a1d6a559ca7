#!/usr/bin/python3
"""The web page in a real browser, driven as a user drives it.

Each of the three engines (browsers.py: Chromium, WebKit, Firefox; one per
run, --engine) opens the page (the static folder served on loopback, and the
self-contained file from disk), a file is chosen through the file input,
変換開始 is pressed, the log is read and the offered files are downloaded.
Every download must be byte for byte what the native vcard-convert writes
for the same file and target, and the log must say what vcard-convert
prints. Also: the alerts of a file that is no vCard, one the browser cannot
read and one with no card; no request leaves the page once it has loaded;
the Content-Security-Policy allows no connection; and the progress bar
follows the engine's progress (the real engine's at its end, the stand-in
engine's card by card).

  browser_test.py --engine chromium|webkit|firefox --site DIR --single FILE
                  --cli VCARD_CONVERT [--peer DIR] [--data DIR] [--screenshots DIR]
"""

import argparse
import contextlib
import functools
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

import browsers

ARGS = None
TARGETS = ("iphone", "icloud")
RUN_TIMEOUT = int(os.environ.get("RUN_TIMEOUT", "120"))
HEADING_END = "変換処理中・・・\n"
# MiniBrowser's window cannot be narrower than about 447 CSS pixels: a phone's
# width is a frame of 390 x 844 in a page of the test's server.
PHONE_FRAME_PATH = "/__phone-frame.html"
PHONE_FRAME = ('<!DOCTYPE html><html><head><meta charset="utf-8"></head>'
               '<body style="margin:0"><iframe id="phone" src="index.html" width="390" '
               'height="844" style="border:0;display:block"></iframe></body></html>')
NO_CARD_WRITTEN = re.compile(r"出力データ：0件|出力対象データが1件もありませんでした")
NO_CARD_FOUND = "vCard のカードが見つかりませんでした"
POLICY_WORDS = re.compile(r"Content.Security.Policy|Refused to|data:application", re.I)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def end_headers(self):
        # Every script a worker imports reaches the server, so that the
        # paths tell what each worker read.
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def do_GET(self):
        self.server.paths.append(self.path)
        if self.path == PHONE_FRAME_PATH:
            # The frame's page comes from the page's own origin: WebKit draws
            # a frame from another origin into a screenshot as it first was.
            body = PHONE_FRAME.encode("utf-8")
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        super().do_GET()


def serve(folder):
    """Serves folder on a free loopback port; returns (server, base URL). The
    server's paths list every request it was sent."""
    handler = functools.partial(QuietHandler, directory=str(folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.paths = []
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}/"


def wait_until(condition, timeout, message="timed out"):
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.time() > deadline:
            raise AssertionError(message)
        time.sleep(0.05)


def start_browser(download_dir, width=1280, height=900):
    return browsers.start(ARGS.engine, download_dir, width, height)


def native(source, target, out_dir):
    """vcard-convert's output files (name -> bytes) and printed text."""
    shutil.rmtree(out_dir, ignore_errors=True)
    out_dir.mkdir(parents=True)
    name = "PC→iCloud.vcf" if target == "icloud" else "PC→iPhone.vcf"
    run = subprocess.run([ARGS.cli, "--force", f"--target={target}", str(source),
                          str(out_dir / name)], capture_output=True)
    files = {p.name: p.read_bytes() for p in sorted(out_dir.iterdir())}
    return files, run.stdout.decode("utf-8"), run.stderr.decode("utf-8")


class PageRun:
    """One conversion in the page: choose, press, wait, read, download."""

    def __init__(self, browser, download_dir):
        self.browser = browser
        self.download_dir = Path(download_dir)

    def convert(self, path, target="iphone", carrier="auto"):
        b = self.browser
        for entry in self.download_dir.iterdir():
            entry.unlink()
        self.choose_target(target)
        b.js("document.getElementById('carrier').value = arguments[0];", carrier)
        before = self.log()
        b.choose_file("source-file", path)
        b.click("#start")
        # An alert holds the run, as the window's does, until it is answered;
        # then the run is over when the start button is enabled again and the
        # log has grown past its heading.
        wait_until(lambda: self.alert_open() or self.done(before), RUN_TIMEOUT, "the run did not end")
        alert = self.alert()
        wait_until(lambda: self.done(before), 120, "the run did not end after its alert")
        return self.log()[len(before):], alert

    def choose_target(self, target):
        # A click that lands while the page still scrolls to the last run
        # can miss the button (seen once in WebKit): it is pressed again
        # until the choice shows.
        radio = f"input[name=target][value={target}]"

        def chosen():
            if self.browser.js(f"return document.querySelector('{radio}').checked;"):
                return True
            self.browser.click(radio)
            return False

        self.browser.click(radio)
        wait_until(chosen, 10, f"the target {target} could not be chosen")

    def refused(self, path):
        """Chooses path and presses start for a source the checks refuse:
        the alert's text, answered."""
        self.browser.choose_file("source-file", path)
        self.browser.click("#start")
        wait_until(self.alert_open, 30, "no alert")
        return self.alert()

    def done(self, before):
        log = self.log()
        return (log != before and log.split(HEADING_END)[-1] != "" and
                not self.browser.js("return document.getElementById('start').disabled;"))

    def alert_open(self):
        return bool(self.browser.js(
            "const d = document.getElementById('alert'); return d && d.open;"))

    def log(self):
        return self.browser.js("return document.getElementById('log').textContent;")

    def alert(self):
        """The in-page alert's text ("" when none is open), closed after."""
        text = self.browser.js(
            "const d = document.getElementById('alert');"
            "return d && d.open ? document.getElementById('alert-text').textContent : '';")
        if text:
            self.browser.click("#alert-ok")
        return text

    def offered(self):
        """The names the page offers to download, in order."""
        return self.browser.js("return Array.from(document.querySelectorAll('a.download-link'),"
                               " (a) => a.getAttribute('download'));")

    def downloads(self, expected=None):
        """Clicks every offered file and returns name -> bytes once all
        arrived: at the sizes of expected (name -> bytes) where it names
        them, as WebKit writes a download under its final name from the
        start."""
        names = self.offered()
        for i in range(len(names)):
            self.browser.click(f"#download-{i}")
        sizes = {name: len(expected[name]) if expected and name in expected else None
                 for name in names}
        got = browsers.wait_for_downloads(self.download_dir, sizes)
        return got


# Records every state the progress area passes through, as [value, text]
# (value null while indeterminate), into window.progressSeen.
WATCH_PROGRESS = """
window.progressSeen = [];
const area = document.getElementById('progress-area');
const bar = document.getElementById('progress');
const text = document.getElementById('progress-text');
if (window.progressWatch) window.progressWatch.disconnect();
window.progressWatch = new MutationObserver(() => {
  window.progressSeen.push([bar.getAttribute('value'), text.textContent]);
});
window.progressWatch.observe(area, {attributes: true, childList: true, subtree: true,
                                    characterData: true});
"""


# The sizes of the files in the page's output storage (storage.js), or
# null where there is none.
LIST_SPOOLS = """
return (async () => {
  if (!navigator.storage || !navigator.storage.getDirectory) return null;
  const root = await navigator.storage.getDirectory().catch(() => null);
  if (!root) return null;
  const dir = await root.getDirectoryHandle('pc-iphone-outputs', {create: true});
  const sizes = [];
  for await (const handle of dir.values()) sizes.push((await handle.getFile()).size);
  return sizes;
})();
"""

# An output a page closed before it could delete it.
STRAY_SPOOL = """
return (async () => {
  const root = await navigator.storage.getDirectory();
  const dir = await root.getDirectoryHandle('pc-iphone-outputs', {create: true});
  const file = await dir.getFileHandle('run-left-behind.vcf', {create: true});
  const writable = await file.createWritable();
  await writable.write('BEGIN:VCARD');
  await writable.close();
})();
"""


def card_progress(seen):
    """The states that named a card, as (share, text)."""
    return [(float(value), text) for value, text in seen
            if value is not None and "件目を変換中…" in text]


def peer_files():
    files = []
    for folder in ("realworld", "android-vcard"):
        files += sorted((Path(ARGS.peer) / folder).glob("*.vcf"))
    return files




@contextlib.contextmanager
def at_width(test, width, height):
    """The page freshly opened at a viewport of width x height; back at the
    test's usual size after. Yields the function that takes a screenshot of
    the page (path)."""
    url = test.base + "index.html"
    try:
        if ARGS.engine == "webkit" and width < 447:
            assert (width, height) == (390, 844), "the phone frame is 390 x 844"
            test.browser.resize(447, height)
            test.browser.open(test.base + PHONE_FRAME_PATH.lstrip("/"))
            test.browser.enter_frame("phone")
            yield functools.partial(test.browser.screenshot_frame, "phone")
        else:
            test.browser.resize(width, height)
            test.browser.open(url)
            yield test.browser.screenshot
    finally:
        test.browser.leave_frame()
        test.browser.resize(1280, 900)
        test.browser.open(url)


class PageTestCase(unittest.TestCase):
    """One browser of the engine under test for the class, on the static
    folder served on loopback."""

    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="web-test-"))
        cls.downloads = cls.work / "downloads"
        cls.downloads.mkdir()
        cls.server, cls.base = serve(ARGS.site)
        cls.browser = start_browser(cls.downloads)
        cls.browser.open(cls.base + "index.html")
        cls.page = PageRun(cls.browser, cls.downloads)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.shutdown()
        shutil.rmtree(cls.work, ignore_errors=True)

    def spooled(self):
        """The sizes of the files in the page's output storage, or None
        where the page has none."""
        return self.browser.js(LIST_SPOOLS)

    def expect_same_as_native(self, source, target):
        added, alert = self.page.convert(source, target)
        files, printed, errors = native(source, target, self.work / "native")
        # The log holds the heading, the converting line, the log text and
        # the report: what vcard-convert prints is the part after the line.
        self.assertIn(HEADING_END, added)
        self.assertEqual(added.split(HEADING_END, 1)[1], printed)
        self.assertEqual(alert, errors.rstrip("\n"))
        if NO_CARD_WRITTEN.search(printed):
            # Nothing worth saving: the page offers no file, whatever the
            # native program left on disk.
            self.assertEqual(self.page.offered(), [])
            return 0
        got = self.page.downloads(files)
        self.assertEqual(sorted(got), sorted(files))
        for name, data in files.items():
            self.assertTrue(got.get(name) == data, f"{name} differs from vcard-convert's")
        return len(files)


class BrowserTest(PageTestCase):
    """Conversions against the native program, alerts, requests, policy."""

    def test_every_peer_export_converts_as_natively(self):
        files = peer_files()
        if not files:
            self.skipTest(f"no peer vCard files under {ARGS.peer}")
        written = 0
        for source in files:
            for target in TARGETS:
                with self.subTest(file=source.name, target=target):
                    written += self.expect_same_as_native(source, target)
        print(f"peer exports: {len(files)} files x {len(TARGETS)} targets, "
              f"{written} downloads identical", file=sys.stderr)

    def test_golden_sources_convert_as_natively(self):
        sources = sorted(Path(ARGS.data).glob("*.vcf"))
        self.assertTrue(sources, "no golden sources found")
        for source in sources:
            with self.subTest(file=source.name):
                self.expect_same_as_native(source, "iphone")

    def test_alerts_of_the_window(self):
        not_vcard = self.work / "address.txt"
        not_vcard.write_bytes(b"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n")
        empty = self.work / "empty.vcf"
        empty.write_bytes(b"no cards here\r\n")
        with self.subTest(file=not_vcard.name):
            # A source check: an alert and no run, so nothing in the log.
            before = self.page.log()
            self.assertEqual(self.page.refused(not_vcard), "変換元ファイルはvCardファイルではありません。")
            self.assertEqual(self.page.log(), before)
        with self.subTest(file=empty.name):
            added, alert = self.page.convert(empty)
            self.assertEqual(alert, "")
            # The log as native: no card written, and the report says the
            # file holds none.
            self.assertTrue(added.endswith("出力対象データが1件もありませんでした。\n\n"
                                           "【変換レポート】vCard のカードが見つかりません"
                                           "（BEGIN:VCARD の行がありません）。"
                                           "変換元ファイルが vCard ファイルか確かめてください。\n\n"),
                            added)
        with self.subTest(file="gone.vcf"):
            # A file that disappears once chosen cannot be read by the browser.
            gone = self.work / "gone.vcf"
            gone.write_bytes(b"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n")
            before = self.page.log()
            self.browser.choose_file("source-file", gone)
            gone.unlink()
            self.browser.click("#start")
            wait_until(self.page.alert_open, 30, "no alert")
            self.assertEqual(self.page.alert(), "変換元ファイルが読み込めません。\n"
                             "他で使用中もしくは破損している可能性があります。")
            wait_until(lambda: "変換処理に失敗しました。" in self.page.log()[len(before):], 10,
                       "no failure in the log")

    def test_a_charset_the_page_lacks_is_told(self):
        # Big5-HKSCS is left out of the page's charset tables: the desktop
        # program converts the card, the page must say why it did not.
        source = self.work / "hkscs.vcf"
        source.write_bytes(b"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=Big5-HKSCS:\xa4\xfd;\xa4p\xa9\xfa\r\n"
                           b"END:VCARD\r\n")
        files, printed, _ = native(source, "iphone", self.work / "native")
        self.assertIn("出力データ：1件", printed)
        added, _ = self.page.convert(source)
        self.assertIn("出力対象データが1件もありませんでした。", added)
        self.assertIn("この版には入っていない文字コードです。デスクトップ版で変換してください"
                      "（N;CHARSET=Big5-HKSCS）", added)

    def test_the_bar_ends_at_the_last_card_of_a_larger_file(self):
        source = self.work / "many.vcf"
        cards = 3000
        source.write_text("".join(
            f"BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;太郎{i}\r\nTEL:090-1234-{i:04}\r\n"
            "END:VCARD\r\n" for i in range(1, cards + 1)), encoding="utf-8")
        self.browser.js(WATCH_PROGRESS)
        self.expect_same_as_native(source, "iphone")
        seen = card_progress(self.browser.js("return window.progressSeen;"))
        self.assertTrue(seen, "no card was named")
        self.assertEqual(seen[-1], (1.0, "3,000件目を変換中…"))
        shares = [share for share, _ in seen]
        self.assertEqual(shares, sorted(shares))
        self.assertTrue(self.browser.js("return document.getElementById('progress-area').hidden;"))

    def test_no_request_leaves_the_page_after_loading(self):
        self.browser.open(self.base + "index.html")
        self.browser.page_requests()  # what loading the page asked for
        loaded = len(self.server.paths)
        self.page.convert(Path(ARGS.data) / "sjis_road.vcf")
        self.page.downloads()
        self.page.convert(Path(ARGS.data) / "sjis_road.vcf", "icloud")
        # The worker of the static folder imports the engine and its own
        # script from the page's folder when it starts, and WebKit may ask
        # for the page's own icon only once it draws it; nothing else may be
        # asked for, from anywhere.
        own_paths = {"/vcard-engine.js", "/vcard-engine-module.js", "/worker.js", "/icon.svg"}
        own = {self.base + path[1:] for path in own_paths}
        requests = [url for url in self.browser.page_requests()
                    if not url.startswith(("blob:", "data:")) and url not in own]
        self.assertEqual(requests, [])
        served = self.server.paths[loaded:]
        self.assertLessEqual(set(served), own_paths)
        # Each run had a worker of its own, and only the first read the
        # module's text: later ones are handed it compiled.
        self.assertGreaterEqual(served.count("/worker.js"), 2)
        self.assertEqual(served.count("/vcard-engine-module.js"), 1)

    def test_the_engine_starts_without_a_policy_violation(self):
        if ARGS.engine == "webkit":
            self.skipTest("WebDriver gives WebKit's console to no one")
        for page in (self.base + "index.html", Path(ARGS.single).resolve().as_uri()):
            with self.subTest(page=page):
                # A fresh page starts a fresh worker, whose engine loads now.
                self.browser.open(page)
                self.browser.console_lines()
                seen = len(self.browser.console_lines())
                self.page.convert(Path(ARGS.data) / "sjis_road.vcf")
                lines = self.browser.console_lines()[seen:]
                self.assertEqual([line for line in lines if POLICY_WORDS.search(line)], [])
        self.browser.open(self.base + "index.html")

    def test_content_security_policy_allows_no_connection(self):
        pages = [Path(ARGS.site) / "index.html", Path(ARGS.single)]
        for page in pages:
            with self.subTest(page=page.name):
                html = page.read_text(encoding="utf-8")
                match = re.search(r'http-equiv="Content-Security-Policy"\s+content="([^"]*)"',
                                  html)
                self.assertIsNotNone(match, "no Content-Security-Policy")
                policy = {part.split()[0]: part.split()[1:]
                          for part in match.group(1).split(";") if part.strip()}
                self.assertEqual(policy.get("default-src"), ["'none'"])
                self.assertEqual(policy.get("connect-src"), ["'none'"])
                for sources in policy.values():
                    for source in sources:
                        self.assertFalse(source.startswith(("http", "https", "*", "data:"))
                                         and source != "data:", f"{source} in the policy")
                self.assertNotRegex(html, r'(src|href)="https?://')

    def test_a_large_export_read_in_pieces_converts_as_natively(self):
        # Over the 4 MiB the engine loads whole: the worker reads it in
        # slices into the engine's piecewise reader and gets the output back
        # in blocks.
        source = self.work / "large.vcf"
        bench = Path(__file__).resolve().parents[2] / "bench" / "gen_vcards.py"
        subprocess.run([sys.executable, str(bench), "10000", str(source)], check=True)
        self.assertGreater(source.stat().st_size, 4 << 20)
        for target in TARGETS:
            with self.subTest(target=target):
                self.assertEqual(self.expect_same_as_native(source, target), 1)

    def test_self_contained_file_works_from_disk(self):
        self.browser.open(Path(ARGS.single).resolve().as_uri())
        try:
            self.expect_same_as_native(Path(ARGS.data) / "sjis_road.vcf", "iphone")
            self.expect_same_as_native(Path(ARGS.data) / "sjis_road.vcf", "icloud")
            # Such a page may have an origin of its own, whose storage no
            # later page could clean: its outputs stay in memory.
            self.assertFalse(self.spooled())
        finally:
            self.browser.open(self.base + "index.html")



class ResultTest(PageTestCase):
    """What the person sees after a run, in a browser of its own: WebKit
    stops taking screenshots after a few hundred runs in one window."""

    def test_a_run_that_writes_no_card_offers_nothing_and_says_why(self):
        # name, bytes, the note's text
        png = bytes.fromhex("89504e470d0a1a0a0000000d49484452") + bytes(64)
        cases = [
            ("empty", b"", NO_CARD_FOUND),
            ("png", png, NO_CARD_FOUND),
            ("random", bytes((i * 151 + 7) % 256 for i in range(4096)), NO_CARD_FOUND),
            ("unfinished", b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\n",
             "書き出せるカードがありませんでした。\n"),
            ("hkscs", b"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=Big5-HKSCS:\xa4\xfd\r\nEND:VCARD\r\n",
             "書き出せるカードがありませんでした。\nこの版には入っていない文字コードです。"),
        ]
        # A run that did write a card first: its links must go.
        self.page.convert(Path(ARGS.data) / "sjis_road.vcf")
        self.assertTrue(self.page.offered())
        for name, data, note in cases:
            with self.subTest(case=name):
                source = self.work / f"{name}.vcf"
                source.write_bytes(data)
                added, alert = self.page.convert(source)
                self.assertEqual(alert, "")
                self.assertTrue(added.startswith(f"■ {name}.vcf\n{HEADING_END}"), added)
                self.assertEqual(self.page.offered(), [])
                self.assertTrue(self.browser.js("return document.getElementById('downloads').hidden;"))
                shown = self.browser.js(
                    "const n = document.getElementById('no-output');"
                    "return n.hidden ? null : document.getElementById('no-output-text').textContent;")
                self.assertIsNotNone(shown, "no note")
                self.assertTrue(shown.startswith(note), shown)

    def test_the_report_keeps_names_and_counts_whole(self):
        # Plain text from the engine; the page itself keeps a hyphenated
        # name and a count with its unit on one line.
        source = self.work / "dropped.vcf"
        source.write_bytes(b"BEGIN:VCARD\r\nVERSION:2.1\r\nN:a;b\r\nX-GN:g\r\n"
                           b"X-MS-IMADDRESS:x\r\nEND:VCARD\r\n")
        added, alert = self.page.convert(source)
        self.assertEqual(alert, "")
        self.assertNotIn("\u2060", added)
        whole = self.browser.js(
            "return Array.from(document.querySelectorAll('#log .nowrap'))"
            ".filter((s) => getComputedStyle(s).whiteSpace === 'nowrap')"
            ".map((s) => s.textContent);")
        for expected in ("X-GN", "X-MS-IMADDRESS", "）1件"):
            self.assertIn(expected, whole)

    def test_a_new_choice_or_an_alert_clears_the_links(self):
        road = Path(ARGS.data) / "sjis_road.vcf"
        not_vcard = self.work / "address.txt"
        not_vcard.write_bytes(b"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n")
        other = self.work / "other.vcf"
        other.write_bytes(road.read_bytes())
        for name, step in (("new choice", lambda: self.browser.choose_file("source-file", other)),
                           ("alert", lambda: self.page.refused(not_vcard))):
            with self.subTest(case=name):
                self.page.convert(road)
                self.assertEqual(self.page.offered(), ["PC→iPhone.vcf"])
                step()
                self.assertEqual(self.page.offered(), [])
                self.assertTrue(self.browser.js("return document.getElementById('downloads').hidden;"))

    def test_outputs_stay_on_disk_only_while_offered(self):
        # The outputs are written to the page's private storage, not kept
        # in memory; being the person's address book, they go with their
        # links, and what a closed page left behind goes when the page opens.
        road = Path(ARGS.data) / "sjis_road.vcf"
        if ARGS.engine == "webkit" and self.spooled() is None:
            # As in Safari's private windows: the page keeps its outputs in
            # memory, which every other test's downloads go through here.
            self.skipTest("WebKit's automated window refuses the page's storage")
        self.assertIsNotNone(self.spooled(), "the page's storage is not there")
        self.browser.js(STRAY_SPOOL)
        self.browser.open(self.base + "index.html")
        wait_until(lambda: self.spooled() == [], 10, "a closed page's output stayed")
        self.page.convert(road)
        size = int(self.browser.js("return document.getElementById('download-0').dataset.size;"))
        self.assertEqual(self.spooled(), [size])
        self.page.convert(road, "icloud")
        self.assertEqual(len(self.spooled()), 1, "the first run's output stayed")
        other = self.work / "spooled.vcf"
        other.write_bytes(road.read_bytes())
        self.browser.choose_file("source-file", other)
        wait_until(lambda: self.spooled() == [], 10, "the output outlived its links")

    def test_the_run_just_ended_is_in_view(self):
        road = Path(ARGS.data) / "sjis_road.vcf"
        for width, height in ((390, 844), (1280, 800)):
            with self.subTest(width=width), at_width(self, width, height):
                for _ in range(3):
                    self.page.convert(road)
                # The last run's heading is the log box's first visible line
                # and in the window; the links follow in the window.
                box = self.browser.js("""
                    const runs = document.querySelectorAll('#log .run-heading');
                    const heading = runs[runs.length - 1].getBoundingClientRect();
                    const log = document.getElementById('log').getBoundingClientRect();
                    const links = document.getElementById('downloads').getBoundingClientRect();
                    return {top: heading.top, bottom: heading.bottom, logTop: log.top,
                            logBottom: log.bottom, linksBottom: links.bottom,
                            height: window.innerHeight};""")
                self.assertGreaterEqual(box["top"], 0, box)
                self.assertGreaterEqual(box["top"], box["logTop"], box)
                self.assertLessEqual(box["bottom"], min(box["logBottom"], box["height"]), box)
                self.assertLessEqual(box["linksBottom"], box["height"], box)

    def test_the_next_step_fits_the_device(self):
        # name, user agent (None: the browser's own), touch points, target,
        # the words the step must hold
        mac = "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 Safari/605.1.15"
        iphone = "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 Mobile/15E148 Safari/604.1"
        android = "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Mobile Safari/537.36"
        cases = [
            ("this desktop", None, 0, "iphone", ["AirDrop", "メールに添付"]),
            ("this desktop", None, 0, "icloud", ["iCloud.com にサインイン", "1 つずつ"]),
            ("iphone", iphone, 5, "iphone", ["「ファイル」アプリ", "すべて追加", "iOS のバージョン"]),
            ("iphone", iphone, 5, "icloud", ["PC のブラウザー", "「iPhone で開く」"]),
            ("ipad as a mac", mac, 5, "iphone", ["「ファイル」アプリ", "すべて追加"]),
            ("a mac", mac, 0, "iphone", ["AirDrop"]),
            ("android", android, 5, "iphone", ["「連絡帳」", "インポート"]),
            ("android", android, 5, "icloud", ["PC のブラウザー"]),
        ]
        road = Path(ARGS.data) / "sjis_road.vcf"
        for name, agent, touch, target, words in cases:
            if agent and not hasattr(self.browser, "pretend_device"):
                continue  # only Chromium can stand in for another device
            with self.subTest(device=name, target=target):
                try:
                    if agent:
                        self.browser.pretend_device(agent, touch)
                        self.browser.open(self.base + "index.html")
                    self.page.convert(road, target)
                    step = self.browser.js(
                        "return document.getElementById('next-step').textContent;")
                    for word in words:
                        self.assertIn(word, step)
                finally:
                    if agent:
                        self.browser.pretend_device(None, 0)
                        self.browser.open(self.base + "index.html")

    def test_screenshots_at_phone_and_desktop_width(self):
        if not ARGS.screenshots:
            self.skipTest("no --screenshots folder")
        out = Path(ARGS.screenshots)
        out.mkdir(parents=True, exist_ok=True)
        for kind, width, height in (("phone", 390, 844), ("desktop", 1280, 800)):
            name = f"web-{ARGS.engine}-{kind}.png"
            with self.subTest(width=width):
                with at_width(self, width, height) as screenshot:
                    self.page.convert(Path(ARGS.data) / "sjis_road.vcf")
                    # The run's end is in the document; WebKit under load
                    # has shown a frame painted before it. Two frames later
                    # it is on screen.
                    self.browser.js("return new Promise((done) => "
                                    "requestAnimationFrame(() => requestAnimationFrame(done)));")
                    time.sleep(0.2)
                    screenshot(out / name)
                self.assertGreater((out / name).stat().st_size, 10000)


def fake_cards(count, photo_at=None, slow=True):
    text = "X-FAKE-SLOW\r\n" if slow else ""
    for i in range(1, count + 1):
        photo = "PHOTO;ENCODING=b;TYPE=JPEG:AAAA\r\n" if i == photo_at else ""
        text += f"BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;{i}\r\n{photo}END:VCARD\r\n"
    return text.encode()


class StandInProgressTest(unittest.TestCase):
    """The page against web/tools/fake-engine.js, which tells progress card
    by card when slow: what the bar shows for each kind of event."""

    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="web-fake-"))
        tools = Path(__file__).resolve().parents[2] / "web" / "tools"
        subprocess.run([sys.executable, str(tools / "make_site.py"), "--engine",
                        str(tools / "fake-engine.js"), "--out", str(cls.work / "site")],
                       check=True)
        (cls.work / "downloads").mkdir()
        cls.server, cls.base = serve(cls.work / "site")
        cls.browser = start_browser(cls.work / "downloads")
        cls.browser.open(cls.base + "index.html")
        cls.page = PageRun(cls.browser, cls.work / "downloads")

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.shutdown()
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_what_the_bar_shows(self):
        # name, source, target, texts the bar must show with a share,
        # the log's end
        cases = [
            ("cards", fake_cards(6), "iphone",
             [f"{i}件目を変換中…" for i in range(1, 7)], "出力データ：6件\n\n"),
            ("photo", fake_cards(4, photo_at=2), "icloud",
             ["1件目を変換中…", "写真を縮小中…", "4件目を変換中…"], "出力データ：4件\n\n"),
            ("nothing told", b"", "iphone", [], "出力対象データが1件もありませんでした。\n\n"),
        ]
        for name, data, target, texts, log_end in cases:
            with self.subTest(case=name):
                source = self.work / f"{name.replace(' ', '-')}.vcf"
                source.write_bytes(data)
                self.browser.js(WATCH_PROGRESS)
                added, alert = self.page.convert(source, target)
                self.assertEqual(alert, "")
                self.assertTrue(added.endswith(log_end), added)
                seen = self.browser.js("return window.progressSeen;")
                determinate = [(float(value), text) for value, text in seen
                               if value is not None and not text.startswith("読み込み中")]
                shown = [text for _, text in determinate]
                for text in texts:
                    self.assertIn(text, shown)
                self.assertEqual(sorted(texts, key=shown.index), texts, shown)
                shares = [share for share, _ in determinate]
                self.assertEqual(shares, sorted(shares))
                if texts:
                    self.assertTrue(any(0 < share < 1 for share in shares), determinate)
                else:
                    self.assertEqual(determinate, [])
                self.assertTrue(self.browser.js("return document.getElementById('progress-area').hidden;"))

    def test_an_engine_that_ends_is_told(self):
        # The module cannot unwind: a failure ends it, and running out of
        # memory is told as such from the note the engine left.
        cases = [("X-FAKE-ABORT", "変換処理中に問題が起きました。"),
                 ("X-FAKE-OUT-OF-MEMORY", "メモリーが足りないため、変換を続けられませんでした。")]
        for line, alert_start in cases:
            with self.subTest(line=line):
                source = self.work / f"{line}.vcf"
                source.write_bytes(line.encode() + b"\r\n" + fake_cards(2, slow=False))
                added, alert = self.page.convert(source, "iphone")
                self.assertTrue(alert.startswith(alert_start), alert)
                self.assertTrue(added.endswith("変換処理に失敗しました。\n\n"), added)
                self.assertEqual(self.page.offered(), [])

    def test_a_long_read_shows_its_share(self):
        # 40 slices of the stand-in's reading, three seconds in all: the
        # worker tells the share read before any card is converted.
        source = self.work / "slow-read.vcf"
        source.write_bytes(b"X-FAKE-SLOW-READ\r\n" + fake_cards(400, slow=False))
        self.browser.js(WATCH_PROGRESS)
        added, alert = self.page.convert(source, "iphone")
        self.assertEqual(alert, "")
        self.assertTrue(added.endswith("出力データ：400件\n\n"), added)
        seen = self.browser.js("return window.progressSeen;")
        reading = [float(value) for value, text in seen
                   if value is not None and text.startswith("読み込み中…")]
        self.assertTrue(any(0 < share < 1 for share in reading), seen)
        self.assertEqual(reading, sorted(reading))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", choices=browsers.ENGINES, default="chromium")
    parser.add_argument("--site", required=True)
    parser.add_argument("--single", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--peer", default=str(Path(__file__).resolve().parents[3] /
                                              "shared" / "peer-data"))
    parser.add_argument("--data", default=str(Path(__file__).resolve().parents[1] /
                                              "data" / "engine"))
    parser.add_argument("--screenshots")
    ARGS, rest = parser.parse_known_args()
    for needed in (ARGS.site, ARGS.single, ARGS.cli):
        if not os.path.exists(needed):
            sys.exit(f"missing: {needed}")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
