#include "ui/frame1.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "model/document.h"
#include "model/factory.h"
#include "model/item.h"
#include "model/messages.h"
#include "model/rawsection.h"
#include "model/storage.h"
#include "ui/dialogs.h"
#include "ui/frames.h"
#include "ui/frames_tables.h"
#include "ui/storagepanel.h"
#include "ui/treemodel.h"
#include "model/treerules.h"
#include "ports/port_menu.h"

namespace t32::ui {

namespace {
const char* kNodeMime = "application/x-tavrik32-node";

struct TMenuEntry {
  const char* caption;
  int tag;
  bool shown;
  bool cpu927Only;
};

// The board menu: caption and the board's type code.
const TMenuEntry kBoardEntries[] = {
    {"Добавить плату ППИ", 9, true, false},    {"Добавить плату ПВС", 1, true, false},
    {"Добавить плату UNIO96", 7, true, false}, {"Добавить плату AI16", 5, true, false},
    {"Добавить плату DI32", 4, true, false},   {"Добавить плату DO32", 15, true, false},
};

}  // namespace

// ---------------------------------------------------------------------------------------
TBlockTree::TBlockTree(TFrame1& owner, QWidget* parent) : QTreeView(parent), owner_(owner) {
  setObjectName("BlockTree");
  setHeaderHidden(true);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setMinimumWidth(120);
}

void TBlockTree::mousePressEvent(QMouseEvent* e) {
  QModelIndex i = indexAt(e->position().toPoint());
  if (TNode* n = owner_.TreeModel()->NodeOf(i)) owner_.SelectNode(n);
  if (e->button() == Qt::LeftButton) QTreeView::mousePressEvent(e);
}

void TBlockTree::contextMenuEvent(QContextMenuEvent* e) {
  // The menu key (or Shift+F10) opens the popup of the current node, under it.
  bool keyboard = e->reason() == QContextMenuEvent::Keyboard;
  QModelIndex i = keyboard ? currentIndex() : indexAt(e->pos());
  TNode* n = owner_.TreeModel()->NodeOf(i);
  if (!n) return;
  owner_.SelectNode(n);
  QPoint at = keyboard ? viewport()->mapToGlobal(visualRect(i).bottomLeft()) : e->globalPos();
  if (QMenu* m = owner_.MenuFor(n)) m->popup(at);
}

void TBlockTree::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Delete) {
    owner_.DeleteClick();
    return;
  }
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    owner_.EnterClick();
    return;
  }
  QTreeView::keyPressEvent(e);
  // Keyboard moves change the selection as clicks do.
  if (TNode* n = owner_.TreeModel()->NodeOf(currentIndex()); n && n != owner_.CurrentNode())
    owner_.SelectNode(n);
}

QMimeData* TBlockTree::DragMime(TNode* n) const {
  auto* mime = new QMimeData;
  mime->setData(kNodeMime, QByteArray::number(reinterpret_cast<quintptr>(n)));
  return mime;
}

TNode* TBlockTree::DraggedNode(const QMimeData* mime) const {
  if (!mime || !mime->hasFormat(kNodeMime)) return nullptr;
  auto* n = reinterpret_cast<TNode*>(mime->data(kNodeMime).toULongLong());
  // Only a node of this very tree: the pointer is compared, never followed, until found.
  return n && owner_.Doc().Tree().AbsoluteIndex(n) >= 0 ? n : nullptr;
}

void TBlockTree::startDrag(Qt::DropActions) {
  TNode* n = owner_.TreeModel()->NodeOf(currentIndex());
  if (!CanDrag(owner_.Doc(), n)) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(DragMime(n));
  drag->exec(Qt::MoveAction);
}

TNode* TBlockTree::DropTarget(const QPoint& pos) const { return owner_.TreeModel()->NodeOf(indexAt(pos)); }

