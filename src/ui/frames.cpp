#include "ui/frames.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QRegularExpressionValidator>
#include <cmath>
#include <limits>
#include <QWheelEvent>

#include "ui/frame1.h"

namespace t32::ui {

TEditorFrame::TEditorFrame(TFrame1& owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

TDocument& TEditorFrame::Doc() const { return owner_.Doc(); }

std::map<std::string, TFrameMaker>& FrameRegistry() {
  static std::map<std::string, TFrameMaker> r;
  return r;
}

void RegisterFrame(const std::string& itemClass, TFrameMaker maker) {
  FrameRegistry()[itemClass] = std::move(maker);
}

bool ParseUserNumber(const QString& text, double* value) {
  QString t = text.trimmed();
  if (t.count(',') + t.count('.') > 1) return false;
  t.replace(',', '.');
  // Digits, one mark, a sign and an exponent only: no words such as "nan" or "inf".
  static const QRegularExpression form("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$");
  if (!form.match(t).hasMatch()) return false;
  bool ok = false;
  double v = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max()) return false;
  if (value) *value = v;
  return true;
}

TNumberEdit::TNumberEdit(long long min, long long max, QWidget* parent)
    : QLineEdit(parent), min_(min), max_(max) {
  setValidator(new QRegularExpressionValidator(QRegularExpression(min < 0 ? "-?[0-9]*" : "[0-9]*"), this));
  connect(this, &QLineEdit::textEdited, this, &TNumberEdit::OnEdited);
  setAlignment(Qt::AlignRight);
  SetRange(min, max);
}

void TNumberEdit::SetRange(long long min, long long max) {
  min_ = min;
  max_ = max;
  int digits = static_cast<int>(std::max(QString::number(max).size(), QString::number(min).size()));
  setMaximumWidth(fontMetrics().horizontalAdvance(QString(digits + 2, '0')) + 16);
}

void TNumberEdit::SetValue(long long v) { setText(QString::number(std::clamp(v, min_, max_))); }

long long TNumberEdit::Value() const {
  bool ok = false;
  long long v = text().toLongLong(&ok);
  if (!ok) return min_;
  return std::clamp(v, min_, max_);
}

void TNumberEdit::OnEdited(const QString& t) {
  if (t.isEmpty() || t == "-") return;
  bool ok = false;
  long long v = t.toLongLong(&ok);
  if (!ok || v > max_) {  // above the maximum (or too long to be a number): the maximum
    setText(QString::number(max_));
    setModified(true);  // the user's typing, only capped
    v = max_;
  }
  if (v >= min_) emit ValueEdited(v);
}

void TNumberEdit::focusOutEvent(QFocusEvent* e) {
  // Only what the user typed is corrected: a shown value outside the range stays untouched.
  if (isModified() && (text().isEmpty() || text() == "-" || text().toLongLong() < min_)) {
    setText(QString::number(min_));
    setModified(true);
    emit ValueEdited(min_);
  }
  QLineEdit::focusOutEvent(e);
}

TChooser::TChooser(QWidget* parent) : QComboBox(parent) { setFocusPolicy(Qt::StrongFocus); }

void TChooser::wheelEvent(QWheelEvent* e) {
  if (!hasFocus()) {
    e->ignore();  // goes on to the scroll area
    return;
  }
  QComboBox::wheelEvent(e);
}

TIpEdit::TIpEdit(QWidget* parent) : QWidget(parent) {
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(2);
  for (int i = 0; i < 4; ++i) {
    octet[i] = new TNumberEdit(0, 255, this);
    octet[i]->setFixedWidth(octet[i]->fontMetrics().horizontalAdvance("0000") + 14);
    lay->addWidget(octet[i]);
    if (i < 3) lay->addWidget(new QLabel(".", this));
    connect(octet[i], &TNumberEdit::ValueEdited, this, &TIpEdit::Edited);
  }
  lay->addStretch();
}

void TIpEdit::SetAddress(unsigned v) {
  for (int i = 0; i < 4; ++i) octet[i]->SetValue((v >> (24 - 8 * i)) & 0xFF);
}

unsigned TIpEdit::Address() const {
  unsigned v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned>(octet[i]->Value());
  return v;
}

}  // namespace t32::ui
