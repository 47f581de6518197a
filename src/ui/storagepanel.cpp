#include "ui/storagepanel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "model/document.h"
#include "model/params.h"
#include "model/storage.h"
#include "ui/frame1.h"
#include "ui/frames_tables.h"

namespace t32::ui {

TStoragePanel::TStoragePanel(TFrame1& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setObjectName("StoragePanel");
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(2);
  auto* col = new QWidget(this);
  col->setFixedWidth(49);
  auto* cl = new QVBoxLayout(col);
  cl->setContentsMargins(2, 24, 2, 2);
  cl->setSpacing(3);
  auto button = [&](const char* name, const char* glyph, const char* hint) {
    auto* b = new QToolButton(col);
    b->setObjectName(name);
    b->setText(QString::fromUtf8(glyph));
    b->setToolTip(QString::fromUtf8(hint));
    b->setToolTipDuration(10000);
    b->setFixedSize(42, 28);
    cl->addWidget(b);
    return b;
  };
  DefaultName = button("DefaultName", "↺", "Вернуть исходное имя");
  AddFree = button("AddFree", "+ □", "Добавить пустую строку");
  ClearSelect = button("ClearSelect", "□ ✓", "Очистить выбранные");
  AddSelect = button("AddSelect", "+ ✓", "Добавить выбранные");
  AddAll = button("AddAll", "+ ∀", "Добавить все");
  DelSelect = button("DelSelect", "− ✓", "Удалить выбранные");
  DelAll = button("DelAll", "− ∀", "Удалить все");
  NameUp = button("NameUp", "▲", "Сдвинуть вверх");
  NameDown = button("NameDown", "▼", "Сдвинуть вниз");
  SetTemplateButton = button("SetTemplateButton", "Ш", "Установить настройки ТИ по шаблону");
  PriorityButton = button("PriorityButton", "П", "Установить приоритет в ТИ");
  PriorityButton->hide();
  PriorityButton->setEnabled(false);
  AddAll->setProperty("tag", 1);
  DelAll->setProperty("tag", 1);
  NameDown->setProperty("tag", 1);
  cl->addStretch();
  lay->addWidget(col);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("StorageTabs");
  tabs_->tabBar()->setUsesScrollButtons(false);
  tabs_->setStyleSheet("QTabBar::tab { min-width: 36px; }");
  const char* names[6] = {"ТС", "ТУ", "ТИ", "ТИИ", "ТР", "МТС"};
  for (int i = 0; i < 6; ++i) {
    lists_[i] = new TFrameParams(owner, tabs_, true);
    lists_[i]->ShowItem(&owner.Doc().Storage().List(i + 1));
    tabs_->addTab(lists_[i], names[i]);
  }
  lay->addWidget(tabs_, 1);

  connect(tabs_, &QTabWidget::currentChanged, this, [this] { RefreshButtons(); });
  connect(AddSelect, &QToolButton::clicked, this, [this] { AddClick(false); });
  connect(AddAll, &QToolButton::clicked, this, [this] { AddClick(true); });
  connect(DelSelect, &QToolButton::clicked, this, [this] { DelClick(false); });
  connect(DelAll, &QToolButton::clicked, this, [this] { DelClick(true); });
  connect(AddFree, &QToolButton::clicked, this, [this] {
    TParams* t = CurrentTable();
    if (!t || !t->IsOutput()) return;
    auto* f = dynamic_cast<TFrameParams*>(owner_.CurrentFrame());
    int focused = f && f->view->currentIndex().isValid() ? f->view->currentIndex().row() : -1;
    if (t->AddEmptyRow(focused) && f) {
      owner_.Doc().Storage().RefreshViews();
      f->view->setCurrentIndex(f->model->index(std::max(focused, 0) + 1, 0));
    }
  });
  connect(ClearSelect, &QToolButton::clicked, this, [this] {
    if (TParams* t = CurrentTable(); t && t->IsOutput()) {
      t->ClearSelected();
      owner_.Doc().Storage().RefreshViews();
    }
  });
  connect(NameUp, &QToolButton::clicked, this, [this] {
    if (TParams* t = CurrentTable(); t && t->IsSource()) {
      t->MoveNamesUp();
      owner_.Doc().Storage().Rebuild();
    }
  });
  connect(NameDown, &QToolButton::clicked, this, [this] {
    if (TParams* t = CurrentTable(); t && t->IsSource()) {
      t->MoveNamesDown();
      owner_.Doc().Storage().Rebuild();
    }
  });
  connect(DefaultName, &QToolButton::clicked, this, [this] {
    owner_.Doc().Storage().RestoreDefaultNames(ActiveType());
    owner_.Doc().Storage().Rebuild();
  });
  connect(SetTemplateButton, &QToolButton::clicked, this, [this] {
    if (TParams* t = CurrentTable(); t && t->IsSource() && t->Type() == kSigTI) {
      t->ApplyTemplate(owner_.Doc().Storage().tiTemplate);
      owner_.Doc().Storage().RefreshViews();
    }
  });
  // Every button has a key, shown in its hint; it works anywhere in the main window.
  struct Key {
    QToolButton* b;
    QKeySequence key;
  } keys[] = {{DefaultName, QKeySequence(Qt::CTRL | Qt::Key_R)},
              {AddFree, QKeySequence(Qt::Key_Insert)},
              {ClearSelect, QKeySequence(Qt::CTRL | Qt::Key_Backspace)},
              {AddSelect, QKeySequence(Qt::CTRL | Qt::Key_Insert)},
              {AddAll, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Insert)},
              {DelSelect, QKeySequence(Qt::CTRL | Qt::Key_Delete)},
              {DelAll, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)},
              {NameUp, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up)},
              {NameDown, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down)},
              {SetTemplateButton, QKeySequence(Qt::CTRL | Qt::Key_T)}};
  for (const Key& k : keys) {
    auto* a = new QAction(this);
    a->setShortcut(k.key);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, k.b, [b = k.b] {
      if (b->isEnabled()) b->click();
    });
    addAction(a);
    k.b->setToolTip(k.b->toolTip() + "  (" + k.key.toString(QKeySequence::NativeText) + ")");
    k.b->setProperty("keys", k.key.toString(QKeySequence::PortableText));
  }
  RefreshButtons();
}

