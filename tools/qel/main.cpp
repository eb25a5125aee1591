#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

#include <iostream>

#include "qel_cli.h"
#ifdef QEL_WITH_PLOT
#include "qel_plot.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  qel::cli::Environment env;
  env.ErrIsTerminal = isatty(2) != 0;
#ifdef QEL_WITH_PLOT
  env.Plot = qel::cli::DrawPlotFile;
#endif
  return qel::cli::Run(args, std::cout, std::cerr, env);
}
