#include "ui_fixture.h"

#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

#include "model/boards.h"
#include "ports/register.h"
#include "model/params.h"
#include "model/storage.h"
#include "ui/treemodel.h"

namespace t32::test {

// The application object lives in main() (ui_main.cpp): a function-local static one would be
// destroyed after Qt's own globals at exit and crash the test program.
QApplication& App() { return *static_cast<QApplication*>(QCoreApplication::instance()); }

void TFakePort::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, SectionCode())) return;
  TImageReader r(c);
  Fields(r);
  UpdateNode();
  TChildReader rd(c);
  for (int code = rd.Peek(); code >= 0; code = rd.Peek()) {
    int type = 0;
    for (int t = 1; t <= 6; ++t)
      if (SignalTypeInfo(t).sectionCode == code) type = t;
    if (type == 0) {
      rd.Skip();
      continue;
    }
    rd.Load(AddOutputTable(type));
  }
}

TParams* TFakePort::AddOutputTable(int type) {
  TNode* n = Doc()->Tree().Add(node, MakeParams(type, kRoleOutput));
  auto* t = dynamic_cast<TParams*>(n->Item());
  t->owner = this;
  return t;
}

void UiTest::TypeText(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    Qt::Key key = ch.isDigit() ? static_cast<Qt::Key>(Qt::Key_0 + ch.digitValue()) : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Click, w, key, QString(ch), Qt::NoModifier);
  }
}

void UiTest::Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

void UiTest::ClickNode(TNode* n, Qt::MouseButton button) {
  auto* tree = Frame().BlockTree();
  QModelIndex i = Frame().TreeModel()->IndexOf(n);
  tree->scrollTo(i);
  QTest::mouseClick(tree->viewport(), button, {}, tree->visualRect(i).center());
  Settle();
}

void UiTest::ClickRow(ui::TFrameParams* f, int row, ui::TCol col, Qt::KeyboardModifiers mods) {
  QModelIndex i = f->model->index(row, f->model->ColumnOf(col));
  f->view->scrollTo(i);
  QTest::mouseClick(f->view->viewport(), Qt::LeftButton, mods, f->view->visualRect(i).center());
  Settle();
}

void UiTest::DoubleClickRow(ui::TFrameParams* f, int row, ui::TCol col) {
  QModelIndex i = f->model->index(row, f->model->ColumnOf(col));
  f->view->scrollTo(i);
  QPoint p = f->view->visualRect(i).center();
  QTest::mouseClick(f->view->viewport(), Qt::LeftButton, {}, p);
  QTest::mouseDClick(f->view->viewport(), Qt::LeftButton, {}, p);
  Settle();
}

bool UiTest::DropOn(QWidget* viewport, QPoint pos, QMimeData* mime) {
  std::unique_ptr<QMimeData> own(mime);
  auto actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(pos, actions, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  bool ok = enter.isAccepted();
  if (ok) {
    QDragMoveEvent move(pos, actions, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    ok = move.isAccepted();
  }
  if (ok) {
    QDropEvent drop(QPointF(pos), actions, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    ok = drop.isAccepted();
  } else {
    QDragLeaveEvent leave;
    QApplication::sendEvent(viewport, &leave);
  }
  Settle();
  return ok;
}

std::function<int(QDialog&)> UiTest::Click(const QString& buttonText) {
  return [buttonText](QDialog& d) {
    for (QPushButton* b : d.findChildren<QPushButton*>())
      if (b->text() == buttonText && b->isVisible()) {
        QTest::mouseClick(b, Qt::LeftButton);
        return d.result();
      }
    return int(QDialog::Rejected);
  };
}

void UiTest::SetUp() {
  App();
  // Every class of the board and port menus that this test binary knows, plus stand-ins for
  // the ports whose menu state is checked.
  RegisterModelItems(factory);
  RegisterPorts(factory);
  for (int tag : {102, 128, 129})
    factory.Register(tag, TItemPlace::Port, [tag] { return std::make_unique<TFakePort>(tag); }, tag);
  ui::SetModalHook([this](QDialog& d) {
    dialogTitles.push_back(d.windowTitle());
    QString text;
    for (QLabel* l : d.findChildren<QLabel*>()) text += l->text();
    dialogTexts.push_back(text);
    int r = answer ? answer(d) : QDialog::Rejected;
    d.hide();
    return r;
  });
}

void UiTest::TearDown() {
  form.reset();
  ui::SetModalHook(nullptr);
}

void UiTest::MakeForm(const QString& iniPath) {
  ui::TForm1Options opt;
  opt.settingsPath = iniPath.isEmpty() ? dir.filePath("Tavrik32.ini") : iniPath;
  opt.programDir = dir.path();
  opt.helpViewer = false;
  opt.factory = &factory;
  form = std::make_unique<ui::TForm1>(opt);
  form->show();
  QApplication::setActiveWindow(form.get());
}

TNode* UiTest::NodeByCaption(const std::string& caption) {
  TNode* found = nullptr;
  Doc().Tree().ForEach([&](TNode* n) {
    if (!found && n->caption == caption) found = n;
  });
  return found;
}

}  // namespace t32::test
