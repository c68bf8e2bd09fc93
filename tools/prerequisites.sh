# Sourced by the quick-start scripts. ensure_packages PACKAGE=CHECK ...
# installs, on Debian and as root, every Debian package whose CHECK (a shell
# test) fails; otherwise it prints the exact command to run and stops.
ensure_packages() {
  local missing=() entry
  for entry in "$@"; do
    if ! eval "${entry#*=}" >/dev/null 2>&1; then
      missing+=("${entry%%=*}")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing ${missing[*]} with apt-get ..."
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  elif command -v apt-get >/dev/null 2>&1; then
    echo "Missing: ${missing[*]}. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  else
    echo "Missing: ${missing[*]} (Debian package names). Install them with your system's package manager." >&2
    exit 1
  fi
}

build_tools=("cmake=command -v cmake" "g++=command -v g++" "make=command -v make")
