// Pages of the time ports, the two-position ports, the UNIO port with its modules and the
// automation port. Ports that live on the processor show no "Плата" row; every page applies a
// new port number through the port's own rule (tables re-prefixed where the number names them).
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>

#include "ui/frame_port.h"

namespace t32 {
class TPortGPS;
class TPortSNTP;
class TPortTwoPos;
class TPortUnio;
class TPortAuto;
class TUnioModule;
}  // namespace t32

namespace t32::ui {

class TAddrEditForm;

class TOtherPortFrame : public TPortFrame {
  Q_OBJECT
 public:
  TOtherPortFrame(TFrame1& owner, QWidget* parent, const QString& heading, bool processorBound);
  // The number picker; the choice goes through NumberChosen at once.
  TAddrEditForm* OpenNumberPicker();

 protected:
  virtual void NumberChosen(int n);
};

class TPortGPSFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortGPSFrame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  TNumberEdit* TimeGPSEdit;
  TNumberEdit* PortEdit;
  QComboBox* ProtBox;
  QLabel* ServerLabel;
  TIpEdit* ServerEdit;  // AddrEdit4..AddrEdit1 from left to right
  TNumberEdit* TimeZoneEdit;

 protected:
  void Fill() override;

 private:
  TPortGPS* Gps() const;
};

class TPortSNTPFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortSNTPFrame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  TNumberEdit* PortEdit;
  QLabel* ProtocolLabel;
  QCheckBox* NetBox;
  TNumberEdit* TimeZoneEdit;

 protected:
  void Fill() override;
};

// A signal field of a two-position record: takes a row dragged from the storage panel.
class TSignalDropField : public QLineEdit {
  Q_OBJECT
 public:
  explicit TSignalDropField(QWidget* parent);
  std::function<void()> onDrop;

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
};

class TTwoPosFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TTwoPosFrame(TFrame1& owner, QWidget* parent, bool ts);
  void StoreItem() override;
  int Shown() const { return shown_; }
  TNumberEdit* CountEdit;
  QPushButton* SetButton;
  QListWidget* SignalList;
  QGroupBox* SignalBox;  // "Настройка сигнала"
  TSignalDropField* OffField;
  TSignalDropField* OnField;
  QCheckBox* OffInvert = nullptr;  // ТС-2
  QCheckBox* OnInvert = nullptr;
  TNumberEdit* TransitionEdit = nullptr;
  QComboBox* OffCommand = nullptr;  // ТУ-2
  QComboBox* OnCommand = nullptr;
  QPushButton* DeleteButton;

 protected:
  void Fill() override;
  void NumberChosen(int n) override;

 private:
  TPortTwoPos* TwoPos() const;
  void StoreRecord();
  void ShowRecord();
  void Dropped(bool on);
  bool ts_;
  int shown_ = -1;
};

class TPortUnioFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortUnioFrame(TFrame1& owner, QWidget* parent);
  QLabel* CountLabel;

 protected:
  void Fill() override;
  void NumberChosen(int n) override;
};

class TUnioModuleFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TUnioModuleFrame(TFrame1& owner, QWidget* parent, int code);
  void ShowItem(TItem* item) override;
  void StoreItem() override;
  QLabel* Heading;
  TNumberEdit* AddressEdit;
  QLabel* ExistsLabel;  // "Уже существует"
  TNumberEdit* RetriesEdit;
  TNumberEdit* WaitEdit;
  TNumberEdit* PeriodEdit = nullptr;    // МДС-24
  TNumberEdit* DebounceEdit = nullptr;  // МДС-24
  TNumberEdit* TuTimeEdit = nullptr;    // МРК-12, МДК-24
  QComboBox* ModeBox;

 private:
  TUnioModule* Module() const;
  int code_;
};

class TPortAutoFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortAutoFrame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  QCheckBox* AutoCheck;
  QPushButton* ExportButton;
  QPushButton* ImportButton;

 protected:
  void Fill() override;

 private:
  TPortAuto* Auto() const;
};

// Adds these pages to the frame table.
void RegisterOtherPortFrames();

}  // namespace t32::ui
