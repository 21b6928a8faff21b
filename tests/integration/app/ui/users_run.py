#!/usr/bin/python3
"""The desktop program run as a user would: on a virtual display of its own, against its own
registrar and far-end phones, driven with real pointer clicks and typed keys (xdotool) and read
over the accessibility bus (AT-SPI).

  users_run.py --program BUILD/src/app/ui/zeloraTALK --source SOURCE --out FOLDER

Sign in, call the echo service, see it connected and its clock running, hang up; an incoming
call shows the notifier and is answered; a second start with callto:echo (directly and through xdg-open) dials in the
running program; closing during a call asks first. A screenshot after each step lands in FOLDER.
"""
import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import wave

SIP_IP = "127.0.10.1"
ECHO_IP = "127.0.10.2"
CALLER_IP = "127.0.10.3"
PHONE_IP = "127.0.10.4"
CALLER_CTRL = 4444

NEEDED = [  # program, Debian package
    ("Xvfb", "xvfb"), ("dbus-run-session", "dbus-x11"), ("xdotool", "xdotool"), ("import", "imagemagick"),
    ("kamailio", "kamailio"), ("baresip", "baresip-core"), ("xdg-open", "xdg-utils"), ("xdg-mime", "xdg-utils"),
]


class Failure(Exception):
    pass


def wait_for(what, condition, limit=10.0, step=0.1):
    """condition() until it gives something true, within `limit` seconds."""
    end = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"timed out after {limit:.0f} s waiting for {what}")
        time.sleep(step)


