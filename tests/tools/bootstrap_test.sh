#!/usr/bin/env bash
# tools/bootstrap against fake apt-get, dpkg-query and dpkg: the package index
# cannot be updated and 32-bit Wine cannot be installed. The right packages
# are asked for, the run goes on, and what is missing is reported; a missing
# build package stops it; as another user it only prints the command.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

cat >"$work/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_LOG"
# Options before the action (the lock's timeout) are logged, then skipped.
while [ "${1:-}" = -o ]; do shift 2; done
case $1 in
  update) exit 100 ;;
  install)
    for p in "$@"; do
      for bad in $FAKE_UNINSTALLABLE; do [ "$p" = "$bad" ] && exit 100; done
    done
    for p in "$@"; do [ "${p#-}" = "$p" ] && [ "$p" != install ] && echo "$p" >>"$FAKE_INSTALLED"; done
    exit 0 ;;
esac
FAKE
cat >"$work/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
p=${!#}
grep -qx "$p" "$FAKE_INSTALLED" && { printf 'install ok installed'; exit 0; }
exit 1
FAKE
cat >"$work/dpkg" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && exit 0
echo "dpkg $*" >>"$FAKE_LOG"
FAKE
chmod +x "$work/apt-get" "$work/dpkg-query" "$work/dpkg"
export APT_GET=$work/apt-get DPKG_QUERY=$work/dpkg-query DPKG=$work/dpkg FAKE_LOG=$work/log
export FAKE_INSTALLED=$work/installed BOOTSTRAP_UNAVAILABLE=$work/unavailable BOOTSTRAP_RETRY_SECONDS=0

# 1. As root, everything missing, the index out of sync, wine32 uninstallable.
: >"$FAKE_INSTALLED"
: >"$FAKE_LOG"
export BOOTSTRAP_UID=0 FAKE_UNINSTALLABLE=wine32:i386
out=$("$root/tools/bootstrap" --all 2>&1)
status=$?
[ $status -eq 0 ] || fail "bootstrap --all exited $status: $out"
[ "$(grep -c ' update -q' "$FAKE_LOG")" -eq 2 ] || fail "apt-get update not tried exactly twice"
# Every apt-get waits for the package manager's lock (another apt-get may hold it).
[ "$(grep -c 'update\|install' "$FAKE_LOG")" -eq "$(grep -c '^-o DPkg::Lock::Timeout=600 ' "$FAKE_LOG")" ] ||
  fail "an apt-get that does not wait for the lock: $(cat "$FAKE_LOG")"
grep -q 'going on with the package lists at hand' <<<"$out" || fail "no word on the failed update: $out"
grep -q 'cannot install wine32:i386' <<<"$out" || fail "wine32:i386 not named: $out"
[ "$(cat "$work/unavailable")" = wine32:i386 ] || fail "unavailable list: $(cat "$work/unavailable")"
for p in g++ cmake zlib1g-dev g++-mingw-w64-i686 wine64 qemu-user g++-multilib; do
  grep -qx "$p" "$FAKE_INSTALLED" || fail "$p not installed"
done
grep -q 'dpkg --add-architecture i386' "$FAKE_LOG" || fail "the i386 architecture not added"

# 2. The first README command: only the build's packages, never Wine.
: >"$FAKE_INSTALLED"
: >"$FAKE_LOG"
out=$("$root/tools/bootstrap" 2>&1) || fail "bootstrap exited non-zero: $out"
grep -q 'wine\|mingw' "$FAKE_LOG" && fail "the first command asked for Windows tools: $(cat "$FAKE_LOG")"
grep -q 'libcairo2-dev' "$FAKE_LOG" || fail "the build's packages not asked for"

# 3. A build package that cannot be installed stops the run, named.
: >"$FAKE_INSTALLED"
export FAKE_UNINSTALLABLE=zlib1g-dev
out=$("$root/tools/bootstrap" 2>&1) && fail "bootstrap went on without zlib1g-dev"
grep -q 'cannot install zlib1g-dev, which the build needs' <<<"$out" || fail "not named: $out"

# 4. Not root: the command to run, and no apt-get.
: >"$FAKE_INSTALLED"
: >"$FAKE_LOG"
export BOOTSTRAP_UID=1000 FAKE_UNINSTALLABLE=
out=$("$root/tools/bootstrap" 2>&1) && fail "bootstrap as a user with packages missing exited 0"
grep -q 'apt-get update && apt-get install -y' <<<"$out" || fail "no command printed: $out"
[ -s "$FAKE_LOG" ] && fail "apt-get ran as a user: $(cat "$FAKE_LOG")"

# 5. Nothing missing: nothing run.
printf '%s\n' g++ cmake ninja-build make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev \
  nlohmann-json3-dev libcairo2-dev zlib1g-dev >"$FAKE_INSTALLED"
: >"$FAKE_LOG"
"$root/tools/bootstrap" >/dev/null 2>&1 || fail "bootstrap with everything there exited non-zero"
[ -s "$FAKE_LOG" ] && fail "apt-get ran with nothing missing"

[ $failures -eq 0 ] && echo "bootstrap: all cases passed"
exit $((failures > 0))
