#!/usr/bin/python3
"""Presence in the desktop program, run as two users would: two programs on one virtual display,
each with its own folders, signed in through their own registrar, then into presence on their own
Prosody (with the presence services beside it).

  presence_run.py --program zeloraTALK --services presence-services --source SOURCE --out FOLDER

1001 opens "Chat", adds 1002 from the add-contact dialog; 1002 accepts the request shown to it;
each tree shows the other; 1001 goes "Away" with a message and 1002's tree shows it. Screenshots
of the presence windows land in FOLDER.
"""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../app/ui"))
import users_run  # noqa: E402  (the display, the bus, the AT-SPI look-ups)
from users_run import Failure, wait_for  # noqa: E402

SIP_IP = "127.0.17.1"
XMPP_IP = "127.0.17.2"
USERS = {"1001": "127.0.17.3", "1002": "127.0.17.4"}
NEEDED = [("Xvfb", "xvfb"), ("dbus-run-session", "dbus-x11"), ("xdotool", "xdotool"), ("import", "imagemagick"),
          ("kamailio", "kamailio"), ("prosody", "prosody"), ("prosodyctl", "prosody")]


class PresenceRun(users_run.Run):
    def __init__(self, args):
        super().__init__(args)
        self.pid = None  # the program the AT-SPI look-ups go to

    def app(self):
        import pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            try:
                if a is not None and a.name == "zeloraTALK" and a.get_process_id() == self.pid:
                    return a
            except Exception:
                continue
        return None

    def windows(self):
        """The top-level windows of both programs, for a failure's report."""
        out = []
        for user, p in getattr(self, "programs", {}).items():
            self.pid = p.pid
            app = self.app()
            for i in range(app.childCount if app else 0):
                w = app.getChildAtIndex(i)
                out.append(f"{user}: {w.getRoleName()} \"{w.name}\"" if w is not None else f"{user}: ?")
        return "; ".join(out)

    def window(self, title):
        return self.find(("frame", "dialog", "window", "filler", "alert"), title)

    # ----- peers -----
    def start_peers(self):
        users_run.SIP_IP, users_run.PHONE_IP = SIP_IP, USERS["1001"]
        self.start_registrar()
        xmpp = os.path.join(self.dir, "xmpp")
        os.makedirs(xmpp)
        config = os.path.join(self.args.source, "tests/integration/peers/prosody.cfg.lua")
        env = dict(self.env, ZELORA_XMPP_DIR=xmpp, ZELORA_XMPP_ADDRESS=XMPP_IP, ZELORA_XMPP_COMPONENT_SECRET="services",
                   ZELORA_XMPP_PLUGINS=os.path.join(self.args.source, "tools/prosody"))
        for user in USERS:
            subprocess.run(["prosodyctl", "--config", config, "register", user, "localhost", "pw" + user], env=env,
                           check=True, timeout=20, capture_output=True)
        self.spawn("prosody", ["prosody", "--config", config, "-F"], env=env)
        wait_for("prosody", lambda: self.answers(XMPP_IP, 5222))
        with open(os.path.join(xmpp, "users"), "w") as f:
            f.write("1001\tFirst Phone\tone@example.org\t1001\n1002\tSecond Phone\ttwo@example.org\t1002\n")
        self.spawn("services", [self.args.services, "--server", XMPP_IP, "--port", "5347", "--domain", "localhost",
                                "--secret", "services", "--users", os.path.join(xmpp, "users")])
        wait_for("the presence services", lambda: self.log("services").count(" connected\n") >= 4)

    @staticmethod
    def answers(ip, port):
        import socket
        try:
            socket.create_connection((ip, port), timeout=0.5).close()
            return True
        except OSError:
            return False

    # ----- the programs -----
    def user_env(self, user):
        top = self.dir
        self.dir = os.path.join(top, "u" + user)
        os.makedirs(self.dir)
        users_run.PHONE_IP = USERS[user]
        try:
            env = self.phone_env()
        finally:
            self.dir = top
        path = env["ZELORA_DEPLOYMENT"]
        with open(path) as f:
            text = f.read()
        text = re.sub(r"(?m)^server = .*", "server = 127.0.17.30", text)
        # The XMPP server's address goes into the [presence] section, wherever it stands.
        text = re.sub(r"(?m)^\[presence\]\n", f"[presence]\nserver = {XMPP_IP}\n", text, count=1)
        with open(path, "w") as f:
            f.write(text)
        return env

    def need(self, role, name):
        """The control, or a failure that lists what the presence window holds."""
        node = self.find(role, name)
        if node is None:
            import pyatspi
            nodes = []
            pyatspi.findAllDescendants(self.window("zeloraTALK Presence"),
                                       lambda n: nodes.append(f"{n.getRoleName()} \"{n.name}\"") and False)
            raise Failure(f'no {role} "{name}" in the presence window: ' + ", ".join(nodes))
        return node

    def set_text(self, node, text):
        node.queryEditableText().setTextContents(text)

    def sign_in(self, user):
        env = self.user_env(user)
        process = self.spawn("zeloraTALK-" + user, [self.args.program], env=env)
        self.pid = process.pid
        wait_for(f"{user}'s program on the accessibility bus", self.app, 20)
        field = wait_for(f"{user}'s User ID field", lambda: self.find("text", "User ID"), 10)
        self.set_text(field, user)
        self.set_text(self.find(("text", "password text"), "Password"), "pw" + user)
        self.press("push button", "Sign in", real=False)
        wait_for(f"{user} signed in", lambda: self.find("text", "Number"), 15)
        return process

    def move(self, title, x):
        ids = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.pid), "--name", f"^{title}$"],
                             env=self.env, capture_output=True, text=True, timeout=5).stdout.split()
        if not ids:
            raise Failure(f'"{title}" of {self.pid} is not on the display')
        subprocess.run(["xdotool", "windowmove", ids[0], str(x), "0"], env=self.env, check=True, timeout=5)
        return ids[0]

    def open_presence(self, user, x):
        self.pid = self.programs[user].pid
        # The phone's window aside: the presence windows take the pointer.
        self.move("zeloraTALK", 720)
        self.press("push button", "Chat", real=False)
        wait_for(f"{user}'s presence window", lambda: self.window("zeloraTALK Presence"), 10)
        wait_for(f"{user} signed in to presence", lambda: self.find("label", "My Status"), 15)
        # Without a window manager both windows open at the same place: side by side for the pointer.
        self.window_ids[user] = self.move("zeloraTALK Presence", x)

    def shot(self, user, step):
        self.shots += 1
        path = os.path.join(self.out, f"{self.shots:02d}-{user}-{step}.png")
        subprocess.run(["import", "-window", self.window_ids[user], path], env=self.env, timeout=10, check=False)

    def tree_item(self, user, pattern, status=None, limit=10.0):
        """The contact node whose text is `pattern` (and whose description, the status, is `status`)."""
        self.pid = self.programs[user].pid
        rx = re.compile(pattern)
        return wait_for(f'{user}\'s tree showing "{pattern}"' + (f" ({status})" if status else ""),
                        lambda: self.find_item(lambda n: n.getRoleName() in ("tree item", "table cell", "list item")
                                               and rx.fullmatch(n.name or "") is not None
                                               and (status is None or n.description == status)), limit)

    def double_click(self, node):
        import pyatspi
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2),
                        "click", "--repeat", "2", "--delay", "80", "1"], env=self.env, check=True, timeout=5)

    def check(self, box):
        import pyatspi
        if not box.getState().contains(pyatspi.STATE_CHECKED):
            box.queryAction().doAction(0)

    def descendant(self, what, root, match, limit=10.0):
        import pyatspi
        return wait_for(what, lambda: pyatspi.findDescendant(root, lambda n: _safe(match, n)), limit)

    def own_profile_with_photo(self, user, first_name):
        """The own profile window: a first name and a picture chosen in the file dialog, saved."""
        self.pid = self.programs[user].pid
        photo = os.path.join(self.dir, user + "-photo.png")
        subprocess.run(["/usr/bin/convert", "-size", "160x100", "xc:#1478c8", photo], check=True, timeout=20)
        self.find("push button", "Profile", root=self.window("zeloraTALK Presence")).queryAction().doAction(0)
        mine = wait_for(f"{user}'s profile window", lambda: self.window("My Profile"), 10)
        self.set_text(wait_for("the first-name field", lambda: self.find("text", "First Name", root=mine), 10),
                      first_name)
        # The file dialog is modal: a real click opens it.
        self.click(self.find("push button", "Select Avatar", root=mine))
        picker = wait_for("the picture chooser", lambda: self.window("Select Avatar"), 10)
        import pyatspi
        field = self.descendant("its file-name field", picker, lambda n: n.getRoleName() == "text"
                                and n.getState().contains(pyatspi.STATE_FOCUSED))
        self.set_text(field, photo)
        self.find("push button", "Open", root=picker).queryAction().doAction(0)
        self.descendant("the chosen picture shown", mine, lambda n: n.name == "Picture"
                        and (n.description or "").startswith("Picture of "))
        self.find("push button", "Save", root=mine).queryAction().doAction(0)
        self.descendant("the profile saved", mine, lambda n: n.name == "Profile saved", 10)
        self.screenshot(user + "-profile-saved")

    def chat_window(self, user):
        self.pid = self.programs[user].pid
        return wait_for(f"{user}'s chat window", lambda: self.window("zelora Chat"), 10)

    def say(self, user, text):
        """Types a line into the user's open conversation and sends it."""
        chat = self.chat_window(user)
        field = wait_for(f"{user}'s message field", lambda: self.find("text", "Message", root=chat), 5)
        self.set_text(field, text)
        self.press("push button", "Send", real=False)

    def read_chat(self, user, text):
        """Waits until the user's conversation shows `text`."""
        chat = self.chat_window(user)

        def shown():
            import pyatspi
            view = pyatspi.findDescendant(chat, lambda n: _safe(lambda m: m.name == "Conversation", n))
            if view is None:
                return None
            t = view.queryText()
            return text in t.getText(0, t.characterCount) or None
        try:
            wait_for(f'{user}\'s conversation showing "{text}"', shown, 10)
        except Failure:
            import pyatspi
            nodes = []
            pyatspi.findAllDescendants(chat, lambda n: nodes.append(f"{n.getRoleName()} {n.name!r}") and False)
            raise Failure(f'{user}\'s conversation does not show "{text}"; the chat window holds: ' + ", ".join(nodes))

    def find_item(self, match):
        import pyatspi
        root = self.window("zeloraTALK Presence")
        return pyatspi.findDescendant(root, lambda n: _safe(match, n)) if root is not None else None

    def scenario(self):
        started = time.monotonic()
        self.programs, self.window_ids = {}, {}
        for user in USERS:
            self.programs[user] = self.sign_in(user)
        for user, x in (("1001", 0), ("1002", 360)):
            self.open_presence(user, x)
        print(f"both signed in to presence {time.monotonic() - started:.2f} s after the start")
        self.shot("1001", "signed-in")

        # 1001 adds 1002 from the add-contact dialog (modal: opened with a real click).
        self.pid = self.programs["1001"].pid
        self.press("push button", "Add contact")
        dialog = wait_for("the add-contact dialog", lambda: self.window("Add contact"), 10)
        self.set_text(wait_for("its ID field", lambda: self.find("text", "Contact ID", root=dialog)), "1002")
        self.set_text(self.find("text", "Contact name", root=dialog), "Bee")
        self.press("push button", "Add", real=False)
        # "- Pending" until the server's first presence answer for it, which replaces the text.
        self.tree_item("1001", r"Bee(- Pending)?")
        self.shot("1001", "contact-pending")

        # 1002 is asked, and accepts; the subscription becomes mutual.
        self.pid = self.programs["1002"].pid
        request = wait_for("1002's subscription request", lambda: self.window("Subscription request"), 10)
        text = self.find("label", description="Request text", root=request)
        if text is None or "1001@localhost" not in text.name:
            raise Failure("the request does not name its sender: " + (text.name if text else "no text"))
        self.screenshot("1002-request")
        self.press("push button", "Accept", real=False)
        self.tree_item("1002", r"1001( - Both)?")
        self.tree_item("1001", r"Bee", "Available")  # online: the presence text replaced "- Pending"
        self.shot("1002", "accepted")

        # 1002's asking back was accepted without asking 1001, which is told so.
        self.pid = self.programs["1001"].pid
        told = wait_for("1001 told of the mutual subscription", lambda: self.window("Subscription"), 10)
        if self.find("label", "1002@localhost can now see your status.", root=told) is None:
            raise Failure("1001's information window does not name 1002")
        self.press("push button", "OK", real=False)
        wait_for("the information window to close", lambda: self.window("Subscription") is None, 5)

        # 1001 goes away with a message: typed, then chosen in the status box.
        self.click(self.need("text", "Status message"))
        subprocess.run(["xdotool", "type", "--delay", "20", "in a meeting"], env=self.env, check=True, timeout=10)
        subprocess.run(["xdotool", "key", "Return"], env=self.env, check=True, timeout=5)
        # The box's accessible name is its current entry.
        self.click(self.need("combo box", "Available"))
        wait_for("the status list", lambda: self.find("list item", "Away"), 5)
        subprocess.run(["xdotool", "key", "Down", "Down", "Return"], env=self.env, check=True, timeout=5)
        wait_for('the status box at "Away"', lambda: self.find("combo box", "Away"), 5)
        self.shot("1001", "away")
        self.tree_item("1002", r"1001 - in a meeting", "Away")
        self.shot("1002", "sees-away")

        # 1001 turns the chat history on in the preferences (a modal dialog: a real click opens it).
        self.pid = self.programs["1001"].pid
        # (The phone's window has a "Settings" button too: this one is the presence window's.)
        self.click(self.find("push button", "Settings", root=self.window("zeloraTALK Presence")))
        prefs = wait_for("1001's preferences", lambda: self.window("Presence preferences"), 10)
        self.check(self.find("check box", "Enable chat history", root=prefs))
        self.find("push button", "OK", root=prefs).queryAction().doAction(0)
        wait_for("the preferences to close", lambda: self.window("Presence preferences") is None, 5)

        # 1002 opens a conversation with a double click on 1001; they chat both ways in their chat windows.
        item = self.tree_item("1002", r"1001 - in a meeting", "Away")
        self.double_click(item)
        self.say("1002", "hello from Bee")
        self.read_chat("1001", "hello from Bee")
        self.say("1001", "hi Bee, back soon")
        self.read_chat("1002", "hi Bee, back soon")
        self.screenshot("chat-both-ways")
        # 1001 stores a profile with a photo; 1002 opens 1001's profile from the tree and sees both.
        self.own_profile_with_photo("1001", "Ada")
        self.pid = self.programs["1002"].pid
        item = self.tree_item("1002", r"1001 - in a meeting", "Away")
        self.click(item, button=3)
        # The contact's menu: Chat, Call, Profile, ... (a pop-up menu: chosen with the keyboard).
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "Down", "Down", "Down", "Return"], env=self.env, check=True, timeout=5)
        theirs = wait_for("1001's profile on 1002's side", lambda: self.window("Profile"), 10)
        self.descendant("1001's first name on 1002's side", theirs, lambda n: n.name == "First Name"
                        and n.queryText().getText(0, -1) == "Ada")
        self.descendant("1001's photo on 1002's side", theirs, lambda n: n.name == "Picture"
                        and (n.description or "").startswith("Picture of "))
        self.screenshot("profile-seen")

        # The history file holds the conversation; the history window shows it through its stylesheet.
        chat = self.chat_window("1001")
        history = self.descendant("the chat window's History command", chat,
                                  lambda n: n.getRoleName() == "menu item" and n.name == "History")
        history.queryAction().doAction(0)
        window = wait_for("1001's history window", lambda: self.window("Chat History"), 10)
        self.descendant("the history page with both lines", window,
                        lambda n: n.name == "Web page" and "hello from Bee" in (n.description or "")
                        and "hi Bee, back soon" in (n.description or ""), 15)
        self.screenshot("history-window")

        # 1001 searches the presence service's users by user name and finds 1002.
        self.pid = self.programs["1001"].pid
        self.press("push button", "Search", real=False)
        search = wait_for("the search window", lambda: self.window("Search Contacts"), 10)
        self.check(self.find("check box", "User Name", root=search))
        self.set_text(self.find("text", "Search text", root=search), "1002")
        self.find("push button", "Search", root=search).queryAction().doAction(0)
        self.descendant("1002 (\"Second Phone\") in 1001's search results", search, lambda n: n.name == "Second Phone")
        self.screenshot("search-found")

        # 1001 registers a Yahoo account from the account dialog; the gateway signs it in.
        self.press("push button", "Yahoo", real=False)
        account = wait_for("the account dialog", lambda: self.window("IM Account"), 10)
        self.set_text(self.find("text", "Username", root=account), "bee.yahoo")
        self.set_text(self.find("password text", "Password", root=account) or
                      self.find("text", "Password", root=account), "secret")
        self.find("push button", "Add Account", root=account).queryAction().doAction(0)
        self.descendant("the Yahoo account signed in", account, lambda n: n.name == "Signed in", 15)
        # The account message ended with the gateway's answer.
        self.descendant("the registration's end in the account message", account,
                        lambda n: n.description == "Account message" and n.name == "Account registered", 5)
        self.screenshot("yahoo-signed-in")
        print(f"presence run done {time.monotonic() - started:.2f} s after the start")
        for user, p in self.programs.items():
            p.terminate()
            p.wait(10)


