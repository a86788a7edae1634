"""The soak's final check: reads both databases (orvdb dump and check), the
mailbox left on the POP3 server and the SMTP server's spool, and counts
invariant violations.

Invariants (each breach is a violation):
  * every delivered message is still on the server or is exactly one row
    of logs.dbf; a message stored again by a later run because the process
    died between storing its row and QUIT is counted separately, not as a
    violation (two rows with the same intake stamp are a violation: one run
    stored it twice);
  * every row of logs.dbf comes from a delivered message;
  * every work request the gateway created has a contact, and no two rows
    point at one work request, and every row's work request exists;
  * every notice the SMTP server received matches a queued copy of a row
    change (same message, same history and details), and every queued copy
    that was removed as sent was received; a notice received more often
    than its copy was removed (the process died between handing it over
    and removing the copy) is counted separately;
  * after the final clean runs every followed row shows the state of its
    work request and work order;
  * every table of both databases passes `orvdb check`;
  * the counter in record 1 of every table is above every key in use, and
    no key is used twice; no contact has two accounts.
"""
import collections
import datetime
import email
import email.policy
import glob
import json
import os
import re
import subprocess

ID_RE = re.compile(r"X-Soak-Id: (\d+)")
SUBJECT_RE = re.compile(r"^Subject: .*?soak #(\d+)", re.M)
STATUS_NAMES = {0: "Rejected", 1: "Pending Processing", 2: "Waiting", 3: "Transferred", 4: "Completed",
                5: "Void", 6: "Special", 7: "Saved", 8: "Pending Acknowledgements", 9: "Deleted"}


def dump(orvdb, path):
    """Records of a table as dicts (field name -> text), with recno and deleted."""
    p = subprocess.run([orvdb, "dump", path], capture_output=True, timeout=600)
    if p.returncode != 0:
        raise RuntimeError("orvdb dump %s failed: %s" % (path, p.stderr.decode("latin-1")))
    lines = p.stdout.decode("latin-1").splitlines()
    head = json.loads(lines[0])
    names = [f[0] for f in head["fields"]]
    rows = []
    for line in lines[1:]:
        r = json.loads(line)
        d = dict(zip(names, r["fields"]))
        d["_recno"], d["_deleted"] = r["recno"], r["deleted"]
        rows.append(d)
    return rows


