#!/usr/bin/python3
"""The page's conversion time and memory in each browser engine, against the
native command line, and the page's size.

Generates the bench exports (10k and 100k cards by default), then for each
engine (Chromium, WebKit, Firefox: tests/web/browsers.py) and each target
converts each file in the page: once in a freshly opened page (the engine's
first start included) and RUNS more times, timed inside the page from the
press of 変換開始 to the button coming back with the result shown. vcard-convert converts each RUNS times.
Prints one table row per engine, file and target: the first run, the median
of the others, its ratio to vcard-convert's median, the peak memory while
converting (over one more run, watched apart from the timed ones) of the
browser's largest process (resident; also before the runs, the page
loaded) and of all its processes together (proportional: shared pages by each one's share), that
peak less what all of them held before the runs (the page loaded, nothing
converted: what the runs themselves took), and what all of them hold after
the runs against before them, with the last run's links offered and once
another file is chosen (which lets go of them). Figures only: nothing is
asserted.

  bench/web_bench.py --site DIR --single FILE --cli VCARD_CONVERT
                     [--engines chromium,webkit,firefox] [--cards 10000,100000]
                     [--targets iphone,icloud] [--runs N]
"""

import argparse
import gzip
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "web"))
import browser_test  # noqa: E402
import browsers  # noqa: E402


def process_tree(root):
    """The pids of root and every process below it."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="ascii", errors="replace") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except (OSError, IndexError):
            pass
    tree, todo = [], [root]
    while todo:
        pid = todo.pop()
        tree.append(pid)
        todo += children.get(pid, [])
    return tree


def resident(pid):
    """A process's (resident, proportional) memory in bytes, the shared
    pages counted in the second by the share each process has of them; 0
    once it has gone."""
    values = {"Rss:": 0, "Pss:": 0}
    try:
        with open(f"/proc/{pid}/smaps_rollup", encoding="ascii", errors="replace") as f:
            for line in f:
                field = line.split()
                if field and field[0] in values:
                    values[field[0]] = int(field[1]) * 1024
    except OSError:
        pass
    return values["Rss:"], values["Pss:"]


def memory(root):
    """(largest process's resident, all processes' proportional) memory of
    the tree, in bytes."""
    sizes = [resident(pid) for pid in process_tree(root)]
    return max((rss for rss, _ in sizes), default=0), sum(pss for _, pss in sizes)


class PeakWatch:
    """Samples the tree's memory every 20 ms until stopped."""

    def __init__(self, root):
        self.root, self.largest, self.total = root, 0, 0
        self.running = True
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def watch(self):
        while self.running:
            largest, total = memory(self.root)
            self.largest, self.total = max(self.largest, largest), max(self.total, total)
            time.sleep(0.02)

    def stop(self):
        self.running = False
        self.thread.join()
        return self.largest, self.total


# Times the run inside the page, from the press of 変換開始 to the start
# button coming back: asking the browser every few milliseconds whether the
# run has ended would take the CPU the run needs (on two cores, one is the
# worker's).
TIME_RUN = """
const button = document.getElementById('start');
const run = window.benchRun = {start: 0, end: 0};
button.addEventListener('click', () => { run.start = performance.now(); }, {capture: true, once: true});
const watch = new MutationObserver(() => {
  if (run.start && !button.disabled) {
    run.end = performance.now();
    watch.disconnect();
  }
});
watch.observe(button, {attributes: true, attributeFilter: ['disabled']});
"""


def page_seconds(browser, source, target):
    browser.click(f"input[name=target][value={target}]")
    browser.choose_file("source-file", source)
    browser.js(TIME_RUN)
    browser.click("#start")
    deadline = time.perf_counter() + 900
    while True:
        elapsed = browser.js("const r = window.benchRun; return r.end ? r.end - r.start : null;")
        if elapsed is not None:
            return elapsed / 1000
        if time.perf_counter() > deadline:
            raise RuntimeError("the run did not end")
        time.sleep(0.1)


def settled_memory(root):
    """The tree's (largest, total) once the page has had two seconds to let
    go."""
    time.sleep(2)
    return memory(root)


