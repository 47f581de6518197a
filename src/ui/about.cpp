#include "ui/about.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace t32::ui {

TAboutBox::TAboutBox(QWidget* parent) : TRightCloseDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("О програме");
  setProperty("helpContext", 1);
  auto* lay = new QVBoxLayout(this);
  auto* title = new QLabel(QString("<h2>%1</h2>").arg(QString::fromUtf8(kProgramTitle)), this);
  title->setAlignment(Qt::AlignCenter);
  lay->addWidget(title);
  auto* text = new QLabel(QString("Конфигуратор контроллера телемеханики ТАВРИК32<br>"
                                  "Версия %1, сборка от %2<br><br>"
                                  "Закрыть окно: Esc или правая кнопка мыши.")
                              .arg(T32_VERSION, __DATE__),
                          this);
  text->setAlignment(Qt::AlignCenter);
  lay->addWidget(text);
  auto* ok = new QPushButton("OK", this);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  lay->addWidget(ok, 0, Qt::AlignCenter);
}

}  // namespace t32::ui
