#include "app/PictureView.h"

#include "app/ViewTools.h"
#include "document/TintwellDocument.h"
#include "document/ViewTiles.h"
#include "grid/nvOffscreenPaint.h"
#include "platform/DeferredCalls.h"
#include "platform/GraphicsLock.h"
#include "platform/Rounding.h"
#include "platform/StretchRows.h"

#include <QEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr tw::ColorValue kRed = 0x0000FF;
constexpr tw::ColorValue kYellow = 0x00FFFF;
constexpr tw::ColorValue kGrey = 0x808080;
constexpr tw::ColorValue kBlack = 0x000000;
// One notch of an ordinary mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;
// The photo's own zooms, in screen pixels per photo pixel.
constexpr double kPhotoZooms[] = {1, 2, 4};

} // namespace

TPictureView::TPictureView(TTintwellDocument& document, QWidget* parent)
    : QScrollArea(parent), document_(document), tool_(std::make_unique<TPaintTool>(false)) {
    tiles_ = std::make_unique<TViewTiles>([this] {
        // The parts the view shows, over the photo.
        TTintwellDocument::TFullSizeSource source = document_.FullSizeSource();
        if (!document_.ShowsAllParts()) {
            TTintwellDocument::TFullSizeSource shown = source;
            shown.Bitmaps.clear(), shown.Settings.clear(), shown.Growths.clear();
            for (int i = 0; i < document_.PartCount(); ++i)
                if (document_.IsSelected(document_.Part(i))) {
                    const auto k = static_cast<size_t>(i);
                    shown.Bitmaps.push_back(source.Bitmaps[k]);
                    shown.Settings.push_back(source.Settings[k]);
                    shown.Growths.push_back(source.Growths[k]);
                }
            source = std::move(shown);
        }
        source.PartsOnDemand.clear();
        return source;
    });
    connect(tiles_.get(), &TViewTiles::TilesReady, this, [this] {
        sharpStale_ = true;
        surface_->Invalidate();
    });
    MakeZoomLevels();
    setObjectName(QStringLiteral("pictureArea"));
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackgroundRole(QPalette::Base);
    QPalette white = palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    viewport()->setAutoFillBackground(true);

    surface_ = new TnvOffscreenPaint();
    surface_->setObjectName(QStringLiteral("ImageView"));
    setWidget(surface_);
    surface_->setGeometry(0, 0, 400, 200);
    surface_->SetColor(tw::kWhite);
    surface_->setMouseTracking(true);
    surface_->OnPaint = [this](TnvOffscreenPaint&) { Paint(); };
    surface_->OnMouseDown = [this](TnvOffscreenPaint&, TMouseButton, TShiftState shift, int x, int y) {
        // A press makes the first selected part's settings the current ones,
        // the ones the brush paints with and a grown part starts with.
        document_.TakeSettingsOfFirstSelected();
        pressModifiers_ = {};
        if (shift & ssShift) pressModifiers_ |= Qt::ShiftModifier;
        if (shift & ssCtrl) pressModifiers_ |= Qt::ControlModifier;
        PointerAt({x, y});
        if (shift & ssLeft) tool_->Press(*this, {x, y});
    };
    surface_->OnMouseMove = [this](TnvOffscreenPaint&, TShiftState shift, int x, int y) {
        PointerAt({x, y});
        if (shift & ssLeft) tool_->Drag(*this, {x, y});
        emit colourUnderCursorChanged();
    };
    surface_->OnMouseUp = [this](TnvOffscreenPaint&, TMouseButton, TShiftState, int, int) {
        tool_->Release(*this);
    };
    surface_->OnClick = [this](TnvOffscreenPaint&) { tool_->Click(*this, cursorAt_); };
    surface_->installEventFilter(this);
    viewport()->installEventFilter(this);
    // Scrolling shows another part of the zoomed picture.
    for (QScrollBar* b : {horizontalScrollBar(), verticalScrollBar()})
        connect(b, &QScrollBar::valueChanged, this, [this] { surface_->Invalidate(); });

    connect(
        &document_, &TTintwellDocument::Changed, this, [this](const QRect& rect, const QList<TImagePart*>&) {
            // A change of a part's working pixels reaches this far at full size.
            tiles_->Invalidate(FullSizeReach(document_.FullSize(), document_.Picture().Rect().size(), rect));
            sharpStale_ = true;
            ShowChanged(rect);
        });
    connect(&document_, &TTintwellDocument::SelectionChanged, this, &TPictureView::RedrawLater);
    connect(&document_, &TTintwellDocument::PictureReplaced, this, [this] {
        view_ = tw::Bitmap();
        screenViewStale_ = true;
        tiles_->SetFullSize(document_.FullPicture().Rect().size());
        tiles_->Clear();
        MakeZoomLevels();
        zoomStep_ = std::min(zoomStep_, ZoomStepCount() - 1);
        ResizeSurface();
    });
}

