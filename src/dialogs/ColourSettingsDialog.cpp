#include "dialogs/ColourSettingsDialog.h"

#include "colour/ColourStrips.h"
#include "colour/HexColour.h"
#include "dialogs/ColourChooser.h"
#include "grid/nvOffscreenPaint.h"
#include "recolour/ColourMatch.h"
#include "recolour/GoalColorSolver.h"
#include "recolour/PartRecolourer.h"
#include "recolour/StatedColours.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
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

} // namespace

// --- TColourSwatch ---------------------------------------------------------------

TColourSwatch::TColourSwatch(tw::ColorValue color, QWidget* parent) : QFrame(parent), color_(color) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedSize(24, 24);
}

TColourSwatch::TColourSwatch(QWidget* parent) : TColourSwatch(tw::kWhite, parent) {
    hasColor_ = false;
}

void TColourSwatch::SetColor(tw::ColorValue color) {
    color_ = color;
    hasColor_ = true;
    update();
    emit ColorChanged();
}

void TColourSwatch::Clear() {
    hasColor_ = false;
    update();
    emit ColorChanged();
}

void TColourSwatch::paintEvent(QPaintEvent* event) {
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

// --- TColourSettingsDialog ------------------------------------------------------

TColourSettingsDialog::TColourSettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Color settings"));
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
    ShowHueStrip();
    ShowPercentages();
}

TColourSettingsDialog::~TColourSettingsDialog() = default;

