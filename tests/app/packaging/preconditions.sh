# Sourced by the packaging checks: what must be there before a check can mean anything.

# require_built PROGRAM...: each program is built.
require_built() {
    local program
    for program in "$@"; do
        if [ ! -x "$program" ]; then
            echo "FAIL: $program is not built; build the plaintrove and plaintrove-strip targets first" >&2
            exit 1
        fi
    done
}

# require_tools COMMAND:PACKAGE...: each command is installed (from the Debian package named).
require_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "${tool%%:*}" >/dev/null; then
            echo "FAIL: ${tool%%:*} is missing; install the Debian package ${tool#*:}" >&2
            exit 1
        fi
    done
}
