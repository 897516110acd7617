# Sourced by run.sh and test.sh: installs the Debian packages the build, the tests and the program
# need, asking apt only for those that are missing.

plaintrove_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev libgtest-dev
    fonts-liberation fonts-comic-neue
    desktop-file-utils appstream dpkg-dev fakeroot lintian imagemagick strace parallel
    clang-14 libclang-rt-14-dev llvm-14 time
    python3 libgumbo-dev # the table of named references; the oracle of the readable tests
)

# Installs those of the given packages that are missing.
install_missing() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

plaintrove_install_missing() {
    install_missing "${plaintrove_packages[@]}" "$@"
}
