# Sourced: 64-bit Wine on this machine's own kernel, started through its own loader. The `wine`
# command prefers the 32-bit loader whenever it is installed, which a kernel without 32-bit
# support cannot start.
export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
wine64() { "$WINELOADER" "$@"; }