void TColourSettingsDialog::BuildControls() {
    settingsGroup_ = new QGroupBox(tr("Color settings"), this);

    // Left: the hue strip, the three track bars, the hue mode.
    const int handle = style()->pixelMetric(QStyle::PM_SliderLength);
    auto makeTrack = [&](int min, int max, int tick, int value) {
        auto* t = new QSlider(Qt::Horizontal, settingsGroup_);
        t->setRange(min, max);
        t->setTickInterval(tick);
        t->setTickPosition(QSlider::TicksBelow);
        t->setPageStep(tick);
        t->setValue(value);
        t->setFixedWidth(204 + handle);
        return t;
    };
    auto makeLabel = [&](const QString& text) {
        auto* l = new QLabel(text, settingsGroup_);
        l->setWordWrap(true);
        return l;
    };
    hueStrip_ = new QLabel(settingsGroup_);
    hueStrip_->setFixedSize(204, 15);
    hueCaption_ = makeLabel(tr("New hue       (color)"));
    saturationCaption_ = makeLabel(tr("Tint saturation (amount of color)"));
    valueCaption_ = makeLabel(tr("Tint value     (amount of white)"));
    hue_ = makeTrack(0, 360, 36, 10);
    saturationTint_ = makeTrack(-400, 400, 40, 0);
    valueTint_ = makeTrack(-400, 400, 40, 0);
    saturationPercent_ = new QLabel(settingsGroup_);
    valuePercent_ = new QLabel(settingsGroup_);
    hueNumber_ = new QLabel(settingsGroup_);
    for (QLabel* l : {saturationPercent_, valuePercent_, hueNumber_})
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(tr("%1 %").arg(-400)));

    hueModes_ = new QGroupBox(tr("Hue options"), settingsGroup_);
    hueModes_->setToolTip(tr(
        "Change- All the hues in the image part are changed into a selected hue. Keep- The hue is not "
        "changed, good if you want to lighten or darken an imagepart. Shift- The whole spectrum is shifted "
        "in "
        "the desired direction, a good use is on animals (Cats is a good example) their fur often contains "
        "many different hues and you were to choose \"Change\" they would look a bit lifeless."));
    changeHue_ = new QRadioButton(tr("Change"), hueModes_);
    shiftHue_ = new QRadioButton(tr("Shift"), hueModes_);
    keepHue_ = new QRadioButton(tr("Keep"), hueModes_);
    matchColour_ = new QRadioButton(tr("Match colour"), hueModes_);
    matchColour_->setToolTip(tr("The part's own colour becomes the goal colour, lightness and all; folds, "
                                "weave and shading stay as they are. Works from grey, black and white too."));
    changeHue_->setChecked(true);
    auto* modes = new QButtonGroup(hueModes_);
    modes->addButton(changeHue_);
    modes->addButton(shiftHue_);
    modes->addButton(keepHue_);
    modes->addButton(matchColour_);
    // The three hue modes in a row, and matching, which sets every coordinate, under them.
    auto* modeRows = new QGridLayout(hueModes_);
    modeRows->setContentsMargins(6, 2, 6, 2);
    modeRows->setVerticalSpacing(2);
    modeRows->addWidget(changeHue_, 0, 0);
    modeRows->addWidget(shiftHue_, 0, 1);
    modeRows->addWidget(keepHue_, 0, 2);
    modeRows->addWidget(matchColour_, 1, 0, 1, 3);
    avoidSingularities_ = new QCheckBox(tr("Avoid singularities"), settingsGroup_);
    resetButton_ = new QPushButton(tr("Reset"), settingsGroup_);
    resetButton_->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    auto* hueRow = new QHBoxLayout;
    hueRow->addWidget(hueCaption_, 1);
    hueNumber_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    hueRow->addWidget(hueNumber_);
    left->addLayout(hueRow);
    auto* stripRow = new QHBoxLayout;
    stripRow->setContentsMargins(handle / 2, 0, 0, 0);
    stripRow->addWidget(hueStrip_);
    stripRow->addStretch(1);
    left->addLayout(stripRow);
    left->addWidget(hue_);
    // Each tint's caption carries its percentage at the right end.
    for (auto [caption, track, percent] :
         {std::tuple{saturationCaption_, saturationTint_, saturationPercent_},
          std::tuple{valueCaption_, valueTint_, valuePercent_}}) {
        left->addSpacing(4);
        auto* row = new QHBoxLayout;
        row->addWidget(caption, 1);
        percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(percent);
        left->addLayout(row);
        left->addWidget(track);
    }
    left->addSpacing(4);
    left->addWidget(hueModes_);
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(avoidSingularities_);
    resetRow->addStretch(1);
    resetRow->addWidget(resetButton_);
    left->addLayout(resetRow);
    reachedSwatch_ = new TColourSwatch(tw::kWhite, settingsGroup_);
    unreachableText_ = new QLabel(settingsGroup_);
    unreachableText_->setWordWrap(true);
    QPalette warning = unreachableText_->palette();
    // Dark red on a light window, a light red on a dark one.
    const bool dark = warning.color(QPalette::Window).lightness() < 128;
    warning.setColor(QPalette::WindowText, dark ? QColor(255, 120, 120) : QColor(160, 0, 0));
    unreachableText_->setPalette(warning);
    auto* unreachableRow = new QHBoxLayout;
    unreachableRow->addWidget(reachedSwatch_, 0, Qt::AlignTop);
    unreachableRow->addWidget(unreachableText_, 1);
    // Match colour reaches what the tints cannot.
    useMatch_ = new QPushButton(tr("Use Match colour"), settingsGroup_);
    useMatch_->setToolTip(tr("Match colour takes the original to the goal, from grey, black and white too"));
    useMatch_->setAutoDefault(false);
    unreachableRow->addWidget(useMatch_, 0, Qt::AlignTop);
    left->addSpacing(4);
    left->addLayout(unreachableRow);
    left->addStretch(1);
    ShowUnreachableGoal(false);

    // Right: the two previews, the mouse readout and the goal colour.
    auto makePreview = [&](QScrollArea*& box, TnvOffscreenPaint*& paint) {
        box = new QScrollArea(settingsGroup_);
        box->setMinimumSize(kSampleSize, kSampleSize);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        box->setWidgetResizable(false);
        box->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        paint = new TnvOffscreenPaint;
        paint->SetColor(tw::kWhite);
        paint->resize(kSampleSize, kSampleSize);
        paint->setCursor(Qt::OpenHandCursor);
        box->setWidget(paint);
        paint->OnMouseDown = [this](TnvOffscreenPaint& s, TMouseButton b, TShiftState, int X, int Y) {
            if (b == TMouseButton::Left) PreviewMouseDown(s, X, Y);
        };
        paint->OnMouseMove = [this](TnvOffscreenPaint& s, TShiftState shift, int X, int Y) {
            PreviewMouseMove(s, (shift & TShift::Left) != 0, X, Y);
        };
        paint->OnMouseUp = [this](TnvOffscreenPaint&, TMouseButton, TShiftState, int, int) {
            dragging_ = false;
        };
        paint->OnClick = [this](TnvOffscreenPaint& s) { PreviewClick(s); };
        connect(box->horizontalScrollBar(), &QScrollBar::valueChanged, this,
                [this, box] { PreviewScrolled(box); });
        connect(box->verticalScrollBar(), &QScrollBar::valueChanged, this,
                [this, box] { PreviewScrolled(box); });
    };
    makePreview(originalArea_, originalPreview_);
    makePreview(partArea_, partPreview_);
    originalPreview_->OnPaint = [this](TnvOffscreenPaint&) { PaintOriginalPreview(); };
    partPreview_->OnPaint = [this](TnvOffscreenPaint&) { PaintPartPreview(); };
    originalCaption_ = new QLabel(tr("Original image"), settingsGroup_);
    partCaption_ = new QLabel(tr("Image part to change"), settingsGroup_);
    dragHint_ = new QLabel(tr("Grab and drag to see another part of the image"), settingsGroup_);
    dragHint_->setWordWrap(true);
    hsvAtMouse_ = new QLabel(tr("HSV at mouse: "), settingsGroup_);

    goalGroup_ = new QGroupBox(tr("Change color to"), settingsGroup_);
    fivePointAverage_ = new QCheckBox(tr("Use 5 point average on select"), goalGroup_);
    auto makeToggle = [&](const QString& hint) {
        auto* b = new QToolButton(goalGroup_);
        b->setCheckable(true);
        b->setIcon(PickIcon(palette().color(QPalette::ButtonText)));
        b->setToolTip(hint);
        return b;
    };
    auto makeChooser = [&](const QString& hint) {
        auto* b = new QToolButton(goalGroup_);
        b->setText("...");
        b->setToolTip(hint);
        return b;
    };
    pickOriginal_ = makeToggle(tr("Choose the color to change"));
    pickGoal_ = makeToggle(tr("Choose the goal color"));
    chooseOriginal_ = makeChooser(tr("Choose the color to change"));
    chooseGoal_ = makeChooser(tr("Choose the goal color"));
    originalSwatch_ = new TColourSwatch(goalGroup_); // the part's colour once a part is shown
    goalSwatch_ = new TColourSwatch(tw::kWhite, goalGroup_);
    originalLabel_ = new QLabel(tr("Original"), goalGroup_);
    goalLabel_ = new QLabel(tr("Goal"), goalGroup_);
    goButton_ = new QPushButton(tr("GO!"), goalGroup_);
    goButton_->setToolTip(
        tr("Tintwell will find the settings needed to go from the original color to the goal color."));
    goButton_->setAutoDefault(false);
    goButton_->setFixedWidth(40);
    auto* goal = new QGridLayout(goalGroup_);
    goal->setContentsMargins(6, 2, 6, 4);
    goal->setHorizontalSpacing(3);
    goal->setVerticalSpacing(2);
    goal->addWidget(fivePointAverage_, 0, 0, 1, 7);
    goal->addWidget(goButton_, 0, 9);
    goal->addWidget(pickOriginal_, 1, 0);
    goal->addWidget(chooseOriginal_, 1, 1);
    goal->addWidget(originalSwatch_, 1, 2);
    goal->addWidget(originalLabel_, 1, 3);
    goal->setColumnStretch(4, 1);
    goal->addWidget(pickGoal_, 1, 5);
    goal->addWidget(chooseGoal_, 1, 6);
    goal->addWidget(goalSwatch_, 1, 7);
    goal->addWidget(goalLabel_, 1, 8, 1, 2);
    goalHex_ = new QLineEdit(goalGroup_);
    goalHex_->setPlaceholderText(QStringLiteral("#rrggbb"));
    goalHex_->setToolTip(tr("The goal colour as #rrggbb (sRGB)"));
    goalHex_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("#?[0-9A-Fa-f]{0,6}")), goalHex_));
    goalHex_->setMaximumWidth(goalHex_->fontMetrics().horizontalAdvance(QStringLiteral("#MMMMMMM")));
    // In Match colour the goal's #rrggbb takes the place of GO!, which has nothing to solve there.
    goal->addWidget(goalHex_, 0, 7, 1, 3, Qt::AlignRight);

    auto* right = new QGridLayout;
    right->setHorizontalSpacing(5);
    right->setVerticalSpacing(2);
    right->addWidget(originalCaption_, 0, 0);
    right->addWidget(partCaption_, 0, 1);
    right->addWidget(originalArea_, 1, 0);
    right->addWidget(partArea_, 1, 1);
    right->addWidget(dragHint_, 2, 0, 1, 2);
    right->addWidget(hsvAtMouse_, 3, 0, 1, 2);
    right->addWidget(goalGroup_, 4, 0, 1, 2);
    right->setRowStretch(1, 1);
    right->setColumnStretch(0, 1);
    right->setColumnStretch(1, 1);

    auto* columns = new QHBoxLayout(settingsGroup_);
    columns->setContentsMargins(4, 4, 4, 4);
    columns->setSpacing(6);
    columns->addLayout(left);
    columns->addLayout(right, 1);

    // The bottom panel.
    auto* panel = new QWidget(this);
    panel->setFixedHeight(41);
    okButton_ = new QPushButton(tr("OK"), panel);
    cancelButton_ = new QPushButton(tr("Cancel"), panel);
    okButton_->setDefault(true);
    cancelButton_->setAutoDefault(false);
    auto* bottom = new QHBoxLayout(panel);
    bottom->setContentsMargins(8, 0, 8, 0);
    bottom->addStretch(1);
    bottom->addWidget(okButton_);
    bottom->addWidget(cancelButton_);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(4, 4, 4, 0);
    form->setSpacing(0);
    form->addWidget(settingsGroup_, 1);
    form->addWidget(panel);

    // Names for screen readers where the captions sit apart from their controls.
    const auto name = [](QWidget* w, const QString& text) { w->setAccessibleName(text); };
    name(hue_, tr("New hue"));
    name(saturationTint_, tr("Tint saturation"));
    name(valueTint_, tr("Tint value"));
    name(originalArea_, tr("Original image"));
    name(partArea_, tr("Image part to change"));
    name(originalPreview_, tr("Original image"));
    name(partPreview_, tr("Image part to change"));
    name(pickOriginal_, tr("Pick the original color"));
    name(pickGoal_, tr("Pick the goal color"));
    name(chooseOriginal_, tr("Choose the original color"));
    name(chooseGoal_, tr("Choose the goal color"));
    name(originalSwatch_, tr("Original color"));
    name(goalSwatch_, tr("Goal color"));
    name(reachedSwatch_, tr("Reached color"));
    connect(hue_, &QSlider::valueChanged, this, &TColourSettingsDialog::ShowHueStrip);
    // A bigger preview takes a bigger sample.
    originalArea_->viewport()->installEventFilter(this);
    connect(modes, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool on) {
        if (on) ShowHueStrip();
    });
    connect(saturationTint_, &QSlider::valueChanged, this, &TColourSettingsDialog::ShowPercentages);
    connect(valueTint_, &QSlider::valueChanged, this, &TColourSettingsDialog::ShowPercentages);
    connect(avoidSingularities_, &QCheckBox::toggled, this, [this] { partPreview_->Invalidate(); });
    // The note on an unreachable goal speaks of the settings "GO!" chose; any
    // change to them makes it stale.
    for (QSlider* track : {hue_, saturationTint_, valueTint_})
        connect(track, &QSlider::valueChanged, this, [this] { ShowUnreachableGoal(false); });
    connect(modes, &QButtonGroup::buttonToggled, this, [this] { ShowUnreachableGoal(false); });
    connect(avoidSingularities_, &QCheckBox::toggled, this, [this] { ShowUnreachableGoal(false); });
    connect(resetButton_, &QPushButton::clicked, this, &TColourSettingsDialog::ResetSettings);
    connect(goButton_, &QPushButton::clicked, this, &TColourSettingsDialog::SolveForGoal);
    connect(chooseOriginal_, &QToolButton::clicked, this, &TColourSettingsDialog::ChooseOriginalColour);
    connect(chooseGoal_, &QToolButton::clicked, this, &TColourSettingsDialog::ChooseGoalColour);
    // Match colour: the goal as #rrggbb, typed or following the swatch.
    connect(goalHex_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (const auto colour = ParseHexColour(text.toStdString())) {
            goalSrgb_ = true;
            goalSwatch_->SetColor(*colour);
        }
    });
    connect(goalSwatch_, &TColourSwatch::ColorChanged, this, [this] {
        const QString hex = QString::fromStdString(HexColour(goalSwatch_->Color()));
        if (!goalHex_->hasFocus() || goalHex_->text().size() == 7) goalHex_->setText(hex);
        if (matchColour_->isChecked()) partPreview_->Invalidate();
    });
    connect(originalSwatch_, &TColourSwatch::ColorChanged, this, [this] {
        if (matchColour_->isChecked()) partPreview_->Invalidate();
    });
    connect(matchColour_, &QRadioButton::toggled, this, [this] {
        ShowOriginalForMode();
        ShowModeControls();
    });
    connect(useMatch_, &QPushButton::clicked, this, [this] {
        matchColour_->setChecked(true);
        ShowUnreachableGoal(false);
    });
    // GO! needs an original to start from, and has nothing to solve in Match colour.
    connect(originalSwatch_, &TColourSwatch::ColorChanged, this, &TColourSettingsDialog::ShowModeControls);
    ShowModeControls();
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    // Names that tests and screen readers find the controls by.
    const std::pair<QObject*, const char*> names[] = {
        {settingsGroup_, "settings"},
        {hueStrip_, "hueStrip"},
        {hue_, "hue"},
        {hueNumber_, "hueNumber"},
        {saturationTint_, "saturationTint"},
        {valueTint_, "valueTint"},
        {saturationPercent_, "saturationPercent"},
        {valuePercent_, "valuePercent"},
        {hueModes_, "hueModes"},
        {changeHue_, "changeHue"},
        {shiftHue_, "shiftHue"},
        {keepHue_, "keepHue"},
        {matchColour_, "matchColour"},
        {goalHex_, "goalHex"},
        {useMatch_, "useMatch"},
        {avoidSingularities_, "avoidSingularities"},
        {resetButton_, "reset"},
        {originalArea_, "originalArea"},
        {originalPreview_, "originalPreview"},
        {partArea_, "partArea"},
        {partPreview_, "partPreview"},
        {hsvAtMouse_, "hsvAtMouse"},
        {goalGroup_, "goal"},
        {fivePointAverage_, "fivePointAverage"},
        {pickOriginal_, "pickOriginal"},
        {pickGoal_, "pickGoal"},
        {chooseOriginal_, "chooseOriginal"},
        {chooseGoal_, "chooseGoal"},
        {originalSwatch_, "originalColor"},
        {goalSwatch_, "goalColor"},
        {goButton_, "go"},
        {unreachableText_, "unreachable"},
        {reachedSwatch_, "reachedColor"},
        {okButton_, "ok"},
        {cancelButton_, "cancel"},
    };
    for (const auto& [control, name] : names)
        control->setObjectName(QLatin1String(name));
}

