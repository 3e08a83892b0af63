#!/usr/bin/env bash
# Tests the packages that scripts/package.sh put in dist/ the way Debian
# tests its packages, in a fresh Debian 12 tree (debootstrap --variant=minbase
# bookworm, from deb.debian.org), as root:
#
# 1. installs them with apt, pulling in what they depend on; runs the tests
#    of debian/tests (listed in its control file), each in a network of its
#    own so that port 1969 is its alone; purges them and compares the file
#    list with the one from before: only the event log and the history stay;
# 2. installs a previous build (the same tree packaged under a lower Debian
#    revision, from a throwaway changelog entry), edits Tessaro.ini, upgrades
#    to dist/, checks that the edit is still there, runs the tests again,
#    purges and compares again.
#
# The tree comes from scripts/chroot.sh, which keeps a tarball of it.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(pwd)

arch=$(dpkg --print-architecture)
version=$(dpkg-parsechangelog -S Version)
previous=${version%-*}-0
src=$tree/build-deb/$arch/tessaro-${version%-*}
for p in tessaro tessaro-gateway; do
  [[ -f dist/${p}_${version}_$arch.deb ]] || { echo "package-test.sh: no dist/${p}_${version}_$arch.deb: run scripts/package.sh" >&2; exit 1; }
done
[[ -f $src/debian/debhelper-build-stamp ]] || { echo "package-test.sh: no build in $src: run scripts/package.sh" >&2; exit 1; }
dpkg --compare-versions "$previous" lt "$version" || { echo "package-test.sh: $version has no lower revision" >&2; exit 1; }

step_start=$SECONDS
step() { echo "--- $1 (at $((SECONDS - step_start)) s)"; }

step "previous build $previous"
cp "$src/debian/changelog" "$src/debian/changelog.real"
{
  printf 'tessaro (%s) bookworm; urgency=medium\n\n  * The build before this one, for the upgrade test.\n\n' "$previous"
  printf ' -- %s  %s\n\n' "$(dpkg-parsechangelog -S Maintainer)" "$(date -R)"
  cat "$src/debian/changelog.real"
} >"$src/debian/changelog"
status=0
(cd "$src" && DEB_BUILD_OPTIONS="parallel=2 nocheck" dpkg-buildpackage -b -nc -us -uc -Pnocheck) \
  >"$tree/build-deb/previous.log" 2>&1 || status=$?
mv "$src/debian/changelog.real" "$src/debian/changelog"
[[ $status -eq 0 ]] || { tail -n 40 "$tree/build-deb/previous.log"; exit 1; }

. scripts/chroot.sh
root=$tree/build-deb/chroot
step "a fresh bookworm tree"
trap 'chroot_release "$root"' EXIT
chroot_fresh "$root" "$tree/build-deb/debootstrap.log"

in_root() { in_chroot "$root" "$@"; }
mkdir -p "$root/tmp/tessaro/dist" "$root/tmp/tessaro/previous"
cp -r debian "$root/tmp/tessaro/"
cp dist/tessaro_"${version}_$arch".deb dist/tessaro-gateway_"${version}_$arch".deb "$root/tmp/tessaro/dist/"
cp "build-deb/$arch/tessaro_${previous}_$arch.deb" "build-deb/$arch/tessaro-gateway_${previous}_$arch.deb" \
  "$root/tmp/tessaro/previous/"

# The tests and what they depend on beyond this source's packages.
mapfile -t tests < <(sed -n 's/^Tests: *//p' debian/tests/control | tr ' ' '\n' | grep .)
mapfile -t needs < <(sed -n 's/^Depends: *//p' debian/tests/control | tr ',' '\n' | tr -d ' ' |
  grep -vxE '@|tessaro|tessaro-gateway|' | sort -u)

step "apt-get update, and ${needs[*]} for the tests"
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends "${needs[@]}" >/dev/null

