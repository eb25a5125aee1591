#pragma once
// `qel plot`: the spectrum drawn as the screen draws it, into PNG or SVG.
// Built only with the toolkit; the rest of the command line does without it.

#include "qel_cli.h"

namespace qel::cli {

// Draws the request's spectrum with the BMPColors set of the settings and
// writes the picture (replaced atomically). Throws std::exception on failure.
void DrawPlotFile(const PlotRequest& request, const Settings& operatorSettings);
// The passes of an archive over each other: the BMP set's background, each
// pass in its plot colour, the outliers in its first cursor's colour on top,
// their numbers in its text colour.
void DrawPassesFile(const PassesPlotRequest& request, const Settings& operatorSettings);

}  // namespace qel::cli
