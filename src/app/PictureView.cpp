#include "app/PictureView.h"

#include "app/ViewTools.h"
#include "document/TintwellDocument.h"
#include "grid/nvOffscreenPaint.h"
#include "platform/DeferredCalls.h"
#include "platform/GraphicsLock.h"
#include "platform/Rounding.h"

#include <QEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr tw::ColorValue kRed = 0x0000FF;
constexpr tw::ColorValue kYellow = 0x00FFFF;
constexpr tw::ColorValue kGrey = 0x808080;
constexpr tw::ColorValue kBlack = 0x000000;
// One notch of an ordinary mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;

} // namespace

TPictureView::TPictureView(TTintwellDocument& document, QWidget* parent)
    : QScrollArea(parent), document_(document), tool_(std::make_unique<TPaintTool>(false)) {
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

    connect(&document_, &TTintwellDocument::Changed, this,
            [this](const QRect& rect, const QList<TImagePart*>&) { ShowChanged(rect); });
    connect(&document_, &TTintwellDocument::SelectionChanged, this, &TPictureView::RedrawLater);
    connect(&document_, &TTintwellDocument::PictureReplaced, this, [this] {
        view_ = tw::Bitmap();
        screenViewStale_ = true;
        ResizeSurface();
    });
}

TPictureView::~TPictureView() {
    TDeferredCalls::CancelAll(this);
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
    view_ = document_.ComposeView(showPicture_);
    screenViewStale_ = true;
    surface_->Invalidate();
}

void TPictureView::ShowChanged(const QRect& rect) {
    // A dab has shown itself already, the way the brush shows it.
    if (dabbing_) return;
    if (view_.Rect() == document_.Picture().Rect() && !view_.IsEmpty()) {
        document_.ComposeViewRect(view_, rect, showPicture_);
        screenViewStale_ = true;
        surface_->Invalidate();
    } else {
        RedrawLater();
    }
}

void TPictureView::ShowDab(const TDab& dab) {
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
    if (!view_.IsEmpty()) tw::PaintZoomed(BoxState(), {&view_}, zoomStep_, canvas);
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
        tw::PaintZoomed(BoxState(), {&screenView_}, zoomStep_, canvas);
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
    canvas.FrameRect(QRect(QPoint(x - a - 1, y - a - 1), QPoint(x + a - 2, y + a - 2)));
    canvas.Brush = TBrush{kBlack, TBrushStyle::Solid};
    canvas.FrameRect(QRect(QPoint(x - a, y - a), QPoint(x + a - 1, y + a - 1)));

    canvas.Font.Size = 8;
    canvas.Font.Color = kYellow;
    canvas.Brush.Style = TBrushStyle::Clear;
    canvas.TextOut(x + a, y - a - 10, tool_->Name());
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

void TPictureView::ResizeSurface() {
    const double f = ZoomFactor();
    surface_->resize(Round(document_.Picture().Width() * f), Round(document_.Picture().Height() * f));
    RedrawLater();
    emit zoomChanged();
}

void TPictureView::ZoomTo(int step, QPoint anchor) {
    step = std::clamp(step, 0, tw::kZoomSteps - 1);
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
    for (int i = tw::kZoomSteps - 1; i > 0; --i) {
        const double f = tw::ZoomFactor(i);
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
    return tw::PictureAtZoomed(BoxState(), document_.Picture().Rect().size(), zoomStep_, surfacePoint);
}

void TPictureView::PointerAt(QPoint surfacePoint) {
    cursorAt_ = surfacePoint;
    pointerInside_ = true;
    surface_->Invalidate();
}
