#!/usr/bin/env bash
# Pictures of cfgman's windows, and of the mail retriever's about box, opened
# on the demonstration installation on a display of its own (Xvfb) and driven
# with xdotool, as PNG files.
#   tools/screenshots.sh [OUT-DIR]     (default docs/; QUELTA_DEMO_DIR as for tools/demo.sh)
# Runs tools/demo.sh first when there is no demonstration installation.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
demo=${QUELTA_DEMO_DIR:-/tmp/quelta-demo}
bash tools/bootstrap.sh
[ -f "$demo/win/quelta.ini" ] || bash tools/demo.sh >/dev/null
cmake -S . -B build -G Ninja -DQUELTA_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target cfgman postp >/dev/null
mkdir -p "$out"

Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$demo/xvfb.display" </dev/null \
  >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb ${app:-} 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$demo/xvfb.display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$demo/xvfb.display")" QT_QPA_PLATFORM=xcb QUELTA_WINDIR="$demo/win"

# The window with this title, once it shows.
window() { xdotool search --sync --onlyvisible --name "^$1\$" | head -n1; }
keys() { for k in "$@"; do xdotool key --clearmodifiers "$k"; sleep 0.3; done; }
# shot WINDOW-TITLE FILE: the window's picture, cut from the screen.
shot() {
  local id; id=$(window "$1")
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  sleep 0.8
  eval "$(xdotool getwindowgeometry --shell "$id")"
  /usr/bin/python3 -c 'import sys; from PIL import ImageGrab
x, y, w, h = map(int, sys.argv[2:6])
ImageGrab.grab(bbox=(x, y, x + w, y + h), xdisplay=sys.argv[1]).save(sys.argv[6])' \
    "$DISPLAY" "$X" "$Y" "$WIDTH" "$HEIGHT" "$out/$2"
  echo "$out/$2"
}

build/bin/cfgman >/dev/null 2>&1 &
app=$!
main=$(window "Quelta Configuration Manager")
xdotool windowfocus --sync "$main"
sleep 1
# The demonstration account's first agent, with its history open.
keys Home Down Down Right Down
sleep 1
shot "Quelta Configuration Manager" cfgman-main.png

keys alt+f s
shot "quelta System Status" cfgman-status.png
xdotool windowfocus --sync "$(window "quelta System Status")"
keys Escape

xdotool windowfocus --sync "$main"
keys alt+f n g
shot "Create New Folder" cfgman-newgroup.png
keys Escape

# The account wizard: its pages as a new account is typed, then Cancel.
xdotool windowfocus --sync "$main"
keys alt+f n Return
xdotool windowfocus --sync "$(window "Mail Account Wizard")"
xdotool type "Field Sales"
shot "Mail Account Wizard" cfgman-wizard-1.png
keys Return
shot "Mail Account Wizard" cfgman-wizard-2.png
keys Return
xdotool type "mail.example.com"
shot "Mail Account Wizard" cfgman-wizard-3.png
keys Return Return Return
shot "Mail Account Wizard" cfgman-wizard-6.png
keys Return
shot "Mail Account Wizard" cfgman-wizard-7.png
keys Escape

# The demonstration account's properties, tab by tab.
xdotool windowfocus --sync "$main"
keys Home Down Down alt+f p
for tab in 1 2 3 4; do
  shot "Modify Account Properties" "cfgman-properties-$tab.png"
  keys ctrl+Tab
done
keys Escape

xdotool windowfocus --sync "$main"
keys alt+v Return
shot "Preferences" cfgman-preferences.png
keys Escape

# The message editor on a message with an attachment, through File, Open,
# the path typed into the file dialog.
msg="$demo/offer.eml"
/usr/bin/python3 - "$msg" <<'PY'
import sys
from email.message import EmailMessage
m = EmailMessage()
m['From'] = 'Sales Desk <sales@example.com>'
m['To'] = 'Ann Smith <ann@customer.example>'
m['Subject'] = 'Your offer'
m.set_content('Dear Ann,\n\nthe prices you asked for are attached.\n\nRegards,\nSales Desk\n')
m.add_attachment(b'Item;Price\nWidget;4.20\n', maintype='text', subtype='csv',
                 filename='prices.csv')
