# Shared by the README's commands (run.sh, test.sh) and the benchmark:
# installing what the project needs, building, and the Wine side of things.
# Source it; it defines functions and sets nothing else.

TOLVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${TOLVANE_BUILD_DIR:=$TOLVANE_ROOT/build}"
: "${WINEPREFIX:=$TOLVANE_BUILD_DIR/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko prompts while the prefix is made: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

TOLVANE_PACKAGES=(
  cmake make g++ python3 pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 fonts-wine xvfb xauth x11-utils x11-apps imagemagick
  fonts-wqy-zenhei locales
  googletest libbenchmark-dev clang libclang-rt-14-dev
)

tolvane_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages that are missing and the zh_CN.UTF-8 locale
# (Wine takes code page 936 from it). Does nothing when all is there.
tolvane_install() {
  local missing=() p
  for p in "${TOLVANE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "tolvane: installing ${missing[*]}"
    tolvane_sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive tolvane_sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    echo "tolvane: generating the zh_CN.UTF-8 locale"
    if grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
      tolvane_sudo sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    elif ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
      echo 'zh_CN.UTF-8 UTF-8' | tolvane_sudo tee -a /etc/locale.gen >/dev/null
    fi
    tolvane_sudo locale-gen >/dev/null
  fi
}

# tolvane_configure NAME [cmake args...]: configures $TOLVANE_BUILD_DIR/NAME.
tolvane_configure() {
  local name=$1; shift
  cmake -S "$TOLVANE_ROOT" -B "$TOLVANE_BUILD_DIR/$name" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

tolvane_configure_all() {
  tolvane_configure native
  tolvane_configure win64 -DCMAKE_TOOLCHAIN_FILE="$TOLVANE_ROOT/cmake/toolchain-mingw-x86_64.cmake"
  tolvane_configure win32 -DCMAKE_TOOLCHAIN_FILE="$TOLVANE_ROOT/cmake/toolchain-mingw-i686.cmake"
}

# tolvane_build NAME [targets...]
tolvane_build() {
  local name=$1; shift
  local targets=()
  local t
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$TOLVANE_BUILD_DIR/$name" --parallel "$(nproc)" "${targets[@]}"
}

# Starts an Xvfb server of our own on the first free display and exports
# DISPLAY; tolvane_stop_display ends it. 1024x768 keeps the window's centred
# place easy to check.
TOLVANE_XVFB_PID=
tolvane_start_display() {
  local n=${TOLVANE_FIRST_DISPLAY:-90}
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  TOLVANE_XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 50); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "tolvane: Xvfb on $DISPLAY did not start" >&2
  return 1
}

tolvane_stop_display() {
  if [ -n "$TOLVANE_XVFB_PID" ]; then
    kill "$TOLVANE_XVFB_PID" 2>/dev/null || true
    wait "$TOLVANE_XVFB_PID" 2>/dev/null || true
    TOLVANE_XVFB_PID=
  fi
}

# Makes the project's own Wine prefix (never ~/.wine) the first time, then
# keeps a wineserver alive so that each Wine process starts fast.
tolvane_prepare_wine() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "tolvane: creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Already running (say, from an earlier command) is as good as started.
  wineserver -p || true
  # On a display of our own there is no window manager: with Wine's windows
  # managed, each hide or destroy waits two seconds for a manager that never
  # answers. On the user's display the manager frames the windows. This
  # first Wine process also starts Wine's own services, detached: started
  # by the first test instead, they would inherit its output pipe and keep
  # CTest waiting for them until the test's timeout.
  local managed=Y
  [ -n "$TOLVANE_XVFB_PID" ] && managed=N
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f \
    >/dev/null 2>&1 </dev/null || true
}

tolvane_stop_wine() {
  wineserver -k 2>/dev/null || true
}
