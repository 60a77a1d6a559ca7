#!/usr/bin/python3
"""The page's conversion time against the native command line, and its size.

Generates the 10k-card bench export, converts it RUNS times in the page
(headless Chromium, from pressing 変換開始 to the log's result, the file
already chosen) and RUNS times with vcard-convert, and prints the medians,
their ratio and the sizes of the engine script and the self-contained page,
raw and gzipped. Figures only: nothing is asserted.

  bench/web_bench.py --site DIR --single FILE --cli VCARD_CONVERT [--cards N] [--runs N]
"""

import argparse
import gzip
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "web"))
import browser_test  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402


def page_seconds(driver, page, source):
    before = page.log()
    driver.find_element(By.ID, "source-file").send_keys(str(source))
    start = time.perf_counter()
    driver.find_element(By.ID, "start").click()
    # Looked at every 5 ms: the default half second would be most of a
    # conversion's time.
    WebDriverWait(driver, 600, poll_frequency=0.005).until(
        lambda _: page.log() != before and
        page.log().split(browser_test.HEADING_END)[-1] != "" and
        driver.find_element(By.ID, "start").is_enabled())
    return time.perf_counter() - start


def sizes(path):
    data = Path(path).read_bytes()
    return len(data), len(gzip.compress(data, 9))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--site", required=True)
    parser.add_argument("--single", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--cards", type=int, default=10000)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    work = Path(tempfile.mkdtemp(prefix="web-bench-"))
    source = work / f"bench-{args.cards}.vcf"
    subprocess.run([sys.executable, str(Path(__file__).parent / "gen_vcards.py"),
                    str(args.cards), str(source)], check=True)

    native = []
    for _ in range(args.runs):
        start = time.perf_counter()
        subprocess.run([args.cli, "--force", str(source), str(work / "out.vcf")],
                       check=True, capture_output=True)
        native.append(time.perf_counter() - start)

    server, base = browser_test.serve(args.site)
    downloads = work / "downloads"
    downloads.mkdir()
    driver = browser_test.start_browser(downloads)
    try:
        driver.get(base + "index.html")
        page = browser_test.PageRun(driver, downloads)
        page_seconds(driver, page, source)  # the engine's first start
        web = [page_seconds(driver, page, source) for _ in range(args.runs)]
    finally:
        driver.quit()
        server.shutdown()

    n, w = statistics.median(native), statistics.median(web)
    print(f"{args.cards} cards, {source.stat().st_size / 1e6:.1f} MB, median of {args.runs}")
    print(f"  vcard-convert   {n:8.3f} s")
    print(f"  page (browser)  {w:8.3f} s   ratio {w / n:.2f}x")
    site = Path(args.site)
    for name, path in (("engine script", site / "vcard-engine.js"),
                       ("self-contained page", Path(args.single))):
        raw, packed = sizes(path)
        print(f"  {name:20} {raw / 1e6:6.2f} MB raw, {packed / 1e6:6.2f} MB gzipped")


if __name__ == "__main__":
    main()
