// Installs the product's developer files from the current folder into every
// supported development environment found in the registry.
#include "installer/installer.h"

int main() { return RunInstaller(); }