class Run:
    def __init__(self, args):
        self.args = args
        self.out = args.out
        self.dir = tempfile.mkdtemp(prefix="zelora-users-run-")
        self.processes = []
        self.shots = 0
        self.env = dict(os.environ)

    # ----- peers -----
    def spawn(self, name, argv, env=None, **kw):
        log = open(os.path.join(self.dir, name + ".log"), "wb")
        p = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, env=env or self.env, **kw)
        self.processes.append((name, p))
        return p

    def log(self, name):
        try:
            with open(os.path.join(self.dir, name + ".log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def start_display(self):
        read, write = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                   pass_fds=(write,))
        os.close(write)
        # Xvfb picks a free display itself and writes its number: parallel runs never collide.
        number = b""
        end = time.monotonic() + 10
        while not number.endswith(b"\n") and time.monotonic() < end:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            raise Failure("Xvfb did not start: " + self.log("xvfb"))
        self.env["DISPLAY"] = ":" + number.decode().strip()
        os.environ["DISPLAY"] = self.env["DISPLAY"]

    def sip_answers(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((PHONE_IP, 0))
        s.settimeout(0.2)
        port = s.getsockname()[1]
        s.sendto((f"OPTIONS sip:{SIP_IP} SIP/2.0\r\nVia: SIP/2.0/UDP {PHONE_IP}:{port};branch=z9hG4bK{time.time_ns()}\r\n"
                  f"From: <sip:probe@{PHONE_IP}>;tag=1\r\nTo: <sip:{SIP_IP}>\r\nCall-ID: {time.time_ns()}@probe\r\n"
                  "CSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n").encode(), (SIP_IP, 5060))
        try:
            return b"SIP/2.0 200" in s.recv(4096)
        except OSError:
            return False
        finally:
            s.close()

    def start_registrar(self):
        """Kamailio on SIP_IP, answering."""
        run = os.path.join(self.dir, "kamailio")
        os.makedirs(run)
        self.spawn("kamailio", ["kamailio", "-f", os.path.join(self.args.source, "tests/integration/peers/kamailio.cfg"),
                                "-DD", "-E", "-Y", run, "-P", run + "/kamailio.pid", "-A", f"SIP_LISTEN=udp:{SIP_IP}:5060",
                                "-A", f'REALM="{SIP_IP}"'])
        wait_for("the registrar", self.sip_answers)

    def sign_in_typed(self, user_field, user="1001", password="pw1001"):
        """Types the account into the login panel and signs in; the number field once signed in."""
        self.type_into(user_field, user)
        self.type_into(self.find(("text", "password text"), "Password"), password)
        self.press("push button", "Sign in")
        return wait_for("the signed-in window's number field", lambda: self.find("text", "Number"), 15)

    def start_peers(self):
        self.start_registrar()
        for name, ip, user, extra in (("echo", ECHO_IP, "echo", "module_app\t\techo.so\n"),
                                      ("caller", CALLER_IP, "1002",
                                       f"module_app\t\tctrl_tcp.so\nctrl_tcp_listen\t\t{CALLER_IP}:{CALLER_CTRL}\n")):
            home = os.path.join(self.dir, name)
            os.makedirs(home)
            with open(os.path.join(home, "config"), "w") as f:
                f.write(f"poll_method\t\tepoll\nsip_listen\t\t{ip}:5060\nnet_interface\t\t{ip}\n"
                        "audio_player\t\taubridge,nil\naudio_source\t\taubridge,nil\nrtp_ports\t\t30000-30099\n"
                        "module_path\t\t/usr/lib/baresip/modules\nmodule\t\t\tg711.so\nmodule\t\t\taubridge.so\n"
                        "module\t\t\tmenu.so\nmodule_tmp\t\taccount.so\n" + extra)
            with open(os.path.join(home, "accounts"), "w") as f:
                f.write(f"<sip:{user}@{SIP_IP}>;auth_pass=pw{user};audio_codecs=pcmu,pcma;regint=600\n")
            open(os.path.join(home, "contacts"), "w").close()
            self.spawn(name, ["baresip", "-f", home], stdin=subprocess.DEVNULL)
        for name in ("echo", "caller"):
            wait_for(f"{name}'s registration", lambda: "200 OK" in self.log(name) or "registered" in self.log(name))

    def caller(self, command, params=""):
        """One command to the far-end phone over its control socket (netstrings of JSON)."""
        body = '{"command":"%s","params":"%s","token":"t"}' % (command, params)
        with socket.create_connection((CALLER_IP, CALLER_CTRL), timeout=3) as s:
            s.sendall(f"{len(body)}:{body},".encode())
            s.recv(4096)

    # ----- the program -----
    def phone_env(self):
        env = dict(self.env)
        home = os.path.join(self.dir, "phone")
        for sub in ("config", "data", "state", "runtime", "sounds"):
            os.makedirs(os.path.join(home, sub), exist_ok=True)
        os.chmod(os.path.join(home, "runtime"), 0o700)
        with open(os.path.join(self.args.source, "resources/deployment.ini")) as f:
            deployment = f.read()
        deployment = re.sub(r"(?m)^(default_server|other_server_1|other_server_2) = .*", r"\1 = " + SIP_IP, deployment)
        deployment = re.sub(r"(?m)^server = .*", "server = 127.0.10.30", deployment)
        # No web service in this run: the phone alone.
        deployment = re.sub(r"(?m)^service_host = .*", "service_host =", deployment)
        with open(os.path.join(home, "deployment.ini"), "w") as f:
            f.write(deployment)
        for name in ("ringin.wav", "ringout.wav"):
            with wave.open(os.path.join(home, "sounds", name), "wb") as w:
                w.setnchannels(1)
                w.setsampwidth(2)
                w.setframerate(8000)
                w.writeframes(b"\0\0" * 8000)
        os.makedirs(os.path.join(home, "config/zeloraTALK"), exist_ok=True)
        with open(os.path.join(home, "config/zeloraTALK/registry.ini"), "w") as f:
            f.write("[Software\\zeloraTALK\\zeloraTALK]\nAppPath=sz:%s/sounds/\n" % home)
        env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                    "XDG_STATE_HOME": home + "/state", "XDG_RUNTIME_DIR": home + "/runtime",
                    "XDG_CACHE_HOME": home + "/cache", "HOME": home, "ZELORA_DEPLOYMENT": home + "/deployment.ini",
                    "ZELORA_LOCAL_ADDRESS": PHONE_IP, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                    "QT_QPA_PLATFORM": "xcb"})
        return env

    def screenshot(self, step):
        self.shots += 1
        path = os.path.join(self.out, f"{self.shots:02d}-{step}.png")
        subprocess.run(["import", "-window", "root", path], env=self.env, timeout=10, check=False)
        return path

    # ----- AT-SPI -----
    def app(self):
        import pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name == "zeloraTALK":
                return a
        return None

    def find(self, role, name=None, description=None, showing=True, root=None):
        import pyatspi
        root = root or self.app()
        if root is None:
            return None

        def match(node):
            try:
                if node.getRoleName() not in (role if isinstance(role, tuple) else (role,)):
                    return False
                if name is not None and node.name != name:
                    return False
                if description is not None and node.description != description:
                    return False
                return not showing or node.getState().contains(pyatspi.STATE_SHOWING)
            except Exception:
                return False
        return pyatspi.findDescendant(root, match)

    def display_lines(self):
        lines = []
        for n in (1, 2, 3):
            node = self.find("label", description=f"Display line {n}")
            lines.append(node.name if node is not None else "")
        return lines

    def click(self, node, button=1):
        """A real pointer click at the control's centre: masked buttons take it only inside."""
        import pyatspi
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2),
                        "click", str(button)], env=self.env, check=True, timeout=5)

    def type_into(self, node, text):
        self.click(node)
        subprocess.run(["xdotool", "key", "ctrl+a", "BackSpace"], env=self.env, check=True, timeout=5)
        subprocess.run(["xdotool", "type", "--delay", "20", text], env=self.env, check=True, timeout=10)

    def wait_line(self, what, pattern, limit=10.0):
        return wait_for(what, lambda: next((l for l in self.display_lines() if re.search(pattern, l)), None), limit)

    def press(self, role, name, limit=10.0, real=True):
        node = wait_for(f'the {role} "{name}"', lambda: self.find(role, name), limit)
        if real:
            self.click(node)
        else:
            node.queryAction().doAction(0)

    # ----- the scenario -----
    def signed_in_call(self, how):
        self.wait_line(f"{how}: Connected", r"Connected", 15)
        first = self.wait_line(f"{how}: the call clock", r"\d+:\d\d")
        wait_for(f"{how}: the call clock advancing",
                 lambda: any(re.search(r"\d+:\d\d", l) and l != first for l in self.display_lines()), 5)
        self.screenshot(how.replace(" ", "-") + "-connected")

    def hang_up(self, how):
        self.press("push button", "Hang up")
        wait_for(f"{how}: the call to end", lambda: not any("Connected" in l for l in self.display_lines()), 10)

    def scenario(self):
        env = self.phone_env()
        program = self.args.program
        started = time.monotonic()
        phone = self.spawn("zeloraTALK", [program], env=env)
        wait_for("the program on the accessibility bus", self.app, 20)
        user = wait_for("the User ID field", lambda: self.find("text", "User ID"))
        self.screenshot("login-panel")
        number = self.sign_in_typed(user)
        print(f"signed in {time.monotonic() - started:.2f} s after the start")
        self.screenshot("signed-in")
        # The README's picture: the main window alone.
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^zeloraTALK$"], env=self.env,
                             capture_output=True, text=True, timeout=5).stdout.split()
        if not ids:
            raise Failure("the main window is not on the display")
        subprocess.run(["import", "-window", ids[0], os.path.join(self.out, "main-window.png")], env=self.env,
                       timeout=10, check=True)

        # An outgoing call, number typed and Call clicked.
        self.type_into(number, "echo")
        self.press("push button", "Call")
        self.signed_in_call("outgoing call")
        self.hang_up("outgoing call")

        # An incoming call answered from the notifier.
        self.caller("dial", f"sip:1001@{SIP_IP}")
        import pyatspi

        def notifier():
            app = self.app()
            for i in range(app.childCount if app else 0):
                w = app.getChildAtIndex(i)
                if w is not None and w.name == "Incoming call":
                    return w
            return None
        box = wait_for('the "Incoming call" notifier', notifier, 15)
        answer = wait_for('its "Answer" button', lambda: self.find("push button", "Answer", root=box), 5)
        # The notifier slides in from the screen's edge: click once it has come to rest.
        last = [None]

        def at_rest():
            e = answer.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            now = (e.x, e.y, e.width, e.height)
            rest = now == last[0] and e.y + e.height <= 768
            last[0] = now
            return rest
        wait_for("the notifier to come to rest", at_rest, 5, 0.15)
        wait_for('its "Reject" button', lambda: self.find("push button", "Reject", root=box), 5)
        self.screenshot("incoming-call")
        self.click(answer)
        self.signed_in_call("incoming call")
        self.hang_up("incoming call")

        # A second start hands its number over and ends; the running program dials.
        handed = time.monotonic()
        second = subprocess.run([program, "callto:echo"], env=env, timeout=15, capture_output=True)
        print(f"second start handed over and ended in {time.monotonic() - handed:.3f} s")
        if second.returncode != 0:
            raise Failure(f"the second start ended with {second.returncode}: {second.stderr.decode()[-2000:]}")
        self.signed_in_call("second start")
        self.hang_up("second start")
        # Without a number a later start only brings the running window forward, and ends.
        bare = subprocess.run([program], env=env, timeout=15, capture_output=True)
        if bare.returncode != 0 or phone.poll() is not None:
            raise Failure(f"a start without a number ended with {bare.returncode}: {bare.stderr.decode()[-2000:]}")

        # The same through the desktop: the entry installed into this run's data folder.
        apps = os.path.join(env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(self.args.source, "resources/zeloraTALK.desktop")) as f:
            entry = re.sub(r"(?m)^Exec=\S+", "Exec=" + program, f.read())
        with open(os.path.join(apps, "zeloraTALK.desktop"), "w") as f:
            f.write(entry)
        subprocess.run(["xdg-mime", "default", "zeloraTALK.desktop", "x-scheme-handler/callto"], env=env,
                       check=True, timeout=10)
        subprocess.run(["xdg-open", "callto:echo"], env=env, check=True, timeout=15)
        self.signed_in_call("xdg-open")

        # Closing during the call asks; "No" keeps the call, "Yes" ends the program.
        self.press("push button", "Close")
        no = wait_for('the question\'s "No"', lambda: self.find("push button", "No"), 10)
        self.screenshot("close-question")
        self.click(no)
        wait_for("the question to go", lambda: self.find("push button", "No") is None, 5)
        if not any("Connected" in l or re.search(r"\d+:\d\d", l) for l in self.display_lines()):
            raise Failure("answering No ended the call: " + repr(self.display_lines()))
        self.press("push button", "Close")
        self.press("push button", "Yes")
        # "Yes" hangs up, and the program ends once the call is down, without a second close.
        wait_for("the program to end after the call", lambda: phone.poll() is not None, 10)
        self.screenshot("closed")
        if phone.returncode != 0:
            raise Failure(f"the program ended with {phone.returncode}")

    def stop(self):
        for name, p in reversed(self.processes):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()


