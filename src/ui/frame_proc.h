// The processor board's page: station address, installation place, event-log options,
// password requirements and the table of sporadic ТИ groups.
#pragma once
#include <QStyledItemDelegate>

#include "ui/frames.h"

class QCheckBox;
class QTableWidget;

namespace t32::ui {

// Numeric cells of the group grid: digits, backspace and one decimal mark ("," or ".").
class TGroupDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& o, const QModelIndex& i) const override;
};

class TProcFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TProcFrame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  void StoreItem() override;
  int HelpContext() const override { return 3; }

  QLineEdit* PlaceEdit;
  TNumberEdit* AddrEdit;
  TNumberEdit* LogTimeEdit;
  QCheckBox* SaveTSBox;
  QCheckBox* PasswordBox[4];
  QTableWidget* GroupGrid;

 private:
  bool gridEdited_ = false;  // a cell was changed since the groups were shown
};

// Text of a group number: "%.6g" with a decimal comma, empty unless above 0.
QString GroupNumberText(float v);
// Reads a cell typed with a decimal comma or point; empty or bad text gives 0.
float GroupNumberValue(const QString& text);

}  // namespace t32::ui
