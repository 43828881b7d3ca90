# Shared by the scripts: configuring and building, and a
# private X display, PulseAudio daemon and Wine prefix that leave the user's
# own untouched. Source it; call cleanup_started on exit.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${APPUNTELLO_BUILD:-$root/build}
started_xvfb=""
started_pulse=""
started_wine=""
started_prefixes=()
# scripts/run sets it to setsid: Ctrl+C reaches the whole foreground process
# group, and the display and Wine must outlive it until its clean-up has
# closed the program in order.
apart=""

log() { echo "[$(basename "$0")] $*" >&2; }

# Some virtual machines cannot execute 32-bit code at all (no 32-bit
# compatibility mode), so wine32 cannot start there. The program is then also
# built for 64-bit Windows from the same source, and that build is what runs.
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Sets arch, arch_build and wine_loader for the build that can run here.
choose_arch() {
  if can_run_32bit; then
    arch=i686
    wine_loader=$(command -v wine)
  else
    arch=x86_64
    wine_loader=/usr/lib/wine/wine64
    [ -x "$wine_loader" ] || wine_loader=$(command -v wine64)
  fi
  arch_build=$build/$arch
}

# Configures a build folder the first time; after that, configures it again
# when a CMake file has changed since (a pull that adds a target, say): make
# would otherwise say it has no rule for a target the old files do not know.
configure() {  # dir source [cmake option...]
  local dir=$1 source=$2; shift 2
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$source" -B "$dir" "$@" >/dev/null
  elif [ -f "$dir/Makefile" ]; then
    cmake --build "$dir" --target cmake_check_build_system >/dev/null
  fi
}

build_targets() {  # dir [target...]
  local dir=$1; shift
  local targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}

configure_and_build() {  # arch [target...]
  local a=$1; shift
  configure "$build/$a" "$root" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$a.cmake" \
    -DCMAKE_BUILD_TYPE=Release || return 1
  build_targets "$build/$a" "$@"
}

# Builds the product (32-bit) and, where 32-bit code cannot run, the 64-bit twin.
build_all() {  # with_tests: yes|no
  choose_arch
  if [ "$arch" = i686 ]; then
    if [ "$1" = yes ]; then configure_and_build i686; else configure_and_build i686 Appuntello; fi || return 1
  else
    # With the tests, the 32-bit tests are built too although they cannot run
    # here: what only the 32-bit compiler refuses (a lambda where a stdcall
    # callback is wanted) shows here rather than on a machine that runs them.
    if [ "$1" = yes ]; then configure_and_build i686; else configure_and_build i686 Appuntello; fi || return 1
    if [ "$1" = yes ]; then configure_and_build x86_64; else configure_and_build x86_64 Appuntello; fi || return 1
    log "this machine cannot run 32-bit code: running the 64-bit build of the same source"
  fi
}

start_xvfb() {  # [geometry]
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  $apart Xvfb ":$n" -screen 0 "${1:-1024x768x24}" -nolisten tcp >/dev/null 2>&1 &
  started_xvfb=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
}

start_pulse() {
  export XDG_RUNTIME_DIR=$build/run/pulse
  mkdir -p "$XDG_RUNTIME_DIR/home"
  chmod 700 "$XDG_RUNTIME_DIR"
  HOME=$XDG_RUNTIME_DIR/home pulseaudio --kill >/dev/null 2>&1 || true
  # A null sink to play into, and a null source to record from: the sink's
  # monitor would do, but it delivers in bursts of up to 2 s while nothing
  # plays, so a short recording came out short; the source delivers in real
  # time, as a microphone does.
  if HOME=$XDG_RUNTIME_DIR/home pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
      --load="module-null-sink sink_name=null" --load="module-null-source source_name=microphone" \
      --load=module-native-protocol-unix >/dev/null 2>&1; then
    HOME=$XDG_RUNTIME_DIR/home pactl set-default-source microphone >/dev/null 2>&1 || true
    started_pulse=yes
  else
    log "no PulseAudio daemon: tests run without sound devices"
  fi
}

# Makes a Wine prefix ready: created once, set to run everything inside a
# Wine virtual desktop, which has a taskbar with a notification area (without
# one, every tray icon removal waits 2 s), and its server kept alive for the
# run, so that every start is quicker. Stopped by cleanup_started.
prepare_prefix() {  # dir
  local WINEPREFIX=$1
  export WINEPREFIX
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    "$wine_loader" wineboot -i >/dev/null 2>&1 || true
  fi
  if [ ! -f "$WINEPREFIX/.virtual-desktop" ]; then
    "$wine_loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$wine_loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wineserver -k >/dev/null 2>&1
    touch "$WINEPREFIX/.virtual-desktop"
  fi
  wineserver -p >/dev/null 2>&1 || true
  started_prefixes+=("$WINEPREFIX")
  # Start Wine's background processes now, detached from our output: started
  # by the first test, they would inherit its pipes and ctest would wait for them.
  $apart "$wine_loader" wineboot </dev/null >/dev/null 2>&1 || true
}

setup_wine() {  # [prefix], the build's own by default
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINELOADER=$wine_loader
  prepare_prefix "${1:-$arch_build/wineprefix}"
  export WINEPREFIX=${1:-$arch_build/wineprefix}
  started_wine=yes
}

cleanup_started() {
  local prefix
  [ -n "$started_wine" ] && wineserver -k >/dev/null 2>&1
  for prefix in "${started_prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1; done
  [ -n "$started_pulse" ] && HOME=$XDG_RUNTIME_DIR/home pulseaudio --kill >/dev/null 2>&1
  [ -n "$started_xvfb" ] && kill "$started_xvfb" 2>/dev/null && wait "$started_xvfb" 2>/dev/null
  return 0
}
