# shellcheck shell=bash
# Installs what the build, the tests, the benchmarks and the checks need (Debian),
# only what is missing: what the program needs (run-deps.sh) and the test
# toolchain. Sourced by test.sh.
source "$(dirname "${BASH_SOURCE[0]}")/run-deps.sh"
orvex_test_packages=(
  qt6-tools-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev libxml2-dev
  clang libclang-rt-14-dev
  locales xvfb
)
orvex_install_missing "${orvex_run_packages[@]}" "${orvex_test_packages[@]}"

# Number conversions are tested under a German locale too, and our own files
# under a German and a Turkish one.
for orvex_locale in de_DE tr_TR; do
  if ! locale -a 2>/dev/null | grep -qi "^${orvex_locale}\.utf-\?8$"; then
    orvex_locale_cmd=()
    [[ $(id -u) -ne 0 ]] && orvex_locale_cmd=(sudo)
    "${orvex_locale_cmd[@]}" sed -i "s/^# *\(${orvex_locale}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${orvex_locale}.UTF-8 UTF-8" /etc/locale.gen ||
      echo "${orvex_locale}.UTF-8 UTF-8" | "${orvex_locale_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${orvex_locale_cmd[@]}" locale-gen >/dev/null
  fi
done
