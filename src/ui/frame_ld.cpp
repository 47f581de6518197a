#include "ui/frame_ld.h"

#include <QBuffer>
#include <QMimeData>
#include <QCoreApplication>
#include <QGridLayout>
#include <QImage>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "model/document.h"
#include "model/storage.h"
#include "ports/ld_svg.h"
#include "ports/port_ld.h"
#include "model/fileio.h"
#include "model/params.h"
#include "ui/dialogs.h"
#include "ui/link_dialogs.h"

namespace t32::ui {

namespace {
QColor Rgb(std::uint32_t c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }
constexpr double kMinZoom = 0.25, kMaxZoom = 4.0;
}  // namespace

// Paints the drawing list at its own pixels (the painter carries any zoom).
void PaintLDOps(QPainter& g, const std::vector<TLDOp>& ops, QFont f);


void PaintLDOps(QPainter& g, const std::vector<TLDOp>& ops, QFont f) {
  f.setPixelSize(12);
  for (const TLDOp& o : ops) {
    const QColor color = Rgb(o.color);
    switch (o.kind) {
      case TLDOp::Line:
        g.setPen(QPen(color, 1));
        g.drawLine(o.x1, o.y1, o.x2, o.y2);
        break;
      case TLDOp::Rect:
        if (o.fill) {
          g.fillRect(QRect(o.x1, o.y1, o.x2 - o.x1, o.y2 - o.y1), color);
        } else {
          g.setPen(QPen(color, 1));
          g.setBrush(Qt::NoBrush);
          g.drawRect(QRect(o.x1, o.y1, o.x2 - o.x1 - 1, o.y2 - o.y1 - 1));
        }
        break;
      case TLDOp::Circle:
        g.setPen(QPen(color, 1));
        g.setBrush(Qt::NoBrush);
        g.drawEllipse(QRect(o.x1, o.y1, o.x2 - o.x1, o.y2 - o.y1));
        break;
      case TLDOp::Text:
        f.setBold(o.bold);
        g.setFont(f);
        g.setPen(color);
        g.drawText(o.x1, o.y1 + 12, QString::fromStdString(o.text));
        break;
    }
  }
}

// ---------------------------------------------------------------------------------------
TLDCanvas::TLDCanvas(TPortLDFrame& frame) : QWidget(&frame), frame_(frame) {
  setObjectName("Image1");
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(false);
  setMinimumSize(200, 150);
  setAcceptDrops(true);
}

double TLDCanvas::CellPixels() const { return kLDCell * frame_.zoom; }

QPoint TLDCanvas::CellAt(QPoint p) const {
  const double c = CellPixels();
  return {static_cast<int>(std::floor(p.x() / c)) + frame_.ScrollBarX->value(),
          static_cast<int>(std::floor(p.y() / c)) + frame_.ScrollBarY->value()};
}

void TLDCanvas::paintEvent(QPaintEvent* e) {
  QPainter g(this);
  g.fillRect(e->rect(), Qt::white);
  TLDEditor* ed = frame_.Editor();
  if (!ed) return;
  ed->EnsureLayout();
  const double c = CellPixels();
  // Only the rows of the exposed part are drawn: a pointer move repaints a few rows.
  const int top = std::max(0, static_cast<int>(std::floor(e->rect().top() / c)));
  const int bottom = static_cast<int>(std::floor(e->rect().bottom() / c));
  const int cols = static_cast<int>(std::ceil(width() / c)) + 1, rows = std::max(1, bottom - top + 1);
  const int col0 = frame_.ScrollBarX->value(), row0 = frame_.ScrollBarY->value() + top;
  auto ops = DrawLD(ed->port, ed, col0, row0, cols, rows);
  g.scale(frame_.zoom, frame_.zoom);
  g.translate(0, top * kLDCell);
  PaintLDOps(g, ops, font());
  // Problem cells: a red frame (the list is refreshed after every command).
  g.setPen(QPen(QColor(255, 0, 0), 2));
  g.setBrush(Qt::NoBrush);
  for (const auto& pc : frame_.problems_)
    if (pc.col >= col0 && pc.col < col0 + cols && pc.row >= row0 && pc.row < row0 + rows)
      g.drawRect(QRect((pc.col - col0) * kLDCell + 2, (pc.row - row0) * kLDCell + 2, kLDCell - 4, kLDCell - 4));
}

static TLDEditor::Mods ModsOf(Qt::KeyboardModifiers k, bool dbl) {
  TLDEditor::Mods m;
  m.shift = k & Qt::ShiftModifier;
  m.ctrl = k & Qt::ControlModifier;
  m.alt = k & Qt::AltModifier;
  m.dbl = dbl;
  return m;
}

static TLDEditor::Button ButtonOf(Qt::MouseButton b) {
  return b == Qt::RightButton ? TLDEditor::kRight : b == Qt::MiddleButton ? TLDEditor::kMiddle : TLDEditor::kLeft;
}

void TLDCanvas::mousePressEvent(QMouseEvent* e) {
  setFocus(Qt::MouseFocusReason);
  QPoint cell = CellAt(e->position().toPoint());
  frame_.CellClick(cell.x(), cell.y(), ButtonOf(e->button()), ModsOf(e->modifiers(), false),
                   e->globalPosition().toPoint());
}

void TLDCanvas::mouseDoubleClickEvent(QMouseEvent* e) {
  QPoint cell = CellAt(e->position().toPoint());
  if (e->button() != Qt::LeftButton) return;
  frame_.CellClick(cell.x(), cell.y(), TLDEditor::kLeft, ModsOf(e->modifiers(), true), e->globalPosition().toPoint());
}

void TLDCanvas::mouseMoveEvent(QMouseEvent* e) {
  TLDEditor* ed = frame_.Editor();
  if (!ed) return;
  QPoint cell = CellAt(e->position().toPoint());
  // Nothing changes while the pointer stays in one cell.
  if (cell.x() == ed->hoverCol && cell.y() == ed->hoverRow) return;
  const QPoint before(ed->hoverCol, ed->hoverRow);
  const bool wasMode = ed->contactMode;
  bool drag = ed->Move(cell.x(), cell.y());
  setCursor(drag ? Qt::DragCopyCursor : Qt::ArrowCursor);
  // The pointer's frame shows only in contact mode: only the cell left and the cell entered
  // change (contacts and line cells are one cell each).
  if (!wasMode && !ed->contactMode) return;
  const double c = CellPixels();
  for (QPoint p : {before, cell}) {
    const int x = static_cast<int>(std::floor((p.x() - frame_.ScrollBarX->value()) * c));
    const int y = static_cast<int>(std::floor((p.y() - frame_.ScrollBarY->value()) * c));
    update(QRect(x - 1, y - 1, static_cast<int>(std::ceil(c)) + 3, static_cast<int>(std::ceil(c)) + 3));
  }
}

void TLDCanvas::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F1 || e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab) {
    QWidget::keyPressEvent(e);  // help and focus moves go on as anywhere else
    return;
  }
  frame_.Key(e);
  // No other key of the diagram reaches the tree: Del there would delete the port.
  e->accept();
}

