#include "recolour/Modal_ColorSettings.h"

#include "colour/ColourStrips.h"
#include "grid/nvOffscreenPaint.h"
#include "recolour/GoalColorSolver.h"
#include "recolour/PartRecolourer.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>
#include <utility>

namespace {

QColor QColorOf(tw::ColorValue c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

tw::ColorValue ColorOf(const QColor& c) {
    return RGBToColor(c.red(), c.green(), c.blue());
}

// The picking tool's icon: cross hairs with a gap in the middle, in the
// button text's colour, drawn for single and double density screens.
QIcon PickIcon(const QColor& ink) {
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.scale(scale, scale);
        p.setPen(QPen(ink, 1));
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        p.drawLine(8, 0, 8, 5);
        p.drawLine(8, 11, 8, 16);
        p.drawLine(0, 8, 5, 8);
        p.drawLine(11, 8, 16, 8);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

const char* const kHueHint =
    "Change- All the hues in the image part are changed into a selected hue. Keep- The hue is not changed, "
    "good "
    "if you want to lighten or darken an imagepart. Shift- The whole spectrum is shifted in the desired "
    "direction, a good use is on animals (Cats is a good example) their fur often contains many different "
    "hues "
    "and you were to choose \"Change\" they would look a bit lifeless.";

} // namespace

// --- TColorSwatch ---------------------------------------------------------------

TColorSwatch::TColorSwatch(tw::ColorValue color, QWidget* parent) : QFrame(parent), color_(color) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedSize(24, 24);
}

TColorSwatch::TColorSwatch(QWidget* parent) : TColorSwatch(tw::kWhite, parent) {
    hasColor_ = false;
}

void TColorSwatch::SetColor(tw::ColorValue color) {
    color_ = color;
    hasColor_ = true;
    update();
    emit ColorChanged();
}

void TColorSwatch::Clear() {
    hasColor_ = false;
    update();
    emit ColorChanged();
}

void TColorSwatch::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        if (hasColor_) {
            p.fillRect(contentsRect(), QColorOf(color_));
        } else {
            const QRect r = contentsRect();
            p.fillRect(r, palette().color(QPalette::Base));
            p.setPen(QPen(palette().color(QPalette::Mid), 1));
            p.drawLine(r.bottomLeft(), r.topRight());
        }
    }
    QFrame::paintEvent(event);
}

// --- TFormColorSettings ------------------------------------------------------

TFormColorSettings::TFormColorSettings(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Color settings");
    setModal(true);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    BuildControls();
    // Roomier previews for those who want them; the designed size is the least.
    setMinimumSize(543, 348);
    resize(543, 348);
    setSizeGripEnabled(true);

    // What creation shows: the strip and the two percent labels.
    TrackHueChange();
    PercentLabelsChange();
}

TFormColorSettings::~TFormColorSettings() = default;

