#pragma once
// "Color mask generation": grows a mask from a clicked pixel on a worker thread,
// shows it growing in a zoomed preview, lets the user change the tolerance rules
// and restart, suggests tolerances from the seed's neighbourhood and hands the
// finished mask to the main window ("Add this").
//
// Created once and reused; the check boxes, track bars and blink setting keep
// their state from one showing to the next. A changed rule regrows the part by
// itself once the controls have been still for RegrowPause.

#include "colour/ColourStrips.h"
#include "colour/HSV.h"
#include "masking/PartGrower.h"
#include "platform/Bitmap.h"
#include "platform/ZoomedPainter.h"
#include "recolour/PartGrowth.h"
#include "recolour/TintwellSettings.h"

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTimer;
class TnvOffscreenPaint;
namespace tw {
class Thread;
}

// An image that shows a bitmap at its top-left corner and reports resizes, so
// that its owner can redraw the bitmap for the new width.
class TRuleStripImage : public QWidget {
    Q_OBJECT
  public:
    explicit TRuleStripImage(QWidget* parent = nullptr);
    void SetPicture(const tw::Bitmap& picture);
    const tw::Bitmap& Picture() const { return picture_; }
    std::function<void()> OnResize;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    tw::Bitmap picture_;
};

// What the grown region is for: a new part, or joined into or taken out of the
// current part. The dialog opens ready for it (its default button).
enum class TGrowTarget { NewPart, AddToPart, RemoveFromPart };

class TGrowPartDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TGrowPartDialog(QWidget* parent = nullptr);
    ~TGrowPartDialog() override;

    // Takes a copy of the picture and shows the dialog modally; the walk starts
    // once the dialog is on screen. seed: the clicked pixel. viewPoint: the
    // click in the main view's zoomed coordinates. zoomStep: the main view's
    // zoom step (tw::ZoomFactor), which the preview shows too.
    // hasCurrentPart: whether "Add to current part" and "Remove from current
    // part" have a part to act on; target: the button ready for Enter.
    void ShowFor(const tw::Bitmap& picture, QPoint seed, QPoint viewPoint, const TTintwellSettings& settings,
                 int zoomStep, bool hasCurrentPart = false, TGrowTarget target = TGrowTarget::NewPart);
    // Everything ShowFor does before it shows the dialog.
    void Load(const tw::Bitmap& picture, QPoint seed, QPoint viewPoint, const TTintwellSettings& settings,
              int zoomStep, bool hasCurrentPart = false, TGrowTarget target = TGrowTarget::NewPart);
    // How the mask was grown: set once a walk has run to its end, none while
    // walking or after a walk was stopped (its mask is then only part of what
    // the rules admit).
    const std::optional<TPartGrowth>& Growth() const { return growth_; }

    // The rules the controls show.
    TWalkerRules Rules() const;
    void SetRules(const TWalkerRules& rules);

    void StartWalk();
    // A rule changed: the walk starts again once the controls have been still
    // for RegrowPause (a running walk is stopped first).
    void ScheduleRegrow();
    static constexpr int RegrowPauseMs = 150;
    // The pixels in the part shown (so far, while walking).
    int64_t PixelCount() const { return pixelCount_; }
    void SuggestSettings(int halfWidth);
    // Closing is allowed only while no walk is registered.
    bool CanClose() const;
    bool Walking() const { return walker_ != nullptr; }

    // Where a scroll bar goes to centre a point: position 0 unless the point
    // minus half the box lies strictly inside (0, range), then that, limited
    // to range - box. range is the whole scrolled extent.
    static int CenteredPosition(int point, int boxSize, int range);

    // Half the span a rule's strip shows, from the track bar position.
    static int32_t HueStripHalf(int position) { return Round(position * 360 / 200.0); }
    static int32_t LevelStripHalf(int position) { return Round(position * 255 / 200.0); }

    const tw::Bitmap& Source() const { return source_; }
    const tw::Bitmap& Mask() const { return mask_; }
    QPoint Seed() const { return seed_; }
    TColorValue SeedColor() const { return seedColor_; }
    bool ShowPictureBehind() const { return showPictureBehind_; }

    // The buttons' work, also for the keyboard and tests.
    void StopWalk();
    void RestartWalk();
    void AddThis();
    void AddToPart();
    void RemoveFromPart();
    // The blink timer's tick: the picture behind the mask on or off.
    void Blink();

  signals:
    // "Add this": the mask (white = outside), the click in picture pixels (the
    // new part's anchor) and how the mask was grown (none when its walk was
    // stopped).
    void partAccepted(const tw::Bitmap& mask, QPoint anchor, const std::optional<TPartGrowth>& growth);
    // "Add to current part" (remove false) and "Remove from current part": the
    // grown mask (white = outside) and how it was grown.
    void partCombined(const tw::Bitmap& mask, const std::optional<TPartGrowth>& growth, bool remove);

  public slots:
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Controls; their object names are the keys of tests and screen readers.
    QCheckBox* blinkOriginal_ = nullptr;
    QPushButton* restartButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* addToPartButton_ = nullptr;
    QPushButton* removeFromPartButton_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QWidget* settingsPage_ = nullptr;
    QWidget* maskPage_ = nullptr;
    QCheckBox* compareToNeighbour_ = nullptr;
    QCheckBox* average9_ = nullptr;
    QCheckBox* anywhere_ = nullptr;
    QLabel* fillHolesText_ = nullptr;
    QSpinBox* fillHoles_ = nullptr;
    QLabel* pixelCountText_ = nullptr;
    QTimer* regrowTimer_ = nullptr;
    QGroupBox* hueRuleGroup_ = nullptr;
    QCheckBox* useHue_ = nullptr;
    QSlider* hueTolerance_ = nullptr;
    QLabel* hueToleranceText_ = nullptr;
    TRuleStripImage* hueStrip_ = nullptr;
    QGroupBox* saturationRuleGroup_ = nullptr;
    QCheckBox* useSaturation_ = nullptr;
    QSlider* saturationTolerance_ = nullptr;
    QLabel* saturationToleranceText_ = nullptr;
    TRuleStripImage* saturationStrip_ = nullptr;
    QGroupBox* valueRuleGroup_ = nullptr;
    QCheckBox* useValue_ = nullptr;
    QSlider* valueTolerance_ = nullptr;
    QLabel* valueToleranceText_ = nullptr;
    TRuleStripImage* valueStrip_ = nullptr;
    QScrollArea* previewArea_ = nullptr;
    TnvOffscreenPaint* preview_ = nullptr;
    QGroupBox* suggestGroup_ = nullptr;
    QPushButton* suggest7_ = nullptr;
    QPushButton* suggest21_ = nullptr;
    QPushButton* suggest51_ = nullptr;
    QPushButton* suggest101_ = nullptr;
    QPushButton* advancedButton_ = nullptr;
    QTimer* blinkTimer_ = nullptr;

    void BlinkToggled();
    void BuildControls();
    QGroupBox* BuildRuleGroup(const QString& title, QCheckBox*& use, QSlider*& track, QLabel*& label,
                              TRuleStripImage*& strip, int position);
    void PaintPreview();
    void CenterOnViewPoint();
    void WalkProgress(TBitmapWalkerThread* sender);
    void WalkEnded(tw::Thread* sender);
    void SetWalkingButtons(bool walking);
    void Regrow();
    void ShowPixelCount(int64_t count);
    void DrawHueRule();
    void DrawSaturationRule();
    void DrawValueRule();
    void DrawRuleStrip(TRuleStripImage& image, TRuleChannel channel, int32_t half);

    tw::Bitmap source_;
    tw::Bitmap mask_;
    QPoint seed_;
    TBitmapWalkerThread* walker_ = nullptr;
    bool showPictureBehind_ = false;
    TColorValue seedColor_ = 0;
    TPartGrowth walkGrowth_; // the running walk's, growth_ once it has run to its end
    std::optional<TPartGrowth> growth_;
    TTintwellSettings settings_;
    QPoint viewPoint_;
    bool centerPending_ = false;
    bool hasCurrentPart_ = false;
    bool regrowPending_ = false; // a stopped walk is followed by a new one
    int64_t pixelCount_ = 0;
    int zoomStep_ = tw::kZoom100Step;
};
