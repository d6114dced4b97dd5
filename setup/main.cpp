// setup: installs, upgrades or removes the driver package. It runs with the
// package's root folder as its current directory.
#include <cstdlib>

#include "Installer.h"
#include "Win32System.h"

int main(int argc, char** argv) {
    setup::Win32System system;
    setup::Context context(system);
    std::exit(setup::RunInstaller(context, argc, argv));
}
