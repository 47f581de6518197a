#include "ui_fixture.h"

#include <QLabel>

#include "model/boards.h"
#include "ports/register.h"

namespace t32::test {

// The application object lives in main() (ui_main.cpp): a function-local static one would be
// destroyed after Qt's own globals at exit and crash the test program.
QApplication& App() { return *static_cast<QApplication*>(QCoreApplication::instance()); }

void UiTest::SetUp() {
  App();
  // Every class of the board and port menus that this test binary knows, plus stand-ins for
  // the ports whose menu state is checked.
  RegisterModelItems(factory);
  RegisterPorts(factory);
  for (int tag : {102, 124, 128, 129})
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
