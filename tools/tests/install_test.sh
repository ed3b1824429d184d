#!/usr/bin/env bash
# tools/install.sh for one user (a prefix in a temporary home folder), then the
# whole road from the installed copy alone: Dovecot -> postp -> posta ->
# aiosmtpd. Then a second install, which must keep the tables and their rows,
# and an uninstall, which must keep every table, message, agent, template and
# log.
#   install_test.sh BUILD-DIR        (exit 77: skipped)
set -euo pipefail
build=$(realpath "$1")
src=$(cd "$(dirname "$0")/../.." && pwd)

[ -x /usr/sbin/dovecot ] || { echo "skipped: the Dovecot POP3 server is not installed"; exit 77; }
[ -x "$build/bin/demosetup" ] || { echo "skipped: demosetup is not built"; exit 77; }

t=$(mktemp -d /tmp/quelta-install.XXXXXX)
# Dovecot's unprivileged processes reach the mailbox below it.
chmod 755 "$t"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$t"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

export HOME=$t/home
unset XDG_CONFIG_HOME XDG_DATA_HOME QUELTA_WINDIR
# A space in the path is quoted wherever it goes.
prefix="$HOME/my apps/quelta"
demo=$t/demo
ini=$HOME/.config/quelta/quelta.ini
mkdir -p "$HOME/.config/quelta" "$demo/db"

run_install() {
  QUELTA_BUILD_DIR=$build bash "$src/tools/install.sh" "$@" >"$t/install.out" 2>&1 ||
    { cat "$t/install.out"; return 1; }
}

# The installed programs see nothing of the build: no search path, no
# working folder, no variable names it.
installed() {
  (cd / && env -i HOME="$HOME" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
    ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    timeout 120 "$@")
}

# Everything that is data: tables, messages, agents, templates and logs.
data_sums() {
  find "$demo/db" "$demo/messages" "$demo/agents" "$demo/templates" "$prefix" -type f \
    \( -iname '*.dbf' -o -iname '*.cdx' -o -iname '*.fpt' -o -iname '*.eml' -o -iname '*.agent' \
    -o -iname '*.log' \) -print0 | sort -z | xargs -0 sha256sum
}

# A prefix a desktop entry could not quote is refused before anything happens.
if QUELTA_BUILD_DIR=$build bash "$src/tools/install.sh" "$t/a\"b" >/dev/null 2>&1; then
  fail "a prefix with a double quote was accepted"
fi
[ ! -e "$t/a\"b" ] || fail "the refused prefix was created"

# The user already names a database folder (CRLF lines, another case): the
# tables go there, and only the missing folder keys are added.
printf '[folders]\r\ndatabase = %s\r\n' "$demo/db/" >"$ini"
run_install "$prefix" || fail "install"
for f in posta postp mkschema regsvr libQuelta.so libquelta_com.so libwsock32.so librasapi32.so \
  libxbengine.so icons/posta.svg icons/postp.svg icons/cfgman.svg icons/quelta.svg; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