// --- settings_ in and out ----------------------------------------------------------

void TColourSettingsDialog::Prepare(const TTintwellSettings& settings, const tw::Bitmap* picture,
                                    TImagePart* part) {
    picture_ = picture;
    part_ = picture ? part : nullptr;
    originalSample_ = tw::Bitmap(kSampleSize, kSampleSize, tw::kWhite);
    partSample_ = tw::Bitmap(kSampleSize, kSampleSize, tw::kWhite);
    originalScroll_ = partScroll_ = QPoint(0, 0);
    originalChosen_ = false;
    // Match colour starts from the colour the user gave, the part's own one
    // fixed when it was first matched, or else the middle of the part's
    // colours; the other modes from the colour the part was grown from.
    givenFrom_ = settings.MatchColour ? settings.From : std::nullopt;
    matchReference_ = settings.MatchColour ? settings.Reference : std::nullopt;
    matchReferenceKnown_ = matchReference_.has_value();
    ShowSettings(settings);
    ShowUnreachableGoal(false);
    ShowOriginalForMode();
    if (!part_) return;
    // The previews scroll over the whole part; show the part in their middle.
    for (TnvOffscreenPaint* box : {originalPreview_, partPreview_})
        box->resize(std::max(1, part_->Bitmap.Width()), std::max(1, part_->Bitmap.Height()));
    pendingCentre_ = PartCentre(*part_);
    if (isVisible()) ScrollToPendingCentre();
    PreviewScrolled(originalArea_);
}

