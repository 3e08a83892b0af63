#!/bin/sh
# The service's user and state, for both ways of installing Tessaro: called
# by setup-service.sh after `cmake --install`, and by the Debian package's
# postinst. Run as root:
#
#   setup-state.sh [--root DIR]
#
# Creates the system user "tessaro" (in the groups dialout for serial ports
# and plugdev for USB, where they exist), the working directory
# /var/lib/tessaro/run with programme/ in it for the control files that the
# web page edits, the runtime directory /run/tessaro, and makes
# /var/lib/tessaro/debug, the program's ../debug, a link to the runtime
# directory (tmpfs: the status files are replaced about ten times a second).
#
# An older set-up left /var/lib/tessaro/debug a real directory. Holding only
# status files, it is removed; holding anything else, it is renamed to
# debug.on-disk (or debug.on-disk.N when that name is taken) and left alone.
# Running it again changes nothing.
#
# --root DIR does the same below a scratch directory DIR, without the user
# and without ownership; no root needed.
set -eu

root=
if [ "${1:-}" = --root ]; then
  [ -d "${2:-}" ] || { echo "setup-state.sh: --root needs an existing directory" >&2; exit 2; }
  root=$(cd "$2" && pwd)
fi
state=$root/var/lib/tessaro
runtime=$root/run/tessaro

if [ -z "$root" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "setup-state.sh: run it as root" >&2; exit 1; }
  if ! id -u tessaro >/dev/null 2>&1; then
    useradd --system --user-group --home-dir /var/lib/tessaro --no-create-home \
      --shell /usr/sbin/nologin tessaro
  fi
  for group in dialout plugdev; do
    if getent group "$group" >/dev/null; then usermod -a -G "$group" tessaro; fi
  done
  owned() { install -d -o tessaro -g tessaro -m 0755 "$@"; }
else
  owned() { install -d -m 0755 "$@"; }
fi

# programme/ holds the control files that the web page edits: the one
# directory the gateway's service may write.
owned "$state" "$state/run" "$state/run/programme"
# systemd makes the runtime directory at each start; made here too, the link
# holds from now on, also for a program still running under an older unit.
owned "$runtime"

# True when directory $1 holds nothing but the program's status files.
only_status_files() {
  for entry in "$1"/* "$1"/.[!.]* "$1"/..?*; do
    case ${entry##*/} in
      fast.xml | slow.xml | fast.xml.tmp | slow.xml.tmp)
        [ -f "$entry" ] && [ ! -L "$entry" ] || return 1 ;;
      *) [ ! -e "$entry" ] && [ ! -L "$entry" ] || return 1 ;;  # an unmatched pattern
    esac
  done
}

debug=$state/debug
if [ -L "$debug" ] && [ "$(readlink "$debug")" = "$runtime" ]; then
  :
elif [ -L "$debug" ]; then
  echo "$debug pointed at $(readlink "$debug"); it now points at $runtime."
  ln -sfn "$runtime" "$debug"
elif [ -e "$debug" ]; then
  # Renamed before anything is looked at, so that a running program's next
  # status file already goes through the link, never into the old directory.
  aside=$state/debug.on-disk
  n=1
  while [ -e "$aside" ] || [ -L "$aside" ]; do aside=$state/debug.on-disk.$n; n=$((n + 1)); done
  mv "$debug" "$aside"
  ln -s "$runtime" "$debug"
  if [ -d "$aside" ] && only_status_files "$aside"; then
    rm -f "$aside/fast.xml" "$aside/slow.xml" "$aside/fast.xml.tmp" "$aside/slow.xml.tmp"
    rmdir "$aside"
  else
    echo "$debug was not only status files: moved aside to $aside, nothing deleted."
  fi
else
  ln -s "$runtime" "$debug"
fi
