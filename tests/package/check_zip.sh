#!/usr/bin/env bash
# Checks the Windows zip that scripts/package made: exactly each program's
# .exe, readme.txt and the example archives, the last two byte for byte as
# in the source; each .exe a 64-bit Windows program that needs no DLL but
# the system's own, so it runs wherever it is unpacked.
#   check_zip.sh DIST_DIR VERSION "PROGRAM;PROGRAM..." SOURCE_DIR
set -uo pipefail
# shellcheck source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

zip=$dist/arcdig-$version-win64.zip
if [ ! -f "$zip" ]; then
  echo "FAIL: no $zip (run scripts/package)"
  exit 1
fi
echo "Checking $zip"
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || {
  echo "FAIL: $objdump is missing (scripts/package installs it)"
  exit 1
}

expected=$(
  for program in "${programs[@]}"; do echo "$program.exe"; done
  echo readme.txt
  for archive in "$source_dir"/examples/*.slf; do echo "examples/$(basename "$archive")"; done
)
got=$(unzip -Z1 "$zip" | grep -v '/$')
[ "$(sort <<<"$got")" = "$(sort <<<"$expected")" ] ||
  fail "contents differ (< expected, > zipped):$(echo; diff <(sort <<<"$expected") <(sort <<<"$got"))"

for file in readme.txt "$source_dir"/examples/*.slf; do
  file=${file#"$source_dir"/}
  unzip -p "$zip" "$file" | cmp -s - "$source_dir/$file" || fail "$file in the zip differs from the source"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/arcdig-zip.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Windows itself provides these; anything else would have to lie beside the .exe.
system_dlls='^(kernel32|msvcrt|ucrtbase|user32|advapi32|shell32|ws2_32|bcrypt|ntdll|api-ms-win-.*)\.dll$'
for program in "${programs[@]}"; do
  exe=$work/$program.exe
  unzip -p "$zip" "$program.exe" >"$exe"
  [ "$(head -c 2 "$exe")" = MZ ] || fail "$program.exe is not a Windows program"
  "$objdump" -f "$exe" | grep -q 'file format pei-x86-64' || fail "$program.exe is not a 64-bit Windows program"
  dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ -n "$dlls" ] || fail "$program.exe: no imports found"
  while IFS= read -r dll; do
    [ -z "$dll" ] || [[ ${dll,,} =~ $system_dlls ]] || fail "$program.exe needs $dll"
  done <<<"$dlls"
done

finish "the Windows zip" "The Windows zip holds ${programs[*]} as self-contained programs, readme.txt and the examples"