std::optional<tw::ColorValue> TColourSettingsDialog::MatchReference(const TImagePart& part,
                                                                    const tw::Bitmap& picture) {
    if (part.Bitmap.Width() != picture.Width() || part.Bitmap.Height() != picture.Height())
        return std::nullopt;
    const tw::ColorValue median = PartReferenceColour(picture, part.Bitmap);
    if (median == tw::kWhite) return std::nullopt;
    return median;
}

void TColourSettingsDialog::ShowOriginalForMode() {
    // A colour the user picked or chose stays whatever the mode.
    if (originalChosen_) return;
    // The median takes a moment on a large part: worked out when first needed.
    if (matchColour_->isChecked() && !matchReferenceKnown_) {
        matchReference_ = part_ ? MatchReference(*part_, *picture_) : std::nullopt;
        matchReferenceKnown_ = true;
    }
    std::optional<tw::ColorValue> reference;
    if (!matchColour_->isChecked())
        reference = part_ ? ReferenceColor(*part_, *picture_) : std::nullopt;
    else
        reference = givenFrom_ ? std::optional(givenFrom_->Value) : matchReference_;
    if (reference)
        originalSwatch_->SetColor(*reference);
    else
        originalSwatch_->Clear();
}

std::optional<tw::ColorValue> TColourSettingsDialog::ReferenceColor(const TImagePart& part,
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

QPoint TColourSettingsDialog::PartCentre(const TImagePart& part) {
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

void TColourSettingsDialog::ScrollToPendingCentre() {
    const QSize view = originalArea_->viewport()->size();
    ScrollTo(originalArea_, *pendingCentre_ - QPoint(view.width() / 2, view.height() / 2));
    pendingCentre_.reset();
}

void TColourSettingsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only now do the scroll boxes know their ranges.
    if (pendingCentre_) {
        ScrollToPendingCentre();
        PreviewScrolled(originalArea_);
    }
}

bool TColourSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == originalArea_->viewport() && part_)
        PreviewScrolled(originalArea_);
    return QDialog::eventFilter(watched, event);
}

