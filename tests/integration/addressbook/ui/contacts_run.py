#!/usr/bin/python3
"""The address book in the desktop program, used as a user would: on a virtual display of its own,
with its own registrar, echo phone and operator web service, driven with real pointer clicks and
typed keys (xdotool) and read over the accessibility bus (AT-SPI).

  contacts_run.py --program BUILD/src/app/ui/zeloraTALK --source SOURCE --sim BUILD/tools/operator-sim/operator-sim
                  --storage BUILD/tools/storage-plugin/libstorage-plugin.so --out FOLDER

Sign in, open the address book from the main window, add a contact through the form (it reaches
the operator and the list), call its VoIP number from the Phone menu and hear the echo answer; a call from its mobile number
rings with its name. Without a PIM-sync plug-in its button says how to get one; the "Remote Storage"
button hands the subscriber's number and the (70-character) proxy address, cut to 63, to the plug-in.
Screenshots of the form and of the contacts window land in FOLDER.
"""
import os
import re
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../app/ui"))
import users_run  # noqa: E402
from users_run import Failure, wait_for  # noqa: E402

# This run's own peers.
users_run.SIP_IP = "127.0.15.1"
users_run.ECHO_IP = "127.0.15.2"
users_run.CALLER_IP = "127.0.15.3"
users_run.PHONE_IP = "127.0.15.4"
WEB_IP = "127.0.15.5"
PROXY = "proxy-" + "x" * 54 + ".example"  # 70 characters

OPERATOR_DATA = """[server]
version = zeloraTALK Version 3.1.2

[user:1001]
balance = 1.00
smsbalance = 0
lvl3 = 4930111222
inbox = 0
sms.1 = 4930555|Table%20booked%20for%20eight
"""


