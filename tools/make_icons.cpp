// Draws the icons of the main window's commands: one set in a common style
// (dark outlines, a small palette, orange for image parts and paint), each at
// 24 x 24 and 48 x 48 pixels. Everything is drawn in a 24-unit grid and scaled,
// so both sizes show the same picture. Deterministic: no randomness, no fonts.
//
// Usage: make_icons OUT_DIR NAME...      writes OUT_DIR/NAME.png (24) and NAME@2x.png (48)
//        make_icons --sheet OUT.png      writes a contact sheet of every icon
//        make_icons --app THEME_DIR SIZE...
//                                        writes the program's own icon as
//                                        THEME_DIR/SIZExSIZE/apps/tintwell.png
//
// The build passes the names it embeds; a name without a drawing, or a drawing
// the build does not ask for, is an error, so the two lists cannot drift apart.

#include <QColor>
#include <QConicalGradient>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace {

// The palette.
const QColor kInk(0x2e, 0x31, 0x36);
const QColor kPaper(0xfb, 0xfb, 0xf8);
const QColor kPart(0xf0, 0x84, 0x1e); // an image part, and paint
const QColor kPartDark(0xc0, 0x5a, 0x08);
const QColor kBlue(0x35, 0x72, 0xc6);
const QColor kGreen(0x3a, 0x9e, 0x48);
const QColor kRed(0xd3, 0x3a, 0x3a);
const QColor kFolder(0xf2, 0xc1, 0x4e);
const QColor kFolderDark(0xd6, 0x9c, 0x24);
const QColor kMetal(0xb9, 0xc0, 0xc8);
const QColor kWood(0xa8, 0x6a, 0x36);
const QColor kSky(0x9c, 0xcc, 0xf2);
const QColor kHill(0x5c, 0xae, 0x4c);
const QColor kSun(0xf6, 0xce, 0x3a);

QPen Ink(double width = 1.0) {
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient Shade(const QRectF& r, const QColor& c, int lighter = 125, int darker = 115) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, c.lighter(lighter));
    g.setColorAt(1.0, c.darker(darker));
    return g;
}

// The shape that stands for an image part: an irregular blob filling the rectangle.
QPainterPath Blob(const QRectF& r) {
    auto at = [&r](double fx, double fy) {
        return QPointF(r.left() + fx * r.width(), r.top() + fy * r.height());
    };
    QPainterPath path;
    path.moveTo(at(0.02, 0.55));
    path.cubicTo(at(0.02, 0.3), at(0.2, 0.12), at(0.45, 0.18));
    path.cubicTo(at(0.62, 0.22), at(0.7, 0.02), at(0.88, 0.14));
    path.cubicTo(at(1.02, 0.24), at(0.98, 0.48), at(0.86, 0.58));
    path.cubicTo(at(0.78, 0.66), at(0.92, 0.86), at(0.72, 0.92));
    path.cubicTo(at(0.52, 0.98), at(0.42, 0.82), at(0.26, 0.88));
    path.cubicTo(at(0.08, 0.94), at(0.02, 0.76), at(0.02, 0.55));
    path.closeSubpath();
    return path;
}

void DrawBlob(QPainter& p, const QRectF& r, double outline = 0.9) {
    QRadialGradient g(r.center() - QPointF(r.width() * 0.18, r.height() * 0.2), r.width() * 0.7);
    g.setColorAt(0.0, kPart.lighter(135));
    g.setColorAt(1.0, kPart);
    p.setPen(QPen(kPartDark, outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(Blob(r));
}

// A sheet of paper with an image part on it.
void DrawPartTile(QPainter& p, const QRectF& r) {
    p.setPen(Ink());
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 1.2, 1.2);
    const double m = r.width() * 0.16;
    DrawBlob(p, r.adjusted(m, m, -m, -m));
}

// A small landscape: sky, sun and a green hill.
void DrawLandscape(QPainter& p, const QRectF& r, bool framed = true) {
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(r, 1.2, 1.2);
    p.setClipPath(clip);
    p.fillRect(r, Shade(r, kSky, 110, 100));
    p.setPen(Qt::NoPen);
    p.setBrush(kSun);
    const double sr = r.height() * 0.15;
    p.drawEllipse(QPointF(r.right() - r.width() * 0.27, r.top() + r.height() * 0.3), sr, sr);
    QPainterPath hill;
    hill.moveTo(r.left(), r.bottom());
    hill.lineTo(r.left(), r.top() + r.height() * 0.72);
    hill.cubicTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.36, r.left() + r.width() * 0.5,
                 r.top() + r.height() * 0.5, r.right(), r.top() + r.height() * 0.74);
    hill.lineTo(r.right(), r.bottom());
    hill.closeSubpath();
    p.setBrush(kHill);
    p.drawPath(hill);
    p.restore();
    if (framed) {
        p.setPen(Ink());
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r, 1.2, 1.2);
    }
}