void TLDCanvas::wheelEvent(QWheelEvent* e) {
  if (e->modifiers() & Qt::ControlModifier) {
    const double step = e->angleDelta().y() > 0 ? 1.25 : 0.8;
    frame_.SetZoom(frame_.zoom * step, e->position().toPoint());
    e->accept();
    return;
  }
  QScrollBar* bar = (e->modifiers() & Qt::ShiftModifier) ? frame_.ScrollBarX : frame_.ScrollBarY;
  bar->setValue(bar->value() - e->angleDelta().y() / 120);
  e->accept();
}

void TLDCanvas::resizeEvent(QResizeEvent*) { frame_.UpdateScrollBars(); }

namespace {
const char* const kRowsMime = "application/x-tavrik32-rows";
bool FromStorage(const QMimeData* m) { return m && m->hasFormat(kRowsMime) && m->data(kRowsMime) == "storage"; }
}  // namespace

void TLDCanvas::dragEnterEvent(QDragEnterEvent* e) {
  if (FromStorage(e->mimeData())) e->acceptProposedAction();
}

void TLDCanvas::dragMoveEvent(QDragMoveEvent* e) {
  TLDEditor* ed = frame_.Editor();
  QPoint cell = CellAt(e->position().toPoint());
  TLD* el = ed ? ed->ElementAt(cell.x(), cell.y()) : nullptr;
  if (FromStorage(e->mimeData()) && el && el->Kind() == TLDKind::Contact)
    e->acceptProposedAction();
  else
    e->ignore();
}

