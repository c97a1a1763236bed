#!/usr/bin/python3
"""A real SMTP server with a provider's habits, listening on loopback.

Usage: smtp_quirks_server.py HOST OUTDIR [options]

Prints the port it listens on, then serves until terminated. It stores what
it accepts as smtp_sink_server.py does (OUTDIR/N.content, then
OUTDIR/N.envelope: the sender, then one recipient per line), and writes one
line to OUTDIR/events for each thing a test counts, before the reply goes:
"connect N" (N from 1), "mail CODE", "rcpt ADDRESS CODE", "data CODE"
(CODE of the reply to the end of the data).

Options, any together:
  --refuse ADDRESS       "550 5.1.1 User unknown" to RCPT TO of ADDRESS
                         (may be given more than once)
  --greylist ADDRESS     "450 4.2.0 Greylisted, try again later" to the first
                         RCPT TO of ADDRESS (may be given more than once)
  --recipient-limit N    "452 4.5.3 Too many recipients" to every RCPT TO
                         past the Nth of a transaction
  --busy-data N          "450 4.7.1 Rate limit exceeded" to the first N ends
                         of data (the message is not stored)
  --messages-per-connection K
                         once K messages went in one connection, answers
                         the next MAIL FROM "421 4.7.0 Too many messages,
                         closing" and closes it
  --busy-reconnects N    the N connections after the first are greeted
                         "421 4.7.0 Too many connections, try again later"
                         and closed
  --window M SECONDS     "450 4.7.1 Rate limit exceeded" to a MAIL FROM
                         when M were accepted in the SECONDS before it
"""
import argparse
import asyncio
import collections
import os
import time

from aiosmtpd.smtp import SMTP

from smtp_message_store import MessageStore


class QuirksHandler(MessageStore):
    def __init__(self, options):
        super().__init__(options.outdir)
        self.options = options
        self.busy_data_left = options.busy_data
        self.greylisted = set(options.greylist)
        self.connections = 0
        self.window = collections.deque()  # times of accepted MAIL FROMs
        self.events = open(os.path.join(options.outdir, "events"), "a",
                           encoding="utf-8", errors="surrogateescape")

    def log(self, line):
        self.events.write(line + "\n")
        self.events.flush()

    def greet(self):
        """The greeting's refusal for a new connection, or None."""
        self.connections += 1
        self.log("connect %d" % self.connections)
        if 1 < self.connections <= 1 + self.options.busy_reconnects:
            return "421 4.7.0 Too many connections, try again later"
        return None

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        limit = self.options.messages_per_connection
        if limit > 0 and getattr(session, "messages", 0) >= limit:
            self.log("mail 421")
            # The reply goes out before the close: the transport sends what
            # it holds first.
            asyncio.get_running_loop().call_soon(server.transport.close)
            return "421 4.7.0 Too many messages, closing"
        if self.options.window:
            allowed, seconds = self.options.window
            now = time.monotonic()
            while self.window and self.window[0] <= now - seconds:
                self.window.popleft()
            if len(self.window) >= allowed:
                self.log("mail 450")
                return "450 4.7.1 Rate limit exceeded"
            self.window.append(now)
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        self.log("mail 250")
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        limit = self.options.recipient_limit
        if address in self.options.refuse:
            reply = "550 5.1.1 User unknown"
        elif address in self.greylisted:
            self.greylisted.discard(address)
            reply = "450 4.2.0 Greylisted, try again later"
        elif limit > 0 and len(envelope.rcpt_tos) >= limit:
            reply = "452 4.5.3 Too many recipients"
        else:
            envelope.rcpt_tos.append(address)
            reply = "250 OK"
        self.log("rcpt %s %s" % (address, reply[:3]))
        return reply

    async def handle_DATA(self, server, session, envelope):
        if self.busy_data_left > 0:
            self.busy_data_left -= 1
            self.log("data 450")
            return "450 4.7.1 Rate limit exceeded"
        reply = await super().handle_DATA(server, session, envelope)
        session.messages = getattr(session, "messages", 0) + 1
        self.log("data " + reply[:3])
        return reply


class QuirksSMTP(SMTP):
    async def _handle_client(self):
        refusal = self.event_handler.greet()
        if refusal is not None:
            await self.push(refusal)
            self.transport.close()
            return
        await super()._handle_client()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("outdir")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--greylist", action="append", default=[])
    parser.add_argument("--recipient-limit", type=int, default=0)
    parser.add_argument("--busy-data", type=int, default=0)
    parser.add_argument("--messages-per-connection", type=int, default=0)
    parser.add_argument("--busy-reconnects", type=int, default=0)
    parser.add_argument("--window", type=float, nargs=2, default=None)
    options = parser.parse_args()
    handler = QuirksHandler(options)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: QuirksSMTP(handler, hostname="quirks.test"), options.host, 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


asyncio.run(main())
