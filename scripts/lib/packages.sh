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
  kevo_apt_get update -qq && kevo_apt_get install -y -qq "${missing[@]}"
}

# kevo_apt_get ARG...: apt-get ARG... as root, without questions, waiting while
# another package run holds the package lock: a fresh machine's automatic update
# does, at its first boot, and an install stopped by it would leave the build to
# fail later on missing headers. It waits at most
# KEVO_APT_LOCK_TRIES pauses of KEVO_APT_LOCK_PAUSE seconds (10 minutes), saying so
# once, then gives up with apt-get's own message.
kevo_apt_get() {
  local tries=${KEVO_APT_LOCK_TRIES:-120} pause=${KEVO_APT_LOCK_PAUSE:-5} err rc try=0
  err=$(mktemp)
  while :; do
    rc=0
    # Through env: sudo does not pass the caller's environment on.
    kevo_as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@" 2>"$err" || rc=$?
    if [ "$rc" -ne 0 ] && [ "$try" -lt "$tries" ] &&
      grep -qE 'Could not get lock|Unable to acquire the dpkg frontend lock' "$err"; then
      [ "$try" -eq 0 ] &&
        echo "Another package run holds the package lock (an automatic update, perhaps): waiting for it to finish, at most $((tries * pause)) s..." >&2
      try=$((try + 1))
      sleep "$pause"
      continue
    fi
    cat "$err" >&2
    rm -f "$err"
    return "$rc"
  done
}
