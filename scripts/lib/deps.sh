# Installs the Debian packages that the build and the tests need, only when one is missing.
QP_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev python3-pyftpdlib
  xvfb xauth x11-utils fonts-noto-cjk qt6-translations-l10n libcpp-httplib-dev perl curl chromium nodejs
  dpkg-dev file lintian desktop-file-utils man-db bash-completion libssl-dev python3-openssl
  libssh-dev openssh-server openssl tzdata apache2)
# The browser test installs playwright-core and axe-core with npm; a node from elsewhere may bring its own
# npm (and conflict with Debian's), so the package is only asked for when the command is missing.
command -v npm >/dev/null 2>&1 || QP_PACKAGES+=(npm)

qp_install_deps() {
  local missing=() p
  for p in "${QP_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