void TColourSettingsDialog::ShowSettings(const TTintwellSettings& s) {
    settings_ = s;
    hue_->setValue(s.Hue);
    saturationTint_->setValue(s.SaturationTint);
    valueTint_->setValue(s.ValueTint);
    avoidSingularities_->setChecked(s.AvoidSingularities);
    if (s.MatchColour)
        matchColour_->setChecked(true);
    else if (s.KeepHue)
        keepHue_->setChecked(true);
    else if (s.ShiftHue)
        shiftHue_->setChecked(true);
    else
        changeHue_->setChecked(true);
    if (s.MatchColour) {
        goalSwatch_->SetColor(s.Goal.Value);
        goalSrgb_ = s.Goal.Srgb;
    }
    ShowModeControls();
}

void TColourSettingsDialog::ShowModeControls() {
    const bool match = matchColour_->isChecked();
    for (QWidget* unused : std::initializer_list<QWidget*>{saturationTint_, valueTint_, avoidSingularities_})
        unused->setEnabled(!match);
    goButton_->setEnabled(!match && originalSwatch_->HasColor());
    goButton_->setVisible(!match);
    goalHex_->setVisible(match);
    ShowHueStrip();
}

void TColourSettingsDialog::ReadControls() {
    settings_.Hue = hue_->value();
    settings_.SaturationTint = saturationTint_->value();
    settings_.ValueTint = valueTint_->value();
    settings_.KeepHue = false;
    settings_.ShiftHue = false;
    settings_.AvoidSingularities = avoidSingularities_->isChecked();
    if (shiftHue_->isChecked()) settings_.ShiftHue = true;
    if (keepHue_->isChecked()) settings_.KeepHue = true;
    settings_.MatchColour = false;
    settings_.Goal = {};
    settings_.From.reset();
    settings_.Reference.reset();
    if (matchColour_->isChecked()) {
        // Hue and tints do not apply: the goal and the original the user gave
        // are what the mode goes by, or the part's own colour, which the
        // previews show here and every part works out for itself when applied.
        settings_ = TTintwellSettings::Match({goalSwatch_->Color(), goalSrgb_}, givenFrom_);
        if (!givenFrom_) settings_.Reference = matchReference_;
    }
}