void TFormColorSettings::BuildControls() {
    GroupBox1 = new QGroupBox("Color settings", this);

    // Left: the hue strip, the three track bars, the hue mode.
    const int handle = style()->pixelMetric(QStyle::PM_SliderLength);
    auto makeTrack = [&](int min, int max, int tick, int value) {
        auto* t = new QSlider(Qt::Horizontal, GroupBox1);
        t->setRange(min, max);
        t->setTickInterval(tick);
        t->setTickPosition(QSlider::TicksBelow);
        t->setPageStep(tick);
        t->setValue(value);
        t->setFixedWidth(204 + handle);
        return t;
    };
    auto makeLabel = [&](const QString& text) {
        auto* l = new QLabel(text, GroupBox1);
        l->setWordWrap(true);
        return l;
    };
    ImageHue = new QLabel(GroupBox1);
    ImageHue->setFixedSize(204, 15);
    Label1 = makeLabel("New hue       (color)");
    Label2 = makeLabel("Tint saturation (amount of color)");
    Label3 = makeLabel("Tint value     (amount of white)");
    TrackHue = makeTrack(0, 360, 36, 10);
    TrackBarSaturation = makeTrack(-400, 400, 40, 0);
    TrackBarValue = makeTrack(-400, 400, 40, 0);
    Label4 = new QLabel(GroupBox1);
    Label5 = new QLabel(GroupBox1);
    LabelHueValue = new QLabel(GroupBox1);
    for (QLabel* l : {Label4, Label5, LabelHueValue})
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance("-400 %"));

    RGHue = new QGroupBox("Hue options", GroupBox1);
    RGHue->setToolTip(kHueHint);
    RGHueChange = new QRadioButton("Change", RGHue);
    RGHueShift = new QRadioButton("Shift", RGHue);
    RGHueKeep = new QRadioButton("Keep", RGHue);
    RGHueChange->setChecked(true);
    auto* modes = new QButtonGroup(RGHue);
    modes->addButton(RGHueChange);
    modes->addButton(RGHueShift);
    modes->addButton(RGHueKeep);
    auto* modeRow = new QHBoxLayout(RGHue);
    modeRow->setContentsMargins(6, 2, 6, 2);
    modeRow->addWidget(RGHueChange);
    modeRow->addWidget(RGHueShift);
    modeRow->addWidget(RGHueKeep);
    CBAvoidSing = new QCheckBox("Avoid singularities", GroupBox1);
    ButtonReset = new QPushButton("Reset", GroupBox1);
    ButtonReset->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    auto* hueRow = new QHBoxLayout;
    hueRow->addWidget(Label1, 1);
    LabelHueValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    hueRow->addWidget(LabelHueValue);
    left->addLayout(hueRow);
    auto* stripRow = new QHBoxLayout;
    stripRow->setContentsMargins(handle / 2, 0, 0, 0);
    stripRow->addWidget(ImageHue);
    stripRow->addStretch(1);
    left->addLayout(stripRow);
    left->addWidget(TrackHue);
    // Each tint's caption carries its percentage at the right end.
    for (auto [caption, track, percent] :
         {std::tuple{Label2, TrackBarSaturation, Label4}, std::tuple{Label3, TrackBarValue, Label5}}) {
        left->addSpacing(4);
        auto* row = new QHBoxLayout;
        row->addWidget(caption, 1);
        percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(percent);
        left->addLayout(row);
        left->addWidget(track);
    }
    left->addSpacing(4);
    left->addWidget(RGHue);
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(CBAvoidSing);
    resetRow->addStretch(1);
    resetRow->addWidget(ButtonReset);
    left->addLayout(resetRow);
    PanelReachedColor = new TColorSwatch(tw::kWhite, GroupBox1);
    LabelUnreachable = new QLabel(GroupBox1);
    LabelUnreachable->setWordWrap(true);
    QPalette warning = LabelUnreachable->palette();
    // Dark red on a light window, a light red on a dark one.
    const bool dark = warning.color(QPalette::Window).lightness() < 128;
    warning.setColor(QPalette::WindowText, dark ? QColor(255, 120, 120) : QColor(160, 0, 0));
    LabelUnreachable->setPalette(warning);
    auto* unreachableRow = new QHBoxLayout;
    unreachableRow->addWidget(PanelReachedColor, 0, Qt::AlignTop);
    unreachableRow->addWidget(LabelUnreachable, 1);
    left->addSpacing(4);
    left->addLayout(unreachableRow);
    left->addStretch(1);
    ShowUnreachableGoal(false);

    // Right: the two previews, the mouse readout and the goal colour.
    auto makePreview = [&](QScrollArea*& box, TnvOffscreenPaint*& paint) {
        box = new QScrollArea(GroupBox1);
        box->setMinimumSize(SampleSize, SampleSize);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        box->setWidgetResizable(false);
        box->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        paint = new TnvOffscreenPaint;
        paint->SetColor(tw::kWhite);
        paint->resize(SampleSize, SampleSize);
        paint->setCursor(Qt::OpenHandCursor);
        box->setWidget(paint);
        paint->OnMouseDown = [this](TnvOffscreenPaint& s, TMouseButton b, TShiftState, int X, int Y) {
            if (b == TMouseButton::Left) PaintBoxMouseDown(s, X, Y);
        };
        paint->OnMouseMove = [this](TnvOffscreenPaint& s, TShiftState shift, int X, int Y) {
            PaintBoxMouseMove(s, (shift & TShift::Left) != 0, X, Y);
        };
        paint->OnMouseUp = [this](TnvOffscreenPaint&, TMouseButton, TShiftState, int, int) {
            dragging_ = false;
        };
        paint->OnClick = [this](TnvOffscreenPaint& s) { PaintBoxNewClick(s); };
        connect(box->horizontalScrollBar(), &QScrollBar::valueChanged, this,
                [this, box] { PreviewScrolled(box); });
        connect(box->verticalScrollBar(), &QScrollBar::valueChanged, this,
                [this, box] { PreviewScrolled(box); });
    };
    makePreview(ScrollBoxOrg, PaintBoxOrg);
    makePreview(ScrollBoxNew, PaintBoxNew);
    PaintBoxOrg->OnPaint = [this](TnvOffscreenPaint&) { PaintBoxOrgPaint(); };
    PaintBoxNew->OnPaint = [this](TnvOffscreenPaint&) { PaintBoxNewPaint(); };
    Label9 = new QLabel("Original image", GroupBox1);
    Label10 = new QLabel("Image part to change", GroupBox1);
    Label8 = new QLabel("Grab and drag to see another part of the image", GroupBox1);
    Label8->setWordWrap(true);
    LabelHSVATMouse = new QLabel("HSV at mouse: ", GroupBox1);

    GroupBox2 = new QGroupBox("Change color to", GroupBox1);
    CheckBox5pointavg = new QCheckBox("Use 5 point average on select", GroupBox2);
    auto makeToggle = [&](const QString& hint) {
        auto* b = new QToolButton(GroupBox2);
        b->setCheckable(true);
        b->setIcon(PickIcon(palette().color(QPalette::ButtonText)));
        b->setToolTip(hint);
        return b;
    };
    auto makeChooser = [&](const QString& hint) {
        auto* b = new QToolButton(GroupBox2);
        b->setText("...");
        b->setToolTip(hint);
        return b;
    };
    ToolButtonOrgColor = makeToggle("Choose the color to change");
    ToolButtonGoalColor = makeToggle("Choose the goal color");
    ToolButtonOrgColorPick = makeChooser("Choose the color to change");
    ToolButtonGoalPick = makeChooser("Choose the goal color");
    PanelOrgColor = new TColorSwatch(GroupBox2); // the part's colour once a part is shown
    PanelGoalColor = new TColorSwatch(tw::kWhite, GroupBox2);
    Label6 = new QLabel("Original", GroupBox2);
    Label7 = new QLabel("Goal", GroupBox2);
    ButtonChangeTo = new QPushButton("GO!", GroupBox2);
    ButtonChangeTo->setToolTip(
        "Tintwell will find the settings needed to go from the original color to the goal color.");
    ButtonChangeTo->setAutoDefault(false);
    ButtonChangeTo->setFixedWidth(40);
    auto* goal = new QGridLayout(GroupBox2);
    goal->setContentsMargins(6, 2, 6, 4);
    goal->setHorizontalSpacing(3);
    goal->setVerticalSpacing(2);
    goal->addWidget(CheckBox5pointavg, 0, 0, 1, 8);
    goal->addWidget(ButtonChangeTo, 0, 9);
    goal->addWidget(ToolButtonOrgColor, 1, 0);
    goal->addWidget(ToolButtonOrgColorPick, 1, 1);
    goal->addWidget(PanelOrgColor, 1, 2);
    goal->addWidget(Label6, 1, 3);
    goal->setColumnStretch(4, 1);
    goal->addWidget(ToolButtonGoalColor, 1, 5);
    goal->addWidget(ToolButtonGoalPick, 1, 6);
    goal->addWidget(PanelGoalColor, 1, 7);
    goal->addWidget(Label7, 1, 8, 1, 2);

    auto* right = new QGridLayout;
    right->setHorizontalSpacing(5);
    right->setVerticalSpacing(2);
    right->addWidget(Label9, 0, 0);
    right->addWidget(Label10, 0, 1);
    right->addWidget(ScrollBoxOrg, 1, 0);
    right->addWidget(ScrollBoxNew, 1, 1);
    right->addWidget(Label8, 2, 0, 1, 2);
    right->addWidget(LabelHSVATMouse, 3, 0, 1, 2);
    right->addWidget(GroupBox2, 4, 0, 1, 2);
    right->setRowStretch(1, 1);
    right->setColumnStretch(0, 1);
    right->setColumnStretch(1, 1);

    auto* columns = new QHBoxLayout(GroupBox1);
    columns->setContentsMargins(4, 4, 4, 4);
    columns->setSpacing(6);
    columns->addLayout(left);
    columns->addLayout(right, 1);

    // The bottom panel.
    auto* panel = new QWidget(this);
    panel->setFixedHeight(41);
    Button1 = new QPushButton("OK", panel);
    Button2 = new QPushButton("Cancel", panel);
    Button1->setDefault(true);
    Button2->setAutoDefault(false);
    auto* bottom = new QHBoxLayout(panel);
    bottom->setContentsMargins(8, 0, 8, 0);
    bottom->addStretch(1);
    bottom->addWidget(Button1);
    bottom->addWidget(Button2);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(4, 4, 4, 0);
    form->setSpacing(0);
    form->addWidget(GroupBox1, 1);
    form->addWidget(panel);

    // Names for screen readers where the captions sit apart from their controls.
    const auto name = [](QWidget* w, const QString& text) { w->setAccessibleName(text); };
    name(TrackHue, "New hue");
    name(TrackBarSaturation, "Tint saturation");
    name(TrackBarValue, "Tint value");
    name(ScrollBoxOrg, "Original image");
    name(ScrollBoxNew, "Image part to change");
    name(PaintBoxOrg, "Original image");
    name(PaintBoxNew, "Image part to change");
    name(ToolButtonOrgColor, "Pick the original color");
    name(ToolButtonGoalColor, "Pick the goal color");
    name(ToolButtonOrgColorPick, "Choose the original color");
    name(ToolButtonGoalPick, "Choose the goal color");
    name(PanelOrgColor, "Original color");
    name(PanelGoalColor, "Goal color");
    name(PanelReachedColor, "Reached color");
    connect(TrackHue, &QSlider::valueChanged, this, &TFormColorSettings::TrackHueChange);
    // A bigger preview takes a bigger sample.
    ScrollBoxOrg->viewport()->installEventFilter(this);
    connect(modes, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool on) {
        if (on) TrackHueChange();
    });
    connect(TrackBarSaturation, &QSlider::valueChanged, this, &TFormColorSettings::PercentLabelsChange);
    connect(TrackBarValue, &QSlider::valueChanged, this, &TFormColorSettings::PercentLabelsChange);
    connect(CBAvoidSing, &QCheckBox::toggled, this, [this] { PaintBoxNew->Invalidate(); });
    // The note on an unreachable goal speaks of the settings "GO!" chose; any
    // change to them makes it stale.
    for (QSlider* track : {TrackHue, TrackBarSaturation, TrackBarValue})
        connect(track, &QSlider::valueChanged, this, [this] { ShowUnreachableGoal(false); });
    connect(modes, &QButtonGroup::buttonToggled, this, [this] { ShowUnreachableGoal(false); });
    connect(CBAvoidSing, &QCheckBox::toggled, this, [this] { ShowUnreachableGoal(false); });
    connect(ButtonReset, &QPushButton::clicked, this, &TFormColorSettings::ButtonResetClick);
    connect(ButtonChangeTo, &QPushButton::clicked, this, &TFormColorSettings::ButtonChangeToClick);
    connect(ToolButtonOrgColorPick, &QToolButton::clicked, this,
            &TFormColorSettings::ToolButtonOrgColorPickClick);
    connect(ToolButtonGoalPick, &QToolButton::clicked, this, &TFormColorSettings::ToolButtonGoalPickClick);
    // GO! needs an original to start from.
    connect(PanelOrgColor, &TColorSwatch::ColorChanged, this,
            [this] { ButtonChangeTo->setEnabled(PanelOrgColor->HasColor()); });
    ButtonChangeTo->setEnabled(PanelOrgColor->HasColor());
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

