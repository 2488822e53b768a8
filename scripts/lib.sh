# Shared by the scripts in this folder; sourced, not run.

# Installs the Debian packages named, those that are missing only.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# What a native build and its tests need: localedef and the locale sources
# make the terminal tests' Shift_JIS locale; groff renders the manual page
# for the documentation test.
ensure_build_tools() {
  ensure_packages cmake make g++ libgtest-dev locales groff-base
}

jobs() {
  nproc 2>/dev/null || echo 2
}
