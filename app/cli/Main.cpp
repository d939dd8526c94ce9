// parvell-cli: the command-line tool. Its main only hands the arguments to the dispatcher.

#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return parvell::cli::Dispatch(args, std::cout, std::cerr);
}
