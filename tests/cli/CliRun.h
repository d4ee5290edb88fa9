// Runs pelcato-cli in-process with its two output streams captured.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace pelcato::test {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

inline TRun RunCliWith(std::vector<std::string> args) {
  args.insert(args.begin(), "pelcato-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::ostringstream out, err;
  TRun r;
  r.Status = RunCli(int(argv.size()), argv.data(), out, err);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

}  // namespace pelcato::test
