#include "masking/Modal_Selection.h"

#include "colour/ThreadSafeBitmap.h"
#include "grid/nvOffscreenPaint.h"
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
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

// --- TStripImage --------------------------------------------------------------

TStripImage::TStripImage(QWidget* parent) : QWidget(parent) {
    setFixedHeight(8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(1);
}

void TStripImage::SetPicture(const tw::Bitmap& picture) {
    picture_ = picture;
    update();
}

void TStripImage::paintEvent(QPaintEvent*) {
    if (picture_.IsEmpty()) return;
    QPainter p(this);
    p.drawImage(0, 0, picture_.Image());
}

void TStripImage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize) OnResize();
}

// --- TFormSelection -----------------------------------------------------------

TFormSelection::TFormSelection(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Color mask generation");
    // A sizeable tool window: small title bar, no minimise or maximise.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    BuildControls();
    resize(599, 499);

    Preview->SetColor(tw::kWhite);
    Preview->OnPaint = [this](TnvOffscreenPaint&) { PreviewPaint(); };

    Timer1 = new QTimer(this);
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, &TFormSelection::Timer1Timer);

    DrawHueRule();
    DrawSaturationRule();
    DrawValueRule();
}

TFormSelection::~TFormSelection() {
    TDeferredCalls::CancelAll(this);
    // The walk reads Source and writes Mask, both ours: let it finish first. Its
    // synchronised calls run here, so this cannot deadlock.
    if (Walker) {
        Walker->Terminate();
        while (Walker)
            tw::CheckSynchronize(50);
    }
}

QGroupBox* TFormSelection::BuildRuleGroup(const QString& title, QCheckBox*& use, QSlider*& track,
                                          QLabel*& label, TStripImage*& strip, int position) {
    auto* group = new QGroupBox(title, TabSheet1);
    group->setFixedHeight(90);
    use = new QCheckBox("Use", group);
    use->setChecked(true);
    track = new QSlider(Qt::Horizontal, group);
    track->setRange(0, 100);
    track->setValue(position);
    track->setPageStep(10);
    track->setTickPosition(QSlider::TicksBelow);
    track->setTickInterval(5);
    label = new QLabel(group);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("100 % deviation") + 4);
    strip = new TStripImage(group);

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

