// Tree images painted in code, so they scale cleanly and need no image files.
#include "NodeIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zanth::setup::gui {

namespace {

const QColor kPrinterColour(0x2F, 0x6F, 0xB5);
const QColor kDrawerColour(0x2E, 0x8B, 0x57);

// A folder in the class colour.
void Folder(QPainter& p, const QColor& colour) {
  p.setPen(QPen(colour.darker(140), 1.5));
  p.setBrush(colour.lighter(150));
  QPainterPath tab;
  tab.moveTo(3, 9);
  tab.lineTo(3, 6);
  tab.lineTo(12, 6);
  tab.lineTo(14, 9);
  p.drawPath(tab);
  p.setBrush(colour.lighter(120));
  p.drawRoundedRect(QRectF(3, 9, 26, 18), 2, 2);
}

void Printer(QPainter& p) {
  p.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.5));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(9, 3, 14, 9));  // paper going in
  p.setBrush(QColor(0x9A, 0xA4, 0xAE));
  p.drawRoundedRect(QRectF(3, 11, 26, 11), 2, 2);  // body
  p.setBrush(Qt::white);
  p.drawRect(QRectF(9, 19, 14, 10));  // receipt coming out
  p.setPen(QPen(QColor(0x88, 0x88, 0x88), 1));
  for (int y = 22; y <= 26; y += 2) p.drawLine(11, y, 21, y);
  p.setPen(Qt::NoPen);
  p.setBrush(kPrinterColour);
  p.drawEllipse(QPointF(25, 14.5), 1.5, 1.5);
}

void Drawer(QPainter& p) {
  p.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.5));
  p.setBrush(QColor(0x70, 0x78, 0x80));
  p.drawRoundedRect(QRectF(3, 8, 26, 18), 2, 2);  // cabinet
  p.setBrush(kDrawerColour.lighter(130));
  p.drawRect(QRectF(6, 15, 20, 8));  // the drawer front
  p.setBrush(QColor(0x33, 0x33, 0x33));
  p.drawRoundedRect(QRectF(13, 18, 6, 2), 1, 1);  // handle
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE8, 0xC5, 0x4A));
  p.drawEllipse(QPointF(10, 11.5), 1.5, 1.5);  // coins
  p.drawEllipse(QPointF(14, 11.5), 1.5, 1.5);
}

// A luggage tag: a name standing for a device.
void Tag(QPainter& p, const QColor& colour) {
  QPainterPath tag;
  tag.moveTo(4, 16);
  tag.lineTo(11, 8);
  tag.lineTo(28, 8);
  tag.lineTo(28, 24);
  tag.lineTo(11, 24);
  tag.closeSubpath();
  p.setPen(QPen(colour.darker(150), 1.5));
  p.setBrush(colour.lighter(140));
  p.drawPath(tag);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(11, 16), 2, 2);
  p.setPen(QPen(colour.darker(170), 1.5));
  p.drawLine(16, 13, 25, 13);
  p.drawLine(16, 19, 23, 19);
}

}  // namespace

QIcon NodeIcon(int image) {
  if (image < 0 || image > 5) return {};
  QIcon icon;
  for (int size : {16, 32, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    switch (image) {
      case 0: Folder(p, kPrinterColour); break;
      case 1: Printer(p); break;
      case 2: Folder(p, kDrawerColour); break;
      case 3: Drawer(p); break;
      case 4: Tag(p, kPrinterColour); break;
      case 5: Tag(p, kDrawerColour); break;
    }
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace zanth::setup::gui
