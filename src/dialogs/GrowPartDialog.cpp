#include "dialogs/GrowPartDialog.h"

#include "colour/ThreadSafeBitmap.h"
#include "grid/nvOffscreenPaint.h"
#include "masking/PartGrower.h"
#include "masking/ToleranceSuggestion.h"
#include "platform/DeferredCalls.h"
#include "platform/Thread.h"
#include "platform/ZoomedPainter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

// --- TRuleStripImage --------------------------------------------------------------

TRuleStripImage::TRuleStripImage(QWidget* parent) : QWidget(parent) {
    setFixedHeight(8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(1);
}

void TRuleStripImage::SetPicture(const tw::Bitmap& picture) {
    picture_ = picture;
    update();
}

void TRuleStripImage::paintEvent(QPaintEvent*) {
    if (picture_.IsEmpty()) return;
    QPainter p(this);
    p.drawImage(0, 0, picture_.Image());
}

void TRuleStripImage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize) OnResize();
}

// --- TGrowPartDialog -----------------------------------------------------------

TGrowPartDialog::TGrowPartDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Color mask generation"));
    // A sizeable tool window: small title bar, no minimise or maximise.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    BuildControls();
    resize(599, 499);

    preview_->SetColor(tw::kWhite);
    preview_->OnPaint = [this](TnvOffscreenPaint&) { PaintPreview(); };

    blinkTimer_ = new QTimer(this);
    blinkTimer_->setObjectName(QStringLiteral("blinkTimer"));
    blinkTimer_->setInterval(2000);
    connect(blinkTimer_, &QTimer::timeout, this, &TGrowPartDialog::Blink);

    regrowTimer_ = new QTimer(this);
    regrowTimer_->setObjectName(QStringLiteral("regrowTimer"));
    regrowTimer_->setSingleShot(true);
    regrowTimer_->setInterval(RegrowPauseMs);
    connect(regrowTimer_, &QTimer::timeout, this, &TGrowPartDialog::Regrow);
    ShowPixelCount(0);

    DrawHueRule();
    DrawSaturationRule();
    DrawValueRule();
}

TGrowPartDialog::~TGrowPartDialog() {
    TDeferredCalls::CancelAll(this);
    // The walk reads Source and writes Mask, both ours: let it finish first. Its
    // synchronised calls run here, so this cannot deadlock.
    if (walker_) {
        walker_->Terminate();
        while (walker_)
            tw::CheckSynchronize(50);
    }
}

QGroupBox* TGrowPartDialog::BuildRuleGroup(const QString& title, QCheckBox*& use, QSlider*& track,
                                           QLabel*& label, TRuleStripImage*& strip, int position) {
    auto* group = new QGroupBox(title, settingsPage_);
    group->setFixedHeight(90);
    use = new QCheckBox(tr("Use"), group);
    use->setChecked(true);
    track = new QSlider(Qt::Horizontal, group);
    track->setRange(0, 100);
    track->setValue(position);
    track->setPageStep(10);
    track->setTickPosition(QSlider::TicksBelow);
    track->setTickInterval(5);
    label = new QLabel(group);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(tr("%1 % deviation").arg(100)) + 4);
    strip = new TRuleStripImage(group);

    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(8, 4, 8, 6);
    grid->setVerticalSpacing(2);
    grid->addWidget(use, 0, 0, 1, 2);
    grid->addWidget(track, 1, 0);
    grid->addWidget(label, 1, 1);
    // The strip sits just under the track bar, inset so that it lines up with
    // the span the handle travels.
    auto* stripRow = new QHBoxLayout;
    const int inset = track->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, track) / 2;
    stripRow->setContentsMargins(inset, 0, inset, 0);
    stripRow->addWidget(strip);
    grid->addLayout(stripRow, 2, 0);
    grid->setColumnStretch(0, 1);
    return group;
}

