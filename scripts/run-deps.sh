# shellcheck shell=bash
# What building and running the program needs (Debian): the compiler and CMake,
# Qt with its platform plugins, ICU, and fonts that show every language of the
# GUI-text catalogue, Chinese included. Sourced by run.sh and, through
# ensure-deps.sh, by test.sh.
orvex_run_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-qpa-plugins libicu-dev
  fonts-dejavu-core fonts-wqy-microhei
)

# Installs the packages given that are missing. Root installs them itself; another
# user through sudo, but only at a terminal: an unattended run (ORVEX_UNATTENDED=1,
# or no terminal) never asks for a password, it names what is missing and fails.
orvex_install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then
    if [[ "${ORVEX_UNATTENDED:-0}" == 1 || ! -t 0 ]]; then
      echo "Missing packages: ${missing[*]}; install them as root: apt-get install ${missing[*]}" >&2
      return 1
    fi
    sudo_cmd=(sudo)
  fi
  echo "Installing: ${missing[*]}" >&2
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}