// --- Settings in and out ----------------------------------------------------------

void TFormColorSettings::Prepare(const TTintwellSettings& settings, const tw::Bitmap* picture,
                                 TImagePart* part) {
    Picture = picture;
    Part = picture ? part : nullptr;
    OrgSample_ = tw::Bitmap(SampleSize, SampleSize, tw::kWhite);
    NewSample_ = tw::Bitmap(SampleSize, SampleSize, tw::kWhite);
    OrgScroll = NewScroll = QPoint(0, 0);
    ShowSettings(settings);
    ShowUnreachableGoal(false);
    if (const std::optional<tw::ColorValue> reference = Part ? ReferenceColor(*Part, *Picture) : std::nullopt)
        PanelOrgColor->SetColor(*reference);
    else
        PanelOrgColor->Clear();
    if (!Part) return;
    // The previews scroll over the whole part; show the part in their middle.
    for (TnvOffscreenPaint* box : {PaintBoxOrg, PaintBoxNew})
        box->resize(std::max(1, Part->Bitmap.Width()), std::max(1, Part->Bitmap.Height()));
    pendingCentre_ = PartCentre(*Part);
    if (isVisible()) ScrollToPendingCentre();
    PreviewScrolled(ScrollBoxOrg);
}

std::optional<tw::ColorValue> TFormColorSettings::ReferenceColor(const TImagePart& part,
                                                                 const tw::Bitmap& picture) {
    // A grown part's colour is the one it was grown from; any other part's the
    // mean of the picture under it.
    if (part.Growth) return part.Growth->SeedColor;
    int64_t sum[3] = {}, n = 0;
    const int w = std::min(part.Bitmap.Width(), picture.Width());
    const int h = std::min(part.Bitmap.Height(), picture.Height());
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = part.Bitmap.Row(y);
        for (int x = 0; x < w; ++x) {
            if (tw::ColorFromRgb32(row[x]) == tw::kWhite) continue;
            const TRGBValues c = ColorToRGBValues(picture.Pixel(x, y));
            sum[0] += c.R;
            sum[1] += c.G;
            sum[2] += c.B;
            ++n;
        }
    }
    if (n == 0) return std::nullopt;
    return RGBToColor(static_cast<int32_t>(sum[0] / n), static_cast<int32_t>(sum[1] / n),
                      static_cast<int32_t>(sum[2] / n));
}

