// Pages of the IEC 103 polling port and of its devices: the device's three address tables are
// grid tables on tabs; the type chooser with "Сохранить" and "Удалить" works on the type library.
#pragma once
#include <QDialog>
#include <QListWidget>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "ui/frame_port.h"
#include "ui/frames.h"
#include "ui/table_frame.h"

namespace t32 {
class TRTU103;
class TPort103;
}  // namespace t32

namespace t32::ui {

class TPort103Frame : public TPortFrame {
  Q_OBJECT
 public:
  TPort103Frame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  TNumberEdit* SpinEditWait;
  TNumberEdit* SpinEditTimeSet;
  TNumberEdit* SpinEditTimeOBD;
  QLabel* CountLabel;

 protected:
  void Fill() override;
};

// "Выбрать параметры": a copy of a page's table beside the lines of the type's list; lines
// already in the table are grey. "Принять" gives the table back to the page.
class TParams103Dialog : public QDialog {
  Q_OBJECT
 public:
  TParams103Dialog(int tab, const TGridTable& table, const std::vector<std::pair<std::string, std::string>>& lines,
                   QWidget* parent);
  void AddSelected();
  TTableFrame* Table;
  QListWidget* List;
  QPushButton* AddButton;
  QPushButton* AcceptButton;
  QPushButton* CancelButton;

 private:
  void Shade();
  int tab_;
  std::vector<std::pair<std::string, std::string>> lines_;
};

class TRTU103Frame : public TEditorFrame {
  Q_OBJECT
 public:
  TRTU103Frame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  void StoreItem() override { TryStoreItem(); }
  bool TryStoreItem() override;

  TChooser* TypeBox;
  QPushButton* SaveButton;
  QPushButton* DeleteButton;
  QLineEdit* PlaceEdit;
  TNumberEdit* AddrEdit;
  TNumberEdit* RepeatEdit;
  QTabWidget* Pages;
  TTableFrame* Grids[3];  // ТС, ТИ, ТУ (the device's table order)
  QPushButton* ChooseButtons[3];

 private:
  TRTU103* Device() const;
  void TypeChosen(const QString& text);
  void ChooseParameters(int tab);
  bool choosing_ = false;
};

}  // namespace t32::ui
