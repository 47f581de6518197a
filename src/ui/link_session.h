// The main window's side of the controller link: one worker thread that runs every controller
// command, so the window keeps painting and answering while a transfer waits; the messages of a
// command shown on the window thread; the progress bar with its "Отмена"; the commands of the
// "Файл" menu; the link settings and the login; live values of signal lists.
#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "link/controller.h"
#include "link/link.h"
#include "model/messages.h"
#include "project/cfgfile.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QCheckBox;

namespace t32::ui {

class TForm1;
class TFrameParams;
struct TAppSettings;

// One thread that runs jobs in the order they were posted.
class TLinkWorker {
 public:
  TLinkWorker();
  ~TLinkWorker();
  TLinkWorker(const TLinkWorker&) = delete;
  TLinkWorker& operator=(const TLinkWorker&) = delete;
  void Post(std::function<void()> job);
  // No job waiting and none running.
  bool Idle() const;
  // Drops the jobs not started yet.
  void DropPending();
  // Ends the thread after the running job (the caller makes sure it can finish).
  void Stop();

 private:
  void Loop();
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  bool running_ = false;
  bool stop_ = false;
  std::thread thread_;
};

// TMessages for the worker: every call is carried out on the window thread. Errors, questions
// and the login wait there for the user's answer (the command waits with them); progress is
// posted without waiting. After Shutdown nothing is shown any more and questions are answered
// "Отмена", so a command still running cannot hold the window's closing up.
class TLinkMessages : public TMessages {
 public:
  TLinkMessages(QObject& gui, TMessages& target) : gui_(gui), target_(target) {}
  void ShowError(const std::string& text) override;
  int AskConfirm(const std::string& text, bool withCancel = false) override;
  void SelectNode(TNode* node) override { target_.SelectNode(node); }
  void Progress(long long done, long long total) override;
  // Runs f on the window thread and waits for it (directly when already there).
  void OnGui(const std::function<void()>& f);
  void Shutdown() { shutdown_ = true; }
  bool IsShutdown() const { return shutdown_; }
  std::function<void(long long, long long)> onProgress;  // called on the window thread

 private:
  QObject& gui_;
  TMessages& target_;
  std::atomic<bool> shutdown_{false};
};

class TLiveValues;

class TLinkSession : public QObject {
  Q_OBJECT
 public:
  TLinkSession(TForm1& form, TMessages& guiMessages);
  ~TLinkSession() override;

  link::TLink& Link() { return *link_; }
  link::TController& Controller() { return *controller_; }
  TLinkMessages& Messages() { return *messages_; }

  // Link settings from the settings file (kind, port or device, addresses, UDP ports) with
  // these waiting limits; takes effect for the next command.
  link::TLinkTimeouts timeouts;
  void ApplySettings();
  // Opens and closes the configured link once; the state goes to the status bar. False with
  // the reason in *reason.
  bool TestLink(QString* reason = nullptr);
  static link::TLinkSettings LinkSettingsOf(const TAppSettings& s, const link::TLinkTimeouts& t);

  // A command is running (live value reads do not count).
  bool Busy() const { return commandRunning_; }
  bool LastOk() const { return lastOk_; }
  // Asks the running command to stop; its exchange wakes at once.
  void Cancel();
  // Before the window goes: cancels the command, answers its questions and waits for it.
  void Shutdown();

  // The commands of the "Файл" menu. Those with a file ask for it unless a path is given.
  // Each returns false when it could not start (another command is running, the file dialog
  // was cancelled); the command itself runs on and reports through CommandFinished.
  bool ReadConfClick();
  bool WriteConfClick();
  // Reads the controller's configuration file and hands its image, CPU type and file name to
  // `show` on the window's thread (nothing of the window's configuration is changed).
  bool ReadConfForReview(std::function<void(std::vector<std::uint8_t>&, TCpu, const std::string&)> show);
  bool WriteProgExecute(const QString& path = {});
  bool ReadAutoExecute(const QString& path = {});
  bool WriteAutoExecute(const QString& path = {});
  bool WritePswrdExecute(const QString& path = {});
  bool RebootClick();
  bool SetTimeExecute();
  // "Пароль": the login dialog; true when confirmed.
  bool PasswordButtonClick();
  // "Связь": the link settings dialog.
  void LinkButtonClick();

  // Live values of one list frame at a time.
  TLiveValues* Live() const { return live_; }
  void SetLive(TLiveValues* live);
  void LiveGone(TLiveValues* live);
  // Posts a job for live values (not a command: it never disables the menus).
  void PostLive(std::function<void()> job);
  bool WorkerIdle() const { return worker_.Idle(); }

  QProgressBar* progressBar = nullptr;
  QPushButton* cancelButton = nullptr;
  QLabel* linkState = nullptr;

 signals:
  void BusyChanged(bool busy);
  void CommandFinished(bool ok);

 private:
  bool Start(std::function<bool()> work);
  void Finish();
  QString ChooseFile(const QString& title, const QString& filter, const QString& start, bool save);
  bool ReadLocalFile(const QString& path, std::vector<std::uint8_t>& bytes);
  bool ShowLogin(link::TLogin& login);

  TForm1& form_;
  TMessages& guiMessages_;
  std::unique_ptr<TLinkMessages> messages_;
  std::unique_ptr<link::TLink> link_;
  std::unique_ptr<link::TController> controller_;
  TLinkWorker worker_;
  bool commandRunning_ = false;
  std::atomic<bool> lastOk_{false};
  std::atomic<bool> cancel_{false};
  bool shutdown_ = false;
  TLiveValues* live_ = nullptr;
};

// The "Значение" check box of a list frame: while ticked, a 100 ms timer reads the table's rows
// one after another from the controller and shows each value beside the row's name. The link
// stays open while ticked. A failed read paints the box red and tries the same row again.
class TLiveValues : public QObject {
  Q_OBJECT
 public:
  TLiveValues(TFrameParams& frame, QCheckBox& box);
  ~TLiveValues() override;
  // Ticking / unticking the box.
  void Start();
  void Stop();
  bool Running() const { return running_; }
  int Row() const { return row_; }
  void Tick();

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void Done(bool ok, int row, const void* table, std::uint32_t value);
  TLinkSession* Session() const;
  TFrameParams& frame_;
  QCheckBox& box_;
  QTimer* timer_;
  bool running_ = false;
  bool opened_ = false;
  bool inFlight_ = false;
  int row_ = 0;
  std::shared_ptr<std::atomic<bool>> alive_;
};

}  // namespace t32::ui
