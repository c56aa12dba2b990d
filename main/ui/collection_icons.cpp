#include "main/ui/collection_icons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cstring>

#include "main/collection/node_kinds.h"

namespace orv {
namespace {

using namespace orv::collection;

constexpr int kSize = 32;  // drawn at 32 px, scaled down by the view

struct FileLook {
  int image;
  QColor colour;
  const char* label;
};

// One colour and label per file kind.
const FileLook kFileLooks[] = {
    {3, QColor(0x8e, 0x44, 0xad), "BMP"}, {4, QColor(0x7f, 0x8c, 0x8d), "CFG"},
    {5, QColor(0xc0, 0x39, 0x2b), "EXE"}, {6, QColor(0x16, 0xa0, 0x85), "IMG"},
    {7, QColor(0x29, 0x80, 0xb9), "WWW"}, {8, QColor(0x27, 0xae, 0x60), "JPG"},
    {9, QColor(0xd3, 0x54, 0x00), "JS"},  {10, QColor(0x95, 0xa5, 0xa6), "?"},
    {11, QColor(0xe8, 0x43, 0x93), "MID"}, {12, QColor(0xf3, 0x9c, 0x12), "SND"},
    {13, QColor(0x34, 0x49, 0x5e), "TXT"}, {14, QColor(0x6c, 0x5c, 0xe7), "VID"},
    {15, QColor(0x1e, 0x5a, 0xa8), "DOC"}, {16, QColor(0x2c, 0x3e, 0x50), "WRI"},
    {17, QColor(0x95, 0xa5, 0xa6), "?"},  {18, QColor(0x8d, 0x6e, 0x63), "ZIP"},
    {19, QColor(0xe7, 0x4c, 0x3c), "PDF"},
};

QPixmap Canvas() {
  QPixmap p(kSize, kSize);
  p.fill(Qt::transparent);
  return p;
}

void DrawFolder(QPainter& g, bool open) {
  QColor body(0xf1, 0xc4, 0x0f), edge(0xb7, 0x95, 0x0b);
  g.setPen(QPen(edge, 1.5));
  g.setBrush(body.darker(110));
  QPainterPath tab;
  tab.moveTo(3, 9);
  tab.lineTo(12, 9);
  tab.lineTo(15, 12);
  tab.lineTo(29, 12);
  tab.lineTo(29, 26);
  tab.lineTo(3, 26);
  tab.closeSubpath();
  g.drawPath(tab);
  g.setBrush(body);
  if (open) {
    QPolygonF front;
    front << QPointF(6, 15) << QPointF(31, 15) << QPointF(27, 26) << QPointF(3, 26);
    g.drawPolygon(front);
  } else {
    g.drawRect(QRectF(3, 14, 26, 12));
  }
}

void DrawGlobe(QPainter& g, QColor colour) {
  g.setPen(QPen(colour.darker(140), 1.5));
  g.setBrush(colour);
  QRectF ball(4, 4, 24, 24);
  g.drawEllipse(ball);
  g.setBrush(Qt::NoBrush);
  g.setPen(QPen(Qt::white, 1.2));
  g.drawEllipse(QRectF(11, 4, 10, 24));
  g.drawLine(QPointF(4, 16), QPointF(28, 16));
  g.drawLine(QPointF(6, 10), QPointF(26, 10));
  g.drawLine(QPointF(6, 22), QPointF(26, 22));
}

void DrawRoot(QPainter& g) {
  // A cabinet of stacked drawers: the whole collection.
  g.setPen(QPen(QColor(0x5d, 0x40, 0x37), 1.5));
  g.setBrush(QColor(0xa1, 0x88, 0x7f));
  g.drawRoundedRect(QRectF(5, 3, 22, 27), 2, 2);
  g.setBrush(QColor(0xd7, 0xcc, 0xc8));
  for (int i = 0; i < 3; ++i) g.drawRect(QRectF(8, 6 + i * 8, 16, 6));
  g.setBrush(QColor(0x5d, 0x40, 0x37));
  for (int i = 0; i < 3; ++i) g.drawRect(QRectF(14, 8 + i * 8, 4, 2));
}

void DrawPage(QPainter& g, const FileLook& look, bool partial) {
  QPainterPath page;
  page.moveTo(6, 2);
  page.lineTo(20, 2);
  page.lineTo(27, 9);
  page.lineTo(27, 30);
  page.lineTo(6, 30);
  page.closeSubpath();
  QColor paper = partial ? QColor(0xee, 0xee, 0xee) : Qt::white;
  QPen edge(partial ? QColor(0xe6, 0x7e, 0x22) : QColor(0x60, 0x60, 0x60), partial ? 2.0 : 1.2);
  if (partial) edge.setStyle(Qt::DashLine);
  g.setPen(edge);
  g.setBrush(paper);
  g.drawPath(page);
  g.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
  g.drawLine(QPointF(20, 2), QPointF(20, 9));
  g.drawLine(QPointF(20, 9), QPointF(27, 9));
  QColor band = look.colour;
  if (partial) band.setAlpha(120);
  g.setPen(Qt::NoPen);
  g.setBrush(band);
  g.drawRect(QRectF(2, 12, 24, 11));
  QFont f = g.font();
  f.setPixelSize(std::strlen(look.label) > 2 ? 8 : 10);
  f.setBold(true);
  g.setFont(f);
  g.setPen(Qt::white);
  g.drawText(QRectF(2, 12, 24, 11), Qt::AlignCenter, QString::fromLatin1(look.label));
  if (partial) {
    // Half-filled progress bar at the foot of the page.
    g.setPen(QPen(QColor(0xd3, 0x54, 0x00), 1));
    g.setBrush(Qt::white);
    g.drawRect(QRectF(8, 25, 17, 4));
    g.setBrush(QColor(0xe6, 0x7e, 0x22));
    g.drawRect(QRectF(8, 25, 8, 4));
  }
}

QIcon Draw(int image) {
  QPixmap pixmap = Canvas();
  QPainter g(&pixmap);
  g.setRenderHint(QPainter::Antialiasing);
  if (image == kImageRoot) {
    DrawRoot(g);
  } else if (image == kImageSite) {
    DrawGlobe(g, QColor(0x29, 0x80, 0xb9));
  } else if (image == kImageFolder || image == kImageFolderSelected) {
    DrawFolder(g, image == kImageFolderSelected);
  } else if (IsFileImage(image)) {
    int kind = KindOfImage(image);
    for (const FileLook& look : kFileLooks) {
      if (look.image == kind) DrawPage(g, look, IsPartialImage(image));
    }
  } else {
    return QIcon();
  }
  g.end();
  return QIcon(pixmap);
}

}  // namespace

QIcon CollectionIcon(int image) {
  static QHash<int, QIcon> cache;
  auto it = cache.find(image);
  if (it == cache.end()) it = cache.insert(image, Draw(image));
  return *it;
}

}  // namespace orv
