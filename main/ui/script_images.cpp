#include "main/ui/script_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

#include "main/scripts/address_tree.h"

namespace orv {

namespace {

constexpr int kSize = 16;

struct CategoryLook {
  QColor color;
  char letter;  // a Latin mark readable at 16 pixels
};

// Hypertext, images, sounds, video, texts, applets, binaries, other.
const std::array<CategoryLook, 8> kLooks{{
    {QColor(0x1f, 0x6f, 0xd1), 'H'},
    {QColor(0x2e, 0x9e, 0x44), 'I'},
    {QColor(0xd0, 0x7a, 0x00), 'S'},
    {QColor(0xb0, 0x2a, 0x8c), 'V'},
    {QColor(0x55, 0x55, 0x55), 'T'},
    {QColor(0xc6, 0x3b, 0x2f), 'A'},
    {QColor(0x6a, 0x4a, 0x2a), 'B'},
    {QColor(0x00, 0x8b, 0x8b), '?'},
}};

// A page with a folded corner in the category's colour, its mark inside; a partly downloaded
// file is only half filled and carries a dashed outline.
QPixmap FilePicture(int category, bool partial) {
  const CategoryLook& look = kLooks[static_cast<std::size_t>(category - 1)];
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath page;
  page.moveTo(2.5, 0.5);
  page.lineTo(10.5, 0.5);
  page.lineTo(13.5, 3.5);
  page.lineTo(13.5, 15.5);
  page.lineTo(2.5, 15.5);
  page.closeSubpath();
  p.fillPath(page, Qt::white);
  if (partial) {
    p.save();
    p.setClipRect(QRect(0, 9, kSize, kSize - 9));
    p.fillPath(page, look.color);
    p.restore();
  } else {
    p.fillPath(page, look.color);
  }
  QPen outline(look.color.darker(150));
  if (partial) outline.setStyle(Qt::DashLine);
  p.setPen(outline);
  p.drawPath(page);
  QFont f = p.font();
  f.setPixelSize(9);
  f.setBold(true);
  p.setFont(f);
  p.setPen(partial ? look.color.darker(130) : QColor(Qt::white));
  p.drawText(QRect(2, 1, 12, 9), Qt::AlignCenter, QString(QChar(look.letter)));
  return pm;
}

QPixmap FolderPicture() {
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor body(0xf0, 0xc0, 0x40);
  p.setPen(body.darker(160));
  p.setBrush(body.darker(110));
  p.drawRoundedRect(QRectF(1.5, 2.5, 6, 3), 1, 1);
  p.setBrush(body);
  p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
  return pm;
}

QPixmap SetPicture(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal u = size / 16.0;
  // Three stacked script sheets.
  for (int i = 2; i >= 0; --i) {
    const QRectF r(u * (1.5 + i * 2), u * (1.5 + (2 - i) * 2), u * 9, u * 10);
    p.setPen(QColor(0x33, 0x4d, 0x80));
    p.setBrush(i == 0 ? QColor(0xe8, 0xf0, 0xff) : QColor(0xc4, 0xd4, 0xf0));
    p.drawRect(r);
  }
  p.setPen(QPen(QColor(0x33, 0x4d, 0x80), u));
  for (int line = 0; line < 3; ++line) {
    const qreal y = u * (8.5 + line * 2);
    p.drawLine(QPointF(u * 3.5, y), QPointF(u * 8.5, y));
  }
  return pm;
}

}  // namespace

QIcon AddressTreeImage(int index) {
  if (index >= 1 && index <= 8) return QIcon(FilePicture(index, false));
  if (index >= 1 + kPartialImageOffset && index <= 8 + kPartialImageOffset)
    return QIcon(FilePicture(index - kPartialImageOffset, true));
  if (index == kFolderImage) return QIcon(FolderPicture());
  return QIcon();
}

QIcon ScriptSetImage() {
  QIcon icon(SetPicture(16));
  icon.addPixmap(SetPicture(32));
  return icon;
}

}  // namespace orv