QPoint TFormColorSettings::PartCentre(const TImagePart& part) {
    const tw::Bitmap& b = part.Bitmap;
    int left = b.Width(), right = -1, top = -1, bottom = -1;
    for (int y = 0; y < b.Height(); ++y) {
        const uint32_t* row = b.Row(y);
        bool any = false;
        for (int x = 0; x < b.Width(); ++x)
            if (tw::ColorFromRgb32(row[x]) != tw::kWhite) {
                left = std::min(left, x);
                right = std::max(right, x);
                any = true;
            }
        if (!any) continue;
        if (top < 0) top = y;
        bottom = y;
    }
    // A part without pixels: its anchor is all there is to go by.
    if (right < 0) return QPoint(part.AnchorX, part.AnchorY);
    return QPoint((left + right) / 2, (top + bottom) / 2);
}

void TFormColorSettings::ScrollToPendingCentre() {
    const QSize view = ScrollBoxOrg->viewport()->size();
    ScrollTo(ScrollBoxOrg, *pendingCentre_ - QPoint(view.width() / 2, view.height() / 2));
    pendingCentre_.reset();
}

void TFormColorSettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only now do the scroll boxes know their ranges.
    if (pendingCentre_) {
        ScrollToPendingCentre();
        PreviewScrolled(ScrollBoxOrg);
    }
}

