#include "grid/nvOffscreenPaint.h"

#include "platform/ErrorReport.h"
#include "platform/Rounding.h"

#include <QApplication>
#include <QDragMoveEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {

// Exceptions must not unwind through Qt's event dispatch: handlers of Qt events
// that run user code hand them to the application's error handler instead.
template <class F> void Guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
        tw::ReportException(std::current_exception());
    }
}

tw::ColorValue ColorValueOf(const QColor& c) {
    return static_cast<tw::ColorValue>(c.red()) | (static_cast<tw::ColorValue>(c.green()) << 8) |
           (static_cast<tw::ColorValue>(c.blue()) << 16);
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier) s |= TShift::Shift;
    if (modifiers & Qt::AltModifier) s |= TShift::Alt;
    if (modifiers & Qt::ControlModifier) s |= TShift::Ctrl;
    if (buttons & Qt::LeftButton) s |= TShift::Left;
    if (buttons & Qt::RightButton) s |= TShift::Right;
    if (buttons & Qt::MiddleButton) s |= TShift::Middle;
    return s;
}

std::optional<TMouseButton> ButtonOf(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return TMouseButton::Left;
    case Qt::RightButton:
        return TMouseButton::Right;
    case Qt::MiddleButton:
        return TMouseButton::Middle;
    default:
        return std::nullopt;
    }
}

// (left, top, right, bottom) with right and bottom outside, as a QRect.
QRect RectLTRB(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

double StoredScale(double s) {
    return s == 0 ? 1.0 : s;
}

constexpr int kDragEdge = 5;
constexpr int kBorderWidth = 2;

} // namespace

// --- Fonts -------------------------------------------------------------------

QFont TFont::ToQFont() const {
    QFont f = Name.isEmpty() ? QGuiApplication::font() : QFont(Name);
    if (Size > 0) f.setPointSize(Size);
    f.setBold((Style & Bold) != 0);
    f.setItalic((Style & Italic) != 0);
    f.setUnderline((Style & Underline) != 0);
    f.setStrikeOut((Style & StrikeOut) != 0);
    return f;
}

TFont TFont::FromQFont(const QFont& font, tw::ColorValue color) {
    TFont f;
    f.Name = font.family();
    if (font.pointSize() > 0)
        f.Size = font.pointSize();
    else if (font.pixelSize() > 0)
        f.Size = std::max(1, Round(font.pixelSize() * 72.0 / 96.0));
    f.Style = static_cast<uint8_t>((font.bold() ? Bold : 0) | (font.italic() ? Italic : 0) |
                                   (font.underline() ? Underline : 0) | (font.strikeOut() ? StrikeOut : 0));
    f.Color = color;
    return f;
}

// --- Keys --------------------------------------------------------------------

int KeyCodeOf(const QKeyEvent& event) {
    const int k = event.key();
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return k;
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return keypad ? 96 + (k - Qt::Key_0) : k;
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return TKey::F1 + (k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Backspace:
        return TKey::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return TKey::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return TKey::Return;
    case Qt::Key_Shift:
        return TKey::Shift;
    case Qt::Key_Control:
        return TKey::Control;
    case Qt::Key_Alt:
        return TKey::Alt;
    case Qt::Key_Pause:
        return TKey::Pause;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return TKey::Escape;
    case Qt::Key_Space:
        return TKey::Space;
    case Qt::Key_PageUp:
        return TKey::PageUp;
    case Qt::Key_PageDown:
        return TKey::PageDown;
    case Qt::Key_End:
        return TKey::End;
    case Qt::Key_Home:
        return TKey::Home;
    case Qt::Key_Left:
        return TKey::Left;
    case Qt::Key_Up:
        return TKey::Up;
    case Qt::Key_Right:
        return TKey::Right;
    case Qt::Key_Down:
        return TKey::Down;
    case Qt::Key_Print:
        return 44;
    case Qt::Key_Insert:
        return TKey::Insert;
    case Qt::Key_Delete:
        return TKey::Delete;
    case Qt::Key_Help:
        return 47;
    case Qt::Key_Menu:
        return 93;
    case Qt::Key_Asterisk:
        return keypad ? 106 : 0;
    case Qt::Key_Plus:
        return keypad ? 107 : 187;
    case Qt::Key_Equal:
        return 187;
    case Qt::Key_Minus:
        return keypad ? 109 : 189;
    case Qt::Key_Period:
        return keypad ? 110 : 190;
    case Qt::Key_Slash:
        return keypad ? 111 : 191;
    case Qt::Key_Comma:
        return 188;
    case Qt::Key_Semicolon:
        return 186;
    case Qt::Key_NumLock:
        return 144;
    case Qt::Key_ScrollLock:
        return 145;
    default:
        return 0;
    }
}

