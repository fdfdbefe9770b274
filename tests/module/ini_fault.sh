#!/usr/bin/env bash
# The settings file under faults: the module is created and released beside a
# J27.INI that it cannot write. The release must come back, and the file, its
# other sections included, must stay byte for byte as it was.
#
#   ini_fault.sh writable|readonly-file|readonly-dir|held-open <bin dir> <wine-run>
#
# writable is the control: beside a J27.INI it can write, the release must
# add what the file lacks and keep the rest, so a module that never wrote
# would fail it.
#
# Read-only means what Wine makes of the read-only attribute: no write
# permission. A root user ignores permissions, so as root the file or
# directory is made immutable instead; exit 77 (skipped) when neither holds.
set -euo pipefail
fault=$1 bin=$2 wine_run=$3
# A run killed before its clean-up leaves an immutable directory that not
# even rm -rf of the build tree removes: cleared here once it is stale.
if [ "$(id -u)" = 0 ]; then
  find "$bin/.." -maxdepth 1 -name 'ini_fault.*' -mmin +10 -exec chattr -R -i {} + -exec rm -rf {} + 2>/dev/null || true
fi
work=$(mktemp -d "$bin/../ini_fault.XXXXXX")
dir=$work/host
mkdir "$dir"
locked=()
lock() {
  locked+=("$1")
  if [ "$(id -u)" = 0 ]; then chattr +i "$1" 2>/dev/null || true; else chmod a-w "$1"; fi
}
unlock_all() {
  for path in "${locked[@]}"; do
    if [ "$(id -u)" = 0 ]; then chattr -i "$path" 2>/dev/null || true; else chmod u+w "$path" || true; fi
  done
  locked=()
}
trap 'unlock_all; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
fail() { echo "FAIL ($fault): $*" >&2; exit 1; }

# The host's other sections around ours; Enable is missing, so a release
# that could write would change the file.
original=$'[HOST]\r\nWindow=3\r\n\r\n[QUARIX_SOUND]\r\nVolume=88\r\n\r\n[OTHER]\r\nKey=Value\r\n'

# Runs the host in $dir; checks that the release came back and that the
# directory holds exactly what it held before: the same files, and J27.INI
# as it was or, when $work/expected.ini is there already, as that says.
run_host() {
  local before after status=0
  before=$(cd "$dir" && ls -A)
  if [ -f "$dir/J27.INI" ] && [ ! -f "$work/expected.ini" ]; then cp "$dir/J27.INI" "$work/expected.ini"; fi
  timeout 120 "$wine_run" "$dir/ini_fault_host.exe" "$@" >"$work/out" 2>&1 || status=$?
  cat "$work/out"
  [ "$status" = 0 ] || fail "host exit status $status"
  grep -q '^released' "$work/out" || fail "no release"
  after=$(cd "$dir" && ls -A)
  [ "$before" = "$after" ] || fail "directory changed: [$before] -> [$after]"
  if [ -f "$work/expected.ini" ]; then
    cmp "$work/expected.ini" "$dir/J27.INI" || fail "J27.INI not as expected: $(cat -A "$dir/J27.INI")"
  fi
  rm -f "$work/expected.ini"
}

# Skips unless the lock stops this shell too (it cannot for root without
# chattr support on this file system).
require_locked() {
  if ( : >>"$1" ) 2>/dev/null && [ -f "$1" ]; then
    echo "cannot make $1 unwritable here: skipped"
    exit 77
  fi
}

cp "$bin/ini_fault_host.exe" "$bin/Quarix.j27" "$dir/" || fail "programs missing in $bin"
case "$fault" in
writable)
  # Wine's profile writer drops the blank lines between sections.
  printf '%s' "$original" >"$dir/J27.INI"
  printf '[HOST]\r\nWindow=3\r\n[QUARIX_SOUND]\r\nVolume=88\r\nEnable=1\r\n[OTHER]\r\nKey=Value\r\n' >"$work/expected.ini"
  run_host
  ;;
readonly-file)
  printf '%s' "$original" >"$dir/J27.INI"
  lock "$dir/J27.INI"
  require_locked "$dir/J27.INI"
  run_host
  ;;
readonly-dir)
  # Without a file: nothing may appear. With one: it inherits the
  # directory's protection, as it would on Windows.
  lock "$dir"
  require_locked "$dir/new-file"
  run_host
  unlock_all
  printf '%s' "$original" >"$dir/J27.INI"
  lock "$dir/J27.INI"
  lock "$dir"
  run_host
  ;;
held-open)
  printf '%s' "$original" >"$dir/J27.INI"
  run_host --held
  ;;
*)
  fail "unknown fault"
  ;;
esac
echo "ok: $fault"