open(sys.argv[1], 'wb').write(bytes(m))
PY
xdotool windowfocus --sync "$main"
keys alt+f Down Right Return
xdotool windowfocus --sync "$(window "Open rfc822 MIME Message File")"
sleep 0.5
xdotool type --delay 20 "$msg"
keys Return
shot "Your offer" cfgman-editor.png
keys alt+f c

# The agent wizard as an agent is put together, with the trigger and action
# editors on the way; then Cancel.
xdotool windowfocus --sync "$main"
keys alt+f n a
xdotool windowfocus --sync "$(window "Agent Wizard")"
shot "Agent Wizard" cfgman-agentwizard-1.png
keys Return alt+o alt+a
xdotool windowfocus --sync "$(window "Trigger Settings")"
keys Tab Tab
xdotool type "order"
shot "Trigger Settings" cfgman-trigger.png
keys Return
xdotool windowfocus --sync "$(window "Agent Wizard")"
shot "Agent Wizard" cfgman-agentwizard-2.png
keys Return alt+a
xdotool windowfocus --sync "$(window "Add Action")"
keys f Tab
xdotool type "orders@example.com"
shot "Add Action" cfgman-action.png
keys Return
xdotool windowfocus --sync "$(window "Agent Wizard")"
shot "Agent Wizard" cfgman-agentwizard-3.png
keys Return
xdotool type "Orders"
shot "Agent Wizard" cfgman-agentwizard-4.png
keys Escape

# The demonstration template in the editor and the merge-code inserter:
# File, New..., Auto-Reply Template... opens the templates page (and an
# empty editor, closed again); a click into the list, its first template,
# and File, Properties... opens it.
xdotool windowfocus --sync "$main"
keys alt+f n t
xdotool windowfocus --sync "$(window "New Message")"
keys alt+f c
xdotool windowfocus --sync "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
keys Home space alt+f p
template="Re: <<REPLYHEADER~Subject>>"
shot "$template" cfgman-template.png
keys alt+i m
xdotool windowfocus --sync "$(window "Insert Merge Code")"
keys Down
shot "Insert Merge Code" cfgman-mergecode.png
keys Escape
xdotool windowfocus --sync "$(window "$template")"
keys alt+f c

# The account's stored messages under the tree, and the preview of its
# POP3 mailbox: Dovecot again, on the port the account names, with three
# messages waiting. The preview stays on top, so it comes last.
pop=$(/usr/bin/python3 -c 'import sys, dbfread
print(next(iter(dbfread.DBF(sys.argv[1])))["POPADDRESS"].rsplit(":", 1)[1])' "$demo/db/NODES.DBF")
sed "s/^pop_port=.*/pop_port=$pop/" retriever/demo/dovecot-demo.sh >"$demo/dovecot-preview.sh"
source "$demo/dovecot-preview.sh" "$demo/preview"
trap 'kill $xvfb ${app:-} ${dovecot_pid:-} 2>/dev/null || true' EXIT
xdotool windowfocus --sync "$main"
keys ctrl+Tab
keys Home Down Down
sleep 1
shot "Quelta Configuration Manager" cfgman-messages.png
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 60)) click 3
keys Down Down Down Down Return
shot "Preview Messages on Server" cfgman-preview.png

xdotool windowfocus --sync "$main"
keys alt+f x
wait $app 2>/dev/null || true
app=

# The mail retriever's about box, from its icon's menu in a notification
# area of the display's own: Help, About.
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 \
  >/dev/null 2>&1 &
tray=$!
build/bin/postp >/dev/null 2>&1 &
retriever=$!
trap 'kill $xvfb ${app:-} ${dovecot_pid:-} $tray $retriever 2>/dev/null || true' EXIT
icon=$(xdotool search --sync --onlyvisible --pid "$retriever" | head -n1)
xdotool mousemove --window "$icon" 6 6 click 3
sleep 0.8
keys Up Up Right a
shot "About Quelta Mail Retriever" postp-about.png
keys Return
kill $retriever $tray 2>/dev/null || true
wait $retriever 2>/dev/null || true
