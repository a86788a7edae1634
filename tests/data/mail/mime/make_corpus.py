#!/usr/bin/python3
"""Writes the MIME corpus: NAME.eml (the message, CRLF line ends unless the
name says otherwise), NAME.txt (the request text a person should get: body
text, then one line per attachment) and NAME.expected (subject, names and
addresses, attachments: "what = value" lines).

The messages copy the shapes that Outlook/Exchange, Gmail, Apple Mail,
Thunderbird and phone mail programs send; the expectations are written by
hand here, not taken from the reader under test. Run it from anywhere:
    python3 tests/data/mail/mime/make_corpus.py
"""
import base64
import os
import quopri

HERE = os.path.dirname(os.path.abspath(__file__))
written = []


def b64(data):
    text = base64.b64encode(data).decode()
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + "\n"


def qp(data):
    return quopri.encodestring(data).decode("ascii") + ("" if data.endswith(b"\n") else "\n")


class Part:
    def __init__(self, headers, body):
        self.headers = headers  # list of "Name: value" strings
        self.body = body        # bytes, \n line ends

    def render(self):
        head = "".join(h + "\n" for h in self.headers).encode("latin-1") if self.headers else b""
        return head + b"\n" + self.body


def text(subtype, content, charset="utf-8", cte="quoted-printable", extra="", disposition=None, raw=None):
    data = raw if raw is not None else content.encode(charset)
    headers = [f'Content-Type: text/{subtype}; charset="{charset}"{extra}']
    if cte:
        headers.append(f"Content-Transfer-Encoding: {cte}")
    if disposition:
        headers.append(f"Content-Disposition: {disposition}")
    if cte == "quoted-printable":
        body = qp(data).encode()
    elif cte == "base64":
        body = b64(data).encode()
    else:
        body = data if data.endswith(b"\n") else data + b"\n"
    return Part(headers, body)


def binary(ctype, name, data, disposition="attachment", cid=None, name_param=True):
    headers = [f'Content-Type: {ctype}' + (f'; name="{name}"' if name and name_param else "")]
    if disposition:
        headers.append(f'Content-Disposition: {disposition}' + (f'; filename="{name}"' if name else ""))
    if cid:
        headers.append(f"Content-ID: <{cid}>")
    headers.append("Content-Transfer-Encoding: base64")
    return Part(headers, b64(data).encode())


def multipart(subtype, parts, boundary, extra="", preamble="", epilogue=""):
    body = preamble.encode()
    for p in parts:
        body += b"--" + boundary.encode() + b"\n" + p.render()
        if not body.endswith(b"\n"):
            body += b"\n"
    body += b"--" + boundary.encode() + b"--\n" + epilogue.encode()
    return Part([f'Content-Type: multipart/{subtype}; boundary="{boundary}"{extra}'], body)


def rfc822(message_bytes, disposition=None):
    headers = ["Content-Type: message/rfc822"]
    if disposition:
        headers.append(f"Content-Disposition: {disposition}")
    return Part(headers, message_bytes)


def message(headers, part, mime=True):
    head = "".join(h + "\n" for h in headers)
    if mime:
        head += "MIME-Version: 1.0\n"
    data = head.encode("latin-1") if isinstance(head, str) else head
    return data + part.render()


def ew(value, charset, encoding="B"):
    """value as one RFC 2047 encoded word."""
    data = value.encode(charset)
    if encoding == "B":
        return f"=?{charset}?B?{base64.b64encode(data).decode()}?="
    return f"=?{charset}?Q?" + "".join(chr(b) if chr(b).isalnum() else ("_" if b == 32 else f"={b:02X}") for b in data) + "?="


def size_text(n):
    if n < 1024:
        return f"{n} bytes"
    if n < 1024 * 1024:
        return f"{(n + 1023) // 1024} KB"
    return f"{n / 1048576:.1f} MB"


def write(name, data, body, subject="", sender=None, reply_to=None, to=(), attachments=(), crlf=True,
          note=""):
    """sender/reply_to: (display name, address) or None; attachments:
    (name, decoded size) in order."""
    if crlf:
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    with open(os.path.join(HERE, name + ".eml"), "wb") as f:
        f.write(data)
    lines = body.strip("\n").split("\n") if body.strip() else []
    listed = [f"Attachment: {n} ({size_text(s)})" for n, s in attachments]
    if listed:
        lines = lines + ([""] if lines else []) + listed
    with open(os.path.join(HERE, name + ".txt"), "wb") as f:
        f.write(("\r\n".join(lines) + ("\r\n" if lines else "")).encode("utf-8"))
    exp = []
    if note:
        exp.append("# " + note)
    exp.append("subject = " + subject)
    exp.append("from-name = " + (sender[0] if sender else ""))
    exp.append("from-address = " + (sender[1] if sender else ""))
    if reply_to:
        exp.append("reply-to-name = " + reply_to[0])
        exp.append("reply-to-address = " + reply_to[1])
    for n, a in to:
        exp.append(f"to = {n} <{a}>")
    for n, s in attachments:
        exp.append(f"attachment = {n} | {s}")
    with open(os.path.join(HERE, name + ".expected"), "w", encoding="utf-8") as f:
        f.write("\n".join(exp) + "\n")
    written.append(name)


PDF = b"%PDF-1.4\n" + bytes(range(256)) * 20 + b"\n%%EOF\n"        # 5,136 + 15 bytes
PNG = b"\x89PNG\r\n\x1a\n" + bytes(range(200)) * 3                  # 608 bytes
JPG = b"\xff\xd8\xff\xe0" + bytes((i * 7) % 256 for i in range(30000)) + b"\xff\xd9"
DOCX = b"PK\x03\x04" + bytes((i * 13) % 256 for i in range(2000))
P7S = b"0\x82\x05\x00" + bytes(60)
TNEF = b"\x78\x9f\x3e\x22" + bytes(300)

# ---------------------------------------------------------------- Outlook

OUTLOOK_HEAD = ["From: =?iso-8859-1?Q?Ren=E9e_Dubois?= <renee.dubois@contoso.example>",
                "To: Facilities Desk <facilities@tarnwick-demo.example>",
                "Subject: Radiator in room 214 =?iso-8859-1?Q?=96_no_heat?=",
                "Thread-Topic: Radiator in room 214 - no heat",
                "Date: Mon, 7 Dec 2026 08:14:03 +0000",
                "Message-ID: <DB9PR01MB1234@DB9PR01MB1234.eurprd01.prod.exchangelabs.com>",
                "Accept-Language: en-GB, fr-FR",
                "X-MS-Has-Attach:",
                "X-MS-TNEF-Correlator:"]
outlook_plain = ("Hello,\n\nThe radiator in room 214 is cold again \u2013 it\u2019s the third time this month.\n"
                 "Could someone have a look \u201ctoday\u201d?\n\nRen\u00e9e\n")
