#include "ui/icons.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace t32::ui {

namespace {
QPixmap Draw(int index) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPen outline(QColor(40, 40, 40));
  outline.setWidthF(1.0);
  p.setPen(outline);
  switch (index) {
    case 3: {  // controller: a rack with three slots
      p.setBrush(QColor(90, 110, 140));
      p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.5, 1.5);
      p.setBrush(QColor(210, 220, 235));
      for (int i = 0; i < 3; ++i) p.drawRect(QRectF(3.5 + i * 3.5, 4.5, 2, 7));
      break;
    }
    case 1: {  // processor: a chip with pins
      p.setBrush(QColor(60, 60, 70));
      p.drawRect(QRectF(3.5, 3.5, 9, 9));
      p.setPen(QColor(150, 150, 160));
      for (int i = 0; i < 3; ++i) {
        p.drawLine(QPointF(5.5 + i * 2.5, 1), QPointF(5.5 + i * 2.5, 3));
        p.drawLine(QPointF(5.5 + i * 2.5, 13), QPointF(5.5 + i * 2.5, 15));
        p.drawLine(QPointF(1, 5.5 + i * 2.5), QPointF(3, 5.5 + i * 2.5));
        p.drawLine(QPointF(13, 5.5 + i * 2.5), QPointF(15, 5.5 + i * 2.5));
      }
      break;
    }
    case 14: {  // IP port: a network socket
      p.setBrush(QColor(40, 120, 200));
      p.drawRect(QRectF(2.5, 3.5, 11, 9));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5.5, 6.5, 5, 4));
      break;
    }
    case 13: {  // control station: a monitor on a stand
      p.setBrush(QColor(50, 70, 110));
      p.drawRect(QRectF(1.5, 2.5, 13, 9));
      p.setBrush(QColor(150, 200, 240));
      p.drawRect(QRectF(3.5, 4.5, 9, 5));
      p.setBrush(QColor(80, 80, 80));
      p.drawRect(QRectF(5.5, 12.5, 5, 2));
      break;
    }
    case 17: {  // time: a clock face
      p.setBrush(QColor(250, 245, 225));
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.setPen(QPen(QColor(40, 40, 40), 1.4));
      p.drawLine(QPointF(8, 8), QPointF(8, 4));
      p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
      break;
    }
    case 5: {  // ТС: a switch, open
      p.setPen(QPen(QColor(30, 110, 40), 1.6));
      p.drawLine(QPointF(2, 11), QPointF(6, 11));
      p.drawLine(QPointF(6, 11), QPointF(11, 5));
      p.drawLine(QPointF(10, 11), QPointF(14, 11));
      break;
    }
    case 6: {  // ТУ: a command arrow
      p.setBrush(QColor(200, 80, 40));
      p.drawPolygon(QPolygonF({QPointF(2, 6), QPointF(9, 6), QPointF(9, 3), QPointF(14, 8), QPointF(9, 13),
                               QPointF(9, 10), QPointF(2, 10)}));
      break;
    }
    case 11: {  // polled device: a small box with a lamp
      p.setBrush(QColor(120, 120, 130));
      p.drawRect(QRectF(2.5, 4.5, 11, 8));
      p.setBrush(QColor(80, 200, 90));
      p.drawEllipse(QRectF(9.5, 6.5, 3, 3));
      break;
    }
    case 0: {  // free item: hollow green square
      p.setBrush(QColor(230, 240, 230));
      p.drawRect(QRectF(3.5, 3.5, 9, 9));
      break;
    }
    case 2: {  // bound item: filled green square with a link mark
      p.setBrush(QColor(60, 160, 80));
      p.drawRect(QRectF(3.5, 3.5, 9, 9));
      p.setPen(QPen(Qt::white, 1.5));
      p.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
      break;
    }
    default: {  // any other symbol: a coloured disc
      static const QColor colours[] = {QColor(200, 120, 40), QColor(150, 80, 170), QColor(40, 150, 150),
                                       QColor(170, 60, 60), QColor(110, 110, 40), QColor(60, 90, 170)};
      p.setBrush(colours[(index < 0 ? 0 : index) % 6]);
      p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
      break;
    }
  }
  return pm;
}
}  // namespace

QIcon NodeIcon(int index) {
  static QHash<int, QIcon> cache;
  auto it = cache.find(index);
  if (it != cache.end()) return *it;
  QIcon icon(Draw(index));
  cache.insert(index, icon);
  return icon;
}

}  // namespace t32::ui