void TFormSelection::BuildControls() {
    PageControl1 = new QTabWidget(this);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet1, "Settings");
    PageControl1->addTab(TabSheet2, "Coloring mask");

    // Page "Settings".
    CBCompareNeighbour = new QCheckBox("Compare to neighbour (click point if unchecked)", TabSheet1);
    CB9ValueAverage = new QCheckBox("Use 9 value average in comparison", TabSheet1);
    GroupBox1 = BuildRuleGroup("Hue rule", CBHue, TrackHue, LabelHue, ImageHue, 5);
    GroupBox2 =
        BuildRuleGroup("Saturation rule", CBSaturation, TrackBarSaturation, LabelSaturation, ImageSat, 40);
    GroupBox3 = BuildRuleGroup("Value rule", CBValue, TrackBarValue, LabelValue, ImageVal, 40);
    auto* settings = new QVBoxLayout(TabSheet1);
    settings->addWidget(CBCompareNeighbour);
    settings->addWidget(CB9ValueAverage);
    settings->addWidget(GroupBox1);
    settings->addWidget(GroupBox2);
    settings->addWidget(GroupBox3);
    settings->addStretch(1);

    connect(TrackHue, &QSlider::valueChanged, this, [this] { DrawHueRule(); });
    connect(TrackBarSaturation, &QSlider::valueChanged, this, [this] { DrawSaturationRule(); });
    connect(TrackBarValue, &QSlider::valueChanged, this, [this] { DrawValueRule(); });
    ImageHue->OnResize = [this] { DrawHueRule(); };
    ImageSat->OnResize = [this] { DrawSaturationRule(); };
    ImageVal->OnResize = [this] { DrawValueRule(); };

    // Page "Coloring mask".
    ScrollBox1 = new QScrollArea(TabSheet2);
    ScrollBox1->setBackgroundRole(QPalette::Base);
    QPalette white = ScrollBox1->palette();
    white.setColor(QPalette::Base, Qt::white);
    ScrollBox1->setPalette(white);
    ScrollBox1->setWidgetResizable(false);
    Preview = new TnvOffscreenPaint;
    Preview->resize(1, 1);
    ScrollBox1->setWidget(Preview);
    GroupBox4 = new QGroupBox("Suggest setting by analyzing neighbourhood", TabSheet2);
    Button1 = new QPushButton("7x7 pixels", GroupBox4);
    Button2 = new QPushButton("21x21 pixels", GroupBox4);
    Button3 = new QPushButton("51x51 pixels", GroupBox4);
    Button4 = new QPushButton("101x101 pixels", GroupBox4);
    ButtonAdvanced = new QPushButton("Advanced", GroupBox4);
    auto* suggest = new QHBoxLayout(GroupBox4);
    for (QPushButton* b : {Button1, Button2, Button3, Button4}) {
        b->setAutoDefault(false);
        suggest->addWidget(b);
    }
    suggest->addStretch(1);
    ButtonAdvanced->setAutoDefault(false);
    suggest->addWidget(ButtonAdvanced);
    auto* mask = new QVBoxLayout(TabSheet2);
    mask->addWidget(ScrollBox1, 1);
    mask->addWidget(GroupBox4);

    // The bottom panel.
    auto* panel = new QWidget(this);
    panel->setFixedHeight(41);
    CBBlinkOrg = new QCheckBox("Blink orginal Image", panel);
    ButtonRestart = new QPushButton("Restart", panel);
    ButtonStopThread = new QPushButton("Stop", panel);
    ButtonCancel = new QPushButton("Cancel", panel);
    ButtonAdd = new QPushButton("Add this", panel);
    ButtonRestart->setAutoDefault(false);
    ButtonStopThread->setAutoDefault(false);
    ButtonCancel->setAutoDefault(false);
    ButtonAdd->setDefault(true);
    auto* bottom = new QHBoxLayout(panel);
    bottom->setContentsMargins(8, 0, 8, 0);
    bottom->addWidget(CBBlinkOrg);
    bottom->addSpacing(8);
    bottom->addWidget(ButtonRestart);
    bottom->addWidget(ButtonStopThread);
    bottom->addStretch(1);
    bottom->addWidget(ButtonCancel);
    bottom->addWidget(ButtonAdd);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(4, 4, 4, 0);
    form->setSpacing(0);
    form->addWidget(PageControl1, 1);
    form->addWidget(panel);

    PageControl1->setCurrentWidget(TabSheet2);
    SetWalkingButtons(false);

    connect(CBBlinkOrg, &QCheckBox::clicked, this, &TFormSelection::CBBlinkOrgClick);
    connect(ButtonRestart, &QPushButton::clicked, this, &TFormSelection::ButtonRestartClick);
    connect(ButtonStopThread, &QPushButton::clicked, this, &TFormSelection::ButtonStopThreadClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormSelection::reject);
    connect(ButtonAdd, &QPushButton::clicked, this, &TFormSelection::ButtonAddClick);
    connect(ButtonAdvanced, &QPushButton::clicked, this,
            [this] { PageControl1->setCurrentWidget(TabSheet1); });
    // Half widths of the sampled squares; the largest samples 201 x 201.
    connect(Button1, &QPushButton::clicked, this, [this] { SuggestSettings(3); });
    connect(Button2, &QPushButton::clicked, this, [this] { SuggestSettings(10); });
    connect(Button3, &QPushButton::clicked, this, [this] { SuggestSettings(25); });
    connect(Button4, &QPushButton::clicked, this, [this] { SuggestSettings(100); });
}

// --- Showing ------------------------------------------------------------------

void TFormSelection::Load(const tw::Bitmap& picture, const QRect& seed, QPoint viewPoint,
                          const TTintwellSettings& settings, uint8_t zoomIndex) {
    // A new picture may only arrive while no walk reads the old one.
    if (Walker) return;
    Source_ = picture; // an independent copy; the pixel format is already 24-bit RGB
    Seed_ = seed.topLeft();
    // A click on the last zoomed column can round one pixel past the edge; the
    // walk clamps its seed, and so does the dialog for the seed colour and the
    // sampled square.
    if (!Source_.IsEmpty()) {
        Seed_.setX(std::clamp(Seed_.x(), 0, Source_.Width() - 1));
        Seed_.setY(std::clamp(Seed_.y(), 0, Source_.Height() - 1));
    }
    // Known before the first walk starts, so that the strips and a suggestion
    // made in the meantime are about this seed.
    SeedColor_ = Source_.Pixel(Seed_.x(), Seed_.y());
    Settings = settings;
    ViewPoint = viewPoint;
    ZoomIndex = zoomIndex;
    const double z = tw::ZoomFactor(ZoomIndex);
    Preview->resize(std::max(1, Round(Source_.Width() * z)), std::max(1, Round(Source_.Height() * z)));
    {
        TGraphicsLockGuard lock;
        Mask_ = tw::Bitmap(Source_.Width(), Source_.Height(), tw::kWhite);
    }
    CenterPending = true;
    DrawHueRule();
    DrawSaturationRule();
    DrawValueRule();
}