TPictureView::~TPictureView() {
    TDeferredCalls::CancelAll(this);
}

void TPictureView::SetShowOriginal(bool on) {
    if (on == showOriginal_) return;
    showOriginal_ = on;
    RedrawLater();
}

bool TPictureView::ShowsPhotoPixels() const {
    const tw::Bitmap& full = document_.FullPicture();
    const tw::Bitmap& working = document_.Picture();
    return !full.IsEmpty() && !working.IsEmpty() && full.Width() > working.Width() && ZoomFactor() > 1;
}

bool TPictureView::IsSharp() const {
    const std::optional<TViewLayer> layer = TileLayer();
    return !ShowsPhotoPixels() || !layer || tiles_->Sharp(VisiblePhotoRect(), *layer);
}

std::optional<TViewLayer> TPictureView::TileLayer() const {
    if (!showOriginal_) return showPicture_ ? TViewLayer::Result : TViewLayer::PartsOnWhite;
    // Converting to the screen costs too much for a paint.
    if (!document_.Profile().IsSrgb()) return TViewLayer::Original;
    return std::nullopt;
}

std::vector<const void*> TPictureView::TilesShow() const {
    std::vector<const void*> shown;
    for (int i = 0; i < document_.PartCount(); ++i)
        if (document_.ShowsAllParts() || document_.IsSelected(document_.Part(i)))
            shown.push_back(document_.Part(i));
    return shown;
}

// --- What is shown ----------------------------------------------------------------

void TPictureView::SetShowPicture(bool on) {
    showPicture_ = on;
    RedrawLater();
}

void TPictureView::RedrawLater() {
    TDeferredCalls::Queue(this, &TPictureView::Rebuild);
}

void TPictureView::Rebuild() {
    if (showOriginal_)
        view_.Assign(document_.Picture());
    else
        view_ = document_.ComposeView(showPicture_);
    screenViewStale_ = true;
    sharpStale_ = true;
    // The selection or "Show all parts" decide which parts the tiles hold.
    std::vector<const void*> shown = TilesShow();
    if (shown != tilesShow_) {
        tilesShow_ = std::move(shown);
        tiles_->Clear();
    }
    surface_->Invalidate();
}

void TPictureView::ShowChanged(const QRect& rect) {
    // A dab has shown itself already, the way the brush shows it; the original
    // shows no part.
    if (dabbing_ || showOriginal_) return;
    if (view_.Rect() == document_.Picture().Rect() && !view_.IsEmpty()) {
        document_.ComposeViewRect(view_, rect, showPicture_);
        screenViewStale_ = true;
        surface_->Invalidate();
    } else {
        RedrawLater();
    }
}

void TPictureView::ShowDab(const TDab& dab) {
    if (showOriginal_) return;
    sharpStale_ = true;
    document_.ShowDabInView(view_, dab, showPicture_);
    screenViewStale_ = true;
    surface_->Repaint();
}

tw::ScrollBoxState TPictureView::BoxState() const {
    tw::ScrollBoxState box;
    box.HorzVisible = horizontalScrollBar()->isVisible();
    box.HorzPosition = horizontalScrollBar()->value();
    box.VertVisible = verticalScrollBar()->isVisible();
    box.VertPosition = verticalScrollBar()->value();
    box.Width = viewport()->width();
    box.Height = viewport()->height();
    return box;
}

