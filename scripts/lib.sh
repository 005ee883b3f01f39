# Shared by the scripts: package installation and the build folder.
# shellcheck shell=bash

NG_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
NG_BUILD_DIR=${NG_BUILD_DIR:-$NG_ROOT/build}

# Runs a command as root: directly, or through sudo when that works without a password.
as_root() {
    if [ "$(id -u)" = 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo -n "$@"
    else
        return 1
    fi
}

# Installs the Debian packages that are missing. Returns non-zero when some
# cannot be installed (no root, no sudo, or apt fails).
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} = 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if ! as_root true; then
        echo "Cannot install ${missing[*]}: not root and no sudo." >&2
        return 1
    fi
    if [ -z "${NG_APT_UPDATED:-}" ]; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq || return 1
        export NG_APT_UPDATED=1
    fi
    # apt may exit non-zero because of another package's state; check what we asked for.
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null || true
    for pkg in "${missing[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            echo "Package $pkg could not be installed." >&2
            return 1
        fi
    done
}

# libssl-dev and zlib1g-dev: TLS and compression of the connection, SHA-256
# of saved pictures and yEnc's CRC-32; libgmime-3.0-dev: the MIME structure of
# articles; qt6-image-formats-plugins: the windows show WebP pictures;
# uudeview and python3: independent decoders (and uudeview an encoder) the
# decoders' tests check against; openssl: certificates made for the TLS tests.
NG_BUILD_PACKAGES=(build-essential cmake g++ pkg-config libgtest-dev libgmock-dev googletest
    libbenchmark-dev qt6-base-dev libgl-dev sharutils coreutils fonts-dejavu-core libssl-dev
    zlib1g-dev libsecret-1-dev libgmime-3.0-dev qt6-image-formats-plugins uudeview python3 xvfb
    xauth librsvg2-bin openssl dbus-daemon gnome-keyring)

# Configures and builds into $1 (default $NG_BUILD_DIR) with extra CMake arguments.
ng_build() {
    local dir=${1:-$NG_BUILD_DIR}
    shift || true
    cmake -S "$NG_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}
