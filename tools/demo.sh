#!/usr/bin/env bash
# Installs what is missing, builds, sets up a demonstration installation and
# runs the agent processor once over it: the account's waiting messages go
# through its agents, replies and forwards go to a local SMTP server, and the
# log and the mail that server received are shown.
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
exec 3< <(sleep infinity)
/usr/bin/python3 mail/tests/smtp_sink.py "$demo/received-mail" <&3 >"$demo/smtp.port" &
sink=$!
trap 'kill $sink 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$demo/smtp.port" ] && break; sleep 0.1; done
port=$(head -n1 "$demo/smtp.port")

build/bin/demosetup "$demo" "127.0.0.1:$port"
rm -f build/bin/agentproc.log
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
