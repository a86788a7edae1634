"""The request mail of the soak, and the settings file's password form.

Every message carries "X-Soak-Id: N" and "soak #N" in its subject, so the
check can find it again in logs.dbf (MESSAGE memo) and in the notices the
SMTP server received (their Subject repeats the request's subject).
"""
import base64
import email.utils
import quopri

SCRAMBLE_KEY = 0xA7


def scramble(password):
    """Setting 104: the first byte XOR 0xA7, every later byte XOR the new
    first byte, in Base64."""
    b = bytearray(password.encode("latin-1"))
    if not b:
        return ""
    b[0] ^= SCRAMBLE_KEY
    for i in range(1, len(b)):
        b[i] ^= b[0]
    return base64.b64encode(bytes(b)).decode("ascii")


# kind: (weight, builder)
def _headers(n, sender, subject_kind, extra=()):
    lines = []
    if sender is not None:
        lines.append("From: " + sender)
    lines += ["To: requests@gateway.test",
              "Subject: soak #%d %s" % (n, subject_kind),
              "Date: " + email.utils.formatdate(localtime=True),
              "Message-ID: <soak-%d@soak.test>" % n,
              "X-Soak-Id: %d" % n]
    lines += list(extra)
    return lines


def make_message(rng, n, known, repeat_senders):
    """Returns (bytes, description) for message number n."""
    kinds = [("new", 22), ("known", 22), ("repeat", 8), ("form", 12), ("form-b64", 5), ("form-qp", 5),
             ("enquiry", 4), ("bad-address", 4), ("bad-action", 4), ("no-from", 3), ("garbage", 4),
             ("reply-to", 4), ("latin1", 3)]
    if not repeat_senders:
        kinds = [k for k in kinds if k[0] != "repeat"]
    kind = rng.choices([k for k, _ in kinds], weights=[w for _, w in kinds])[0]
    desc = {"kind": kind}
    kp = rng.choice(known)
    known_from = '"%s" <%s>' % (kp[1], kp[2])
    new_from = '"New Sender %d" <new%d@soak.test>' % (n, n)
    body_plain = "Please look at the problem number %d.\r\nIt is in room %d.\r\n" % (n, rng.randint(1, 400))
    form = "[1] request;;[7] Form request %d;;[8] Described in the form, message %d;;" % (n, n)
    if rng.random() < 0.5:
        form += "[12] SOAKREF-%d;;" % n
    extra = []
    encoding = None
    if kind == "new":
        sender, body = new_from, body_plain
        desc.update(new_sender=True, **{"from": "new%d@soak.test" % n})
    elif kind == "known":
        sender, body = known_from, body_plain
        desc["from"] = kp[2]
    elif kind == "repeat":
        addr = rng.choice(repeat_senders)
        sender, body = "<%s>" % addr, body_plain
        desc["from"] = addr
    elif kind in ("form", "form-b64", "form-qp"):
        use_new = rng.random() < 0.3
        sender = new_from if use_new else known_from
        desc.update(new_sender=use_new, **{"from": ("new%d@soak.test" % n) if use_new else kp[2]})
        body = "Hello,\r\n" + form + "\r\nThanks\r\n"
        encoding = {"form": None, "form-b64": "base64", "form-qp": "quoted-printable"}[kind]
    elif kind == "enquiry":
        sender, body = known_from, "[1] update;;[12] @O00001;;\r\n"
        desc["from"] = kp[2]
    elif kind == "bad-address":
        sender, body = '"Broken" <bro ken\t%d@soak.test>' % n, body_plain
    elif kind == "bad-action":
        sender, body = known_from, "[1] Request;;[7] capital R %d;;\r\n" % n
    elif kind == "no-from":
        sender, body = None, body_plain
    elif kind == "garbage":
        sender = known_from
        extra = ["this line has no colon", "X-Long: " + "x" * rng.randint(100, 3000),
                 "Content-Type: multipart/mixed; boundary=\"nowhere\""]
        body = "\x00\x01 binary-ish \xff\xfe text [1] \r\n[7] no end" + ";" * rng.randint(0, 1) + "\r\n"
    elif kind == "reply-to":
        sender = '"Someone Else" <else%d@soak.test>' % n
        extra = ["Reply-To: %s" % known_from]
        body = body_plain
        desc["from"] = "else%d@soak.test" % n
        desc["new_sender"] = True
    else:  # latin1
        sender = '"Ren\xe9e M\xfcller" <renee%d@soak.test>' % n
        extra = ["Content-Type: text/plain; charset=iso-8859-1", "Content-Transfer-Encoding: 8bit"]
        body = "La chaudi\xe8re ne marche plus (%d).\r\n" % n
        desc.update(new_sender=True, **{"from": "renee%d@soak.test" % n})
    lines = _headers(n, sender, kind, extra)
    raw_body = body.encode("latin-1")
    if encoding == "base64":
        lines += ["MIME-Version: 1.0", "Content-Type: text/plain; charset=us-ascii",
                  "Content-Transfer-Encoding: base64"]
        raw_body = base64.encodebytes(raw_body).replace(b"\n", b"\r\n")
    elif encoding == "quoted-printable":
        lines += ["MIME-Version: 1.0", "Content-Type: text/plain; charset=us-ascii",
                  "Content-Transfer-Encoding: quoted-printable"]
        raw_body = quopri.encodestring(raw_body).replace(b"\n", b"\r\n").replace(b"Form request", b"Form re=\r\nquest")
    head = "\r\n".join(lines).encode("latin-1")
    return head + b"\r\n\r\n" + raw_body, desc