outlook_html = ("<html xmlns:o=\"urn:schemas-microsoft-com:office:office\"><head>\n"
                "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
                "<style><!-- p.MsoNormal {margin:0cm; font-size:11.0pt;} --></style></head>\n"
                "<body lang=\"EN-GB\" link=\"#0563C1\"><div class=\"WordSection1\">\n"
                "<p class=\"MsoNormal\">Hello,<o:p></o:p></p>\n<p class=\"MsoNormal\"><o:p>&nbsp;</o:p></p>\n"
                "<p class=\"MsoNormal\">The radiator in room 214 is cold again \u2013 it\u2019s the third time this month.<o:p></o:p></p>\n"
                "<p class=\"MsoNormal\">Could someone have a look \u201ctoday\u201d?<o:p></o:p></p>\n"
                "<p class=\"MsoNormal\"><o:p>&nbsp;</o:p></p>\n<p class=\"MsoNormal\">Ren\u00e9e<o:p></o:p></p>\n"
                "</div></body></html>\n")
OUTLOOK_EXPECT = dict(subject="Radiator in room 214 \u2013 no heat", sender=("Ren\u00e9e Dubois", "renee.dubois@contoso.example"),
                      to=[("Facilities Desk", "facilities@tarnwick-demo.example")])

write("outlook_alternative_1252",
      message(OUTLOOK_HEAD, multipart("alternative", [text("plain", outlook_plain, "windows-1252"),
                                                      text("html", outlook_html, "windows-1252")],
                                      "_000_DB9PR01MB1234_")),
      outlook_plain, **OUTLOOK_EXPECT)

write("outlook_related_inline_image",
      message(OUTLOOK_HEAD, multipart("related", [
          multipart("alternative", [text("plain", outlook_plain + "\n[cid:image001.png@01DA2B]\n", "windows-1252"),
                                    text("html", outlook_html.replace("</div>", "<img src=\"cid:image001.png@01DA2B\"></div>"),
                                         "windows-1252")], "_000_alt_"),
          binary("image/png", "image001.png", PNG, "inline", cid="image001.png@01DA2B")],
          "_004_rel_", '; type="multipart/alternative"')),
      outlook_plain + "\n[cid:image001.png@01DA2B]\n", **OUTLOOK_EXPECT,
      note="the inline picture belongs to the HTML body and is not listed")

write("outlook_mixed_pdf",
      message(OUTLOOK_HEAD, multipart("mixed", [
          multipart("alternative", [text("plain", outlook_plain, "windows-1252"),
                                    text("html", outlook_html, "windows-1252")], "_000_alt_"),
          binary("application/pdf", "Quote 2026-117.pdf", PDF)], "_005_mixed_")),
      outlook_plain, attachments=[("Quote 2026-117.pdf", len(PDF))], **OUTLOOK_EXPECT)

write("outlook_html_only",
      message(["From: Facilities Bot <noreply@contoso.example>", "To: desk@tarnwick-demo.example",
               "Subject: Weekly checklist", "Date: Mon, 7 Dec 2026 06:00:00 +0000"],
              text("html", "<html><head><title>Checklist</title><style>td{padding:2px}</style></head><body>"
                   "<p class=MsoNormal>Checklist for week&nbsp;50:</p>"
                   "<table border=1><tr><th>Item</th><th>State</th></tr>"
                   "<tr><td>Boiler</td><td>OK</td></tr><tr><td>Lift&nbsp;2</td><td>Noisy &amp; slow</td></tr></table>"
                   "<p>Regards,<br>Facilities&nbsp;&nbsp;Bot</p></body></html>", "us-ascii", cte="7bit")),
      "Checklist for week 50:\n\nItem State\nBoiler OK\nLift 2 Noisy & slow\n\nRegards,\nFacilities  Bot",
      subject="Weekly checklist", sender=("Facilities Bot", "noreply@contoso.example"),
      to=[("", "desk@tarnwick-demo.example")], note="HTML only: table cells apart by a space, nbsp kept")

reply_plain = ("Yes, it is still leaking.\n\n-----Original Message-----\nFrom: Facilities Desk <facilities@tarnwick-demo.example>\n"
               "Sent: Friday, December 4, 2026 4:12 PM\nTo: Ren\u00e9e Dubois <renee.dubois@contoso.example>\n"
               "Subject: RE: Leak under sink\n\nIs the sink still leaking?\n")
write("outlook_reply_quoted",
      message(["From: =?utf-8?B?UmVuw6llIER1Ym9pcw==?= <renee.dubois@contoso.example>",
               "To: Facilities Desk <facilities@tarnwick-demo.example>", "Subject: RE: Leak under sink",
               "In-Reply-To: <abc@tarnwick-demo.example>"],
              multipart("alternative", [text("plain", reply_plain, "utf-8", cte="base64"),
                                        text("html", "<p>Yes, it is still leaking.</p><hr><p>Is the sink still leaking?</p>",
                                             "utf-8", cte="base64")], "_000_reply_")),
      reply_plain, subject="RE: Leak under sink", sender=("Ren\u00e9e Dubois", "renee.dubois@contoso.example"),
      to=[("Facilities Desk", "facilities@tarnwick-demo.example")])

write("outlook_tnef",
      message(["From: Old Outlook <old@contoso.example>", "To: desk@tarnwick-demo.example",
               "Subject: Rich text request"],
              multipart("mixed", [text("plain", "Please replace the bulb in corridor C.\n", "us-ascii", cte="7bit"),
                                  binary("application/ms-tnef", "winmail.dat", TNEF)], "----tnef")),
      "Please replace the bulb in corridor C.", subject="Rich text request", sender=("Old Outlook", "old@contoso.example"),
      to=[("", "desk@tarnwick-demo.example")], attachments=[("winmail.dat", len(TNEF))])

write("exchange_utf8_base64",
      message(["From: \"Nguy\u1ec5n, Minh\" <minh.nguyen@contoso.example>".encode("utf-8").decode("latin-1")
               .replace("Nguy\u00e1\u00bb\u0085n", "Nguy\u00e1\u00bb\u0085n"),
               "To: facilities@tarnwick-demo.example", "Subject: " + ew("Kh\u00f3a c\u1eeda b\u1ecb h\u1ecfng", "utf-8")],
              multipart("alternative", [text("plain", "Kh\u00f3a c\u1eeda b\u1ecb h\u1ecfng \u1edf ph\u00f2ng 12.\n", "utf-8", cte="base64"),
                                        text("html", "<div>Kh\u00f3a c\u1eeda b\u1ecb h\u1ecfng \u1edf ph\u00f2ng 12.</div>", "utf-8",
                                             cte="base64")], "_000_x_")),
      "Kh\u00f3a c\u1eeda b\u1ecb h\u1ecfng \u1edf ph\u00f2ng 12.", subject="Kh\u00f3a c\u1eeda b\u1ecb h\u1ecfng",
      sender=("Nguy\u1ec5n, Minh", "minh.nguyen@contoso.example"), to=[("", "facilities@tarnwick-demo.example")],
      note="raw UTF-8 in the quoted display name")

