# Installs the Debian packages the build needs, only when one is missing.
# Sourced by test.sh and run.sh.
orvex_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-multimedia-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev libxml2-dev libicu-dev
  clang libclang-rt-14-dev
  locales xvfb
)

orvex_missing=()
for p in "${orvex_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || orvex_missing+=("$p")
done
if ((${#orvex_missing[@]})); then
  echo "Installing: ${orvex_missing[*]}"
  sudo_cmd=""
  [[ $(id -u) -ne 0 ]] && sudo_cmd=sudo
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${orvex_missing[@]}" >/dev/null
fi

# Number conversions are tested under a German locale too, and our own files
# under a German and a Turkish one.
for orvex_locale in de_DE tr_TR; do
  if ! locale -a 2>/dev/null | grep -qi "^${orvex_locale}\.utf-\?8$"; then
    sudo_cmd=""
    [[ $(id -u) -ne 0 ]] && sudo_cmd=sudo
    $sudo_cmd sed -i "s/^# *\(${orvex_locale}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${orvex_locale}.UTF-8 UTF-8" /etc/locale.gen ||
      echo "${orvex_locale}.UTF-8 UTF-8" | $sudo_cmd tee -a /etc/locale.gen >/dev/null
    $sudo_cmd locale-gen >/dev/null
  fi
done