void TGrowPartDialog::BuildControls() {
    pages_ = new QTabWidget(this);
    settingsPage_ = new QWidget;
    maskPage_ = new QWidget;
    pages_->addTab(settingsPage_, tr("Settings"));
    pages_->addTab(maskPage_, tr("Coloring mask"));

    // Page "Settings".
    compareToNeighbour_ = new QCheckBox(tr("Compare to neighbour (click point if unchecked)"), settingsPage_);
    average9_ = new QCheckBox(tr("Use 9 value average in comparison"), settingsPage_);
    anywhere_ = new QCheckBox(tr("Whole picture"), settingsPage_);
    anywhere_->setToolTip(tr("Every pixel of the picture like the clicked one, connected or not"));
    fillHolesText_ = new QLabel(tr("Fill holes up to"), settingsPage_);
    fillHoles_ = new QSpinBox(settingsPage_);
    fillHoles_->setRange(0, TWalkerRules::kMaxFillHoles);
    fillHoles_->setSingleStep(100);
    fillHoles_->setSuffix(tr(" pixels"));
    fillHoles_->setSpecialValueText(tr("off"));
    fillHoles_->setToolTip(tr("Regions inside the part of at most this many pixels join it"));
    fillHolesText_->setBuddy(fillHoles_);
    hueRuleGroup_ = BuildRuleGroup(tr("Hue rule"), useHue_, hueTolerance_, hueToleranceText_, hueStrip_, 5);
    saturationRuleGroup_ = BuildRuleGroup(tr("Saturation rule"), useSaturation_, saturationTolerance_,
                                          saturationToleranceText_, saturationStrip_, 40);
    valueRuleGroup_ =
        BuildRuleGroup(tr("Value rule"), useValue_, valueTolerance_, valueToleranceText_, valueStrip_, 40);
    auto* settings = new QVBoxLayout(settingsPage_);
    settings->addWidget(compareToNeighbour_);
    settings->addWidget(average9_);
    auto* wider = new QHBoxLayout;
    wider->addWidget(anywhere_);
    wider->addStretch(1);
    wider->addWidget(fillHolesText_);
    wider->addWidget(fillHoles_);
    settings->addLayout(wider);
    settings->addWidget(hueRuleGroup_);
    settings->addWidget(saturationRuleGroup_);
    settings->addWidget(valueRuleGroup_);
    settings->addStretch(1);

    connect(hueTolerance_, &QSlider::valueChanged, this, [this] { DrawHueRule(); });
    connect(saturationTolerance_, &QSlider::valueChanged, this, [this] { DrawSaturationRule(); });
    connect(valueTolerance_, &QSlider::valueChanged, this, [this] { DrawValueRule(); });
    // Every rule regrows the part once the controls are still.
    for (QSlider* track : {hueTolerance_, saturationTolerance_, valueTolerance_})
        connect(track, &QSlider::valueChanged, this, &TGrowPartDialog::ScheduleRegrow);
    for (QCheckBox* box : {useHue_, useSaturation_, useValue_, compareToNeighbour_, average9_, anywhere_})
        connect(box, &QCheckBox::toggled, this, &TGrowPartDialog::ScheduleRegrow);
    connect(fillHoles_, &QSpinBox::valueChanged, this, &TGrowPartDialog::ScheduleRegrow);
    // The whole picture can only be compared to the seed.
    connect(compareToNeighbour_, &QCheckBox::toggled, anywhere_, &QWidget::setDisabled);
    hueStrip_->OnResize = [this] { DrawHueRule(); };
    saturationStrip_->OnResize = [this] { DrawSaturationRule(); };
    valueStrip_->OnResize = [this] { DrawValueRule(); };

    // Page "Coloring mask".
    previewArea_ = new QScrollArea(maskPage_);
    previewArea_->setBackgroundRole(QPalette::Base);
    QPalette white = previewArea_->palette();
    white.setColor(QPalette::Base, Qt::white);
    previewArea_->setPalette(white);
    previewArea_->setWidgetResizable(false);
    preview_ = new TnvOffscreenPaint;
    preview_->resize(1, 1);
    previewArea_->setWidget(preview_);
    suggestGroup_ = new QGroupBox(tr("Suggest setting by analyzing neighbourhood"), maskPage_);
    suggest7_ = new QPushButton(tr("7x7 pixels"), suggestGroup_);
    suggest21_ = new QPushButton(tr("21x21 pixels"), suggestGroup_);
    suggest51_ = new QPushButton(tr("51x51 pixels"), suggestGroup_);
    suggest101_ = new QPushButton(tr("101x101 pixels"), suggestGroup_);
    advancedButton_ = new QPushButton(tr("Advanced"), suggestGroup_);
    auto* suggest = new QHBoxLayout(suggestGroup_);
    for (QPushButton* b : {suggest7_, suggest21_, suggest51_, suggest101_}) {
        b->setAutoDefault(false);
        suggest->addWidget(b);
    }
    suggest->addStretch(1);
    advancedButton_->setAutoDefault(false);
    suggest->addWidget(advancedButton_);
    auto* mask = new QVBoxLayout(maskPage_);
    mask->addWidget(previewArea_, 1);
    mask->addWidget(suggestGroup_);

    // The bottom panel.
    auto* panel = new QWidget(this);
    panel->setFixedHeight(41);
    blinkOriginal_ = new QCheckBox(tr("Blink orginal Image"), panel);
    // Above it, the part's size and what else the region may do to the current part.
    auto* partPanel = new QWidget(this);
    partPanel->setFixedHeight(34);
    pixelCountText_ = new QLabel(partPanel);
    pixelCountText_->setAccessibleDescription(tr("Pixels in the part"));
    restartButton_ = new QPushButton(tr("Restart"), panel);
    stopButton_ = new QPushButton(tr("Stop"), panel);
    cancelButton_ = new QPushButton(tr("Cancel"), panel);
    addButton_ = new QPushButton(tr("Add this"), panel);
    addToPartButton_ = new QPushButton(tr("Add to current part"), partPanel);
    removeFromPartButton_ = new QPushButton(tr("Remove from current part"), partPanel);
    addToPartButton_->setAutoDefault(false);
    removeFromPartButton_->setAutoDefault(false);
    restartButton_->setAutoDefault(false);
    stopButton_->setAutoDefault(false);
    cancelButton_->setAutoDefault(false);
    addButton_->setDefault(true);
    auto* bottom = new QHBoxLayout(panel);
    bottom->setContentsMargins(8, 0, 8, 0);
    bottom->addWidget(blinkOriginal_);
    bottom->addSpacing(8);
    bottom->addWidget(restartButton_);
    bottom->addWidget(stopButton_);
    bottom->addStretch(1);
    bottom->addWidget(cancelButton_);
    bottom->addWidget(addButton_);
    auto* part = new QHBoxLayout(partPanel);
    part->setContentsMargins(8, 4, 8, 0);
    part->addWidget(pixelCountText_);
    part->addStretch(1);
    part->addWidget(removeFromPartButton_);
    part->addWidget(addToPartButton_);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(4, 4, 4, 0);
    form->setSpacing(0);
    form->addWidget(pages_, 1);
    form->addWidget(partPanel);
    form->addWidget(panel);

    pages_->setCurrentWidget(maskPage_);
    SetWalkingButtons(false);

    connect(blinkOriginal_, &QCheckBox::clicked, this, &TGrowPartDialog::BlinkToggled);
    connect(restartButton_, &QPushButton::clicked, this, &TGrowPartDialog::RestartWalk);
    connect(stopButton_, &QPushButton::clicked, this, [this] {
        // Stopped by hand: no regrow follows.
        regrowTimer_->stop();
        regrowPending_ = false;
        StopWalk();
    });
    connect(cancelButton_, &QPushButton::clicked, this, &TGrowPartDialog::reject);
    connect(addButton_, &QPushButton::clicked, this, &TGrowPartDialog::AddThis);
    connect(addToPartButton_, &QPushButton::clicked, this, &TGrowPartDialog::AddToPart);
    connect(removeFromPartButton_, &QPushButton::clicked, this, &TGrowPartDialog::RemoveFromPart);
    connect(advancedButton_, &QPushButton::clicked, this,
            [this] { pages_->setCurrentWidget(settingsPage_); });
    // Half widths of the sampled squares; the largest samples 201 x 201.
    connect(suggest7_, &QPushButton::clicked, this, [this] { SuggestSettings(3); });
    connect(suggest21_, &QPushButton::clicked, this, [this] { SuggestSettings(10); });
    connect(suggest51_, &QPushButton::clicked, this, [this] { SuggestSettings(25); });
    connect(suggest101_, &QPushButton::clicked, this, [this] { SuggestSettings(100); });

    // Names that tests and screen readers find the controls by.
    const std::pair<QObject*, const char*> names[] = {
        {blinkOriginal_, "blinkOriginal"},
        {restartButton_, "restart"},
        {stopButton_, "stop"},
        {cancelButton_, "cancel"},
        {addButton_, "addThis"},
        {addToPartButton_, "addToPart"},
        {removeFromPartButton_, "removeFromPart"},
        {pages_, "pages"},
        {settingsPage_, "settingsPage"},
        {maskPage_, "maskPage"},
        {compareToNeighbour_, "compareToNeighbour"},
        {average9_, "average9"},
        {anywhere_, "anywhere"},
        {fillHolesText_, "fillHolesText"},
        {fillHoles_, "fillHoles"},
        {pixelCountText_, "pixelCount"},
        {hueRuleGroup_, "hueRule"},
        {saturationRuleGroup_, "saturationRule"},
        {valueRuleGroup_, "valueRule"},
        {useHue_, "useHue"},
        {useSaturation_, "useSaturation"},
        {useValue_, "useValue"},
        {hueTolerance_, "hueTolerance"},
        {saturationTolerance_, "saturationTolerance"},
        {valueTolerance_, "valueTolerance"},
        {hueToleranceText_, "hueToleranceText"},
        {saturationToleranceText_, "saturationToleranceText"},
        {valueToleranceText_, "valueToleranceText"},
        {hueStrip_, "hueStrip"},
        {saturationStrip_, "saturationStrip"},
        {valueStrip_, "valueStrip"},
        {previewArea_, "previewArea"},
        {preview_, "preview"},
        {suggestGroup_, "suggest"},
        {suggest7_, "suggest7x7"},
        {suggest21_, "suggest21x21"},
        {suggest51_, "suggest51x51"},
        {suggest101_, "suggest101x101"},
        {advancedButton_, "advanced"},
    };
    for (const auto& [control, name] : names)
        control->setObjectName(QLatin1String(name));
}

