#pragma once
// Records what the model shows through its view interfaces.

#include <map>
#include <string>
#include <vector>

#include "model/auto_save.h"
#include "model/spectrum.h"

namespace qel::test {

class ViewRecorder : public ParameterView, public AutoSaveView {
 public:
  void SelectGain(int index) override { gain = index; }
  void SelectSpeed(int index) override { speed = index; }
  void ClearSelectorTexts() override { ++selectorTextsCleared; }
  void SetStatusPanel(int panel, const std::string& text) override { panels[panel] = text; }
  void SetAdcText(const std::string& text) override { adcText = text; }
  void SetViewBoundTexts(const std::string& minText, const std::string& maxText) override {
    viewMin = minText;
    viewMax = maxText;
  }

  int gain = -1, speed = -1, selectorTextsCleared = 0;
  std::map<int, std::string> panels;
  std::string adcText, viewMin, viewMax;
};

}  // namespace qel::test