void TBlockTree::dragEnterEvent(QDragEnterEvent* e) {
  if (DraggedNode(e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void TBlockTree::dragMoveEvent(QDragMoveEvent* e) {
  TNode* dragged = DraggedNode(e->mimeData());
  if (!dragged) {
    e->ignore();
    return;
  }
  QTreeView::dragMoveEvent(e);
  TNode* target = DropTarget(e->position().toPoint());
  if (CanDrop(owner_.Doc(), dragged, target)) e->acceptProposedAction();
  else e->ignore();
}

void TBlockTree::dropEvent(QDropEvent* e) {
  TNode* target = DropTarget(e->position().toPoint());
  TNode* dragged = DraggedNode(e->mimeData());
  if (dragged && owner_.DropNode(dragged, target)) {
    e->setDropAction(Qt::CopyAction);  // the tree moved the node itself; the view removes nothing
    e->accept();
  } else {
    e->ignore();
  }
  setState(NoState);
  viewport()->update();
}

// ---------------------------------------------------------------------------------------
TFrame1::TFrame1(TDocument& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
  setObjectName("Frame1");
  RegisterBuiltinFrames();
  model_ = new TTreeModel(doc_.Tree(), this);
  tree_ = new TBlockTree(*this, this);
  tree_->setModel(model_);

  editorArea_ = new QScrollArea(this);
  editorArea_->setObjectName("EditorPanel");
  editorArea_->setWidgetResizable(true);
  editorArea_->setMinimumWidth(100);
  editorHost_ = new QWidget(editorArea_);
  auto* hostLay = new QVBoxLayout(editorHost_);
  hostLay->setContentsMargins(6, 6, 6, 6);
  emptyLabel_ = new QLabel(editorHost_);
  hostLay->addWidget(emptyLabel_);
  editorArea_->setWidget(editorHost_);

  storage_ = new TStoragePanel(*this, this);
  storage_->setMinimumWidth(100);

  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName("Splitters");
  splitter_->addWidget(tree_);
  splitter_->addWidget(editorArea_);
  splitter_->addWidget(storage_);
  // A panel never collapses below its minimum: the splitters stop there.
  splitter_->setChildrenCollapsible(false);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setStretchFactor(2, 0);
  splitter_->setSizes({230, 480, 300});

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->addWidget(splitter_);

  BuildMenus();
  doc_.Storage().onRefresh = [this] { RefreshViews(); };

  connect(tree_, &QTreeView::expanded, this, [this](const QModelIndex& i) {
    if (TNode* n = model_->NodeOf(i)) n->expanded = true;
  });
  connect(tree_, &QTreeView::collapsed, this, [this](const QModelIndex& i) {
    TNode* n = model_->NodeOf(i);
    if (!n) return;
    if (n == doc_.ControllerNode()) {  // the root stays open
      tree_->expand(i);
      return;
    }
    n->expanded = false;
  });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { SyncExpanded({}); });
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
    for (int r = first; r <= last; ++r) SyncExpanded(model_->index(r, 0, parent));
  });
  SyncExpanded({});
  SelectNode(doc_.ControllerNode());
}

void TFrame1::RefreshViews() {
  if (auto* f = dynamic_cast<TFrameParams*>(frame_)) f->Refresh();
  storage_->RefreshLists();
  storage_->RefreshButtons();
}

TFrame1::~TFrame1() {
  doc_.Storage().onRefresh = nullptr;
  // Frames refer to items; they go before the document does.
  for (auto& [name, f] : frames_) delete f;
}

TItem* TFrame1::CurrentItem() const { return current_ ? current_->Item() : nullptr; }

void TFrame1::SyncExpanded(const QModelIndex& parent) {
  int rows = model_->rowCount(parent);
  if (parent.isValid()) {
    TNode* n = model_->NodeOf(parent);
    if (n && (n->expanded || n == doc_.ControllerNode())) tree_->expand(parent);
  }
  for (int r = 0; r < rows; ++r) SyncExpanded(model_->index(r, 0, parent));
}

TEditorFrame* TFrame1::FrameFor(const std::string& itemClass) {
  auto it = frames_.find(itemClass);
  if (it != frames_.end()) return it->second;
  auto maker = FrameRegistry().find(itemClass);
  if (maker == FrameRegistry().end()) return nullptr;
  TEditorFrame* f = maker->second(*this, editorHost_);
  f->hide();
  editorHost_->layout()->addWidget(f);
  frames_[itemClass] = f;
  return f;
}

bool TFrame1::StoreEditor() {
  // A kept item's page shows defaults only: nothing of it is stored.
  if (frame_ && frame_->Item() && !frame_->Item()->ReadOnly()) return frame_->TryStoreItem();
  return true;
}

