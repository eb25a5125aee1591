#pragma once
// Spectra whose automatic save failed are never given up silently: before
// the program leaves receive mode or ends, they are written once more, and
// what is still kept is put to the operator.

#include <functional>
#include <string>
#include <vector>

#include <QHash>
#include <QString>

#include "link/acquisition.h"

class QWidget;

namespace qel {

// Returns when no spectrum is kept any more: written into the working
// folder, into a folder the operator chose, or given up by the operator's
// explicit choice; or when `mayAsk` says the program may ask no more (it is
// being ended by the system). The question names the spectra it is about,
// and only those are written or given up: spectra kept while it was open
// (the link goes on receiving) are asked about next.
void SettleKeptSpectra(QWidget* parent, Acquisition& acquisition, const std::string& workDir,
                       const std::function<bool()>& mayAsk = {});

// The folders the kept spectra go to when the working folder does not take
// them: a folder of the user's own data, failing that the temporary folder;
// in each, one subfolder named by the time it was first needed, made once and
// used for the rest of the run (so that no earlier run's file is replaced).
class UserFallbackFolders : public FallbackFolders {
 public:
  std::string Folder(std::size_t n, std::string& why) override;

 private:
  QHash<QString, QString> made_;  // base folder -> this run's subfolder in it
};

}  // namespace qel
