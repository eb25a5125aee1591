#pragma once
// The `qel` command line: recorded spectra without the window.

#include <iosfwd>
#include <string>
#include <vector>

namespace qel::cli {

// Runs the command with its arguments (without the program name); returns the
// exit status. Normal output goes to `out`, errors to `err`.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qel::cli
