"""A headless Chromium driven over the DevTools protocol on a pipe.

The browser reads commands on its descriptor 3 and writes replies and events
on descriptor 4, each message a JSON text ended by a NUL byte; no port, no
websocket and no third-party client are needed. The tests of the session
reports open pages from file:// here and watch what the page does: console
messages, exceptions, network requests and dialogs.
"""

from __future__ import annotations

import base64
import fcntl
import json
import os
import pathlib
import select
import shutil
import subprocess
import tempfile
import time
from typing import Any

def _above_ten(fd: int) -> int:
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
    os.close(fd)
    return moved


def _browser_environment() -> dict[str, str]:
    """The environment less what instruments the program under test (a
    preloaded sanitizer runtime would be loaded into the browser too)."""
    return {k: v for k, v in os.environ.items()
            if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS", "PYTHONMALLOC")}


BROWSER_NAMES = ("chromium", "chromium-browser", "chromium-headless-shell")


def find_browser() -> str | None:
    for name in BROWSER_NAMES:
        found = shutil.which(name)
        if found:
            return found
    return None


class PageWatch:
    """What one page did since it was opened."""

    def __init__(self) -> None:
        self.console: list[dict[str, Any]] = []
        self.exceptions: list[dict[str, Any]] = []
        self.requests: list[str] = []
        self.dialogs: list[str] = []

    def errors(self) -> list[str]:
        found = [str(e.get("exceptionDetails", e)) for e in self.exceptions]
        found += [m.get("text", "") for m in self.console if m.get("level") in ("error", "warning")]
        return found


class Browser:
    """One headless browser with one page (tab) attached."""

    def __init__(self, executable: str, timeout: float = 30.0) -> None:
        self.timeout = timeout
        self._profile = tempfile.TemporaryDirectory(prefix="vt-browser-")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        # The browser's ends are moved above 10 first, so that neither already
        # sits at 3 or 4 (dup2 onto itself would leave it close-on-exec).
        to_browser_r, from_browser_w = (_above_ten(fd) for fd in (to_browser_r, from_browser_w))

        # The pipes are opened close-on-exec; only their copies at 3 and 4
        # (dup2 makes them inheritable) reach the browser.
        def at_fds() -> None:
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)

        self._process = subprocess.Popen(
            [executable, "--headless", "--remote-debugging-pipe", "--no-sandbox", "--disable-gpu",
             "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--disable-extensions",
             "--window-size=1280,900", f"--user-data-dir={self._profile.name}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL if os.environ.get("VT_BROWSER_QUIET", "1") == "1" else None,
            preexec_fn=at_fds, close_fds=False, env=_browser_environment())
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._buffer = b""
        self._next_id = 0
        self._events: list[dict[str, Any]] = []
        self.watch = PageWatch()
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.call(f"{domain}.enable", session=True)

    # The protocol.

    def _send(self, message: dict[str, Any]) -> None:
        data = json.dumps(message).encode() + b"\0"
        while data:
            written = os.write(self._to_browser, data)
            data = data[written:]

    def _receive(self, deadline: float) -> dict[str, Any]:
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("the browser did not answer in time")
            ready, _, _ = select.select([self._from_browser], [], [], left)
            if ready:
                chunk = os.read(self._from_browser, 1 << 16)
                if not chunk:
                    raise RuntimeError("the browser closed its pipe")
                self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def _note(self, event: dict[str, Any]) -> None:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", []))
            self.watch.console.append({"level": params.get("type"), "text": text})
        elif method == "Log.entryAdded":
            entry = params.get("entry", {})
            self.watch.console.append({"level": entry.get("level"), "text": entry.get("text", "")})
        elif method == "Runtime.exceptionThrown":
            self.watch.exceptions.append(params)
        elif method == "Network.requestWillBeSent":
            self.watch.requests.append(params.get("request", {}).get("url", ""))
        elif method == "Page.javascriptDialogOpening":
            self.watch.dialogs.append(params.get("message", ""))
            self._send({"id": self._take_id(), "method": "Page.handleJavaScriptDialog",
                        "params": {"accept": False}, "sessionId": self.session})
        self._events.append(event)

    def _take_id(self) -> int:
        self._next_id += 1
        return self._next_id

    def call(self, method: str, params: dict[str, Any] | None = None, session: bool = False) -> dict[str, Any]:
        ident = self._take_id()
        message: dict[str, Any] = {"id": ident, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        self._send(message)
        deadline = time.monotonic() + self.timeout
        while True:
            reply = self._receive(deadline)
            if reply.get("id") == ident:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            if "method" in reply:
                self._note(reply)

    def wait_for(self, method: str) -> dict[str, Any]:
        deadline = time.monotonic() + self.timeout
        while True:
            for i, event in enumerate(self._events):
                if event.get("method") == method:
                    del self._events[: i + 1]
                    return event.get("params", {})
            self._note(self._receive(deadline))

    # What the tests use.

    def open(self, path: pathlib.Path) -> float:
        """Opens a file and waits for its load event; returns the seconds it took."""
        self.watch = PageWatch()
        self._events.clear()
        started = time.monotonic()
        self.call("Page.navigate", {"url": path.resolve().as_uri()}, session=True)
        self.wait_for("Page.loadEventFired")
        return time.monotonic() - started

    def evaluate(self, expression: str) -> Any:
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, session=True)
        if "exceptionDetails" in result:
            raise RuntimeError(str(result["exceptionDetails"]))
        return result.get("result", {}).get("value")

    def settle(self, seconds: float = 0.3) -> None:
        """Takes in the events of the next moments (late console messages, requests)."""
        deadline = time.monotonic() + seconds
        self.evaluate("new Promise(r => setTimeout(r, %d))" % int(seconds * 1000))
        while time.monotonic() < deadline:
            time.sleep(0.01)

    def screenshot(self, destination: pathlib.Path) -> None:
        data = self.call("Page.captureScreenshot", {"format": "png"}, session=True)["data"]
        destination.parent.mkdir(parents=True, exist_ok=True)
        destination.write_bytes(base64.b64decode(data))

    def close(self) -> None:
        try:
            self._send({"id": self._take_id(), "method": "Browser.close"})
            self._process.wait(timeout=10)
        except Exception:
            self._process.kill()
            self._process.wait()
        finally:
            os.close(self._to_browser)
            os.close(self._from_browser)
            self._profile.cleanup()
