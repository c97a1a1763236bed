#!/usr/bin/python3
"""A real SMTP server for interoperation tests, listening on loopback.

Usage: smtp_sink_server.py HOST OUTDIR [DATA_REPLY]

Prints the port it listens on, then serves until terminated. For the Nth
message accepted (from 0) it writes OUTDIR/N.content (the message as the
server recovered it) and then OUTDIR/N.envelope (the sender on the first
line, one recipient per line after it), before answering 250.

DATA_REPLY, if given, is the line answered to the end of the data instead of
250; "close" closes the connection there without an answer.
"""
import asyncio
import sys

from aiosmtpd.smtp import SMTP

from smtp_message_store import MessageStore


async def main():
    host, outdir = sys.argv[1], sys.argv[2]
    handler = MessageStore(outdir, sys.argv[3] if len(sys.argv) > 3 else "")
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="sink.test", enable_SMTPUTF8=True), host, 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


asyncio.run(main())
