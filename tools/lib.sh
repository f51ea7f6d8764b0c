# Shared steps of tools/run and tools/test: packages, builds, the Wine prefix, Xvfb.
# Sourced, not run. Every helper keeps the process ids it starts, so the
# callers stop exactly what they started.

set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

PACKAGES=(
    cmake ninja-build
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    googletest
    wine wine64 wine32:i386 fonts-wine
    xvfb xauth x11-utils imagemagick
    iproute2 util-linux bsdutils python3
)

log() { printf '== %s\n' "$*"; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
    local missing=()
    local package
    for package in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return
    fi
    log "installing ${missing[*]}"
    # The 32-bit loader runs the i686 build's tests; it comes from i386.
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    # A mirror in the middle of a sync serves an index that does not match its
    # release file; apt then ignores it, and 32-bit packages whose 64-bit twins
    # are newer cannot be installed. Such a sync usually ends within minutes:
    # try again, then go on without the 32-bit loader (tools/test says so).
    local attempt
    for attempt in 1 2 3; do
        if as_root apt-get update -qq 2>&1 | tee /dev/stderr | grep -q '^E:'; then
            log "the package index is incomplete (attempt $attempt)"
        # No recommends: fonts-liberation among them changes the font Wine shows for Tahoma.
        elif as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
                --no-install-recommends "${missing[@]}" >/dev/null; then
            return
        fi
        [ "$attempt" -eq 3 ] || sleep $((attempt * 30))
    done
    local required=()
    for package in "${missing[@]}"; do
        [[ $package == *:i386 ]] || required+=("$package")
    done
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${required[@]}" >/dev/null
    if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends wine32:i386 >/dev/null; then
        log "WARNING: wine32:i386 cannot be installed from this mirror now; 32-bit programs will not run"
    fi
}

# True when Wine can run 32-bit programs here.
has_wine32() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'
}

# build_arch ARCH [TARGET...]: configure once, then an incremental Ninja build.
build_arch() {
    local arch=$1
    shift
    local dir=$BUILD_DIR/$arch
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$arch.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    if [ $# -gt 0 ]; then
        cmake --build "$dir" --target "$@"
    else
        cmake --build "$dir"
    fi
}

# The prefix lives in the build folder; its wineserver socket folder too.
wine_environment() {
    export WINEPREFIX=$BUILD_DIR/wineprefix
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES='mscoree,mshtml='
    export TMPDIR=$BUILD_DIR/tmp
    mkdir -p "$WINEPREFIX" "$TMPDIR"
    WINE=$(command -v wine64 || true)
    [ -n "$WINE" ] || WINE=/usr/lib/wine/wine64
    [ -x "$WINE" ] || WINE=$(command -v wine)
    export WINE
}

# Starts a persistent wineserver and boots the prefix, detached from our pipes
# (Wine's service processes would otherwise hold them open).
WINESERVER_PID=
start_wine() {
    wine_environment
    wineserver -k >/dev/null 2>&1 </dev/null || true
    wineserver -p -f >/dev/null 2>&1 </dev/null &
    WINESERVER_PID=$!
    "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
    # Debian's Wine looks for its own fonts (Tahoma, Marlett) where they are
    # not; without them the window shows fallback fonts and odd caption buttons.
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] && [ ! -e "$fonts/tahoma.ttf" ]; then
        cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
    fi
    if [ ! -f "$WINEPREFIX/.syslog-unmanaged" ]; then
        # Without a window manager, hiding a managed window stalls for seconds.
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            >/dev/null 2>&1 </dev/null
        touch "$WINEPREFIX/.syslog-unmanaged"
    fi
}

stop_wine() {
    wineserver -k >/dev/null 2>&1 </dev/null || true
    if [ -n "$WINESERVER_PID" ]; then
        wait "$WINESERVER_PID" 2>/dev/null || true
        WINESERVER_PID=
    fi
    # Wine's service processes can outlive a server that went first; anything
    # still running in our prefix is ours to end.
    local process
    for process in /proc/[0-9]*; do
        case $(readlink "$process/exe" 2>/dev/null) in
            *wine*) ;;
            *) continue ;;
        esac
        if { tr '\0' '\n' <"$process/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            kill -9 "${process#/proc/}" 2>/dev/null || true
        fi
    done
}

# Starts Xvfb on a free display number and exports DISPLAY.
XVFB_PID=
start_xvfb() {
    local displayFile=$BUILD_DIR/tmp/xvfb-display
    mkdir -p "$BUILD_DIR/tmp"
    : >"$displayFile"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayFile" >/dev/null 2>&1 </dev/null &
    XVFB_PID=$!
    local tries=0
    while [ ! -s "$displayFile" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
            echo "Xvfb did not start" >&2
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=:$(tr -d '[:space:]' <"$displayFile")
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

# Packs both architectures' syslog.exe (built if needed) and the users' readme
# into $BUILD_DIR/release/syslog-VERSION-windows.zip, and sets RELEASE_ZIP.
# The zip's time is the last commit's, so packing the same commit again
# gives the same bytes; SOURCE_DATE_EPOCH overrides it.
RELEASE_ZIP=
package_release() {
    build_arch x86_64 release_exe
    build_arch i686 release_exe
    local version epoch
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/x86_64/CMakeCache.txt")
    epoch=${SOURCE_DATE_EPOCH:-$(git -c safe.directory="$ROOT" -C "$ROOT" log -1 --format=%ct 2>/dev/null || true)}
    RELEASE_ZIP=$(python3 "$ROOT/cmake/release_zip.py" "$version" "${epoch:-0}" \
        "$BUILD_DIR/x86_64/release/syslog.exe" "$BUILD_DIR/i686/release/syslog.exe" \
        "$ROOT/docs/windows-readme.txt" "$BUILD_DIR/release")
}