write("outlook_form_html_only",
      message(["From: Jane Adams <jane.adams@tarnwick-demo.example>", "To: gateway@tarnwick-demo.example",
               "Subject: Request form"],
              text("html", "<html><body><div class=WordSection1><p class=MsoNormal>[1] request;;<o:p></o:p></p>"
                   "<p class=MsoNormal>[7] Heating off in B2;;<o:p></o:p></p>"
                   "<p class=MsoNormal>[8] No heat since Monday &amp; the room is at 14&deg;C.;;<o:p></o:p></p>"
                   "<p class=MsoNormal>[14] 2;;</p></div></body></html>", "windows-1252")),
      "[1] request;;\n\n[7] Heating off in B2;;\n\n[8] No heat since Monday & the room is at 14\u00b0C.;;\n\n[14] 2;;",
      subject="Request form", sender=("Jane Adams", "jane.adams@tarnwick-demo.example"),
      to=[("", "gateway@tarnwick-demo.example")], note="a request form written in an HTML mail program")

write("outlook_mobile",
      message(["From: Sam Porter <sam.porter@outlook.example>", "To: desk@tarnwick-demo.example",
               "Subject: Gate stuck open"],
              multipart("alternative", [
                  text("plain", "The car park gate is stuck open.\n\nGet Outlook for Android<https://aka.ms/AAb9ysg>\n", "utf-8"),
                  text("html", "<html><head><meta charset=\"utf-8\"></head><body><div dir=\"auto\">The car park gate is stuck open.</div>"
                       "<div dir=\"auto\"><br></div><div>Get <a href=\"https://aka.ms/AAb9ysg\">Outlook for Android</a></div></body></html>",
                       "utf-8")], "_000_mobile_")),
      "The car park gate is stuck open.\n\nGet Outlook for Android<https://aka.ms/AAb9ysg>",
      subject="Gate stuck open", sender=("Sam Porter", "sam.porter@outlook.example"), to=[("", "desk@tarnwick-demo.example")])

# ------------------------------------------------------------------ Gmail

GMAIL_HEAD = ["MIME-Version: 1.0", "Date: Tue, 8 Dec 2026 09:01:44 +0100",
              "Message-ID: <CAF=abc123@mail.gmail.com>", "From: =?UTF-8?Q?J=C3=B6rg_M=C3=BCller?= <jorg.muller@gmail.example>",
              "To: Facilities <facilities@tarnwick-demo.example>"]
gmail_plain = "Hi,\n\nthe window in the stairwell (3rd floor) won\u2019t close.\n\nThanks,\nJ\u00f6rg\n"
gmail_html = ("<div dir=\"ltr\">Hi,<div><br></div><div>the window in the stairwell (3rd floor) won\u2019t close.</div>"
              "<div><br></div><div>Thanks,</div><div>J\u00f6rg</div></div>\n")
GMAIL_EXPECT = dict(sender=("J\u00f6rg M\u00fcller", "jorg.muller@gmail.example"),
                    to=[("Facilities", "facilities@tarnwick-demo.example")])


def gmail(subject, part):
    return message(GMAIL_HEAD + ["Subject: " + subject], part, mime=False)


write("gmail_alternative_utf8",
      gmail("Stairwell window", multipart("alternative", [text("plain", gmail_plain, "UTF-8", extra=""),
                                                          text("html", gmail_html, "UTF-8")], "000000000000a1b2c3")),
      gmail_plain, subject="Stairwell window", **GMAIL_EXPECT)

write("gmail_html_to_text",
      gmail("Stairwell window (HTML)", multipart("alternative", [text("html", gmail_html, "UTF-8")], "000000000000d4")),
      "Hi,\n\nthe window in the stairwell (3rd floor) won\u2019t close.\n\nThanks,\nJ\u00f6rg",
      subject="Stairwell window (HTML)", **GMAIL_EXPECT, note="an alternative with only the HTML part")

write("gmail_attachment_jpg",
      gmail("Photo of the leak", multipart("mixed", [
          multipart("alternative", [text("plain", "See the photo.\n", "UTF-8"),
                                    text("html", "<div dir=\"ltr\">See the photo.</div>", "UTF-8")], "000000000000alt1"),
          binary("image/jpeg", "IMG_20261208_085512.jpg", JPG, "attachment")], "000000000000mix1")),
      "See the photo.", subject="Photo of the leak", attachments=[("IMG_20261208_085512.jpg", len(JPG))], **GMAIL_EXPECT)

write("gmail_inline_image",
      gmail("Crack in the wall", multipart("alternative", [
          text("plain", "Here:\n[image: crack.jpg]\nIt gets wider.\n", "UTF-8"),
          multipart("related", [text("html", "<div dir=\"ltr\">Here:<div><img src=\"cid:ii_l1\" alt=\"crack.jpg\"><br>"
                                     "</div><div>It gets wider.</div></div>", "UTF-8"),
                                binary("image/jpeg", "crack.jpg", JPG, "inline", cid="ii_l1")], "000000000000rel2")],
          "000000000000alt2")),
      "Here:\n[image: crack.jpg]\nIt gets wider.", subject="Crack in the wall", **GMAIL_EXPECT)

fwd = ("FYI\n\n---------- Forwarded message ---------\nFrom: Tenant <tenant@example.net>\n"
       "Date: Mon, Dec 7, 2026 at 6:02 PM\nSubject: Noise\nTo: <jorg.muller@gmail.example>\n\n\nThe fan on the roof is very loud at night.\n")
write("gmail_forward_inline",
      gmail("Fwd: Noise", multipart("alternative", [text("plain", fwd, "UTF-8"),
                                                    text("html", "<div dir=\"ltr\">FYI<br><br><div class=\"gmail_quote\">"
                                                         "---------- Forwarded message ---------</div></div>", "UTF-8")],
                                    "000000000000fw")),
      fwd, subject="Fwd: Noise", **GMAIL_EXPECT)

quoted = ("Still broken.\n\nOn Mon, Dec 7, 2026 at 10:00 AM Facilities <facilities@tarnwick-demo.example> wrote:\n\n"
          "> Your work-request -- Number @O01001 -- is currently \"Waiting.\"\n>\n> Regards\n")
write("gmail_reply_quoted",
      gmail("Re: @Or: Stairwell window", multipart("alternative", [
          text("plain", quoted, "UTF-8"),
          text("html", "<div dir=\"ltr\">Still broken.</div><br><div class=\"gmail_quote\"><blockquote>Your work-request"
               "</blockquote></div>", "UTF-8")], "000000000000re")),
      quoted, subject="Re: @Or: Stairwell window", **GMAIL_EXPECT)

