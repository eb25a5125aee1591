#pragma once
// The window's command list as data: one row per action, in list order.

#include <QAction>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

namespace qel {

struct ActionRow {
  const char* Name;
  const char* Category;
  const char* Caption;
  const char* Hint;   // "" = none
  int Image;          // index into QelImageList, -1 = none
  unsigned Flags;
};

enum ActionFlag : unsigned {
  Checkable = 1,   // the handler (or Qt, for auto-check) flips the checked state
  Checked = 2,     // checked at design
  Disabled = 4,    // disabled at design
};

// Every action of the window, in the window's list order.
const QList<ActionRow>& ActionRows();

// The 16 x 16 images, by index (25 of them).
inline constexpr int ImageCount = 25;
QIcon QelImage(int index);

// Creates the listed actions as children of `owner`, or adopts an action of
// that name that a part of the window already made (the view window makes
// its own), and gives each its row's caption, hint, image and state.
QHash<QString, QAction*> BuildActions(QWidget* owner, const QList<QAction*>& existing);

}  // namespace qel
