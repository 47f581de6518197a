// Editor frames: one frame class per item class, registered in one table that maps the item's
// class name to a frame factory. A frame moves values between its widgets and the item and
// calls the item's methods; the rules stay in the item.
#pragma once
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

namespace t32 {
class TDocument;
class TItem;
class TNode;
}  // namespace t32

namespace t32::ui {

class TFrame1;

class TEditorFrame : public QWidget {
  Q_OBJECT
 public:
  explicit TEditorFrame(TFrame1& owner, QWidget* parent = nullptr);
  // Fills the widgets from the item (ShowInEditor).
  virtual void ShowItem(TItem* item) = 0;
  // Copies the widgets into the item (StoreFromEditor).
  virtual void StoreItem() {}
  // Stores the page unless it holds a value the user chose not to have stored (a table cell
  // answered with Cancel): false then, and the page keeps its item.
  virtual bool TryStoreItem() {
    StoreItem();
    return true;
  }
  // Help page number for F1.
  virtual int HelpContext() const { return 1; }
  TItem* Item() const { return item_; }

 protected:
  TDocument& Doc() const;
  TFrame1& owner_;
  TItem* item_ = nullptr;
  bool filling_ = false;  // true while ShowItem writes the widgets
};

using TFrameMaker = std::function<TEditorFrame*(TFrame1& owner, QWidget* parent)>;
// item class name -> frame factory
std::map<std::string, TFrameMaker>& FrameRegistry();
void RegisterFrame(const std::string& itemClass, TFrameMaker maker);
// Registers the frames of this library (called once by the tree frame).
void RegisterBuiltinFrames();

// A decimal number typed by the user: "." or "," as the decimal mark, spaces around ignored.
// False for anything that is not a finite number within a float's range (the controller keeps
// these values as floats): "nan", "inf" and "1e40" are refused, not stored.
bool ParseUserNumber(const QString& text, double* value);

// A number field: digits only; a value above the maximum becomes the maximum while typing,
// an empty field takes the minimum when left. isModified() tells whether the user typed since
// the value was last shown: frames store only such fields, so showing and storing an untouched
// item never changes it (a value outside the field's range stays as it was read).
class TNumberEdit : public QLineEdit {
  Q_OBJECT
 public:
  TNumberEdit(long long min, long long max, QWidget* parent = nullptr);
  void SetValue(long long v);
  long long Value() const;
  void SetRange(long long min, long long max);
  long long Min() const { return min_; }
  long long Max() const { return max_; }
 signals:
  void ValueEdited(long long v);

 protected:
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void OnEdited(const QString& text);
  long long min_, max_;
};

// A chooser in an editor page: the wheel turns it only while it has the focus; otherwise the
// wheel scrolls the page it sits on (a notch over a mode chooser must not rebuild tables).
class TChooser : public QComboBox {
  Q_OBJECT
 public:
  explicit TChooser(QWidget* parent = nullptr);

 protected:
  void wheelEvent(QWheelEvent* e) override;
};

// Four octet fields of an IPv4 address held as a number (first octet most significant).
class TIpEdit : public QWidget {
  Q_OBJECT
 public:
  explicit TIpEdit(QWidget* parent = nullptr);
  void SetAddress(unsigned v);
  unsigned Address() const;
  TNumberEdit* octet[4];
 signals:
  void Edited();
};

}  // namespace t32::ui
