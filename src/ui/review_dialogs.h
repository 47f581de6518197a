// Reviewing the configuration in the window: "Сравнить с файлом…" shows what differs between a
// file and the configuration being edited as a tree (choosing a difference selects its item),
// "Сравнить с контроллером" does the same with the controller's configuration before it is
// overwritten, and "Экспортировать список сигналов…" writes the signal list a control centre is given.
#pragma once
#include <QString>
#include <functional>
#include <vector>

#include "review/diff.h"
#include "ui/dialogs.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace t32::ui {

class TForm1;

class TDiffDialog : public TRightCloseDialog {
  Q_OBJECT
 public:
  // list: the differences of the window's configuration (second side) against another.
  TDiffDialog(const QString& title, std::vector<TDifference> list, QWidget* parent = nullptr);
  const std::vector<TDifference>& Differences() const { return list_; }
  // Called with the chosen difference (its nodeB: the window's node, or the nearest item the
  // window still has).
  std::function<void(const TDifference&)> onChoose;

  QLabel* summary = nullptr;
  QTreeWidget* tree = nullptr;
  QPushButton* closeButton = nullptr;

 private:
  void Choose(QTreeWidgetItem* item);
  std::vector<TDifference> list_;
};

// The signal list formats the export offers.
enum class TSignalListFormat { CsvUtf8, CsvCp1251, Json };

// Puts both commands into the form's "Файл" menu (at its current end).
void AddReviewActions(TForm1& form);
// The commands without their file dialogs (tests, scripts): compares the window with the file
// and shows the dialog; writes the list of every output port. False on failure (shown).
bool CompareWithFile(TForm1& form, const QString& path);
// "Сравнить с контроллером": reads the controller's configuration on the link's worker and shows
// the differences before anything is written. False when the command could not start.
bool CompareWithController(TForm1& form);
bool ExportSignalList(TForm1& form, const QString& path, TSignalListFormat format);

}  // namespace t32::ui
