#pragma once
// Spectra whose automatic save failed are never given up silently: before
// the program leaves receive mode or ends, they are written once more, and
// what is still kept is put to the operator.

#include <string>

class QWidget;

namespace qel {

class Acquisition;

// Returns when no spectrum is kept any more: written into the working
// folder, into a folder the operator chose, or given up by the operator's
// explicit choice. The question is asked again until one of these happens.
void SettleKeptSpectra(QWidget* parent, Acquisition& acquisition, const std::string& workDir);

}  // namespace qel
