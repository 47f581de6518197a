// "Загрузка MIB-файла": loads a MIB module, shows its objects as a tree with ticks and the
// selected object's details, and gives an agent the ticked objects as its tags. One dialog
// for the whole run: the loaded catalogue, its tree and the lists stay between openings.
#pragma once
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <memory>

#include "snmp/mib.h"
#include "snmp/mib_tree.h"

namespace t32 {
class TSNMP;
}

namespace t32::ui {

class TMIBdlg : public QDialog {
  Q_OBJECT
 public:
  explicit TMIBdlg(QWidget* parent = nullptr);
  // The one dialog of the run.
  static TMIBdlg& Instance();

  // "загрузить": a new catalogue from the path, its tree.
  void Load();
  // Shows the agent's own tags ticked; on "Добавить теги в конфигурацию" the agent's tags are
  // replaced (keeping those the tree cannot show). True when the tags were replaced.
  bool Open(TSNMP& agent);
  snmp::TMibTree& Tree() { return tree_; }
  QTreeWidgetItem* ItemOf(const snmp::TMibNode* n) const;

  QLineEdit* FileEdit;
  QPushButton* BrowseButton;  // "выбрать..."
  QPushButton* LoadButton;    // "загрузить"
  QListWidget* MessageList;
  QListWidget* ErrorList;
  QTreeWidget* TreeView;
  QLabel *ObjectLabel, *OidLabel, *SyntaxLabel, *AccessLabel, *CategoryLabel, *DescriptionLabel;
  QLabel* RowsCaption;
  QSpinBox* RowsEdit;          // "Кол-во строк:"
  QPushButton* ApplyButton;    // "Применить"
  QPushButton* AddButton;      // "Добавить теги в конфигурацию"
  QPushButton* CloseButton;    // "Закрыть"

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void Browse();
  void FillTree();
  void AddNode(QTreeWidgetItem* parent, snmp::TMibNode* n);
  void SyncTicks(QTreeWidgetItem* it);
  void ShowInfo();
  void ApplyRows();
  snmp::TMibNode* NodeOf(QTreeWidgetItem* it) const;

  std::unique_ptr<snmp::TMibCatalogue> cat_;
  snmp::TMibTree tree_;
  bool syncing_ = false;
};

// The tag choice of an agent through the one dialog.
bool OpenMibDialog(TSNMP& agent);

}  // namespace t32::ui
