#!/bin/sh
# Stands in for pon: prints pppd's lines and, once "connected", leaves a
# process and pppd's pid file behind (ppp-<entry>.pid: pid, then interface).
# Records its arguments, and of an options file handed with "file" its mode
# and text. Entries named fail* fail the connect script; slow* never connect.
entry=$1
run=${QUELTA_RAS_RUNDIR:?}
printf '%s\n' "$*" > "$run/args-$entry"
prev=
for arg in "$@"; do
    if [ "$prev" = file ]; then
        stat -c %a "$arg" > "$run/mode-$entry"
        cat "$arg" > "$run/options-$entry"
    fi
    prev=$arg
done
case "$entry" in
fail*) echo "Connect script failed"; exit 1 ;;
esac
echo "Serial connection established."
echo "Using interface ppp0"
case "$entry" in
slow*) exec sleep 300 ;;
esac
echo "Connect: ppp0 <--> /dev/ttyS0"
echo "PAP authentication succeeded"
sleep 300 >/dev/null 2>&1 &
printf '%s\nlo\n' "$!" > "$run/ppp-$entry.pid"
echo "local  IP address 127.0.0.1"
exit 0
