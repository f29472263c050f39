#include <iostream>
#include <string>
#include <vector>

#include "tools/zandorel/zandorel.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return zfe::zandorel::run(arguments, std::cout, std::cerr);
}
