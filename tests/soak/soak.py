#!/usr/bin/python3
"""Shared-database soak: the gateway and the maintenance program working on
one database for a while, with the gateway killed at random moments.

    soak.py SECONDS --bin DIR --work DIR [--seed N] [--rate PER_MINUTE]

Needs the local mail servers of scripts/peers.sh (its ORV_* variables in
the environment). For SECONDS it

  * drops request mail into the Dovecot mailbox at a steady rate (new
    senders, known senders, request forms, enquiries, malformed ones),
    each message marked with an X-Soak-Id header and "soak #N" in its
    subject;
  * runs orvserv on a database made by `tarnwick-sim create`, alternating
    resident instances (one-minute timer plus Do All through the console
    every few seconds) with single /Run:all invocations, and kills them
    with SIGKILL at random moments (sometimes SIGTERM);
  * plays the maintenance program with tarnwick-sim moves (contacts,
    requests, transfers, closes, voids, reopenings, reschedules).

Then it stops everything, lets the gateway finish with a few clean runs
(bounded), checks the invariants (soak_check.py), prints the report, and
exits 1 when any invariant is violated. It only ever signals processes it
started itself, by their PID.
"""
import argparse
import glob
import json
import os
import random
import re
import resource
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak_check  # noqa: E402
import soak_mail  # noqa: E402

DO_ALL = 32774
RUN_TIMEOUT = 120.0        # a /Run:all that takes longer is killed and counted as hung
STOP_TIMEOUT = 60.0        # SIGTERM to exit
DRAIN_RUNS = 4             # clean /Run:all after the soak


class Figures:
    def __init__(self):
        self.lock = threading.Lock()
        self.n = {}
        self.exit_codes = {}
        self.problems = []

    def add(self, name, k=1):
        with self.lock:
            self.n[name] = self.n.get(name, 0) + k

    def get(self, name):
        with self.lock:
            return self.n.get(name, 0)

    def problem(self, text):
        with self.lock:
            self.problems.append(text)

    def code(self, what, rc):
        with self.lock:
            key = "%s exit %s" % (what, rc)
            self.exit_codes[key] = self.exit_codes.get(key, 0) + 1