// --- Showing ------------------------------------------------------------------

void TGrowPartDialog::Load(const tw::Bitmap& picture, QPoint seed, QPoint viewPoint,
                           const TTintwellSettings& settings, int zoomStep, bool hasCurrentPart,
                           TGrowTarget target) {
    // A new picture may only arrive while no walk reads the old one.
    if (walker_) return;
    hasCurrentPart_ = hasCurrentPart;
    if (!hasCurrentPart_) target = TGrowTarget::NewPart;
    QPushButton* ready = target == TGrowTarget::AddToPart        ? addToPartButton_
                         : target == TGrowTarget::RemoveFromPart ? removeFromPartButton_
                                                                 : addButton_;
    for (QPushButton* b : {addButton_, addToPartButton_, removeFromPartButton_})
        b->setDefault(b == ready);
    SetWalkingButtons(false);
    regrowTimer_->stop();
    regrowPending_ = false;
    source_ = picture; // an independent copy; the pixel format is already 24-bit RGB
    // A click on the last zoomed column can round one pixel past the edge: the
    // seed colour and the sampled square are the walk's own seed's.
    seed_ = TPartGrower::ClampSeed(source_, seed);
    // Known before the first walk starts, so that the strips and a suggestion
    // made in the meantime are about this seed.
    seedColor_ = source_.Pixel(seed_.x(), seed_.y());
    settings_ = settings;
    viewPoint_ = viewPoint;
    zoomStep_ = zoomStep;
    const double z = tw::ZoomFactor(zoomStep_);
    preview_->resize(std::max(1, Round(source_.Width() * z)), std::max(1, Round(source_.Height() * z)));
    {
        TGraphicsLockGuard lock;
        mask_ = tw::Bitmap(source_.Width(), source_.Height(), tw::kWhite);
    }
    centerPending_ = true;
    DrawHueRule();
    DrawSaturationRule();
    DrawValueRule();
}

