#pragma once
// A panel that never paints straight onto the screen: every paint renders the
// control into an off-screen Buffer (OnPaint or an overriding DoPaint, drawing
// on PaintCanvas) and then copies the Buffer to the window in one block, so the
// surface never flickers. The same drawing code can run against a foreign paint
// device (a printer page, a picture) with an origin, a clip and a scale: PaintTo.
//
// Coordinates are client coordinates: (0, 0) is the top-left corner inside the
// border. Width() and Height() are the control's size, or the scaled size while
// PaintTo runs, so that descendants lay out for the surface they draw on.

#include "grid/nvTypes.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"

#include <QColor>
#include <QFont>
#include <QMetaObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QPainter;
class QPaintDevice;
class QKeyEvent;

// --- Drawing tools -----------------------------------------------------------

enum class TPenStyle { Solid, Dot, Clear };
// Not inverts what lies under the line (drawing it twice restores it); Xor
// combines the pen colour with it the same way.
enum class TPenMode { Copy, Not, Xor };

struct TPen {
    tw::ColorValue Color = 0;
    int Width = 1;
    TPenStyle Style = TPenStyle::Solid;
    TPenMode Mode = TPenMode::Copy;
};

enum class TBrushStyle { Solid, Clear };

struct TBrush {
    tw::ColorValue Color = tw::kWhite;
    TBrushStyle Style = TBrushStyle::Solid;
};

struct TFont {
    static constexpr uint8_t Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8;

    QString Name;
    int Size = 8; // points
    uint8_t Style = 0;
    tw::ColorValue Color = 0;

    QFont ToQFont() const;
    static TFont FromQFont(const QFont& font, tw::ColorValue color = 0);
    bool operator==(const TFont&) const = default;
};

// Flags of TPaintCanvas::TextRect. The left/top alignment is the default.
struct TTextFlag {
    static constexpr unsigned Center = 1, Right = 2, VCenter = 4, Bottom = 8, WordBreak = 16, SingleLine = 32,
                              ExpandTabs = 64, NoClip = 256, NoPrefix = 2048, EndEllipsis = 32768;
};

// --- The canvas -------------------------------------------------------------

// Drawing on a Bitmap (the control's Buffer) or on a foreign paint device, in
// logical coordinates: the device pixel of a logical point p is p - Origin, so
// the viewport origin is -Origin. Rectangles are QRects and cover exactly their
// pixels. Lines leave out their end point, so strokes join without overlap.
//
// On a Bitmap the painter is started on demand and ended before any direct pixel
// work, so reading a pixel sees everything drawn so far and the plain Canvas
// operations (used by zoomed painting) can run on it.
class TPaintCanvas : public tw::Canvas {
  public:
    explicit TPaintCanvas(tw::Bitmap& target);
    explicit TPaintCanvas(QPaintDevice& device);
    ~TPaintCanvas() override;
    TPaintCanvas(const TPaintCanvas&) = delete;
    TPaintCanvas& operator=(const TPaintCanvas&) = delete;

    TPen Pen;
    TBrush Brush;
    TFont Font;

    bool OnBitmap() const { return device_ == nullptr; }
    QPaintDevice& Device();

    QPoint ViewportOrigin() const { return -Origin; }
    void SetViewportOrigin(QPoint p) { Origin = -p; }

    // A clip rectangle in logical coordinates; everything drawn stays inside it.
    void SetClipRect(const QRect& r) { clip_ = r; }
    void ClearClip() { clip_.reset(); }
    std::optional<QRect> ClipRect() const { return clip_; }
    // A further clip in device coordinates that ClearClip leaves alone (the
    // printing area of PaintTo).
    void SetDeviceClip(std::optional<QRect> r) { deviceClip_ = r; }

    QPoint PenPos() const { return penPos_; }
    void MoveTo(int x, int y) { penPos_ = QPoint(x, y); }
    void LineTo(int x, int y);
    // Outline with the pen on the outermost pixels of r, inside with the brush.
    void Rectangle(const QRect& r);
    void FillRect(const QRect& r);  // with the brush
    void FrameRect(const QRect& r); // one pixel, brush colour
    // Dotted frame that inverts the pixels under it; drawing it twice removes it.
    void DrawFocusRect(const QRect& r);

