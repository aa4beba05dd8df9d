#pragma once
// The picture view: the document's picture with its parts, zoomed in a
// scrolled area. It owns the zoom and the one mapping between view and picture
// pixels, paints the picture and the marks under the pointer (the cross, the
// brush's frame, the tool's name), and hands the mouse to the current tool:
// Fill asks for a part to be grown (fillRequested), Brush and Erase paint on
// the document's current part.

#include "platform/Bitmap.h"
#include "platform/ZoomedPainter.h"

#include <QPoint>
#include <QRect>
#include <QScrollArea>

#include <memory>
#include <optional>

class TnvOffscreenPaint;
class TTintwellDocument;
class TViewTool;
class QWheelEvent;

enum class TToolKind { Fill, Brush, Erase };

class TPictureView : public QScrollArea {
    Q_OBJECT

  public:
    TPictureView(TTintwellDocument& document, QWidget* parent = nullptr);
    ~TPictureView() override;

    // --- What is shown ---
    // The picture behind the parts ("Draw original image in background"), or white.
    void SetShowPicture(bool on);
    bool ShowsPicture() const { return showPicture_; }
    // The view as composed at the picture's size, before zooming.
    const tw::Bitmap& ViewBitmap() const { return view_; }
    // Composes the view again once the current event is done.
    void RedrawLater();
    // The surface the picture is painted on (in zoomed picture pixels).
    TnvOffscreenPaint* Surface() const { return surface_; }

    // --- Zoom ---
    int ZoomStep() const { return zoomStep_; }
    double ZoomFactor() const { return tw::ZoomFactor(zoomStep_); }
    // Zooms to the step (clamped to the table) so that the picture point at
    // anchor (viewport coordinates) stays where it is, as far as scrolling can.
    void ZoomTo(int step, QPoint anchor);
    void ZoomTo(int step) { ZoomTo(step, ViewCentre()); }
    // The largest step at which the whole picture fits the view.
    int FitZoomStep() const;
    // Shows a picture just opened: whole, from its top-left corner, and not
    // enlarged beyond 100 %.
    void ShowWhole();
    // The centre of the part of the picture the view shows, in viewport coordinates.
    QPoint ViewCentre() const;

    // --- Tools ---
    void SetTool(TToolKind tool);
    TToolKind Tool() const { return toolKind_; }
    // The brush's half width in view pixels.
    void SetBrushRadius(int radius);
    int BrushRadius() const { return brushRadius_; }
    // The picture pixel under a point of the surface, and the one the zoomed
    // painting shows there (which can differ by one when scrolled).
    QPoint PictureAt(QPoint surfacePoint) const;
    QPoint PictureShownAt(QPoint surfacePoint) const;
    // The colour of the picture under the pointer as last painted; none while
    // the pointer is off the picture.
    std::optional<tw::ColorValue> ColourUnderCursor() const { return colourUnderCursor_; }
    // Where the pointer is on the surface; none while it is elsewhere.
    std::optional<QPoint> PointerPosition() const {
        return pointerInside_ ? std::optional<QPoint>(cursorAt_) : std::nullopt;
    }

    TTintwellDocument& Document() const { return document_; }
    Qt::KeyboardModifiers PressModifiers() const { return pressModifiers_; }

  signals:
    // Fill clicked at a picture pixel; surfacePoint: the click on the zoomed
    // surface; modifiers: the keys held (Shift adds to the current part, Ctrl
    // takes away from it).
    void fillRequested(QPoint picturePoint, QPoint surfacePoint, Qt::KeyboardModifiers modifiers);
    void zoomChanged();
    void colourUnderCursorChanged();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    friend class TPaintTool;

    void Rebuild();
    void ResizeSurface();
    void Paint();
    void DrawMarks(QPoint at);
    tw::ScrollBoxState BoxState() const;
    void ShowChanged(const QRect& rect);
    void PointerAt(QPoint surfacePoint);
    // Ctrl+wheel zooms around the pointer.
    bool Wheel(QWidget* watched, QWheelEvent* event);
    // A dab shows itself at once, the way the brush shows it.
    void ShowDab(const struct TDab& dab);

    TTintwellDocument& document_;
    TnvOffscreenPaint* surface_ = nullptr;
    tw::Bitmap view_;
    // view_ converted from the picture's colour profile to the screen, made when
    // first painted after view_ changed; unused for sRGB pictures.
    tw::Bitmap screenView_;
    bool screenViewStale_ = true;
    bool showPicture_ = true;
    int zoomStep_ = tw::kZoom100Step;
    int brushRadius_ = 8;
    TToolKind toolKind_ = TToolKind::Brush;
    std::unique_ptr<TViewTool> tool_;
    // The pointer is over the surface, so cursorAt_ is a real position.
    bool pointerInside_ = false;
    QPoint cursorAt_;
    // The keys held at the last press, for Fill's click.
    Qt::KeyboardModifiers pressModifiers_;
    std::optional<tw::ColorValue> colourUnderCursor_;
    // A dab shows itself in the view; the document's change needs no recomposing.
    bool dabbing_ = false;
    // Wheel turn not yet used for a zoom step (eighths of a degree).
    int wheelTurn_ = 0;
};
