#!/usr/bin/python3
"""A real SMTP server on loopback for the tests.

Listens on a free port of 127.0.0.1, prints "PORT <n>" once it accepts connections, requires AUTH (LOGIN or
PLAIN) with the given account, and writes each accepted message into the spool folder:
  <n>.meta  from=, to=, subject=, type=, mechanism=, tls=, attachments= (one per line)
  <n>.body  the decoded text body
  <n>.att.<k>  the decoded attachments
and every login attempt into auth.log ("<mechanism> <user> ok|fail tls=<0|1>").
--tls DIR offers STARTTLS with a self-signed certificate for 127.0.0.1 (DIR/cert.pem);
--refuse-starttls offers STARTTLS and then refuses it.
"""
import argparse
import asyncio
import email
import email.policy
import logging
import os
import socket
import ssl
import subprocess
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class RefusesStartTls(SMTP):
    async def smtp_STARTTLS(self, arg):
        await self.push("454 4.7.0 TLS not available")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--spool", required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--tls")
    p.add_argument("--refuse-starttls", action="store_true")
    a = p.parse_args()
    logging.disable(logging.CRITICAL)
    warnings.simplefilter("ignore")

    def write(name, data):
        path = os.path.join(a.spool, name)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)

    def authenticator(server, session, envelope, mechanism, data):
        ok = isinstance(data, LoginPassword) and data.login.decode() == a.user and data.password.decode() == a.password
        user = data.login.decode() if isinstance(data, LoginPassword) else "?"
        with open(os.path.join(a.spool, "auth.log"), "a") as f:
            f.write(f"{mechanism} {user} {'ok' if ok else 'fail'} tls={int(session.ssl is not None)}\n")
        if ok:
            session.edi_mechanism = mechanism
        return AuthResult(success=ok, handled=False, auth_data=data if ok else None)

    count = [0]

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            n = count[0]
            count[0] += 1
            msg = email.message_from_bytes(envelope.content, policy=email.policy.default)
            body = msg.get_body(preferencelist=("plain", "html"))
            names = []
            for k, part in enumerate(msg.iter_attachments()):
                names.append(part.get_filename() or "")
                write(f"{n}.att.{k}", part.get_payload(decode=True) or b"")
            text = body.get_content().replace("\r\n", "\n") if body is not None else ""
            write(f"{n}.body", text.encode("utf-8"))
            meta = {
                "from": envelope.mail_from,
                "to": ",".join(envelope.rcpt_tos),
                "subject": str(msg.get("subject", "")),
                "type": body.get_content_type() if body is not None else "",
                "mechanism": getattr(session, "edi_mechanism", ""),
                "tls": str(int(session.ssl is not None)),
                "attachments": ",".join(names),
            }
            write(f"{n}.meta", "".join(f"{k}={v}\n" for k, v in meta.items()).encode("utf-8"))
            return "250 OK"

    context = None
    if a.tls:
        cert, key = os.path.join(a.tls, "cert.pem"), os.path.join(a.tls, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
    elif a.refuse_starttls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)  # only makes EHLO offer STARTTLS
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)
    server_class = RefusesStartTls if a.refuse_starttls else SMTP

    def factory():
        return server_class(Handler(), hostname="edi-test", authenticator=authenticator, auth_required=True,
                            auth_require_tls=False, tls_context=context, require_starttls=False)

    loop = asyncio.new_event_loop()
    loop.run_until_complete(loop.create_server(factory, sock=sock))
    print(f"PORT {sock.getsockname()[1]}", flush=True)
    loop.run_forever()


if __name__ == "__main__":
    sys.exit(main())