for f in "$prefix"/*; do
  readelf -h "$f" >/dev/null 2>&1 || continue
  dynamic=$(readelf -d "$f")
  runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p' <<<"$dynamic")
  [ "$runpath" = '$ORIGIN' ] || fail "$f has the run path '$runpath'"
  ! grep -qF "$build" <<<"$dynamic" || fail "$f names the build folder"
done
deps=$(ldd "$prefix/posta")
for lib in libxbengine.so libquelta_com.so; do
  grep -qF "$lib => $prefix/$lib" <<<"$deps" || fail "posta does not take $lib from $prefix: $deps"
done
[ "$(find "$demo/db" -maxdepth 1 -iname '*.dbf' | wc -l)" = 10 ] || fail "the ten tables are not in $demo/db"
[ ! -e "$prefix/ORGS.DBF" ] || fail "tables were made in the program folder too"
[ "$(grep -ci '^ *database *=' "$ini")" = 1 ] || fail "a second DataBase key was added: $(cat "$ini")"
grep -qF "Messages=$prefix/messages/"$'\r' "$ini" || fail "no Messages key: $(cat -A "$ini")"
grep -qF "Agents=$prefix/agents/"$'\r' "$ini" || fail "no Agents key: $(cat -A "$ini")"
grep -qF "$prefix/libQuelta.so" "$HOME/.config/quelta/quelta.reg" || fail "libQuelta.so is not registered"

# The menu folder: valid entries whose programs exist, one .directory and a
# merge file that places every entry.
apps=$HOME/.local/share/applications
directory=$HOME/.local/share/desktop-directories/dovira-quelta.directory
menu=$HOME/.config/menus/applications-merged/dovira-quelta.menu
programs=(posta postp)
if [ -x "$build/bin/cfgman" ]; then
  programs+=(cfgman)
  for f in cfgman "$src"/cfgman/sounds/*.wav "$src"/cfgman/help/*; do
    [ -f "$prefix/$(basename "$f")" ] || fail "$(basename "$f") is not installed"
  done
elif [ -e "$apps/dovira-quelta-cfgman.desktop" ]; then
  fail "a menu entry for cfgman, which is not built"
fi
for p in "${programs[@]}"; do
  entry=$apps/dovira-quelta-$p.desktop
  [ -f "$entry" ] || fail "no menu entry for $p"
  out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ] || fail "$entry: $out"
  exec=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$entry")
  [ "$exec" = "$prefix/$p" ] || fail "$entry starts '$exec'"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -f "$icon" ] || fail "$entry has no icon at $icon"
done
out=$(desktop-file-validate "$directory" 2>&1) && [ -z "$out" ] || fail "$directory: $out"
/usr/bin/python3 - "$menu" "$directory" "${programs[@]}" <<'EOF' || fail "the menu merge file"
import os, sys, xml.etree.ElementTree as ET
menu, directory, programs = sys.argv[1], sys.argv[2], sys.argv[3:]
root = ET.parse(menu).getroot()
sub = root.find("Menu")
assert root.findtext("Name") == "Applications" and sub.findtext("Name") == "Quelta"
assert sub.findtext("Directory") == os.path.basename(directory)
names = {e.text for e in sub.iter("Filename")}
missing = {"dovira-quelta-%s.desktop" % p for p in programs} - names
assert not missing, missing
EOF

# The road, from the installed copy.
mkdir -p "$demo/received-mail"
# The server runs while its input stays open.
exec 3< <(exec sleep infinity 2>/dev/null)
pids+=($!)
/usr/bin/python3 "$src/mail/tests/smtp_sink.py" "$demo/received-mail" <&3 >"$demo/smtp.port" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$demo/smtp.port" ] && break; sleep 0.1; done
[ -s "$demo/smtp.port" ] || fail "aiosmtpd did not start"
source "$src/retriever/demo/dovecot-demo.sh" "$demo"
pids+=("$dovecot_pid")
"$build/bin/demosetup" "$demo" "127.0.0.1:$(head -n1 "$demo/smtp.port")" "127.0.0.1:$pop_port" >/dev/null

installed "$prefix/postp" /SINGLEPASS >"$t/postp.out" 2>&1 || { cat "$t/postp.out"; fail "postp"; }
log=$(cat "$prefix/mailproc.log")
grep -q ' -- Demo Sales -- retrieving mail' <<<"$log" || fail "postp did not retrieve: $log"
! grep -qE 'Error-|ERROR' <<<"$log" || fail "postp: $log"
pending=$(find "$demo/messages" -path '*/Pending/*' -name '-pop*' | wc -l)
[ "$pending" = 3 ] || fail "postp left $pending POP3 messages in Pending"

installed "$prefix/posta" /SINGLEPASS >"$t/posta.out" 2>&1 || { cat "$t/posta.out"; fail "posta"; }
log=$(cat "$prefix/agentproc.log")
! grep -qE 'Error-|ERROR' <<<"$log" || fail "posta: $log"
filed=$(find "$demo/messages" -path '*/In/*' -name '*.eml' | wc -l)
[ "$filed" = 6 ] || fail "posta filed $filed of 6 messages: $log"
replies=$(grep -l '"c1@customer.example"' "$demo"/received-mail/*.json) ||
  fail "aiosmtpd received no reply to the fetched order"
reply=${replies%%$'\n'*}
grep -q '^Subject: *Re: Order for two chairs' "${reply%.json}.eml" || fail "the reply: $(cat "${reply%.json}.eml")"

# A second install keeps every table and row, and the rest of the data.
data_sums >"$t/before"
run_install "$prefix" || fail "the second install"
grep -qF "the tables in $demo/db/ are kept" "$t/install.out" || fail "$(cat "$t/install.out")"
data_sums | diff "$t/before" - || fail "the second install changed data"
[ -x "$prefix/posta" ] || fail "the second install lost posta"

# Uninstalling removes the programs, the menu folder and the registration,
# and nothing else.
run_install --uninstall "$prefix" || fail "uninstall"
for f in cfgman about.wav QUELTAM.html posta postp mkschema regsvr libQuelta.so libquelta_com.so libwsock32.so \
  librasapi32.so libxbengine.so icons installed-files.txt; do
  [ ! -e "$prefix/$f" ] || fail "$f is still installed"
done
for f in "$apps"/dovira-quelta-*.desktop "$directory" "$menu"; do
  [ ! -e "$f" ] || fail "$f is still there"
done
! grep -qF "$prefix/libQuelta.so" "$HOME/.config/quelta/quelta.reg" || fail "libQuelta.so is still registered"
[ -f "$prefix/mailproc.log" ] && [ -f "$prefix/agentproc.log" ] || fail "the logs went"
data_sums | diff "$t/before" - || fail "uninstalling changed data"
if run_install --uninstall "$prefix"; then fail "a second uninstall found something to remove"; fi
echo "install, road, reinstall and uninstall passed"