void TGrowPartDialog::ShowFor(const tw::Bitmap& picture, QPoint seed, QPoint viewPoint,
                              const TTintwellSettings& settings, int zoomStep, bool hasCurrentPart,
                              TGrowTarget target) {
    Load(picture, seed, viewPoint, settings, zoomStep, hasCurrentPart, target);
    exec();
}

void TGrowPartDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) TDeferredCalls::Queue(this, &TGrowPartDialog::StartWalk);
}

TWalkerRules TGrowPartDialog::Rules() const {
    TWalkerRules rules;
    rules.UseHue = useHue_->isChecked();
    rules.UseSaturation = useSaturation_->isChecked();
    rules.UseValue = useValue_->isChecked();
    rules.HueDeviation = hueTolerance_->value();
    rules.SaturationDeviation = saturationTolerance_->value();
    rules.ValueDeviation = valueTolerance_->value();
    rules.CompareToNeighbour = compareToNeighbour_->isChecked();
    rules.NineValueAverage = average9_->isChecked();
    rules.Anywhere = anywhere_->isChecked() && !rules.CompareToNeighbour;
    rules.FillHoles = fillHoles_->value();
    return rules;
}

void TGrowPartDialog::SetRules(const TWalkerRules& rules) {
    useHue_->setChecked(rules.UseHue);
    useSaturation_->setChecked(rules.UseSaturation);
    useValue_->setChecked(rules.UseValue);
    hueTolerance_->setValue(rules.HueDeviation);
    saturationTolerance_->setValue(rules.SaturationDeviation);
    valueTolerance_->setValue(rules.ValueDeviation);
    compareToNeighbour_->setChecked(rules.CompareToNeighbour);
    average9_->setChecked(rules.NineValueAverage);
    anywhere_->setChecked(rules.Anywhere);
    anywhere_->setEnabled(!rules.CompareToNeighbour);
    fillHoles_->setValue(rules.FillHoles);
}