class ContactsRun(users_run.Run):
    def start_peers(self):
        self.start_operator()
        super().start_peers()

    def start_operator(self):
        for path in (self.args.sim, self.args.storage):
            if not os.path.isfile(path):
                raise Failure(f"{path} not built (this project's tools/)")
        self.operator_data = os.path.join(self.dir, "operator.ini")
        with open(self.operator_data, "w") as f:
            f.write(OPERATOR_DATA)
        self.spawn("operator-sim", [self.args.sim, "--listen", WEB_IP, "--port", "80", "--data", self.operator_data])
        wait_for("operator-sim", lambda: "listening" in self.log("operator-sim"), 5)

    def operator_requests(self):
        with urllib.request.urlopen(f"http://{WEB_IP}/sim/requests", timeout=3) as reply:
            return reply.read().decode()

    def phone_env(self):
        env = super().phone_env()
        with open(env["ZELORA_DEPLOYMENT"]) as f:
            deployment = f.read()
        deployment = re.sub(r"(?m)^(service_host|portal_host|ads_host|probe_site) =.*", r"\1 = " + WEB_IP, deployment)
        deployment = re.sub(r"(?m)^remote_storage =.*", "remote_storage = " + self.args.storage, deployment)
        with open(env["ZELORA_DEPLOYMENT"], "w") as f:
            f.write(deployment)
        with open(os.path.join(env["XDG_CONFIG_HOME"], "zeloraTALK/registry.ini"), "a") as f:
            f.write(f"[Software\\zeloraTALK\\zeloraTALK\\HttpProxy]\nHttpProxyIP=sz:{PROXY}\n"
                    "HttpProxyPort=dword:00000c38\n")
        self.storage_record = os.path.join(self.dir, "storage.txt")
        # No machine-wide App Paths entry: the PIM-sync plug-in is not installed.
        env.update({"ZELORA_STORAGE_RECORD": self.storage_record,
                    "ZELORA_HKLM_FILE": os.path.join(self.dir, "machine-registry.ini")})
        return env

    def window(self, title):
        """The shown top-level window of that title, or None (hidden ones stay on the bus)."""
        import pyatspi
        app = self.app()
        for i in range(app.childCount if app else 0):
            w = app.getChildAtIndex(i)
            try:
                if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
            except Exception:
                continue
        return None

    def shoot_window(self, title, file):
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], env=self.env,
                             capture_output=True, text=True, timeout=5).stdout.split()
        if not ids:
            raise Failure(f'the window "{title}" is not on the display')
        subprocess.run(["import", "-window", ids[-1], os.path.join(self.out, file)], env=self.env, timeout=10,
                       check=True)

    def scenario(self):
        env = self.phone_env()
        started = time.monotonic()
        self.spawn("zeloraTALK", [self.args.program], env=env)
        wait_for("the program on the accessibility bus", self.app, 20)
        self.sign_in_typed(wait_for("the User ID field", lambda: self.find("text", "User ID")))
        print(f"signed in {time.monotonic() - started:.2f} s after the start")

        # The main window's "Contacts" button opens the address book.
        self.press("push button", "Contacts")
        book = wait_for('the "Address Book" window', lambda: self.window("Address Book"), 10)
        self.press("push button", "Add")
        form = wait_for('the "New Contact" form', lambda: self.window("New Contact"), 10)
        for field, text in (("First Name", "Fiona"), ("Last Name", "Echo"), ("E-Mail", "fiona@example.com"),
                            ("VOIP Number", "echo"), ("Mobile Number", "1002")):
            self.type_into(wait_for(f'the "{field}" field', lambda: self.find("text", field, root=form)), text)
        self.shoot_window("New Contact", "contact-form.png")
        self.click(self.find("push button", "OK", root=form))
        wait_for("the form to close once the operator took the contact", lambda: self.window("New Contact") is None,
                 10)
        if re.search(r"(?m)^_addent 1$", self.operator_requests()) is None:
            raise Failure("the operator got no add: " + self.operator_requests())
        with open(self.operator_data) as f:
            if "Fiona" not in f.read():
                raise Failure("the operator's store lacks the contact")
        cell = wait_for("the contact in the list", lambda: self.find("table cell", "Fiona", root=book), 5)
        self.shoot_window("Address Book", "contacts-window.png")

        self.click(self.find("push button", "PIM Sync", root=book))
        info = "You would need to install PIM Sync plug-in to enjoy this feature"
        wait_for("the PIM-sync information box", lambda: self.find("label", info), 5)
        self.press("push button", "OK")
        wait_for("the information box to go", lambda: self.find("label", info) is None, 5)

        # Its VoIP number called from the Phone menu: the echo answers.
        self.click(cell)
        self.click(wait_for('the "Phone" menu', lambda: self.find(("menu", "menu item"), "Phone", root=book), 5))
        self.click(wait_for('its "VOIP Number" item', lambda: self.find("menu item", "VOIP Number"), 5))
        wait_for("the address book to close for the call", lambda: self.window("Address Book") is None, 5)
        self.wait_line("the call to the contact: Connected", r"Connected", 15)
        self.screenshot("contact-called")
        self.press("push button", "Hang up")
        wait_for("the call to end", lambda: not any("Connected" in l for l in self.display_lines()), 10)

        # The SMS menu on her mobile number: the book closes and the SMS page shows the inbox.
        self.press("push button", "Contacts")
        book = wait_for('the "Address Book" window again', lambda: self.window("Address Book"), 10)
        self.click(wait_for("the contact in the list", lambda: self.find("table cell", "Fiona", root=book), 5))
        self.click(wait_for('the "SMS" menu', lambda: self.find(("menu", "menu item"), "SMS", root=book), 5))
        self.click(wait_for('its "Mobile Number" item', lambda: self.find("menu item", "Mobile Number"), 5))
        wait_for("the address book to close for the SMS", lambda: self.window("Address Book") is None, 5)
        sms = wait_for('the "SMS Dialog" window', lambda: self.window("SMS Dialog"), 10)
        import pyatspi
        wait_for("the inbox text in the SMS page", lambda: pyatspi.findDescendant(
            sms, lambda n: n.name == "Web page" and "Table booked for eight" in (n.description or "")), 15)
        self.shoot_window("SMS Dialog", "sms-from-the-book.png")

        # A call from her mobile number rings with her name from the book.
        self.caller("dial", f"sip:1001@{users_run.SIP_IP}")
        box = wait_for('the "Incoming call" notifier', lambda: self.window("Incoming call"), 15)
        wait_for("the caller's name in the notifier",
                 lambda: self.find("label", "Fiona Echo", root=box) or self.find("label", "Fiona  Echo", root=box), 5)
        self.screenshot("contact-calling")
        # The notifier slides in: its button is pressed over the bus rather than at a moving spot.
        self.press("push button", "Reject", real=False)
        wait_for("the notifier to go", lambda: self.window("Incoming call") is None, 10)
        # Remote storage: the plug-in gets the subscriber's number (the VoIP number once known) and
        # the proxy record, then its second entry runs.
        self.press("push button", "Remote Storage")
        want = f"25 subscriber=4930111222 host={PROXY[:63]} port=3128\n26\n"
        wait_for("the remote-storage plug-in's calls", lambda: os.path.exists(self.storage_record) and
                 open(self.storage_record).read() == want, 5)
        print(f"contact added and called {time.monotonic() - started:.2f} s after the start")


def main():
    return users_run.main(ContactsRun, ("program", "source", "sim", "storage", "out"),
                          ("zeloraTALK", "operator-sim", "kamailio", "echo"), "contacts run")


if __name__ == "__main__":
    sys.exit(main())
