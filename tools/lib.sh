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

# Why wine32:i386 is missing after ensure_packages, for the line that says the
# i686 tests are skipped; empty when it is installed or was never tried.
# tools/test hands it on to its part inside the namespace.
WINE32_MISSING_REASON=${WINE32_MISSING_REASON:-}

ensure_packages() {
    local required=() loader=()
    local package
    for package in "${PACKAGES[@]}"; do
        if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            continue
        fi
        if [[ $package == *:i386 ]]; then
            loader+=("$package")
        else
            required+=("$package")
        fi
    done
    if [ ${#required[@]} -eq 0 ] && [ ${#loader[@]} -eq 0 ]; then
        return
    fi
    log "installing ${required[*]}${required[*]:+ }${loader[*]}"
    # The 32-bit loader runs the i686 build's tests; it comes from i386.
    if [ ${#loader[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    local updateLog=$BUILD_DIR/tmp/apt-update.log
    mkdir -p "$BUILD_DIR/tmp"
    # Errors in the index of one architecture do not stop apt from installing
    # from the others: they are kept for the loader's reason, not acted on.
    as_root apt-get update -qq >"$updateLog" 2>&1 || true
    if [ ${#required[@]} -gt 0 ]; then
        install_required "${required[@]}"
    fi
    if [ ${#loader[@]} -gt 0 ]; then
        install_loader "$updateLog" "${loader[@]}"
    fi
}

# Packages: quiet, and without recommends (fonts-liberation among them
# changes the font Wine shows for Tahoma).
apt_install() {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}

# Nothing builds without these. A mirror in the middle of a sync serves an
# index that does not match its release file, and such a sync usually ends
# within minutes: try again after a pause before giving up.
install_required() {
    local attempt
    for attempt in 1 2 3; do
        if apt_install "$@" >/dev/null; then
            return
        fi
        if [ "$attempt" -lt 3 ]; then
            log "could not install $* (attempt $attempt); trying again in $((attempt * 30)) s"
            sleep $((attempt * 30))
            as_root apt-get update -qq >/dev/null 2>&1 || true
        fi
    done
    log "ERROR: could not install $*"
    return 1
}

# Only the i686 tests need the 32-bit loader, so it costs one try a run:
# a mirror whose i386 index is broken fails the same way a minute later.
# tools/test then says in one line that those tests are skipped, and why.
install_loader() {
    local updateLog=$1
    shift
    local installLog=$BUILD_DIR/tmp/apt-install-i386.log
    if apt_install "$@" >"$installLog" 2>&1; then
        return
    fi
    if grep -q '^E:.*i386' "$updateLog"; then
        WINE32_MISSING_REASON="the package mirror's i386 index is broken; see $updateLog"
    else
        WINE32_MISSING_REASON="apt-get could not install it; see $installLog"
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
