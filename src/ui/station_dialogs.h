// The four dialogs of the IEC 104 station editor: station parameters, group parameters, object
// properties and cloning. They only move values between their fields and the station model.
#pragma once
#include <QLineEdit>
#include <QWidget>

#include "iec104/station.h"
#include "ui/dialogs.h"
#include "ui/frames.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QTabWidget;
class QVBoxLayout;
class QFormLayout;
class QGroupBox;

namespace t32::ui {

// Help pages of the station editor and its dialogs.
enum : int { kHelpStationForm = 60, kHelpProcDlg, kHelpGroupDlg, kHelpItemDlg, kHelpCloneDlg };

// A number shown twice: the decimal field drives the hex field while it has the focus and
// the other way round. Hex typed past the maximum becomes the maximum; hex that is not a
// number leaves the decimal value as it was.
class THexPair : public QWidget {
  Q_OBJECT
 public:
  THexPair(TRange range, bool withCaptions, QWidget* parent = nullptr);
  // Shows `v`; a value outside the range widens it, so that storing never changes a value.
  void SetValue(long long v);
  long long Value() const { return dec->Value(); }
  TNumberEdit* dec;
  QLineEdit* hex;

 private:
  void DecEdited();
  void HexEdited(const QString& text);
  TRange range_;
};

// What every dialog of the editor shares: a right click on it or on one of its labels
// cancels it, F1 finds its help page, and the buttons sit at the bottom.
class TStationDlg : public TRightCloseDialog {
  Q_OBJECT
 public:
  TStationDlg(const QString& caption, int helpContext, const QString& okText, const QString& cancelText,
              QWidget* parent);
  QPushButton* okButton;
  QPushButton* cancelButton;
  QLabel* Label(const QString& text, QWidget* parent = nullptr);
  // A row "caption: field" in a form layout, the caption cancelling on a right click.
  QLabel* Row(QFormLayout* form, const QString& caption, QWidget* field);

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  QVBoxLayout* body_;
};

// A number field sized to the model's range, widened to hold the shown value.
TNumberEdit* NumberField(TRange range, QWidget* parent);
void ShowNumber(TNumberEdit* e, TRange range, long long v);

class TProcDlg : public TStationDlg {
  Q_OBJECT
 public:
  explicit TProcDlg(QWidget* parent = nullptr);
  void ShowStation(const TWS_104& st);
  void StoreStation(TWS_104& st) const;

  QTabWidget* pages;
  QLineEdit* name;
  THexPair* commonAddress;
  TNumberEdit *linkLoss, *giInterval, *syncInterval, *askTimeout, *toReserve, *retryMain;
  QCheckBox *giOnConnect, *syncOnConnect, *extraChecksum;
  QWidget* reserveBox;  // the reserve-switching fields, collapsed
  struct Channel {
    TIpEdit* remote;
    TIpEdit* local;
    TNumberEdit *t0, *reconnect, *t1, *t2, *t3, *k, *w, *port;
  } mainCh, reserveCh;
  QCheckBox *commandsWithTime, *setPointsWithTime;

 private:
  QWidget* ChannelPage(Channel& c);
  void ShowChannel(Channel& c, const TChannel104& ch, std::uint16_t port);
  static void StoreChannel(const Channel& c, TChannel104& ch, std::uint16_t& port);
};

class TGroupDlg : public TStationDlg {
  Q_OBJECT
 public:
  explicit TGroupDlg(QWidget* parent = nullptr);
  void ShowGroup(const TGroup& g);
  // Stores every field; the kind goes through the station, which converts the objects.
  void StoreGroup(TWS_104& st, TGroup& g) const;

  QTabWidget* pages;
  QLineEdit *name, *alias;
  QComboBox* kind;
  THexPair *commonAddress, *baseAddress;
  QComboBox *askCommand, *askSelector;
  TNumberEdit* askPeriod;

 private:
  void FillSelectors(int command);
};

class TItemParamDlg : public TStationDlg {
  Q_OBJECT
 public:
  explicit TItemParamDlg(QWidget* parent = nullptr);
  void ShowItem(const TPProcItem& o);
  void StoreItem(TPProcItem& o) const;

  QTabWidget* pages;
  QLineEdit* name;
  THexPair* address;
  QLineEdit* kindText;
  // "Значение" (measurements and counters)
  QWidget* valuePage;
  QLineEdit *scale, *offset;
  QCheckBox* asUnsigned;
  // "Команда", "Уставка"
  QWidget *commandPage, *setPointPage;
  QComboBox *qualifier, *setPointFormat;
  // "Значение" (multi-bit ТС)
  QWidget* bitsPage;
  QSpinBox* dataBits;
  // "Файл"
  QWidget* filePage;
  TNumberEdit* fileId;
  QLineEdit* fileName;
  QPushButton* chooseFile;
  QSpinBox* fileDelay;
  // "Элемент"
  QWidget* logPage;
  QSpinBox* logSize;
  QComboBox* logType;
  QWidget *logRealBox, *logMaskBox;
  QLineEdit *logScale, *logOffset;
  QCheckBox* maskBit[16];  // maskBit[i] is bit i; bit 15 is drawn on the left
  // Folder the file chooser starts in.
  QString programDir;
  // Where "Неверный числовой формат" goes (real windows when null).
  TMessages* messages = nullptr;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void LogTypeChosen(int type);
  void ChooseFile();
  // The shown texts of the number fields, so that unchanged fields keep their exact value.
  QString shownScale_, shownOffset_, shownLogScale_, shownLogOffset_;
};

class TCloneDialog : public TStationDlg {
  Q_OBJECT
 public:
  explicit TCloneDialog(QWidget* parent = nullptr);
  void ShowParams(const QString& caption, const TCloneParams& p);
  TCloneParams Params() const;

  QLineEdit* nameTemplate;
  TNumberEdit *count, *counterStart, *counterStep;
  THexPair *addressStart, *addressStep;
};

// A number typed in a scale or offset field: "." or "," as the separator.
bool ParseReal(const QString& text, float* out);

}  // namespace t32::ui