void TFrame1::SelectNode(TNode* node) {
  if (!node || doc_.Tree().AbsoluteIndex(node) < 0) return;
  if (node != current_ && current_ && !StoreEditor()) {
    // The page refused: the tree stays on its item.
    QModelIndex back = model_->IndexOf(current_);
    if (tree_->currentIndex() != back) tree_->setCurrentIndex(back);
    return;
  }
  current_ = node;
  QModelIndex idx = model_->IndexOf(node);
  if (tree_->currentIndex() != idx) tree_->setCurrentIndex(idx);
  RefreshCurrent();
  emit CurrentChanged(node);
}

void TFrame1::RefreshCurrent() {
  TItem* item = CurrentItem();
  TEditorFrame* f = item ? FrameFor(item->ClassName()) : nullptr;
  if (frame_ && frame_ != f) frame_->hide();
  frame_ = f;
  // A section kept as it stood is not edited here: its page (if its class has one) shows the
  // defaults, greyed out, and a note says why.
  const bool kept = item && item->ReadOnly();
  if (f) {
    emptyLabel_->hide();
    f->ShowItem(item);
    f->setEnabled(!kept);
    f->show();
  } else {
    QString text = item ? QString("<i>%1</i>").arg(Q(current_->caption).toHtmlEscaped()) : QString();
    if (kept) text += QString("<p>%1</p>").arg(Q(kKeptItemNote).toHtmlEscaped());
    emptyLabel_->setText(text);
    emptyLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    emptyLabel_->show();
  }
  storage_->SyncWithCurrentItem(item);
  FitStoragePanel(item);
}

void TFrame1::FitStoragePanel(TItem* item) {
  // A signal table is edited against the storage lists, so the panel opens up beside the
  // first one shown. After that the width is the user's (the splitter): it is never taken
  // away again, as a narrow panel hides the names.
  if (storageWidened_ || !item || item->signalKind == 0) return;
  QList<int> sizes = splitter_->sizes();
  if (sizes.size() < 3) return;
  storageWidened_ = true;
  int panel = sizes[2];
  // ... but never so far that the table beside it gets too narrow to show its names.
  int want = std::max(panel, std::min(440, panel + sizes[1] - 420));
  if (want == panel) return;
  sizes[1] = std::max(0, sizes[1] + panel - want);
  sizes[2] = want;
  splitter_->setSizes(sizes);
}

void TFrame1::FitPanels(int windowWidth) {
  int tree = std::clamp(windowWidth / 5, 140, 230);
  int panel = std::clamp(windowWidth / 4, 200, 300);
  splitter_->setSizes({tree, std::max(100, windowWidth - tree - panel), panel});
}

void TFrame1::ShowRestored(int absoluteIndex) {
  DropCurrent();
  SyncExpanded({});
  TNode* n = doc_.Tree().NodeAt(absoluteIndex);
  SelectNode(n ? n : doc_.ControllerNode());
}

void TFrame1::AfterRebuild() {
  DropCurrent();
  SyncExpanded({});
  SelectNode(doc_.ControllerNode());
}

// ---------------------------------------------------------------------------------------
QMenu* TFrame1::NewMenu(const char* name) {
  auto* m = new QMenu(this);
  m->setObjectName(name);
  return m;
}

void TFrame1::AddCancel(QMenu* m) {
  m->addSeparator();
  m->addAction("Отмена");  // closes the menu, nothing else
}