    // Text with its top-left corner at (x, y), in the font's colour, over the
    // brush colour unless the brush is clear. The pen moves to the text's end.
    void TextOut(int x, int y, const QString& text);
    // Text laid out in r (TTextFlag), without background.
    void TextRect(const QRect& r, const QString& text, unsigned flags);
    int TextWidth(const QString& text);
    int TextHeight(const QString& text);

    // Unscaled copy of src with its top-left corner at (x, y).
    void Draw(int x, int y, const tw::Bitmap& src);

    // tw::Canvas, honouring the clip and the foreign device.
    QRect Bounds() const override;
    tw::ColorValue Pixel(int x, int y) const override;
    void SetPixel(int x, int y, tw::ColorValue c) override;
    void FillRect(const QRect& r, tw::ColorValue c) override;
    void StretchDraw(const QRect& dstRect, const tw::Bitmap& src, const QRect& srcRect,
                     tw::StretchMode mode) override;
    void DrawTransparent(int x, int y, const tw::Bitmap& src) override;

    // Ends the painter so that the target holds everything drawn. Drawing starts
    // it again. Never needed by users of the canvas; the control calls it.
    void Flush() const;

  private:
    TPaintCanvas(QPaintDevice& device, std::unique_ptr<tw::Bitmap> placeholder);

    QPainter* Painter(); // nullptr when there is nothing to draw on
    void UsePen(QPainter& p) const;
    std::optional<QRect> EffectiveClip() const;
    bool InClip(int x, int y) const;
    // Runs a plain Canvas operation on the bitmap, limited to the clip.
    template <class Op> void OnBitmapClipped(const QRect& area, Op op);

    QPaintDevice* device_ = nullptr; // foreign device; nullptr on a bitmap
    std::unique_ptr<tw::Bitmap> placeholder_;
    mutable std::unique_ptr<QPainter> painter_;
    QPoint appliedOrigin_;
    std::optional<QRect> appliedClip_;
    std::optional<QRect> clip_;
    std::optional<QRect> deviceClip_;
    QPoint penPos_;
};

// --- Input ------------------------------------------------------------------

// Modifier keys: TShiftState and TShift in nvTypes.h.

enum class TMouseButton { Left, Right, Middle };

// Key codes of key events (0..255), the numbers WantedSpecialKeys holds.
struct TKey {
    static constexpr int Back = 8, Tab = 9, Return = 13, Shift = 16, Control = 17, Alt = 18, Pause = 19,
                         Escape = 27, Space = 32, PageUp = 33, PageDown = 34, End = 35, Home = 36, Left = 37,
                         Up = 38, Right = 39, Down = 40, Insert = 45, Delete = 46, F1 = 112, F2 = 113;
};
// The key code of a key event, 0 for keys without one.
int KeyCodeOf(const QKeyEvent& event);

enum class TBorderStyle { None, Single };

// --- The control ------------------------------------------------------------

class TnvOffscreenPaint;
using TOnPrintResizeFont = std::function<void(TnvOffscreenPaint& caller, int& FontSize, bool& DefaultResize)>;

class TnvOffscreenPaint : public QWidget {
    Q_OBJECT

  public:
    using TNotifyEvent = std::function<void(TnvOffscreenPaint& sender)>;
    using TMouseEvent =
        std::function<void(TnvOffscreenPaint& sender, TMouseButton button, TShiftState shift, int X, int Y)>;
    using TMouseMoveEvent = std::function<void(TnvOffscreenPaint& sender, TShiftState shift, int X, int Y)>;
    using TKeyEvent = std::function<void(TnvOffscreenPaint& sender, int& Key, TShiftState shift)>;
    using TDragOverEvent = std::function<void(TnvOffscreenPaint& sender, int X, int Y, bool& Accept)>;

    explicit TnvOffscreenPaint(QWidget* parent = nullptr);
    ~TnvOffscreenPaint() override;

    TNotifyEvent OnPaint;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TNotifyEvent OnResize;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TDragOverEvent OnDragOver; // Accept starts true; without a handler nothing is accepted
    TOnPrintResizeFont OnPrintResizeFont;

    // The canvas to draw on inside OnPaint / DoPaint: the foreign device's while
    // printing, the Buffer's otherwise.
    TPaintCanvas& PaintCanvas();

