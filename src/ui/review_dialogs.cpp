#include "ui/review_dialogs.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "project/cfgfile.h"
#include "review/signal_list.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frames_tables.h"
#include "ui/link_session.h"

namespace t32::ui {
namespace {

constexpr int kDiffRole = Qt::UserRole + 1;  // index into the dialog's list

QString Detail(const TDifference& d) {
  auto rows = [&] {
    if (d.row >= 0 && d.rowB >= 0 && d.row != d.rowB)
      return QString("строка %1 → %2").arg(d.row + 1).arg(d.rowB + 1);
    return QString("строка %1").arg((d.row >= 0 ? d.row : d.rowB) + 1);
  };
  QString k = DiffKindCaption(d.kind);
  switch (d.kind) {
    case TDiffKind::Added:
    case TDiffKind::Removed: return k;
    case TDiffKind::Moved:
    case TDiffKind::Renumbered: return k + ": " + Q(d.path) + " → " + Q(d.pathB);
    case TDiffKind::Changed:
    case TDiffKind::SectionChanged: return k + ": " + Q(d.field);
    default: return k + ", " + rows() + ": " + Q(d.field);
  }
}

// The window's node a difference is about: its own, or for an item the window no longer has
// the nearest item above it that the window still has under the same path.
TNode* WindowNode(TDocument& doc, const TDifference& d) {
  if (d.nodeB) return d.nodeB;
  std::string path = d.path;
  while (!path.empty()) {
    std::size_t cut = path.rfind('/');
    path = cut == std::string::npos ? std::string() : path.substr(0, cut);
    if (path.empty()) break;
    TNode* hit = nullptr;
    doc.Tree().ForEach([&](TNode* n) {
      if (!hit && NodePath(n) == path) hit = n;
    });
    if (hit) return hit;
  }
  return doc.Tree().Root();
}

}  // namespace

TDiffDialog::TDiffDialog(const QString& title, std::vector<TDifference> list, QWidget* parent)
    : TRightCloseDialog(parent), list_(std::move(list)) {
  setObjectName("DiffDialog");
  setWindowTitle(title);
  resize(820, 520);
  auto* lay = new QVBoxLayout(this);
  summary = new QLabel(this);
  summary->setText(list_.empty() ? "Различий нет."
                                 : QString("Различий: %1. «Было» — сравниваемая конфигурация, «стало» — конфигурация в окне.")
                                       .arg(list_.size()));
  lay->addWidget(summary);
  tree = new QTreeWidget(this);
  tree->setObjectName("DiffTree");
  tree->setColumnCount(3);
  tree->setHeaderLabels({"Различие", "Было", "Стало"});
  tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  // One branch per item (its path in the window, or in the file when the window lacks it).
  std::map<std::string, QTreeWidgetItem*> groups;
  for (std::size_t i = 0; i < list_.size(); ++i) {
    const TDifference& d = list_[i];
    std::string key = d.pathB.empty() ? d.path : d.pathB;
    QTreeWidgetItem*& g = groups[key];
    if (!g) {
      g = new QTreeWidgetItem(tree, {Q(key)});
      g->setData(0, kDiffRole, static_cast<int>(i));
      g->setExpanded(true);
    }
    auto* it = new QTreeWidgetItem(g, {Detail(d), Q(d.oldValue), Q(d.newValue)});
    it->setData(0, kDiffRole, static_cast<int>(i));
    it->setToolTip(0, Q(DifferenceLine(d)));
  }
  tree->expandAll();
  lay->addWidget(tree, 1);
  closeButton = new QPushButton("Закрыть", this);
  lay->addWidget(closeButton, 0, Qt::AlignRight);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { Choose(item); });
  connect(tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { Choose(item); });
}

void TDiffDialog::Choose(QTreeWidgetItem* item) {
  if (!item || !onChoose) return;
  bool ok = false;
  int i = item->data(0, kDiffRole).toInt(&ok);
  if (!ok || i < 0 || static_cast<std::size_t>(i) >= list_.size()) return;
  onChoose(list_[static_cast<std::size_t>(i)]);
}

namespace {
// Shows the differences of the window's configuration against `other` (what was).
void ShowDifferences(TForm1& form, TDocument& other, const QString& title) {
  TDocument& doc = form.Doc();
  std::vector<TDifference> list = CompareConfigurations(other, doc);
  // Differences about items the window no longer has point at the nearest one it has.
  for (auto& d : list)
    if (!d.nodeB) d.nodeB = WindowNode(doc, d);
  TDiffDialog dlg(title, std::move(list), &form);
  dlg.onChoose = [&form](const TDifference& d) {
    if (!d.nodeB) return;
    form.Frame1()->SelectNode(d.nodeB);
    // A row difference: the row itself is selected and shown in the table's list.
    auto* f = dynamic_cast<TFrameParams*>(form.Frame1()->CurrentFrame());
    if (!f || d.rowB < 0 || f->Table() != d.nodeB->Item() || d.rowB >= f->Table()->Count()) return;
    f->ClickCell(d.rowB, TCol::No, {});
    f->Refresh();
    f->view->scrollTo(f->model->index(d.rowB, 0));
  };
  RunModal(dlg);
}
}  // namespace