write("gmail_encoded_subject_split",
      gmail("=?UTF-8?B?VGjDqMyAbWU6IHLDqXBhcmF0aW9uIGR1IGNoYXVmZmUtZWF1IGRl?=\n =?UTF-8?B?IGxhIGN1aXNpbmUg4oCUIHVyZ2VudA==?=",
            text("plain", "Le chauffe-eau fuit.\n", "UTF-8")),
      "Le chauffe-eau fuit.", subject="Th\u00e8\u0300me: r\u00e9paration du chauffe-eau de la cuisine \u2014 urgent",
      **GMAIL_EXPECT, note="a Subject folded over two encoded words; the blank between them is not text")

# ---------------------------------------------------------------- Apple Mail

APPLE_HEAD = ["From: Chlo\u00e9 Martin <chloe.martin@icloud.example>".encode("utf-8").decode("latin-1"),
              "Content-Transfer-Encoding: 7bit", "Mime-Version: 1.0 (Mac OS X Mail 16.0 \\(3774.300.61.1.2\\))",
              "Date: Tue, 8 Dec 2026 10:22:01 +0100", "Message-Id: <A1B2C3D4-1111@icloud.example>",
              "To: desk@tarnwick-demo.example", "X-Mailer: Apple Mail (2.3774.300.61.1.2)"]
APPLE_EXPECT = dict(sender=("Chlo\u00e9 Martin", "chloe.martin@icloud.example"), to=[("", "desk@tarnwick-demo.example")])

flowed = "The door of the bike shed does not lock any more. The key turns but the \nbolt stays where it is.\n\nChlo\u00e9\n"
write("apple_plain_flowed",
      message([h for h in APPLE_HEAD if not h.startswith("Content-Transfer")] + ["Subject: Bike shed door"],
              text("plain", flowed, "utf-8", extra="; format=flowed; delsp=no", cte="quoted-printable"), mime=False),
      flowed, subject="Bike shed door", **APPLE_EXPECT,
      note="format=flowed is kept as sent (the soft line break stays a line break)")

write("apple_alternative_qp",
      message(APPLE_HEAD + ["Subject: =?utf-8?Q?Fen=C3=AAtre_cass=C3=A9e?=", "Content-Type: multipart/alternative;",
                            "\tboundary=\"Apple-Mail=_5E7F2A11-AAAA\""],
              Part([], ("\n--Apple-Mail=_5E7F2A11-AAAA\nContent-Transfer-Encoding: quoted-printable\nContent-Type: text/plain;\n"
                        "\tcharset=utf-8\n\nLa fen=C3=AAtre de la salle 3 est cass=C3=A9e.\n\n"
                        "--Apple-Mail=_5E7F2A11-AAAA\nContent-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n"
                        "\tcharset=utf-8\n\n<html><head><meta http-equiv=3D\"content-type\" content=3D\"text/html; charset=3Dutf-8\">"
                        "</head><body style=3D\"overflow-wrap: break-word;\">La fen=C3=AAtre de la salle 3 est cass=C3=A9e.</body></html>\n"
                        "--Apple-Mail=_5E7F2A11-AAAA--\n").encode()), mime=False),
      "La fen\u00eatre de la salle 3 est cass\u00e9e.", subject="Fen\u00eatre cass\u00e9e", **APPLE_EXPECT)

apple_split = multipart("mixed", [
    text("plain", "The tiles in the entrance:\n", "us-ascii", cte="7bit"),
    binary("image/jpeg", "IMG_4410.jpeg", JPG, "inline"),
    text("plain", "\nThey are loose near the door.\n\nChlo\u00e9\n", "utf-8")], "Apple-Mail=_split")
write("apple_mixed_split_text",
      message([h for h in APPLE_HEAD if not h.startswith("Content-Transfer")] + ["Subject: Loose tiles"], apple_split,
              mime=False),
      "The tiles in the entrance:\n\nThey are loose near the door.\n\nChlo\u00e9", subject="Loose tiles",
      attachments=[("IMG_4410.jpeg", len(JPG))], **APPLE_EXPECT,
      note="Apple Mail splits the text around a picture: the later text part is added after a blank line")

write("apple_attachment_rfc2231",
      message([h for h in APPLE_HEAD if not h.startswith("Content-Transfer")] + ["Subject: Plan"],
              multipart("mixed", [text("plain", "The floor plan is attached.\n", "us-ascii", cte="7bit"),
                                  Part(["Content-Disposition: attachment;", "\tfilename*=utf-8''Grundri%C3%9F%20EG.pdf",
                                        "Content-Type: application/pdf;", "\tx-unix-mode=0644;",
                                        "\tname=\"=?utf-8?Q?Grundri=C3=9F_EG=2Epdf?=\"", "Content-Transfer-Encoding: base64"],
                                       b64(PDF).encode())], "Apple-Mail=_2231"), mime=False),
      "The floor plan is attached.", subject="Plan", attachments=[("Grundri\u00df EG.pdf", len(PDF))], **APPLE_EXPECT,
      note="a file name in RFC 2231 form")

signed_inner = multipart("alternative", [text("plain", "Signed request: replace the smoke detector in room 5.\n", "us-ascii",
                                              cte="7bit"),
                                         text("html", "<p>Signed request: replace the smoke detector in room 5.</p>", "us-ascii",
                                              cte="7bit")], "Apple-Mail=_inner")
write("apple_signed_smime",
      message([h for h in APPLE_HEAD if not h.startswith("Content-Transfer")] + ["Subject: Smoke detector"],
              multipart("signed", [signed_inner, binary("application/pkcs7-signature", "smime.p7s", P7S)], "Apple-Mail=_signed",
                        '; protocol="application/pkcs7-signature"; micalg=sha-256'), mime=False),
      "Signed request: replace the smoke detector in room 5.", subject="Smoke detector", **APPLE_EXPECT,
      note="the S/MIME signature is not listed as an attachment")

# ------------------------------------------------------------- Thunderbird

TB_HEAD = ["Message-ID: <5f1c2a3b-tb@posteo.example>", "Date: Tue, 8 Dec 2026 11:00:00 +0100",
           "User-Agent: Mozilla Thunderbird", "Content-Language: de-DE",
           "From: Max Mustermann <max@posteo.example>", "To: desk@tarnwick-demo.example"]
TB_EXPECT = dict(sender=("Max Mustermann", "max@posteo.example"), to=[("", "desk@tarnwick-demo.example")])

tb_flowed = "Die T\u00fcr zum Keller klemmt.\nBitte \u00fcberpr\u00fcfen.\n\n-- \nMax\n"
write("thunderbird_plain_flowed_utf8",
      message(TB_HEAD + ["Subject: =?UTF-8?Q?T=C3=BCr_klemmt?="],
              text("plain", tb_flowed, "UTF-8", extra="; format=flowed", cte="8bit")),
      tb_flowed, subject="T\u00fcr klemmt", **TB_EXPECT)

