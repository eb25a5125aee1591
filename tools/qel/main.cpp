#include <iostream>

#include "qel_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return qel::cli::Run(args, std::cout, std::cerr);
}
