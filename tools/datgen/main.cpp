#include <string>
#include <vector>

#include "tools/datgen/command_line.h"

int main(int argc, char** argv) {
    return zfe::datgen::runDatgen(std::vector<std::string>(argv + 1, argv + argc));
}
