#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the program need.
# Idempotent: when everything is present it only checks and returns.
#   scripts/setup.sh          build, test and run dependencies
#   scripts/setup.sh --fuzz   also clang and its sanitizer runtime for fuzzing
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # Qt 6 (Core, Gui, Widgets, PrintSupport, Test) and its tools
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libgl-dev
  # fonts, shaping, images, compression, printing
  libfontconfig-dev libfreetype-dev libharfbuzz-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libcups2-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  qpdf poppler-utils imagemagick xvfb xauth xdotool libxml2-utils
  # the print tests run a private CUPS server of their own
  cups-daemon
  # independent readers that check the fonts and metafiles we write
  fonttools python3-fonttools opentype-sanitizer libharfbuzz-bin emf2svg libuemf-dev librsvg2-bin
  # fonts the program maps Windows face names to, and the CJK fallback chain
  fonts-arphic-ukai fonts-arphic-uming fonts-wqy-zenhei fonts-liberation2 fonts-hanazono
  # fonts the subsetter is checked on (composite glyphs, CFF in a collection)
  fonts-dejavu-core fonts-noto-cjk
  # a comma-decimal locale for the locale-independence tests
  locales
)
if [[ "${1:-}" == "--fuzz" ]]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$p")
done

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The number-formatting tests run under a German locale to prove that nothing
# the program writes depends on the user's decimal separator.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "setup: generating de_DE.UTF-8"
  if ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
echo "setup: all dependencies present"
