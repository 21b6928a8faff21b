#!/usr/bin/python3
"""The portal pages run as a user would: the desktop program on a virtual display of its own,
signed in against its own registrar, with the operator simulator as web service and portal,
driven and read over the accessibility bus (AT-SPI) and real clicks (xdotool).

  portal_run.py --program BUILD/.../zeloraTALK --sim BUILD/.../operator-sim --source SOURCE --out FOLDER

Sign in, press "SMS" and find the subscriber's message in the embedded page, press "Call
History" and find the missed call. Screenshots of each page land in FOLDER.
"""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../app/ui"))
import users_run  # noqa: E402  the user's-run machinery: display, bus, AT-SPI and xdotool driving
from users_run import Failure, wait_for  # noqa: E402

SIP_IP = "127.0.16.1"
SIM_IP = "127.0.16.2"
PHONE_IP = "127.0.16.3"
SMS_TEXT = "Dinner at eight, bring the cake"
MISSED = "4930777 at 2026-12-01 09:30"

NEEDED = [("Xvfb", "xvfb"), ("dbus-run-session", "dbus-x11"), ("xdotool", "xdotool"), ("import", "imagemagick"),
          ("kamailio", "kamailio")]

# The inherited methods address the phone and its registrar by these.
users_run.SIP_IP = SIP_IP
users_run.PHONE_IP = PHONE_IP


class PortalRun(users_run.Run):
    def start_peers(self):
        self.start_registrar()
        data = os.path.join(self.dir, "operator.ini")
        with open(data, "w") as f:
            f.write("[user:1001]\nlvl3 = 4930111222\nsms.1 = 4930555|%s\nmissed.1 = 4930777|2026-12-01%%2009:30\n"
                    % SMS_TEXT.replace(" ", "%20").replace(",", "%2C"))
        self.spawn("operator-sim", [self.args.sim, "--listen", SIM_IP, "--port", "80", "--data", data])
        wait_for("the operator simulator", lambda: "listening" in self.log("operator-sim"))

    def phone_env(self, extra=None):
        env = super().phone_env()
        path = env["ZELORA_DEPLOYMENT"]
        with open(path) as f:
            deployment = f.read()
        for key in ("service_host", "portal_host", "ads_host", "probe_site"):
            deployment = re.sub(rf"(?m)^{key} = .*", f"{key} = {SIM_IP}", deployment)
        with open(path, "w") as f:
            f.write(deployment)
        # Pages load from loopback; the GPU process only adds noise on a virtual display.
        env["QTWEBENGINE_CHROMIUM_FLAGS"] = "--disable-gpu"
        env.update(extra or {})
        return env

    def window(self, title):
        app = self.app()
        for i in range(app.childCount if app else 0):
            w = app.getChildAtIndex(i)
            if w is not None and w.name == title:
                return w
        return None

    def page_text(self, title):
        """The loaded page's text, which the window's page view carries as its description."""
        w = self.window(title)
        if w is None:
            return ""
        import pyatspi
        node = pyatspi.findDescendant(w, lambda n: n.name == "Web page")
        return node.description if node is not None else ""

    def sign_in(self, extra=None):
        self.phone = self.spawn("zeloraTALK", [self.args.program], env=self.phone_env(extra))
        wait_for("the program on the accessibility bus", self.app, 20)
        self.sign_in_typed(wait_for("the User ID field", lambda: self.find("text", "User ID")))

    def open_page(self, button, title, expected, limit=15.0, real=True):
        """Presses the button (a click, or its accessible action); seconds until the page's text
        holds `expected`."""
        node = wait_for(f'the "{button}" button', lambda: self.find("push button", button), 10)
        started = time.monotonic()
        if real:
            self.click(node)
        else:
            node.queryAction().doAction(0)
        wait_for(f'the page of "{title}" showing "{expected}"', lambda: expected in self.page_text(title), limit, 0.05)
        return time.monotonic() - started

    def window_shot(self, title, name):
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], env=self.env,
                             capture_output=True, text=True, timeout=5).stdout.split()
        if not ids:
            raise Failure(f'the window "{title}" is not on the display')
        subprocess.run(["import", "-window", ids[0], os.path.join(self.out, name)], env=self.env, timeout=10,
                       check=True)

    def scenario(self):
        self.sign_in()
        self.screenshot("signed-in")
        took = self.open_page("SMS", "SMS Dialog", SMS_TEXT)
        print(f"SMS page text shown {took:.2f} s after the button")
        text = self.page_text("SMS Dialog")
        if "SMS Inbox" not in text or "Signed in as 1001" not in text:
            raise Failure("the SMS page is not the signed-in inbox: " + repr(text))
        self.screenshot("sms-page")
        self.window_shot("SMS Dialog", "sms-window.png")
        # Without a window manager the SMS window lies over the main window's buttons: this one is
        # pressed as a screen reader would.
        took = self.open_page("Call History", "Call History", MISSED, real=False)
        print(f"missed-calls page shown {took:.2f} s after the button")
        self.screenshot("call-history")
        # The windows go with the program.
        self.press("push button", "Close")
        wait_for("the program to end", lambda: self.phone.poll() is not None, 10)
        if self.phone.returncode != 0:
            raise Failure(f"the program ended with {self.phone.returncode}")


def prepare(args):
    """Checks what the run needs; an error text, or None."""
    missing = [f"{program} (Debian package {package})" for program, package in NEEDED if shutil.which(program) is None]
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("pyatspi for /usr/bin/python3 (Debian package python3-pyatspi)")
    for path in (args.program, args.sim):
        if not os.access(path, os.X_OK):
            missing.append(f"{path} (not built)")
    return "missing: " + ", ".join(missing) if missing else None


def run_with(args, body):
    """body(run) on a fresh display and peers; 0 when it passes, 1 with the logs otherwise."""
    os.makedirs(args.out, exist_ok=True)
    run = PortalRun(args)
    try:
        run.start_display()
        run.start_peers()
        body(run)
        return 0
    except Exception as e:  # every failure names its step; the logs tell the rest
        users_run.report_failure(run, e, ("zeloraTALK", "operator-sim", "kamailio"))
        return 1
    finally:
        run.stop()
        shutil.rmtree(run.dir, ignore_errors=True)


def main():
    args = users_run.arguments("program", "sim", "source", "out")
    problem = prepare(args)
    if problem:
        print(problem, file=sys.stderr)
        return 1
    rc = users_run.on_own_bus()
    if rc is not None:
        return rc
    started = time.monotonic()
    rc = run_with(args, lambda run: run.scenario())
    if rc == 0:
        print(f"portal run passed in {time.monotonic() - started:.1f} s; screenshots in {args.out}")
    return rc


if __name__ == "__main__":
    sys.exit(main())
