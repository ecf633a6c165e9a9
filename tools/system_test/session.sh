#!/usr/bin/env bash
# The test user's graphical session, started as a display manager starts one: the user's
# ~/.profile read (where the README has GPSD_SOCKET set), an X server, then the XDG autostart
# entries (~/.config/autostart, /etc/xdg/autostart) through Debian's dex, under a session
# process that keeps and reports the programs it starts.
set -euo pipefail
# shellcheck source=/dev/null
. "$HOME/.profile"
here=$(dirname "$0")

mkfifo "$XDG_RUNTIME_DIR/display"
Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp 5> "$XDG_RUNTIME_DIR/display" &
read -r display_number < "$XDG_RUNTIME_DIR/display"
rm "$XDG_RUNTIME_DIR/display"
export DISPLAY=:$display_number
echo "session: X server on $DISPLAY"
exec python3 "$here/session_reaper.py" dex --autostart
