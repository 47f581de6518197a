// The About window: program title, version and build; a right button release closes it.
#pragma once
#include "ui/dialogs.h"

namespace t32::ui {

class TAboutBox : public TRightCloseDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace t32::ui
