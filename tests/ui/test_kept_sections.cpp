// A file holding sections this version does not edit, in the window: one message when it is
// opened, kept items shown but not editable, deletable as a whole, saved back unchanged.
#include <QFile>
#include <QLabel>
#include <QTest>

#include "model/boards.h"
#include "model/messages.h"
#include "model/rawsection.h"
#include "project/cfgfile.h"
#include "ui/frames.h"
#include "ui_fixture.h"

namespace t32::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sec(unsigned code, const std::vector<Bytes>& parts) {
  Bytes s{0xF1, 0xFF, static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(code >> 8), 0, 0, 0, 0};
  for (const Bytes& p : parts) s.insert(s.end(), p.begin(), p.end());
  std::uint32_t len = static_cast<std::uint32_t>(s.size());
  for (int i = 0; i < 4; ++i) s[4 + i] = static_cast<std::uint8_t>(len >> (8 * i));
  return s;
}
Bytes Ent(unsigned key, Bytes v) {
  Bytes e{0xF2, 0xFF, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8)};
  std::uint32_t len = static_cast<std::uint32_t>(v.size() + 8);
  for (int i = 0; i < 4; ++i) e.push_back(static_cast<std::uint8_t>(len >> (8 * i)));
  e.insert(e.end(), v.begin(), v.end());
  return e;
}

const Bytes kForeign = Sec(44, {Ent(48, {1}), Ent(1, {3}), Ent(9, {1, 2, 3})});
const Bytes kNewer = Sec(4, {Ent(48, {2}), Ent(1, {2}), Ent(17, {1})});

bool Contains(const Bytes& hay, const Bytes& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

}  // namespace

TEST_F(UiTest, KeptSectionsAreShownNotEditedAndSavedUnchanged) {
  // Processor (four root children), a DI32 at 1, a board of code 44, a DI32 of version 2.
  Bytes img(TConfig::kDataStart, 0);
  for (const Bytes& s : {Sec(0, {Ent(48, {1}), Ent(2, {4}), Ent(3, {1})}), Sec(4, {Ent(48, {1}), Ent(1, {1})}), kForeign,
                         kNewer, Sec(100, {Ent(48, {1})})})
    img.insert(img.end(), s.begin(), s.end());
  TBuildOptions opt;
  opt.cpu = TCpu::Cpu6358;
  std::string err;
  ASSERT_TRUE(FinishImage(img, img.size(), opt, &err));
  QString path = dir.filePath("kept.cfg");
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(img.data()), static_cast<qint64>(img.size()));
  }
  MakeForm();
  answer = [](QDialog&) { return int(kYes); };
  ASSERT_TRUE(form->OpenFile(path));
  int said = 0;
  for (const QString& t : dialogTexts) said += t.contains(QString::fromUtf8(kKeptSectionsMessage));
  EXPECT_EQ(said, 1);

  ui::TFrame1& f = Frame();
  TNode* root = Doc().Tree().Root();
  ASSERT_EQ(root->ChildCount(), 4);
  // The board of a newer layout: its page is shown greyed out; the others stay editable.
  f.SelectNode(root->Child(3));
  ASSERT_NE(f.CurrentFrame(), nullptr);
  EXPECT_FALSE(f.CurrentFrame()->isEnabled());
  EXPECT_EQ(f.MenuFor(root->Child(3)), f.deleteMenu);
  EXPECT_EQ(f.MenuFor(root->Child(3)->Child(0)), nullptr);  // its table: no menu
  f.SelectNode(root->Child(1));
  EXPECT_TRUE(f.CurrentFrame()->isEnabled());
  // The foreign board: its caption and the note, and only "Удалить".
  f.SelectNode(root->Child(2));
  EXPECT_EQ(f.CurrentFrame(), nullptr);
  bool noted = false;
  for (QLabel* l : f.findChildren<QLabel*>())
    noted |= l->isVisible() && l->text().contains(QString::fromUtf8(kKeptItemNote));
  EXPECT_TRUE(noted);
  EXPECT_EQ(f.MenuFor(root->Child(2)), f.deleteMenu);

  // Editing the first DI32 and saving (F2) keeps the other two sections as they were.
  static_cast<TDI32*>(root->Child(1)->Item())->SetDebounce(0);
  form->Save->trigger();
  TDocument again;
  ASSERT_TRUE(OpenConfigFile(again, path.toStdString(), nullptr));
  const Bytes& out = again.Config().Image();
  EXPECT_TRUE(Contains(out, kForeign));
  EXPECT_TRUE(Contains(out, kNewer));
  EXPECT_EQ(static_cast<TDI32*>(again.Tree().Root()->Child(1)->Item())->debounce, 0);
}

}  // namespace t32::test