# Every path with its type and owner, but for apt's and dpkg's own records,
# caches, logs and scratch space, and the account files' backups (the user
# tessaro stays, as it owns the event log).
files() {
  in_root find / -xdev \( -path /proc -o -path /dev -o -path /sys -o -path /tmp -o -path /var/tmp \
    -o -path /var/cache -o -path /var/log -o -path /var/lib/apt -o -path /var/lib/dpkg \
    -o -path /etc/passwd- -o -path /etc/group- -o -path /etc/shadow- -o -path /etc/gshadow- \) -prune \
    -o -printf '%p %y %u\n' | LC_ALL=C sort
}
before=$(files)

passed=0 failed=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1"; failed=$((failed + 1)); }
run_tests() {
  local t
  for t in "${tests[@]}"; do
    if unshare --net bash -c 'ip link set lo up && exec chroot "$1" sh -c "cd /tmp/tessaro && \
        AUTOPKGTEST_TMP=\$(mktemp -d) debian/tests/$2"' test "$root" "$t"; then
      pass "$t"
    else
      fail "$t"
    fi
  done
}

# The purge leaves the event log and the history, with their directories.
kept='/var/lib/tessaro d tessaro
/var/lib/tessaro-gateway d tessaro
/var/lib/tessaro-gateway/history.sqlite f tessaro
/var/lib/tessaro/run d tessaro
/var/lib/tessaro/run/logfile.txt f tessaro'
purge_and_compare() {
  in_root apt-get purge -y -qq --autoremove tessaro tessaro-gateway >/dev/null
  local after added removed
  after=$(files)
  added=$(LC_ALL=C comm -13 <(echo "$before") <(echo "$after"))
  removed=$(LC_ALL=C comm -23 <(echo "$before") <(echo "$after"))
  if [[ $added == "$kept" && -z $removed ]]; then
    pass "purge leaves only the event log and the history"
  else
    fail "purge: beyond the event log and the history, the file list differs from before"
    diff <(echo "$kept") <(echo "$added") | sed -n 's/^> /  left: /p; s/^< /  missing: /p' || true
    [[ -z $removed ]] || sed 's/^/  gone: /' <<<"$removed"
  fi
}

step "install dist/ with apt"
in_root sh -c "cd /tmp/tessaro && apt-get install -y -qq ./dist/tessaro_*.deb ./dist/tessaro-gateway_*.deb" >/dev/null
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' tessaro tessaro-gateway mosquitto-clients
run_tests
step "purge"
purge_and_compare

step "install the previous build $previous, edit Tessaro.ini, upgrade to $version"
in_root sh -c "cd /tmp/tessaro && apt-get install -y -qq ./previous/tessaro_*.deb ./previous/tessaro-gateway_*.deb" >/dev/null
echo '; edited before the upgrade' >>"$root/etc/tessaro/Tessaro.ini"
cp "$root/etc/tessaro/Tessaro.ini" "$tree/build-deb/Tessaro.ini.edited"
in_root sh -c "cd /tmp/tessaro && apt-get install -y -qq ./dist/tessaro_*.deb ./dist/tessaro-gateway_*.deb" >/dev/null
upgraded=$(in_root dpkg-query -W -f='${Version}\n' tessaro tessaro-gateway | sort -u)
if [[ $upgraded == "$version" ]] && cmp -s "$tree/build-deb/Tessaro.ini.edited" "$root/etc/tessaro/Tessaro.ini"; then
  pass "upgrade to $version keeps the edited Tessaro.ini"
else
  fail "upgrade: installed $upgraded; Tessaro.ini against the edited one:"
  diff "$tree/build-deb/Tessaro.ini.edited" "$root/etc/tessaro/Tessaro.ini" || true
fi
run_tests
step "purge"
purge_and_compare

step "done"
chroot_release "$root"
trap - EXIT
echo "packages: $passed passed, $failed failed"
if [[ $failed -ne 0 ]]; then
  echo "package-test.sh: the tree is left in $root" >&2
  exit 1
fi
rm -rf --one-file-system "$root"
