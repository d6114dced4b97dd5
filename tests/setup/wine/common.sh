# Shared by the wine scripts: the wine programs, with or without Debian's
# alternatives links.
export WINEDEBUG=-all
WINE=${SETUP_WINE:-$(command -v wine || command -v wine-stable)}
WINESERVER=${SETUP_WINESERVER:-$(command -v wineserver || command -v wineserver-stable)}
