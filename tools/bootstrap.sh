#!/usr/bin/env bash
# Installs what the build, the tests and the benchmarks need on Debian 12.
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libgl-dev
  googletest libgtest-dev libgmock-dev
  # outside peers of the tests
  coreutils sharutils mpack python3 python3-aiosmtpd python3-dbfread python3-dbf
  libdbd-xbase-perl dovecot-pop3d crudini bwbasic yabasic
  xvfb xauth trayer xdotool alsa-utils procps desktop-file-utils
  # what the message editor printed, read back as text
  poppler-utils
  # the configuration manager on a desktop of its own: read back as a screen
  # reader would, and pictures of its windows
  dbus at-spi2-core python3-pyatspi python3-pil
  # an outside writer and reader of RTF
  libreoffice-writer-nogui
  # benchmark peers, and the profilers the benchmarks were tuned with
  libgmime-3.0-dev mpop fetchmail msmtp procmail libsqlite3-dev
  linux-perf valgrind
  # a loaded machine beside the tests, to try the timing-sensitive ones
  stress-ng
  # sanitizers and fuzzing
  clang-14 libclang-rt-14-dev libfuzzer-14-dev
  # a locale whose decimal separator is a comma, for the engine's numbers
  locales
)

# Generates de_DE.UTF-8 when it is not there yet (as root only).
ensure_locale() {
  locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8' && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap: run as root to generate the locale de_DE.UTF-8" >&2
    return 1
  fi
  if grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
  fi
  locale-gen >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  ensure_locale
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: run as root to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The distribution starts dovecot as a system service; the tests run their own.
if command -v systemctl >/dev/null && systemctl is-active --quiet dovecot 2>/dev/null; then
  systemctl stop dovecot || true
fi
ensure_locale
exit 0