void TFrame1::BuildMenus() {
  blockMenu = NewMenu("BlockMenu");
  for (const auto& e : kBoardEntries) {
    QAction* a = blockMenu->addAction(e.caption);
    a->setData(e.tag);
    connect(a, &QAction::triggered, this, [this, tag = e.tag] { AddFromMenu(tag, true); });
  }
  AddCancel(blockMenu);

  portMenu = NewMenu("PortMenu");
  for (const auto& e : PortMenuEntries()) {
    QAction* a = portMenu->addAction(e.caption);
    a->setData(e.tag);
    a->setVisible(e.shown);
    a->setProperty("cpu927", e.cpu927Only);
    connect(a, &QAction::triggered, this, [this, tag = e.tag] { AddFromMenu(tag, false); });
  }
  AddCancel(portMenu);

  auto addDelete = [this](QMenu* m) {
    QAction* d = m->addAction("Удалить");
    d->setShortcut(Qt::Key_Delete);
    d->setShortcutVisibleInContextMenu(true);
    connect(d, &QAction::triggered, this, &TFrame1::DeleteClick);
  };
  auto addChild = [this](QMenu* m, const char* caption, int tag, bool enter) {
    QAction* a = m->addAction(caption);
    a->setData(tag);
    if (enter) {
      a->setShortcut(Qt::Key_Return);
      a->setShortcutVisibleInContextMenu(true);
    }
    connect(a, &QAction::triggered, this, [this, tag] { AddChildrenClick(tag); });
  };

  deleteMenu = NewMenu("DeleteMenu");
  addDelete(deleteMenu);
  AddCancel(deleteMenu);

  addRtuMenu = NewMenu("AddRTUMenu");
  addChild(addRtuMenu, "Добавить устройство", 0, true);
  addDelete(addRtuMenu);
  AddCancel(addRtuMenu);

  addKpMenu = NewMenu("AddKPMenu");
  addChild(addKpMenu, "Добавить КП", 0, true);
  addDelete(addKpMenu);
  AddCancel(addKpMenu);

  addPcMenu = NewMenu("AddPCMenu");
  addChild(addPcMenu, "Добавить ПЭВМ", 0, true);
  AddCancel(addPcMenu);

  addCC301Menu = NewMenu("AddCC301Menu");
  addChild(addCC301Menu, "Добавить CC301", 0, true);
  addDelete(addCC301Menu);
  AddCancel(addCC301Menu);

  addCE303Menu = NewMenu("AddCE303Menu");
  addChild(addCE303Menu, "Добавить CE303", 0, true);
  addDelete(addCE303Menu);
  AddCancel(addCE303Menu);

  addCE318Menu = NewMenu("AddCE318Menu");
  addChild(addCE318Menu, "Добавить CE318", 0, true);
  addDelete(addCE318Menu);
  AddCancel(addCE318Menu);

  addMdsMrkMenu = NewMenu("AddMdsMrkMenu");
  addChild(addMdsMrkMenu, "Добавить МДС-24", 221, true);
  addChild(addMdsMrkMenu, "Добавить МРК-12", 222, false);
  addChild(addMdsMrkMenu, "Добавить МДК-24", 229, false);
  addDelete(addMdsMrkMenu);
  AddCancel(addMdsMrkMenu);

  dubbleDelMenu = NewMenu("DubbleDelMenu");
  QAction* dup = dubbleDelMenu->addAction("Дублировать");
  connect(dup, &QAction::triggered, this, &TFrame1::DuplicateClick);
  addDelete(dubbleDelMenu);
  AddCancel(dubbleDelMenu);

  connect(portMenu, &QMenu::aboutToShow, this, &TFrame1::UpdateMenuStates);
  connect(blockMenu, &QMenu::aboutToShow, this, &TFrame1::UpdateMenuStates);
  UpdateMenuStates();
}

QAction* TFrame1::PortAction(int tag) const {
  for (QAction* a : portMenu->actions())
    if (a->data().isValid() && a->data().toInt() == tag) return a;
  return nullptr;
}

QAction* TFrame1::BlockAction(int tag) const {
  for (QAction* a : blockMenu->actions())
    if (a->data().isValid() && a->data().toInt() == tag) return a;
  return nullptr;
}

void TFrame1::UpdateMenuStates() {
  // An entry whose class is not part of this build stays visible but disabled.
  for (QAction* a : portMenu->actions())
    if (a->data().isValid()) a->setEnabled(PortEntryEnabled(doc_, a->data().toInt(), cpu_ == TCpu::Cpu927));
  for (QAction* a : blockMenu->actions())
    if (a->data().isValid()) a->setEnabled(doc_.Factory().MakeFromMenu(a->data().toInt()) != nullptr);
}

void TFrame1::SetCpu(TCpu cpu) {
  cpu_ = cpu;
  UpdateMenuStates();
}

