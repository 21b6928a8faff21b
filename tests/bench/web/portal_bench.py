#!/usr/bin/python3
"""Figures of the SMS portal page, embedded against the default browser: the time from the
"SMS" button to the page's text, and the program's memory with the page open.

  portal_bench.py --program BUILD/src/app/ui/zeloraTALK --sim BUILD/tools/operator-sim/operator-sim \
                  --source SOURCE --out FOLDER [--runs 3]

Each run is the portal run's set-up (own display, registrar and operator simulator on
127.0.16.x), signed in, then "SMS" clicked. Embedded: until the page view's text holds the
message. Default browser (ZELORA_WEB_BROWSER=external): a stub browser named by BROWSER fetches
the link and writes the page; until that file holds the message. Memory 1 s later: the
program's own VmRSS, and RSS and PSS summed over it and the processes it started.
"""
import argparse
import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "../../integration/web/ui"))
import portal_run  # noqa: E402
import users_run  # noqa: E402
from users_run import wait_for  # noqa: E402

STUB = """#!/usr/bin/python3
import sys, urllib.request
text = urllib.request.urlopen(sys.argv[1], timeout=10).read().decode()
open(%r + ".part", "w").write(text)
import os; os.rename(%r + ".part", %r)
"""


def tree(root):
    """root and every process below it."""
    parents = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                with open(f"/proc/{name}/stat") as f:
                    parents[int(name)] = int(f.read().rsplit(")", 1)[1].split()[1])
            except OSError:
                pass
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(p for p, parent in parents.items() if parent == pid)
    return found


def kib(pid, path, key):
    try:
        with open(f"/proc/{pid}/{path}") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def memory(pid):
    pids = tree(pid)
    return (kib(pid, "status", "VmRSS") / 1024, sum(kib(p, "status", "VmRSS") for p in pids) / 1024,
            sum(kib(p, "smaps_rollup", "Pss") for p in pids) / 1024, len(pids))


def one(args, mode, figures):
    def body(run):
        extra = {}
        if mode == "default browser":
            page = os.path.join(run.dir, "browser-page.html")
            stub = os.path.join(run.dir, "browser.py")
            with open(stub, "w") as f:
                f.write(STUB % (page, page, page))
            os.chmod(stub, 0o755)
            extra = {"ZELORA_WEB_BROWSER": "external", "BROWSER": stub}
            for name in ("XDG_DATA_DIRS", "XDG_CONFIG_DIRS"):
                os.makedirs(os.path.join(run.dir, name), exist_ok=True)
                extra[name] = os.path.join(run.dir, name)
        run.sign_in(extra)
        node = wait_for('the "SMS" button', lambda: run.find("push button", "SMS"), 10)
        started = time.monotonic()
        run.click(node)
        if extra:
            def shown():
                try:
                    with open(page) as f:
                        return portal_run.SMS_TEXT in f.read()
                except OSError:
                    return False
            wait_for("the stub browser's page", shown, 15, 0.02)
        else:
            wait_for("the embedded page", lambda: portal_run.SMS_TEXT in run.page_text("SMS Dialog"), 15, 0.02)
        took = time.monotonic() - started
        time.sleep(1)
        figures.append((took,) + memory(run.phone.pid))
    if portal_run.run_with(args, body) != 0:
        raise SystemExit(f"{mode}: the run failed")


def main():
    parser = argparse.ArgumentParser()
    for name in ("program", "sim", "source", "out"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    problem = portal_run.prepare(args)
    if problem:
        print(problem, file=sys.stderr)
        return 1
    rc = users_run.on_own_bus()
    if rc is not None:
        return rc
    print("mode             | button to text, s (median, min-max) | own RSS MB | sum RSS MB | sum PSS MB | processes")
    for mode in ("embedded", "default browser"):
        figures = []
        for _ in range(args.runs):
            one(args, mode, figures)
        times = [f[0] for f in figures]
        med = [statistics.median(f[i] for f in figures) for i in range(1, 5)]
        print(f"{mode:16} | {statistics.median(times):.2f} ({min(times):.2f}-{max(times):.2f})"
              f"{'':17} | {med[0]:10.0f} | {med[1]:10.0f} | {med[2]:10.0f} | {med[3]:.0f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