bool TFormColorSettings::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == ScrollBoxOrg->viewport() && Part)
        PreviewScrolled(ScrollBoxOrg);
    return QDialog::eventFilter(watched, event);
}

void TFormColorSettings::ShowSettings(const TTintwellSettings& s) {
    Settings = s;
    TrackHue->setValue(s.Hue);
    TrackBarSaturation->setValue(s.SaturationTint);
    TrackBarValue->setValue(s.ValueTint);
    CBAvoidSing->setChecked(s.AvoidSingularities);
    if (s.KeepHue)
        RGHueKeep->setChecked(true);
    else if (s.ShiftHue)
        RGHueShift->setChecked(true);
    else
        RGHueChange->setChecked(true);
    TrackHueChange();
}

void TFormColorSettings::ReadControls() {
    Settings.Hue = TrackHue->value();
    Settings.SaturationTint = TrackBarSaturation->value();
    Settings.ValueTint = TrackBarValue->value();
    Settings.KeepHue = false;
    Settings.ShiftHue = false;
    Settings.AvoidSingularities = CBAvoidSing->isChecked();
    if (RGHueShift->isChecked()) Settings.ShiftHue = true;
    if (RGHueKeep->isChecked()) Settings.KeepHue = true;
}

void TFormColorSettings::GetSettings(TTintwellSettings& s) {
    ReadControls();
    s = Settings;
}

