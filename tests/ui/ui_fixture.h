// Shared set-up of the UI tests: one QApplication on the offscreen platform, a main window
// with its own settings file and factory, and a hook that answers modal dialogs.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "model/document.h"
#include "model/factory.h"
#include "model/item.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/frame1.h"

namespace t32::test {

QApplication& App();

// A port class registered under a menu tag, for menus whose real classes are not linked.
class TFakePort : public TPort {
 public:
  explicit TFakePort(int code) : code_(code) {
    name = "Порт" + std::to_string(code);
    popup = TPopup::DeleteMenu;
  }
  const char* ClassName() const override { return "TFakePort"; }
  int SectionCode() const override { return code_; }
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
  // Dialog answers: every modal dialog shown goes to `answer`; titles and texts are kept.
  std::function<int(QDialog&)> answer;
  std::vector<QString> dialogTitles;
  std::vector<QString> dialogTexts;

  QTemporaryDir dir;
  TItemFactory factory;
  std::unique_ptr<ui::TForm1> form;
};

}  // namespace t32::test
