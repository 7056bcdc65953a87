# Shared by the scripts: installs the Debian packages that are missing, and only those.

# Everything the build, the program and the tests need but the browsers.
WAYFOLD_BUILD_PACKAGES=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools
    libcurl4-openssl-dev ca-certificates
    libsqlite3-dev
    libgtest-dev libgmock-dev
    clang-format
    clang libclang-rt-14-dev
    tinyproxy microsocks
    xvfb xauth
)
# The browsers of the end-to-end tests of the extension; only scripts/test needs them.
WAYFOLD_TEST_BROWSERS=(chromium firefox-esr)
WAYFOLD_PACKAGES=("${WAYFOLD_BUILD_PACKAGES[@]}" "${WAYFOLD_TEST_BROWSERS[@]}")

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
