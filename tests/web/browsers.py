"""The three browser engines the page's users meet, behind one small driver.

Chromium (chromedriver), WebKit (WebKitWebDriver starting MiniBrowser, under
Xvfb when no display is set) and Firefox (WebDriver BiDi, spoken here over a
WebSocket: Debian has no geckodriver) all take the same calls, so the
browser tests run the same cases in each:

    open(url), js(body, *args), choose_file(element_id, path), click(css),
    resize(width, height), screenshot(path), page_requests(),
    console_lines(), root_pid(), quit(); and, for WebKit's phone width, enter_frame(id)
    and leave_frame()

js() runs body as the body of a function: arguments[i] are the args, and
what it returns (a promise is awaited) comes back as plain Python values.
Every engine saves downloads into the folder it was started with, under the
name the page gives; Chromium and Firefox write a partial file first
(.crdownload, .part), WebKit writes the final name from the start.
"""

import base64
import itertools
import json
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

ENGINES = ("chromium", "webkit", "firefox")
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
PARTIAL_SUFFIXES = (".crdownload", ".part")


def start(engine, download_dir, width=1280, height=900):
    starters = {"chromium": Chromium, "webkit": WebKit, "firefox": Firefox}
    return starters[engine](Path(download_dir), width, height)


class Xvfb:
    """A virtual display of our own, ended with the browser."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1400x1000x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class SeleniumBrowser:
    """Chromium and WebKit, over classic WebDriver."""

    def open(self, url):
        self.driver.get(url)

    def js(self, body, *args):
        return self.driver.execute_script(body, *args)

    def choose_file(self, element_id, path):
        from selenium.webdriver.common.by import By
        self.driver.find_element(By.ID, element_id).send_keys(str(path))

    def click(self, css):
        from selenium.webdriver.common.by import By
        self.driver.find_element(By.CSS_SELECTOR, css).click()

    def screenshot(self, path):
        self.driver.save_screenshot(str(path))

    def root_pid(self):
        """The WebDriver's process: the browser's processes are below it."""
        return self.driver.service.process.pid

    def screenshot_frame(self, element_id, path):
        """The frame element_id of the page, taken from the page (WebKit
        draws a frame into a screenshot of the window as it first was)."""
        from selenium.webdriver.common.by import By
        # The frame's last change must have been drawn: two animation frames
        # and a moment for the window to take them.
        self.js("return new Promise((done) => requestAnimationFrame(() => "
                "requestAnimationFrame(done)));")
        time.sleep(0.5)
        self.driver.switch_to.default_content()
        frame = self.driver.find_element(By.ID, element_id)
        frame.screenshot(str(path))
        self.driver.switch_to.frame(frame)

    def enter_frame(self, element_id):
        from selenium.webdriver.common.by import By
        self.driver.switch_to.frame(self.driver.find_element(By.ID, element_id))

    def leave_frame(self):
        self.driver.switch_to.default_content()


class Chromium(SeleniumBrowser):
    name = "chromium"

    def __init__(self, download_dir, width, height):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        self.profile = tempfile.mkdtemp(prefix="chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--allow-file-access-from-files", f"--window-size={width},{height}",
                     f"--user-data-dir={self.profile}"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
        options.add_experimental_option("prefs", {
            "download.default_directory": str(download_dir),
            "download.prompt_for_download": False,
        })
        self.driver = webdriver.Chrome(options=options,
                                       service=Service(executable_path="/usr/bin/chromedriver"))
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": str(download_dir)})
        self.console = []

    def resize(self, width, height):
        # The window's size is the viewport's in headless Chromium; the
        # device metrics make it exact.
        self.driver.set_window_size(width, height)
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 500})

    def pretend_device(self, user_agent, touch_points):
        """Stands in for another device (None: this one again)."""
        if user_agent is None:
            self.driver.execute_cdp_cmd("Emulation.setUserAgentOverride", {"userAgent": ""})
            self.driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": False})
            return
        self.driver.execute_cdp_cmd("Emulation.setUserAgentOverride", {"userAgent": user_agent})
        self.driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled",
                                    {"enabled": touch_points > 0,
                                     "maxTouchPoints": max(touch_points, 1)})

    def page_requests(self):
        urls = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent":
                urls.append(message["params"]["request"]["url"])
        return urls

    def console_lines(self):
        self.console += [entry["message"] for entry in self.driver.get_log("browser")]
        return list(self.console)

    def quit(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


class WebKit(SeleniumBrowser):
    """MiniBrowser, the GTK port's browser, whose engine is Safari's. It saves
    downloads in the desktop's download folder, which it reads from the
    XDG configuration: a configuration of our own points it at ours."""

    name = "webkit"

    def __init__(self, download_dir, width, height):
        from selenium import webdriver
        self.home = Path(tempfile.mkdtemp(prefix="webkit-"))
        for folder in ("config", "cache", "data"):
            (self.home / folder).mkdir()
        (self.home / "config" / "user-dirs.dirs").write_text(
            f'XDG_DOWNLOAD_DIR="{download_dir}"\n', encoding="utf-8")
        self.xvfb = None
        saved = {key: os.environ.get(key) for key in ("DISPLAY", "XDG_CONFIG_HOME",
                                                      "XDG_CACHE_HOME", "XDG_DATA_HOME")}
        try:
            if not os.environ.get("DISPLAY"):
                self.xvfb = Xvfb()
                os.environ["DISPLAY"] = self.xvfb.display
            # The driver hands its environment to MiniBrowser.
            os.environ["XDG_CONFIG_HOME"] = str(self.home / "config")
            os.environ["XDG_CACHE_HOME"] = str(self.home / "cache")
            os.environ["XDG_DATA_HOME"] = str(self.home / "data")
            options = webdriver.WebKitGTKOptions()
            options.binary_location = MINIBROWSER
            options.add_argument("--automation")
            # The page's private storage is on in Safari; Linux builds keep
            # it off unless asked.
            options.add_argument("--features=+StorageAPI,+FileSystem,+FileSystemWritableStream")
            self.driver = webdriver.WebKitGTK(executable_path="/usr/bin/WebKitWebDriver",
                                              options=options)
        except Exception:
            if self.xvfb:
                self.xvfb.stop()
            raise
        finally:
            for key, value in saved.items():
                if value is None:
                    os.environ.pop(key, None)
                else:
                    os.environ[key] = value
        self.resize(width, height)

    def resize(self, width, height):
        # The window is bigger than its page by the browser's own bar; it
        # cannot be narrower than about 447 CSS pixels.
        self.driver.set_window_size(width, height)
        inner = self.js("return [window.innerWidth, window.innerHeight];")
        self.driver.set_window_size(width + (width - inner[0]), height + (height - inner[1]))

    def open(self, url):
        self.driver.get(url)
        self.resources_told = 0

    def page_requests(self):
        # WebDriver gives WebKit's network log to no one: what the page
        # fetched shows in its resource timing (those not told before), and
        # the test's own server sees every request to the page's origin.
        names = self.js("return performance.getEntriesByType('resource').map((e) => e.name);")
        told, self.resources_told = self.resources_told, len(names)
        return names[told:]

    def console_lines(self):
        return []

    def quit(self):
        try:
            self.driver.quit()
        finally:
            if self.xvfb:
                self.xvfb.stop()
            shutil.rmtree(self.home, ignore_errors=True)


# Firefox's preferences for a quiet, download-ready test profile: no
# updates, telemetry or remote settings of its own, downloads saved without a
# question into the test's folder.
FIREFOX_PREFS = {
    "browser.download.dir": None,  # set per run
    "browser.download.folderList": 2,
    "browser.download.useDownloadDir": True,
    "browser.download.always_ask_before_handling_new_types": False,
    "browser.download.start_downloads_in_tmp_dir": False,
    "browser.download.alwaysOpenPanel": False,
    "browser.download.panel.shown": True,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.startup.page": 0,
    "browser.newtabpage.enabled": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "browser.safebrowsing.blockedURIs.enabled": False,
    "app.update.disabledForTesting": True,
    "app.normandy.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "toolkit.telemetry.enabled": False,
    "extensions.update.enabled": False,
    "extensions.getAddons.cache.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "services.settings.server": "http://127.0.0.1:9/",
    "remote.prefs.recommended": True,
}


class Firefox:
    """Firefox ESR over WebDriver BiDi: commands and events as JSON over one
    WebSocket, which Firefox opens itself when started with a remote
    debugging port."""

    name = "firefox"

    def __init__(self, download_dir, width, height):
        import websocket
        self.profile = Path(tempfile.mkdtemp(prefix="firefox-"))
        prefs = dict(FIREFOX_PREFS, **{"browser.download.dir": str(download_dir)})
        (self.profile / "user.js").write_text("".join(
            f"user_pref({json.dumps(k)}, {json.dumps(v)});\n" for k, v in prefs.items()),
            encoding="utf-8")
        self.log = open(self.profile / "firefox.log", "w+b")
        self.process = subprocess.Popen(
            ["firefox-esr", "--headless", "--no-remote", "--remote-debugging-port=0",
             "--profile", str(self.profile), "about:blank"],
            stdout=self.log, stderr=subprocess.STDOUT)
        try:
            url = self._listening_url()
            # Firefox refuses a handshake that names an origin, as a page's
            # would.
            self.socket = websocket.create_connection(url + "/session", timeout=300,
                                                      suppress_origin=True)
            self.ids = itertools.count(1)
            self.events = []
            self.command("session.new", {"capabilities": {}})
            tree = self.command("browsingContext.getTree", {"maxDepth": 0})
            self.context = tree["contexts"][0]["context"]
            self.command("session.subscribe", {"events": ["network.beforeRequestSent",
                                                          "log.entryAdded"]})
            self.resize(width, height)
        except Exception:
            self.process.kill()
            self.process.wait()
            self.log.close()
            shutil.rmtree(self.profile, ignore_errors=True)
            raise

    def _listening_url(self):
        deadline = time.time() + 60
        while time.time() < deadline:
            self.log.seek(0)
            for line in self.log.read().decode("utf-8", "replace").splitlines():
                if line.startswith("WebDriver BiDi listening on "):
                    return line.split()[-1]
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        self.process.kill()
        raise RuntimeError("Firefox did not open its WebDriver BiDi socket")

    def command(self, method, params):
        ident = next(self.ids)
        self.socket.send(json.dumps({"id": ident, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("type") == "event":
                self.events.append(message)
            elif message.get("id") == ident:
                if message.get("type") == "error":
                    raise RuntimeError(f"{method}: {message.get('error')}: {message.get('message')}")
                return message["result"]

    def open(self, url):
        self.command("browsingContext.navigate",
                     {"context": self.context, "url": url, "wait": "complete"})

    def js(self, body, *args):
        result = self.command("script.callFunction", {
            "functionDeclaration": "function () {\n" + body + "\n}",
            "arguments": [local_value(arg) for arg in args],
            "awaitPromise": True,
            "target": {"context": self.context},
        })
        if result["type"] == "exception":
            details = result["exceptionDetails"]
            raise RuntimeError(f"script failed: {details.get('text')}")
        return plain_value(result["result"])

    def choose_file(self, element_id, path):
        found = self.command("script.evaluate", {
            "expression": f"document.getElementById({json.dumps(element_id)})",
            "awaitPromise": False,
            "target": {"context": self.context},
            "resultOwnership": "root",
        })
        self.command("input.setFiles", {"context": self.context,
                                        "element": {"sharedId": found["result"]["sharedId"]},
                                        "files": [str(path)]})

    def click(self, css):
        self.js("const e = document.querySelector(arguments[0]);"
                "if (!e) throw new Error('nothing matches ' + arguments[0]); e.click();", css)

    def resize(self, width, height):
        self.command("browsingContext.setViewport",
                     {"context": self.context, "viewport": {"width": width, "height": height}})

    def leave_frame(self):
        pass

    def root_pid(self):
        return self.process.pid

    def screenshot(self, path):
        data = self.command("browsingContext.captureScreenshot", {"context": self.context})
        Path(path).write_bytes(base64.b64decode(data["data"]))

    def _drain(self):
        # Events that arrived while no command was waiting.
        self.socket.settimeout(0.05)
        try:
            while True:
                message = json.loads(self.socket.recv())
                if message.get("type") == "event":
                    self.events.append(message)
        except Exception:
            pass
        finally:
            self.socket.settimeout(300)

    def page_requests(self):
        self._drain()
        urls = [e["params"]["request"]["url"] for e in self.events
                if e["method"] == "network.beforeRequestSent"]
        self.events = [e for e in self.events if e["method"] != "network.beforeRequestSent"]
        return urls

    def console_lines(self):
        self._drain()
        return [e["params"].get("text") or "" for e in self.events
                if e["method"] == "log.entryAdded"]

    def quit(self):
        try:
            self.command("browser.close", {})
        except Exception:
            pass
        try:
            self.socket.close()
            self.process.wait(20)
        except Exception:
            self.process.kill()
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)


def local_value(value):
    """A Python value as BiDi's serialised argument."""
    if value is None:
        return {"type": "null"}
    if isinstance(value, bool):
        return {"type": "boolean", "value": value}
    if isinstance(value, (int, float)):
        return {"type": "number", "value": value}
    if isinstance(value, str):
        return {"type": "string", "value": value}
    if isinstance(value, (list, tuple)):
        return {"type": "array", "value": [local_value(v) for v in value]}
    if isinstance(value, dict):
        return {"type": "object", "value": [[k, local_value(v)] for k, v in value.items()]}
    raise TypeError(f"cannot pass {type(value).__name__} to the page")