void TLDCanvas::dropEvent(QDropEvent* e) {
  TLDEditor* ed = frame_.Editor();
  if (!ed || !FromStorage(e->mimeData())) return;
  QPoint cell = CellAt(e->position().toPoint());
  TLD* el = ed->ElementAt(cell.x(), cell.y());
  if (!el || el->Kind() != TLDKind::Contact) return;
  e->acceptProposedAction();
  frame_.DropSignal(el->col, cell.y());
}

bool TLDCanvas::event(QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(e)->key() != Qt::Key_F1) {
    // The diagram's keys are its own, whatever the window's shortcuts say.
    e->accept();
    return true;
  }
  if (e->type() == QEvent::ToolTip) {
    auto* h = static_cast<QHelpEvent*>(e);
    TLDEditor* ed = frame_.Editor();
    QString tip;
    if (ed) {
      QPoint cell = CellAt(h->pos());
      for (const auto& pc : frame_.problems_)
        if (pc.col == cell.x() && pc.row == cell.y()) tip += QString::fromStdString(pc.text) + "\n";
      if (TLD* el = ed->ElementAt(cell.x(), cell.y())) {
        if (el->Kind() == TLDKind::Coil) {
          if (const TParam* row = static_cast<TOutLD*>(el)->row) tip += QString::fromStdString(row->Name());
        } else if (el->signal) {
          int i = ed->port.ContactIndex(*el);
          tip += QString::fromStdString(el->signal->Name()) + " (ТС_" + QString::number(i) + ")";
        }
      }
    }
    tip = tip.trimmed();
    if (tip.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(h->globalPos(), tip, this);
    return true;
  }
  return QWidget::event(e);
}