// A round badge with a white plus or minus, for the part commands.
void DrawBadge(QPainter& p, const QPointF& c, double radius, const QColor& colour, bool plus) {
    QRadialGradient g(c - QPointF(radius * 0.35, radius * 0.4), radius * 1.4);
    g.setColorAt(0.0, colour.lighter(135));
    g.setColorAt(1.0, colour.darker(110));
    p.setPen(QPen(colour.darker(160), 1.0));
    p.setBrush(g);
    p.drawEllipse(c, radius, radius);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    const double a = radius * 0.52;
    p.drawLine(QPointF(c.x() - a, c.y()), QPointF(c.x() + a, c.y()));
    if (plus) p.drawLine(QPointF(c.x(), c.y() - a), QPointF(c.x(), c.y() + a));
}

// A closed folder, optionally with a sheet sticking out of it.
void DrawFolderBack(QPainter& p, const QRectF& r) {
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top() + 1.5);
    back.quadTo(r.left(), r.top(), r.left() + 1.5, r.top());
    back.lineTo(r.left() + r.width() * 0.36, r.top());
    back.lineTo(r.left() + r.width() * 0.46, r.top() + 2.0);
    back.lineTo(r.right() - 1.0, r.top() + 2.0);
    back.quadTo(r.right(), r.top() + 2.0, r.right(), r.top() + 3.0);
    back.lineTo(r.right(), r.bottom());
    back.closeSubpath();
    p.setPen(Ink());
    p.setBrush(Shade(r, kFolderDark, 110, 100));
    p.drawPath(back);
}

void DrawFolderFront(QPainter& p, const QRectF& r, bool open) {
    QPainterPath front;
    if (open) {
        // The front flap tips forward: a parallelogram leaning to the right.
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left() + 3.0, r.top() + r.height() * 0.42);
        front.lineTo(r.right() + 2.0, r.top() + r.height() * 0.42);
        front.lineTo(r.right(), r.bottom());
    } else {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left(), r.top() + r.height() * 0.36);
        front.lineTo(r.right(), r.top() + r.height() * 0.36);
        front.lineTo(r.right(), r.bottom());
    }
    front.closeSubpath();
    p.setPen(Ink());
    p.setBrush(Shade(r.adjusted(0, r.height() * 0.4, 0, 0), kFolder, 115, 100));
    p.drawPath(front);
}

void DrawFloppy(QPainter& p, const QRectF& r) {
    QPainterPath body;
    body.moveTo(r.left() + 1.0, r.top());
    body.lineTo(r.right() - 3.0, r.top());
    body.lineTo(r.right(), r.top() + 3.0);
    body.lineTo(r.right(), r.bottom() - 1.0);
    body.quadTo(r.right(), r.bottom(), r.right() - 1.0, r.bottom());
    body.lineTo(r.left() + 1.0, r.bottom());
    body.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - 1.0);
    body.lineTo(r.left(), r.top() + 1.0);
    body.quadTo(r.left(), r.top(), r.left() + 1.0, r.top());
    body.closeSubpath();
    p.setPen(Ink());
    p.setBrush(Shade(r, kBlue, 120, 110));
    p.drawPath(body);

    // The metal shutter at the top, with its window.
    const double w = r.width();
    const QRectF shutter(r.left() + w * 0.22, r.top(), w * 0.5, r.height() * 0.34);
    p.setBrush(Shade(shutter, kMetal, 115, 100));
    p.drawRect(shutter);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(shutter.left() + shutter.width() * 0.6, shutter.top() + 1.2, shutter.width() * 0.2,
                      shutter.height() - 2.4));

    // The white label at the bottom, with lines on it.
    const QRectF label(r.left() + w * 0.16, r.top() + r.height() * 0.52, w * 0.68, r.height() * 0.48);
    p.setPen(Ink());
    p.setBrush(kPaper);
    p.drawRect(label);
    p.setPen(QPen(kMetal.darker(115), 1.0));
    for (double y = label.top() + 2.5; y < label.bottom() - 1.0; y += 2.5)
        p.drawLine(QPointF(label.left() + 2.0, y), QPointF(label.right() - 2.0, y));
}

