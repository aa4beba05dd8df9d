#pragma once
// "Color mask generation": grows a mask from a clicked pixel on a worker thread,
// shows it growing in a zoomed preview, lets the user change the tolerance rules
// and restart, suggests tolerances from the seed's neighbourhood and hands the
// finished mask to the main window ("Add this").
//
// Created once and reused; the check boxes, track bars and blink setting keep
// their state from one showing to the next.

#include "colour/ColourStrips.h"
#include "colour/HSV.h"
#include "fullsize/PartGrowth.h"
#include "masking/BitmapWalkerThread.h"
#include "platform/Bitmap.h"
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
class QTabWidget;
class QTimer;
class TnvOffscreenPaint;
namespace tw {
class Thread;
}

// An image that shows a bitmap at its top-left corner and reports resizes, so
// that its owner can redraw the bitmap for the new width.
class TStripImage : public QWidget {
    Q_OBJECT
  public:
    explicit TStripImage(QWidget* parent = nullptr);
    void SetPicture(const tw::Bitmap& picture);
    const tw::Bitmap& Picture() const { return picture_; }
    std::function<void()> OnResize;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    tw::Bitmap picture_;
};

class TFormSelection : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSelection(QWidget* parent = nullptr);
    ~TFormSelection() override;

    // Takes a copy of the picture and shows the dialog modally; the walk starts
    // once the dialog is on screen. seed: both corners are the clicked pixel
    // (only the top-left one is used). viewPoint: the click in the main view's
    // zoomed coordinates. zoomIndex: the main view's zoom (ZoomFactor index).
    void ShowFor(const tw::Bitmap& picture, const QRect& seed, QPoint viewPoint,
                 const TTintwellSettings& settings, uint8_t zoomIndex);
    // Everything ShowFor does before it shows the dialog.
    void Load(const tw::Bitmap& picture, const QRect& seed, QPoint viewPoint,
              const TTintwellSettings& settings, uint8_t zoomIndex);

    // "Add this": the mask (white = outside) and the click in picture pixels,
    // the new part's anchor.
    std::function<void(const tw::Bitmap& mask, QPoint anchor)> OnAddImagePart;
    // How the mask was grown: set once a walk has run to its end, none while
    // walking or after a walk was stopped (its mask is then only part of what
    // the rules admit).
    const std::optional<TPartGrowth>& Growth() const { return Growth_; }

    // The rules the controls show.
    TWalkerRules Rules() const;
    void SetRules(const TWalkerRules& rules);

    void StartWalk();
    void SuggestSettings(int halfWidth);
    // Closing is allowed only while no walk is registered.
    bool FormCloseQuery() const;
    bool Walking() const { return Walker != nullptr; }

    // Where a scroll bar goes to centre a point: position 0 unless the point
    // minus half the box lies strictly inside (0, range), then that, limited
    // to range - box. range is the whole scrolled extent.
    static int CenteredPosition(int point, int boxSize, int range);

    // Half the span a rule's strip shows, from the track bar position.
    static int32_t HueStripHalf(int position) { return Round(position * 360 / 200.0); }
    static int32_t LevelStripHalf(int position) { return Round(position * 255 / 200.0); }

    const tw::Bitmap& Source() const { return Source_; }
    const tw::Bitmap& Mask() const { return Mask_; }
    QPoint Seed() const { return Seed_; }
    TColorValue SeedColor() const { return SeedColor_; }
    bool ShowPictureBehind() const { return ShowPictureBehind_; }

    // Controls, by their names in the help pages.
    QCheckBox* CBBlinkOrg = nullptr;
    QPushButton* ButtonRestart = nullptr;
    QPushButton* ButtonStopThread = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QCheckBox* CBCompareNeighbour = nullptr;
    QCheckBox* CB9ValueAverage = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CBHue = nullptr;
    QSlider* TrackHue = nullptr;
    QLabel* LabelHue = nullptr;
    TStripImage* ImageHue = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* CBSaturation = nullptr;
    QSlider* TrackBarSaturation = nullptr;
    QLabel* LabelSaturation = nullptr;
    TStripImage* ImageSat = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QCheckBox* CBValue = nullptr;
    QSlider* TrackBarValue = nullptr;
    QLabel* LabelValue = nullptr;
    TStripImage* ImageVal = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    TnvOffscreenPaint* Preview = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* ButtonAdvanced = nullptr;
    QTimer* Timer1 = nullptr;

    void ButtonStopThreadClick();
    void ButtonRestartClick();
    void ButtonAddClick();
    void Timer1Timer();
    void CBBlinkOrgClick();

  public slots:
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    QGroupBox* BuildRuleGroup(const QString& title, QCheckBox*& use, QSlider*& track, QLabel*& label,
                              TStripImage*& strip, int position);
    void PreviewPaint();
    void CenterOnViewPoint();
    void WalkProgress(TBitmapWalkerThread* sender);
    void WalkEnded(tw::Thread* sender);
    void SetWalkingButtons(bool walking);
    void DrawHueRule();
    void DrawSaturationRule();
    void DrawValueRule();
    void DrawRuleStrip(TStripImage& image, TRuleChannel channel, int32_t half);

    tw::Bitmap Source_;
    tw::Bitmap Mask_;
    QPoint Seed_;
    TBitmapWalkerThread* Walker = nullptr;
    bool ShowPictureBehind_ = false;
    TColorValue SeedColor_ = 0;
    TWalkerRules Rules_;
    std::optional<TPartGrowth> Growth_;
    TTintwellSettings Settings;
    QPoint ViewPoint;
    bool CenterPending = false;
    uint8_t ZoomIndex = 4;
};