// --- The hue strip and the labels ----------------------------------------------------

void TFormColorSettings::TrackHueChange() {
    const int w = ImageHue->width();
    const int h = ImageHue->height();
    TrackHue->setEnabled(!RGHueKeep->isChecked());
    LabelHueValue->setText(QString::number(TrackHue->value()));
    const bool shift = RGHueShift->isChecked();
    const int32_t saturation = TrackHue->isEnabled() ? 255 : 100;
    HueStrip_ =
        HueChoiceStrip(w, h, saturation, shift ? std::optional<int32_t>(TrackHue->value()) : std::nullopt);
    ImageHue->setPixmap(QPixmap::fromImage(HueStrip_.Image()));
    PaintBoxNew->Invalidate();
}

void TFormColorSettings::PercentLabelsChange() {
    Label4->setText(QString::number(TrackBarSaturation->value()) + " %");
    Label5->setText(QString::number(TrackBarValue->value()) + " %");
    PaintBoxNew->Invalidate();
}

void TFormColorSettings::ButtonResetClick() {
    // Start from what is on screen, so that the hue the user set survives.
    ReadControls();
    Settings.KeepHue = true;
    Settings.ShiftHue = false;
    Settings.SaturationTint = 0;
    Settings.ValueTint = 0;
    Settings.AvoidSingularities = false;
    ShowSettings(Settings);
}

void TFormColorSettings::ButtonChangeToClick() {
    const tw::ColorValue original = PanelOrgColor->Color();
    const tw::ColorValue goal = PanelGoalColor->Color();
    ShowSettings(SolveGoalColor(original, goal));
    // Tints are percentages: they cannot put colour into grey. Say so rather
    // than let the settings pretend, and show what they do give.
    if (!GoalUnreachableFromGrey(original, goal)) return;
    const tw::ColorValue reached = SolvedColor(original, goal);
    const TRGBValues rgb = ColorToRGBValues(reached);
    PanelReachedColor->SetColor(reached);
    LabelUnreachable->setText(QString::asprintf(
        "The goal cannot be reached from a grey original. These settings give R:%d G:%d B:%d.", rgb.R, rgb.G,
        rgb.B));
    ShowUnreachableGoal(true);
}

