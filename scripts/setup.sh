# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by run.sh and test.sh: installs the Debian packages the build and
# the tests need, when any is missing.

KB_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-dejavu-core
    stockfish pgn-extract fairymax hoichess phalanx polyglot gnuchess sjeng
    xvfb xauth xdotool poppler-utils desktop-file-utils ccache
    shared-mime-info libglib2.0-bin qt6-translations-l10n
    clang libclang-rt-14-dev
)

kb_install_deps() {
    local missing=()
    local pkg
    for pkg in "${KB_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then
            sudo=(sudo)
        else
            echo "error: missing packages (${missing[*]}) and neither root nor sudo" >&2
            return 1
        fi
    fi
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds one tree below the checkout:
#   kb_build DIR [cmake options...] [--target TARGET]
kb_build() {
    local dir=$1
    shift
    local opts=() target=()
    while [ $# -gt 0 ]; do
        if [ "$1" = --target ]; then
            target+=(--target "$2")
            shift 2
        else
            opts+=("$1")
            shift
        fi
    done
    cmake -S "$KB_ROOT" -B "$KB_ROOT/$dir" -G Ninja "${opts[@]}" >/dev/null
    cmake --build "$KB_ROOT/$dir" "${target[@]}"
}
