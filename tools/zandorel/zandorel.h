#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zfe::zandorel {

std::string version();

// The whole program: reads the arguments (without the program name), writes the
// diff dat and its report (zandorel.dat and zandorel.log in the current directory
// unless -o names them), and returns the exit code as diff(1) does: 0 no
// differences, 1 differences, 2 trouble. Help, version and the summary line go
// to `out`; errors go to `err` and, unless they are usage errors, the report.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace zfe::zandorel