void TFormColorSettings::ShowUnreachableGoal(bool show) {
    LabelUnreachable->setVisible(show);
    PanelReachedColor->setVisible(show);
}

// --- Previews -------------------------------------------------------------------

void TFormColorSettings::ExtractSamples(QPoint at) {
    if (!Part || !Picture) return;
    // The sample is what the preview shows: at least the designed square.
    const QSize view = ScrollBoxOrg->viewport()->size();
    const int w = std::max(SampleSize, view.width());
    const int h = std::max(SampleSize, view.height());
    if (OrgSample_.Width() != w || OrgSample_.Height() != h) {
        OrgSample_ = tw::Bitmap(w, h, tw::kWhite);
        NewSample_ = tw::Bitmap(w, h, tw::kWhite);
    }
    OrgSample_.Fill(tw::kWhite);
    NewSample_.Fill(tw::kWhite);
    const int right = std::min(at.x() + w, Part->Bitmap.Width());
    const int bottom = std::min(at.y() + h, Part->Bitmap.Height());
    const QRect source(at.x(), at.y(), std::max(0, right - at.x()), std::max(0, bottom - at.y()));
    if (!source.isEmpty()) {
        OrgSample_.CopyRect(0, 0, *Picture, source);
        NewSample_.CopyRect(0, 0, Part->Bitmap, source);
    }
    PaintBoxOrg->Invalidate();
    PaintBoxNew->Invalidate();
}

QScrollArea* TFormColorSettings::ScrollBoxOf(const TnvOffscreenPaint& box) const {
    return &box == PaintBoxOrg ? ScrollBoxOrg : ScrollBoxNew;
}

const tw::Bitmap* TFormColorSettings::SampleOf(const TnvOffscreenPaint& box) const {
    if (&box == PaintBoxNew) return &NewSample_;
    if (&box == PaintBoxOrg) return &OrgSample_;
    return nullptr;
}

void TFormColorSettings::ScrollTo(QScrollArea* box, QPoint at) {
    // Each scroll bar limits the position to its range.
    box->horizontalScrollBar()->setValue(at.x());
    box->verticalScrollBar()->setValue(at.y());
}

void TFormColorSettings::PreviewScrolled(QScrollArea* from) {
    if (syncingScroll_) return;
    const QPoint at(from->horizontalScrollBar()->value(), from->verticalScrollBar()->value());
    syncingScroll_ = true;
    ScrollTo(from == ScrollBoxOrg ? ScrollBoxNew : ScrollBoxOrg, at);
    syncingScroll_ = false;
    OrgScroll = NewScroll = at;
    ExtractSamples(at);
}

void TFormColorSettings::PaintBoxOrgPaint() {
    if (!Part) return;
    PaintBoxOrg->PaintCanvas().Draw(OrgScroll.x(), OrgScroll.y(), OrgSample_);
}

void TFormColorSettings::PaintBoxNewPaint() {
    if (!Part) return;
    ReadControls();
    // Always from the original: repaints never accumulate.
    RecolourPreview(Settings, OrgSample_, NewSample_);
    PaintBoxNew->PaintCanvas().Draw(NewScroll.x(), NewScroll.y(), NewSample_);
}

void TFormColorSettings::PaintBoxMouseDown(TnvOffscreenPaint& box, int X, int Y) {
    DownX = X;
    DownY = Y;
    DownBox = &box;
    QScrollArea* area = ScrollBoxOf(box);
    // Screen positions: the box itself moves while it is dragged.
    dragStartGlobal_ = box.mapToGlobal(QPoint(X, Y));
    dragStartScroll_ = QPoint(area->horizontalScrollBar()->value(), area->verticalScrollBar()->value());
    dragging_ = true;
    dragged_ = false;
}

