// The add-devices picker of an RTU port: one cell per network address 1..255, the device type
// remembered by each picked cell, and "Добавить" / "Отмена".
#pragma once
#include <QDialog>
#include <QPushButton>
#include <string>
#include <vector>

#include "model/messages.h"

class QComboBox;
class QLabel;

namespace t32::ui {

// One address cell. Used addresses are flat and inert; free ones toggle on a click.
class TRtuCell : public QPushButton {
  Q_OBJECT
 public:
  TRtuCell(int address, QWidget* parent);
  int address;
  bool used = false;
  bool picked = false;
  QString type;  // the used device's type, or the type picked with the cell
  void ShowState();

 signals:
  void hovered(TRtuCell* cell);

 protected:
  void enterEvent(QEnterEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
};

class TSelectRTU : public QDialog {
  Q_OBJECT
 public:
  TSelectRTU(const std::vector<TDevicePick>& used, const std::vector<std::string>& types,
             QWidget* parent = nullptr);
  // The picked addresses, in address order, with the types they were picked with.
  std::vector<TDevicePick> Picked() const;
  TRtuCell* Cell(int address) const { return cells_[address - 1]; }

  QComboBox* TypeBox = nullptr;
  QLabel* StatusPanel = nullptr;
  QPushButton* AddButton = nullptr;
  QPushButton* CancelButton = nullptr;

 private:
  void Toggle(TRtuCell* cell);
  void Hover(TRtuCell* cell);
  std::vector<TRtuCell*> cells_;
};

}  // namespace t32::ui
