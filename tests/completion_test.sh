#!/usr/bin/env bash
# Drives the bash completion of arcdig or arcpack the way bash does (COMP_WORDS,
# COMP_CWORD) and compares the replies, and the completion options asked for,
# with a table. For arcdig the replies are also fed back through the shell to
# show that a completed stored name reaches arcdig unchanged.
#   completion_test.sh arcdig|arcpack COMPLETION_FILE ARCDIG_BINARY EXAMPLES_DIR
set -uo pipefail
program=$1 completion=$2 arcdig=$3 examples=$4

work=$(mktemp -d "${TMPDIR:-/tmp}/arcdig-completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$examples"/*.slf "$work"/
mkdir "$work/out" "$work/my dir"
cp "$examples/faces.slf" "$work/my dir/faces copy.slf"
cp "$examples/bigitems.slf" "$work/BIG.SLF"
: >"$work/notes.txt"
# shellcheck source=/dev/null
source "$completion" || exit 1
cd "$work" || exit 1
# Outside a real completion compopt refuses to work: record what is asked.
compopt() {
  local IFS=' '
  options_asked+="$* "
}

failures=0
# check EXPECTED_REPLIES EXPECTED_OPTIONS WORD... : the last word is the one
# being completed; replies are sorted and joined with one blank.
check() {
  local expected=$1 expected_options=$2
  shift 2
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  options_asked=""
  "_$program"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd' ')
  if [[ $got != "$expected" || ${options_asked% } != "$expected_options" ]]; then
    printf 'FAIL: %s\n  replies: [%s], expected [%s]\n  options: [%s], expected [%s]\n' \
      "$*" "$got" "$expected" "${options_asked% }" "$expected_options"
    failures=$((failures + 1))
  fi
}

case $program in
  arcdig)
    a=$arcdig
    check '-h -j -l -n -o' '' "$a" -
    check '-l' '' "$a" -o -l
    # Archives: .slf files in any letter case, and folders; not other files.
    check 'BIG.SLF bigitems.slf faces.slf my dir out tilesets.slf' '-o filenames' "$a" -l ''
    check 'tilesets.slf' '-o filenames' "$a" -l t
    check 'my dir/faces copy.slf' '-o filenames' "$a" "'my dir/f"
    # Stored names, one folder level at a time, escaped for the shell.
    check '0\\ 149\\ 49\\ 50\\ tileset.dat' '' "$a" -l tilesets.slf ''
    check '49\\' '-o nospace' "$a" -l tilesets.slf 49
    check '49\\Rock.sti 49\\grass.sti 49\\trees\\ 49\\water.sti' '' "$a" -l tilesets.slf '49\\'
    check '49\\trees\\palm.sti' '' "$a" tilesets.slf '49\\trees\\'
    # Letter case is ignored, as arcdig ignores it; the typed part stays.
    check '49\\rock.sti' '' "$a" -l tilesets.slf '49\\r'
    check 'Face33\\ Fox.sti' '' "$a" -n faces.slf 'F'
    # Inside a quote the user opened, names go in as they are.
    check '49\trees\' '-o nospace' "$a" -l tilesets.slf "'49\\t"
    check 'gun01.sti gun02.sti gun03.sti' '' "$a" bigitems.slf gun01.sti '"gun'
    # The archive as typed: quoted, with a blank, or through PATH.
    check 'face33\\ fox.sti' '' "$a" "'my dir/faces copy.slf'" f
    check 'face33\\ fox.sti' '' "$a" 'my\ dir/faces\ copy.slf' f
    PATH="$(dirname "$a"):$PATH" check 'knife01.sti' '' arcdig BIG.SLF k
    # Nothing to offer: a pattern with wildcards, a missing archive, no match.
    check '' '' "$a" faces.slf '*speck*'
    check '' '' "$a" missing.slf ''
    check '' '' "$a" faces.slf zz
    # -d after the archive, then folders (completed by bash), then nothing.
    check '-d' '' "$a" faces.slf speck.sti -
    check '' '-o dirnames' "$a" faces.slf speck.sti -d ''
    check '' '' "$a" faces.slf speck.sti -d out ''

    # Completed words, read back by the shell, are the stored names.
    check '49\\Rock.sti 49\\grass.sti 49\\trees\\ 49\\water.sti' '' "$a" -l tilesets.slf '49\\'
    for word in "${COMPREPLY[@]}"; do
      [[ $word == *\\ ]] && continue  # a folder level, not a name
      eval "set -- $word"
      listed=$("$arcdig" -l tilesets.slf "$1")
      if [[ $1 != 49\\?* || $listed != "$1   "*" bytes" ]]; then
        printf 'FAIL: %s reaches arcdig as %q and lists [%s]\n' "$word" "$1" "$listed"
        failures=$((failures + 1))
      fi
    done
    ;;
  arcpack)
    check '--base-path --check --force --help --library-name --verbose --version' '' arcpack --
    check '--base-path --check --force --help --library-name --verbose --version -b -f -h -n -v' '' arcpack -
    # Option arguments: free text, or an archive after --check.
    check '' '' arcpack -n ''
    check '' '' arcpack --base-path ''
    check '' '-o default' arcpack --check ''
    check '' '' arcpack --check game.slf ''
    # ARCHIVE, then FOLDER, then nothing; options anywhere before --.
    check '' '-o default' arcpack ''
    check '' '-o dirnames' arcpack game.slf ''
    check '' '-o dirnames' arcpack -f -b 'data\' game.slf -v ''
    check '' '' arcpack game.slf folder ''
    check '' '-o default' arcpack -- -
    check '' '-o dirnames' arcpack -- -game.slf ''
    ;;
  *)
    echo "unknown program $program" >&2
    exit 2
    ;;
esac

if ((failures > 0)); then
  echo "$failures completion case(s) failed"
  exit 1
fi
echo "all $program completion cases passed"
