#!/usr/bin/env bash
# Installs what is missing, builds, sets up a demonstration installation and
# runs the whole road once: the mail retriever fetches the account's mail
# from a local Dovecot POP3 server into Pending, the agent processor runs the
# account's agents over everything waiting there, replies and forwards go to a
# local SMTP server, and the logs and the mail that server received are shown.
#   tools/demo.sh            (QUELTA_DEMO_DIR chooses the folder, default /tmp/quelta-demo)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh
cmake -S . -B build -G Ninja -DQUELTA_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

demo=${QUELTA_DEMO_DIR:-/tmp/quelta-demo}
rm -rf "$demo"
mkdir -p "$demo/db" "$demo/win" "$demo/received-mail"
export QUELTA_WINDIR="$demo/win" QT_QPA_PLATFORM=offscreen

build/bin/mkschema "$demo/db"
build/bin/regsvr /s "$PWD/build/bin/libQuelta.so"

# The demo's SMTP server: aiosmtpd on 127.0.0.1, one file per message.
# It runs while its input stays open; the holder of that input goes with it.
exec 3< <(exec sleep infinity)
holder=$!
/usr/bin/python3 mail/tests/smtp_sink.py "$demo/received-mail" <&3 >"$demo/smtp.port" &
sink=$!
trap 'kill $sink $holder 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$demo/smtp.port" ] && break; sleep 0.1; done
port=$(head -n1 "$demo/smtp.port")

# The demo's POP3 server: Dovecot on 127.0.0.1 with three messages for "sales".
source retriever/demo/dovecot-demo.sh "$demo"
trap 'kill $sink $holder $dovecot_pid 2>/dev/null || true' EXIT

build/bin/demosetup "$demo" "127.0.0.1:$port" "127.0.0.1:$pop_port"
rm -f build/bin/mailproc.log build/bin/agentproc.log
build/bin/postp /SINGLEPASS
echo
echo "== mailproc.log (newest line first)"
cat build/bin/mailproc.log
echo
echo "== waiting in Pending"
ls "$demo"/messages/*/Pending/

build/bin/posta /SINGLEPASS

echo
echo "== agentproc.log (newest line first)"
cat build/bin/agentproc.log
echo
echo "== filed into In"
ls "$demo"/messages/*/In/
for f in "$demo"/received-mail/*.eml; do
  [ -e "$f" ] || continue
  echo
  echo "== mail received by the SMTP server: $(basename "$f") $(cat "${f%.eml}.json")"
  cat "$f"
done
