#!/usr/bin/env bash
# Sets up, builds and runs the demo installation in demo-run/ with simulated
# devices. ESC or Ctrl-C ends the server and the simulators.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

top=$PWD
rm -rf demo-run
mkdir -p demo-run/run demo-run/debug
cp examples/demo/* demo-run/run/
cd demo-run/run

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

cat <<EOT

Tessaro demo installation in $top/demo-run/run
  Status files: $top/demo-run/debug/fast.xml and slow.xml
  Event log:    $top/demo-run/run/logfile.txt
  Switch a channel from another terminal:
    printf 'cmd=dout&username=demo&outn=0&mode=ein\r\n' | nc -q1 127.0.0.1 1969
  ESC or Ctrl-C ends the demo.
EOT

"$top/build/tessaro"