bool CompareWithFile(TForm1& form, const QString& path) {
  TDocument& doc = form.Doc();
  // The file's configuration is read into a document of its own: neither it nor the window's
  // configuration is changed by the comparison.
  TRecordedMessages quiet;
  TDocument other(&quiet, &doc.Factory());
  other.appContext = doc.appContext;
  TCpu cpu = form.Cpu();
  std::string err;
  if (!LoadConfiguration(other, S(path), &cpu, &err)) {
    doc.Messages().ShowError(err);
    return false;
  }
  ShowDifferences(form, other, "Сравнение с файлом " + QFileInfo(path).fileName());
  return true;
}

bool CompareWithController(TForm1& form) {
  return form.Link().ReadConfForReview([&form](std::vector<std::uint8_t>& image, TCpu cpu, const std::string& name) {
    TDocument& doc = form.Doc();
    TRecordedMessages quiet;
    TDocument other(&quiet, &doc.Factory());
    other.appContext = doc.appContext;
    if (!ParseImage(other, std::move(image), false, &cpu, name)) {
      doc.Messages().ShowError(quiet.errors.empty() ? "Ошибка чтения конфигурации контроллера" : quiet.errors.front());
      return;
    }
    ShowDifferences(form, other, "Сравнение с контроллером");
  });
}

bool ExportSignalList(TForm1& form, const QString& path, TSignalListFormat format) {
  TDocument& doc = form.Doc();
  auto rows = SignalList(doc);
  std::string text;
  if (format == TSignalListFormat::Json) {
    text = SignalListJson(rows);
  } else {
    TCsvOptions opt;
    if (format == TSignalListFormat::CsvCp1251) {
      opt.cp1251 = true;
      opt.separator = ';';
    }
    text = SignalListCsv(rows, opt);
  }
  std::string err;
  if (!WriteFileAtomic(S(path), text, &err)) {
    doc.Messages().ShowError("Ошибка записи файла " + S(path) + (err.empty() ? "" : ": " + err));
    return false;
  }
  return true;
}

void AddReviewActions(TForm1& form) {
  auto* compare = new QAction("Сравнить с файлом…", &form);
  compare->setObjectName("CompareFile");
  auto* exportList = new QAction("Экспортировать список сигналов…", &form);
  exportList->setObjectName("ExportSignals");
  QObject::connect(compare, &QAction::triggered, &form, [&form] {
    QFileDialog dlg(&form, "Сравнить с файлом", QFileInfo(form.CurrentFile()).absolutePath(),
                    "Файлы конфигурации (*.cfg);;JSON-описание (*.json);;Все файлы (*)");
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (RunModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    QString f = dlg.selectedFiles().first();
    if (!f.isEmpty() && !QFileInfo(f).isDir()) CompareWithFile(form, f);
  });
  QObject::connect(exportList, &QAction::triggered, &form, [&form] {
    const QString csv = "Список сигналов CSV, UTF-8 (*.csv)";
    const QString csv1251 = "Список сигналов CSV для Excel, cp1251 и \";\" (*.csv)";
    const QString json = "Список сигналов JSON (*.json)";
    QFileDialog dlg(&form, "Экспортировать список сигналов", QFileInfo(form.CurrentFile()).absolutePath(),
                    csv + ";;" + csv1251 + ";;" + json);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    if (RunModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    QString f = dlg.selectedFiles().first();
    if (f.isEmpty() || QFileInfo(f).isDir()) return;
    QString filter = dlg.selectedNameFilter();
    TSignalListFormat format = filter == json      ? TSignalListFormat::Json
                               : filter == csv1251 ? TSignalListFormat::CsvCp1251
                                                   : TSignalListFormat::CsvUtf8;
    QString suffix = format == TSignalListFormat::Json ? ".json" : ".csv";
    if (QFileInfo(f).suffix().isEmpty()) f += suffix;
    ExportSignalList(form, f, format);
  });
  auto* compareRtu = new QAction("Сравнить с контроллером", &form);
  compareRtu->setObjectName("CompareRtu");
  compareRtu->setToolTip("Прочитать конфигурацию контроллера и показать, чем она отличается, до записи");
  QObject::connect(compareRtu, &QAction::triggered, &form, [&form] { CompareWithController(form); });
  form.fileMenu->addAction(compare);
  form.fileMenu->addAction(compareRtu);
  form.fileMenu->addAction(exportList);
}

}  // namespace t32::ui
