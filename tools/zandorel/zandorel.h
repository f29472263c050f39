#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zfe::zandorel {

inline constexpr const char* kDiffDatName = "zandorel.dat";
inline constexpr const char* kLogName = "zandorel.log";

std::string version();

// The whole program: reads the arguments (without the program name), writes
// zandorel.dat and zandorel.log into the current directory, and returns the exit
// code as diff(1) does: 0 no differences, 1 differences, 2 trouble. Help and
// version go to `out`; errors go to `err` and the log.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace zfe::zandorel
