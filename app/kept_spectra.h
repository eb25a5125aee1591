#pragma once
// Spectra whose automatic save failed are never given up silently: before
// the program leaves receive mode or ends, they are written once more, and
// what is still kept is put to the operator.

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace qel {

class Acquisition;

// Returns when no spectrum is kept any more: written into the working
// folder, into a folder the operator chose, or given up by the operator's
// explicit choice; or when `mayAsk` says the program may ask no more (it is
// being ended by the system). The question names the spectra it is about,
// and only those are written or given up: spectra kept while it was open
// (the link goes on receiving) are asked about next.
void SettleKeptSpectra(QWidget* parent, Acquisition& acquisition, const std::string& workDir,
                       const std::function<bool()>& mayAsk = {});

// The program is ending without questions: the kept spectra go into the
// working folder, failing that into a fallback folder of the user's own
// (a new subfolder for each such end, so that no earlier file is replaced),
// failing that into the temporary folder. Returns the lines that say where
// they went, or what could not be written.
std::vector<std::string> WriteKeptSpectraUnasked(Acquisition& acquisition, const std::string& workDir);

}  // namespace qel
