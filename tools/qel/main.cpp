#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <iostream>

#include "qel_cli.h"
#ifdef QEL_WITH_PLOT
#include "qel_plot.h"
#endif
#ifdef _WIN32
#include "model/win_text.h"
#endif

namespace {

int RunQel(std::vector<std::string> args, bool errIsTerminal) {
  qel::cli::Environment env;
  env.ErrIsTerminal = errIsTerminal;
#ifdef QEL_WITH_PLOT
  env.Plot = qel::cli::DrawPlotFile;
  env.PlotPasses = qel::cli::DrawPassesFile;
#endif
  try {
    return qel::cli::Run(args, std::cout, std::cerr, env);
  } catch (const std::exception& e) {
    // Whatever escapes the commands (memory, threads) ends the run with a word.
    std::cerr << "qel: " << e.what() << "\n";
    return 1;
  }
}

#ifdef _WIN32
UINT consoleCodePage = 0;  // the console's own, given back at the end

BOOL WINAPI GiveBackCodePage(DWORD) {
  if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
  return FALSE;  // and Ctrl+C ends the run as usual
}
#endif

}  // namespace

#ifdef _WIN32
// The arguments as typed, whatever the system's code page: a Cyrillic file
// name reaches the program whole. The texts go out in UTF-8.
int wmain(int argc, wchar_t** argv) {
  // The console shows UTF-8 while qel runs, and its own code page after,
  // also when the run is broken off.
  consoleCodePage = GetConsoleOutputCP();
  SetConsoleCtrlHandler(GiveBackCodePage, TRUE);
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(qel::Utf8FromWide(argv[i]));
  const int status = RunQel(std::move(args), _isatty(2) != 0);
  std::cout.flush();
  std::cerr.flush();
  if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
  return status;
}
#else
int main(int argc, char** argv) { return RunQel(std::vector<std::string>(argv + 1, argv + argc), isatty(2) != 0); }
#endif
