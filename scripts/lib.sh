# Shared by the README's commands (run.sh, test.sh) and the benchmark:
# installing what the project needs, building, and the Wine side of things.
# Source it; it defines functions and sets nothing else.

TOLVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${TOLVANE_BUILD_DIR:=$TOLVANE_ROOT/build}"
: "${WINEPREFIX:=$TOLVANE_BUILD_DIR/wineprefix}"
# The x86 programs get a 32-bit prefix of their own: a 64-bit prefix would
# need its WoW64 half, which is slow to set up under emulation.
: "${TOLVANE_WINEPREFIX_X86:=$TOLVANE_BUILD_DIR/wineprefix32}"
export WINEPREFIX TOLVANE_WINEPREFIX_X86
export WINEDEBUG=-all
# No Mono or Gecko prompts while the prefix is made: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

TOLVANE_PACKAGES=(
  cmake make g++ python3 pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 fonts-wine xvfb xauth x11-utils x11-apps imagemagick
  fonts-wqy-zenhei fonts-dejavu-core locales
  googletest libbenchmark-dev clang libclang-rt-14-dev
)

# What running the x86 program needs besides: Debian's 32-bit Wine, and qemu's
# user-mode emulator, because the kernel here runs no 32-bit code itself.
TOLVANE_X86_PACKAGES=(wine32:i386)
# qemu before 10 spends a minute in mmap per Wine process and then crashes.
TOLVANE_QEMU_MIN_MAJOR=10

tolvane_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages that are missing and the zh_CN.UTF-8 locale
# (Wine takes code page 936 from it). Does nothing when all is there.
# tolvane_missing_packages PACKAGE...: prints those of the packages that are
# not installed, one a line.
tolvane_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