def _safe(match, node):
    try:
        return match(node)
    except Exception:
        return False


def main():
    args = users_run.arguments("program", "services", "source", "out")
    missing = [f"{p} (Debian package {pkg})" for p, pkg in NEEDED if users_run.shutil.which(p) is None]
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("pyatspi for /usr/bin/python3 (Debian package python3-pyatspi)")
    for what, path in (("program", args.program), ("presence-services", args.services)):
        if not os.access(path, os.X_OK):
            missing.append(f"{what} not built ({path})")
    if missing:
        print("missing: " + ", ".join(missing), file=sys.stderr)
        return 1
    rc = users_run.on_own_bus()
    if rc is not None:
        return rc
    os.makedirs(args.out, exist_ok=True)
    for old in os.listdir(args.out):  # the pictures are this run's alone
        if old.endswith(".png"):
            os.remove(os.path.join(args.out, old))
    run = PresenceRun(args)
    try:
        run.start_display()
        run.start_peers()
        run.scenario()
        print("presence run passed; screenshots in " + args.out)
        return 0
    except Exception as e:
        run.screenshot("failure")
        print(f"FAILED: {e}", file=sys.stderr)
        print("windows: " + run.windows(), file=sys.stderr)
        for name in ("zeloraTALK-1001", "zeloraTALK-1002", "prosody", "services", "kamailio"):
            print(f"----- {name} -----\n{run.log(name)[-3000:]}", file=sys.stderr)
        for user in USERS:
            log = os.path.join(run.dir, "u" + user, "phone/state/zeloraTALK/zeloraTALK.log")
            if os.path.exists(log):
                with open(log, errors="replace") as f:
                    print(f"----- {user}'s log -----\n{f.read()[-4000:]}", file=sys.stderr)
        return 1
    finally:
        run.stop()
        users_run.shutil.rmtree(run.dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
