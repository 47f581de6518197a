// The pickers of the Modbus device page: address ranges from a type's signal list laid on a
// copy of a polling-block grid ("Выбрать параметры"), and the events of a log
// ("Выбор событий журнала").
#pragma once
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

#include "ports/modbus_editor.h"

namespace t32::ui {

class TBlockGrid;

class TSelectParam : public QDialog {
  Q_OBJECT
 public:
  // section: "Список ТС", "Список ТУ", "Список ТИ" or "Список ТР"; lines: its "key=name" lines;
  // prefix: the device's signal prefix with its dot (lines too long for it are red).
  TSelectParam(const QString& section, int kind, const TGrid& grid, const std::vector<std::string>& lines,
               const std::string& prefix, QWidget* parent = nullptr);
  TGrid Grid() const;
  // "Добавить параметры в таблицу".
  void AddSelected();
  void DeleteRow(int row);

  TBlockGrid* GridView;
  QListWidget* List;
  QPushButton *AddButton, *OkButton, *CancelButton;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void Recolour();
  int kind_;
  std::string prefix_;
};

class TSelectLogParam : public QDialog {
  Q_OBJECT
 public:
  explicit TSelectLogParam(const std::vector<TLogLine>& lines, QWidget* parent = nullptr);
  // The lines with their ticks as the dialog shows them.
  std::vector<TLogLine> Lines() const;
  void TickSelected(bool on);

  QListWidget* List;
  QPushButton *SelectButton, *ClearButton, *OkButton, *CancelButton;

 private:
  std::vector<TLogLine> lines_;
};

}  // namespace t32::ui