void TPictureView::Paint() {
    const TGraphicsLockGuard lock;
    TPaintCanvas& canvas = surface_->PaintCanvas();
    if (!view_.IsEmpty()) tw::PaintZoomedBy(BoxState(), {&view_}, ZoomFactor(), canvas);
    // Sampled before the marks: the small brush's frame crosses the centre,
    // and the colour should be the picture's, not the frame's. The pointer's
    // place is only as fresh as the last mouse event: scrolling, a smaller
    // picture or a smaller window can leave it off the picture or off the
    // painted window, and what lies there is no colour of the picture.
    const double f = ZoomFactor();
    const QRect zoomedPicture(0, 0, Round(view_.Width() * f), Round(view_.Height() * f));
    const tw::ColorValue sampled = canvas.Pixel(cursorAt_.x(), cursorAt_.y());
    const std::optional<tw::ColorValue> before = colourUnderCursor_;
    if (pointerInside_ && !view_.IsEmpty() && zoomedPicture.contains(cursorAt_) && sampled != tw::kOutside)
        colourUnderCursor_ = sampled;
    else
        colourUnderCursor_.reset();
    // The read-outs give the picture's own values; the screen shows a profiled
    // picture's colours as they are meant.
    const TColourProfile& profile = document_.Profile();
    if (!view_.IsEmpty() && !profile.IsSrgb()) {
        if (screenViewStale_) {
            screenView_.Assign(view_);
            profile.ToScreen(screenView_, screenView_.Rect());
            screenViewStale_ = false;
        }
        tw::PaintZoomedBy(BoxState(), {&screenView_}, ZoomFactor(), canvas);
    }
    if (ShowsPhotoPixels()) {
        // The photo's pixels as last drawn, while nothing but the pointer has
        // moved: reducing the tiles at a small zoom costs far more than a paint.
        const TSharpKey key{surface_->BufferArea(), surface_->size(), zoomStep_, showOriginal_};
        if (sharpStale_ || !(key == sharpKey_) || sharp_.IsEmpty()) {
            PaintPhoto(canvas);
            canvas.Flush();
            sharp_.Assign(surface_->Buffer());
            sharpKey_ = key;
            sharpStale_ = false;
        } else {
            canvas.StretchDraw(key.Area, sharp_, sharp_.Rect(), tw::StretchMode::Plain);
        }
        // The read-out gives the photo's own value under the pointer.
        const tw::ColorValue sharp = canvas.Pixel(cursorAt_.x(), cursorAt_.y());
        if (colourUnderCursor_ && sharp != tw::kOutside && profile.IsSrgb()) colourUnderCursor_ = sharp;
    }
    if (pointerInside_) DrawMarks(cursorAt_);
    // The mouse move that asked for this paint reported the colour of the paint
    // before; report the one just read, so that readers never lag a move behind.
    if (colourUnderCursor_ != before) emit colourUnderCursorChanged();
}

void TPictureView::DrawMarks(QPoint at) {
    TPaintCanvas& canvas = surface_->PaintCanvas();
    const int x = at.x(), y = at.y();
    canvas.Pen = TPen{kRed, 3, TPenStyle::Solid, TPenMode::Copy};
    canvas.MoveTo(x, y - 30);
    canvas.LineTo(x, y - 10);
    canvas.MoveTo(x, y + 10);
    canvas.LineTo(x, y + 30);
    canvas.MoveTo(x - 30, y);
    canvas.LineTo(x - 10, y);
    canvas.MoveTo(x + 10, y);
    canvas.LineTo(x + 30, y);

    const int a = brushRadius_;
    canvas.Brush = TBrush{kGrey, TBrushStyle::Solid};
    if (ShowsPhotoPixels() && toolKind_ != TToolKind::Fill) {
        // The photo's pixels are finer than the working pixels a dab paints:
        // the frame shows the dab's real square on the photo.
        const QRect dab = BrushFootprint(at);
        canvas.FrameRect(dab.adjusted(-1, -1, 1, 1));
        canvas.Brush = TBrush{kBlack, TBrushStyle::Solid};
        canvas.FrameRect(dab);
    } else {
        canvas.FrameRect(QRect(QPoint(x - a - 1, y - a - 1), QPoint(x + a - 2, y + a - 2)));
        canvas.Brush = TBrush{kBlack, TBrushStyle::Solid};
        canvas.FrameRect(QRect(QPoint(x - a, y - a), QPoint(x + a - 1, y + a - 1)));
    }

    canvas.Font.Size = 8;
    canvas.Font.Color = kYellow;
    canvas.Brush.Style = TBrushStyle::Clear;
    canvas.TextOut(x + a, y - a - 10, tool_->Name());
}