TTintwellSettings TColourSettingsDialog::Settings() {
    ReadControls();
    TTintwellSettings settings = settings_;
    settings.Reference.reset();
    return settings;
}

// --- The hue strip and the labels ----------------------------------------------------

void TColourSettingsDialog::ShowHueStrip() {
    const int w = hueStrip_->width();
    const int h = hueStrip_->height();
    hue_->setEnabled(!keepHue_->isChecked() && !matchColour_->isChecked());
    hueNumber_->setText(QString::number(hue_->value()));
    const bool shift = shiftHue_->isChecked();
    const int32_t saturation = hue_->isEnabled() ? 255 : 100;
    hueStripBitmap_ =
        HueChoiceStrip(w, h, saturation, shift ? std::optional<int32_t>(hue_->value()) : std::nullopt);
    hueStrip_->setPixmap(QPixmap::fromImage(hueStripBitmap_.Image()));
    partPreview_->Invalidate();
}

void TColourSettingsDialog::ShowPercentages() {
    saturationPercent_->setText(tr("%1 %").arg(saturationTint_->value()));
    valuePercent_->setText(tr("%1 %").arg(valueTint_->value()));
    partPreview_->Invalidate();
}

void TColourSettingsDialog::ResetSettings() {
    // Start from what is on screen, so that the hue the user set survives.
    ReadControls();
    settings_.KeepHue = true;
    settings_.ShiftHue = false;
    settings_.SaturationTint = 0;
    settings_.ValueTint = 0;
    settings_.AvoidSingularities = false;
    ShowSettings(settings_);
}