tolvane_install() {
  local missing=()
  mapfile -t missing < <(tolvane_missing_packages "${TOLVANE_PACKAGES[@]}")
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

# The major version of an installed or candidate Debian package version
# string ("1:10.0.2+ds-2" gives 10).
tolvane_major_version() {
  local v=${1#*:}
  v=${v%%[!0-9]*}
  echo "${v:-0}"
}

# The suite qemu 10 comes from when the release's own is older: its
# backports suite, on the machine's own mirror.
# tolvane_add_backports CODENAME
tolvane_add_backports() {
  local codename=$1 mirror list=/etc/apt/sources.list.d/tolvane-backports.list
  if grep -rqs -- "$codename-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then return 0; fi
  # The mirror that serves the release itself: the URIs of a deb822 stanza
  # (a cloud image) or the first deb line (a debootstrap machine).
  mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  if [ -z "$mirror" ]; then
    mirror=$(awk -v c="$codename" '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i == c) { print $(i - 1); exit } }' \
      /etc/apt/sources.list 2>/dev/null || true)
  fi
  [ -n "$mirror" ] || { echo "tolvane: found no Debian mirror in the apt sources" >&2; return 1; }
  echo "tolvane: adding $codename-backports from $mirror (for qemu $TOLVANE_QEMU_MIN_MAJOR)"
  echo "deb $mirror $codename-backports main" | tolvane_sudo tee "$list" >/dev/null
}

# The 32-bit Wine and a qemu new enough to run it. Adds the i386
# architecture and, where the release's qemu is too old, its backports suite.
# Does nothing when all is there.
tolvane_install_x86() {
  local update=0 missing=() installed candidate codename
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "tolvane: adding the i386 architecture (for the 32-bit Wine)"
    tolvane_sudo dpkg --add-architecture i386
    update=1
  fi
  mapfile -t missing < <(tolvane_missing_packages "${TOLVANE_X86_PACKAGES[@]}")
  # Unknown to dpkg is not installed; the pipeline fails then, which is no error.
  installed=$(dpkg-query -W -f='${Status} ${Version}' qemu-user 2>/dev/null | sed -n 's/^install ok installed //p' || true)
  if [ -n "$installed" ] && [ "$(tolvane_major_version "$installed")" -ge "$TOLVANE_QEMU_MIN_MAJOR" ] &&
    [ ${#missing[@]} -eq 0 ] && [ $update -eq 0 ]; then
    return 0
  fi
  tolvane_sudo apt-get update -q
  if [ ${#missing[@]} -gt 0 ]; then
    echo "tolvane: installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive tolvane_sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
  if [ -z "$installed" ] || [ "$(tolvane_major_version "$installed")" -lt "$TOLVANE_QEMU_MIN_MAJOR" ]; then
    candidate=$(apt-cache policy qemu-user | awk '/Candidate:/ {print $2}')
    local target=()
    if [ "$(tolvane_major_version "${candidate:-0}")" -lt "$TOLVANE_QEMU_MIN_MAJOR" ]; then
      codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
      [ -n "$codename" ] || { echo "tolvane: no release codename in /etc/os-release" >&2; return 1; }
      tolvane_add_backports "$codename"
      tolvane_sudo apt-get update -q
      target=(-t "$codename-backports")
    fi
    echo "tolvane: installing qemu-user $TOLVANE_QEMU_MIN_MAJOR or later"
    DEBIAN_FRONTEND=noninteractive tolvane_sudo apt-get install -y -q --no-install-recommends "${target[@]}" qemu-user
  fi
}

# Lets the kernel hand 32-bit x86 programs to qemu-i386. This is kernel state
# that every boot loses, so it is checked and set up each time; an entry that
# is already there is left as it is.
tolvane_enable_x86_emulation() {
  local fs=/proc/sys/fs/binfmt_misc
  if [ ! -e "$fs/register" ]; then
    tolvane_sudo mount -t binfmt_misc binfmt_misc "$fs"
  fi
  if [ ! -e "$fs/qemu-i386" ]; then
    echo "tolvane: registering qemu-i386 for 32-bit programs (binfmt_misc, until the next boot)"
    tolvane_sudo sh -c "cat /usr/share/qemu/binfmt.d/qemu-i386.conf > $fs/register"
  fi
  if ! grep -qx enabled "$fs/qemu-i386"; then
    tolvane_sudo sh -c "echo 1 > $fs/qemu-i386"
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

# The loaders are named explicitly: with the 32-bit Wine installed, `wine`
# and `wineboot` from the PATH pick the 32-bit one.
TOLVANE_WINE64=/usr/lib/wine/wine64
TOLVANE_WINE32=/usr/lib/wine/wine

# The Chinese font that stands in for the ones Windows links its interface
# fonts to.
TOLVANE_CJK_FONT_LINK="wqy-zenhei.ttc,WenQuanYi Zen Hei"

# tolvane_prefix_settings MANAGED: the registry settings of a prefix, as a
# regedit file, so that one Wine process sets them all.
# - X11 Driver "Managed": on a display of our own there is no window manager,
#   and with Wine's windows managed each hide or destroy waits two seconds for
#   a manager that never answers. On the user's display the manager frames
#   the windows.
# - FontLink\SystemLink: Windows links its interface fonts (Tahoma among
#   them) to its Chinese fonts, so that text in the default GUI font shows
#   Chinese characters whatever the ANSI code page. Wine's default links name
#   Windows' own font files, which are not here; these name the Chinese font
#   that is, for Tahoma and for DejaVu Sans, which stands in for Tahoma here.
tolvane_prefix_settings() {
  local link
  link=$(printf '%s\0\0' "$TOLVANE_CJK_FONT_LINK" | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
  cat <<REG
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="$1"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"=hex(7):$link
"DejaVu Sans"=hex(7):$link
REG
}

# tolvane_prepare_prefix PREFIX LOADER WINEARCH: makes a Wine prefix of the
# project's own (never ~/.wine) the first time, then keeps a wineserver alive
# for it so that each Wine process starts fast.
tolvane_prepare_prefix() {
  local prefix=$1 loader=$2 arch=$3
  mkdir -p "$(dirname "$prefix")"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "tolvane: creating the Wine prefix $prefix ($arch)"
    WINEPREFIX=$prefix WINEARCH=$arch "$loader" wineboot -i >/dev/null 2>&1 </dev/null || true
    WINEPREFIX=$prefix wineserver -w
  fi
  # Debian's Wine looks for its own fonts in a folder it never finds, so
  # without this the caption buttons show as the letters "0 1 r" instead of
  # Marlett's glyphs. C:\windows\Fonts is the other place it looks.
  local fonts=$prefix/drive_c/windows/Fonts
  if [ ! -e "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts"
    ln -sf /usr/share/wine/fonts/marlett.ttf "$fonts/marlett.ttf"
  fi
  # Already running (say, from an earlier command) is as good as started.
  WINEPREFIX=$prefix wineserver -p || true
  # This first Wine process also starts Wine's own services, detached:
  # started by the first test instead, they would inherit its output pipe and
  # keep CTest waiting for them until the test's timeout.
  local managed=Y
  [ -n "$TOLVANE_XVFB_PID" ] && managed=N
  tolvane_prefix_settings "$managed" >"$prefix/drive_c/tolvane-settings.reg"
  WINEPREFIX=$prefix "$loader" regedit /S 'C:\tolvane-settings.reg' >/dev/null 2>&1 </dev/null || true
}

# The x64 prefix, which run.sh and the benchmark use.
tolvane_prepare_wine() {
  tolvane_prepare_prefix "$WINEPREFIX" "$TOLVANE_WINE64" win64
}

# The x86 prefix, whose programs run under qemu-i386.
tolvane_prepare_wine_x86() {
  tolvane_enable_x86_emulation
  tolvane_prepare_prefix "$TOLVANE_WINEPREFIX_X86" "$TOLVANE_WINE32" win32
}

tolvane_stop_wine() {
  local prefix
  for prefix in "$WINEPREFIX" "$TOLVANE_WINEPREFIX_X86"; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  done
}
