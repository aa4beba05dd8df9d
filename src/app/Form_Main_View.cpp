// The main window's ways of looking at the picture and its keys: zoom steps
// around a point, the whole picture or 100 %, every part or the selected ones,
// the status bar's fields, the brush size keys and the command-line picture.

#include "app/Form_Main.h"

#include "platform/ErrorReport.h"

#include "app/AppSettings.h"
#include "platform/ZoomedPainter.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace {

constexpr int kMaxZoomIndex = 9;
constexpr int kZoom100Index = 4;
// One notch of an ordinary mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;

// Three part tiles fanned out, the front one in full: every part on show.
QIcon ShowAllPartsIcon() {
    QIcon icon;
    for (const int size : {24, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 24.0, size / 24.0);
        for (int i = 0; i < 3; ++i) {
            const QRectF tile(1.5 + i * 4.0, 1.5 + i * 4.0, 13.0, 13.0);
            p.setPen(QPen(QColor(0x2e, 0x31, 0x36), 1.0));
            p.setBrush(QColor(0xfb, 0xfb, 0xf8));
            p.drawRoundedRect(tile, 1.2, 1.2);
            p.setBrush(QColor(0xf0, 0x84, 0x1e));
            p.drawEllipse(tile.adjusted(3.0, 3.0, -3.0, -3.0));
        }
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool IsSwitch(const QString& argument) {
    for (const char* name : {"/close", "/debug", "-debug"})
        if (argument.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
    return false;
}

} // namespace

void TFormMain::CreateViewCommands() {
    ActionZoomPlus->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    ActionZoomMinus->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    ActionZoomFit =
        MakeAction("Whole picture", "Show the whole picture", "", QKeySequence(Qt::CTRL | Qt::Key_0));
    ActionZoom100 = MakeAction("Zoom 100 %", "One picture pixel on one screen pixel", "",
                               QKeySequence(Qt::CTRL | Qt::Key_1));
    ActionShowAllParts = MakeAction("Show all parts", "Show every image part, selected or not", "", {}, true);
    ActionShowAllParts->setIcon(ShowAllPartsIcon());
    ActionFillMode->setShortcut(QKeySequence(Qt::Key_F));
    ActionBrushMode->setShortcut(QKeySequence(Qt::Key_B));
    ActionEraseMode->setShortcut(QKeySequence(Qt::Key_E));
    ActionBrushSmaller = MakeAction("Smaller brush", "", "", QKeySequence(Qt::Key_BracketLeft));
    ActionBrushLarger = MakeAction("Larger brush", "", "", QKeySequence(Qt::Key_BracketRight));
    ActionDeleteImagePart->setShortcut(QKeySequence(Qt::Key_Delete));
}

void TFormMain::CreateViewMenus(QMenuBar* bar) {
    QMenu* view = bar->addMenu(QStringLiteral("View"));
    view->addActions({ActionZoomPlus, ActionZoomMinus, ActionZoomFit, ActionZoom100});
    view->addSeparator();
    view->addActions({ActionShowAllParts, ActionOrgImageInBack});
    QMenu* tools = bar->addMenu(QStringLiteral("Tools"));
    tools->addActions({ActionFillMode, ActionBrushMode, ActionEraseMode});
    tools->addSeparator();
    tools->addActions(
        {ActionBrushSmall, ActionBrushMedium, ActionBrushLarge, ActionBrushSmaller, ActionBrushLarger});

    LabelZoom = new QLabel(this);
    LabelPictureSize = new QLabel(this);
    LabelPartsShown = new QLabel(this);
    for (QLabel* l : {LabelZoom, LabelPictureSize, LabelPartsShown}) {
        l->setContentsMargins(8, 0, 8, 0); // the fields apart
        statusBar()->addPermanentWidget(l);
    }

    // The picture the command line names opens once the window is up.
    if (!PictureArgument(options_.Arguments).isEmpty())
        QTimer::singleShot(0, this, &TFormMain::OpenArgumentPicture);
}

bool TFormMain::DispatchViewAction(QAction* action, bool execute) {
    const std::array<QAction*, 3> sizes = {ActionBrushSmall, ActionBrushMedium, ActionBrushLarge};
    const auto size =
        static_cast<int>(std::find(sizes.begin(), sizes.end(), shownBrushSize_) - sizes.begin());
    if (action == ActionZoomFit) {
        if (execute) ZoomTo(FitZoomIndex(), ViewCentre());
    } else if (action == ActionZoom100) {
        if (execute) ZoomTo(kZoom100Index, ViewCentre());
    } else if (action == ActionShowAllParts) {
        if (execute) {
            action->setChecked(!action->isChecked());
            Document.SetShowAllParts(action->isChecked());
            settings_->SetShowAllParts(action->isChecked());
            RedrawLater();
        }
    } else if (action == ActionBrushSmaller || action == ActionBrushLarger) {
        const int to = size + (action == ActionBrushSmaller ? -1 : 1);
        const bool possible = to >= 0 && to < static_cast<int>(sizes.size());
        action->setEnabled(possible);
        if (execute && possible) SetChecked(sizes[static_cast<size_t>(to)]);
        return true;
    } else {
        return false;
    }
    action->setEnabled(true);
    return true;
}

// --- Zoom ---------------------------------------------------------------------

void TFormMain::ZoomTo(int index, QPoint anchor) {
    index = std::clamp(index, 0, kMaxZoomIndex);
    QScrollBar* h = ScrollBox2->horizontalScrollBar();
    QScrollBar* v = ScrollBox2->verticalScrollBar();
    const double before = ZoomFactor();
    const QPointF at((h->value() + anchor.x()) / before, (v->value() + anchor.y()) / before);
    ZoomIndex = static_cast<uint8_t>(index);
    ResizeView(); // the scroll bars take the new size at once
    const double after = ZoomFactor();
    h->setValue(Round(at.x() * after) - anchor.x());
    v->setValue(Round(at.y() * after) - anchor.y());
}

uint8_t TFormMain::FitZoomIndex() const {
    const QSize room = ScrollBox2->maximumViewportSize();
    for (int i = kMaxZoomIndex; i > 0; --i) {
        const double f = tw::ZoomFactor(static_cast<uint8_t>(i));
        if (Round(PictureBitmap.Width() * f) <= room.width() &&
            Round(PictureBitmap.Height() * f) <= room.height())
            return static_cast<uint8_t>(i);
    }
    return 0;
}

void TFormMain::ShowNewPictureWhole() {
    // Fitting needs the view's real size, which a window not yet on screen
    // does not have: such a window keeps its zoom. A small picture stays at
    // its own size rather than blown up.
    if (isVisible()) {
        ZoomIndex = std::min<uint8_t>(FitZoomIndex(), kZoom100Index);
        ScrollBox2->horizontalScrollBar()->setValue(0);
        ScrollBox2->verticalScrollBar()->setValue(0);
    }
    ResizeView();
}

QPoint TFormMain::ViewCentre() const {
    const QRect viewport = ScrollBox2->viewport()->rect();
    const QRect shown = viewport.intersected(ImageView->geometry());
    return (shown.isEmpty() ? viewport : shown).center();
}

bool TFormMain::ViewWheel(QWidget* watched, QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) return false; // plain turns scroll
    wheelTurn_ += event->angleDelta().y();
    const int steps = wheelTurn_ / kWheelNotch;
    wheelTurn_ -= steps * kWheelNotch;
    if (steps != 0)
        ZoomTo(ZoomIndex + steps, watched->mapTo(ScrollBox2->viewport(), event->position().toPoint()));
    return true;
}

// --- Status bar -------------------------------------------------------------------

QString TFormMain::PictureSizeText() const {
    // The size worked on, and the picture's own size when the file is larger
    // (what "Save Full-Size Picture..." writes).
    QString text = QStringLiteral("%1 × %2 pixels").arg(PictureBitmap.Width()).arg(PictureBitmap.Height());
    const tw::Bitmap& full = Document.FullPicture();
    if (!full.IsEmpty() && (full.Width() != PictureBitmap.Width() || full.Height() != PictureBitmap.Height()))
        text += QStringLiteral(" (own size %1 × %2)").arg(full.Width()).arg(full.Height());
    return text;
}

void TFormMain::UpdateStatus() {
    LabelZoom->setText(QStringLiteral("Zoom %1 %").arg(Round(ZoomFactor() * 100)));
    LabelPictureSize->setText(PictureSizeText());
    const int total = Document.PartCount();
    LabelPartsShown->setText(QStringLiteral("%1 of %2 %3 shown")
                                 .arg(Document.ShownPartCount())
                                 .arg(total)
                                 .arg(total == 1 ? QStringLiteral("part") : QStringLiteral("parts")));
}

// --- The command-line picture ------------------------------------------------------

QString TFormMain::PictureArgument(const QStringList& arguments) {
    for (const QString& argument : arguments)
        if (!IsSwitch(argument)) return argument;
    return {};
}

void TFormMain::OpenArgumentPicture() {
    if (closeRequested_ || PictureArgument(options_.Arguments).isEmpty()) return;
    tw::RunReportingErrors([this] { OpenPicture1Accept(PictureArgument(options_.Arguments)); });
}
