#!/bin/sh
# Stands in for pon: prints pppd's lines and, once "connected", leaves a
# process and pppd's pid file behind (ppp-<entry>.pid: pid, then interface).
# Entries named fail* fail the connect script; slow* never connect.
entry=$1
run=${QUELTA_RAS_RUNDIR:?}
printf '%s\n' "$*" > "$run/args-$entry"
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
