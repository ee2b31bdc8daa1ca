# Shared by the set-up scripts (sourced): installing Debian packages and running
# as root only when something is missing, and saying what to do when that is not
# possible.

# Runs a command as root: directly when we are root, through sudo where it exists.
# When neither is possible it runs nothing, names the command and answers 1.
kevo_as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    {
      echo "This step needs root, and sudo is not installed. Run as root:"
      echo "  $*"
      echo "then run this again."
    } >&2
    return 1
  fi
}

# The packages of the list that are not installed, one a line.
kevo_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# kevo_ensure_packages WHAT PACKAGE...: installs the packages that are missing. Nothing
# runs as root when all are there; without root and without sudo it names the packages
# and the command that installs them, and fails.
kevo_ensure_packages() {
  local what=$1
  shift
  local missing
  mapfile -t missing < <(kevo_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
    {
      echo "$what needs these Debian packages, which are not installed:"
      echo "  ${missing[*]}"
      echo "Install them as root, then run this again:"
      echo "  apt-get install ${missing[*]}"
    } >&2
    return 1
  fi
  echo "Installing for $what: ${missing[*]}" >&2
  kevo_as_root apt-get update -qq
  # Through env: sudo does not pass the caller's environment on.
  kevo_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}