void TFormSelection::ShowFor(const tw::Bitmap& picture, const QRect& seed, QPoint viewPoint,
                             const TTintwellSettings& settings, uint8_t zoomIndex) {
    Load(picture, seed, viewPoint, settings, zoomIndex);
    exec();
}

void TFormSelection::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) TDeferredCalls::Queue(this, &TFormSelection::StartWalk);
}

TWalkerRules TFormSelection::Rules() const {
    TWalkerRules rules;
    rules.UseHue = CBHue->isChecked();
    rules.UseSaturation = CBSaturation->isChecked();
    rules.UseValue = CBValue->isChecked();
    rules.HueDeviation = TrackHue->value();
    rules.SaturationDeviation = TrackBarSaturation->value();
    rules.ValueDeviation = TrackBarValue->value();
    rules.CompareToNeighbour = CBCompareNeighbour->isChecked();
    rules.NineValueAverage = CB9ValueAverage->isChecked();
    return rules;
}

void TFormSelection::SetRules(const TWalkerRules& rules) {
    CBHue->setChecked(rules.UseHue);
    CBSaturation->setChecked(rules.UseSaturation);
    CBValue->setChecked(rules.UseValue);
    TrackHue->setValue(rules.HueDeviation);
    TrackBarSaturation->setValue(rules.SaturationDeviation);
    TrackBarValue->setValue(rules.ValueDeviation);
    CBCompareNeighbour->setChecked(rules.CompareToNeighbour);
    CB9ValueAverage->setChecked(rules.NineValueAverage);
}

// --- Walking ------------------------------------------------------------------

void TFormSelection::StartWalk() {
    PageControl1->setCurrentWidget(TabSheet2);
    if (Walker || Source_.IsEmpty()) return;
    {
        TGraphicsLockGuard lock;
        Mask_ = tw::Bitmap(Source_.Width(), Source_.Height(), tw::kWhite);
    }
    const TWalkerRules rules = Rules();

    SeedColor_ = Source_.Pixel(Seed_.x(), Seed_.y());
    Rules_ = rules;
    Growth_.reset();
    DrawHueRule();
    DrawSaturationRule();
    DrawValueRule();

    Walker = new TBitmapWalkerThread(Source_, tw::ZoomFactor(ZoomIndex), Settings, rules, Seed_, Mask_);
    Walker->FreeOnTerminate = true;
    Walker->OnTerminate = [this](tw::Thread* t) { WalkEnded(t); };
    Walker->OnProgress = [this](TBitmapWalkerThread* t) { WalkProgress(t); };
    Walker->SetIdlePriority();
    SetWalkingButtons(true);
    Preview->Invalidate();
    Walker->Resume();
}

void TFormSelection::WalkProgress(TBitmapWalkerThread*) {
    Preview->Invalidate();
}

void TFormSelection::WalkEnded(tw::Thread* sender) {
    if (sender != Walker) return;
    if (!sender->Terminated()) Growth_ = TPartGrowth::FromWalk(Source_, Seed_, Rules_);
    Walker = nullptr;
    SetWalkingButtons(false);
    Preview->Invalidate();
}

void TFormSelection::SetWalkingButtons(bool walking) {
    ButtonCancel->setEnabled(!walking);
    ButtonAdd->setEnabled(!walking);
    ButtonRestart->setEnabled(!walking);
    ButtonStopThread->setEnabled(walking);
}

void TFormSelection::ButtonStopThreadClick() {
    if (!Walker) return;
    Walker->Terminate();
    ButtonStopThread->setEnabled(false);
}

void TFormSelection::ButtonRestartClick() {
    if (!Walker) StartWalk();
    PageControl1->setCurrentWidget(TabSheet2);
}

