# Shared by the package checks; sourced, not run. Reads their arguments
#   DIST_DIR VERSION "PROGRAM;PROGRAM..." SOURCE_DIR
# into dist, version, programs (an array) and source_dir, and counts
# failures.
dist=$1 version=$2 source_dir=$4
IFS=';' read -ra programs <<<"$3"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Exits 1 after any failure, naming WHAT was checked; else prints SUCCESS.
finish() {
  if [ $failures -gt 0 ]; then
    echo "$failures check(s) of $1 failed"
    exit 1
  fi
  echo "$2"
}
