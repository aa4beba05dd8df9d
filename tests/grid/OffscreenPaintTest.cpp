#include "grid/nvOffscreenPaint.h"

#include "platform/ErrorReport.h"
#include "platform/Rounding.h"
#include "platform/ZoomedPainter.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tw::ColorValue;

constexpr ColorValue kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kBlack = 0;
constexpr ColorValue kMarker = 0xFF00FF;

// Counts what reaches the window system and which edges a drag reported.
class Probe : public TnvOffscreenPaint {
  public:
    using TnvOffscreenPaint::TnvOffscreenPaint;
    int Updates = 0;
    std::vector<int> Scrolls;

  protected:
    void RequestUpdate() override {
        ++Updates;
        TnvOffscreenPaint::RequestUpdate();
    }
    void DragScroll(int direction) override { Scrolls.push_back(direction); }
};

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

ColorValue At(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return static_cast<ColorValue>(c.red() | (c.green() << 8) | (c.blue() << 16));
}

// What the control's own paint puts on an image that starts as kMarker.
QImage Rendered(QWidget& w) {
    QImage image(w.size(), QImage::Format_RGB32);
    image.fill(QColor(0xFF, 0x00, 0xFF));
    w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

// The area of image holding colour c.
QRect AreaOf(const QImage& image, ColorValue c) {
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (At(image, x, y) == c) r |= QRect(x, y, 1, 1);
    return r;
}

TEST(OffscreenPaint, InvalidateCostsOneUpdatePerPaint) {
    Probe w;
    int paints = 0;
    w.OnPaint = [&](TnvOffscreenPaint&) { ++paints; };
    w.resize(60, 40);
    w.show();
    Settle();
    ASSERT_GT(paints, 0) << "the control is painted when shown";
    paints = 0;
    w.Updates = 0;

    for (int i = 0; i < 10; ++i)
        w.Invalidate();
    EXPECT_EQ(w.Updates, 1);
    EXPECT_EQ(w.InvalidatePending(), 10);
    Settle();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(w.InvalidatePending(), 0);
    w.Invalidate();
    EXPECT_EQ(w.Updates, 2) << "the first request after a paint reaches the window again";
    Settle();

    // The lock gates Repaint only; EndUpdate asks for a paint even while still locked.
    paints = 0;
    w.BeginUpdate();
    w.BeginUpdate();
    w.Repaint();
    EXPECT_EQ(paints, 0);
    EXPECT_EQ(w.InvalidatePending(), 0);
    w.EndUpdate();
    EXPECT_EQ(w.UpdateLock(), 1);
    EXPECT_EQ(w.InvalidatePending(), 1);
    w.EndUpdate();
    Settle();
    EXPECT_EQ(paints, 1);
    w.Refresh();
    EXPECT_EQ(paints, 2) << "Repaint paints at once";
}

TEST(OffscreenPaint, ReservedStripsAreNotCopiedAndTheCornerOnlyWhenBothAre) {
    Probe w;
    w.resize(60, 40);
    w.SetColor(kGreen);
    w.OnPaint = [](TnvOffscreenPaint& s) { s.PaintCanvas().FillRect(QRect(0, 0, 30, 40), kRed); };
    const ColorValue face = ResolveColor(kColorBtnFace);
    ASSERT_NE(face, kMarker);

    w.ReservedRight = 17;
    QImage shot = Rendered(w);
    EXPECT_EQ(AreaOf(shot, kMarker), QRect(43, 0, 17, 40)) << "the rightmost 17 columns are left alone";
    EXPECT_EQ(AreaOf(shot, kRed), QRect(0, 0, 30, 40));
    EXPECT_EQ(AreaOf(shot, kGreen), QRect(30, 0, 13, 40)) << "the rest of the Buffer shows its colour";

    w.ReservedRight = 0;
    w.ReservedBottom = 9;
    shot = Rendered(w);
    EXPECT_EQ(AreaOf(shot, kMarker), QRect(0, 31, 60, 9));

    w.ReservedRight = 17;
    shot = Rendered(w);
    EXPECT_EQ(AreaOf(shot, face), QRect(43, 31, 17, 9)) << "the corner";
    EXPECT_EQ(At(shot, 50, 30), kMarker);
    EXPECT_EQ(At(shot, 42, 35), kMarker);
    EXPECT_EQ(AreaOf(shot, kGreen), QRect(30, 0, 13, 31));
}

TEST(OffscreenPaint, ClientCoordinatesStartInsideTheBorder) {
    Probe w;
    w.resize(40, 30);
    w.SetBorderStyle(TBorderStyle::Single);
    w.OnPaint = [](TnvOffscreenPaint& s) { s.PaintCanvas().SetPixel(0, 0, kRed); };
    const QImage shot = Rendered(w);
    EXPECT_EQ(AreaOf(shot, kRed), QRect(2, 2, 1, 1));
    EXPECT_EQ(AreaOf(shot, kMarker), QRect()) << "border and Buffer cover the control";

    std::vector<std::string> log;
    w.OnMouseDown = [&](TnvOffscreenPaint&, TMouseButton b, TShiftState s, int x, int y) {
        log.push_back("down " + std::to_string(int(b)) + " " + std::to_string(s) + " " + std::to_string(x) +
                      "," + std::to_string(y));
    };
    w.OnMouseUp = [&](TnvOffscreenPaint&, TMouseButton, TShiftState s, int x, int y) {
        log.push_back("up " + std::to_string(s) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    w.OnClick = [&](TnvOffscreenPaint&) { log.push_back("click"); };
    w.OnDblClick = [&](TnvOffscreenPaint&) { log.push_back("dblclick"); };
    const auto send = [&](QEvent::Type type, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
        QMouseEvent e(type, QPointF(12, 14), QPointF(12, 14), Qt::LeftButton, buttons, mods);
        QApplication::sendEvent(&w, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::ShiftModifier);
    send(QEvent::MouseButtonRelease, Qt::NoButton, Qt::NoModifier);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::ControlModifier);
    send(QEvent::MouseButtonRelease, Qt::NoButton, Qt::NoModifier);
    EXPECT_EQ(log, (std::vector<std::string>{"down 0 9 10,12", "click", "up 0 10,12", "dblclick",
                                             "down 0 76 10,12", "up 0 10,12"}))
        << "Shift = 1, Ctrl = 4, Left = 8, Double = 64; no click after a double click";
}

TEST(OffscreenPaint, PaintToDrawsOnTheTargetAndRebuildsTheScreenAfterwards) {
    Probe w;
    w.resize(40, 30);
    w.SetColor(kGreen);
    int screenPaints = 0;
    QSize printSize;
    bool onTarget = false;
    w.OnPaint = [&](TnvOffscreenPaint& s) {
        if (!s.IsPrinting()) {
            ++screenPaints;
            s.PaintCanvas().FillRect(QRect(0, 0, s.Width(), s.Height()), kRed);
            return;
        }
        printSize = QSize(s.Width(), s.Height());
        onTarget = !s.PaintCanvas().OnBitmap();
        s.PaintCanvas().FillRect(QRect(-50, -50, 500, 500), kBlue); // the clip keeps it to the control
        s.PaintCanvas().SetPixel(0, 0, kBlack);
        s.Repaint(); // a paint of the window now renders nothing
    };
    w.show();
    Settle();
    ASSERT_GT(screenPaints, 0);
    screenPaints = 0;
    const int updates = w.Updates;

    QImage page(200, 200, QImage::Format_RGB32);
    page.fill(Qt::white);
    w.PaintTo(page, 10, 20, 1.5, 2, true);
    EXPECT_TRUE(onTarget);
    EXPECT_EQ(printSize, QSize(60, 60));
    EXPECT_EQ(AreaOf(page, kBlue) | AreaOf(page, kBlack), QRect(10, 20, 60, 60));
    EXPECT_EQ(At(page, 10, 20), kBlack) << "the origin";
    EXPECT_EQ(screenPaints, 0);

    EXPECT_FALSE(w.IsPrinting());
    EXPECT_EQ(QSize(w.Width(), w.Height()), QSize(40, 30));
    EXPECT_EQ(w.Buffer().Pixel(5, 5), kGreen) << "the Buffer is prepared afresh";
    EXPECT_GT(w.Updates, updates) << "and a paint is requested";
    Settle();
    EXPECT_EQ(screenPaints, 1);
    EXPECT_EQ(w.Buffer().Pixel(5, 5), kRed);

    // Without UseScale the control keeps its size.
    w.PaintTo(page, 0, 0, 3, 3, false);
    EXPECT_EQ(printSize, QSize(40, 30));
}

TEST(OffscreenPaint, PrintScaleAndFontForPrinting) {
    Probe w;
    w.resize(40, 30);
    double scaleX = 0, scaleY = 0;
    int adjusted = 0, chosen = 0, defaultWithOtherSize = 0;
    w.OnPaint = [&](TnvOffscreenPaint& s) {
        scaleX = s.PrintScaleX();
        scaleY = s.PrintScaleY();
        TFont& font = s.PaintCanvas().Font;
        font.Size = 9;
        s.AdjustFontForPrint();
        adjusted = font.Size;

        s.OnPrintResizeFont = [](TnvOffscreenPaint&, int& size, bool& defaultResize) {
            size = 20;
            defaultResize = false;
        };
        font.Size = 9;
        s.AdjustFontForPrint();
        chosen = font.Size;

        s.OnPrintResizeFont = [](TnvOffscreenPaint&, int& size, bool&) { size = 10; };
        s.AdjustFontForPrint();
        defaultWithOtherSize = font.Size;
        s.OnPrintResizeFont = nullptr;
    };
    QImage page(300, 300, QImage::Format_RGB32);
    w.PaintTo(page, 0, 0, 0, 2.5, true);
    EXPECT_EQ(scaleX, 1.0) << "a scale of 0 reads as 1";
    EXPECT_EQ(scaleY, 2.5);

    QFont eight = w.font();
    eight.setPointSize(8);
    const int xHeight = QFontMetrics(eight, &page).height();
    ASSERT_GT(xHeight, 0);
    EXPECT_DOUBLE_EQ(w.FontFactor(), 13.0 / xHeight);
    EXPECT_EQ(adjusted, Round(2.5 * (9 * w.FontFactor())));
    EXPECT_EQ(chosen, 20) << "the handler's size, whatever the scale";
    EXPECT_EQ(defaultWithOtherSize, Round(2.5 * (10 * w.FontFactor())));

    EXPECT_EQ(w.PrintScaleX(), 1.0);
    EXPECT_EQ(w.PrintScaleY(), 1.0) << "on screen the scale is 1";
    w.PaintCanvas().Font.Size = 9;
    w.AdjustFontForPrint();
    EXPECT_EQ(w.PaintCanvas().Font.Size, 9);
}

TEST(OffscreenPaint, AFailingPaintLeavesEveryStateRestored) {
    Probe w;
    w.resize(40, 30);
    w.OnPaint = [](TnvOffscreenPaint&) { throw std::runtime_error("paint failed"); };
    QImage page(100, 100, QImage::Format_RGB32);
    EXPECT_THROW(w.PaintTo(page, 5, 5, 2, 2, true), std::runtime_error);
    EXPECT_EQ(w.PrintDepth(), 0);
    EXPECT_FALSE(w.IsPrinting());
    EXPECT_EQ(QSize(w.Width(), w.Height()), QSize(40, 30));
    EXPECT_TRUE(w.PaintCanvas().OnBitmap());
    QPainter other(&page);
    EXPECT_TRUE(other.isActive()) << "the target is free again";
    other.end();

    // On screen the error goes to the application's handler, not through Qt.
    std::vector<std::string> reported;
    const tw::ErrorHandler previous =
        tw::SetErrorHandler([&](const std::string& m) { reported.push_back(m); });
    w.show();
    Settle();
    w.Repaint();
    tw::SetErrorHandler(previous);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), "paint failed");
    EXPECT_EQ(w.InvalidatePending(), 0);
    const int updates = w.Updates;
    w.Invalidate();
    EXPECT_EQ(w.Updates, updates + 1);
}

TEST(OffscreenPaint, DragHoverReportsOneEdgeTopAndBottomFirst) {
    Probe w;
    w.resize(100, 80);
    w.setAcceptDrops(true);
    QMimeData data;
    const auto hover = [&](int x, int y) {
        w.Scrolls.clear();
        // Qt delivers moves only during a real drag; an enter takes the same way.
        QDragEnterEvent e(QPoint(x, y), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &e);
        return w.Scrolls;
    };
    using V = std::vector<int>;
    EXPECT_EQ(hover(2, 2), V{0});
    EXPECT_EQ(hover(2, 78), V{1});
    EXPECT_EQ(hover(98, 2), V{0});
    EXPECT_EQ(hover(2, 40), V{2});
    EXPECT_EQ(hover(98, 40), V{3});
    EXPECT_EQ(hover(50, 40), V{});
    EXPECT_EQ(hover(50, 75), V{}) << "75 is not beyond 80 - 5";
    w.ReservedBottom = 12;
    w.ReservedRight = 20;
    EXPECT_EQ(hover(50, 64), V{1});
    EXPECT_EQ(hover(76, 40), V{3});
    EXPECT_EQ(hover(75, 40), V{});
}

TEST(OffscreenPaint, WantedSpecialKeysAreClaimed) {
    QWidget window;
    auto* w = new Probe(&window);
    auto* next = new QWidget(&window);
    w->setFocusPolicy(Qt::StrongFocus);
    next->setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    w->setFocus();
    Settle();

    std::vector<int> keys;
    bool swallow = false;
    w->OnKeyDown = [&](TnvOffscreenPaint&, int& key, TShiftState) {
        keys.push_back(key);
        if (swallow) key = 0;
    };
    const auto send = [&](QEvent::Type type, int key) {
        QKeyEvent e(type, key, Qt::NoModifier);
        e.setAccepted(false);
        QApplication::sendEvent(w, &e);
        return e.isAccepted();
    };
    EXPECT_FALSE(send(QEvent::ShortcutOverride, Qt::Key_Return));
    EXPECT_FALSE(send(QEvent::KeyPress, Qt::Key_Return)) << "left for the dialog's default button";
    send(QEvent::KeyPress, Qt::Key_Tab);
    EXPECT_EQ(keys, std::vector<int>{13}) << "Tab is taken for moving the focus";

    w->WantedSpecialKeys.set(TKey::Return).set(TKey::Tab).set(TKey::Down);
    keys.clear();
    EXPECT_TRUE(send(QEvent::ShortcutOverride, Qt::Key_Return));
    EXPECT_TRUE(send(QEvent::KeyPress, Qt::Key_Return));
    EXPECT_TRUE(send(QEvent::KeyPress, Qt::Key_Tab));
    EXPECT_TRUE(send(QEvent::KeyPress, Qt::Key_Down));
    EXPECT_EQ(keys, (std::vector<int>{13, 9, 40}));
    swallow = true;
    EXPECT_TRUE(send(QEvent::KeyPress, Qt::Key_Escape)) << "a key the handler took goes no further";
}

TEST(OffscreenPaint, FocusMovesInvalidateAndEnterExitFollowTheControlAndItsChildren) {
    QWidget window;
    auto* w = new Probe(&window);
    auto* child = new QWidget(w);
    auto* elsewhere = new QWidget(&window);
    QWidget otherWindow;
    std::vector<std::string> log;
    w->OnEnter = [&](TnvOffscreenPaint&) { log.push_back("enter"); };
    w->OnExit = [&](TnvOffscreenPaint&) { log.push_back("exit"); };
    emit qApp->focusChanged(elsewhere, w);
    EXPECT_EQ(w->Updates, 1);
    emit qApp->focusChanged(w, child);
    emit qApp->focusChanged(child, nullptr); // the window was deactivated
    emit qApp->focusChanged(nullptr, child);
    emit qApp->focusChanged(child, elsewhere);
    EXPECT_EQ(log, (std::vector<std::string>{"enter", "exit"}));
    const int pending = w->InvalidatePending();
    emit qApp->focusChanged(&otherWindow, nullptr);
    EXPECT_EQ(w->InvalidatePending(), pending) << "another window's focus is none of its business";
}

TEST(OffscreenPaint, TheBufferCoversOnlyWhatCanBeSeen) {
    QWidget box;
    box.resize(50, 30);
    auto* w = new Probe(&box);
    w->setGeometry(-100, -50, 400, 300); // scrolled to (100, 50)
    ColorValue seen = 0, outside = 0;
    w->OnPaint = [&](TnvOffscreenPaint& s) {
        TPaintCanvas& c = s.PaintCanvas();
        c.Pen.Color = kRed;
        c.MoveTo(0, 60);
        c.LineTo(400, 60);
        seen = c.Pixel(120, 60);
        outside = c.Pixel(10, 10);
    };
    box.show();
    Settle();
    EXPECT_EQ(w->BufferArea(), QRect(100, 50, 50, 30));
    EXPECT_EQ(w->Buffer().Width(), 50);
    EXPECT_EQ(seen, kRed) << "reading sees what was drawn";
    EXPECT_EQ(outside, tw::kOutside);

    const QImage whole = w->grab().toImage(); // grabbing paints the whole control
    EXPECT_EQ(AreaOf(whole, kRed), QRect(0, 60, 400, 1));
}

TEST(OffscreenPaint, CanvasLinesShapesAndInversion) {
    tw::Bitmap b(30, 20);
    TPaintCanvas c(b);
    c.MoveTo(2, 2);
    c.LineTo(10, 2);
    EXPECT_EQ(b.Pixel(9, 2), kBlack);
    EXPECT_EQ(b.Pixel(10, 2), tw::kWhite) << "the end point is left out";
    EXPECT_EQ(c.Pixel(2, 2), kBlack);
    // Whichever way a line runs: back, up and diagonally up-left.
    c.MoveTo(10, 4);
    c.LineTo(2, 4);
    EXPECT_EQ(b.Pixel(10, 4), kBlack);
    EXPECT_EQ(b.Pixel(2, 4), tw::kWhite);
    c.LineTo(2, 0);
    EXPECT_EQ(b.Pixel(2, 3), kBlack);
    EXPECT_EQ(b.Pixel(2, 4), kBlack) << "the corner comes with the second stroke";
    EXPECT_EQ(b.Pixel(2, 0), tw::kWhite);
    c.MoveTo(10, 12);
    c.LineTo(6, 8);
    EXPECT_EQ(b.Pixel(10, 12), kBlack);
    EXPECT_EQ(b.Pixel(7, 9), kBlack);
    EXPECT_EQ(b.Pixel(6, 8), tw::kWhite);
    c.Pen.Style = TPenStyle::Dot;
    c.MoveTo(0, 14);
    c.LineTo(6, 14);
    EXPECT_EQ(b.Pixel(0, 14), kBlack);
    EXPECT_EQ(b.Pixel(1, 14), tw::kWhite) << "dotted: every other pixel";
    EXPECT_EQ(b.Pixel(4, 14), kBlack);
    c.Pen.Style = TPenStyle::Solid;
    b.Fill(tw::kWhite);

    c.Brush.Color = kGreen;
    c.Pen.Color = kRed;
    c.Rectangle(QRect(12, 4, 6, 5));
    EXPECT_EQ(c.Pixel(12, 4), kRed);
    EXPECT_EQ(c.Pixel(17, 8), kRed);
    EXPECT_EQ(c.Pixel(14, 6), kGreen);
    EXPECT_EQ(c.Pixel(18, 6), tw::kWhite);
    EXPECT_EQ(c.Pixel(14, 9), tw::kWhite);

    c.FrameRect(QRect(20, 4, 5, 5));
    EXPECT_EQ(c.Pixel(20, 4), kGreen);
    EXPECT_EQ(c.Pixel(24, 8), kGreen);
    EXPECT_EQ(c.Pixel(22, 6), tw::kWhite);

    // Inverting twice leaves nothing behind.
    const tw::Bitmap before = b;
    c.Pen.Mode = TPenMode::Not;
    c.MoveTo(0, 6);
    c.LineTo(30, 6);
    EXPECT_EQ(c.Pixel(14, 6), kGreen ^ 0xFFFFFFu);
    c.MoveTo(0, 6);
    c.LineTo(30, 6);
    c.DrawFocusRect(QRect(1, 1, 20, 10));
    EXPECT_EQ(c.Pixel(1, 1), 0u) << "white inverted";
    EXPECT_EQ(c.Pixel(2, 1), tw::kWhite) << "every other pixel";
    c.DrawFocusRect(QRect(1, 1, 20, 10));
    EXPECT_TRUE(b == before);
}

TEST(OffscreenPaint, CanvasOriginClipAndBitmapWorkThroughThePlainCanvas) {
    tw::Bitmap b(40, 30);
    TPaintCanvas c(b);
    c.SetViewportOrigin(QPoint(10, 5));
    c.SetPixel(0, 0, kRed);
    EXPECT_EQ(b.Pixel(10, 5), kRed);
    EXPECT_EQ(c.Pixel(0, 0), kRed);
    c.FillRect(QRect(1, 1, 4, 4), kColorBtnFace);
    EXPECT_EQ(b.Pixel(12, 7), ResolveColor(kColorBtnFace)) << "theme colours are looked up";

    // Zoomed painting reaches the canvas through the plain Canvas and keeps to the clip.
    c.SetViewportOrigin(QPoint());
    b.Fill(tw::kWhite);
    c.SetClipRect(QRect(5, 5, 10, 10));
    c.MoveTo(0, 6);
    c.LineTo(40, 6);
    const tw::Bitmap picture(20, 15, kBlue);
    tw::Bitmap part(20, 15);
    part.SetPixel(6, 3, kGreen); // lands on (12..13, 6..7), over the line
    tw::PaintZoomed({}, {&picture, &part}, 6, c);
    c.MoveTo(0, 8);
    c.LineTo(40, 8);
    tw::Bitmap expected(40, 30);
    expected.FillRect(QRect(5, 5, 10, 10), kBlue);
    expected.FillRect(QRect(12, 6, 2, 2), kGreen);
    expected.FillRect(QRect(5, 8, 10, 1), kBlack);
    EXPECT_TRUE(b == expected);
    EXPECT_EQ(c.Pixel(0, 0), tw::kOutside) << "outside the clip nothing can be read";
    c.ClearClip();
    EXPECT_EQ(c.Pixel(0, 0), tw::kWhite);

    c.Brush.Style = TBrushStyle::Clear;
    c.TextOut(2, 16, QStringLiteral("Brush"));
    const QRect box(2, 16, c.TextWidth(QStringLiteral("Brush")), c.TextHeight(QStringLiteral("Brush")));
    EXPECT_EQ(c.PenPos(), QPoint(box.right() + 1, 16));
    QRect ink;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (y >= 15 && b.Pixel(x, y) != tw::kWhite) ink |= QRect(x, y, 1, 1);
    EXPECT_FALSE(ink.isEmpty());
    EXPECT_TRUE((box | QRect(2, 16, 40, 1)).contains(ink)) << "text stays in its box";
}

TEST(OffscreenPaint, CanvasOnAForeignDevice) {
    QImage page(60, 40, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        TPaintCanvas c(page);
        EXPECT_FALSE(c.OnBitmap());
        c.SetViewportOrigin(QPoint(20, 10));
        c.SetDeviceClip(QRect(20, 10, 30, 20));
        c.ClearClip(); // leaves the device clip alone
        c.FillRect(QRect(-20, -10, 100, 100), kGreen);
        tw::Bitmap stamp(4, 4);
        stamp.SetPixel(1, 1, kRed);
        c.DrawTransparent(0, 0, stamp);
        c.StretchDraw(QRect(10, 10, 4, 4), tw::Bitmap(1, 1, kBlue), QRect(0, 0, 1, 1),
                      tw::StretchMode::Plain);
        EXPECT_EQ(c.Pixel(1, 1), kRed) << "reading an image target sees the drawing";
        EXPECT_EQ(c.Pixel(0, 0), kGreen) << "white is transparent";
        EXPECT_EQ(c.Bounds(), QRect(0, 0, 30, 20));
    }
    EXPECT_EQ(AreaOf(page, kGreen) | AreaOf(page, kRed) | AreaOf(page, kBlue), QRect(20, 10, 30, 20));
    EXPECT_EQ(At(page, 21, 11), kRed);
    EXPECT_EQ(AreaOf(page, kBlue), QRect(30, 20, 4, 4));
}

} // namespace
