# Starts an unprivileged Dovecot POP3 server on 127.0.0.1 with a demo
# mailbox (user "sales", password "demo", three messages), for the demo run.
#   source retriever/demo/dovecot-demo.sh FOLDER
# Sets pop_port and dovecot_pid; the caller stops the server (kill $dovecot_pid).
dv="$1/dovecot"
mkdir -p "$dv/run" "$dv/state" "$dv/mail/sales/cur" "$dv/mail/sales/new" "$dv/mail/sales/tmp"
chmod 755 "$1" "$dv"
pop_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'sales:{PLAIN}demo\n' > "$dv/passwd"
if [ "$(id -u)" = 0 ]; then
  login=dovenull internal=dovecot authuser=root mailuid=65534 mailgid=65534
else
  login=$(id -un) internal=$(id -un) authuser=$(id -un) mailuid=$(id -u) mailgid=$(id -g)
fi
cat > "$dv/dovecot.conf" <<EOF
base_dir = $dv/run
state_dir = $dv/state
log_path = $dv/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
default_login_user = $login
default_internal_user = $internal
first_valid_uid = 1
first_valid_gid = 1
mail_location = maildir:$dv/mail/%u
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dv/passwd
}
userdb {
  driver = static
  args = uid=$mailuid gid=$mailgid home=$dv/mail/%u
}
service pop3-login {
  chroot =
  user = $login
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop_port
  }
}
service anvil {
  chroot =
}
service auth {
  user = $authuser
}
EOF
n=0
for subject in "Order for two chairs" "Urgent: lamp flickers" "Newsletter"; do
  n=$((n + 1))
  printf 'Message-ID: <pop%s@customer.example>\r\nFrom: Customer %s <c%s@customer.example>\r\nTo: Demo Sales <sales@demo.example>\r\nSubject: %s\r\nDate: Wed, 9 Dec 2026 09:0%s:00 +0000\r\n\r\nHello from the POP3 mailbox.\r\n.\r\n' \
    "$n" "$n" "$n" "$subject" "$n" > "$dv/mail/sales/new/170000000$n.demo$n.pop"
done
chown -R "$mailuid:$mailgid" "$dv/mail"
/usr/sbin/dovecot -F -c "$dv/dovecot.conf" &
dovecot_pid=$!
for _ in $(seq 100); do
  /usr/bin/python3 -c "import poplib; poplib.POP3('127.0.0.1', $pop_port).quit()" 2>/dev/null && break
  sleep 0.1
done
