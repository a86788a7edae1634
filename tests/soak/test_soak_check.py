#!/usr/bin/python3
"""The soak's checker against made-up end states: a clean state passes, and
each kind of breach is counted. orvdb is replaced by a script that prints
prepared dumps (and fails `check` for a table named in BROKEN)."""
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402
import soak_check  # noqa: E402

FAKE_ORVDB = r'''#!/usr/bin/python3
import json, os, sys
here = os.path.dirname(os.path.abspath(__file__))
cmd, path = sys.argv[1], sys.argv[-1]
name = os.path.basename(path)
if cmd == "check":
    broken = open(os.path.join(here, "BROKEN")).read().split() if os.path.exists(os.path.join(here, "BROKEN")) else []
    print("%s: %s" % (path, "tag KEY: 1 key missing" if name in broken else "ok"))
    sys.exit(1 if name in broken else 0)
tables = json.load(open(os.path.join(here, "tables.json")))
fields, rows = tables[name]
print(json.dumps({"fields": [[f, "C", 10, 0] for f in fields]}))
for i, r in enumerate(rows):
    print(json.dumps({"recno": i + 1, "deleted": r.get("_deleted", False), "fields": [r.get(f, "") for f in fields]}))
'''

LOG_FIELDS = ["KEY", "DETAILS", "MESSAGE", "HISTORY", "STATUS", "OLDSTATUS", "WOSCHEDULE", "WRKEY", "FLAGS",
              "CDATE", "CTIME"]


def message(n):
    return "From: <a@soak.test>\r\nSubject: soak #%d new\r\nX-Soak-Id: %d\r\n\r\nbody\r\n" % (n, n)


class CheckTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        t = self.tmp.name
        self.bin = os.path.join(t, "bin")
        os.makedirs(self.bin)
        with open(os.path.join(self.bin, "orvdb"), "w") as f:
            f.write(FAKE_ORVDB)
        os.chmod(os.path.join(self.bin, "orvdb"), 0o755)
        self.s = soak.Soak.__new__(soak.Soak)
        self.s.bin, self.s.work = self.bin, t
        self.s.db = os.path.join(t, "m")
        self.s.gw = os.path.join(self.s.db, "@Orvane")
        self.s.maildir, self.s.spool = os.path.join(t, "maildir"), os.path.join(t, "spool")
        self.s.coredir = os.path.join(t, "cores")
        for d in (self.s.gw, self.s.maildir + "/new", self.s.maildir + "/cur", self.s.spool, self.s.coredir):
            os.makedirs(d)
        self.s.fig = soak.Figures()
        self.s.ledger = {1: {"kind": "new"}, 2: {"kind": "new"}}
        # The clean end state: message 1 made work request 7 and one notice
        # that was sent; message 2 is still on the server.
        history = "12/07 10:00 *Waiting\r\n"
        self.tables = {
            "logs.dbf": [LOG_FIELDS, [
                {"KEY": "56"},
                {"KEY": "53", "MESSAGE": message(1), "HISTORY": history, "STATUS": "2", "WRKEY": "7",
                 "CDATE": "20261207", "CTIME": "100000"},
                {"KEY": "54", "MESSAGE": message(1), "HISTORY": history, "STATUS": "8", "OLDSTATUS": "2",
                 "WRKEY": "7", "_deleted": True}]],
            "accounts.dbf": [["KEY", "FLAGS", "CONTACTKEY"], [{"KEY": "54", "FLAGS": "3"},
                                                             {"KEY": "53", "FLAGS": "3", "CONTACTKEY": "3"}]],
            "contacts.dbf": [["KEY", "CODE"], [{"KEY": "4"}, {"KEY": "3", "CODE": "A"}]],
            "wrequest.dbf": [["KEY", "WRNUM", "STATUS", "REQUESTOR"], [
                {"KEY": "8", "WRNUM": "2"}, {"KEY": "7", "WRNUM": "@O00001", "STATUS": " ", "REQUESTOR": "3"}]],
            "worders.dbf": [["KEY", "TYPE", "CLASS", "LINKKEY"], [{"KEY": "1"}]],
        }
        for name in self.tables:
            for d in (self.s.db, self.s.gw):
                open(os.path.join(d, name), "w").close()
        self.notice("000001", 1, "Your work-request is currently Waiting.\r\n" + history)
        self.on_server(2)

    def tearDown(self):
        self.tmp.cleanup()

    def notice(self, name, n, body):
        with open(os.path.join(self.s.spool, name + ".eml"), "w", newline="") as f:
            f.write("To: <a@soak.test>\r\nSubject: [gw] soak #%d new\r\n\r\n%s" % (n, body))

    def on_server(self, n):
        with open(os.path.join(self.s.maildir, "new", "m%d" % n), "w", newline="") as f:
            f.write(message(n))

    def run_check(self):
        with open(os.path.join(self.bin, "tables.json"), "w") as f:
            json.dump(self.tables, f)
        return soak_check.check(self.s, 1.0)

    def test_clean_state_passes(self):
        r = self.run_check()
        self.assertEqual(r["violations"], 0, r["text"])
        self.assertIn("messages still on the server: 1", r["text"])

    def test_lost_message(self):
        os.remove(os.path.join(self.s.maildir, "new", "m2"))
        r = self.run_check()
        self.assertEqual(r["violations"], 1, r["text"])
        self.assertIn("message lost", r["text"])

    def test_message_taken_in_twice_is_counted_apart(self):
        rows = self.tables["logs.dbf"][1]
        rows.append(dict(rows[1], KEY="55", WRKEY="0", STATUS="0", CTIME="100100"))
        r = self.run_check()
        self.assertEqual(r["violations"], 0, r["text"])
        self.assertIn("messages taken in twice (died between storing and QUIT): 1", r["text"])
        rows[-1]["CTIME"] = "100000"  # same run: stored twice
        self.assertIn("message stored twice by one run", self.run_check()["text"])
        # Unless a gateway started in that second: two runs, one stamp.
        self.s.gateway_starts = [("20261207", "100000")]
        r = self.run_check()
        self.assertEqual(r["violations"], 0, r["text"])
        self.assertIn("of those, by two runs within one second (same intake stamp): 1", r["text"])

    def test_removed_notice_never_received(self):
        os.remove(os.path.join(self.s.spool, "000001.eml"))
        r = self.run_check()
        self.assertIn("queued notice lost", r["text"])

    def test_notice_without_a_row_change(self):
        self.notice("000002", 2, "Your work-request is currently Completed.\r\n")
        self.assertIn("notice that matches no row change", self.run_check()["text"])

    def test_quoted_printable_notice_matches_its_row(self):
        # A history line with an accented name: the notice carries it as
        # UTF-8 in quoted-printable, the table in its own code page.
        history = "12/07 10:00 *Waiting for Ren\u00e9e\r\n"
        self.tables["logs.dbf"][1][1]["HISTORY"] = history
        self.tables["logs.dbf"][1][2]["HISTORY"] = history
        with open(os.path.join(self.s.spool, "000001.eml"), "w", newline="") as f:
            f.write("To: <a@soak.test>\r\nSubject: [gw] soak #1 new\r\nMIME-Version: 1.0\r\n"
                    "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                    "Your work-request is currently Waiting.\r\n12/07 10:00 *Waiting for Ren=C3=A9e\r\n")
        r = self.run_check()
        self.assertEqual(r["violations"], 0, r["text"])

    def test_notice_received_twice_is_counted_apart(self):
        self.notice("000002", 1, "Your work-request is currently Waiting.\r\n12/07 10:00 *Waiting\r\n")
        r = self.run_check()
        self.assertEqual(r["violations"], 0, r["text"])
        self.assertIn("notices received twice (died between sending and removing the copy): 1", r["text"])

    def test_counter_keys_contacts_and_index(self):
        self.tables["logs.dbf"][1][0]["KEY"] = "54"          # counter not above key 54
        self.tables["wrequest.dbf"][1][1]["REQUESTOR"] = "9"  # no such contact
        self.tables["contacts.dbf"][1].append({"KEY": "3"})   # key used twice
        with open(os.path.join(self.bin, "BROKEN"), "w") as f:
            f.write("worders.dbf")
        text = self.run_check()["text"]
        for what in ("counter in record 1 not above every key", "gateway work request without a contact",
                     "key used twice", "orvdb check failed"):
            self.assertIn(what, text)

    def test_row_out_of_step(self):
        self.tables["wrequest.dbf"][1][1]["STATUS"] = "V"
        self.assertIn("row out of step with its work request", self.run_check()["text"])


if __name__ == "__main__":
    unittest.main()