def arguments(*names):
    parser = argparse.ArgumentParser()
    for name in names:
        parser.add_argument("--" + name, required=True)
    return parser.parse_args()


def on_own_bus():
    """None inside a D-Bus daemon of this run's own, else the exit code of this script run in one
    (the accessibility bus and its registry start on it)."""
    if os.environ.get("ZELORA_USERS_RUN_BUS") == "1":
        return None
    env = dict(os.environ, ZELORA_USERS_RUN_BUS="1")
    return subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv, env=env)


def report_failure(run, error, peers):
    """The failed step, a screenshot, the peers' output and the phone's log on stderr."""
    run.screenshot("failure")
    print(f"FAILED: {error}", file=sys.stderr)
    for name in peers:
        print(f"----- {name} -----\n{run.log(name)[-3000:]}", file=sys.stderr)
    state = os.path.join(run.dir, "phone/state/zeloraTALK/zeloraTALK.log")
    if os.path.exists(state):
        with open(state, errors="replace") as f:
            print("----- phone log (without the method trace) -----\n" +
                  "".join(l for l in f if "Entering*" not in l and "Leaving#" not in l)[-4000:], file=sys.stderr)


def main(run_class=None, options=("program", "source", "out"), logs=("zeloraTALK", "kamailio", "echo", "caller"),
         title="users' run"):
    """Runs the scenario of `run_class` (a Run) with the command line's `options`; the exit code."""
    args = arguments(*options)
    missing = [f"{program} (Debian package {package})" for program, package in NEEDED if shutil.which(program) is None]
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("pyatspi for /usr/bin/python3 (Debian package python3-pyatspi)")
    if missing:
        print("missing: " + ", ".join(missing), file=sys.stderr)
        return 1
    if not os.access(args.program, os.X_OK):
        print(f"{args.program} not built", file=sys.stderr)
        return 1
    rc = on_own_bus()
    if rc is not None:
        return rc
    os.makedirs(args.out, exist_ok=True)
    run = (run_class or Run)(args)
    try:
        run.start_display()
        run.start_peers()
        run.scenario()
        print(f"{title} passed; screenshots in " + args.out)
        return 0
    except Exception as e:  # every failure names its step; the logs tell the rest
        report_failure(run, e, logs)
        return 1
    finally:
        run.stop()
        shutil.rmtree(run.dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
