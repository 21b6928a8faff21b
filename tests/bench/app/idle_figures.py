#!/usr/bin/python3
"""Start-up time, idle memory and idle wake-ups of the desktop program beside the console
program, in one run against the user's-run peers (not run by CI: it idles for a minute).

  idle_figures.py --program BUILD/src/app/ui/zeloraTALK --cli BUILD/src/cli/zeloratalk-cli --source SOURCE

Prints, for each: time from start to signed in, VmRSS once signed in, CPU seconds and voluntary
context switches (all threads) over an idle minute.
"""
import argparse
import glob
import os
import select
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../integration/app/ui"))
import users_run  # noqa: E402

IDLE_SECONDS = 60


def figures(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    switches = {}  # by thread
    for status in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(status) as f:
                lines = f.read().splitlines()
            name = lines[0].split(None, 1)[1] + "/" + status.split("/")[-2]
            switches[name] = next(int(l.split()[1]) for l in lines if l.startswith("voluntary_ctxt_switches"))
        except (OSError, StopIteration, IndexError):
            pass  # a thread that ended meanwhile
    return cpu, switches


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(l.split()[1]) for l in f if l.startswith("VmRSS"))


def main():
    args = users_run.arguments("program", "cli", "source")
    rc = users_run.on_own_bus()
    if rc is not None:
        return rc
    run = users_run.Run(argparse.Namespace(program=args.program, source=args.source, out=run_dir()))
    try:
        run.start_display()
        run.start_peers()
        env = run.phone_env()

        started = time.monotonic()
        gui = run.spawn("zeloraTALK", [args.program], env=env)
        run.type_into(users_run.wait_for("the login panel", lambda: run.find("text", "User ID"), 20), "1001")
        run.type_into(run.find(("text", "password text"), "Password"), "pw1001")
        run.press("push button", "Sign in")
        users_run.wait_for("signed in", lambda: run.find("text", "Number"), 15)
        gui_start = time.monotonic() - started

        cli_env = dict(env, ZELORA_LOCAL_ADDRESS="127.0.10.5", XDG_RUNTIME_DIR=env["XDG_RUNTIME_DIR"] + "/cli")
        os.makedirs(cli_env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        started = time.monotonic()
        cli = subprocess.Popen([args.cli], env=cli_env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        cli.stdin.write(b"login 1002 pw1002\n")
        cli.stdin.flush()
        output = b""
        while b"REGISTRATION_SUCCESSFUL" not in output:
            ready, _, _ = select.select([cli.stdout], [], [], 15)
            if not ready:
                raise users_run.Failure("the console program did not sign in")
            output += os.read(cli.stdout.fileno(), 4096)
        cli_start = time.monotonic() - started

        time.sleep(2)  # let both settle after the sign-in
        before = {name: figures(p.pid) for name, p in (("zeloraTALK", gui), ("zeloratalk-cli", cli))}
        rss = {name: rss_kb(p.pid) for name, p in (("zeloraTALK", gui), ("zeloratalk-cli", cli))}
        time.sleep(IDLE_SECONDS)
        after = {name: figures(p.pid) for name, p in (("zeloraTALK", gui), ("zeloratalk-cli", cli))}
        print(f"{'program':16} {'signed in':>10} {'VmRSS':>10} {'CPU/min':>9} {'wake-ups/min':>13}")
        for name, start in (("zeloraTALK", gui_start), ("zeloratalk-cli", cli_start)):
            cpu = after[name][0] - before[name][0]
            by_thread = {t: n - before[name][1].get(t, 0) for t, n in after[name][1].items()}
            wakeups = sum(by_thread.values())
            busiest = ", ".join(f"{t} {n}" for t, n in sorted(by_thread.items(), key=lambda x: -x[1])[:4])
            print(f"{name:16} {start:9.2f}s {rss[name]:8d}kB {cpu:8.2f}s {wakeups:13d}   {busiest}")
        cli.stdin.write(b"quit\n")
        cli.stdin.flush()
        cli.wait(10)
        return 0
    except users_run.Failure as e:
        print(f"FAILED: {e}", file=sys.stderr)
        return 1
    finally:
        run.stop()


def run_dir():
    import tempfile
    return tempfile.mkdtemp(prefix="zelora-idle-figures-")


if __name__ == "__main__":
    sys.exit(main())
