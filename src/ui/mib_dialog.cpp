#include "ui/mib_dialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "model/cp1251.h"
#include "ports/port_snmp.h"
#include "ui/dialogs.h"

namespace t32::ui {

namespace {
const char* const kMibFilter = "MIB-файлы|*.mib;*.txt;*.my|все файлы|*.*";

// "name|*.a;*.b|..." as Qt's "name (*.a *.b);;...".
QString QtFilter(const QString& pairs) {
  QStringList parts = pairs.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  return out.join(";;");
}

QString Category(const snmp::TMibNode* n) {
  using K = snmp::TMibNode::Kind;
  if (n->kind == K::Group) return "OBJECT-GROUP";
  if (n->kind == K::Table) return "OBJECT TABLE";
  if (n->kind == K::Row || (n->object && n->object->IsEntry)) return "TABLE ENTRY";
  return "OBJECT-TYPE";
}
}  // namespace

TMIBdlg::TMIBdlg(QWidget* parent) : QDialog(parent), cat_(std::make_unique<snmp::TMibCatalogue>()) {
  setObjectName("TMIBdlg");
  setWindowTitle("Загрузка MIB-файла");
  resize(900, 640);
  auto* lay = new QVBoxLayout(this);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(new QLabel("MIB-файл:", this));
  FileEdit = new QLineEdit(this);
  FileEdit->setObjectName("FileEdit");
  fileRow->addWidget(FileEdit, 1);
  BrowseButton = new QPushButton("выбрать...", this);
  BrowseButton->setObjectName("BrowseButton");
  fileRow->addWidget(BrowseButton);
  LoadButton = new QPushButton("загрузить", this);
  LoadButton->setObjectName("LoadButton");
  fileRow->addWidget(LoadButton);
  lay->addLayout(fileRow);

  auto* split = new QSplitter(Qt::Horizontal, this);
  TreeView = new QTreeWidget(split);
  TreeView->setObjectName("TreeView");
  TreeView->setHeaderHidden(true);
  TreeView->viewport()->installEventFilter(this);
  auto* info = new QGroupBox(split);
  auto* form = new QFormLayout(info);
  auto label = [&](const char* caption, const char* name) {
    auto* l = new QLabel(info);
    l->setObjectName(name);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(caption, l);
    return l;
  };
  ObjectLabel = label("Объект:", "ObjectLabel");
  OidLabel = label("OID:", "OidLabel");
  SyntaxLabel = label("Тип данных:", "SyntaxLabel");
  AccessLabel = label("Тип доступа:", "AccessLabel");
  CategoryLabel = label("Категория:", "CategoryLabel");
  DescriptionLabel = label("Описание:", "DescriptionLabel");
  auto* rows = new QWidget(info);
  auto* rowsLay = new QHBoxLayout(rows);
  rowsLay->setContentsMargins(0, 0, 0, 0);
  RowsEdit = new QSpinBox(rows);
  RowsEdit->setObjectName("RowsEdit");
  RowsEdit->setRange(0, snmp::TMibTree::kMaxRows);
  rowsLay->addWidget(RowsEdit);
  ApplyButton = new QPushButton("Применить", rows);
  ApplyButton->setObjectName("ApplyButton");
  rowsLay->addWidget(ApplyButton);
  rowsLay->addStretch();
  RowsCaption = new QLabel("Кол-во строк:", info);
  form->addRow(RowsCaption, rows);
  split->addWidget(TreeView);
  split->addWidget(info);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  lay->addWidget(split, 1);

  auto* lists = new QHBoxLayout;
  MessageList = new QListWidget(this);
  MessageList->setObjectName("MessageList");
  ErrorList = new QListWidget(this);
  ErrorList->setObjectName("ErrorList");
  ErrorList->setStyleSheet("color: red;");
  lists->addWidget(MessageList);
  lists->addWidget(ErrorList);
  lay->addLayout(lists);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  AddButton = new QPushButton("Добавить теги в конфигурацию", this);
  AddButton->setObjectName("AddButton");
  CloseButton = new QPushButton("Закрыть", this);
  CloseButton->setObjectName("CloseButton");
  buttons->addWidget(AddButton);
  buttons->addWidget(CloseButton);
  lay->addLayout(buttons);

  connect(BrowseButton, &QPushButton::clicked, this, &TMIBdlg::Browse);
  connect(LoadButton, &QPushButton::clicked, this, &TMIBdlg::Load);
  connect(ApplyButton, &QPushButton::clicked, this, &TMIBdlg::ApplyRows);
  connect(AddButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(TreeView, &QTreeWidget::currentItemChanged, this, &TMIBdlg::ShowInfo);
  connect(TreeView, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* it, int) {
    if (syncing_) return;
    snmp::TMibNode* n = NodeOf(it);
    if (!n) return;
    snmp::TMibTree::SetTicked(n, it->checkState(0) == Qt::Checked);
    SyncTicks(it);
  });
  ShowInfo();
}

TMIBdlg& TMIBdlg::Instance() {
  static TMIBdlg* dlg = [] {
    auto* d = new TMIBdlg;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, d, &QObject::deleteLater);
    return d;
  }();
  return *dlg;
}

snmp::TMibNode* TMIBdlg::NodeOf(QTreeWidgetItem* it) const {
  return it ? static_cast<snmp::TMibNode*>(it->data(0, Qt::UserRole).value<void*>()) : nullptr;
}

QTreeWidgetItem* TMIBdlg::ItemOf(const snmp::TMibNode* n) const {
  for (QTreeWidgetItemIterator i(TreeView); *i; ++i)
    if (NodeOf(*i) == n) return *i;
  return nullptr;
}