// --- TPaintCanvas --------------------------------------------------------------

TPaintCanvas::TPaintCanvas(tw::Bitmap& target) : tw::Canvas(target) {}

TPaintCanvas::TPaintCanvas(QPaintDevice& device) : TPaintCanvas(device, std::make_unique<tw::Bitmap>()) {}

// The plain Canvas needs a bitmap; on a foreign device it gets an empty one that
// nothing is ever drawn on.
TPaintCanvas::TPaintCanvas(QPaintDevice& device, std::unique_ptr<tw::Bitmap> placeholder)
    : tw::Canvas(*placeholder), device_(&device), placeholder_(std::move(placeholder)) {}

TPaintCanvas::~TPaintCanvas() {
    Flush();
}

QPaintDevice& TPaintCanvas::Device() {
    return device_ ? *device_ : Target().Image();
}

void TPaintCanvas::Flush() const {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

std::optional<QRect> TPaintCanvas::EffectiveClip() const {
    std::optional<QRect> clip = clip_;
    if (deviceClip_) {
        const QRect d = deviceClip_->translated(Origin);
        clip = clip ? (*clip & d) : d;
    }
    return clip;
}

bool TPaintCanvas::InClip(int x, int y) const {
    const std::optional<QRect> clip = EffectiveClip();
    return !clip || clip->contains(x, y);
}

QPainter* TPaintCanvas::Painter() {
    if (!device_ && Target().IsEmpty()) return nullptr;
    bool fresh = false;
    if (!painter_) {
        auto p = std::make_unique<QPainter>();
        if (!p->begin(&Device())) return nullptr;
        painter_ = std::move(p);
        fresh = true;
    }
    QPainter& p = *painter_;
    if (fresh || appliedOrigin_ != Origin) {
        p.setTransform(QTransform::fromTranslate(-Origin.x(), -Origin.y()));
        appliedOrigin_ = Origin;
        fresh = true; // the clip is kept in logical coordinates: set it again
    }
    const std::optional<QRect> clip = EffectiveClip();
    if (fresh || clip != appliedClip_) {
        if (clip)
            p.setClipRect(*clip);
        else
            p.setClipping(false);
        appliedClip_ = clip;
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    return &p;
}

void TPaintCanvas::UsePen(QPainter& p) const {
    QPen pen(ToQColor(Pen.Mode == TPenMode::Not ? tw::kWhite : Pen.Color));
    if (Pen.Width <= 1) {
        // A thin line without caps leaves out its last pixel.
        pen.setWidth(0);
        pen.setCapStyle(Qt::FlatCap);
    } else {
        pen.setWidth(Pen.Width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    if (Pen.Style == TPenStyle::Dot) pen.setDashPattern({1.0, 1.0});
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (Pen.Mode != TPenMode::Copy) p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
}

void TPaintCanvas::LineTo(int x, int y) {
    const QPoint from = penPos_;
    penPos_ = QPoint(x, y);
    if (Pen.Style == TPenStyle::Clear || from == penPos_) return;
    QPainter* p = Painter();
    if (!p) return;
    UsePen(*p);
    // Thin lines pixel by pixel: Qt leaves out the lower-right end of a line
    // whichever way it runs, but a line here leaves out its end point, so
    // strokes drawn in any direction join without a gap or an overlap. Lines
    // far longer than any surface are left to Qt rather than listed.
    constexpr int kLongest = 16384;
    const int dx = std::abs(x - from.x());
    const int dy = -std::abs(y - from.y());
    if (Pen.Width > 1 || dx > kLongest || -dy > kLongest) {
        p->drawLine(from, penPos_);
        return;
    }
    const int stepX = from.x() < x ? 1 : -1;
    const int stepY = from.y() < y ? 1 : -1;
    QPolygon points;
    points.reserve(std::max(dx, -dy));
    int error = dx + dy;
    int n = 0;
    for (QPoint at = from; at != penPos_; ++n) {
        if (Pen.Style != TPenStyle::Dot || n % 2 == 0) points << at;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            at.rx() += stepX;
        }
        if (twice <= dx) {
            error += dx;
            at.ry() += stepY;
        }
    }
    p->drawPoints(points);
}

void TPaintCanvas::Rectangle(const QRect& r) {
    if (r.isEmpty()) return;
    QPainter* p = Painter();
    if (!p) return;
    if (Brush.Style == TBrushStyle::Solid) p->fillRect(r, ToQColor(Brush.Color));
    if (Pen.Style != TPenStyle::Clear) {
        UsePen(*p);
        p->drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void TPaintCanvas::FillRect(const QRect& r) {
    if (Brush.Style == TBrushStyle::Solid) FillRect(r, Brush.Color);
}

void TPaintCanvas::FrameRect(const QRect& r) {
    if (r.isEmpty() || Brush.Style == TBrushStyle::Clear) return;
    const tw::ColorValue c = Brush.Color;
    FillRect(QRect(r.left(), r.top(), r.width(), 1), c);
    if (r.height() > 1) FillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
    FillRect(QRect(r.left(), r.top() + 1, 1, r.height() - 2), c);
    if (r.width() > 1) FillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 2), c);
}

void TPaintCanvas::DrawFocusRect(const QRect& r) {
    if (r.isEmpty()) return;
    // Every other pixel of the frame, each exactly once, so inverting twice restores.
    QPolygon points;
    const auto add = [&](int x, int y) {
        if (((x - r.left()) + (y - r.top())) % 2 == 0) points << QPoint(x, y);
    };
    for (int x = r.left(); x <= r.right(); ++x) {
        add(x, r.top());
        if (r.height() > 1) add(x, r.bottom());
    }
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
        add(r.left(), y);
        if (r.width() > 1) add(r.right(), y);
    }
    QPainter* p = Painter();
    if (!p) return;
    p->setPen(QPen(Qt::white, 0));
    p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p->drawPoints(points);
}

void TPaintCanvas::TextOut(int x, int y, const QString& text) {
    QPainter* p = Painter();
    if (!p) return;
    const QFont font = Font.ToQFont();
    p->setFont(font);
    const QFontMetrics metrics = p->fontMetrics();
    const int width = metrics.horizontalAdvance(text);
    if (Brush.Style == TBrushStyle::Solid)
        p->fillRect(QRect(x, y, width, metrics.height()), ToQColor(Brush.Color));
    p->setPen(ToQColor(Font.Color));
    p->drawText(QPoint(x, y + metrics.ascent()), text);
    penPos_ = QPoint(x + width, y);
}

void TPaintCanvas::TextRect(const QRect& r, const QString& text, unsigned flags) {
    QPainter* p = Painter();
    if (!p) return;
    p->setFont(Font.ToQFont());
    int align = (flags & TTextFlag::Right)    ? Qt::AlignRight
                : (flags & TTextFlag::Center) ? Qt::AlignHCenter
                                              : Qt::AlignLeft;
    align |= (flags & TTextFlag::VCenter)  ? Qt::AlignVCenter
             : (flags & TTextFlag::Bottom) ? Qt::AlignBottom
                                           : Qt::AlignTop;
    if (flags & TTextFlag::WordBreak) align |= Qt::TextWordWrap;
    if (flags & TTextFlag::SingleLine) align |= Qt::TextSingleLine;
    if (flags & TTextFlag::ExpandTabs) align |= Qt::TextExpandTabs;
    if (flags & TTextFlag::NoClip) align |= Qt::TextDontClip;
    const int mnemonic = (flags & TTextFlag::NoPrefix) ? 0 : int(Qt::TextShowMnemonic);
    align |= mnemonic;
    QString shown = text;
    // Wrapped text is not shortened: the ellipsis applies to lines that are kept whole.
    if ((flags & TTextFlag::EndEllipsis) && !(flags & TTextFlag::WordBreak)) {
        const QFontMetrics metrics = p->fontMetrics();
        QStringList lines = (flags & TTextFlag::SingleLine) ? QStringList{QString(text).replace(u'\n', u' ')}
                                                            : text.split(u'\n');
        for (QString& line : lines)
            line = metrics.elidedText(line, Qt::ElideRight, r.width(), mnemonic);
        shown = lines.join(u'\n');
    }
    p->setPen(ToQColor(Font.Color));
    p->drawText(r, align, shown);
}

int TPaintCanvas::TextWidth(const QString& text) {
    const bool blank = !device_ && Target().IsEmpty();
    return QFontMetrics(Font.ToQFont(), blank ? nullptr : &Device()).horizontalAdvance(text);
}

int TPaintCanvas::TextHeight(const QString& /*text*/) {
    // The height of a line in the font, whatever the characters.
    const bool blank = !device_ && Target().IsEmpty();
    return QFontMetrics(Font.ToQFont(), blank ? nullptr : &Device()).height();
}

void TPaintCanvas::Draw(int x, int y, const tw::Bitmap& src) {
    StretchDraw(QRect(x, y, src.Width(), src.Height()), src, src.Rect(), tw::StretchMode::Plain);
}

template <class Op> void TPaintCanvas::OnBitmapClipped(const QRect& area, Op op) {
    Flush();
    const std::optional<QRect> clip = EffectiveClip();
    if (!clip || clip->contains(area)) {
        tw::Canvas direct(Target(), Origin);
        op(direct);
        return;
    }
    // Work on a copy of the clipped window and put back only that window.
    const QRect part = area & *clip & Bounds();
    if (part.isEmpty()) return;
    tw::Bitmap window(part.width(), part.height());
    window.CopyRect(0, 0, Target(), part.translated(-Origin));
    tw::Canvas canvas(window, part.topLeft());
    op(canvas);
    const QPoint at = part.topLeft() - Origin;
    Target().CopyRect(at.x(), at.y(), window, window.Rect());
}

QRect TPaintCanvas::Bounds() const {
    if (!device_) return tw::Canvas::Bounds();
    QRect r(QPoint(0, 0), QSize(device_->width(), device_->height()));
    if (deviceClip_) r &= *deviceClip_;
    return r.translated(Origin);
}

tw::ColorValue TPaintCanvas::Pixel(int x, int y) const {
    if (!InClip(x, y)) return tw::kOutside;
    if (!device_) {
        Flush();
        return tw::Canvas::Pixel(x, y);
    }
    if (device_->devType() != QInternal::Image) return tw::kOutside;
    Flush();
    const QImage& image = static_cast<const QImage&>(*device_);
    const QPoint at = QPoint(x, y) - Origin;
    return image.valid(at) ? ColorValueOf(image.pixelColor(at)) : tw::kOutside;
}

void TPaintCanvas::SetPixel(int x, int y, tw::ColorValue c) {
    if (!InClip(x, y)) return;
    if (!device_) {
        Flush();
        tw::Canvas::SetPixel(x, y, ResolveColor(c));
    } else if (QPainter* p = Painter()) {
        p->fillRect(QRect(x, y, 1, 1), ToQColor(c));
    }
}

void TPaintCanvas::FillRect(const QRect& r, tw::ColorValue c) {
    if (!device_) {
        Flush();
        const std::optional<QRect> clip = EffectiveClip();
        tw::Canvas::FillRect(clip ? (r & *clip) : r, ResolveColor(c));
    } else if (QPainter* p = Painter()) {
        p->fillRect(r, ToQColor(c));
    }
}

void TPaintCanvas::StretchDraw(const QRect& dstRect, const tw::Bitmap& src, const QRect& srcRect,
                               tw::StretchMode mode) {
    if (dstRect.isEmpty() || srcRect.isEmpty() || src.IsEmpty()) return;
    if (!device_) {
        OnBitmapClipped(dstRect, [&](tw::Canvas& c) { c.StretchDraw(dstRect, src, srcRect, mode); });
    } else if (QPainter* p = Painter()) {
        p->setRenderHint(QPainter::SmoothPixmapTransform, mode == tw::StretchMode::Halftone);
        p->drawImage(QRectF(dstRect), src.Image(), QRectF(srcRect));
        p->setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
}

void TPaintCanvas::DrawTransparent(int x, int y, const tw::Bitmap& src) {
    if (src.IsEmpty()) return;
    if (!device_) {
        OnBitmapClipped(QRect(QPoint(x, y), QSize(src.Width(), src.Height())),
                        [&](tw::Canvas& c) { c.DrawTransparent(x, y, src); });
        return;
    }
    QPainter* p = Painter();
    if (!p) return;
    QImage masked = src.Image().convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < masked.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(row));
        for (int i = 0; i < masked.width(); ++i)
            if ((line[i] & 0xFFFFFFu) == 0xFFFFFFu) line[i] = 0;
    }
    p->drawImage(QPoint(x, y), masked);
}

// --- TnvOffscreenPaint -----------------------------------------------------------

TnvOffscreenPaint::TnvOffscreenPaint(QWidget* parent) : QWidget(parent) {
    // The Buffer copy covers everything: no background to erase, nothing to flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setMouseTracking(true);
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        focusConnection_ = connect(app, &QApplication::focusChanged, this,
                                   [this](QWidget* old, QWidget* now) { FocusChanged(old, now); });
}

TnvOffscreenPaint::~TnvOffscreenPaint() {
    // QWidget's destructor may move the focus; this object is gone by then.
    disconnect(focusConnection_);
}

TPaintCanvas& TnvOffscreenPaint::PaintCanvas() {
    return IsPrinting() && printCanvas_ ? *printCanvas_ : bufferCanvas_;
}

int TnvOffscreenPaint::Width() const {
    return printSize_ ? printSize_->width() : width();
}
int TnvOffscreenPaint::Height() const {
    return printSize_ ? printSize_->height() : height();
}

void TnvOffscreenPaint::SetColor(tw::ColorValue c) {
    color_ = c;
    Invalidate();
}

void TnvOffscreenPaint::SetBorderStyle(TBorderStyle style) {
    borderStyle_ = style;
    const int m = style == TBorderStyle::Single ? kBorderWidth : 0;
    setContentsMargins(m, m, m, m);
    Invalidate();
}

QPoint TnvOffscreenPaint::ClientPoint(QPointF widgetPoint) const {
    return QPoint(static_cast<int>(std::floor(widgetPoint.x())),
                  static_cast<int>(std::floor(widgetPoint.y()))) -
           contentsRect().topLeft();
}

void TnvOffscreenPaint::RequestUpdate() {
    update();
}

void TnvOffscreenPaint::Invalidate() {
    const bool first = invalidatePending_ == 0;
    if (invalidatePending_ < std::numeric_limits<int32_t>::max()) ++invalidatePending_;
    if (first) RequestUpdate();
}

void TnvOffscreenPaint::Repaint() {
    if (updateLock_ != 0) return;
    Invalidate();
    repaint();
}

void TnvOffscreenPaint::BeginUpdate() {
    ++updateLock_;
}

void TnvOffscreenPaint::EndUpdate() {
    --updateLock_;
    Invalidate();
}

double TnvOffscreenPaint::PrintScaleX() const {
    return IsPrinting() ? StoredScale(scaleX_) : 1.0;
}
double TnvOffscreenPaint::PrintScaleY() const {
    return IsPrinting() ? StoredScale(scaleY_) : 1.0;
}

// --- Painting on screen ----------------------------------------------------------

void TnvOffscreenPaint::paintEvent(QPaintEvent* event) {
    Guarded([&] { Paint(event->rect()); });
}

void TnvOffscreenPaint::Paint(const QRect& exposed) {
    // Cleared even when printing skips this paint: that request is used up, and
    // the end of printing must be able to ask for a new one.
    invalidatePending_ = 0;
    if (IsPrinting()) return;
    if (borderStyle_ != TBorderStyle::None) {
        QPainter window(this);
        DrawBorder(window);
    }
    const QRect area = VisibleClientArea() | exposed.translated(-contentsRect().topLeft());
    PrepareBuffer(area & QRect(0, 0, Width(), Height()));
    try {
        DoPaint();
    } catch (...) {
        bufferCanvas_.Flush();
        throw;
    }
    bufferCanvas_.Flush();
    QPainter window(this);
    CopyBufferToScreen(window);
}

QRect TnvOffscreenPaint::VisibleClientArea() const {
    QRect visible = contentsRect();
    QPoint offset; // origin of the widget w in our coordinates
    for (const QWidget* w = this; !w->isWindow() && w->parentWidget(); w = w->parentWidget()) {
        offset -= w->pos();
        visible &= QRect(offset, w->parentWidget()->size());
    }
    return visible.translated(-contentsRect().topLeft());
}

void TnvOffscreenPaint::PrepareBuffer(const QRect& area) {
    bufferCanvas_.Flush();
    const QRect a = area.isEmpty() ? QRect() : area;
    buffer_.SetSize(a.width(), a.height());
    bufferArea_ = a;
    bufferCanvas_.Origin = a.topLeft();
    bufferCanvas_.ClearClip();
    bufferCanvas_.Font = TFont::FromQFont(font(), ColorValueOf(palette().color(QPalette::WindowText)));
    bufferCanvas_.Brush = TBrush{color_, TBrushStyle::Solid};
    bufferCanvas_.FillRect(QRect(0, 0, Width(), Height()));
}

void TnvOffscreenPaint::DoPaint() {
    if (OnPaint) OnPaint(*this);
}

void TnvOffscreenPaint::CopyBufferToScreen(QPainter& window) {
    const QRect client = contentsRect();
    window.save();
    window.setClipRect(client, Qt::IntersectClip);
    window.translate(client.topLeft());
    const QRect copy = RectLTRB(0, 0, Width() - ReservedRight, Height() - ReservedBottom) & bufferArea_;
    if (!copy.isEmpty())
        window.drawImage(copy.topLeft(), buffer_.Image(), copy.translated(-bufferArea_.topLeft()));
    if (ReservedRight > 0 && ReservedBottom > 0)
        window.fillRect(RectLTRB(Width() - ReservedRight, Height() - ReservedBottom, Width(), Height()),
                        ToQColor(kColorBtnFace));
    window.restore();
}

void TnvOffscreenPaint::DrawBorder(QPainter& window) const {
    // A sunken two-pixel edge, like an edit field's.
    const QRect r = rect();
    const auto line = [&](const QRect& strip, tw::ColorValue c) { window.fillRect(strip, ToQColor(c)); };
    line(QRect(r.left(), r.top(), r.width(), 1), kColorBtnShadow);
    line(QRect(r.left(), r.top(), 1, r.height()), kColorBtnShadow);
    line(QRect(r.left(), r.bottom(), r.width(), 1), kColorBtnHighlight);
    line(QRect(r.right(), r.top(), 1, r.height()), kColorBtnHighlight);
    const QRect inner = r.adjusted(1, 1, -1, -1);
    line(QRect(inner.left(), inner.top(), inner.width(), 1), kColor3DDkShadow);
    line(QRect(inner.left(), inner.top(), 1, inner.height()), kColor3DDkShadow);
    line(QRect(inner.left(), inner.bottom(), inner.width(), 1), kColor3DLight);
    line(QRect(inner.right(), inner.top(), 1, inner.height()), kColor3DLight);
}

// --- Printing ------------------------------------------------------------------------

void TnvOffscreenPaint::PaintTo(QPaintDevice& target, int X, int Y, double ScaleX, double ScaleY,
                                bool UseScale) {
    printOriginX_ = X;
    printOriginY_ = Y;
    scaleX_ = ScaleX;
    scaleY_ = ScaleY;
    const QSize original(Width(), Height());
    // A scale of 0 means 1 here as everywhere else, so that something is printed.
    const QSize size = UseScale ? QSize(std::max(0, Round(StoredScale(ScaleX) * original.width())),
                                        std::max(0, Round(StoredScale(ScaleY) * original.height())))
                                : original;
    const std::optional<QSize> outerSize = printSize_;
    std::unique_ptr<TPaintCanvas> outerCanvas = std::move(printCanvas_);
    ++printDepth_;
    const auto finish = [&] {
        printCanvas_ = std::move(outerCanvas); // ends the painting on target
        printSize_ = outerSize;
        if (--printDepth_ == 0) {
            PrepareBuffer(VisibleClientArea() & QRect(0, 0, Width(), Height()));
            Invalidate();
        }
    };
    try {
        printSize_ = size;
        printCanvas_ = std::make_unique<TPaintCanvas>(target);
        TPaintCanvas& canvas = *printCanvas_;
        canvas.Font = TFont::FromQFont(font(), ColorValueOf(palette().color(QPalette::WindowText)));
        canvas.SetViewportOrigin(QPoint(X, Y));
        canvas.SetDeviceClip(QRect(QPoint(X, Y), size));
        canvas.Font.Size = 8;
        const int height = canvas.TextHeight(QStringLiteral("X"));
        fontFactor_ = height != 0 ? 13.0 / height : 1.0;
        DoPaint();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TnvOffscreenPaint::AdjustFontForPrint() {
    if (!IsPrinting()) return;
    TFont& font = PaintCanvas().Font;
    int fontSize = font.Size;
    bool defaultResize = true;
    if (OnPrintResizeFont) {
        OnPrintResizeFont(*this, fontSize, defaultResize);
        if (!defaultResize) {
            font.Size = fontSize;
            return;
        }
    }
    font.Size = Round(PrintScaleY() * (fontSize * fontFactor_));
}

// --- Input ---------------------------------------------------------------------------

bool TnvOffscreenPaint::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int code = KeyCodeOf(*key);
        if (code != 0 && WantedSpecialKeys.test(static_cast<size_t>(code & 0xFF))) {
            // Claimed keys reach keyPressEvent before any shortcut, and Tab does
            // not move the focus.
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
            if (code == TKey::Tab) {
                keyPressEvent(key);
                return true;
            }
        }
    }
    return QWidget::event(event);
}

void TnvOffscreenPaint::keyPressEvent(QKeyEvent* event) {
    int key = KeyCodeOf(*event);
    if (key == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool wanted = WantedSpecialKeys.test(static_cast<size_t>(key & 0xFF));
    Guarded([&] { KeyDown(key, ShiftStateOf(event->modifiers(), QGuiApplication::mouseButtons())); });
    // A key the handler swallowed, or one we claim, goes no further (not to a dialog's buttons).
    if (key == 0 || wanted)
        event->accept();
    else
        event->ignore();
}

void TnvOffscreenPaint::KeyDown(int& Key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(*this, Key, shift);
}

void TnvOffscreenPaint::mousePressEvent(QMouseEvent* event) {
    const std::optional<TMouseButton> button = ButtonOf(event->button());
    if (!button) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (*button == TMouseButton::Left) clickPending_ = true;
    const QPoint p = ClientPoint(event->position());
    Guarded([&] { MouseDown(*button, ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y()); });
}

void TnvOffscreenPaint::mouseDoubleClickEvent(QMouseEvent* event) {
    const std::optional<TMouseButton> button = ButtonOf(event->button());
    if (!button) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double click: no click follows its release.
    clickPending_ = false;
    const QPoint p = ClientPoint(event->position());
    const TShiftState shift = ShiftStateOf(event->modifiers(), event->buttons()) | TShift::Double;
    Guarded([&] {
        if (*button == TMouseButton::Left) DblClick();
        MouseDown(*button, shift, p.x(), p.y());
    });
}

void TnvOffscreenPaint::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = ClientPoint(event->position());
    Guarded([&] { MouseMove(ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y()); });
}

void TnvOffscreenPaint::mouseReleaseEvent(QMouseEvent* event) {
    const std::optional<TMouseButton> button = ButtonOf(event->button());
    if (!button) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool click = *button == TMouseButton::Left && std::exchange(clickPending_, false) &&
                       contentsRect().contains(event->position().toPoint());
    const QPoint p = ClientPoint(event->position());
    Guarded([&] {
        if (click) Click();
        MouseUp(*button, ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
    });
}

void TnvOffscreenPaint::MouseDown(TMouseButton button, TShiftState shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(*this, button, shift, X, Y);
}

void TnvOffscreenPaint::MouseMove(TShiftState shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(*this, shift, X, Y);
}

void TnvOffscreenPaint::MouseUp(TMouseButton button, TShiftState shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(*this, button, shift, X, Y);
}

void TnvOffscreenPaint::Click() {
    if (OnClick) OnClick(*this);
}

void TnvOffscreenPaint::DblClick() {
    if (OnDblClick) OnDblClick(*this);
}

void TnvOffscreenPaint::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Guarded([&] { Resize(); });
}

void TnvOffscreenPaint::Resize() {
    if (OnResize) OnResize(*this);
}

// --- Focus ---------------------------------------------------------------------------

void TnvOffscreenPaint::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    Invalidate();
}