def allow_core():
    resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Soak:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.bin = os.path.abspath(args.bin)
        self.work = os.path.abspath(args.work)
        self.db = os.path.join(self.work, "maintenance")
        self.gw = os.path.join(self.db, "@Orvane")
        self.logdir = os.path.join(self.work, "logs")
        self.coredir = os.path.join(self.logdir, "cores")
        self.env = os.environ
        self.maildir = self.env["ORV_MAILDIR"]
        self.spool = self.env["ORV_SMTP_SPOOL"]
        self.mail_uid = int(self.env.get("ORV_MAILDIR_UID", "5000"))
        self.stop = threading.Event()
        self.fig = Figures()
        self.ledger = {}          # soak id -> description of the delivered message
        self.ledger_lock = threading.Lock()
        self.known = []           # (key, name, email) of contacts that send mail
        self.sim_only = []        # contact keys of people who never send mail
        self.gateway_proc = None
        self.gateway_lock = threading.Lock()
        self.gateway_starts = []  # (CCYYMMDD, HHMMSS) local time of each gateway start
        self.run_seconds = []     # durations of clean /Run:all, to aim the kills
        self.sim_log = open(os.path.join(self.logdir, "tarnwick-sim.log"), "a") if os.path.isdir(self.logdir) else None

    # ---------------------------------------------------------------- helpers
    def tool(self, name):
        return os.path.join(self.bin, name)

    def sim(self, *argv, timeout=60):
        cmd = [self.tool("tarnwick-sim")] + [str(a) for a in argv]
        try:
            p = subprocess.run(cmd, capture_output=True, text=True, encoding="latin-1", timeout=timeout)
        except subprocess.TimeoutExpired:
            self.fig.add("maintenance moves hung")
            self.fig.problem("tarnwick-sim %s did not finish within %ds" % (argv[0], timeout))
            return 124, ""
        if self.sim_log and (argv[0] != "list" or p.returncode != 0):
            self.sim_log.write("%s rc=%d %s%s" % (" ".join(map(str, argv)), p.returncode,
                                                  p.stdout if argv[0] != "list" else "", p.stderr))
            self.sim_log.flush()
        return p.returncode, p.stdout + p.stderr

    def gateway_cmd(self, *extra):
        return [self.tool("orvserv"), "/TarnwickDatabase:" + self.db, "/AssumeYes+"] + list(extra)

    def start_gateway(self, *extra, out=None):
        self.gateway_starts.append((time.strftime("%Y%m%d"), time.strftime("%H%M%S")))
        log = open(os.path.join(self.logdir, "orvserv.log"), "ab")
        log.write(("=== %s %s\n" % (time.strftime("%H:%M:%S"), " ".join(extra))).encode())
        log.flush()
        # Core files of a crash land in logs/cores (the working directory).
        p = subprocess.Popen(self.gateway_cmd(*extra), stdin=subprocess.DEVNULL, cwd=self.coredir,
                             stdout=out if out is not None else log, stderr=log, preexec_fn=allow_core)
        log.close()
        with self.gateway_lock:
            self.gateway_proc = p
        return p

    def end_gateway(self, p, sig):
        """Sends sig to p (our own child) and waits for it; SIGKILL after STOP_TIMEOUT."""
        if p.poll() is None:
            p.send_signal(sig)
            try:
                p.wait(timeout=STOP_TIMEOUT if sig != signal.SIGKILL else 30)
            except subprocess.TimeoutExpired:
                self.fig.add("gateway stops that needed SIGKILL")
                self.fig.problem("orvserv did not stop within %ds of SIGTERM (threads in %s)" % (
                    STOP_TIMEOUT, self.dump_threads(p.pid)))
                p.kill()
                p.wait()
        with self.gateway_lock:
            self.gateway_proc = None

    def dump_threads(self, pid):
        """Writes where each thread of a stuck process is (its kernel wait and,
        when gdb is there, its stack) to a file of the log directory; the
        file's name."""
        path = os.path.join(self.logdir, "stuck-%d.txt" % pid)
        with open(path, "w") as out:
            for task in sorted(glob.glob("/proc/%d/task/*" % pid)):
                for name in ("comm", "wchan", "syscall"):
                    try:
                        with open(os.path.join(task, name)) as f:
                            out.write("%s %s: %s\n" % (os.path.basename(task), name, f.read().strip()))
                    except OSError:
                        pass
            if shutil.which("gdb"):
                try:
                    out.write(subprocess.run(["gdb", "-batch", "-p", str(pid), "-ex", "thread apply all bt"],
                                             capture_output=True, text=True, timeout=60).stdout)
                except subprocess.TimeoutExpired:
                    out.write("gdb timed out\n")
        return path

    # ------------------------------------------------------------------ setup
    def setup(self):
        os.makedirs(self.coredir, exist_ok=True)
        self.sim_log = open(os.path.join(self.logdir, "tarnwick-sim.log"), "a")
        rc, out = self.sim("create", self.db)
        if rc != 0:
            raise SystemExit("tarnwick-sim create failed: " + out)
        for i in range(6):
            name, email = "Known Person %d" % i, "known%d@soak.test" % i
            rc, out = self.sim("add-contact", self.db, name, email)
            m = re.search(r"contact (\d+) added", out)
            if rc != 0 or not m:
                raise SystemExit("tarnwick-sim add-contact failed: " + out)
            self.known.append((int(m.group(1)), name, email))
        # First start makes the gateway database; its settings are then ours.
        p = self.start_gateway("/Listen:off", "/Run:update")
        p.wait(timeout=RUN_TIMEOUT)
        if not os.path.isfile(os.path.join(self.gw, "logs.dbf")):
            raise SystemExit("orvserv did not make the gateway database (see %s)" % self.logdir)
        self.write_settings()

    def write_settings(self):
        e = self.env
        values = {
            101: e["ORV_POP3_HOST"], 102: e["ORV_SMTP_HOST"], 103: e["ORV_POP3_USER"],
            104: soak_mail.scramble(e["ORV_POP3_PASSWORD"]), 105: e["ORV_POP3_PORT"], 106: e["ORV_SMTP_PORT"],
            151: "1", 152: "Soak Gateway", 153: "[gw]", 154: "Soak notice", 155: "gateway@soak.test",
            156: "0", 157: "1", 158: "1", 159: "1",
            # The local Dovecot speaks plain text on loopback: the password
            # may go unencrypted there, as its operator would allow.
            329: "1",
        }
        path = os.path.join(self.gw, "orvserv.cfg")
        old = {}
        if os.path.isfile(path):
            for line in open(path, "rb").read().decode("latin-1").splitlines():
                m = re.match(r"\[(\d+)\] (.*)$", line)
                if m:
                    old.setdefault(int(m.group(1)), m.group(2))
        old.update(values)
        with open(path, "wb") as f:
            for n in sorted(old):
                f.write(("[%d] %s\r\n" % (n, old[n])).encode("latin-1"))
        os.chmod(path, 0o600)

    # ------------------------------------------------------------ mail feeder
    def feeder(self):
        period = 60.0 / self.args.rate
        n = 0
        next_t = time.time()
        while not self.stop.is_set():
            n += 1
            msg_id = n
            text, kind = soak_mail.make_message(self.rng_feed, msg_id, self.known, self.ledger_senders())
            name = "%d.soak%06d.M0P%d.soak" % (int(time.time()), msg_id, os.getpid())
            tmp = os.path.join(self.maildir, "tmp", name)
            with open(tmp, "wb") as f:
                f.write(text)
            os.chown(tmp, self.mail_uid, self.mail_uid)
            os.rename(tmp, os.path.join(self.maildir, "new", name))
            with self.ledger_lock:
                self.ledger[msg_id] = kind
            self.fig.add("messages delivered")
            self.fig.add("delivered: " + kind["kind"])
            next_t += period * self.rng_feed.uniform(0.5, 1.5)
            self.stop.wait(max(0.0, next_t - time.time()))

    def ledger_senders(self):
        with self.ledger_lock:
            return [k["from"] for k in self.ledger.values() if k.get("new_sender")][-50:]

    # ------------------------------------------------------- maintenance side
    def listing(self):
        rc, out = self.sim("list", self.db)
        if rc != 0:
            return None
        contacts, requests, orders = [], [], []
        for line in out.splitlines():
            f = line.split("\t")
            if f[0] == "contact" and len(f) >= 5:
                contacts.append({"key": int(f[1]), "email": f[3], "flags": f[4]})
            elif f[0] == "request" and len(f) >= 7:
                requests.append({"key": int(f[1]), "num": f[2], "status": f[3], "requestor": int(f[4]),
                                 "flags": f[6]})
            elif f[0] == "order" and len(f) >= 9:
                orders.append({"key": int(f[1]), "type": f[3], "cls": f[4], "link": int(f[5]), "flags": f[8]})
        return contacts, requests, orders

    def maintenance(self):
        rng = self.rng_sim
        sim_n = 0
        while not self.stop.wait(rng.uniform(0.3, 1.2)):
            got = self.listing()
            if got is None:
                self.fig.add("maintenance moves refused")
                continue
            contacts, requests, orders = got
            live = lambda xs: [x for x in xs if "deleted" not in x["flags"]]
            open_req = [r for r in live(requests) if r["status"].strip() == ""]
            gw_open = [r for r in open_req if r["num"].startswith("@O") or r["num"].startswith("SOAKREF")]
            open_ord = [o for o in live(orders) if o["type"] == "O"]
            done_ord = [o for o in live(orders) if o["type"] in ("C", "V")]
            moves = []
            if gw_open or open_req:
                moves += [("transfer", 6)]
            if open_ord:
                moves += [("close", 4), ("reschedule", 3), ("void-order", 1)]
            if open_req:
                moves += [("void-request", 1)]
            if done_ord:
                moves += [("reopen", 1)]
            moves += [("add-contact", 1), ("new-request", 1)]
            if self.sim_only:
                moves += [("hide-contact", 0.3), ("delete-contact", 0.3)]
            move = rng.choices([m for m, _ in moves], weights=[w for _, w in moves])[0]
            date = "2027%02d%02d" % (rng.randint(1, 12), rng.randint(1, 28))
            if move == "transfer":
                r = rng.choice(gw_open if gw_open and rng.random() < 0.8 else open_req)
                argv = ("transfer", self.db, r["key"], "--workdate", date, "--interval", rng.randint(1, 9))
            elif move == "close":
                argv = ("close", self.db, rng.choice(open_ord)["key"], "closed by the soak")
            elif move == "reschedule":
                argv = ("reschedule", self.db, rng.choice(open_ord)["key"], date, rng.randint(1, 9))
            elif move == "void-order":
                argv = ("void", self.db, "order", rng.choice(open_ord)["key"])
            elif move == "void-request":
                argv = ("void", self.db, "request", rng.choice(open_req)["key"])
            elif move == "reopen":
                argv = ("reopen", self.db, rng.choice(done_ord)["key"])
            elif move == "add-contact":
                sim_n += 1
                argv = ("add-contact", self.db, "Staff Member %d" % sim_n, "staff%d@tarnwick.test" % sim_n)
            elif move == "new-request":
                pool = [c["key"] for c in live(contacts)]
                argv = ("new-request", self.db, rng.choice(pool), "maintenance's own request %d" % rng.randint(1, 10**6))
            elif move == "hide-contact":
                argv = ("hide-contact", self.db, rng.choice(self.sim_only))
            else:
                key = self.sim_only.pop(rng.randrange(len(self.sim_only)))
                argv = ("delete-contact", self.db, key)
            rc, out = self.sim(*argv)
            self.fig.code("tarnwick-sim " + argv[0], rc)
            if rc == 0:
                self.fig.add("maintenance moves")
                self.fig.add("move: " + (move if argv[0] != "void" else "void " + argv[2]))
                if move == "add-contact":
                    m = re.search(r"contact (\d+) added", out)
                    if m:
                        self.sim_only.append(int(m.group(1)))
            else:
                self.fig.add("maintenance moves refused")

    # ------------------------------------------------------------ the gateway
    def run_once(self, kill):
        """One /Run:all; when kill, a signal at a random moment of it."""
        t0 = time.time()
        p = self.start_gateway("/Listen:off", "/Run:all")
        sig = None
        if kill:
            typical = sorted(self.run_seconds)[len(self.run_seconds) // 2] if self.run_seconds else 1.0
            delay = self.rng.uniform(0.0, 1.3 * typical)
            try:
                p.wait(timeout=delay)
            except subprocess.TimeoutExpired:
                sig = signal.SIGKILL if self.rng.random() < 0.85 else signal.SIGTERM
        if sig is not None:
            self.fig.add("kills (SIGKILL)" if sig == signal.SIGKILL else "stops (SIGTERM)")
            self.end_gateway(p, sig)
            return
        try:
            rc = p.wait(timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.fig.add("runs that hung")
            self.fig.problem("orvserv /Run:all still running after %ds" % RUN_TIMEOUT)
            self.end_gateway(p, signal.SIGKILL)
            return
        with self.gateway_lock:
            self.gateway_proc = None
        self.fig.add("/Run:all runs completed")
        self.fig.code("orvserv /Run:all", rc)
        if rc < 0 or rc > 1:  # 1: the run reported something to the diagnostics
            self.crashed("orvserv /Run:all", rc)
        self.run_seconds.append(time.time() - t0)
        self.run_seconds = self.run_seconds[-50:]

    def resident(self, life):
        """An orvserv with its one-minute timer and the console, Do All every
        few seconds, ended by SIGKILL or SIGTERM after `life` seconds."""
        port = free_port()
        p = self.start_gateway("/Listen:127.0.0.1:%d" % port)
        self.fig.add("resident starts")
        base = "http://127.0.0.1:%d" % port
        token = None
        end = time.time() + life
        while time.time() < end and p.poll() is None and token is None:
            try:
                page = urllib.request.urlopen(base + "/", timeout=5).read().decode("utf-8", "replace")
                m = re.search(r'name="orv-token" content="([0-9a-f]+)"', page)
                token = m.group(1) if m else None
            except OSError:
                time.sleep(0.2)
        while time.time() < end and p.poll() is None and not self.stop.is_set():
            if token and self.rng.random() < 0.8:
                req = urllib.request.Request(base + "/api/command", data=json.dumps({"command": DO_ALL}).encode(),
                                             headers={"Content-Type": "application/json", "X-Orvane-Token": token})
                try:
                    urllib.request.urlopen(req, timeout=10).read()
                    self.fig.add("Do All through the console")
                except OSError:
                    self.fig.add("console requests failed")
            time.sleep(min(max(0.0, end - time.time()), self.rng.uniform(1.5, 5.0)))
        if p.poll() is not None:
            self.fig.add("resident instances that exited by themselves")
            self.fig.problem("a resident orvserv exited by itself with status %s" % p.returncode)
            with self.gateway_lock:
                self.gateway_proc = None
            return
        sig = signal.SIGKILL if self.rng.random() < 0.7 else signal.SIGTERM
        self.fig.add("kills (SIGKILL)" if sig == signal.SIGKILL else "stops (SIGTERM)")
        self.end_gateway(p, sig)
        if sig == signal.SIGTERM:
            self.fig.code("orvserv resident after SIGTERM", p.returncode)
            if p.returncode != 0:
                self.crashed("resident orvserv after SIGTERM", p.returncode)

    def guarded(self, work):
        """A worker thread's body: a harness fault ends the soak and counts."""
        try:
            work()
        except Exception as e:  # noqa: BLE001 - reported, and the soak fails
            self.fig.problem("harness thread %s failed: %r" % (threading.current_thread().name, e))
            self.stop.set()

    def crashed(self, what, rc):
        self.fig.add("gateway crashes")
        self.fig.problem("%s ended with status %s%s" % (
            what, rc, " (signal %s, not sent by the soak)" % signal.Signals(-rc).name if rc < 0 else ""))

    def gateway_loop(self, deadline):
        while time.time() < deadline and not self.stop.is_set():
            left = deadline - time.time()
            if self.rng.random() < 0.35 and left > 15:
                self.resident(min(left, self.rng.uniform(10, min(90, max(12, self.args.seconds / 4)))))
            else:
                for _ in range(self.rng.randint(1, 4)):
                    if time.time() >= deadline:
                        break
                    self.run_once(kill=self.rng.random() < 0.6)

    # ------------------------------------------------------------------- main
    def run(self):
        self.rng_feed = random.Random(self.rng.random())
        self.rng_sim = random.Random(self.rng.random())
        self.setup()
        started = time.time()
        deadline = started + self.args.seconds
        threads = [threading.Thread(target=self.guarded, args=(self.feeder,), name="feeder"),
                   threading.Thread(target=self.guarded, args=(self.maintenance,), name="maintenance")]
        for t in threads:
            t.start()
        try:
            self.gateway_loop(deadline)
        finally:
            self.stop.set()
            for t in threads:
                t.join()
            with self.gateway_lock:
                p = self.gateway_proc
            if p is not None:
                self.end_gateway(p, signal.SIGKILL)
        soak_seconds = time.time() - started
        # Let the gateway catch up after the last kill: a few clean runs.
        for _ in range(DRAIN_RUNS):
            p = self.start_gateway("/Listen:off", "/Run:all")
            try:
                rc = p.wait(timeout=RUN_TIMEOUT)
                self.fig.code("orvserv final /Run:all", rc)
                if rc < 0 or rc > 1:
                    self.crashed("final orvserv /Run:all", rc)
            except subprocess.TimeoutExpired:
                self.fig.problem("final /Run:all still running after %ds" % RUN_TIMEOUT)
                self.end_gateway(p, signal.SIGKILL)
            with self.gateway_lock:
                self.gateway_proc = None
        report = soak_check.check(self, soak_seconds)
        print(report["text"])
        with open(os.path.join(self.work, "report.txt"), "w") as f:
            f.write(report["text"] + "\n")
        return 0 if report["violations"] == 0 else 1


def main():
    ap = argparse.ArgumentParser(description="shared-database soak of orvserv and tarnwick-sim")
    ap.add_argument("seconds", type=float)
    ap.add_argument("--bin", required=True, help="directory holding orvserv, orvdb and tarnwick-sim")
    ap.add_argument("--work", required=True, help="empty directory for the databases and logs")
    ap.add_argument("--seed", type=int, default=int(time.time()))
    ap.add_argument("--rate", type=float, default=40.0, help="messages delivered per minute")
    args = ap.parse_args()
    if os.path.exists(args.work) and os.listdir(args.work):
        ap.error("--work must be empty or missing")
    os.makedirs(args.work, exist_ok=True)
    print("soak: %ds, seed %d, %.0f messages/minute, work %s" % (args.seconds, args.seed, args.rate, args.work),
          flush=True)
    sys.exit(Soak(args).run())


if __name__ == "__main__":
    main()
