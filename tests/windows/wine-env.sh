# Wine settings shared by the scripts that run Windows programs; source it.
# Each run gets its own prefix unless WINEPREFIX names one that is ready; a
# script that sources this ends with corvane_wine_cleanup, which removes the
# prefix it made (about 1.3 GB) and leaves a named one for its owner.

export WINEDEBUG=${WINEDEBUG:--all}

# The wine wrapper prefers the 32-bit loader, which cannot start where the
# kernel has no 32-bit support; each program gets the loader of its own kind.
corvane_wine_loader_for() {
  if x86_64-w64-mingw32-objdump -f "$1" | grep -q 'pei-x86-64'; then
    echo /usr/lib/wine/wine64
  else
    echo /usr/lib/wine/wine
  fi
}

corvane_wine_loader_works() {
  "$1" --version >/dev/null 2>&1
}

# The builds that run here: the 32-bit release with the 32-bit test tools
# where this machine runs 32-bit programs, the 64-bit build of the same code
# elsewhere. Sets CORVANE_PRESETS, CORVANE_PROGRAM and CORVANE_TOOLS (the
# folder of corvane_driver and minimal_dialog), relative to the source tree.
corvane_pick_builds() {
  if corvane_wine_loader_works /usr/lib/wine/wine; then
    CORVANE_PRESETS=(win32 win32-tests)
    CORVANE_PROGRAM=build/win32/app/Corvane.exe
    CORVANE_TOOLS=build/win32-tests/tests/e2e
  else
    CORVANE_PRESETS=(win64)
    CORVANE_PROGRAM=build/win64/app/Corvane.exe
    CORVANE_TOOLS=build/win64/tests/e2e
  fi
}

# Creates and boots a prefix when WINEPREFIX is unset or not booted yet.
# With "persistent", also starts a server that outlives each program, which
# saves every later program its start-up; end it with wineserver64 -k.
corvane_wine_prefix_ready() {
  if [[ -z ${WINEPREFIX:-} ]]; then
    CORVANE_OWN_PREFIX=$(mktemp -d)
    export WINEPREFIX=$CORVANE_OWN_PREFIX/prefix
  fi
  mkdir -p "$WINEPREFIX"
  # A virtual desktop gives windows their frames and maximised sizes without
  # a window manager, and closes them without X11's waits. The keys go in
  # before the server reads the registry: the desktop keeps the mode it
  # started in.
  [[ -f $WINEPREFIX/user.reg ]] || cat >"$WINEPREFIX/user.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\Wine\\Explorer]
"Desktop"="Default"

[Software\\Wine\\Explorer\\Desktops]
"Default"="1024x768"
REG
  if [[ ${1:-} == persistent ]]; then
    /usr/lib/wine/wineserver64 -p 2>/dev/null || true
  fi
  # A persistent server writes the registry only when it ends, so a marker
  # of our own tells a booted prefix.
  if [[ ! -f $WINEPREFIX/.corvane-booted ]]; then
    # Keeps Wine from stopping to offer its Mono and Gecko installers. Only
    # here: programs started with it set take seconds longer to start.
    WINEDLLOVERRIDES=mscoree,mshtml= /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    corvane_wine_marlett
    touch "$WINEPREFIX/.corvane-booted"
  fi
}

# The one prefix a user's runs share, kept in the cache folder: a prefix takes
# about 1.3 GB and half a minute to make. Sets WINEPREFIX to it and holds a
# lock on it until the script ends, since each run maps its own disk and
# floppy into the prefix's devices; a second run waits for the first.
corvane_wine_cache_prefix() {
  local cache=${XDG_CACHE_HOME:-$HOME/.cache}/corvane
  mkdir -p "$cache"
  exec {CORVANE_PREFIX_LOCK}>"$cache/wine-prefix.lock"
  if ! flock -n "$CORVANE_PREFIX_LOCK"; then
    echo "Another run is using $cache/wine-prefix; waiting for it to end."
    flock "$CORVANE_PREFIX_LOCK"
  fi
  export WINEPREFIX=$cache/wine-prefix
  corvane_wine_cache_release
}

# Leaves the shared prefix as a run found it: its server, which remembers
# drive A:, ends, and its devices no longer point at a run's images. A run
# calls it when it starts too, after one that was stopped.
corvane_wine_cache_release() {
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  rm -f "$WINEPREFIX"/dosdevices/{physicaldrive0,a:,a::}
}

# Caption buttons are glyphs of the Marlett font; without it Wine draws them
# as letters. Debian's Wine keeps its own copy (package fonts-wine) where the
# prefix does not look, so the prefix's font folder gets a link to it.
corvane_wine_marlett() {
  local marlett=/usr/share/wine/fonts/marlett.ttf
  if [[ -f $marlett ]]; then
    ln -sf "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
  else
    echo "wine-env: $marlett is missing (package fonts-wine):" \
      "caption buttons will show letters" >&2
  fi
}

# Ends what corvane_wine_prefix_ready and corvane_display_ready started for
# this script: the Wine server and the folder of a prefix it made, and Xvfb.
corvane_wine_cleanup() {
  if [[ -n ${CORVANE_OWN_PREFIX:-} ]]; then
    /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    rm -rf "$CORVANE_OWN_PREFIX"
  fi
  [[ -z ${CORVANE_XVFB_PID:-} ]] || kill "$CORVANE_XVFB_PID" 2>/dev/null || true
}

# Windows need an X server: starts Xvfb when DISPLAY names none.
corvane_display_ready() {
  if [[ -n ${DISPLAY:-} ]] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    return
  fi
  local number=$((90 + RANDOM % 100))
  # Another run's server may hold a number already: its lock file tells.
  while [[ -e /tmp/.X$number-lock ]]; do
    number=$((90 + RANDOM % 100))
  done
  Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  CORVANE_XVFB_PID=$!
  export DISPLAY=":$number"
  for _ in $(seq 50); do
    # Only our own server counts: one that lost the race for the number ends.
    kill -0 "$CORVANE_XVFB_PID" 2>/dev/null || break
    xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && return
    sleep 0.1
  done
  echo "Xvfb did not start on $DISPLAY" >&2
  return 1
}