write("thunderbird_html_only",
      message(TB_HEAD + ["Subject: Lampe defekt"],
              text("html", "<!DOCTYPE html>\n<html>\n  <head>\n    <meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\">\n"
                   "  </head>\n  <body>\n    <p>Die Lampe im Flur ist <b>defekt</b>.</p>\n    <ol>\n      <li>Etage 1</li>\n"
                   "      <li>Etage 2</li>\n    </ol>\n    <pre class=\"moz-signature\" cols=\"72\">-- \nMax  Mustermann</pre>\n"
                   "  </body>\n</html>\n", "UTF-8", cte="7bit")),
      "Die Lampe im Flur ist defekt.\n\n- Etage 1\n- Etage 2\n\n--\nMax  Mustermann", subject="Lampe defekt", **TB_EXPECT,
      note="an ordered list is shown with dashes; <pre> keeps its blanks")

forwarded = message(["From: Tenant <tenant@example.net>", "To: max@posteo.example", "Subject: Water in the basement",
                     "Date: Mon, 7 Dec 2026 20:00:00 +0100"],
                    text("plain", "There is water on the basement floor.\n", "us-ascii", cte="7bit"))
write("thunderbird_forward_attached",
      message(TB_HEAD + ["Subject: Fwd: Water in the basement"],
              multipart("mixed", [text("plain", "Forwarding this, please check.\n", "UTF-8", cte="7bit"),
                                  rfc822(forwarded.replace(b"\n", b"\r\n"), 'attachment; filename="Water in the basement.eml"')],
                        "------------fwd1")),
      "Forwarding this, please check.", subject="Fwd: Water in the basement",
      # its last line end is the boundary's
      attachments=[("Water in the basement.eml", len(forwarded.replace(b"\n", b"\r\n")) - 2)], **TB_EXPECT,
      note="a forwarded message attached: listed by its file name, size as it stands")

forwarded2 = message(["From: Tenant <tenant@example.net>", "To: max@posteo.example", "Subject: Broken lock"],
                     multipart("mixed", [text("plain", "The lock of flat 7 is broken.\n", "utf-8", cte="7bit"),
                                         binary("image/png", "lock.png", PNG)], "inner-b"))
write("thunderbird_forward_only",
      message(TB_HEAD + ["Subject: Fwd: Broken lock"], multipart("mixed", [rfc822(forwarded2.replace(b"\n", b"\r\n"), "inline")],
                                                                   "------------fwd2")),
      "The lock of flat 7 is broken.", subject="Fwd: Broken lock", attachments=[("lock.png", len(PNG))], **TB_EXPECT,
      note="no text of its own: the forwarded message's text is the body, its picture is listed")

write("thunderbird_pgp_signed",
      message(TB_HEAD + ["Subject: Signed"],
              multipart("signed", [text("plain", "Please service the lift.\n", "UTF-8", cte="7bit"),
                                   Part(["Content-Type: application/pgp-signature; name=\"OpenPGP_signature.asc\"",
                                         "Content-Description: OpenPGP digital signature",
                                         "Content-Disposition: attachment; filename=\"OpenPGP_signature.asc\""],
                                        b"-----BEGIN PGP SIGNATURE-----\n\nwsF5BAABCAAjFiEE\n-----END PGP SIGNATURE-----\n")],
                        "------------sig", '; micalg=pgp-sha256; protocol="application/pgp-signature"')),
      "Please service the lift.", subject="Signed", **TB_EXPECT)

write("thunderbird_iso8859_15",
      message(TB_HEAD + ["Subject: =?ISO-8859-15?Q?Kosten_=A4?="],
              text("plain", "Die Reparatur kostet 120 \u20ac.\n", "ISO-8859-15", cte="8bit")),
      "Die Reparatur kostet 120 \u20ac.", subject="Kosten \u20ac", **TB_EXPECT)

ru = "\u0412 \u043a\u043e\u043c\u043d\u0430\u0442\u0435 5 \u043d\u0435 \u0440\u0430\u0431\u043e\u0442\u0430\u0435\u0442 \u0441\u0432\u0435\u0442.\n"
write("thunderbird_koi8r",
      message(["From: =?KOI8-R?B?6dfBziDwxdTSz9c=?= <ivan@mail.example>", "To: desk@tarnwick-demo.example",
               "Subject: =?KOI8-R?B?7sUg0sHCz9TBxdQg09fF1A==?="],
              text("plain", ru, "KOI8-R", cte="8bit")),
      ru, subject="\u041d\u0435 \u0440\u0430\u0431\u043e\u0442\u0430\u0435\u0442 \u0441\u0432\u0435\u0442",
      sender=("\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432", "ivan@mail.example"),
      to=[("", "desk@tarnwick-demo.example")])

write("koi8r_html_base64",
      message(["From: ivan@mail.example", "To: desk@tarnwick-demo.example", "Subject: =?koi8-r?Q?=F3=D7=C5=D4?="],
              text("html", "<p>" + ru.strip() + "</p>", "koi8-r", cte="base64")),
      ru, subject="\u0421\u0432\u0435\u0442", sender=("", "ivan@mail.example"), to=[("", "desk@tarnwick-demo.example")])

# ------------------------------------------------------------------ phones

write("iphone_plain",
      message(["From: Tom Baker <tom.baker@me.example>", "Content-Type: text/plain; charset=us-ascii",
               "Content-Transfer-Encoding: 7bit", "Mime-Version: 1.0 (1.0)", "Date: Tue, 8 Dec 2026 07:45:12 +0000",
               "Subject: Tap dripping", "Message-Id: <ABCD-1234@me.example>", "To: desk@tarnwick-demo.example",
               "X-Mailer: iPhone Mail (21B101)"], Part([], b"Kitchen tap in flat 3 is dripping.\n\nSent from my iPhone\n"),
              mime=False),
      "Kitchen tap in flat 3 is dripping.\n\nSent from my iPhone", subject="Tap dripping",
      sender=("Tom Baker", "tom.baker@me.example"), to=[("", "desk@tarnwick-demo.example")])

write("iphone_photo",
      message(["From: Tom Baker <tom.baker@me.example>", "Mime-Version: 1.0 (1.0)", "Subject: Damp patch",
               "To: desk@tarnwick-demo.example"],
              multipart("mixed", [text("plain", "Damp patch on the ceiling:\n", "us-ascii", cte="7bit"),
                                  binary("image/jpeg", "IMG_0021.JPG", JPG, "inline"),
                                  text("plain", "\n\nSent from my iPhone\n", "us-ascii", cte="7bit")], "Apple-Mail-iph"),
              mime=False),
      "Damp patch on the ceiling:\n\nSent from my iPhone", subject="Damp patch",
      attachments=[("IMG_0021.JPG", len(JPG))], sender=("Tom Baker", "tom.baker@me.example"),
      to=[("", "desk@tarnwick-demo.example")])