void DrawMagnifier(QPainter& p, bool plus) {
    const QPointF c(9.5, 9.5);
    p.setPen(QPen(kInk, 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.0, 15.0), QPointF(20.8, 20.8));
    p.setPen(QPen(kWood.darker(120), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16.2, 16.2), QPointF(20.2, 20.2));

    QRadialGradient glass(c - QPointF(2.0, 2.5), 9.0);
    glass.setColorAt(0.0, Qt::white);
    glass.setColorAt(1.0, QColor(0xd4, 0xe8, 0xfa));
    p.setPen(QPen(kInk, 2.0));
    p.setBrush(glass);
    p.drawEllipse(c, 6.6, 6.6);

    p.setPen(QPen(kInk, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(c.x() - 3.5, c.y()), QPointF(c.x() + 3.5, c.y()));
    if (plus) p.drawLine(QPointF(c.x(), c.y() - 3.5), QPointF(c.x(), c.y() + 3.5));
}

void DrawRoundSign(QPainter& p) {
    const QPointF c(12, 12);
    QRadialGradient g(c - QPointF(3.5, 4.0), 13.0);
    g.setColorAt(0.0, kBlue.lighter(150));
    g.setColorAt(1.0, kBlue.darker(105));
    p.setPen(QPen(kBlue.darker(170), 1.0));
    p.setBrush(g);
    p.drawEllipse(c, 10.0, 10.0);
}

// A square dab (the brush is square) inside a faint frame of the largest size,
// so that each size reads as a choice out of three.
void DrawBrushSize(QPainter& p, double side) {
    p.setPen(QPen(kMetal, 1.0, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2.5, 2.5, 19.0, 19.0), 2.0, 2.0);
    const QRectF dab(12.0 - side / 2, 12.0 - side / 2, side, side);
    p.setPen(QPen(kPartDark.darker(130), 1.0));
    p.setBrush(Shade(dab, kPart, 120, 105));
    p.drawRoundedRect(dab, side * 0.14, side * 0.14);
}

// ---------------------------------------------------------------------------
// The icons.

void Fill(QPainter& p) {
    // A paint bucket tipped to the right, paint pouring over its lip.
    p.save();
    p.translate(10.0, 12.5);
    p.rotate(38.0);
    // The handle over the opening.
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-6.0, -11.5, 12.0, 13.0), 0, 180 * 16);
    // The body.
    QPainterPath body;
    body.moveTo(-6.0, -4.5);
    body.lineTo(-4.6, 6.0);
    body.quadTo(0.0, 7.6, 4.6, 6.0);
    body.lineTo(6.0, -4.5);
    body.closeSubpath();
    QLinearGradient metal(-6.0, 0, 6.0, 0);
    metal.setColorAt(0.0, kMetal.darker(120));
    metal.setColorAt(0.35, kMetal.lighter(125));
    metal.setColorAt(1.0, kMetal.darker(135));
    p.setPen(Ink());
    p.setBrush(metal);
    p.drawPath(body);
    // The paint inside, seen over the rim.
    p.setBrush(kPart);
    p.drawEllipse(QPointF(0.0, -4.5), 6.0, 2.0);
    p.restore();

    // The pour and the drop.
    QPainterPath pour;
    pour.moveTo(16.2, 10.2);
    pour.cubicTo(19.6, 10.4, 20.6, 12.5, 20.4, 15.5);
    pour.lineTo(18.6, 15.5);
    pour.cubicTo(18.6, 13.6, 17.8, 12.6, 16.2, 12.4);
    pour.closeSubpath();
    p.setPen(QPen(kPartDark, 0.8));
    p.setBrush(kPart);
    p.drawPath(pour);
    QPainterPath drop;
    drop.moveTo(19.5, 16.6);
    drop.cubicTo(20.6, 18.4, 21.6, 19.4, 21.6, 20.6);
    drop.cubicTo(21.6, 21.9, 20.6, 22.6, 19.5, 22.6);
    drop.cubicTo(18.4, 22.6, 17.4, 21.9, 17.4, 20.6);
    drop.cubicTo(17.4, 19.4, 18.4, 18.4, 19.5, 16.6);
    drop.closeSubpath();
    p.drawPath(drop);
}

