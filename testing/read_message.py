#!/usr/bin/python3
"""Reads a message as a standard parser does and prints what it found.

Usage: read_message.py FILE

Parses FILE with Python's email package (default policy) and prints, one
per line: the number of defects found, whether every header line fits in
78 characters, whether
Date is the time just now and Message-ID has the form "<id@domain>", the
subject, each From, To and Cc address as "field: display name|address",
the content type and character set, and then "body:" and the body text.
"""
import datetime
import email
import email.policy
import re
import sys


def main():
    raw = open(sys.argv[1], "rb").read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    header = raw.split(b"\r\n\r\n", 1)[0]
    defects = list(msg.defects)
    for name in msg.keys():
        defects += list(getattr(msg[name], "defects", []))
    print("defects:", len(defects), *defects)
    longest = max(len(line) for line in header.split(b"\r\n"))
    print("header lines:", "fit" if longest <= 78 else f"up to {longest} characters")
    date = msg["Date"].datetime
    now = datetime.datetime.now(datetime.timezone.utc)
    fresh = date.tzinfo is not None and abs((now - date).total_seconds()) < 600
    print("date:", "now" if fresh else msg["Date"])
    ids = re.fullmatch(r"<[^<>@\s]+@[^<>@\s]+>", str(msg["Message-ID"]))
    print("message-id:", "ok" if ids else msg["Message-ID"])
    if msg["Subject"] is not None:
        print("subject:", msg["Subject"])
    for name in ("From", "To", "Cc"):
        if msg[name] is not None:
            for address in msg[name].addresses:
                print(f"{name.lower()}: {address.display_name}|{address.addr_spec}")
    print("content:", msg.get_content_type(), msg.get_content_charset())
    print("body:")
    sys.stdout.write(msg.get_content())


sys.stdout.reconfigure(encoding="utf-8", errors="backslashreplace")
main()
