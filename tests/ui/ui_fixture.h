// Shared set-up of the UI tests: one QApplication on the offscreen platform, a main window
// with its own settings file and factory, and a hook that answers modal dialogs.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "model/document.h"
#include "model/factory.h"
#include "model/item.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/frames_tables.h"

namespace t32::test {

QApplication& App();

// A port class registered under a menu tag, for menus whose real classes are not linked.
// Its output tables are written and read back with it, as a real port's are.
class TFakePort : public TPort {
 public:
  explicit TFakePort(int code) : code_(code) {
    name = "Порт" + std::to_string(code);
    popup = TPopup::DeleteMenu;
  }
  const char* ClassName() const override { return "TFakePort"; }
  int SectionCode() const override { return code_; }
  void Fields(TFieldVisitor& v) override { v.U8({"number", 1, 1, 40}, number); }
  void LoadFromImage(TConfig& c) override;
  // Adds an output table of the type under the port.
  TParams* AddOutputTable(int type);
  int code_;
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Makes the main window (settings in a temporary folder unless an ini path is given).
  void MakeForm(const QString& iniPath = {});
  TDocument& Doc() { return form->Doc(); }
  ui::TFrame1& Frame() { return *form->Frame1(); }
  TNode* NodeByCaption(const std::string& caption);
  // Real input: a click on a node of the tree, on a cell of a list frame; lets posted work run.
  void ClickNode(TNode* n, Qt::MouseButton button = Qt::LeftButton);
  void ClickRow(ui::TFrameParams* f, int row, ui::TCol col, Qt::KeyboardModifiers mods = {});
  void DoubleClickRow(ui::TFrameParams* f, int row, ui::TCol col);
  static void Settle();
  // Typed text, character by character (any script).
  static void TypeText(QWidget* w, const QString& text);
  // Drag and drop delivered to a view as the system delivers it (enter, move, drop); true when
  // the view accepted the drop. The mime data is taken over.
  static bool DropOn(QWidget* viewport, QPoint pos, QMimeData* mime);
  // The dialog answer that clicks the button with this text (questions, messages).
  static std::function<int(QDialog&)> Click(const QString& buttonText);
  // The main list frame of the current item.
  ui::TFrameParams* ListFrame() { return dynamic_cast<ui::TFrameParams*>(Frame().CurrentFrame()); }
  // Dialog answers: every modal dialog shown goes to `answer`; titles and texts are kept.
  std::function<int(QDialog&)> answer;
  std::vector<QString> dialogTitles;
  std::vector<QString> dialogTexts;

  QTemporaryDir dir;
  TItemFactory factory;
  std::unique_ptr<ui::TForm1> form;
};

}  // namespace t32::test