def plain_value(remote):
    """BiDi's serialised result as a Python value (nodes and other objects
    the page holds come back as their description)."""
    kind = remote.get("type")
    if kind in ("undefined", "null"):
        return None
    if kind in ("string", "boolean"):
        return remote["value"]
    if kind == "number":
        value = remote["value"]
        return float(value) if isinstance(value, str) else value
    if kind in ("array", "set"):
        return [plain_value(v) for v in remote.get("value", [])]
    if kind == "object":
        return {k if isinstance(k, str) else plain_value(k): plain_value(v)
                for k, v in remote.get("value", [])}
    return remote


def sizes_in(folder):
    """name -> size of the files in folder; a browser renames its partial
    file as it finishes, so a name may be gone by the time it is looked at."""
    sizes = {}
    for path in Path(folder).iterdir():
        try:
            sizes[path.name] = path.stat().st_size
        except FileNotFoundError:
            pass
    return sizes


def wait_for_downloads(folder, sizes, timeout=60):
    """Waits until every name of sizes is in folder with its size (None: any
    size that holds for a quarter second) and no partial file is left;
    returns name -> bytes of those present."""
    folder = Path(folder)
    deadline = time.time() + timeout
    last, steady_since = None, time.time()
    while time.time() < deadline:
        present = sizes_in(folder)
        if present != last:
            last, steady_since = present, time.time()
        steady = time.time() - steady_since >= 0.25
        if (all(name in present and (present[name] == size or (size is None and steady))
                for name, size in sizes.items()) and
                not any(name.endswith(PARTIAL_SUFFIXES) for name in present)):
            break
        time.sleep(0.05)
    return {name: (folder / name).read_bytes() for name in sizes if (folder / name).exists()}
