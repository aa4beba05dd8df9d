// Draws the picture Tintwell opens with: shaded balloons in several hues on a
// soft sky above a striped cloth, so that a click has clear regions to grow
// and recolouring shows at once. Deterministic: no randomness, no fonts.
//
// Usage: make_start_picture OUT.png

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

constexpr int kSize = 400;

struct Balloon {
    QPointF centre;
    double rx, ry;
    QColor colour;
    QPointF stringEnd;
};

void DrawSky(QPainter& p) {
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0.0, QColor(118, 170, 222));
    sky.setColorAt(0.7, QColor(196, 222, 238));
    sky.setColorAt(1.0, QColor(246, 226, 206));
    p.fillRect(0, 0, kSize, 300, sky);

    // A low sun glow gives the sky a second, gentler gradient to grab.
    QRadialGradient glow(QPointF(330, 250), 150);
    glow.setColorAt(0.0, QColor(255, 236, 190, 190));
    glow.setColorAt(1.0, QColor(255, 236, 190, 0));
    p.fillRect(0, 0, kSize, 300, glow);
}

void DrawCloth(QPainter& p) {
    // Gently waving stripes in alternating colours, each shaded top to bottom.
    const QColor stripes[] = {QColor(200, 60, 70), QColor(244, 232, 204), QColor(40, 110, 160),
                              QColor(244, 232, 204)};
    const int top = 300;
    const int band = 26;
    for (int i = -1; i * band < kSize + 100; ++i) {
        QPainterPath stripe;
        const double x0 = i * band * 1.0;
        stripe.moveTo(x0, top);
        stripe.cubicTo(x0 + 14, top + 35, x0 - 14, top + 65, x0 + 6, kSize);
        stripe.lineTo(x0 + 6 + band, kSize);
        stripe.cubicTo(x0 - 14 + band, top + 65, x0 + 14 + band, top + 35, x0 + band, top);
        stripe.closeSubpath();
        const QColor c = stripes[(i + 4) % 4];
        QLinearGradient shade(0, top, 0, kSize);
        shade.setColorAt(0.0, c.lighter(112));
        shade.setColorAt(1.0, c.darker(135));
        p.fillPath(stripe, shade);
    }
    // The fold where the cloth meets the sky.
    QLinearGradient fold(0, top, 0, top + 12);
    fold.setColorAt(0.0, QColor(0, 0, 0, 70));
    fold.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.fillRect(0, top, kSize, 12, fold);
}

void DrawString(QPainter& p, const Balloon& b) {
    const QPointF knot(b.centre.x(), b.centre.y() + b.ry + 6);
    QPainterPath string;
    string.moveTo(knot);
    const double dx = b.stringEnd.x() - knot.x();
    const double dy = b.stringEnd.y() - knot.y();
    string.cubicTo(knot.x() - 14, knot.y() + dy * 0.35, knot.x() + dx * 0.5 + 16, knot.y() + dy * 0.65,
                   b.stringEnd.x(), b.stringEnd.y());
    p.setPen(QPen(QColor(90, 80, 75), 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(string);
}

void DrawBalloon(QPainter& p, const Balloon& b) {
    p.setPen(Qt::NoPen);

    // A soft shadow on the sky behind it.
    QRadialGradient shadow(b.centre + QPointF(7, 9), b.rx * 1.15);
    shadow.setColorAt(0.8, QColor(40, 50, 80, 45));
    shadow.setColorAt(1.0, QColor(40, 50, 80, 0));
    p.setBrush(shadow);
    p.drawEllipse(b.centre + QPointF(7, 9), b.rx * 1.15, b.ry * 1.15);

    // The knot.
    QPainterPath knot;
    const double bottom = b.centre.y() + b.ry;
    knot.moveTo(b.centre.x() - 2, bottom - 2);
    knot.lineTo(b.centre.x() - 6, bottom + 7);
    knot.lineTo(b.centre.x() + 6, bottom + 7);
    knot.lineTo(b.centre.x() + 2, bottom - 2);
    knot.closeSubpath();
    p.fillPath(knot, b.colour.darker(140));

    // The body: lit from the upper left, darker towards the lower right rim.
    QRadialGradient body(b.centre, b.rx * 1.25, b.centre + QPointF(-b.rx * 0.38, -b.ry * 0.42));
    body.setColorAt(0.0, b.colour.lighter(150));
    body.setColorAt(0.45, b.colour);
    body.setColorAt(1.0, b.colour.darker(190));
    p.setBrush(body);
    p.drawEllipse(b.centre, b.rx, b.ry);

    // A glossy highlight.
    const QPointF spot = b.centre + QPointF(-b.rx * 0.42, -b.ry * 0.5);
    QRadialGradient gloss(spot, b.rx * 0.3);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 200));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(spot, b.rx * 0.3, b.ry * 0.22);
}

QImage DrawStartPicture() {
    QImage image(kSize, kSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    DrawSky(p);

    const QPointF hand(205, 318);
    const Balloon balloons[] = {
        {{98, 118}, 56, 68, QColor(214, 40, 48), hand},  // red
        {{300, 96}, 52, 63, QColor(240, 188, 30), hand}, // yellow
        {{200, 176}, 50, 61, QColor(48, 78, 204), hand}, // blue
        {{330, 222}, 36, 44, QColor(56, 170, 84), hand}, // green
        {{76, 238}, 34, 42, QColor(150, 64, 176), hand}, // violet
    };
    for (const Balloon& b : balloons)
        DrawString(p, b);
    // Back to front: later balloons overlap earlier ones.
    const int order[] = {1, 0, 3, 4, 2};
    for (int i : order)
        DrawBalloon(p, balloons[i]);

    DrawCloth(p);
    p.end();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_start_picture OUT.png\n");
        return 2;
    }
    if (!DrawStartPicture().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "make_start_picture: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