def bench_engine(engine, base, files, targets, runs, native, rows, small):
    downloads = Path(tempfile.mkdtemp(prefix=f"web-bench-{engine}-"))
    browser = browsers.start(engine, downloads)
    try:
        root = browser.root_pid()
        for cards, source in files:
            for target in targets:
                browser.open(base + "index.html")
                idle, before = settled_memory(root)
                first = page_seconds(browser, source, target)
                times = [page_seconds(browser, source, target) for _ in range(runs)]
                # Memory is watched over one more run of its own: reading every
                # process's page counts takes a share of the CPU the timed
                # runs need.
                watch = PeakWatch(root)
                page_seconds(browser, source, target)
                largest, total = watch.stop()
                after = settled_memory(root)[1]
                # Choosing another file lets go of the last run's links and
                # their outputs, as a person starting over would.
                browser.choose_file("source-file", small)
                cleared = settled_memory(root)[1]
                wall = statistics.median(times)
                rows.append((engine, cards, target, first, wall, wall / native[(cards, target)],
                             idle, largest, total, total - before, after - before, cleared - before))
                print_row(rows[-1])
    finally:
        browser.quit()


def mb(value):
    return f"{value / 1e6:7.0f}"


def print_row(row):
    engine, cards, target, first, wall, ratio, idle, largest, total, rise, kept, cleared = row
    print(f"| {engine:8} | {cards:>7,} | {target:6} | {first:7.2f} | {wall:7.2f} | {ratio:5.2f}x |"
          f" {mb(idle)} | {mb(largest)} | {mb(total)} | {mb(rise)} | {mb(kept)} | {mb(cleared)} |", flush=True)


def sizes(path):
    data = Path(path).read_bytes()
    return len(data), len(gzip.compress(data, 9))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--site", required=True)
    parser.add_argument("--single", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--engines", default=",".join(browsers.ENGINES))
    parser.add_argument("--cards", default="10000,100000")
    parser.add_argument("--targets", default="iphone,icloud")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", help="folder for the generated exports (kept and reused)")
    args = parser.parse_args()
    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="web-bench-"))
    work.mkdir(parents=True, exist_ok=True)
    targets = args.targets.split(",")
    files = []
    for cards in (int(n) for n in args.cards.split(",")):
        source = work / f"bench-{cards}.vcf"
        if not source.exists():
            subprocess.run([sys.executable, str(Path(__file__).parent / "gen_vcards.py"),
                            str(cards), str(source)], check=True)
        files.append((cards, source))

    native = {}
    print("| program       |   cards | target | median s |")
    for cards, source in files:
        for target in targets:
            times = []
            for _ in range(args.runs):
                start = time.perf_counter()
                subprocess.run([args.cli, "--force", f"--target={target}", str(source),
                                str(work / "out.vcf")], check=True, capture_output=True)
                times.append(time.perf_counter() - start)
            native[(cards, target)] = statistics.median(times)
            print(f"| vcard-convert | {cards:>7,} | {target:6} | {native[(cards, target)]:8.2f} |")

    small = work / "one-card.vcf"
    small.write_bytes(b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nEND:VCARD\r\n")
    server, base = browser_test.serve(args.site)
    print()
    print(f"Page, first run in a fresh page and median of {args.runs} after it; memory in MB: "
          "the largest process before the runs (the page loaded), the peak of the largest process "
          "and of all, the peak of all beyond what they held "
          "before the runs, what all hold after the runs beyond what they held before, and the same "
          "once another file is chosen (the links and their outputs let go)")
    print("| engine   |   cards | target |   first |  median | ratio |   idle1 |  1 proc |     all |    rise |"
          "   kept | cleared |")
    print("|----------|---------|--------|---------|---------|-------|---------|---------|---------|---------|"
          "--------|---------|")
    rows = []
    try:
        for engine in args.engines.split(","):
            bench_engine(engine, base, files, targets, args.runs, native, rows, small)
    finally:
        server.shutdown()

    print()
    site = Path(args.site)
    for name, path in (("engine loader", site / "vcard-engine.js"),
                       ("engine module", site / "vcard-engine-module.js"),
                       ("self-contained page", Path(args.single))):
        raw, packed = sizes(path)
        print(f"  {name:20} {raw / 1e6:6.2f} MB raw, {packed / 1e6:6.2f} MB gzipped")


if __name__ == "__main__":
    main()