void TnvOffscreenPaint::focusOutEvent(QFocusEvent* event) {
    Invalidate();
    QWidget::focusOutEvent(event);
}

void TnvOffscreenPaint::FocusChanged(QWidget* old, QWidget* now) {
    // Descendants draw marks that depend on where the focus is in the window
    // (their own editors included), so any move within it repaints.
    if ((old && old->window() == window()) || (now && now->window() == window())) Invalidate();
    const auto inside = [this](const QWidget* w) { return w && (w == this || isAncestorOf(w)); };
    Guarded([&] {
        // Focus moving to one of our children is no exit, and a window losing
        // its activation (now is null) is none either.
        if (inside(now) && !entered_) {
            entered_ = true;
            DoEnter();
        } else if (entered_ && now && !inside(now)) {
            entered_ = false;
            DoExit();
        }
    });
}

void TnvOffscreenPaint::DoEnter() {
    if (OnEnter) OnEnter(*this);
}

void TnvOffscreenPaint::DoExit() {
    if (OnExit) OnExit(*this);
}

// --- Drag hover ----------------------------------------------------------------------

void TnvOffscreenPaint::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TnvOffscreenPaint::dragMoveEvent(QDragMoveEvent* event) {
    bool accept = false;
    const QPoint p = ClientPoint(event->position());
    Guarded([&] { DragOver(p.x(), p.y(), accept); });
    if (accept)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TnvOffscreenPaint::DragOver(int X, int Y, bool& Accept) {
    // One direction per call; top and bottom win over the sides.
    if (Y < kDragEdge)
        DragScroll(0);
    else if (Y > Height() - kDragEdge - ReservedBottom)
        DragScroll(1);
    else if (X < kDragEdge)
        DragScroll(2);
    else if (X > Width() - kDragEdge - ReservedRight)
        DragScroll(3);
    Accept = false;
    if (OnDragOver) {
        Accept = true;
        OnDragOver(*this, X, Y, Accept);
    }
}

void TnvOffscreenPaint::DragScroll(int /*direction*/) {}
