# Wine settings shared by the scripts that run Windows programs; source it.
# Each run gets its own prefix unless WINEPREFIX names one that is ready.

export WINEDEBUG=${WINEDEBUG:--all}
# Keeps Wine from stopping to offer its Mono and Gecko installers.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

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

# Creates and boots a prefix when WINEPREFIX is unset or not booted yet.
corvane_wine_prefix_ready() {
  if [[ -z ${WINEPREFIX:-} ]]; then
    WINEPREFIX=$(mktemp -d)/prefix
    export WINEPREFIX
  fi
  # A persistent server writes the registry only when it ends, so a marker
  # of our own tells a booted prefix.
  if [[ ! -f $WINEPREFIX/.corvane-booted ]]; then
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    touch "$WINEPREFIX/.corvane-booted"
  fi
}