QMenu* TFrame1::MenuFor(const TNode* node) {
  if (!node || !node->Item()) return nullptr;
  TItem* item = node->Item();
  // A kept section may only be deleted as a whole; nothing is added to it. The processor's
  // ports are sections of their own, so its port menu stays.
  if (item->ReadOnly() && node != doc_.ProcNode()) {
    const TNode* parent = node->Parent();
    bool whole = !item->keptSection.empty() && parent && (!parent->Item() || !parent->Item()->ReadOnly() ||
                                                            parent == doc_.ProcNode());
    return whole && !DeleteQuestion(doc_, node).empty() ? deleteMenu : nullptr;
  }
  switch (item->popup) {
    case TPopup::BlockMenu: return blockMenu;
    case TPopup::PortMenu: return portMenu;
    case TPopup::DeleteMenu: return deleteMenu;
    case TPopup::AddRTUMenu: return addRtuMenu;
    case TPopup::AddKPMenu: return addKpMenu;
    case TPopup::AddPCMenu: return addPcMenu;
    case TPopup::AddCC301Menu: return addCC301Menu;
    case TPopup::AddCE303Menu: return addCE303Menu;
    case TPopup::AddCE318Menu: return addCE318Menu;
    case TPopup::AddMdsMrkMenu: return addMdsMrkMenu;
    case TPopup::DubbleDelMenu: return dubbleDelMenu;
    case TPopup::None: return nullptr;
  }
  return nullptr;
}

void TFrame1::AddFromMenu(int tag, bool board) {
  if (!board) {
    if (!PortEntryEnabled(doc_, tag, cpu_ == TCpu::Cpu927)) return;
    StoreEditor();
    TNode* n = AddPortFromMenu(doc_, tag);
    if (!n) return;
    SyncExpanded(model_->IndexOf(n));
    SelectNode(n);
    return;
  }
  TItemPlace place = TItemPlace::Board;
  auto item = doc_.Factory().MakeFromMenu(tag, &place);
  if (!item) return;  // no class for this entry: nothing is made, nothing selected
  StoreEditor();
  TNode* parent = place == TItemPlace::Board ? doc_.ControllerNode() : doc_.ProcNode();
  TNode* n = doc_.Tree().Add(parent, std::move(item));
  if (doc_.Storage().Enabled()) n->expanded = true;
  doc_.AfterEdit();
  SyncExpanded(model_->IndexOf(n));
  SelectNode(n);
  emit Edited();
}

void TFrame1::AddChildrenClick(int tag) {
  TItem* item = CurrentItem();
  if (!item) return;
  StoreEditor();
  item->AddChildren(tag);
  current_->expanded = true;
  doc_.AfterEdit();
  SyncExpanded(model_->IndexOf(current_));
  RefreshCurrent();
  emit Edited();
}

void TFrame1::DuplicateClick() {
  TItem* item = CurrentItem();
  if (!item || !current_->Parent()) return;
  StoreEditor();
  TNode* parent = current_->Parent();
  parent->Item()->DuplicateChild(item);
  parent->expanded = true;
  doc_.AfterEdit();
  SyncExpanded(model_->IndexOf(parent));
  RefreshCurrent();
  emit Edited();
}

void TFrame1::EnterClick() {
  QMenu* m = MenuFor(current_);
  if (!m) return;
  for (QAction* a : m->actions())
    if (a->shortcut() == QKeySequence(Qt::Key_Return) && a->isEnabled()) {
      a->trigger();
      return;
    }
}

void TFrame1::DeleteClick() {
  TNode* node = current_;
  std::string question = DeleteQuestion(doc_, node);
  QMenu* m = MenuFor(node);
  bool offered = false;
  if (m)
    for (QAction* a : m->actions()) offered |= a->text() == "Удалить";
  if (question.empty() || !offered) return;
  if (doc_.Messages().AskConfirm(question, false) != kYes) return;
  // The frame shows the item that goes away: it is not stored.
  DropCurrent();
  TNode* next = DeleteNode(doc_, node);
  SelectNode(next ? next : doc_.ControllerNode());
  emit Edited();
}

void TFrame1::DropCurrent() {
  if (frame_) frame_->hide();
  frame_ = nullptr;
  current_ = nullptr;
  storage_->SyncWithCurrentItem(nullptr);
}

void TFrame1::NewConfiguration() {
  DropCurrent();
  doc_.NewConfiguration();
  AfterRebuild();
}

bool TFrame1::DropNode(TNode* dragged, TNode* target) {
  StoreEditor();
  if (!MoveNode(doc_, dragged, target)) return false;
  SyncExpanded(model_->IndexOf(dragged));
  SelectNode(dragged);
  RefreshCurrent();
  emit Edited();
  return true;
}

int TFrame1::HelpContext() const { return frame_ ? frame_->HelpContext() : 1; }

}  // namespace t32::ui