void TColourSettingsDialog::SolveForGoal() {
    const tw::ColorValue original = originalSwatch_->Color();
    const tw::ColorValue goal = goalSwatch_->Color();
    ShowSettings(SolveGoalColor(original, goal));
    // Tints are percentages: they cannot put colour into grey. Say so rather
    // than let the settings pretend, and show what they do give.
    if (!GoalUnreachableFromGrey(original, goal)) return;
    const tw::ColorValue reached = SolvedColor(original, goal);
    const TRGBValues rgb = ColorToRGBValues(reached);
    reachedSwatch_->SetColor(reached);
    unreachableText_->setText(
        tr("The goal cannot be reached from a grey original. These settings give R:%1 G:%2 B:%3.")
            .arg(rgb.R)
            .arg(rgb.G)
            .arg(rgb.B));
    ShowUnreachableGoal(true);
}

void TColourSettingsDialog::ShowUnreachableGoal(bool show) {
    unreachableText_->setVisible(show);
    reachedSwatch_->setVisible(show);
    useMatch_->setVisible(show);
}

// --- Previews -------------------------------------------------------------------

void TColourSettingsDialog::ExtractSamples(QPoint at) {
    if (!part_ || !picture_) return;
    // The sample is what the preview shows: at least the designed square.
    const QSize view = originalArea_->viewport()->size();
    const int w = std::max(kSampleSize, view.width());
    const int h = std::max(kSampleSize, view.height());
    if (originalSample_.Width() != w || originalSample_.Height() != h) {
        originalSample_ = tw::Bitmap(w, h, tw::kWhite);
        partSample_ = tw::Bitmap(w, h, tw::kWhite);
    }
    originalSample_.Fill(tw::kWhite);
    partSample_.Fill(tw::kWhite);
    const int right = std::min(at.x() + w, part_->Bitmap.Width());
    const int bottom = std::min(at.y() + h, part_->Bitmap.Height());
    const QRect source(at.x(), at.y(), std::max(0, right - at.x()), std::max(0, bottom - at.y()));
    if (!source.isEmpty()) {
        originalSample_.CopyRect(0, 0, *picture_, source);
        partSample_.CopyRect(0, 0, part_->Bitmap, source);
    }
    originalPreview_->Invalidate();
    partPreview_->Invalidate();
}

QScrollArea* TColourSettingsDialog::AreaOf(const TnvOffscreenPaint& box) const {
    return &box == originalPreview_ ? originalArea_ : partArea_;
}

const tw::Bitmap* TColourSettingsDialog::SampleOf(const TnvOffscreenPaint& box) const {
    if (&box == partPreview_) return &partSample_;
    if (&box == originalPreview_) return &originalSample_;
    return nullptr;
}

void TColourSettingsDialog::ScrollTo(QScrollArea* box, QPoint at) {
    // Each scroll bar limits the position to its range.
    box->horizontalScrollBar()->setValue(at.x());
    box->verticalScrollBar()->setValue(at.y());
}

void TColourSettingsDialog::PreviewScrolled(QScrollArea* from) {
    if (syncingScroll_) return;
    const QPoint at(from->horizontalScrollBar()->value(), from->verticalScrollBar()->value());
    syncingScroll_ = true;
    ScrollTo(from == originalArea_ ? partArea_ : originalArea_, at);
    syncingScroll_ = false;
    originalScroll_ = partScroll_ = at;
    ExtractSamples(at);
}