void TFormColorSettings::PaintBoxMouseMove(TnvOffscreenPaint& box, bool leftDown, int X, int Y) {
    const QRect area = box.BufferArea();
    const tw::ColorValue c = box.Buffer().Pixel(X - area.x(), Y - area.y());
    if (c != tw::kOutside) {
        const THSVValues hsv = ColorToHSVValues(c);
        LabelHSVATMouse->setText(QString::asprintf("HSV at mouse: H:%d S:%d V:%d", hsv.H, hsv.S, hsv.V));
    }
    // Grab and drag: the picture follows the mouse. A drag is not a click.
    if (dragging_ && leftDown && &box == DownBox) {
        const QPoint moved = box.mapToGlobal(QPoint(X, Y)) - dragStartGlobal_;
        if (moved.manhattanLength() > 3) dragged_ = true;
        if (dragged_) ScrollTo(ScrollBoxOf(box), dragStartScroll_ - moved);
    }
}

void TFormColorSettings::PaintBoxNewClick(TnvOffscreenPaint& box) {
    dragging_ = false;
    if (std::exchange(dragged_, false)) return;
    const int radius = CheckBox5pointavg->isChecked() ? 2 : 0;
    QScrollArea* area = ScrollBoxOf(box);
    const int x = DownX - area->horizontalScrollBar()->value();
    const int y = DownY - area->verticalScrollBar()->value();
    if (ToolButtonOrgColor->isChecked()) {
        ToolButtonOrgColor->setChecked(false);
        PanelOrgColor->SetColor(AverageColorAt(SampleOf(box), x, y, radius));
    }
    if (ToolButtonGoalColor->isChecked()) {
        ToolButtonGoalColor->setChecked(false);
        PanelGoalColor->SetColor(AverageColorAt(SampleOf(box), x, y, radius));
    }
}

tw::ColorValue TFormColorSettings::AverageColorAt(const tw::Bitmap* bitmap, int x, int y, int radius) {
    if (!bitmap || bitmap->IsEmpty()) return 0;
    int32_t sumR = 0, sumG = 0, sumB = 0, n = 0;
    for (int dx = -radius; dx <= radius; ++dx)
        for (int dy = -radius; dy <= radius; ++dy) {
            // A position beyond the edge counts with the nearest pixel inside.
            const int px = std::clamp(x + dx, 0, bitmap->Width() - 1);
            const int py = std::clamp(y + dy, 0, bitmap->Height() - 1);
            const TRGBValues c = ColorToRGBValues(bitmap->Pixel(px, py));
            sumR += c.R;
            sumG += c.G;
            sumB += c.B;
            ++n;
        }
    return RGBToColor(sumR / n, sumG / n, sumB / n);
}

// --- Colour dialogs and closing -------------------------------------------------

std::optional<tw::ColorValue> TFormColorSettings::ChooseColor(tw::ColorValue initial) {
    if (OnChooseColor) return OnChooseColor(initial);
    const QColor c = QColorDialog::getColor(QColorOf(initial), this, "Color");
    if (!c.isValid()) return std::nullopt;
    return ColorOf(c);
}

void TFormColorSettings::ToolButtonOrgColorPickClick() {
    if (const auto chosen = ChooseColor(PanelOrgColor->Color())) PanelOrgColor->SetColor(*chosen);
}

void TFormColorSettings::ToolButtonGoalPickClick() {
    if (const auto chosen = ChooseColor(PanelGoalColor->Color())) PanelGoalColor->SetColor(*chosen);
}

void TFormColorSettings::done(int result) {
    QDialog::done(result);
    FormClose();
}

void TFormColorSettings::FormClose() {
    Picture = nullptr;
    Part = nullptr;
    pendingCentre_.reset();
    OrgSample_ = tw::Bitmap();
    NewSample_ = tw::Bitmap();
    DownBox = nullptr;
    PaintBoxOrg->Invalidate();
    PaintBoxNew->Invalidate();
}