// ---------------------------------------------------------------------------------------
TPortLDFrame::TPortLDFrame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт дискретной логики", true) {
  setObjectName("TPortLDFrame");
  auto* buttons = new QHBoxLayout;
  auto button = [&](const char* name, const QString& caption, const QString& hint) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(b);
    return b;
  };
  AddInButton = button("AddInButton", "Контакт  ", "Добавить контакт");
  AddInButton->setCheckable(true);
  AddOutButton = button("AddOutButton", "Задача  ", "Добавить задачу");
  AddStackButton = button("AddStackButton", "Шунт  ", "Добавить шунт");
  ClearButton = button("ClearButton", "Новая схема", "Удалить все задачи");
  PictureButton = button("PictureButton", "Рисунок", "Сохранить схему как рисунок");
  buttons->addStretch();
  lay_->addLayout(buttons);

  auto* sig = new QHBoxLayout;
  TS_NLabel = new QLabel(this);
  TS_NLabel->setObjectName("TS_NLabel");
  TS_NLabel->setMinimumWidth(60);
  ComboBoxTS = new QComboBox(this);
  ComboBoxTS->setObjectName("ComboBoxTS");
  ComboBoxTS->setMinimumWidth(260);
  ComboBoxTS->setMaxVisibleItems(20);
  // Typed letters jump to the first row whose name starts with them.
  InverseBox = new QCheckBox("Инверсия", this);
  InverseBox->setObjectName("InverseBox");
  sig->addWidget(TS_NLabel);
  sig->addWidget(ComboBoxTS);
  sig->addWidget(InverseBox);
  sig->addStretch();
  lay_->addLayout(sig);

  auto* grid = new QGridLayout;
  grid->setSpacing(0);
  Image1 = new TLDCanvas(*this);
  ScrollBarX = new QScrollBar(Qt::Horizontal, this);
  ScrollBarX->setObjectName("ScrollBarX");
  ScrollBarY = new QScrollBar(Qt::Vertical, this);
  ScrollBarY->setObjectName("ScrollBarY");
  grid->addWidget(Image1, 0, 0);
  grid->addWidget(ScrollBarY, 0, 1);
  grid->addWidget(ScrollBarX, 1, 0);
  lay_->addLayout(grid, 1);
  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName("StatusLabel");
  lay_->addWidget(StatusLabel);

  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  DeleteAction = PopupMenu->addAction("Удалить");
  InvertAction = PopupMenu->addAction("Инверсия");
  DuplicateAction = PopupMenu->addAction("Дублировать");

  connect(ScrollBarX, &QScrollBar::valueChanged, Image1, qOverload<>(&QWidget::update));
  connect(ScrollBarY, &QScrollBar::valueChanged, Image1, qOverload<>(&QWidget::update));
  connect(AddInButton, &QPushButton::toggled, this, [this](bool on) {
    if (filling_ || !editor_) return;
    editor_->SetContactMode(on);
    Refresh();
  });
  connect(AddOutButton, &QPushButton::clicked, this, [this] { Run([this] { editor_->AddTask(); }); });
  connect(AddStackButton, &QPushButton::clicked, this, [this] { Run([this] { editor_->Shunt(); }); });
  connect(ClearButton, &QPushButton::clicked, this, [this] { Run([this] { editor_->NewScheme(); }); });
  connect(PictureButton, &QPushButton::clicked, this, [this] {
    if (!editor_) return;
    QString start = LastExportFile().isEmpty() ? QCoreApplication::applicationDirPath() + "/" : LastExportFile();
    QString path = ChooseFile(this, "Сохранить схему как рисунок",
                              "Рисунок PNG|*.png|Рисунок SVG|*.svg|Все файлы  (*.*)|*.*", start, true);
    if (path.isEmpty()) return;
    LastExportFile() = path;
    std::string error;
    if (!SavePicture(path, &error)) Doc().Messages().ShowError(error);
  });
  connect(DeleteAction, &QAction::triggered, this, [this] { Run([this] { editor_->Delete(); }); });
  connect(InvertAction, &QAction::triggered, this, [this] { Run([this] { editor_->Invert(); }); });
  connect(DuplicateAction, &QAction::triggered, this, [this] { Run([this] { editor_->Duplicate(); }); });
  connect(ComboBoxTS, &QComboBox::activated, this, [this](int index) {
    if (filling_ || !editor_) return;
    Run([this, index] { editor_->ChooseSignal(index); });
  });
  connect(InverseBox, &QCheckBox::toggled, this, [this](bool on) {
    if (filling_ || !editor_) return;
    Run([this, on] { editor_->SetInversion(on); });
  });
}

TPortLDFrame::~TPortLDFrame() = default;

TPortLD* TPortLDFrame::LD() const { return dynamic_cast<TPortLD*>(item_); }

void TPortLDFrame::NumberChosen(int n) {
  if (TPortLD* p = LD()) p->SetNumber(n);
}

void TPortLDFrame::Fill() {
  TPortLD* p = LD();
  if (!p) return;
  if (!editor_ || editorPort_ != p) {
    editor_ = std::make_unique<TLDEditor>(*p);
    editorPort_ = p;
  }
  editor_->relayout = true;
  editor_->EnsureLayout();
  FillSignals();
  Refresh();
}

void TPortLDFrame::focusInEvent(QFocusEvent* e) {
  TOtherPortFrame::focusInEvent(e);
  FillSignals();
}