void Brush(QPainter& p) {
    // A round brush lying diagonally, its loaded tip at the lower left.
    p.save();
    p.translate(12.0, 12.0);
    p.rotate(-45.0);
    // Handle.
    QPainterPath handle;
    handle.moveTo(1.5, -1.8);
    handle.lineTo(11.0, -1.3);
    handle.quadTo(12.6, 0.0, 11.0, 1.3);
    handle.lineTo(1.5, 1.8);
    handle.closeSubpath();
    p.setPen(Ink());
    p.setBrush(Shade(QRectF(0, -2, 12, 4), kWood, 130, 110));
    p.drawPath(handle);
    // Ferrule.
    const QRectF ferrule(-3.0, -2.6, 4.5, 5.2);
    p.setBrush(Shade(ferrule, kMetal, 130, 110));
    p.drawRect(ferrule);
    // Bristles with paint.
    QPainterPath bristles;
    bristles.moveTo(-3.0, -2.6);
    bristles.cubicTo(-6.5, -3.0, -9.0, -1.6, -11.2, 0.4);
    bristles.cubicTo(-8.6, 1.8, -6.0, 2.8, -3.0, 2.6);
    bristles.closeSubpath();
    p.setBrush(kPart);
    p.drawPath(bristles);
    p.restore();
}

void Erase(QPainter& p) {
    // An eraser block, its rubbing end at the lower left, over a wiped stroke.
    p.setPen(QPen(kMetal.darker(115), 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2.5, 21.0), QPointF(12.0, 21.0));
    p.save();
    p.translate(12.5, 11.5);
    p.rotate(-40.0);
    const QRectF rubber(-9.0, -4.0, 7.5, 8.0);
    const QRectF sleeve(-1.5, -4.0, 10.5, 8.0);
    QPainterPath whole;
    whole.addRoundedRect(QRectF(-9.0, -4.0, 18.0, 8.0), 1.5, 1.5);
    p.setClipPath(whole);
    p.fillRect(rubber, Shade(rubber, QColor(0xf3, 0x8e, 0xa0), 115, 105));
    p.fillRect(sleeve, Shade(sleeve, kBlue, 125, 105));
    p.setClipping(false);
    p.setPen(Ink());
    p.setBrush(Qt::NoBrush);
    p.drawPath(whole);
    p.drawLine(QPointF(-1.5, -4.0), QPointF(-1.5, 4.0));
    p.restore();
}

void ChangeColor(QPainter& p) {
    // A colour wheel.
    const QPointF c(12, 12);
    QConicalGradient wheel(c, 90.0);
    const QColor hues[] = {QColor(255, 40, 40),  QColor(255, 220, 30), QColor(40, 200, 60),
                           QColor(30, 200, 230), QColor(50, 80, 240),  QColor(220, 50, 220),
                           QColor(255, 40, 40)};
    for (int i = 0; i < 7; ++i)
        wheel.setColorAt(i / 6.0, hues[i]);
    p.setPen(Ink());
    p.setBrush(wheel);
    p.drawEllipse(c, 10.0, 10.0);
    QRadialGradient centre(c, 5.0);
    centre.setColorAt(0.0, Qt::white);
    centre.setColorAt(1.0, QColor(255, 255, 255, 230));
    p.setBrush(centre);
    p.drawEllipse(c, 4.0, 4.0);
}

void DeleteImagePart(QPainter& p) {
    DrawPartTile(p, QRectF(2.5, 2.5, 15.0, 15.0));
    DrawBadge(p, QPointF(17.0, 17.0), 5.3, kRed, false);
}

