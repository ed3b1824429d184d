"""aiosmtpd on 127.0.0.1 in place of the mail servers around the accounts
of the mail-loop tests. Prints its port, stores every message it accepts as
<dir>/<n>.eml (the data as received) and <dir>/<n>.json (the envelope), and
brings back into the accounts' maildirs what real servers would:
  - mail for an account's address, as received;
  - for the auto-responder's address, that responder's answer to the
    envelope sender (it answers every message, whatever it is marked with),
    marked as MARKS says: "new" with "Auto-Submitted: auto-replied", "old"
    only with "X-Autoreply: yes" and "Precedence: auto_reply" as many ticket
    systems and older vacation programs do, "none" not at all;
  - for any other address, a bounce from MAILER-DAEMON with an empty
    return path.
Run with Debian's /usr/bin/python3:
  relay.py DIR RESPONDER MARKS ADDRESS=MAILDIR [ADDRESS=MAILDIR ...]"""
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

MARKS = {"new": ["Auto-Submitted: auto-replied"],
         "old": ["X-Autoreply: yes", "Precedence: auto_reply"],
         "none": []}


class Relay(Sink):
    def __init__(self, folder, responder, marks, *accounts):
        super().__init__(folder, True)
        self.responder = responder.lower()
        self.marks = MARKS[marks]
        self.maildirs = {}
        for pair in accounts:
            address, maildir = pair.split("=", 1)
            self.maildirs[address.lower()] = maildir
        self.seq = itertools.count()

    def deliver(self, maildir, data):
        # Maildir: written under tmp/, then moved into new/ whole, owned as
        # the mailbox is (Dovecot runs as that user).
        name = "%d.R%dP%d.relay" % (int(time.time()), next(self.seq), os.getpid())
        tmp = os.path.join(maildir, "tmp", name)
        with open(tmp, "wb") as f:
            f.write(data)
        owner = os.stat(maildir)
        if os.geteuid() == 0:
            os.chown(tmp, owner.st_uid, owner.st_gid)
        os.rename(tmp, os.path.join(maildir, "new", name))

    def made(self, headers, body):
        lines = headers + ["Date: " + formatdate(localtime=True),
                           "Message-ID: " + make_msgid(domain="example.net"), "", body, ""]
        return "\r\n".join(lines).encode()

    async def handle_DATA(self, server, session, envelope):
        await super().handle_DATA(server, session, envelope)
        message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        subject = str(message["Subject"] or "")
        sender = envelope.mail_from
        back = self.maildirs.get(sender.lower())
        for rcpt in envelope.rcpt_tos:
            if rcpt.lower() in self.maildirs:
                self.deliver(self.maildirs[rcpt.lower()], envelope.original_content)
            elif back is None:
                continue  # mail between strangers is not ours to bring back
            elif rcpt.lower() == self.responder:
                self.deliver(back, self.made(["From: Away <%s>" % self.responder,
                                              "To: <%s>" % sender,
                                              "Subject: Out of office: " + subject] + self.marks,
                                             "I am away this week."))
            else:
                self.deliver(back, self.made(["Return-Path: <>",
                                              "From: Mail Delivery System <MAILER-DAEMON@example.net>",
                                              "To: <%s>" % sender,
                                              "Subject: Undelivered Mail Returned to Sender"],
                                             "No such user: <%s>" % rcpt))
        return "250 OK"


if __name__ == "__main__":
    serve(Relay(*sys.argv[1:]))
