#!/usr/bin/python3
"""Compares readMime (through the mime_dump program) with Python's email
package over the MIME corpus, where Python's answer is well defined:

  subject         str(msg['subject'])
  From, Reply-To  the first address's display_name and addr_spec
  To              every address (groups flattened)
  body text       msg.get_body(preferencelist=('plain', 'html')).get_content(),
                  line ends made LF, trailing white space dropped
  HTML bodies     ours is laid out as text (deliberately different): its
                  words must be the words of Python's decoded HTML with
                  tags, script and style taken out, in the same order
  attachments     names from Python's iter_attachments() where it finds
                  the same parts

Every deliberate difference is listed in DIFFERENCES with its reason; a
listed difference that no longer differs fails too, so the list stays true.

usage: mime_corpus_check.py MIME_DUMP MESSAGE_FILE CORPUS_DIR
"""
import email
import glob
import html.parser
import json
import os
import re
import subprocess
import sys
from email import policy

# (message, what) -> why ours differs from Python's.
DIFFERENCES = {
    ("latin1_label_windows_quotes", "text"): "ISO-8859-1 is read as Windows-1252, as browsers do (Python: C1 controls)",
    ("outlook_alternative_1252", "subject"): "an ISO-8859-1 encoded word holding 0x96 is read as Windows-1252",
    ("outlook_related_inline_image", "subject"): "an ISO-8859-1 encoded word holding 0x96 is read as Windows-1252",
    ("outlook_mixed_pdf", "subject"): "an ISO-8859-1 encoded word holding 0x96 is read as Windows-1252",
    ("apple_mixed_split_text", "text"): "inline text parts beside the body in one multipart/mixed are joined to it",
    ("iphone_photo", "text"): "inline text parts beside the body in one multipart/mixed are joined to it",
    ("control_chars_in_text", "text"): "control characters other than tab and line ends are removed",
    ("control_chars_in_text", "subject"): "control characters are removed, a tab becomes a space",
    ("thunderbird_forward_only", "text"): "no text of its own: the forwarded message's text is the body",
    ("wrong_boundary", "text"): "a multipart without parts shows its raw text rather than nothing",
    ("missing_boundary_parameter", "text"): "a multipart without parts shows its raw text rather than nothing",
    ("nesting_200_levels", "text"): "nesting beyond 64 levels is not read",
    ("utf8_8bit_no_charset", "text"): "no charset but UTF-8 bytes: read as UTF-8 (Python: US-ASCII, replaced)",
    ("garbage", "text"): "bytes with no header block and no empty line give no body (as MailMessage reads them)",
    ("comment_after_address", "from"): "the comment after a bare address is taken as the display name",
    ("encoded_words_mixed_charsets", "from"): "blanks between adjacent encoded words are dropped (RFC 2047)",
    ("apple_signed_smime", "attachments"): "a signature is not listed",
    ("thunderbird_pgp_signed", "attachments"): "a signature is not listed",
    ("outlook_related_inline_image", "attachments"): "the pictures of an HTML body are not listed",
    ("related_html_only", "attachments"): "the pictures of an HTML body are not listed",
}


class Words(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.words, self.skip = [], 0

    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style", "head", "title"):
            self.skip += 1

    def handle_endtag(self, tag):
        if tag in ("script", "style", "head", "title") and self.skip:
            self.skip -= 1

    def handle_data(self, data):
        if not self.skip:
            self.words.extend(data.replace("\xa0", " ").split())


def undefined(value):
    """Python's answer holds undecodable bytes (surrogate escapes of raw
    8-bit headers, or U+FFFD): it has no defined text there."""
    text = json.dumps(value, ensure_ascii=False) if not isinstance(value, str) else value
    return any(0xDC80 <= ord(c) <= 0xDCFF or c == "\ufffd" for c in text)


def html_words(text):
    parser = Words()
    parser.feed(text)
    parser.close()
    # Words split by tags ("<b>w</b>orld") join in the layout; compare the
    # letters in order rather than the word breaks.
    return "".join(parser.words)


def python_view(path):
    with open(path, "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=policy.default)
    view = {}
    view["subject"] = str(msg["subject"] or "")
    for key, header in (("from", "from"), ("replyTo", "reply-to")):
        try:
            addresses = msg[header].addresses if msg[header] is not None else ()
        except Exception:
            addresses = None
        if addresses is None:
            view[key] = "undefined"
        else:
            view[key] = {"name": addresses[0].display_name, "address": addresses[0].addr_spec} if addresses else None
    try:
        view["to"] = [{"name": a.display_name, "address": a.addr_spec} for a in msg["to"].addresses] if msg["to"] else []
    except Exception:
        view["to"] = "undefined"
    body = msg.get_body(preferencelist=("plain", "html"))
    if body is None:
        view["text"], view["bodyType"] = "", ""
    else:
        try:
            view["text"] = body.get_content()
        except Exception:
            view["text"] = "undefined"
        view["bodyType"] = body.get_content_type()
    view["attachments"] = [a.get_filename() for a in msg.iter_attachments() if a.get_filename()]
    return view


def normalized(text):
    return "\n".join(line.rstrip() for line in text.replace("\r\n", "\n").replace("\r", "\n").split("\n")).strip()


def main():
    dump, messages, corpus = sys.argv[1:4]
    paths = sorted(glob.glob(os.path.join(corpus, "*.eml")))
    out = subprocess.run([dump, "--messages", messages] + paths, check=True, capture_output=True).stdout
    ours = [json.loads(line) for line in out.decode("utf-8").splitlines()]
    failures, seen, compared = [], set(), 0
    for path, mine in zip(paths, ours):
        name = os.path.basename(path)[:-4]
        theirs = python_view(path)

        def check(what, a, b):
            nonlocal compared
            if b == "undefined" or undefined(b) and (name, what) not in DIFFERENCES:
                return  # Python gives no answer here
            compared += 1
            differs = a != b
            if (name, what) in DIFFERENCES:
                seen.add((name, what))
                if not differs:
                    failures.append(f"{name}: {what} is listed as different but is the same: {a!r}")
            elif differs:
                failures.append(f"{name}: {what}: ours {a!r}, Python {b!r}")

        check("subject", mine["subject"], theirs["subject"])
        for key in ("from", "replyTo"):
            theirs_box = theirs[key]
            if theirs_box not in (None, "undefined") and not theirs_box["address"]:
                theirs_box = None  # Python keeps a mailbox without an address
            check(key, mine[key], theirs_box)
        if theirs["to"] != "undefined":
            check("to", mine["to"], [t for t in theirs["to"] if t["address"]])
        text = mine["text"]
        if mine["attachments"]:
            lines = text.rstrip("\r\n").split("\r\n")
            text = "\r\n".join(lines[: len(lines) - len(mine["attachments"])])
        if theirs["text"] != "undefined":
            if theirs["bodyType"] == "text/html" and mine["bodyType"] == "text/html":
                # Our layout adds "- " before list items; the words are the same.
                items = re.sub(r"(?m)^ *- ", "", normalized(text))
                check("text", "".join(items.split()), html_words(theirs["text"]))
            else:
                check("text", normalized(text), normalized(theirs["text"]))
        named = [a["name"] for a in mine["attachments"]]
        missing = [n for n in theirs["attachments"] if n not in named]
        check("attachments", missing, [])
    for key in DIFFERENCES:
        if key not in seen:
            failures.append(f"{key[0]}: {key[1]} is listed as different but was not compared")
    for f in failures:
        print("FAIL", f)
    print(f"{compared - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
