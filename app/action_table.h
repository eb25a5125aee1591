#pragma once
// The window's command list as data: one row per action, in list order.

#include <QAction>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

#include <memory>

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

// An icon that shows one of the images and can be switched to another without
// touching the action that holds it. A new icon on an action lays out the
// tool bar again and marks every menu that lists it; a toggle that blinks
// three times a second would pay that each time. After a switch, the widgets
// that show the icon are repainted by the caller.
class SwitchedImage {
 public:
  explicit SwitchedImage(int index);
  // Copies share the image shown: switching shows the new image in every one.
  const QIcon& Icon() const { return icon_; }
  void Show(int index) { *index_ = index; }

 private:
  std::shared_ptr<int> index_;
  QIcon icon_;
};

// Creates the listed actions as children of `owner`, or adopts an action of
// that name that a part of the window already made (the view window makes
// its own), and gives each its row's caption, hint, image and state.
QHash<QString, QAction*> BuildActions(QWidget* owner, const QList<QAction*>& existing);

}  // namespace qel