// --- Walking ------------------------------------------------------------------

void TGrowPartDialog::StartWalk() {
    pages_->setCurrentWidget(maskPage_);
    if (walker_ || source_.IsEmpty()) return;
    {
        TGraphicsLockGuard lock;
        mask_ = tw::Bitmap(source_.Width(), source_.Height(), tw::kWhite);
    }
    seedColor_ = source_.Pixel(seed_.x(), seed_.y());
    growth_.reset();
    regrowTimer_->stop();
    regrowPending_ = false;
    ShowPixelCount(0);
    DrawHueRule();
    DrawSaturationRule();
    DrawValueRule();

    // The preview shows the growth at about the same pace at any zoom.
    const TPartGrower grower(source_, seed_, Rules(), settings_,
                             TPartGrower::ProgressIntervalForZoom(tw::ZoomFactor(zoomStep_)));
    walkGrowth_ = grower.Growth();
    SetWalkingButtons(true);
    preview_->Invalidate();
    walker_ = grower.Start(
        mask_, [this](TBitmapWalkerThread* t) { WalkProgress(t); }, [this](tw::Thread* t) { WalkEnded(t); });
}

void TGrowPartDialog::WalkProgress(TBitmapWalkerThread* sender) {
    if (sender == walker_) ShowPixelCount(sender->Accepted());
    preview_->Invalidate();
}

void TGrowPartDialog::WalkEnded(tw::Thread* sender) {
    if (sender != walker_) return;
    if (!sender->Terminated()) growth_ = walkGrowth_;
    ShowPixelCount(walker_->Accepted());
    walker_ = nullptr;
    SetWalkingButtons(false);
    preview_->Invalidate();
    // A rule changed while it walked: the next walk begins at once.
    if (regrowPending_) {
        regrowPending_ = false;
        Regrow();
    }
}

void TGrowPartDialog::ScheduleRegrow() {
    // Only a dialog that shows a walk regrows; the first walk starts when it shows.
    if (source_.IsEmpty() || !isVisible()) return;
    regrowTimer_->start();
}

void TGrowPartDialog::Regrow() {
    if (!isVisible()) return;
    if (walker_) {
        // Its end starts the next walk: the mask is the old walk's until then.
        StopWalk();
        regrowPending_ = true;
        return;
    }
    const QWidget* page = pages_->currentWidget();
    StartWalk();
    // The user is adjusting rules: the page stays where it is.
    pages_->setCurrentWidget(const_cast<QWidget*>(page));
}

void TGrowPartDialog::ShowPixelCount(int64_t count) {
    pixelCount_ = count;
    const QString text = tr("%1 pixels").arg(count);
    pixelCountText_->setText(text);
    pixelCountText_->setAccessibleName(text);
}

void TGrowPartDialog::SetWalkingButtons(bool walking) {
    cancelButton_->setEnabled(!walking);
    addButton_->setEnabled(!walking);
    addToPartButton_->setEnabled(!walking && hasCurrentPart_);
    removeFromPartButton_->setEnabled(!walking && hasCurrentPart_);
    restartButton_->setEnabled(!walking);
    stopButton_->setEnabled(walking);
}

void TGrowPartDialog::StopWalk() {
    if (!walker_) return;
    walker_->Terminate();
    stopButton_->setEnabled(false);
}

void TGrowPartDialog::RestartWalk() {
    if (!walker_) StartWalk();
    pages_->setCurrentWidget(maskPage_);
}

void TGrowPartDialog::AddThis() {
    if (walker_) return;
    // The part keeps its anchor in picture pixels, whatever the zoom of the click.
    const double z = tw::ZoomFactor(zoomStep_);
    const QPoint anchor(Round(viewPoint_.x() / z), Round(viewPoint_.y() / z));
    emit partAccepted(mask_, anchor, growth_);
    accept();
}

