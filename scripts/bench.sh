#!/usr/bin/env bash
# Builds into build/ and runs the benchmark against the real server, on the
# disk ($TMPDIR, default /tmp) and on tmpfs (/dev/shm), then the real
# gateway beside the server on tmpfs and a simulated year of its history on
# the disk; any arguments go to the benchmark (e.g. --idle-seconds 10,
# --only tmpfs, --no-gateway or --no-history while developing). It needs
# port 1969 and waits until no other program listens there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build
exec build/bench/tessaro_bench "$@"
