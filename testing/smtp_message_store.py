"""What the Python SMTP servers of the tests do with a message they accept.

For the Nth message accepted (from 0) the handler writes OUTDIR/N.content
(the message as the server recovered it) and then OUTDIR/N.envelope (the
sender on the first line, one recipient per line after it), so that a
reader who sees the envelope finds the content whole. A recipient whose
address starts with "unknown-" is refused with "550 5.1.1 User unknown".
"""
import os


class MessageStore:
    def __init__(self, outdir, data_reply=""):
        self.outdir = outdir
        self.data_reply = data_reply  # "" answers 250; "close" closes instead
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("unknown-"):
            return "550 5.1.1 User unknown"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        base = os.path.join(self.outdir, str(self.count))
        self.count += 1
        with open(base + ".content", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".envelope.tmp", "w", encoding="utf-8",
                  errors="surrogateescape") as f:
            f.write("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n")
        os.rename(base + ".envelope.tmp", base + ".envelope")
        if self.data_reply == "close":
            server.transport.close()  # the answer below then goes nowhere
        return self.data_reply or "250 OK"