write("android_gmail_emoji",
      message(["From: Priya Shah <priya.shah@gmail.example>", "To: desk@tarnwick-demo.example",
               "Subject: =?UTF-8?B?TGlmdCDwn5KlIGJyb2tlbg==?="],
              multipart("alternative", [text("plain", "The lift is broken again \U0001F625\n", "UTF-8", cte="base64"),
                                        text("html", "<div dir=\"auto\">The lift is broken again \U0001F625</div>", "UTF-8",
                                             cte="base64")], "0000000000009f")),
      "The lift is broken again \U0001F625", subject="Lift \U0001F4A5 broken", sender=("Priya Shah", "priya.shah@gmail.example"),
      to=[("", "desk@tarnwick-demo.example")])

write("samsung_html_base64",
      message(["From: \"Lee\" <lee@samsung.example>", "To: desk@tarnwick-demo.example", "Subject: Heater"],
              text("html", "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"></head>"
                   "<body><div dir=\"auto\">Heater in room 9 smells of burning.</div><div dir=\"auto\"><br></div>"
                   "<div dir=\"auto\"><br></div><div id=\"composer_signature\" dir=\"auto\"><div style=\"font-size:85%\">"
                   "Sent from my Galaxy</div></div></body></html>", "UTF-8", cte="base64")),
      "Heater in room 9 smells of burning.\n\n\nSent from my Galaxy", subject="Heater", sender=("Lee", "lee@samsung.example"),
      to=[("", "desk@tarnwick-demo.example")], note="each <div><br></div> is one empty line")

# ----------------------------------------------------------- charsets

