#pragma once
// `qel plot`: the spectrum drawn as the screen draws it, into PNG or SVG.
// Built only with the toolkit; the rest of the command line does without it.

#include "qel_cli.h"

namespace qel::cli {

// Draws the request's spectrum with the BMPColors set of the settings and
// writes the picture (replaced atomically). Throws std::exception on failure.
void DrawPlotFile(const PlotRequest& request, const Settings& operatorSettings);

}  // namespace qel::cli
