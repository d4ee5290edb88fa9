#include <iostream>

#include "cli/Cli.h"
#include "io/TempNames.h"

int main(int argc, char** argv) {
  // Ctrl-C or a kill in the middle of a cut or split leaves no temporary file behind.
  pelcato::RemoveTemporariesOnSignals();
  return pelcato::RunCli(argc, argv, std::cout, std::cerr);
}