TParams& TStoragePanel::ActiveList() const { return owner_.Doc().Storage().List(ActiveType()); }
int TStoragePanel::ActiveType() const { return tabs_->currentIndex() + 1; }
TParams* TStoragePanel::CurrentTable() const { return dynamic_cast<TParams*>(current_); }

bool TStoragePanel::AddSelectEnabled() const { return AddSelect->isEnabled(); }

void TStoragePanel::SyncWithCurrentItem(TItem* item) {
  current_ = item;
  if (item && item->signalKind >= 1 && item->signalKind <= 6) tabs_->setCurrentIndex(item->signalKind - 1);
  RefreshButtons();
  RefreshLists();
}

void TStoragePanel::RefreshButtons() {
  TParams* t = CurrentTable();
  bool output = t && t->IsOutput();
  int kind = current_ ? current_->signalKind : 0;
  bool addable = current_ && (current_->role == kRoleOutput || current_->role == 3) && kind == ActiveType();
  AddFree->setEnabled(output);
  ClearSelect->setEnabled(output);
  DelSelect->setEnabled(output);
  DelAll->setEnabled(output);
  AddSelect->setEnabled(addable);
  AddAll->setEnabled(addable);
  bool movable = t && t->IsSource() && t->Count() > 0 && !t->At(0)->locked;
  NameUp->setEnabled(movable);
  NameDown->setEnabled(movable);
  SetTemplateButton->setEnabled(t && t->IsSource() && t->Type() == kSigTI &&
                                owner_.Doc().Storage().tiTemplate.present);
  DefaultName->setEnabled(true);
}

void TStoragePanel::RefreshLists() {
  TParams* t = CurrentTable();
  for (int i = 0; i < 6; ++i) {
    lists_[i]->model->compareWith = (t && t->IsOutput() && t->Type() == i + 1) ? t : nullptr;
    lists_[i]->Refresh();
  }
}

void TStoragePanel::AddClick(bool all) {
  TParams* t = CurrentTable();
  // A two-position port takes rows by dragging onto its fields; the buttons leave it alone.
  if (!t || !t->IsOutput() || t->Type() != ActiveType()) return;
  t->AddFromList(ActiveList(), all);
  owner_.Doc().Storage().RefreshViews();
}

void TStoragePanel::DelClick(bool all) {
  TParams* t = CurrentTable();
  if (!t || !t->IsOutput()) return;
  t->RemoveRows(all);
  owner_.Doc().Storage().RefreshViews();
}

}  // namespace t32::ui
