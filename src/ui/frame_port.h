// Shared pieces of the port pages: the heading, "Адрес порта" with the number picker (1 to 40,
// the other ports' numbers taken), "Плата" with "Настроить", and the export save dialog.
#pragma once
#include <QComboBox>
#include <QGroupBox>
#include <array>
#include <cstdint>
#include <QLabel>
#include <vector>

#include "model/item.h"
#include "ui/frames.h"

class QFormLayout;
class QPushButton;
class QVBoxLayout;

namespace t32 {
class TOutputPort;
}

namespace t32::ui {

class TAddrEditForm;
class TAddrField;

class TPortFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TPortFrame(TFrame1& owner, QWidget* parent, const QString& heading);
  void ShowItem(TItem* item) override;
  // Opens the picker under "Адрес порта"; the choice applies at once.
  TAddrEditForm* OpenPicker();
  // Asks for a file ("Список параметров" filter; first in the program's folder, then where the
  // last export went) and writes the port's signal list there.
  void ExportIni(TOutputPort* port);

  QLabel* Heading;
  TAddrField* AddrEdit;
  QComboBox* ChannelBox;     // "Плата"
  QPushButton* SetupButton;  // "Настроить"

 protected:
  TPort* Port() const { return dynamic_cast<TPort*>(item_); }
  // Fills the page's own widgets (the shared ones are filled already).
  virtual void Fill() = 0;
  // After the port was bound or unbound.
  virtual void BindingChanged() {}
  // Stores the page, runs the change, shows the item again.
  void Apply(const std::function<void()>& change);
  TNumberEdit* AddNumber(QFormLayout* form, const QString& caption, long long min, long long max, const char* name);
  QVBoxLayout* lay_;
  QFormLayout* form_;
  std::vector<TInterfaceEntry> interfaces_;
};

// "Таблица задания форматов выдачи параметров" of the IEC 101 outputs (the control-station port
// and the PC workstation): messages per ASDU and the ASDU types for ТС, ТИ and ТИИ. Both items keep
// the same six-byte format rows; a value an older image holds that no chooser offers is added to
// that chooser, so showing and storing keeps it.
class TFormatBox : public QGroupBox {
 public:
  using TFormats = std::array<std::uint8_t, 6>;
  explicit TFormatBox(QWidget* parent);
  void Show(const TFormats& ts, const TFormats& ti, const TFormats& tii);
  void Store(TFormats& ts, TFormats& ti, TFormats& tii) const;

  QComboBox *TsPerMsgBox, *TsGiBox;
  QComboBox *TiPerMsgBox, *TiSporadicBox, *TiCyclicBox, *TiGiBox;
  QComboBox *TiiPerMsgBox, *TiiCounterBox;
};

// The folder and file the next export dialog starts at (the program's folder at first).
QString& LastExportFile();

}  // namespace t32::ui