void TPortLDFrame::FillSignals() {
  const bool was = filling_;
  filling_ = true;
  ComboBoxTS->clear();
  const TParams& list = Doc().Storage().List(kSigTS);
  QStringList names;
  names.reserve(list.Count());
  for (int i = 0; i < list.Count(); ++i) names << QString::fromStdString(list.At(i)->Name());
  ComboBoxTS->addItems(names);
  filling_ = was;
}

void TPortLDFrame::Run(const std::function<void()>& cmd) {
  if (!editor_) return;
  editor_->BeginStep();
  cmd();
  editor_->EndStep();
  Doc().AfterEdit();
  Refresh();
}

void TPortLDFrame::UpdateScrollBars() {
  if (!editor_) {
    ScrollBarX->hide();
    ScrollBarY->hide();
    return;
  }
  editor_->EnsureLayout();
  const double c = Image1->CellPixels();
  const int visX = std::max(1, static_cast<int>(Image1->width() / c));
  const int visY = std::max(1, static_cast<int>(Image1->height() / c));
  const int maxX = std::max(0, editor_->port.columns - visX), maxY = std::max(0, editor_->port.rows - visY);
  ScrollBarX->setRange(0, maxX);
  ScrollBarX->setPageStep(visX);
  ScrollBarY->setRange(0, maxY);
  ScrollBarY->setPageStep(visY);
  ScrollBarX->setVisible(maxX > 0);
  ScrollBarY->setVisible(maxY > 0);
}

void TPortLDFrame::Refresh() {
  if (!editor_) return;
  const bool was = filling_;
  filling_ = true;
  editor_->EnsureLayout();
  // The last task gone ends contact mode: there is nothing left to put a contact in.
  if (editor_->contactMode && !editor_->ContactEnabled()) editor_->SetContactMode(false);
  AddInButton->setEnabled(editor_->ContactEnabled());
  AddInButton->setChecked(editor_->contactMode);
  AddStackButton->setEnabled(editor_->ShuntEnabled());
  ClearButton->setEnabled(!editor_->port.tasks.empty());
  auto v = editor_->Signal();
  TS_NLabel->setText(QString::fromStdString(v.label));
  ComboBoxTS->setEnabled(v.enabled);
  if (ComboBoxTS->count() != Doc().Storage().List(kSigTS).Count()) FillSignals();
  ComboBoxTS->setCurrentIndex(v.enabled ? v.index : -1);
  InverseBox->setEnabled(v.enabled);
  InverseBox->setChecked(v.inversion);
  int contacts = 0;
  for (auto& t : editor_->port.tasks) t->line->ForEachContact([&](TLD&) { ++contacts; });
  const auto problems = editor_->port.Problems();
  problems_ = editor_->port.ProblemCells();
  StatusLabel->setText(QString("Задач: %1, контактов: %2, проблем: %3")
                           .arg(editor_->port.tasks.size())
                           .arg(contacts)
                           .arg(problems.size()));
  filling_ = was;
  UpdateScrollBars();
  Image1->update();
}

void TPortLDFrame::CellClick(int col, int row, TLDEditor::Button b, TLDEditor::Mods m, QPoint globalPos) {
  if (!editor_) return;
  Run([&] { editor_->Click(col, row, b, m); });
  if (editor_->menuOpened) {
    DuplicateAction->setVisible(editor_->menuDuplicate);
    PopupMenu->popup(globalPos);
  }
}

void TPortLDFrame::DropSignal(int col, int row) {
  if (!editor_) return;
  // The ТС row selected in the storage panel becomes the contact's signal.
  TParamRef ref = Doc().Storage().TakeSelectedRow(kSigTS);
  if (!ref) return;
  const int index = Doc().Storage().IndexOf(kSigTS, ref.get());
  if (index < 0) return;
  Run([&] {
    editor_->Click(col, row, TLDEditor::kLeft);
    editor_->ChooseSignal(index);
  });
}

