#!/usr/bin/python3
"""A real SMTP server with TLS and sign-in for tests, listening on loopback.

Usage: smtp_secure_server.py HOST OUTDIR SECURITY CERT KEY [MECHANISM...]

SECURITY is "starttls" (plain greeting, STARTTLS offered), "tls" (TLS from
the first byte) or "plain" (no TLS at all). The one login is "ann" with the
password "s3cret pass"; AUTH is offered only over TLS, with PLAIN and LOGIN
unless MECHANISMs are named, which are then left out.

Prints the port it listens on, then serves until terminated. Each sign-in
appends "MECHANISM LOGIN ok|refused" to OUTDIR/auth.log. For the Nth message
accepted (from 0) it writes OUTDIR/N.content and then OUTDIR/N.envelope (the
sender on the first line, one recipient per line after it).

With SECURE_SERVER_PIPELINING set in the environment, EHLO also offers
PIPELINING (the server reads commands one after the other anyway).
"""
import asyncio
import logging
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult

from smtp_message_store import MessageStore

LOGIN = b"ann"
PASSWORD = b"s3cret pass"


def main():
    if os.environ.get("SECURE_SERVER_DEBUG"):
        logging.basicConfig(level=logging.DEBUG)
    host, outdir, security, cert, key = sys.argv[1:6]
    excluded = sys.argv[6:]
    log = os.path.join(outdir, "auth.log")

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login == LOGIN and auth_data.password == PASSWORD
        with open(log, "a") as f:
            f.write("%s %s %s\n" % (mechanism, auth_data.login.decode(errors="replace"),
                                    "ok" if ok else "refused"))
        # handled=False: the server itself answers a refusal (535).
        return AuthResult(success=ok, handled=False)

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    handler = MessageStore(outdir)
    if os.environ.get("SECURE_SERVER_PIPELINING"):
        async def handle_EHLO(server, session, envelope, hostname, responses):
            session.host_name = hostname
            return responses[:1] + ["250-PIPELINING"] + responses[1:]
        handler.handle_EHLO = handle_EHLO

    def factory():
        return SMTP(handler, hostname="secure.test",
                    tls_context=context if security == "starttls" else None,
                    authenticator=authenticate, auth_require_tls=security != "tls",
                    auth_exclude_mechanism=excluded)

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(factory, host, 0,
                                          ssl=context if security == "tls" else None)
        print(server.sockets[0].getsockname()[1], flush=True)
        await server.serve_forever()

    asyncio.run(serve())


main()
