#!/usr/bin/env bash
# Sets Tessaro up as a systemd service after `cmake --install`. Run as root:
#
#   PREFIX/share/tessaro/setup-service.sh [--root DIR] [PREFIX]
#
# PREFIX is the install prefix (default: the one this script was installed
# under). Creates the user "tessaro", the working directory
# /var/lib/tessaro/run, copies the example Tessaro.ini there unless one
# exists, makes /var/lib/tessaro/debug a link to the service's runtime
# directory /run/tessaro (tmpfs: the status files are replaced about ten times
# a second), installs the unit as /etc/systemd/system/tessaro.service and the
# log rotation rule as /etc/logrotate.d/tessaro, and enables the unit. The
# web gateway's unit goes beside it as tessaro-gateway.service, with its
# options in /etc/default/tessaro-gateway (written only when missing).
#
# An older set-up left /var/lib/tessaro/debug a real directory. Holding only
# status files, it is removed; holding anything else, it is renamed to
# debug.on-disk (or debug.on-disk.N when that name is taken) and left alone.
#
# Running it again is safe: an existing Tessaro.ini is never touched, a
# correct link is kept, and the unit and the rule are rewritten identically.
#
# --root DIR sets up a scratch tree instead, for tests and for a look at what
# would be written: every system path above lies below DIR, the user, the
# ownership and systemctl are skipped, and the rule rotates as the calling
# user. No root needed.
set -euo pipefail

root=
if [[ ${1:-} == --root ]]; then
  [[ -d ${2:-} ]] || { echo "setup-service.sh: --root needs an existing directory" >&2; exit 2; }
  root=$(cd "$2" && pwd)
  shift 2
fi

here=$(cd "$(dirname "$0")" && pwd)
prefix=${1:-$(cd "$here/../.." && pwd)}
program=$prefix/bin/tessaro
example=$prefix/share/tessaro/example
unit=$prefix/share/tessaro/tessaro.service
gateway_unit=$prefix/share/tessaro/tessaro-gateway.service
rule=$prefix/share/tessaro/tessaro.logrotate
state=$root/var/lib/tessaro
runtime=$root/run/tessaro

for f in "$program" "$prefix/bin/tessaro_gateway" "$example/Tessaro.ini" "$unit" "$gateway_unit" "$rule"; do
  [[ -e $f ]] || { echo "setup-service.sh: $f is missing; give the install prefix" >&2; exit 1; }
done

if [[ -z $root ]]; then
  [[ $(id -u) -eq 0 ]] || { echo "setup-service.sh: run it as root" >&2; exit 1; }
  owner=(-o tessaro -g tessaro)
  rotate_as="tessaro tessaro"
  if ! id -u tessaro >/dev/null 2>&1; then
    useradd --system --home-dir "$state" --no-create-home --shell /usr/sbin/nologin tessaro
  fi
  for group in dialout plugdev; do
    if getent group "$group" >/dev/null; then usermod -a -G "$group" tessaro; fi
  done
else
  owner=()
  rotate_as="$(id -un) $(id -gn)"
  echo "Scratch root $root: user, ownership and systemctl skipped."
fi

install -d "${owner[@]}" -m 0755 "$state" "$state/run"
if [[ ! -e $state/run/Tessaro.ini ]]; then
  install "${owner[@]}" -m 0644 "$example/Tessaro.ini" "$state/run/Tessaro.ini"
  echo "Example configuration copied to $state/run/Tessaro.ini: edit it before starting."
fi

# systemd makes the runtime directory at each start; made here too, the link
# holds from now on, also for a program still running under an older unit.
install -d "${owner[@]}" -m 0755 "$runtime"

# True when directory $1 holds nothing but the program's status files.
only_status_files() {
  local entry
  for entry in "$1"/* "$1"/.*; do
    case ${entry##*/} in
      . | ..) ;;
      fast.xml | slow.xml | fast.xml.tmp | slow.xml.tmp) [[ -f $entry && ! -L $entry ]] || return 1 ;;
      *) [[ ! -e $entry && ! -L $entry ]] || return 1 ;;  # an unmatched pattern
    esac
  done
}

debug=$state/debug
if [[ -L $debug && $(readlink "$debug") == "$runtime" ]]; then
  :
elif [[ -L $debug ]]; then
  echo "$debug pointed at $(readlink "$debug"); it now points at $runtime."
  ln -sfn "$runtime" "$debug"
elif [[ -e $debug ]]; then
  # Renamed before anything is looked at, so that a running program's next
  # status file already goes through the link, never into the old directory.
  aside=$state/debug.on-disk
  n=1
  while [[ -e $aside || -L $aside ]]; do aside=$state/debug.on-disk.$n; n=$((n + 1)); done
  mv "$debug" "$aside"
  ln -s "$runtime" "$debug"
  if [[ -d $aside ]] && only_status_files "$aside"; then
    rm -f "$aside"/fast.xml "$aside"/slow.xml "$aside"/fast.xml.tmp "$aside"/slow.xml.tmp
    rmdir "$aside"
  else
    echo "$debug was not only status files: moved aside to $aside, nothing deleted."
  fi
else
  ln -s "$runtime" "$debug"
fi

mkdir -p "$root/etc/systemd/system" "$root/etc/logrotate.d"
sed -e "s|^ExecStart=.*|ExecStart=$program|" \
    -e "s|^WorkingDirectory=.*|WorkingDirectory=$state/run|" \
    "$unit" >"$root/etc/systemd/system/tessaro.service"
chmod 0644 "$root/etc/systemd/system/tessaro.service"
sed -e "s|^ExecStart=[^ ]*|ExecStart=$prefix/bin/tessaro_gateway|" \
    -e "s|^WorkingDirectory=.*|WorkingDirectory=$state/run|" \
    "$gateway_unit" >"$root/etc/systemd/system/tessaro-gateway.service"
chmod 0644 "$root/etc/systemd/system/tessaro-gateway.service"
# The gateway's options are the administrator's: written once, then kept.
mkdir -p "$root/etc/default"
if [[ ! -e $root/etc/default/tessaro-gateway ]]; then
  cat >"$root/etc/default/tessaro-gateway" <<'EOT'
# Options of tessaro_gateway (see docs/web.md and docs/mqtt.md), for example
#   GATEWAY_OPTIONS=--http 0.0.0.0:8443 --users /var/lib/tessaro/gateway-users --tls-cert /etc/tessaro/cert.pem --tls-key /etc/tessaro/key.pem
#   GATEWAY_OPTIONS=--http 127.0.0.1:8080 --mqtt broker.local
GATEWAY_OPTIONS=--http 127.0.0.1:8080
EOT
fi
sed -e "s|^/var/lib/tessaro/run/logfile.txt |$state/run/logfile.txt |" \
    -e "s|^\([[:space:]]*\)su .*|\1su $rotate_as|" \
    "$rule" >"$root/etc/logrotate.d/tessaro"
chmod 0644 "$root/etc/logrotate.d/tessaro"

if [[ -z $root ]]; then
  systemctl daemon-reload
  systemctl enable tessaro.service tessaro-gateway.service
  if systemctl is-active --quiet tessaro.service; then
    echo "Enabled and running: systemctl restart tessaro runs it under this unit."
  else
    echo "Enabled. Start it with: systemctl start tessaro tessaro-gateway"
  fi
  echo "The web page: http://127.0.0.1:8080/ (options in /etc/default/tessaro-gateway)"
fi