void TFormSelection::ButtonAddClick() {
    if (Walker) return;
    // The part keeps its anchor in picture pixels, whatever the zoom of the click.
    const double z = tw::ZoomFactor(ZoomIndex);
    const QPoint anchor(Round(ViewPoint.x() / z), Round(ViewPoint.y() / z));
    if (OnAddImagePart) OnAddImagePart(Mask_, anchor);
    accept();
}

bool TFormSelection::FormCloseQuery() const {
    return ButtonCancel->isEnabled() && !Walker;
}

void TFormSelection::reject() {
    if (FormCloseQuery()) QDialog::reject();
}

void TFormSelection::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

// --- Blinking -----------------------------------------------------------------

void TFormSelection::Timer1Timer() {
    ShowPictureBehind_ = !ShowPictureBehind_;
    Preview->Invalidate();
}

void TFormSelection::CBBlinkOrgClick() {
    const bool on = CBBlinkOrg->isChecked();
    if (on)
        Timer1->start();
    else
        Timer1->stop();
    ShowPictureBehind_ = on;
    Preview->Invalidate();
}

// --- The preview ----------------------------------------------------------------

void TFormSelection::PreviewPaint() {
    tw::ScrollBoxState box;
    box.HorzVisible = ScrollBox1->horizontalScrollBar()->isVisible();
    box.HorzPosition = ScrollBox1->horizontalScrollBar()->value();
    box.VertVisible = ScrollBox1->verticalScrollBar()->isVisible();
    box.VertPosition = ScrollBox1->verticalScrollBar()->value();
    box.Width = ScrollBox1->viewport()->width();
    box.Height = ScrollBox1->viewport()->height();
    if (ShowPictureBehind_)
        tw::PaintZoomed(box, {&Source_, &Mask_}, ZoomIndex, Preview->PaintCanvas());
    else
        tw::PaintZoomed(box, {&Mask_}, ZoomIndex, Preview->PaintCanvas());

    if (CenterPending) {
        CenterPending = false;
        // Scrolling moves the surface being painted: do it once this paint is done.
        QTimer::singleShot(0, this, &TFormSelection::CenterOnViewPoint);
    }
}

int TFormSelection::CenteredPosition(int point, int boxSize, int range) {
    const int x = point - boxSize / 2;
    if (0 < x && x < range) return std::min(x, range - boxSize);
    return 0;
}

void TFormSelection::CenterOnViewPoint() {
    QScrollBar* h = ScrollBox1->horizontalScrollBar();
    if (h->isVisible())
        h->setValue(CenteredPosition(ViewPoint.x(), ScrollBox1->viewport()->width(), Preview->width()));
    QScrollBar* v = ScrollBox1->verticalScrollBar();
    if (v->isVisible())
        v->setValue(CenteredPosition(ViewPoint.y(), ScrollBox1->viewport()->height(), Preview->height()));
}

// --- Rule labels and strips ---------------------------------------------------

void TFormSelection::DrawRuleStrip(TStripImage& image, TRuleChannel channel, int32_t half) {
    const tw::Bitmap strip = RuleStrip(channel, SeedColor_, half, image.width(), image.height());
    if (!strip.IsEmpty()) image.SetPicture(strip);
}

void TFormSelection::DrawHueRule() {
    const int p = TrackHue->value();
    LabelHue->setText(QString::number(p) + " % deviation");
    DrawRuleStrip(*ImageHue, TRuleChannel::Hue, HueStripHalf(p));
}

void TFormSelection::DrawSaturationRule() {
    const int p = TrackBarSaturation->value();
    LabelSaturation->setText(QString::number(p) + " % deviation");
    DrawRuleStrip(*ImageSat, TRuleChannel::Saturation, LevelStripHalf(p));
}

void TFormSelection::DrawValueRule() {
    const int p = TrackBarValue->value();
    LabelValue->setText(QString::number(p) + " % deviation");
    DrawRuleStrip(*ImageVal, TRuleChannel::Value, LevelStripHalf(p));
}

// --- Suggestion -------------------------------------------------------------------

void TFormSelection::SuggestSettings(int halfWidth) {
    ButtonStopThreadClick();
    {
        TGraphicsLockGuard lock;
        const THSVValues result = SuggestTolerance(Source_, Seed_, halfWidth);
        // A track bar whose position changes redraws its label and strip.
        TrackHue->setValue(result.H);
        TrackBarSaturation->setValue(result.S);
        TrackBarValue->setValue(result.V);
    }
    ButtonRestartClick();
}
