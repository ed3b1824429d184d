"""aiosmtpd on 127.0.0.1 in place of the mail servers around one account,
for the mail-loop test. Prints its port, stores every message it accepts as
<dir>/<n>.eml (the data as received) and <dir>/<n>.json (the envelope), and
brings back into the account's maildir what real servers would:
  - mail for the account's address, as received;
  - for the auto-responder's address, that responder's answer (marked
    "Auto-Submitted: auto-replied"; it answers every message);
  - for any other address, a bounce from MAILER-DAEMON with an empty
    return path.
Run with Debian's /usr/bin/python3: relay.py DIR ACCOUNT MAILDIR RESPONDER"""
import email
import email.policy
import itertools
import os
import sys
import time
from email.utils import formatdate, make_msgid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "..", "mail", "tests"))
from smtp_sink import Sink, serve  # noqa: E402


class Relay(Sink):
    def __init__(self, folder, account, maildir, responder):
        super().__init__(folder, True)
        self.account = account.lower()
        self.maildir = maildir
        self.responder = responder.lower()
        self.seq = itertools.count()

    def deliver(self, data):
        # Maildir: written under tmp/, then moved into new/ whole, owned as
        # the mailbox is (Dovecot runs as that user).
        name = "%d.R%dP%d.relay" % (int(time.time()), next(self.seq), os.getpid())
        tmp = os.path.join(self.maildir, "tmp", name)
        with open(tmp, "wb") as f:
            f.write(data)
        owner = os.stat(self.maildir)
        if os.geteuid() == 0:
            os.chown(tmp, owner.st_uid, owner.st_gid)
        os.rename(tmp, os.path.join(self.maildir, "new", name))

    def made(self, headers, body):
        lines = headers + ["Date: " + formatdate(localtime=True),
                           "Message-ID: " + make_msgid(domain="example.net"), "", body, ""]
        return "\r\n".join(lines).encode()

    async def handle_DATA(self, server, session, envelope):
        await super().handle_DATA(server, session, envelope)
        message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        subject = str(message["Subject"] or "")
        sender = envelope.mail_from
        for rcpt in envelope.rcpt_tos:
            if rcpt.lower() == self.account:
                self.deliver(envelope.original_content)
            elif rcpt.lower() == self.responder:
                self.deliver(self.made(["From: Away <%s>" % self.responder, "To: <%s>" % sender,
                                        "Subject: Away: " + subject,
                                        "Auto-Submitted: auto-replied"],
                                       "I am away this week."))
            else:
                self.deliver(self.made(["Return-Path: <>",
                                        "From: Mail Delivery System <MAILER-DAEMON@example.net>",
                                        "To: <%s>" % sender,
                                        "Subject: Undelivered Mail Returned to Sender"],
                                       "No such user: <%s>" % rcpt))
        return "250 OK"


if __name__ == "__main__":
    serve(Relay(*sys.argv[1:5]))