QRect TPictureView::BrushFootprint(QPoint at) const {
    // As TPaintTool::Dab and TTintwellDocument::Dab place it.
    const int r = Round(brushRadius_ / ZoomFactor());
    const QPoint c = r > 0 ? PictureAt(at) : PictureShownAt(at);
    const int side = r == 0 ? 1 : toolKind_ == TToolKind::Erase ? 2 * r - 1 : 2 * r;
    const QRect square = r == 0 ? QRect(c, QSize(1, 1)) : QRect(c - QPoint(r, r), QSize(side, side));
    const tw::Bitmap& working = document_.Picture();
    const double kx = static_cast<double>(surface_->width()) / working.Width();
    const double ky = static_cast<double>(surface_->height()) / working.Height();
    return QRect(QPoint(Round(square.left() * kx), Round(square.top() * ky)),
                 QPoint(Round((square.right() + 1) * kx) - 1, Round((square.bottom() + 1) * ky) - 1));
}

bool TPictureView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Leave && watched == surface_) {
        // The cross and the brush frame go with the pointer.
        pointerInside_ = false;
        colourUnderCursor_.reset();
        surface_->Invalidate();
        emit colourUnderCursorChanged();
    }
    if (event->type() == QEvent::Wheel && (watched == surface_ || watched == viewport()))
        return Wheel(static_cast<QWidget*>(watched), static_cast<QWheelEvent*>(event));
    return QScrollArea::eventFilter(watched, event);
}

// --- Zoom ---------------------------------------------------------------------------

void TPictureView::MakeZoomLevels() {
    zooms_.clear();
    const tw::Bitmap& full = document_.FullPicture();
    const tw::Bitmap& working = document_.Picture();
    const bool larger = !full.IsEmpty() && !working.IsEmpty() && full.Width() > working.Width();
    // Photo pixels per working pixel, along the width the working size was made from.
    const double ratio = larger ? static_cast<double>(full.Width()) / working.Width() : 1.0;
    for (int i = 0; i < tw::kZoomSteps; ++i)
        zooms_.push_back({tw::ZoomFactor(i), tw::ZoomFactor(i) / ratio, !larger});
    if (!larger) return;
    for (double photo : kPhotoZooms) {
        const TZoomLevel level{photo * ratio, photo, true};
        const auto at = std::find_if(zooms_.begin(), zooms_.end(), [&](const TZoomLevel& z) {
            return std::abs(z.Working - level.Working) < 1e-9 || z.Working > level.Working;
        });
        if (at != zooms_.end() && std::abs(at->Working - level.Working) < 1e-9)
            *at = level;
        else
            zooms_.insert(at, level);
    }
}

int TPictureView::PhotoZoom100Step() const {
    for (size_t i = 0; i < zooms_.size(); ++i)
        if (zooms_[i].PhotoStep && zooms_[i].Photo == 1) return static_cast<int>(i);
    return tw::kZoom100Step;
}

int TPictureView::WorkingZoomStep() const {
    int step = 0;
    for (int i = 0; i < tw::kZoomSteps; ++i)
        if (tw::ZoomFactor(i) <= ZoomFactor() + 1e-9) step = i;
    return step;
}

void TPictureView::ResizeSurface() {
    const TZoomLevel& z = zooms_[static_cast<size_t>(zoomStep_)];
    const tw::Bitmap& full = document_.FullPicture();
    if (z.PhotoStep && !full.IsEmpty())
        surface_->resize(Round(full.Width() * z.Photo), Round(full.Height() * z.Photo));
    else
        surface_->resize(Round(document_.Picture().Width() * z.Working),
                         Round(document_.Picture().Height() * z.Working));
    RedrawLater();
    emit zoomChanged();
}

