#!/usr/bin/env bash
# Sets Tessaro up as a systemd service after `cmake --install`. Run as root:
#
#   PREFIX/share/tessaro/setup-service.sh [--root DIR] [PREFIX]
#
# PREFIX is the install prefix (default: the one this script was installed
# under). Prepares the user and the state with setup-state.sh beside it (the
# user "tessaro", /var/lib/tessaro/run, and /var/lib/tessaro/debug linked to
# the runtime directory /run/tessaro), copies the example Tessaro.ini to the
# working directory unless one exists, installs the unit as
# /etc/systemd/system/tessaro.service and the log rotation rule as
# /etc/logrotate.d/tessaro, and enables the unit. The web gateway's unit goes
# beside it as tessaro-gateway.service, with its options in
# /etc/default/tessaro-gateway (copied only when missing).
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
share=$prefix/share/tessaro
example=$share/example
unit=$share/tessaro.service
gateway_unit=$share/tessaro-gateway.service
gateway_options=$share/tessaro-gateway.default
rule=$share/tessaro.logrotate
state=$root/var/lib/tessaro

for f in "$program" "$prefix/bin/tessaro_gateway" "$example/Tessaro.ini" "$unit" "$gateway_unit" \
    "$gateway_options" "$rule" "$share/setup-state.sh"; do
  [[ -e $f ]] || { echo "setup-service.sh: $f is missing; give the install prefix" >&2; exit 1; }
done

if [[ -z $root ]]; then
  [[ $(id -u) -eq 0 ]] || { echo "setup-service.sh: run it as root" >&2; exit 1; }
  owner=(-o tessaro -g tessaro)
  rotate_as="tessaro tessaro"
  sh "$share/setup-state.sh"
else
  owner=()
  rotate_as="$(id -un) $(id -gn)"
  echo "Scratch root $root: user, ownership and systemctl skipped."
  sh "$share/setup-state.sh" --root "$root"
fi

if [[ ! -e $state/run/Tessaro.ini ]]; then
  install "${owner[@]}" -m 0644 "$example/Tessaro.ini" "$state/run/Tessaro.ini"
  echo "Example configuration copied to $state/run/Tessaro.ini: edit it before starting."
  # Its week programme with it; an existing installation keeps its own files.
  for f in "$example"/programme/*; do
    if [[ -f $f && ! -e $state/run/programme/${f##*/} ]]; then
      install "${owner[@]}" -m 0644 "$f" "$state/run/programme/"
    fi
  done
fi

mkdir -p "$root/etc/systemd/system" "$root/etc/logrotate.d"
sed -e "s|^ExecStart=.*|ExecStart=$program|" \
    -e "s|^WorkingDirectory=.*|WorkingDirectory=$state/run|" \
    "$unit" >"$root/etc/systemd/system/tessaro.service"
chmod 0644 "$root/etc/systemd/system/tessaro.service"
sed -e "s|^ExecStart=[^ ]*|ExecStart=$prefix/bin/tessaro_gateway|" \
    -e "s|^WorkingDirectory=.*|WorkingDirectory=$state/run|" \
    -e "s|^ReadWritePaths=-.*|ReadWritePaths=-$state/run/programme|" \
    "$gateway_unit" >"$root/etc/systemd/system/tessaro-gateway.service"
chmod 0644 "$root/etc/systemd/system/tessaro-gateway.service"
# The gateway's options are the administrator's: copied once, then kept.
mkdir -p "$root/etc/default"
if [[ ! -e $root/etc/default/tessaro-gateway ]]; then
  install -m 0644 "$gateway_options" "$root/etc/default/tessaro-gateway"
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
