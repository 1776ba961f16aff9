# Sourced by the scripts: the Wine environment of one prefix and its persistent wineserver.
#   source scripts/wine-env.sh PREFIX
export WINEPREFIX=$(realpath -m "$1")  # Wine takes only an absolute path
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

# One wineserver for the whole run: every wine start then takes well under a second.
wine_server_start() {
  (wineserver -p >/dev/null 2>&1 &)
  # The first program that uses Winsock starts Wine's services, which inherit its standard
  # handles; start them now, with nothing attached, so no later test waits on them.
  local empty
  empty=$(mktemp -d)
  (cd "$empty" && timeout 60 wine "$top/build/windows/bin/KOMVAS.exe" </dev/null >/dev/null 2>&1) || true
  rm -rf "$empty"
}

wine_server_stop() {
  wineserver -k >/dev/null 2>&1 || true
}