void AddImagePart(QPainter& p) {
    DrawPartTile(p, QRectF(2.5, 2.5, 15.0, 15.0));
    DrawBadge(p, QPointF(17.0, 17.0), 5.3, kGreen, true);
}

void JoinImageParts(QPainter& p) {
    // Two chain links, drawn so that they seem to interlock.
    auto link = [](const QPointF& c) {
        QPainterPath path;
        path.addRoundedRect(QRectF(c.x() - 6.5, c.y() - 3.2, 13.0, 6.4), 3.2, 3.2);
        return path;
    };
    p.save();
    p.translate(12.0, 12.0);
    p.rotate(-45.0);
    const QPainterPath left = link(QPointF(-4.6, 0.0));
    const QPainterPath right = link(QPointF(4.6, 0.0));
    auto stroke = [&p](const QPainterPath& path) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kInk, 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
        p.setPen(QPen(kPart, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    };
    stroke(left);
    stroke(right);
    // Lay the left link's upper crossing back over the right one.
    p.setClipRect(QRectF(0.0, -5.0, 3.0, 4.0));
    stroke(left);
    p.restore();
}

void LoadImagePart(QPainter& p) {
    const QRectF folder(1.5, 6.5, 21.0, 15.0);
    DrawFolderBack(p, folder);
    DrawPartTile(p, QRectF(6.5, 1.5, 12.0, 12.0));
    DrawFolderFront(p, folder, false);
}

void BrushSmall(QPainter& p) {
    DrawBrushSize(p, 5.0);
}
void BrushMedium(QPainter& p) {
    DrawBrushSize(p, 10.0);
}
void BrushLarge(QPainter& p) {
    DrawBrushSize(p, 17.0);
}

void OriginalInBackground(QPainter& p) {
    // The picture at the back, an image part on a clear sheet in front.
    DrawLandscape(p, QRectF(1.5, 2.5, 16.0, 13.0));
    const QRectF front(7.5, 8.5, 15.0, 13.0);
    p.setPen(QPen(kInk, 1.0, Qt::DashLine));
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawRoundedRect(front, 1.2, 1.2);
    DrawBlob(p, front.adjusted(2.5, 2.2, -2.5, -2.2));
}

void ZoomPlus(QPainter& p) {
    DrawMagnifier(p, true);
}
void ZoomMinus(QPainter& p) {
    DrawMagnifier(p, false);
}

void Exit(QPainter& p) {
    // A door with an arrow going out of it.
    const QRectF frame(3.5, 2.5, 11.0, 19.0);
    p.setPen(Ink());
    p.setBrush(QColor(0x4a, 0x4f, 0x57));
    p.drawRect(frame);
    QPainterPath leaf;
    leaf.moveTo(3.5, 2.5);
    leaf.lineTo(10.5, 4.5);
    leaf.lineTo(10.5, 22.5);
    leaf.lineTo(3.5, 21.5);
    leaf.closeSubpath();
    p.setBrush(Shade(frame, kWood, 125, 105));
    p.drawPath(leaf);
    p.setPen(Qt::NoPen);
    p.setBrush(kSun);
    p.drawEllipse(QPointF(8.8, 13.0), 0.9, 0.9);

    QPainterPath arrow;
    arrow.moveTo(12.0, 10.5);
    arrow.lineTo(17.0, 10.5);
    arrow.lineTo(17.0, 7.0);
    arrow.lineTo(22.5, 12.5);
    arrow.lineTo(17.0, 18.0);
    arrow.lineTo(17.0, 14.5);
    arrow.lineTo(12.0, 14.5);
    arrow.closeSubpath();
    p.setPen(QPen(kRed.darker(150), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Shade(QRectF(12, 7, 10, 11), kRed, 125, 105));
    p.drawPath(arrow);
}

void Help(QPainter& p) {
    DrawRoundSign(p);
    QPainterPath hook;
    hook.moveTo(8.6, 9.0);
    hook.cubicTo(8.6, 6.6, 10.2, 5.4, 12.0, 5.4);
    hook.cubicTo(14.0, 5.4, 15.5, 6.8, 15.5, 8.6);
    hook.cubicTo(15.5, 10.6, 13.9, 11.2, 12.9, 12.0);
    hook.cubicTo(12.2, 12.6, 12.0, 13.2, 12.0, 14.4);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12.0, 17.9), 1.5, 1.5);
}