def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def notice_text(path):
    """A notice as its reader sees it: the decoded Subject line and body text.

    Notices are MIME (quoted-printable and encoded words where the text is
    not ASCII), so the rows' texts are compared with what they decode to.
    Line ends are taken as LF on both sides."""
    with open(path, "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=email.policy.default)
    part = msg.get_body(preferencelist=("plain",))
    body = part.get_content() if part is not None else ""
    return "Subject: %s\n\n%s" % (msg.get("subject", ""), body.replace("\r\n", "\n"))


def num(v):
    try:
        return int(str(v).strip() or "0")
    except ValueError:
        try:
            return int(float(v))
        except ValueError:
            return 0


def find_table(directory, name):
    exact = os.path.join(directory, name)
    if os.path.exists(exact):
        return exact
    for f in os.listdir(directory):
        if f.lower() == name.lower():
            return os.path.join(directory, f)
    return exact


def check(soak, soak_seconds):
    orvdb = soak.tool("orvdb")
    fig = soak.fig
    violations = []
    separate = collections.OrderedDict()
    out = []

    def violate(what, detail=""):
        violations.append((what, detail))

    # --- every table passes orvdb check
    tables = sorted(glob.glob(os.path.join(soak.db, "*.dbf")) + glob.glob(os.path.join(soak.db, "*.DBF")) +
                    glob.glob(os.path.join(soak.gw, "*.dbf")) + glob.glob(os.path.join(soak.gw, "*.DBF")))
    for t in tables:
        p = subprocess.run([orvdb, "check", t], capture_output=True, text=True, errors="replace", timeout=600)
        if p.returncode != 0:
            violate("orvdb check failed", "%s: %s" % (os.path.relpath(t, soak.work), (p.stdout + p.stderr).strip()[:2000]))

    logs = dump(orvdb, find_table(soak.gw, "logs.dbf"))
    accounts = dump(orvdb, find_table(soak.gw, "accounts.dbf"))
    contacts = dump(orvdb, find_table(soak.db, "contacts.dbf"))
    wrequests = dump(orvdb, find_table(soak.db, "wrequest.dbf"))
    worders = dump(orvdb, find_table(soak.db, "worders.dbf"))

    # --- counters in record 1 and unique keys
    for name, rows in (("logs.dbf", logs), ("accounts.dbf", accounts), ("contacts.dbf", contacts),
                       ("wrequest.dbf", wrequests), ("worders.dbf", worders)):
        if not rows:
            violate("table without record 1", name)
            continue
        counter = num(rows[0]["KEY"])
        keys = collections.Counter(num(r["KEY"]) for r in rows[1:])
        if keys and max(keys) >= counter:
            violate("counter in record 1 not above every key", "%s: counter %d, highest key %d" % (name, counter, max(keys)))
        for k, c in keys.items():
            if c > 1:
                violate("key used twice", "%s: key %d in %d records" % (name, k, c))
    owners = collections.Counter(num(a["CONTACTKEY"]) for a in accounts[1:] if not a["_deleted"])
    for k, c in owners.items():
        if c > 1:
            violate("contact with two accounts", "contact %d has %d accounts" % (k, c))

    # --- intake: delivered messages against logs.dbf and the mailbox
    delivered = dict(soak.ledger)
    on_server = collections.Counter()
    for sub in ("new", "cur"):
        for f in glob.glob(os.path.join(soak.maildir, sub, "*")):
            try:
                m = ID_RE.search(read_text(f))
            except OSError:
                continue
            if m:
                on_server[int(m.group(1))] += 1
    originals = collections.defaultdict(list)
    acks = collections.defaultdict(list)
    status_count = collections.Counter()
    for r in logs[1:]:
        m = ID_RE.search(r["MESSAGE"] or "")
        st = num(r["STATUS"])
        if not m:
            if not r["_deleted"]:
                violate("row not made from a delivered message", "logs.dbf record %d" % r["_recno"])
            continue
        n = int(m.group(1))
        if st == 8:
            acks[n].append(r)
        elif not r["_deleted"]:
            originals[n].append(r)
            status_count[st] += 1
            if n not in delivered:
                violate("row for a message never delivered", "soak #%d" % n)
    starts = set()
    for day, clock in getattr(soak, "gateway_starts", []):
        try:
            starts.add(datetime.datetime.strptime(day + clock, "%Y%m%d%H%M%S"))
        except ValueError:
            pass

    def started_near(stamp):
        """A gateway started in the second of stamp (or the one before)."""
        try:
            t = datetime.datetime.strptime(stamp[0] + stamp[1], "%Y%m%d%H%M%S")
        except ValueError:
            return False
        return t in starts or t - datetime.timedelta(seconds=1) in starts

    twice = still = pending_twice = same_second = 0
    for n in sorted(delivered):
        rows = originals.get(n, [])
        if not rows:
            if on_server[n]:
                still += 1
            else:
                violate("message lost", "soak #%d (%s) is neither on the server nor in logs.dbf" % (n, delivered[n]["kind"]))
        elif len(rows) > 1:
            twice += len(rows) - 1
            stamps = collections.Counter((r["CDATE"], r["CTIME"]) for r in rows)
            stamp, count = stamps.most_common(1)[0]
            if count > 1 and started_near(stamp):
                # A run killed in the second it stored the message, and the
                # next one started in that second: the stamp cannot tell them apart.
                same_second += 1
            elif count > 1:
                violate("message stored twice by one run", "soak #%d: %d rows with one intake stamp" % (n, count))
        if rows and on_server[n]:
            pending_twice += 1
    separate["messages taken in twice (died between storing and QUIT)"] = twice
    separate["    of those, by two runs within one second (same intake stamp)"] = same_second
    separate["messages stored and still on the server (will come in twice)"] = pending_twice
    if on_server and max(on_server.values()) > 1:
        violate("message twice on the server", str([n for n, c in on_server.items() if c > 1][:10]))

    # --- work requests
    contact_keys = {num(c["KEY"]) for c in contacts[1:] if not c["_deleted"]}
    wr_by_key = {num(w["KEY"]): w for w in wrequests[1:] if not w["_deleted"]}
    gateway_wr = [w for w in wrequests[1:] if w["WRNUM"].strip().startswith(("@O", "SOAKREF"))]
    row_wr = collections.Counter()
    for rows in originals.values():
        for r in rows:
            k = num(r["WRKEY"])
            if k:
                row_wr[k] += 1
                if k not in wr_by_key:
                    violate("row points at a missing work request", "logs.dbf record %d, work request %d" % (r["_recno"], k))
    for k, c in row_wr.items():
        if c > 1:
            violate("two rows share one work request", "work request %d in %d rows" % (k, c))
    unrecorded = 0
    for w in gateway_wr:
        if num(w["REQUESTOR"]) not in contact_keys:
            violate("gateway work request without a contact",
                    "work request %d (%s) requestor %d" % (num(w["KEY"]), w["WRNUM"].strip(), num(w["REQUESTOR"])))
        if num(w["KEY"]) not in row_wr:
            unrecorded += 1
    separate["gateway work requests with no row (died between creating it and storing the row)"] = unrecorded

    # --- rows in step with the maintenance database after the final runs
    orders_of = collections.defaultdict(list)
    for o in worders[1:]:
        if not o["_deleted"] and o["CLASS"].strip() == "C" and num(o["LINKKEY"]) != 0:
            orders_of[num(o["LINKKEY"])].append(o)
    out_of_step = 0
    for rows in originals.values():
        for r in rows:
            st, k = num(r["STATUS"]), num(r["WRKEY"])
            if st not in (2, 3, 4, 5) or k == 0 or k not in wr_by_key:
                continue
            letter = (wr_by_key[k]["STATUS"] or " ")[:1]
            if letter == " ":
                want = 2
            elif letter == "V":
                want = 5
            elif letter == "T":
                os_ = orders_of.get(k, [])
                typ = os_[0]["TYPE"].strip() if os_ else ""
                want = {"O": 3, "C": 4, "V": 5}.get(typ, 0)
            else:
                want = 0
            if want != st:
                out_of_step += 1
                if out_of_step <= 10:
                    violate("row out of step with its work request",
                            "logs.dbf record %d: status %d, work request %d says %d" % (r["_recno"], st, k, want))
    if out_of_step > 10:
        violate("row out of step with its work request", "... %d rows in all" % out_of_step)

    # --- notices
    notices = []
    for f in sorted(glob.glob(os.path.join(soak.spool, "*.eml"))):
        text = notice_text(f)
        env = read_text(f[:-4] + ".env") if os.path.exists(f[:-4] + ".env") else ""
        notices.append((os.path.basename(f), text, env))
    sent, removed, queued = collections.Counter(), collections.Counter(), collections.Counter()
    for n, rows in acks.items():
        for r in rows:
            sig = (n, r["HISTORY"] or "", r["DETAILS"] or "")
            (removed if r["_deleted"] else queued)[sig] += 1
    for name, text, env in notices:
        m = SUBJECT_RE.search(text)
        if not m:
            violate("notice for no delivered message", name)
            continue
        n = int(m.group(1))
        body = text.split("\n\n", 1)[1] if "\n\n" in text else text
        best = None
        for r in acks.get(n, []):
            h, d = (r["HISTORY"] or "").replace("\r\n", "\n"), (r["DETAILS"] or "").replace("\r\n", "\n")
            # An enquiry answer (FLAGS bit 2) mails its DETAILS, not its history.
            answer = num(r.get("FLAGS")) & 2
            if (h in body or answer) and d in body and (best is None or len(h) + len(d) > best[0]):
                best = (len(h) + len(d), (n, r["HISTORY"] or "", r["DETAILS"] or ""))
        if best is None:
            violate("notice that matches no row change", "%s (soak #%d)" % (name, n))
            continue
        sent[best[1]] += 1
    lost = sum(max(0, removed[s] - sent[s]) for s in removed)
    resent = sum(max(0, sent[s] - removed[s]) for s in sent)
    if lost:
        examples = [s for s in removed if removed[s] > sent[s]][:5]
        violate("queued notice lost (removed but never received)",
                "%d; e.g. soak #%s" % (lost, ", #".join(str(s[0]) for s in examples)))
    separate["notices received twice (died between sending and removing the copy)"] = resent

    # --- figures
    diag_lines = []
    diag = find_table(soak.gw, "diagnostic.txt")
    if os.path.exists(diag):
        diag_lines = read_text(diag).splitlines()
    kinds = collections.Counter(d["kind"] for d in delivered.values())
    n_ack_rows = sum(len(v) for v in acks.values())
    out.append("=== soak report")
    out.append("duration of the soak: %.0f s (then %d clean runs)" % (soak_seconds, 4))
    out.append("messages delivered: %d (%s)" % (len(delivered), ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
    out.append("messages still on the server: %d" % still)
    out.append("rows in logs.dbf: %d (records %d); by status: %s" % (
        sum(len(v) for v in originals.values()), len(logs) - 1,
        ", ".join("%s %d" % (STATUS_NAMES.get(s, s), c) for s, c in sorted(status_count.items()))))
    out.append("notices queued: %d (sent and removed %d, still queued %d)" % (
        n_ack_rows, sum(removed.values()), sum(queued.values())))
    unsendable = sum(1 for rows in acks.values() for r in rows if not r["_deleted"] and num(r["WRKEY"]) == 0)
    out.append("    of the still queued, copies of enquiries or rows without a work request (never sendable): %d"
               % unsendable)
    out.append("notices received by the SMTP server: %d" % len(notices))
    out.append("work requests: %d (gateway's %d, maintenance's %d); work orders: %d; contacts: %d; accounts: %d" % (
        len(wrequests) - 1, len(gateway_wr), len(wrequests) - 1 - len(gateway_wr), len(worders) - 1,
        len(contacts) - 1, len(accounts) - 1))
    out.append("gateway: SIGKILL %d, SIGTERM %d, /Run:all completed %d, resident instances %d, Do All posts %d" % (
        fig.get("kills (SIGKILL)"), fig.get("stops (SIGTERM)"), fig.get("/Run:all runs completed"),
        fig.get("resident starts"), fig.get("Do All through the console")))
    moves = sorted((k[6:], v) for k, v in fig.n.items() if k.startswith("move: "))
    out.append("maintenance moves: %d done (%s), %d refused" % (
        fig.get("maintenance moves"), ", ".join("%s %d" % kv for kv in moves), fig.get("maintenance moves refused")))
    out.append("exit codes: " + ", ".join("%s: %d" % kv for kv in sorted(fig.exit_codes.items())))
    out.append("diagnostic lines: %d" % len(diag_lines))
    common = collections.Counter(re.sub(r"\d+", "N", l.split(" : ", 1)[-1])[:150] for l in diag_lines)
    for text, c in common.most_common(8):
        out.append("    %5d  %s" % (c, text))
    for k, v in separate.items():
        out.append("%s: %d" % (k, v))
    cores = sorted(glob.glob(os.path.join(soak.coredir, "core*")))
    if cores:
        out.append("core files: " + " ".join(cores))
    for p in fig.problems:
        violate("process problem", p)
    out.append("invariant violations: %d" % len(violations))
    for what, detail in violations[:60]:
        out.append("  VIOLATION %s: %s" % (what, detail))
    if len(violations) > 60:
        out.append("  ... %d more" % (len(violations) - 60))
    return {"violations": len(violations), "text": "\n".join(out)}
