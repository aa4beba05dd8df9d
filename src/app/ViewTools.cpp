#include "app/ViewTools.h"

#include "app/PictureView.h"
#include "document/TintwellDocument.h"
#include "platform/Rounding.h"

#include <utility>

QString TFillTool::Name() const {
    return TPictureView::tr("Fill");
}

void TFillTool::Click(TPictureView& view, QPoint at) {
    emit view.fillRequested(view.PictureAt(at), at, view.PressModifiers());
}

QString TPaintTool::Name() const {
    return erase_ ? TPictureView::tr("Erase") : TPictureView::tr("Brush");
}

void TPaintTool::Press(TPictureView& view, QPoint at) {
    // Everything painted until the button comes up is one step to undo.
    view.Document().BeginStroke();
    Dab(view, at);
}

void TPaintTool::Drag(TPictureView& view, QPoint at) {
    Dab(view, at);
}

void TPaintTool::Release(TPictureView& view) {
    view.Document().EndStroke();
}

void TPaintTool::Dab(TPictureView& view, QPoint at) {
    TTintwellDocument& document = view.Document();
    if (!document.CurrentPart()) return;
    // The brush's size is set in view pixels: zoomed out, a dab covers more of the picture.
    const int radius = Round(view.BrushRadius() / view.ZoomFactor());
    // Zoomed in so far that the brush is smaller than one picture pixel: the dab
    // takes the pixel the view shows under the cross, so it never paints nothing.
    const QPoint where = radius > 0 ? view.PictureAt(at) : view.PictureShownAt(at);
    TDab dab;
    {
        const bool was = std::exchange(view.dabbing_, true);
        try {
            dab = document.Dab(erase_ ? TStrokeKind::Erase : TStrokeKind::Brush, where, radius);
        } catch (...) {
            view.dabbing_ = was;
            throw;
        }
        view.dabbing_ = was;
    }
    view.ShowDab(dab);
}
