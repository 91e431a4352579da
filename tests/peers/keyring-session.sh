#!/bin/sh
# Runs a command in a private session: its own HOME and XDG folders in a temporary folder, its own
# session bus, and on it a gnome-keyring whose login collection is unlocked with the password "pw".
# The bus has no DISPLAY, so an unlock prompt fails at once instead of waiting on the X server;
# the command itself keeps the caller's DISPLAY.
set -eu
T=$(mktemp -d "${TMPDIR:-/tmp}/tavrenhold-keyring.XXXXXX")
trap 'rm -rf "$T"' EXIT INT TERM
mkdir -p "$T/home" "$T/data" "$T/config" "$T/cache" "$T/run"
chmod 700 "$T/run"
export HOME="$T/home" XDG_DATA_HOME="$T/data" XDG_CONFIG_HOME="$T/config" XDG_CACHE_HOME="$T/cache" \
  XDG_RUNTIME_DIR="$T/run"
export TAVRENHOLD_KEYRING_DISPLAY="${DISPLAY-}"
status=0
env -u DISPLAY dbus-run-session -- sh -c '
  # Start the daemon before anything uses the bus: else the bus starts one with no unlocked collection.
  printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  i=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; do
    i=$((i + 1))
    if [ "$i" -ge 400 ]; then
      echo "keyring-session: gnome-keyring did not appear on the bus" >&2
      exit 1
    fi
    sleep 0.05
  done
  if [ -n "$TAVRENHOLD_KEYRING_DISPLAY" ]; then export DISPLAY="$TAVRENHOLD_KEYRING_DISPLAY"; fi
  exec "$@"' keyring-session "$@" || status=$?
exit "$status"