void TMIBdlg::Browse() {
  QString start = QString::fromStdString(cat_->ProgramMibFolder);
  QFileDialog dlg(this, "Выбрать MIB-файл", start, QtFilter(kMibFilter));
  dlg.setDefaultSuffix("mib");
  dlg.setFileMode(QFileDialog::ExistingFile);
  if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) FileEdit->setText(dlg.selectedFiles().first());
}

void TMIBdlg::Load() {
  QString path = FileEdit->text().trimmed();
  if (path.isEmpty()) return;
  TreeView->clear();
  tree_.Clear();
  MessageList->clear();
  ErrorList->clear();
  auto cat = std::make_unique<snmp::TMibCatalogue>();
  cat->ProgramMibFolder = cat_->ProgramMibFolder;
  cat->OnMibMessage = [this](const std::string& s) {
    MessageList->addItem(QString::fromStdString(s));
    MessageList->scrollToBottom();
    MessageList->repaint();
  };
  cat->OnMibError = [this](const std::string& s) {
    ErrorList->addItem(QString::fromStdString(s));
    ErrorList->scrollToBottom();
    ErrorList->repaint();
  };
  cat_ = std::move(cat);
  cat_->LoadMib(path.toStdString());
  tree_.Build(*cat_, QFileInfo(path).fileName().toStdString());
  FillTree();
}

void TMIBdlg::AddNode(QTreeWidgetItem* parent, snmp::TMibNode* n) {
  auto* it = new QTreeWidgetItem(parent, QStringList{QString::fromStdString(n->caption)});
  it->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(n)));
  it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
  it->setCheckState(0, n->ticked ? Qt::Checked : Qt::Unchecked);
  for (auto& c : n->children) AddNode(it, c.get());
}

void TMIBdlg::FillTree() {
  syncing_ = true;
  TreeView->clear();
  if (snmp::TMibNode* r = tree_.Root()) {
    auto* top = new QTreeWidgetItem(TreeView, QStringList{QString::fromStdString(r->caption)});
    top->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(r)));
    top->setFlags(top->flags() | Qt::ItemIsUserCheckable);
    top->setCheckState(0, r->ticked ? Qt::Checked : Qt::Unchecked);
    for (auto& c : r->children) AddNode(top, c.get());
    top->setExpanded(true);
  }
  syncing_ = false;
}

void TMIBdlg::SyncTicks(QTreeWidgetItem* it) {
  syncing_ = true;
  std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* x) {
    if (snmp::TMibNode* n = NodeOf(x)) x->setCheckState(0, n->ticked ? Qt::Checked : Qt::Unchecked);
    for (int i = 0; i < x->childCount(); ++i) walk(x->child(i));
  };
  walk(it);
  syncing_ = false;
}

void TMIBdlg::ShowInfo() {
  snmp::TMibNode* n = NodeOf(TreeView->currentItem());
  const snmp::TSNMPObject* o = n ? n->object : nullptr;
  bool group = n && n->group;
  ObjectLabel->setText(o ? QString::fromStdString(o->Name) : group ? QString::fromStdString(n->group->Name) : QString());
  OidLabel->setText(o ? QString::fromStdString(snmp::SnmpOidToString(o->Oid))
                      : group ? QString::fromStdString(snmp::SnmpOidToString(n->group->Oid)) : QString());
  SyntaxLabel->setText(o ? QString::fromStdString(o->Syntax) : QString());
  AccessLabel->setText(o ? QString::fromStdString(o->Access) : QString());
  CategoryLabel->setText(o || group ? Category(n) : QString());
  DescriptionLabel->setText(o ? QString::fromStdString(o->Description)
                              : group ? QString::fromStdString(n->group->Description) : QString());
  bool table = n && n->kind == snmp::TMibNode::Kind::Table;
  RowsCaption->setVisible(table);
  RowsEdit->parentWidget()->setVisible(table);
  if (table) RowsEdit->setValue(n->object->RowCount);
}

void TMIBdlg::ApplyRows() {
  QTreeWidgetItem* it = TreeView->currentItem();
  snmp::TMibNode* n = NodeOf(it);
  if (!n || n->kind != snmp::TMibNode::Kind::Table) return;
  snmp::TMibTree::SetRowCount(n, RowsEdit->value());
  syncing_ = true;
  for (QTreeWidgetItem* c : it->takeChildren()) delete c;
  for (auto& c : n->children) AddNode(it, c.get());
  syncing_ = false;
  it->setExpanded(true);
}

bool TMIBdlg::eventFilter(QObject* o, QEvent* e) {
  // A right-button release on the tree leaves without adding.
  if (o == TreeView->viewport() && e->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
    reject();
    return true;
  }
  return QDialog::eventFilter(o, e);
}

bool TMIBdlg::Open(TSNMP& agent) {
  if (cat_->ProgramMibFolder.empty())
    cat_->ProgramMibFolder = (QCoreApplication::applicationDirPath() + "/MIBs/").toStdString();
  tree_.TickTags(agent.dev.Tags);
  if (QTreeWidgetItem* top = TreeView->topLevelItem(0)) SyncTicks(top);
  ShowInfo();
  if (RunModal(*this) != QDialog::Accepted) return false;
  std::vector<std::string> skipped;
  snmp::TSNMP_TagList list = tree_.Collect(agent.dev.Tags, &skipped);
  return agent.ReplaceTags(std::move(list), skipped);
}

bool OpenMibDialog(TSNMP& agent) { return TMIBdlg::Instance().Open(agent); }

}  // namespace t32::ui