void TColourSettingsDialog::PaintOriginalPreview() {
    if (!part_) return;
    originalPreview_->PaintCanvas().Draw(originalScroll_.x(), originalScroll_.y(), originalSample_);
}

void TColourSettingsDialog::PaintPartPreview() {
    if (!part_) return;
    ReadControls();
    // Always from the original: repaints never accumulate.
    RecolourPart(InPictureColours(settings_, profile_), originalSample_, partSample_);
    partPreview_->PaintCanvas().Draw(partScroll_.x(), partScroll_.y(), partSample_);
}

void TColourSettingsDialog::PreviewMouseDown(TnvOffscreenPaint& box, int X, int Y) {
    downX_ = X;
    downY_ = Y;
    downBox_ = &box;
    QScrollArea* area = AreaOf(box);
    // Screen positions: the box itself moves while it is dragged.
    dragStartGlobal_ = box.mapToGlobal(QPoint(X, Y));
    dragStartScroll_ = QPoint(area->horizontalScrollBar()->value(), area->verticalScrollBar()->value());
    dragging_ = true;
    dragged_ = false;
}

void TColourSettingsDialog::PreviewMouseMove(TnvOffscreenPaint& box, bool leftDown, int X, int Y) {
    const QRect area = box.BufferArea();
    const tw::ColorValue c = box.Buffer().Pixel(X - area.x(), Y - area.y());
    if (c != tw::kOutside) {
        const THSVValues hsv = ColorToHSVValues(c);
        hsvAtMouse_->setText(tr("HSV at mouse: H:%1 S:%2 V:%3").arg(hsv.H).arg(hsv.S).arg(hsv.V));
    }
    // Grab and drag: the picture follows the mouse. A drag is not a click.
    if (dragging_ && leftDown && &box == downBox_) {
        const QPoint moved = box.mapToGlobal(QPoint(X, Y)) - dragStartGlobal_;
        if (moved.manhattanLength() > 3) dragged_ = true;
        if (dragged_) ScrollTo(AreaOf(box), dragStartScroll_ - moved);
    }
}

void TColourSettingsDialog::PreviewClick(TnvOffscreenPaint& box) {
    dragging_ = false;
    if (std::exchange(dragged_, false)) return;
    const int radius = fivePointAverage_->isChecked() ? 2 : 0;
    QScrollArea* area = AreaOf(box);
    const int x = downX_ - area->horizontalScrollBar()->value();
    const int y = downY_ - area->verticalScrollBar()->value();
    if (pickOriginal_->isChecked()) {
        pickOriginal_->setChecked(false);
        originalChosen_ = true;
        const tw::ColorValue picked = AverageColorAt(SampleOf(box), x, y, radius);
        givenFrom_ = TGivenColour{picked, false};
        originalSwatch_->SetColor(picked);
    }
    if (pickGoal_->isChecked()) {
        pickGoal_->setChecked(false);
        // A colour of the picture itself, in its own values.
        goalSrgb_ = false;
        goalSwatch_->SetColor(AverageColorAt(SampleOf(box), x, y, radius));
    }
}

tw::ColorValue TColourSettingsDialog::AverageColorAt(const tw::Bitmap* bitmap, int x, int y, int radius) {
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

std::optional<tw::ColorValue> TColourSettingsDialog::ChooseColor(tw::ColorValue initial) {
    return ChooseColour(chooseColour_, this, initial, tr("Color"));
}

void TColourSettingsDialog::ChooseOriginalColour() {
    if (const auto chosen = ChooseColor(originalSwatch_->Color())) {
        originalChosen_ = true;
        givenFrom_ = TGivenColour{*chosen, true};
        originalSwatch_->SetColor(*chosen);
    }
}

void TColourSettingsDialog::ChooseGoalColour() {
    if (const auto chosen = ChooseColor(goalSwatch_->Color())) {
        goalSrgb_ = true;
        goalSwatch_->SetColor(*chosen);
    }
}

void TColourSettingsDialog::done(int result) {
    QDialog::done(result);
    ReleasePart();
}

void TColourSettingsDialog::ReleasePart() {
    picture_ = nullptr;
    part_ = nullptr;
    pendingCentre_.reset();
    originalSample_ = tw::Bitmap();
    partSample_ = tw::Bitmap();
    downBox_ = nullptr;
    originalPreview_->Invalidate();
    partPreview_->Invalidate();
}
