// The IP port's page: the addresses of the processor's two Ethernet networks.
#pragma once
#include "ui/frames.h"

class QLabel;

namespace t32::ui {

class TPortIPFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TPortIPFrame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  void StoreItem() override;
  int HelpContext() const override { return 4; }

  TIpEdit* Address[2];
  TIpEdit* Mask[2];
  TIpEdit* Gateway[2];
  QLabel* CountLabel;
};

}  // namespace t32::ui
