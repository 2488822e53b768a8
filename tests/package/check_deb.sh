#!/usr/bin/env bash
# Checks the Debian package that scripts/package made: its control fields;
# that it holds exactly each program with its manual page and bash
# completion, and the example archives; and, unpacked into a scratch root
# with dpkg -x, that arcdig lists an example archive, every program prints
# its usage text, every manual page renders and every completion loads.
#   check_deb.sh DIST_DIR VERSION "PROGRAM;PROGRAM..." SOURCE_DIR
set -uo pipefail
# shellcheck source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

shopt -s nullglob
debs=("$dist/arcdig_${version}_"*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "FAIL: expected one arcdig_${version}_*.deb in $dist (run scripts/package), found ${#debs[@]}"
  exit 1
fi
deb=${debs[0]}
echo "Checking $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = arcdig ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ "$(basename "$deb")" = "arcdig_${version}_$(dpkg --print-architecture).deb" ] || fail "file name $(basename "$deb")"
[[ $(field Depends) == *libc6* ]] || fail "Depends lacks libc6: '$(field Depends)'"

# Every file, with its mode and owner.
expected=$(
  for program in "${programs[@]}"; do
    echo "-rwxr-xr-x root/root ./usr/bin/$program"
    echo "-rw-r--r-- root/root ./usr/share/man/man1/$program.1.gz"
    echo "-rw-r--r-- root/root ./usr/share/bash-completion/completions/$program"
  done
  for archive in "$source_dir"/examples/*.slf; do
    echo "-rw-r--r-- root/root ./usr/share/doc/arcdig/examples/$(basename "$archive")"
  done
)
got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }')
[ "$(sort <<<"$got")" = "$(sort <<<"$expected")" ] ||
  fail "contents differ (< expected, > packaged):$(echo; diff <(sort <<<"$expected") <(sort <<<"$got"))"

root=$(mktemp -d "${TMPDIR:-/tmp}/arcdig-deb.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root" || fail "dpkg -x failed"

# apt can install it here: its dependencies are met (simulated; nothing changes).
apt-get install --simulate --no-install-recommends "$deb" >"$root/apt.log" 2>&1 ||
  fail "apt-get install --simulate: $(cat "$root/apt.log")"

# The installed arcdig on an installed example, as the manual page shows it.
listing=$("$root/usr/bin/arcdig" -l "$root/usr/share/doc/arcdig/examples/tilesets.slf" '49\*')
expected_listing='49\grass.sti   2048 bytes
49\Rock.sti   1100 bytes
49\trees\palm.sti   1536 bytes
49\water.sti   900 bytes'
[ "$listing" = "$expected_listing" ] || fail "installed arcdig listed:$(echo; echo "$listing")"
for archive in "$source_dir"/examples/*.slf; do
  cmp -s "$archive" "$root/usr/share/doc/arcdig/examples/$(basename "$archive")" ||
    fail "$(basename "$archive") differs from the one in examples/"
done

for program in "${programs[@]}"; do
  usage=$("$root/usr/bin/$program" -h 2>&1)
  status=$?
  [ $status -eq 0 ] && [ -n "$usage" ] || fail "$program -h: status $status, output '$usage'"

  # The page renders without a warning and names its program.
  page=$root/usr/share/man/man1/$program.1.gz
  rendered=$(zcat "$page" | groff -man -Tutf8 -P-cbou -ww 2>"$root/groff.err")
  [ ! -s "$root/groff.err" ] || fail "$program.1 renders with warnings: $(cat "$root/groff.err")"
  name_line=$(sed -n '/^NAME$/{n;p;q}' <<<"$rendered")
  [[ $name_line == "       $program "* ]] || fail "$program.1: NAME line is '$name_line'"

  completion=$root/usr/share/bash-completion/completions/$program
  registered=$(bash --norc --noprofile -c 'source "$1" && complete -p "$2"' _ "$completion" "$program" 2>&1)
  [[ $registered == "complete -F "*" $program" ]] || fail "$program completion: '$registered'"
done

finish "the Debian package" "The Debian package holds and runs ${programs[*]}"