    // Repaint request; any number of calls between two paints cost one.
    virtual void Invalidate();
    // Paints at once, unless BeginUpdate is in effect.
    virtual void Repaint();
    void Refresh() { Repaint(); }
    virtual void BeginUpdate();
    // Unlocks one level and invalidates, even when still locked.
    virtual void EndUpdate();

    bool IsPrinting() const { return printDepth_ > 0; }
    double PrintScaleX() const;
    double PrintScaleY() const;
    double FontFactor() const { return fontFactor_; }
    // Renders the control onto target with its origin at (X, Y), clipped to the
    // control's (scaled) area. While it runs, paints on screen are skipped and
    // Width()/Height() are the scaled size; afterwards the screen is rebuilt.
    // Exceptions from the drawing code propagate after every state is restored.
    virtual void PaintTo(QPaintDevice& target, int X, int Y, double ScaleX, double ScaleY, bool UseScale);
    // Sets PaintCanvas's font size for printing (nothing on screen).
    void AdjustFontForPrint();

    int Width() const;
    int Height() const;

    tw::ColorValue Color() const { return color_; }
    void SetColor(tw::ColorValue c);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);

    // Strips at the right and bottom edge that the Buffer is not copied to (a
    // descendant puts its scroll bars there).
    int32_t ReservedRight = 0;
    int32_t ReservedBottom = 0;
    // Key codes (TKey, low byte) the control takes for itself before dialogs and
    // shortcuts see them: Tab, arrows, Return ...
    std::bitset<256> WantedSpecialKeys;

    int32_t UpdateLock() const { return updateLock_; }
    int32_t PrintDepth() const { return printDepth_; }
    int32_t InvalidatePending() const { return invalidatePending_; }
    int32_t PrintOriginX() const { return printOriginX_; }
    int32_t PrintOriginY() const { return printOriginY_; }

    // The off-screen image and the client rectangle it covers. The Buffer covers
    // only the part of the control that can be seen (or is being grabbed), so a
    // control much larger than its scroll box costs no more than the box.
    const tw::Bitmap& Buffer() const { return buffer_; }
    QRect BufferArea() const { return bufferArea_; }

  protected:
    // Renders into PaintCanvas; the base fires OnPaint.
    virtual void DoPaint();
    // Copies the Buffer to the window, leaving out the reserved strips.
    virtual void CopyBufferToScreen(QPainter& window);
    // A drag hovers near an edge: 0 top, 1 bottom, 2 left, 3 right.
    virtual void DragScroll(int direction);
    virtual void DragOver(int X, int Y, bool& Accept);
    virtual void MouseDown(TMouseButton button, TShiftState shift, int X, int Y);
    virtual void MouseMove(TShiftState shift, int X, int Y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int X, int Y);
    virtual void Click();
    virtual void DblClick();
    virtual void KeyDown(int& Key, TShiftState shift);
    virtual void Resize();
    virtual void DoEnter();
    virtual void DoExit();
    // Asks Qt for a paint of the whole control. The one place Invalidate reaches
    // the window system.
    virtual void RequestUpdate();

    // Sizes the Buffer for area (client coordinates) and fills it with Color.
    void PrepareBuffer(const QRect& area);
    // Client point of a widget point.
    QPoint ClientPoint(QPointF widgetPoint) const;

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;

  private:
    void Paint(const QRect& exposed);
    void DrawBorder(QPainter& window) const;
    QRect VisibleClientArea() const;
    void FocusChanged(QWidget* old, QWidget* now);

    // The Buffer comes before its canvas, which refers to it.
    tw::Bitmap buffer_;
    TPaintCanvas bufferCanvas_{buffer_};
    std::unique_ptr<TPaintCanvas> printCanvas_;
    QRect bufferArea_;

    int32_t updateLock_ = 0;
    int32_t printDepth_ = 0;
    int32_t invalidatePending_ = 0;
    int32_t printOriginX_ = 0;
    int32_t printOriginY_ = 0;
    double scaleX_ = 0;
    double scaleY_ = 0;
    double fontFactor_ = 1;
    std::optional<QSize> printSize_;

    tw::ColorValue color_ = kColorBtnFace;
    TBorderStyle borderStyle_ = TBorderStyle::None;
    bool clickPending_ = false;
    bool entered_ = false;
    QMetaObject::Connection focusConnection_;
};
