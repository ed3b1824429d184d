#!/bin/sh
# Stands in for poff: ends the link's process and removes its pid file.
entry=$1
run=${QUELTA_RAS_RUNDIR:?}
echo "$entry" >> "$run/poff.log"
if [ -f "$run/ppp-$entry.pid" ]; then
    kill "$(head -n 1 "$run/ppp-$entry.pid")" 2>/dev/null
    rm -f "$run/ppp-$entry.pid"
fi
exit 0
