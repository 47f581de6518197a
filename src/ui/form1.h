// The main window: toolbar, the "Файл" and "Справка" popups, CPU choice, the tree frame, the
// settings file, help and the window-wide keyboard and mouse rules.
#pragma once
#include <QMainWindow>
#include <memory>

#include "project/cfgfile.h"
#include "project/history.h"
#include "ui/settings.h"

class QAction;
class QRadioButton;
class QTimer;
class QToolButton;
class QMenu;

namespace t32 {
class TAppContext;
class TDocument;
class TItemFactory;
}

namespace t32::ui {

class TFrame1;
class TQtMessages;
class TLinkSession;

struct TForm1Options {
  QString settingsPath;  // empty: beside the program, else the user's config folder
  QString programDir;    // empty: the program's folder
  bool helpViewer = true;  // F1 starts the desktop's viewer (tests turn it off)
  const TItemFactory* factory = nullptr;  // null: every class the linked layers registered
};

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(TForm1Options opt = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  TDocument& Doc() { return *doc_; }
  TFrame1* Frame1() const { return frame1_; }
  TAppSettings& Settings() { return settings_; }
  const QString& SettingsFile() const { return opt_.settingsPath; }
  TCpu Cpu() const;
  void SetCpu(TCpu cpu);
  const QString& CurrentFile() const { return currentFile_; }
  void SetCurrentFile(const QString& f) { currentFile_ = f; }

  // File commands; the dialogs are skipped when a path is given.
  void NewExecute();
  bool OpenFile(const QString& path);
  bool SaveToFile(const QString& path);
  void OpenClick();
  // False when nothing was saved (cancelled or failed).
  bool SaveClick();
  bool SaveAsClick();
  // Help page path for a context number (empty when no help is installed).
  QString HelpPage(int context) const;
  int HelpContext() const;
  void HelpsClick();  // the menu command: the general page
  void HelpKey();     // F1: the page of the active window or the shown editor frame
  void ShowHelp(int context);
  void AboutClick();
  void LinkButtonClick();
  void UpdateCaption();

  // Unsaved changes: the document differs from what was last opened or saved.
  bool Modified() const { return history_.CurrentId() != savedId_; }
  // Before the configuration is replaced or the window closes: with unsaved changes asks
  // "Сохранить изменения в файле …?" (Да saves first); false when the user cancelled.
  bool MaybeSave();
  // Takes the document's state after an edit into the undo history (no-op when unchanged).
  void Checkpoint();
  // Deferred checkpoint: runs once the current command (and any dialog it opened) is over.
  void ScheduleCheckpoint();
  void UndoClick();
  void RedoClick();
  THistory& History() { return history_; }

  // Crash recovery: the configuration is written beside the settings file every few minutes
  // while it has unsaved changes (T32_AUTOSAVE_SECONDS sets the interval).
  QString AutosaveFile() const;
  bool Autosave();
  // At start: an autosaved configuration left by a program that did not close is offered.
  void OfferRecovery();
  // The controller link: commands on its worker thread, progress, login, live values.
  TLinkSession& Link() const { return *link_; }

  // Actions (menu entries) by their handler names.
  QAction *New, *Open, *Save, *Save_as, *Undo, *Redo, *ReadConf, *WriteConf, *WriteProg, *ReadAuto, *WriteAuto, *WritePswrd,
      *Reboot, *SetTime, *Exits, *Helps, *About;
  QMenu* fileMenu;
  QMenu* helpMenu;
  QToolButton* LinkButton;
  QToolButton* PasswordButton;
  QRadioButton* FastwelButton;  // "CPU-6358, CPC108"
  QRadioButton* DalgorButton;   // "CPU-927"
  QString lastHelpPage;         // the page F1 opened last (for tests and the status bar)

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void BuildActions();
  void BuildToolbar();
  // The first start (no settings file yet): a size that fits the screen and the toolbar.
  void FitFirstStart();
  TViewState CurrentView() const;
  void ShowView(const TViewState& v);
  void AfterHistoryChange();
  void RemoveAutosave();
  // A whole new configuration came in (opened, read, created): it is the saved state.
  void TakeAsSaved();
  THistory history_;
  std::uint64_t savedId_ = 0;
  bool checkpointPending_ = false;
  bool askBeforeOverwrite_ = false;  // "Создать" kept the file name: the first F2 asks
  QTimer* autosaveTimer_ = nullptr;
  TForm1Options opt_;
  TAppSettings settings_;
  // Device library and template buffer: outlive the document that points at them.
  std::unique_ptr<TAppContext> appContext_;
  std::unique_ptr<TQtMessages> messages_;
  std::unique_ptr<TDocument> doc_;
  TFrame1* frame1_ = nullptr;
  TLinkSession* link_ = nullptr;
  QString currentFile_;
  QString openDir_;
  bool closed_ = false;
  bool readingConf_ = false;
  class TWindowRules* rules_ = nullptr;
};

// Closes secondary windows on Esc and on a right button release; installed on the application.
class TWindowRules : public QObject {
 public:
  explicit TWindowRules(TForm1* mainWindow) : QObject(mainWindow), main_(mainWindow) {}
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  TForm1* main_;
};

}  // namespace t32::ui
