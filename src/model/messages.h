// How the model speaks to the user. The desktop program shows these in modal windows, the
// command-line tool writes them to stderr, and tests record them. The texts themselves are
// produced by the model, so they are the same everywhere.
#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace t32 {

class TNode;

// A device address with its type name (the add-devices picker).
struct TDevicePick {
  int address = 0;
  std::string type;
};

// Answers of the confirmation dialog.
enum TAnswer { kYes = 1, kNo = 2, kCancel = 3, kIgnore = 4 };

class TMessages {
 public:
  virtual ~TMessages() = default;
  // The error window: beep, title "<program> - Ошибка", one "Закрыть" button.
  virtual void ShowError(const std::string& text) = 0;
  // The confirmation dialog "Да"/"Нет" (and "Отмена" when withCancel); returns a TAnswer.
  virtual int AskConfirm(const std::string& text, bool withCancel = false) = 0;
  // An error window with the buttons Cancel and Ignore; returns kCancel or kIgnore. Tools
  // that cannot ask (the command-line tool) cancel, so nothing is stored on their behalf.
  virtual int AskCancelIgnore(const std::string& /*text*/) { return kCancel; }
  // Asks the tree view to select a node (posted, so it happens after the current command).
  virtual void SelectNode(TNode* /*node*/) {}
  // Progress of long work: done of total steps.
  virtual void Progress(long long /*done*/, long long /*total*/) {}
  // A one-line input dialog: title, prompt and the text shown selected. None when cancelled;
  // tools that cannot ask (the command-line tool) cancel.
  virtual std::optional<std::string> AskText(const std::string& /*title*/, const std::string& /*prompt*/,
                                             const std::string& /*initial*/) {
    return std::nullopt;
  }
  // The add-devices picker: the port's used addresses and types and the library's types in,
  // the picked address + type pairs out; false when cancelled.
  virtual bool PickDevices(const std::vector<TDevicePick>& /*used*/, const std::vector<std::string>& /*types*/,
                           std::vector<TDevicePick>& /*picked*/) {
    return false;
  }
};

// Collects messages; answers confirmations with a preset answer. Used by tests and tools.
class TRecordedMessages : public TMessages {
 public:
  void ShowError(const std::string& text) override { errors.push_back(text); }
  int AskConfirm(const std::string& text, bool) override {
    questions.push_back(text);
    return answer;
  }
  void SelectNode(TNode* node) override { selected.push_back(node); }
  // Answers Cancel/Ignore questions from `cellAnswers` in order, then with `cellAnswer`.
  int AskCancelIgnore(const std::string& text) override {
    cellQuestions.push_back(text);
    if (cellAnswers.empty()) return cellAnswer;
    int a = cellAnswers.front();
    cellAnswers.pop_front();
    return a;
  }
  std::vector<std::string> cellQuestions;
  std::deque<int> cellAnswers;
  int cellAnswer = kCancel;
  // Answers text requests from `texts` in order; cancels once they run out.
  std::optional<std::string> AskText(const std::string&, const std::string& prompt, const std::string& initial) override {
    prompts.push_back(prompt);
    shownTexts.push_back(initial);
    if (texts.empty()) return std::nullopt;
    std::string t = texts.front();
    texts.pop_front();
    return t;
  }
  std::deque<std::string> texts;
  std::vector<std::string> prompts, shownTexts;
  bool PickDevices(const std::vector<TDevicePick>& used, const std::vector<std::string>&,
                   std::vector<TDevicePick>& picked) override {
    pickUsed = used;
    picked = devicePicks;
    return pickAnswer;
  }
  std::vector<TDevicePick> devicePicks, pickUsed;
  bool pickAnswer = false;
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  std::vector<TNode*> selected;
  int answer = kYes;
};

}  // namespace t32
