"""A real SMTP server (aiosmtpd) on 127.0.0.1 for the SMTP tests and the
benchmark: prints its port, then stores every message it accepts as
<dir>/<n>.eml (the data as received) and <dir>/<n>.json (the envelope).
Run with Debian's /usr/bin/python3: smtp_sink.py DIR [--count]"""
import asyncio
import json
import os
import socket
import sys

from aiosmtpd.controller import Controller


class Sink:
    def __init__(self, folder, store):
        self.folder = folder
        self.store = store
        self.n = 0

    async def handle_DATA(self, server, session, envelope):
        self.n += 1
        if self.store:
            base = os.path.join(self.folder, "%d" % self.n)
            with open(base + ".eml", "wb") as f:
                f.write(envelope.original_content)
            with open(base + ".json", "w") as f:
                json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos}, f)
        else:
            with open(os.path.join(self.folder, "count"), "w") as f:
                f.write(str(self.n))
        return "250 OK"


def serve(handler):
    """Serves handler on a free port of 127.0.0.1, prints the port, and runs
    until the test closes its end of stdin."""
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(handler, hostname="127.0.0.1", port=port,
                            decode_data=False, data_size_limit=0)
    controller.start()
    print(port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    serve(Sink(sys.argv[1], "--count" not in sys.argv))