QRect TPictureView::VisibleSurfaceRect() const {
    const tw::ScrollBoxState box = BoxState();
    const int x0 = box.HorzVisible ? box.HorzPosition : 0;
    const int x1 = box.HorzVisible ? x0 + box.Width : surface_->width();
    const int y0 = box.VertVisible ? box.VertPosition : 0;
    const int y1 = box.VertVisible ? y0 + box.Height : surface_->height();
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

QRect TPictureView::VisiblePhotoRect() const {
    const tw::Bitmap& full = document_.FullPicture();
    if (full.IsEmpty() || surface_->width() <= 0 || surface_->height() <= 0) return {};
    const QRect visible = VisibleSurfaceRect();
    const int x0 = visible.left(), x1 = visible.right() + 1, y0 = visible.top(), y1 = visible.bottom() + 1;
    const double sx = static_cast<double>(surface_->width()) / full.Width();
    const double sy = static_cast<double>(surface_->height()) / full.Height();
    const int left = static_cast<int>(std::floor(x0 / sx)), top = static_cast<int>(std::floor(y0 / sy));
    const int right = static_cast<int>(std::ceil(x1 / sx)), bottom = static_cast<int>(std::ceil(y1 / sy));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(full.Rect());
}

void TPictureView::PaintPhoto(tw::Canvas& canvas) {
    const tw::Bitmap& full = document_.FullPicture();
    const QRect shown = VisiblePhotoRect();
    if (shown.isEmpty()) return;
    const double sx = static_cast<double>(surface_->width()) / full.Width();
    const double sy = static_cast<double>(surface_->height()) / full.Height();
    // Photo pixel p covers the surface's pixels from Round(p * s): one to one
    // at 100 %, whole squares at 200 % and 400 %.
    const auto dest = [&](const QRect& r) {
        return QRect(QPoint(Round(r.left() * sx), Round(r.top() * sy)),
                     QPoint(Round((r.right() + 1) * sx) - 1, Round((r.bottom() + 1) * sy) - 1));
    };
    const tw::StretchMode mode = sx < 1 ? tw::StretchMode::Halftone : tw::StretchMode::Plain;
    const std::optional<TViewLayer> layer = TileLayer();
    if (layer) tiles_->Want(shown, *layer);
    if (mode == tw::StretchMode::Halftone && (!layer || tiles_->Sharp(shown, *layer))) {
        ReducePhoto(canvas, layer);
        return;
    }
    const QPoint a = TViewTiles::TileIndex(shown.topLeft()), b = TViewTiles::TileIndex(shown.bottomRight());
    for (int ty = a.y(); ty <= b.y(); ++ty)
        for (int tx = a.x(); tx <= b.x(); ++tx) {
            const QRect t = tiles_->TileRect({tx, ty});
            tw::Bitmap cut;
            const tw::Bitmap* pixels = nullptr;
            if (!layer) {
                cut = tw::Bitmap(t.width(), t.height());
                cut.StretchPlain(cut.Rect(), full, t);
                pixels = &cut;
            } else {
                pixels = tiles_->Tile({tx, ty}, *layer);
                if (!pixels) continue; // the working-size drawing stays until the tile is composed
            }
            canvas.StretchDraw(dest(t), *pixels, pixels->Rect(), mode);
        }
}

void TPictureView::ReducePhoto(tw::Canvas& canvas, std::optional<TViewLayer> layer) {
    // Tiles reduced one by one would each start on a whole screen pixel, up to
    // half a pixel off where the whole photo's reduction puts them: the part
    // of the surface in view is reduced at once, with the whole photo's
    // mapping, from the tiles (or the photo) a row at a time.
    const tw::Bitmap& full = document_.FullPicture();
    const QRect area = VisibleSurfaceRect().intersected(surface_->rect());
    if (area.isEmpty()) return;
    tw::Bitmap reduced(area.width(), area.height());
    std::vector<uint32_t> row;
    const auto rowAt = [&](int y, int x0, int x1) -> const uint32_t* {
        if (!layer) return full.Row(y) + x0;
        row.resize(static_cast<size_t>(x1 - x0 + 1));
        for (int x = x0; x <= x1;) {
            const QPoint index = TViewTiles::TileIndex({x, y});
            const QRect t = tiles_->TileRect(index);
            const int end = std::min(x1, t.right());
            // A tile beyond the view's own (a tap of no weight at its edge) reads the photo.
            const tw::Bitmap* tile = tiles_->Tile(index, *layer);
            const uint32_t* from = tile ? tile->Row(y - t.top()) + (x - t.left()) : full.Row(y) + x;
            std::copy_n(from, end - x + 1, row.data() + (x - x0));
            x = end + 1;
        }
        return row.data();
    };
    tw::StretchHalftoneRows(reduced, QRect(-area.topLeft(), surface_->size()), full.Rect().size(), rowAt);
    canvas.StretchDraw(area, reduced, reduced.Rect(), tw::StretchMode::Plain);
}

void TPictureView::ZoomTo(int step, QPoint anchor) {
    step = std::clamp(step, 0, ZoomStepCount() - 1);
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    const double before = ZoomFactor();
    const QPointF at((h->value() + anchor.x()) / before, (v->value() + anchor.y()) / before);
    zoomStep_ = step;
    ResizeSurface(); // the scroll bars take the new size at once
    const double after = ZoomFactor();
    h->setValue(Round(at.x() * after) - anchor.x());
    v->setValue(Round(at.y() * after) - anchor.y());
}

int TPictureView::FitZoomStep() const {
    const QSize room = maximumViewportSize();
    const tw::Bitmap& picture = document_.Picture();
    for (int i = ZoomStepCount() - 1; i > 0; --i) {
        const double f = zooms_[static_cast<size_t>(i)].Working;
        if (Round(picture.Width() * f) <= room.width() && Round(picture.Height() * f) <= room.height())
            return i;
    }
    return 0;
}

void TPictureView::ShowWhole() {
    // Fitting needs the view's real size, which a window not yet on screen
    // does not have: such a window keeps its zoom. A small picture stays at
    // its own size rather than blown up.
    if (isVisible()) {
        zoomStep_ = std::min(FitZoomStep(), tw::kZoom100Step);
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
    }
    ResizeSurface();
}

QPoint TPictureView::ViewCentre() const {
    const QRect area = viewport()->rect();
    const QRect shown = area.intersected(surface_->geometry());
    return (shown.isEmpty() ? area : shown).center();
}

bool TPictureView::Wheel(QWidget* watched, QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) return false; // plain turns scroll
    wheelTurn_ += event->angleDelta().y();
    const int steps = wheelTurn_ / kWheelNotch;
    wheelTurn_ -= steps * kWheelNotch;
    if (steps != 0) ZoomTo(zoomStep_ + steps, watched->mapTo(viewport(), event->position().toPoint()));
    return true;
}

// --- Tools ---------------------------------------------------------------------------

void TPictureView::SetTool(TToolKind tool) {
    toolKind_ = tool;
    if (tool == TToolKind::Fill)
        tool_ = std::make_unique<TFillTool>();
    else
        tool_ = std::make_unique<TPaintTool>(tool == TToolKind::Erase);
    surface_->Invalidate(); // the word beside the cross
}

void TPictureView::SetBrushRadius(int radius) {
    brushRadius_ = radius;
    surface_->Invalidate();
}

QPoint TPictureView::PictureAt(QPoint surfacePoint) const {
    const double f = ZoomFactor();
    return {Round(surfacePoint.x() / f), Round(surfacePoint.y() / f)};
}

QPoint TPictureView::PictureShownAt(QPoint surfacePoint) const {
    return tw::PictureAtZoomedBy(BoxState(), document_.Picture().Rect().size(), ZoomFactor(), surfacePoint);
}

void TPictureView::PointerAt(QPoint surfacePoint) {
    cursorAt_ = surfacePoint;
    pointerInside_ = true;
    surface_->Invalidate();
}
