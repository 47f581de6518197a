// "Структура IED": the browser of an IEC 61850 server's model. It shows the MMS client's
// variable tree (loaded from the server or from an SCL file), reads and writes values, shows
// the configured reports and GOOSE control blocks, and in selecting mode lets the engineer
// tick the data a device is to poll. The window never owns the client it shows.
#pragma once
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <vector>

#include "iec61850/mmsclient.h"
#include "ui/dialogs.h"
#include "ui/vmd_model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace t32::ui {

// The model tree: a left release over the icon of the current node, or Space, asks for a tick.
class TVMDTreeView : public QTreeView {
  Q_OBJECT
 public:
  explicit TVMDTreeView(QWidget* parent = nullptr);
  bool picking = false;
  // Where the node's icon is drawn (viewport coordinates) and where its text begins.
  QRect IconRect(const QModelIndex& index);
  int TextLeft(const QModelIndex& index);

 signals:
  void PickRequested(const QModelIndex& index);

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class TVMDbrowserForm : public TRightCloseDialog, public TMMSEvents {
  Q_OBJECT
 public:
  explicit TVMDbrowserForm(QWidget* parent = nullptr);
  ~TVMDbrowserForm() override;
  // The one window of the program, created on first use and kept.
  static TVMDbrowserForm& Shared();

  // Attaches the client (the window becomes its listener, passing every event on to the
  // listener it had), sets the mode and shows the window modally.
  int OpenBrowser(TMMSobject* client, bool selecting);
  // Closes the window if it is shown, then opens it for ticking.
  int OpenBrowserForSelection(TMMSobject* client);
  // Gives the client back its former listener; the next opening rebuilds the tree.
  void Detach();
  TMMSobject* Client() const { return client_; }
  bool Selecting() const { return selecting_; }

  // "Добавить объекты": the ticked nodes, in tree order.
  std::function<void(const std::vector<TMMSvar*>&)> OnAddObjects;
  // The model was loaded from the server, or a file load ended (also when it was cancelled).
  std::function<void()> OnModelLoaded;

  // Status update (buttons, lists, link indicator, caption); the timer runs it every 200 ms.
  void UpdateStatus();
  // Rebuilds the tree from the client's current model.
  void RebuildTree();

  // Commands.
  void LoadFromDevice();
  void LoadFromFile();
  void ReadData();
  void WriteValue();
  void ShowReports();
  void ShowGoose();
  void RequestReport();
  void AddObjects();

  // TMMSEvents
  void StateChanged(int s) override;
  void BrowseStepChanged(int step) override;
  void VariableUpdated(TMMSvar* v) override;
  void WriteResult(TMMSvar* v, int code) override;
  void FileProgress(std::uint64_t done, std::uint64_t size) override;
  void DirectoryComplete(bool ok) override;
  void FileComplete(bool ok) override;
  void ActiveServerChanged(int index) override;
  void Trace(const std::string& text) override;
  void ModelLoaded() override;
  void ReportStepChanged(int s) override;

  // Browse step texts of the status label; empty for steps that leave it.
  static QString BrowseStepText(int step, const TMMSobject& client);

  QPushButton* LoadDeviceButton;
  QPushButton* LoadFileButton;
  QPushButton* ReadButton;
  QPushButton* WritePanelButton;
  QPushButton* ReportPanelButton;
  QPushButton* GoosePanelButton;
  QPushButton* AddObjectsButton;
  QPushButton* AttributesButton;
  QPushButton* CloseButton;
  QLabel* LinkLamp;
  QLabel* SvcLabel;
  QLabel* CbbLabel;
  QLabel* StatusLabel;
  std::vector<QCheckBox*> Filters;
  TVMDTreeView* Tree;
  TVMDModel* Model;
  QWidget* WritePanel;
  QLineEdit* WriteEdit;
  QPushButton* WriteButton;
  QPushButton* WriteHideButton;
  QWidget* ReportPanel;
  QTreeView* ReportView;
  TReportListModel* ReportModel;
  QPushButton* ReportRequestButton;
  QPushButton* ReportHideButton;
  QWidget* GoosePanel;
  QTreeView* GooseView;
  TGooseListModel* GooseModel;
  QPushButton* GooseHideButton;
  QTimer StatusTimer;

 private:
  void Attach(TMMSobject* client);
  void TogglePick(const QModelIndex& index);
  std::vector<TMMSvar*> SelectedNodes() const;
  void SizeList(QTreeView* view, int rows);
  void SendNextWrite();
  void ShowCaption();
  TMMSEvents& Next();

  TMMSobject* client_ = nullptr;
  TMMSobject* lastShown_ = nullptr;
  const TMMSvar* shownRoot_ = nullptr;
  TMMSEvents* previous_ = nullptr;
  int lastServer_ = -1;
  bool selecting_ = false;
  // A write of many values goes as several requests, one after the other (one write may be
  // outstanding at a time, and one request holds less than 32,769 octets).
  std::vector<std::vector<TMMSvar*>> writeChunks_;
  std::string writeText_;
};

// Draws the browser for scripts/screenshots ("vmd-view:FILE", "vmd-select:FILE",
// "vmd-reports:PORT") into a PNG.
bool RunVmdScreenshot(const QString& step, const QString& png);

}  // namespace t32::ui
