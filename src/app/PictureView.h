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
#include <QSize>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TnvOffscreenPaint;
class TTintwellDocument;
class TViewTiles;
enum class TViewLayer : uint8_t;
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
    // "Show Original": the photo without any part, whatever ShowsPicture says.
    void SetShowOriginal(bool on);
    bool ShowsOriginal() const { return showOriginal_; }
    // The view draws from the photo at its own size and the full-size
    // composition (the zoom asks for more than the working picture holds).
    bool ShowsPhotoPixels() const;
    // Every photo pixel the view shows is drawn from the full-size result.
    bool IsSharp() const;
    TViewTiles& Tiles() const { return *tiles_; }

    // --- Zoom ---
    // The steps: the working picture's 0.05x .. 10x and, for a photo larger
    // than the working picture, 100 %, 200 % and 400 % of the photo.
    int ZoomStep() const { return zoomStep_; }
    int ZoomStepCount() const { return static_cast<int>(zooms_.size()); }
    // Screen pixels per working pixel.
    double ZoomFactor() const { return zooms_[static_cast<size_t>(zoomStep_)].Working; }
    // Screen pixels per photo pixel (the status bar's percentage).
    double PhotoZoom() const { return zooms_[static_cast<size_t>(zoomStep_)].Photo; }
    // The step that shows the photo's own pixels one to one.
    int PhotoZoom100Step() const;
    // The working table's step at or below the current zoom (for the mask dialog).
    int WorkingZoomStep() const;
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

    struct TZoomLevel {
        double Working = 1;     // screen pixels per working pixel
        double Photo = 1;       // screen pixels per photo pixel
        bool PhotoStep = false; // one of the photo's own steps: the surface is the photo times Photo
    };
    void MakeZoomLevels();
    void Rebuild();
    void ResizeSurface();
    // Draws the photo's pixels (the original, or the tiles composed so far) over
    // the working-size drawing.
    void PaintPhoto(tw::Canvas& canvas);
    // Below 100 %: the photo's pixels in view reduced at once from the tiles of
    // layer (all composed) or, without one, from the photo.
    void ReducePhoto(tw::Canvas& canvas, std::optional<TViewLayer> layer);
    // The surface's rectangle in the viewport, and the photo's rectangle it shows.
    QRect VisibleSurfaceRect() const;
    QRect VisiblePhotoRect() const;
    std::vector<const void*> TilesShow() const;
    // The tiles the view shows; none where it draws the photo straight from
    // the photo (the original of a photo without a profile or with an sRGB one).
    std::optional<TViewLayer> TileLayer() const;
    void Paint();
    void DrawMarks(QPoint at);
    // The surface's pixels a dab at a surface point paints.
    QRect BrushFootprint(QPoint at) const;
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
    bool showOriginal_ = false;
    std::vector<TZoomLevel> zooms_;
    int zoomStep_ = tw::kZoom100Step;
    std::unique_ptr<TViewTiles> tiles_;
    // What the photo's pixels looked like in the surface's buffer when last
    // drawn, and where: a paint for the pointer alone copies it back.
    struct TSharpKey {
        QRect Area;
        QSize Surface;
        int Step = -1;
        bool Original = false;
        bool operator==(const TSharpKey&) const = default;
    };
    tw::Bitmap sharp_;
    TSharpKey sharpKey_;
    bool sharpStale_ = true;
    // What the tiles were composed with: a change of the parts shown drops them.
    std::vector<const void*> tilesShow_;
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
