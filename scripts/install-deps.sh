#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Vornida needs.
# Idempotent: packages already present are left as they are.
set -euo pipefail

packages=(
  # toolchain and build
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  # unit tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # imaging
  libjpeg62-turbo-dev libpng-dev libexif-dev libvips-dev libvips-tools libpixman-1-dev liblcms2-dev
  # text rendering for the text shape of the command-line maker
  libpango1.0-dev libcairo2-dev fonts-dejavu-core
  # archives, network, hashing
  zlib1g-dev libminizip-dev libcurl4-openssl-dev libssl-dev
  # readers and tools the tests check our output with
  python3 python3-psd-tools python3-pil python3-numpy imagemagick libxml2-utils zip unzip gzip
  libheif-examples webp
  # file systems where saves cannot use unnamed temporary files: FAT images,
  # and a FUSE view of a folder for kernels without FAT
  dosfstools bindfs
  # the desktop program: GTK 3 and WebKitGTK, and what its tests drive it with
  libgtk-3-dev libwebkit2gtk-4.1-dev webkit2gtk-driver xvfb xauth xdotool x11-utils x11-apps dbus-x11
  python3-gi gir1.2-gtk-3.0
  # the user interface's browser tests (Playwright drives Debian's Chromium)
  chromium chromium-driver fonts-wqy-microhei
  # installing and packaging: validators of the desktop files, package checks
  desktop-file-utils appstream lintian shared-mime-info xdg-utils strace
  man-db groff-base libglib2.0-bin
  # the peer collage maker the collage benchmark compares against
  photocollage
  # shared object cache for faster rebuilds
  ccache
)

# The page tests run on Node.js with npm (version 20 or later for
# playwright-core); the machine's own Node.js is used when there is one.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
