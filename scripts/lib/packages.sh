# The package step that every script of scripts/ shares. Sourced, not run.

# selvo_ensure_packages NAME...: installs the Debian packages that are missing (as root, after an
# apt-get update), or says which ones are missing and stops.
selvo_ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "$(basename "$0"): these Debian packages are missing: ${missing[*]}" >&2
        echo "Run it as root once (it installs them with apt-get), or install them yourself." >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