void TPortLDFrame::hideEvent(QHideEvent* e) {
  // Leaving the page (another tree node) ends contact mode.
  if (editor_ && editor_->contactMode) {
    editor_->SetContactMode(false);
    Refresh();
  }
  TOtherPortFrame::hideEvent(e);
}

void TPortLDFrame::SetZoom(double z, QPoint around) {
  z = std::clamp(z, kMinZoom, kMaxZoom);
  if (z == zoom) return;
  // The diagram point under `around` stays under it.
  const double c0 = Image1->CellPixels();
  const double px = ScrollBarX->value() * c0 + around.x(), py = ScrollBarY->value() * c0 + around.y();
  zoom = z;
  UpdateScrollBars();
  const double c1 = Image1->CellPixels();
  ScrollBarX->setValue(static_cast<int>(std::lround((px * z / (c0 / kLDCell) - around.x()) / c1)));
  ScrollBarY->setValue(static_cast<int>(std::lround((py * z / (c0 / kLDCell) - around.y()) / c1)));
  Image1->update();
}

bool TPortLDFrame::Key(QKeyEvent* e) {
  if (!editor_) return false;
  TLDEditor& ed = *editor_;
  const bool ctrl = e->modifiers() & Qt::ControlModifier, shift = e->modifiers() & Qt::ShiftModifier;
  const int key = e->key();
  // A command clears the selection; the keyboard's cursor stays where it was, so the next
  // arrow goes on from there.
  auto keepCursor = [&](const std::function<void()>& cmd) {
    const int col = ed.anchorCol, row = ed.anchorRow;
    Run(cmd);
    if (ed.anchorRow < 0 && row >= 0 && row < ed.port.rows) {
      ed.anchorCol = col;
      ed.anchorRow = row;
    }
  };
  if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
    int col = ed.anchorRow >= 0 ? ed.anchorCol : 0, row = ed.anchorRow >= 0 ? ed.anchorRow : 0;
    if (shift && ed.anchorRow >= 0) {
      // The far end of the range moves; the anchor stays.
      // A new anchor starts a new range; a span that fails the shunt test on the way (into a
      // shunt) keeps growing from where it got to.
      if (rangeRow_ != ed.anchorRow || rangeAnchor_ != ed.anchorCol) rangeFar_ = ed.anchorCol;
      rangeRow_ = ed.anchorRow;
      rangeAnchor_ = ed.anchorCol;
      rangeFar_ += key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
      rangeFar_ = std::max(0, rangeFar_);
      const int anchor = ed.anchorCol;
      Run([&] { ed.Click(rangeFar_, ed.anchorRow, TLDEditor::kLeft, ModsOf(Qt::ShiftModifier, false)); });
      ed.anchorCol = anchor;
      return true;
    }
    if (key == Qt::Key_Left) col = std::max(0, col - 1);
    if (key == Qt::Key_Right) col = std::min(std::max(0, ed.port.columns - 1), col + 1);
    if (key == Qt::Key_Up) row = std::max(0, row - 1);
    if (key == Qt::Key_Down) row = std::min(std::max(0, ed.port.rows - 1), row + 1);
    if (ed.anchorRow < 0 && key != Qt::Key_Left && key != Qt::Key_Up && ed.port.rows > 0) col = 0, row = 0;
    Run([&] { ed.Click(col, row, TLDEditor::kLeft); });
    if (ed.anchorRow < 0) {  // an empty cell: keep the cursor there for the next key
      ed.anchorCol = col;
      ed.anchorRow = row;
    }
    return true;
  }
  // Ctrl+Ins: "Задача"; Ctrl+Shift+Ins: "Шунт" over the range. The buttons take no focus, so
  // the diagram can be built without the mouse.
  if (ctrl && key == Qt::Key_Insert) {
    if (shift) {
      if (ed.ShuntEnabled()) keepCursor([&] { ed.Shunt(); });
    } else {
      Run([&] { ed.AddTask(); });
    }
    return true;
  }
  if ((key == Qt::Key_Space || key == Qt::Key_Insert) && !ctrl) {
    if (ed.anchorRow < 0 || !ed.ContactEnabled()) return true;
    const int col = ed.anchorCol, row = ed.anchorRow;
    Run([&] {
      ed.SetContactMode(true);
      ed.Click(col, row, TLDEditor::kLeft);
      ed.SetContactMode(false);
      ed.Click(col, row, TLDEditor::kLeft);
    });
    return true;
  }
  if (key == Qt::Key_Delete) {
    keepCursor([&] { ed.Delete(); });
    return true;
  }
  if (ctrl && key == Qt::Key_I) {
    Run([&] { ed.Invert(); });
    return true;
  }
  if (ctrl && key == Qt::Key_D) {
    Run([&] { ed.Duplicate(); });
    return true;
  }
  if (key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (ed.current && ed.current->Kind() == TLDKind::Coil)
      for (std::size_t i = 0; i < ed.port.tasks.size(); ++i)
        if (ed.port.tasks[i]->coil.get() == ed.current) Run([&] { ed.Rename(static_cast<int>(i)); });
    return true;
  }
  if (key == Qt::Key_Escape) {
    Run([&] {
      ed.contactMode = false;
      ed.ClearSelection();
    });
    return true;
  }
  if (ctrl && key == Qt::Key_C) {
    ed.Copy();
    return true;
  }
  if (ctrl && key == Qt::Key_V) {
    keepCursor([&] { ed.Paste(); });
    return true;
  }
  if (ctrl && (key == Qt::Key_Z || key == Qt::Key_Y)) {
    const bool redo = key == Qt::Key_Y || shift;
    if (redo ? ed.Redo() : ed.Undo()) {
      Doc().AfterEdit();
      Refresh();
    }
    return true;
  }
  if (ctrl && (key == Qt::Key_Plus || key == Qt::Key_Equal)) {
    SetZoom(zoom * 1.25, QPoint(Image1->width() / 2, Image1->height() / 2));
    return true;
  }
  if (ctrl && key == Qt::Key_Minus) {
    SetZoom(zoom * 0.8, QPoint(Image1->width() / 2, Image1->height() / 2));
    return true;
  }
  if (ctrl && key == Qt::Key_0) {
    SetZoom(1.0, QPoint(0, 0));
    return true;
  }
  return true;  // every other key stays in the diagram
}