void TGrowPartDialog::AddToPart() {
    if (walker_ || !hasCurrentPart_) return;
    emit partCombined(mask_, growth_, false);
    accept();
}

void TGrowPartDialog::RemoveFromPart() {
    if (walker_ || !hasCurrentPart_) return;
    emit partCombined(mask_, growth_, true);
    accept();
}

bool TGrowPartDialog::CanClose() const {
    return cancelButton_->isEnabled() && !walker_;
}

void TGrowPartDialog::reject() {
    if (CanClose()) QDialog::reject();
}

void TGrowPartDialog::closeEvent(QCloseEvent* event) {
    if (!CanClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

// --- Blinking -----------------------------------------------------------------

void TGrowPartDialog::Blink() {
    showPictureBehind_ = !showPictureBehind_;
    preview_->Invalidate();
}

void TGrowPartDialog::BlinkToggled() {
    const bool on = blinkOriginal_->isChecked();
    if (on)
        blinkTimer_->start();
    else
        blinkTimer_->stop();
    showPictureBehind_ = on;
    preview_->Invalidate();
}

// --- The preview ----------------------------------------------------------------

void TGrowPartDialog::PaintPreview() {
    tw::ScrollBoxState box;
    box.HorzVisible = previewArea_->horizontalScrollBar()->isVisible();
    box.HorzPosition = previewArea_->horizontalScrollBar()->value();
    box.VertVisible = previewArea_->verticalScrollBar()->isVisible();
    box.VertPosition = previewArea_->verticalScrollBar()->value();
    box.Width = previewArea_->viewport()->width();
    box.Height = previewArea_->viewport()->height();
    if (showPictureBehind_)
        tw::PaintZoomed(box, {&source_, &mask_}, zoomStep_, preview_->PaintCanvas());
    else
        tw::PaintZoomed(box, {&mask_}, zoomStep_, preview_->PaintCanvas());

    if (centerPending_) {
        centerPending_ = false;
        // Scrolling moves the surface being painted: do it once this paint is done.
        QTimer::singleShot(0, this, &TGrowPartDialog::CenterOnViewPoint);
    }
}

int TGrowPartDialog::CenteredPosition(int point, int boxSize, int range) {
    const int x = point - boxSize / 2;
    if (0 < x && x < range) return std::min(x, range - boxSize);
    return 0;
}

void TGrowPartDialog::CenterOnViewPoint() {
    QScrollBar* h = previewArea_->horizontalScrollBar();
    if (h->isVisible())
        h->setValue(CenteredPosition(viewPoint_.x(), previewArea_->viewport()->width(), preview_->width()));
    QScrollBar* v = previewArea_->verticalScrollBar();
    if (v->isVisible())
        v->setValue(CenteredPosition(viewPoint_.y(), previewArea_->viewport()->height(), preview_->height()));
}

// --- Rule labels and strips ---------------------------------------------------

void TGrowPartDialog::DrawRuleStrip(TRuleStripImage& image, TRuleChannel channel, int32_t half) {
    const tw::Bitmap strip = RuleStrip(channel, seedColor_, half, image.width(), image.height());
    if (!strip.IsEmpty()) image.SetPicture(strip);
}

void TGrowPartDialog::DrawHueRule() {
    const int p = hueTolerance_->value();
    hueToleranceText_->setText(tr("%1 % deviation").arg(p));
    DrawRuleStrip(*hueStrip_, TRuleChannel::Hue, HueStripHalf(p));
}

void TGrowPartDialog::DrawSaturationRule() {
    const int p = saturationTolerance_->value();
    saturationToleranceText_->setText(tr("%1 % deviation").arg(p));
    DrawRuleStrip(*saturationStrip_, TRuleChannel::Saturation, LevelStripHalf(p));
}

void TGrowPartDialog::DrawValueRule() {
    const int p = valueTolerance_->value();
    valueToleranceText_->setText(tr("%1 % deviation").arg(p));
    DrawRuleStrip(*valueStrip_, TRuleChannel::Value, LevelStripHalf(p));
}

// --- Suggestion -------------------------------------------------------------------

void TGrowPartDialog::SuggestSettings(int halfWidth) {
    StopWalk();
    {
        TGraphicsLockGuard lock;
        const THSVValues result = SuggestTolerance(source_, seed_, halfWidth);
        // A track bar whose position changes redraws its label and strip.
        hueTolerance_->setValue(result.H);
        saturationTolerance_->setValue(result.S);
        valueTolerance_->setValue(result.V);
    }
    RestartWalk();
}