void About(QPainter& p) {
    DrawRoundSign(p);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12.0, 6.9), 1.6, 1.6);
    QPainterPath stem;
    stem.moveTo(9.6, 10.0);
    stem.lineTo(13.3, 10.0);
    stem.lineTo(13.3, 16.6);
    stem.lineTo(14.6, 16.6);
    stem.lineTo(14.6, 18.4);
    stem.lineTo(9.4, 18.4);
    stem.lineTo(9.4, 16.6);
    stem.lineTo(10.7, 16.6);
    stem.lineTo(10.7, 11.8);
    stem.lineTo(9.6, 11.8);
    stem.closeSubpath();
    p.drawPath(stem);
}

void OpenPicture(QPainter& p) {
    const QRectF folder(1.5, 6.5, 19.0, 15.0);
    DrawFolderBack(p, folder);
    DrawLandscape(p, QRectF(5.5, 2.5, 14.0, 11.0));
    DrawFolderFront(p, folder, true);
}

void SavePicture(QPainter& p) {
    DrawFloppy(p, QRectF(2.5, 2.5, 19.0, 19.0));
}

// A curved arrow turning back to the left (undo) or on to the right (redo).
void DrawTurnArrow(QPainter& p, bool back) {
    p.save();
    if (!back) {
        p.translate(24.0, 0.0);
        p.scale(-1.0, 1.0);
    }
    QPainterPath arrow;
    // The shaft: from the lower right, up and round to the left.
    arrow.moveTo(19.5, 19.5);
    arrow.cubicTo(21.5, 12.0, 16.5, 7.5, 9.5, 8.0);
    arrow.lineTo(9.5, 4.0);
    arrow.lineTo(2.5, 10.0);
    arrow.lineTo(9.5, 16.0);
    arrow.lineTo(9.5, 12.0);
    arrow.cubicTo(14.5, 11.5, 18.0, 14.0, 19.5, 19.5);
    arrow.closeSubpath();
    p.setPen(QPen(kBlue.darker(150), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Shade(QRectF(2, 4, 20, 16), kBlue, 135, 105));
    p.drawPath(arrow);
    p.restore();
}

void Undo(QPainter& p) {
    DrawTurnArrow(p, true);
}
void Redo(QPainter& p) {
    DrawTurnArrow(p, false);
}

void SaveImagePart(QPainter& p) {
    DrawFloppy(p, QRectF(1.5, 1.5, 17.0, 17.0));
    DrawPartTile(p, QRectF(11.5, 11.5, 11.0, 11.0));
}

// The program's own icon, for menus and launchers: a photo with a recoloured
// part, painted over by the brush.
void AppIcon(QPainter& p) {
    const QRectF photo(1.5, 3.5, 21.0, 17.0);
    p.setPen(Ink(1.0));
    p.setBrush(kPaper);
    p.drawRoundedRect(photo.adjusted(-0.8, -0.8, 0.8, 0.8), 1.8, 1.8);
    DrawLandscape(p, photo);
    DrawBlob(p, QRectF(4.0, 10.0, 10.5, 8.5));
    p.save();
    p.translate(17.0, 9.0);
    p.rotate(35.0);
    p.setPen(Ink(0.8));
    p.setBrush(kWood);
    p.drawRoundedRect(QRectF(-1.2, -8.0, 2.4, 9.0), 1.0, 1.0);
    p.setBrush(kMetal);
    p.drawRect(QRectF(-1.5, 1.0, 3.0, 2.2));
    p.setBrush(kPart);
    QPainterPath tip;
    tip.moveTo(-1.5, 3.2);
    tip.cubicTo(-1.8, 5.5, -0.5, 7.0, 0.0, 8.0);
    tip.cubicTo(0.5, 7.0, 1.8, 5.5, 1.5, 3.2);
    tip.closeSubpath();
    p.drawPath(tip);
    p.restore();
}

using DrawFn = std::function<void(QPainter&)>;

const std::map<std::string, DrawFn>& Drawings() {
    static const std::map<std::string, DrawFn> drawings = {
        {"fill", Fill},
        {"brush", Brush},
        {"erase", Erase},
        {"change_color", ChangeColor},
        {"delete_image_part", DeleteImagePart},
        {"join_image_parts", JoinImageParts},
        {"load_image_part", LoadImagePart},
        {"add_image_part", AddImagePart},
        {"brush_small", BrushSmall},
        {"brush_medium", BrushMedium},
        {"brush_large", BrushLarge},
        {"original_in_background", OriginalInBackground},
        {"zoom_plus", ZoomPlus},
        {"zoom_minus", ZoomMinus},
        {"exit", Exit},
        {"help", Help},
        {"about", About},
        {"open_picture", OpenPicture},
        {"save_picture", SavePicture},
        {"save_image_part", SaveImagePart},
        {"undo", Undo},
        {"redo", Redo},
    };
    return drawings;
}

QImage Render(const DrawFn& draw, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    draw(p);
    p.end();
    return image;
}

// Every icon at both sizes on the backgrounds a tool bar may have, and the small
// one enlarged to show its pixels.
bool WriteSheet(const QString& file) {
    const auto& drawings = Drawings();
    const int rowHeight = 84;
    const int width = 660;
    QImage sheet(width, 12 + rowHeight * static_cast<int>(drawings.size()), QImage::Format_RGB32);
    sheet.fill(QColor(0xff, 0xff, 0xff));
    QPainter p(&sheet);
    QFont font;
    font.setPixelSize(13);
    p.setFont(font);
    int y = 6;
    for (const auto& [name, draw] : drawings) {
        const QImage small = Render(draw, 24);
        const QImage large = Render(draw, 48);
        p.setPen(Qt::black);
        p.drawText(QRect(8, y, 170, rowHeight), Qt::AlignVCenter, QString::fromStdString(name));
        int x = 180;
        for (const QColor& bg :
             {QColor(0xff, 0xff, 0xff), QColor(0xef, 0xef, 0xef), QColor(0x3c, 0x3f, 0x41)}) {
            p.fillRect(x, y + 4, 96, 76, bg);
            p.drawImage(x + 8, y + 18, small);
            p.drawImage(x + 40, y + 16, large);
            x += 100;
        }
        p.drawImage(QRect(x + 4, y + 6, 72, 72), small);
        y += rowHeight;
    }
    p.end();
    return sheet.save(file, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    // QFont on the contact sheet needs a GUI application; the icons themselves use none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string(argv[1]) == "--sheet") {
        QGuiApplication app(argc, argv);
        if (!WriteSheet(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc >= 4 && std::string(argv[1]) == "--app") {
        for (int i = 3; i < argc; ++i) {
            const int size = std::atoi(argv[i]);
            const QString dir = QString::fromLocal8Bit(argv[2]) + QString("/%1x%1/apps").arg(size);
            if (size < 16 || size > 1024 || !QDir().mkpath(dir) ||
                !Render(AppIcon, size).save(dir + "/tintwell.png", "PNG")) {
                std::fprintf(stderr, "make_icons: cannot write the %s-pixel program icon\n", argv[i]);
                return 1;
            }
        }
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icons OUT_DIR NAME...\n       make_icons --sheet OUT.png\n");
        return 2;
    }
    const auto& drawings = Drawings();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "make_icons: cannot make %s\n", argv[1]);
        return 1;
    }
    std::set<std::string> asked;
    for (int i = 2; i < argc; ++i) {
        const std::string name = argv[i];
        const auto found = drawings.find(name);
        if (found == drawings.end()) {
            std::fprintf(stderr, "make_icons: no drawing for \"%s\"\n", name.c_str());
            return 1;
        }
        asked.insert(name);
        const QString base = out.filePath(QString::fromStdString(name));
        if (!Render(found->second, 24).save(base + ".png", "PNG") ||
            !Render(found->second, 48).save(base + "@2x.png", "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(base));
            return 1;
        }
    }
    for (const auto& entry : drawings) {
        if (!asked.count(entry.first)) {
            std::fprintf(stderr, "make_icons: \"%s\" is drawn but not asked for\n", entry.first.c_str());
            return 1;
        }
    }
    return 0;
}
