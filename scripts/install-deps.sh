#!/usr/bin/env bash
# Installs every Debian package that building, testing, packaging, benchmarking and fuzzing
# Tessane needs.
# Idempotent: packages already present are skipped without touching the network.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libqt6svg6
  libjpeg62-turbo-dev libjpeg-turbo-progs zlib1g-dev libdeflate-dev libopenjp2-7-dev libopenjp2-tools libtiff-dev libtiff-tools
  libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth openbox xdotool x11-utils xclip imagemagick libmagickcore-6.q16-6-extra python3-pil libvips-tools graphicsmagick
  libwmf-bin fonts-urw-base35 emf2svg
  fonts-dejavu-core
  fonts-dejavu-extra
  help2man dpkg-dev file lintian appstream desktop-file-utils python3
  # reading the real window from outside over AT-SPI (tools/window-check.sh)
  python3-pyatspi gir1.2-atspi-2.0 at-spi2-core dbus-x11
  # WebP and AVIF output, colour conversion to sRGB; the reference decoders the tests call
  # (dwebp, heif-convert), ICC profiles for the colour tests, butteraugli for choosing qualities
  libwebp-dev libheif-dev liblcms2-dev webp libheif-examples liblcms2-utils butteraugli
  # tessane-cli's modern inputs (HEIF/AVIF, WebP, JPEG XL) and the encoders and reference
  # decoders their test files are made and checked with
  libheif-dev libheif-examples libavif-bin libwebp-dev webp libjxl-dev libjxl-tools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