ja = "\u4f1a\u8b70\u5ba4\u306e\u30a8\u30a2\u30b3\u30f3\u304c\u58ca\u308c\u3066\u3044\u307e\u3059\u3002\n"
write("shift_jis_base64",
      message(["From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yamada@mail.example>", "To: desk@tarnwick-demo.example",
               "Subject: =?Shift_JIS?B?g0eDQYNSg5M=?="],
              text("plain", ja, "Shift_JIS", cte="base64")),
      ja, subject="\u30a8\u30a2\u30b3\u30f3", sender=("\u5c71\u7530", "yamada@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("iso2022jp_7bit",
      message(["From: yamada@mail.example", "To: desk@tarnwick-demo.example", "Subject: =?ISO-2022-JP?B?GyRCJSIlIiUzJXMbKEI=?="],
              text("plain", ja, "ISO-2022-JP", cte="7bit")),
      ja, subject="\u30a2\u30a2\u30b3\u30f3", sender=("", "yamada@mail.example"), to=[("", "desk@tarnwick-demo.example")])

zh = "\u4e09\u697c\u7684\u6c34\u7ba1\u6f0f\u6c34\u4e86\u3002\n"
write("gb18030_base64",
      message(["From: =?GB18030?B?wO7D9w==?= <li.ming@mail.example>", "To: desk@tarnwick-demo.example",
               "Subject: " + ew("\u6c34\u7ba1\u6f0f\u6c34", "GB18030")],
              text("plain", zh, "GB18030", cte="base64")),
      zh, subject="\u6c34\u7ba1\u6f0f\u6c34", sender=("\u674e\u660e", "li.ming@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("gb2312_html_qp",
      message(["From: li.ming@mail.example", "To: desk@tarnwick-demo.example", "Subject: " + ew("\u6c34\u7ba1\u6f0f\u6c34", "gb2312")],
              text("html", "<html><body><p>" + zh.strip() + "</p></body></html>", "gb2312")),
      zh, subject="\u6c34\u7ba1\u6f0f\u6c34", sender=("", "li.ming@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("latin1_8bit",
      message(["From: =?ISO-8859-1?Q?Fran=E7ois?= <francois@mail.example>", "To: desk@tarnwick-demo.example",
               "Subject: =?ISO-8859-1?Q?Chauffage_=E0_r=E9gler?="],
              text("plain", "Le chauffage de l'\u00e9tage est \u00e0 r\u00e9gler.\n", "ISO-8859-1", cte="8bit")),
      "Le chauffage de l'\u00e9tage est \u00e0 r\u00e9gler.", subject="Chauffage \u00e0 r\u00e9gler",
      sender=("Fran\u00e7ois", "francois@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("latin1_label_windows_quotes",
      message(["From: clerk@mail.example", "To: desk@tarnwick-demo.example", "Subject: Quotes"],
              text("plain", "", "iso-8859-1", cte="quoted-printable",
                   raw=b"The \x93emergency\x94 light \x96 hall B \x85\n")),
      "The \u201cemergency\u201d light \u2013 hall B \u2026", subject="Quotes", sender=("", "clerk@mail.example"),
      to=[("", "desk@tarnwick-demo.example")], note="labelled ISO-8859-1, read as Windows-1252 as browsers do")

write("windows1252_qp",
      message(["From: clerk@mail.example", "To: desk@tarnwick-demo.example", "Subject: =?windows-1252?Q?=93Quote=94?="],
              text("plain", "Costs: 40 \u20ac \u2014 approved.\n", "windows-1252")),
      "Costs: 40 \u20ac \u2014 approved.", subject="\u201cQuote\u201d", sender=("", "clerk@mail.example"),
      to=[("", "desk@tarnwick-demo.example")])

write("utf8_8bit_no_charset",
      message(["From: clerk@mail.example", "To: desk@tarnwick-demo.example", "Subject: No charset"],
              Part(["Content-Type: text/plain", "Content-Transfer-Encoding: 8bit"], "Caf\u00e9 machine broken.\n".encode())),
      "Caf\u00e9 machine broken.", subject="No charset", sender=("", "clerk@mail.example"),
      to=[("", "desk@tarnwick-demo.example")], note="no charset but UTF-8 bytes: read as UTF-8")

write("unknown_charset",
      message(["From: clerk@mail.example", "To: desk@tarnwick-demo.example", "Subject: Odd charset"],
              Part(['Content-Type: text/plain; charset="x-mac-klingon"', "Content-Transfer-Encoding: 8bit"],
                   b"Caf\xe9 machine broken.\n")),
      "Caf\u00e9 machine broken.", subject="Odd charset", sender=("", "clerk@mail.example"),
      to=[("", "desk@tarnwick-demo.example")], note="a charset nobody knows and bytes that are not UTF-8: Windows-1252")

write("encoded_words_mixed_charsets",
      message(["From: =?iso-8859-1?q?Andr=E9?= =?utf-8?b?IEfDs21leg==?= <andre@mail.example>", "To: desk@tarnwick-demo.example",
               "Subject: =?iso-8859-1?q?Caf=E9?= =?utf-8?q?_=E2=82=AC?= and plain text"],
              text("plain", "Two charsets in one header.\n", "us-ascii", cte="7bit")),
      "Two charsets in one header.", subject="Caf\u00e9 \u20ac and plain text",
      sender=("Andr\u00e9 G\u00f3mez", "andre@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("raw_utf8_headers",
      message(["From: Bj\u00f6rn \u00c5str\u00f6m <bjorn@mail.example>".encode().decode("latin-1"),
               "To: desk@tarnwick-demo.example", "Subject: B\u00e4rbel\u2019s office \u2013 lights".encode().decode("latin-1")],
              text("plain", "Lights flicker.\n", "utf-8", cte="8bit")),
      "Lights flicker.", subject="B\u00e4rbel\u2019s office \u2013 lights", sender=("Bj\u00f6rn \u00c5str\u00f6m", "bjorn@mail.example"),
      to=[("", "desk@tarnwick-demo.example")], note="8-bit UTF-8 headers as SMTPUTF8 mail carries them")

write("raw_latin1_headers",
      message(["From: Jos\u00e9 <jose@mail.example>", "To: desk@tarnwick-demo.example", "Subject: Se\u00f1al rota"],
              text("plain", "Se\u00f1al rota.\n", "iso-8859-1", cte="8bit")),
      "Se\u00f1al rota.", subject="Se\u00f1al rota", sender=("Jos\u00e9", "jose@mail.example"),
      to=[("", "desk@tarnwick-demo.example")], note="8-bit Latin-1 headers: not UTF-8, read as Windows-1252")

# --------------------------------------------------------------- structure

write("text_only_no_mime",
      message(["From: Old Client <old@mail.example>", "To: desk@tarnwick-demo.example", "Subject: Plain old mail"],
              Part([], b"No MIME headers at all.\nSecond line.\n"), mime=False),
      "No MIME headers at all.\nSecond line.", subject="Plain old mail", sender=("Old Client", "old@mail.example"),
      to=[("", "desk@tarnwick-demo.example")])

write("html_entities_lists",
      message(["From: web@mail.example", "To: desk@tarnwick-demo.example", "Subject: Entities"],
              text("html", "<html><head><script>alert('x')</script><style>body{color:red}</style></head><body>"
                   "<h1>Report</h1>Caf&eacute; &amp; bar &lt;ok&gt; &#8364;5 &euro;&nbsp;6<br>"
                   "<ul><li>First   item</li><li>Second<ul><li>nested</li></ul></li></ul>"
                   "<script>document.write('hidden')</script><p>End.</p></body></html>", "utf-8")),
      "Report\nCaf\u00e9 & bar <ok> \u20ac5 \u20ac 6\n\n- First item\n- Second\n  - nested\n\nEnd.",
      subject="Entities", sender=("", "web@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      note="script and style dropped, entities decoded, nested list indented")

write("html_pre_blockquote",
      message(["From: web@mail.example", "To: desk@tarnwick-demo.example", "Subject: Pre"],
              text("html", "<p>Log:</p><pre>line 1\n  line 2\n\nline 4</pre><blockquote>quoted\ntext</blockquote>done", "utf-8")),
      "Log:\n\nline 1\n  line 2\n\nline 4\nquoted text\ndone", subject="Pre", sender=("", "web@mail.example"),
      to=[("", "desk@tarnwick-demo.example")])

write("alternative_html_first",
      message(["From: web@mail.example", "To: desk@tarnwick-demo.example", "Subject: HTML first"],
              multipart("alternative", [text("html", "<p>the <b>HTML</b> one</p>", "utf-8"),
                                        text("plain", "the plain one\n", "utf-8")], "b-htmlfirst")),
      "the plain one", subject="HTML first", sender=("", "web@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      note="the plain part wins wherever it stands")

write("related_html_only",
      message(["From: web@mail.example", "To: desk@tarnwick-demo.example", "Subject: Related"],
              multipart("related", [text("html", "<p>See picture:</p><img src=\"cid:p1\" alt=\"pic\"><p>Thanks</p>", "utf-8"),
                                    binary("image/png", "p1.png", PNG, "inline", cid="p1")], "b-related")),
      "See picture:\n\nThanks", subject="Related", sender=("", "web@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("attachment_text_file",
      message(["From: web@mail.example", "To: desk@tarnwick-demo.example", "Subject: Log file"],
              multipart("mixed", [text("plain", "The log is attached.\n", "utf-8"),
                                  text("plain", "error 1\nerror 2\n", "utf-8", cte="7bit",
                                       disposition='attachment; filename="boiler.log"')], "b-log")),
      "The log is attached.", subject="Log file", sender=("", "web@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      attachments=[("boiler.log", 16)])

write("attachment_first",
      message(["From: web@mail.example", "To: desk@tarnwick-demo.example", "Subject: Notes first"],
              multipart("mixed", [text("plain", "notes\n", "utf-8", cte="7bit", disposition='attachment; filename="notes.txt"'),
                                  text("plain", "The real message.\n", "utf-8")], "b-notes")),
      "The real message.", subject="Notes first", sender=("", "web@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      attachments=[("notes.txt", 5)],
      note="a text part that is an attachment is never the body; the line end before a boundary is the boundary's")

write("attachment_only",
      message(["From: scanner@mail.example", "To: desk@tarnwick-demo.example", "Subject: Scan"],
              multipart("mixed", [binary("application/pdf", "scan0001.pdf", PDF)], "b-scan")),
      "", subject="Scan", sender=("", "scanner@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      attachments=[("scan0001.pdf", len(PDF))])

write("unnamed_attachment",
      message(["From: scanner@mail.example", "To: desk@tarnwick-demo.example", "Subject: Unnamed"],
              multipart("mixed", [text("plain", "Data follows.\n", "utf-8"),
                                  Part(["Content-Type: application/octet-stream", "Content-Transfer-Encoding: base64"],
                                       b64(bytes(2048)).encode())], "b-unnamed")),
      "Data follows.", subject="Unnamed", sender=("", "scanner@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      attachments=[("application/octet-stream", 2048)], note="a part without a name is listed by its type")

write("nested_mixed_related_alternative",
      message(["From: Ops <ops@mail.example>", "To: desk@tarnwick-demo.example", "Subject: Nested"],
              multipart("mixed", [
                  multipart("related", [multipart("alternative", [text("plain", "Nested body.\n", "utf-8"),
                                                                  text("html", "<p>Nested body.</p>", "utf-8")], "b-n3"),
                                        binary("image/png", "logo.png", PNG, "inline", cid="logo")], "b-n2"),
                  binary("application/pdf", "invoice.pdf", PDF),
                  binary("application/vnd.openxmlformats-officedocument.wordprocessingml.document", "report.docx", DOCX)],
                  "b-n1")),
      "Nested body.", subject="Nested", sender=("Ops", "ops@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      attachments=[("invoice.pdf", len(PDF)), ("report.docx", len(DOCX))])

write("request_form_base64",
      message(["From: Jane Adams <jane.adams@tarnwick-demo.example>", "To: gateway@tarnwick-demo.example", "Subject: form"],
              text("plain", "[1] request;;\n[7] Heating off;;\n[8] No heat in B2.;;\n[14] 2;;\n", "utf-8", cte="base64")),
      "[1] request;;\n[7] Heating off;;\n[8] No heat in B2.;;\n[14] 2;;", subject="form",
      sender=("Jane Adams", "jane.adams@tarnwick-demo.example"), to=[("", "gateway@tarnwick-demo.example")])

long_value = "The heating in B2 has been off since Monday morning and the room temperature has dropped to fourteen degrees"
write("request_form_qp_soft_breaks",
      message(["From: Jane Adams <jane.adams@tarnwick-demo.example>", "To: gateway@tarnwick-demo.example", "Subject: form"],
              text("plain", "[1] request;;\n[8] " + long_value + ";;\n", "utf-8")),
      "[1] request;;\n[8] " + long_value + ";;", subject="form",
      sender=("Jane Adams", "jane.adams@tarnwick-demo.example"), to=[("", "gateway@tarnwick-demo.example")],
      note="quoted-printable soft line breaks inside a form value are joined")

write("mallory_angle_brackets",
      message(["From: \"<b>Mallory</b><img src=x onerror=alert(1)>\" <mallory@example.org>", "To: desk@tarnwick-demo.example",
               "Subject: <script>alert(1)</script>"], text("plain", "Hello.\n", "us-ascii", cte="7bit")),
      "Hello.", subject="<script>alert(1)</script>", sender=("<b>Mallory</b><img src=x onerror=alert(1)>", "mallory@example.org"),
      to=[("", "desk@tarnwick-demo.example")], note="angle brackets inside a quoted display name are part of the name")

write("reply_to_differs",
      message(["From: Building Alarm <alarm@devices.example>", "Reply-To: \"Caretaker, Night\" <night@tarnwick-demo.example>",
               "To: desk@tarnwick-demo.example", "Subject: Alarm 17"], text("plain", "Zone 4 fault.\n", "us-ascii", cte="7bit")),
      "Zone 4 fault.", subject="Alarm 17", sender=("Building Alarm", "alarm@devices.example"),
      reply_to=("Caretaker, Night", "night@tarnwick-demo.example"), to=[("", "desk@tarnwick-demo.example")])

write("to_group_and_list",
      message(["From: Ann <ann@mail.example>",
               "To: Facilities: a@tarnwick-demo.example, \"B, C\" <bc@tarnwick-demo.example>;, =?utf-8?q?D=C3=A9sir=C3=A9e?= <d@mail.example>",
               "Subject: Group"], text("plain", "To a group.\n", "us-ascii", cte="7bit")),
      "To a group.", subject="Group", sender=("Ann", "ann@mail.example"),
      to=[("", "a@tarnwick-demo.example"), ("B, C", "bc@tarnwick-demo.example"), ("D\u00e9sir\u00e9e", "d@mail.example")])

write("comment_after_address",
      message(["From: pat@mail.example (Pat Quinn)", "To: desk@tarnwick-demo.example", "Subject: Comment"],
              text("plain", "Old style From.\n", "us-ascii", cte="7bit")),
      "Old style From.", subject="Comment", sender=("Pat Quinn", "pat@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      note="the comment after a bare address is taken as the name")

write("control_chars_in_text",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: Bell\x07 and tab\there"],
              text("plain", "", "us-ascii", cte="7bit", raw=b"Ding\x07 dong\x00 done\x1b[0m.\n\tIndented.\n")),
      "Ding dong done[0m.\n\tIndented.", subject="Bell and tab here", sender=("", "x@mail.example"),
      to=[("", "desk@tarnwick-demo.example")], note="control characters other than tab and line ends are removed")

# ------------------------------------------------------------------ broken

write("missing_final_boundary",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: No end"],
              Part(['Content-Type: multipart/mixed; boundary="never-ends"'],
                   b"--never-ends\nContent-Type: text/plain\n\nThe text is here.\n")),
      "The text is here.", subject="No end", sender=("", "x@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("wrong_boundary",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: Wrong boundary"],
              Part(['Content-Type: multipart/alternative; boundary="declared"'],
                   b"--actual\nContent-Type: text/plain\n\nOnly the raw text is left.\n--actual--\n")),
      "--actual\nContent-Type: text/plain\n\nOnly the raw text is left.\n--actual--", subject="Wrong boundary",
      sender=("", "x@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      note="no part matches the declared boundary: the text is shown as it stands rather than lost")

write("missing_boundary_parameter",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: No boundary"],
              Part(["Content-Type: multipart/mixed"], b"--xyz\nContent-Type: text/plain\n\nStill readable.\n--xyz--\n")),
      "--xyz\nContent-Type: text/plain\n\nStill readable.\n--xyz--", subject="No boundary",
      sender=("", "x@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("bad_base64",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: Bad base64"],
              Part(["Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: base64"],
                   b"VGhlIGJh!!c2U2NCBp\ncyBicm9r*ZW4g\nYnV0IHJlYWRhYmxl")),
      "The base64 is broken but readable", subject="Bad base64", sender=("", "x@mail.example"),
      to=[("", "desk@tarnwick-demo.example")], note="stray characters are skipped, the missing padding ignored")

write("unknown_transfer_encoding",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: Odd encoding"],
              Part(["Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: x-compressed"],
                   b"Left as it is.\n")),
      "Left as it is.", subject="Odd encoding", sender=("", "x@mail.example"), to=[("", "desk@tarnwick-demo.example")])

write("lf_only_line_ends",
      message(["From: Unix <unix@mail.example>", "To: desk@tarnwick-demo.example", "Subject: LF only"],
              multipart("alternative", [text("plain", "Line one.\nLine two.\n", "utf-8")], "b-lf")),
      "Line one.\nLine two.", subject="LF only", sender=("Unix", "unix@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      crlf=False)

write("no_blank_line",
      b"From: x@mail.example\r\nTo: desk@tarnwick-demo.example\r\nSubject: Headers only\r\n",
      "", subject="Headers only", sender=("", "x@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      note="a message that ends after its headers")

write("empty_message", b"", "", note="nothing at all")

write("garbage",
      bytes((i * 37 + 11) % 256 for i in range(600)),
      "", note="bytes that are no message; no headers are found")


def nested(depth, leaf):
    part = leaf
    for i in reversed(range(depth)):
        part = multipart("mixed", [part], f"level-{i}")
    return part


write("nesting_50_levels",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: Deep"],
              nested(49, text("plain", "Found at the bottom.\n", "utf-8"))),
      "Found at the bottom.", subject="Deep", sender=("", "x@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      note="50 levels of multipart/mixed around the text")

write("nesting_200_levels",
      message(["From: x@mail.example", "To: desk@tarnwick-demo.example", "Subject: Too deep"],
              nested(200, text("plain", "Too deep to be read.\n", "utf-8"))),
      "", subject="Too deep", sender=("", "x@mail.example"), to=[("", "desk@tarnwick-demo.example")],
      note="nesting beyond the reader's bound: the text is not read, nothing crashes")

with open(os.path.join(HERE, "README"), "w") as f:
    f.write("MIME corpus: NAME.eml, the request text expected in NAME.txt, the rest in NAME.expected.\n"
            "Made by make_corpus.py (%d messages); edit it, not the files.\n" % len(written))
print(len(written), "messages")