bool TPortLDFrame::SavePicture(const QString& path, std::string* error) {
  if (!editor_) return false;
  TPortLD& p = editor_->port;
  editor_->EnsureLayout();
  // The selected task (its coil chosen) or the whole diagram, without selection marks.
  int row0 = 0, rows = p.rows;
  for (auto& t : p.tasks)
    if (t->coil->Selected()) {
      row0 = t->row;
      rows = t->height;
    }
  const int cols = p.diagramWidth;
  rows = std::max(rows, 1);
  const auto ops = DrawLD(p, nullptr, 0, row0, cols, rows);
  const int w = cols * kLDCell, h = rows * kLDCell;
  if (path.endsWith(".svg", Qt::CaseInsensitive))
    return WriteFileAtomic(S(path), LDToSvg(ops, w, h), error);
  // A picture past this size would take gigabytes: the vector form has no such limit.
  if (static_cast<long long>(w) * h > 100'000'000LL) {
    if (error) *error = "Схема слишком велика для рисунка PNG: сохраните её в формате SVG.";
    return false;
  }
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter g(&img);
    PaintLDOps(g, ops, font());
  }
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  if (!img.save(&buf, "PNG")) {
    if (error) *error = "Не удалось построить рисунок.";
    return false;
  }
  return WriteFileAtomic(S(path), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), error);
}

void RegisterLDFrames() {
  RegisterFrame("TPortLD", [](TFrame1& o, QWidget* p) { return new TPortLDFrame(o, p); });
}

}  // namespace t32::ui
