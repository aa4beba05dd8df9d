#pragma once
// "Color settings": edits the recolour settings of the selected image parts,
// with the original and the live-recoloured part side by side, and solves for
// the settings that take an original colour to a goal colour ("GO!").
//
// Created once and reused. Use: Prepare (when a part is selected), exec, and on
// OK GetSettings. The swatches, the averaging box and the toggle buttons keep
// their state between uses.

#include "colour/ColourProfile.h"
#include "colour/HSV.h"
#include "dialogs/ColourChooser.h"
#include "platform/Bitmap.h"
#include "recolour/ImagePart.h"
#include "recolour/TintwellSettings.h"

#include <QDialog>
#include <QFrame>
#include <QPoint>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QToolButton;
class TnvOffscreenPaint;

// A framed colour swatch that fills itself with its colour.
// A colour field, or the sign for no colour (a diagonal line) until one is set.
class TColourSwatch : public QFrame {
    Q_OBJECT
  public:
    explicit TColourSwatch(tw::ColorValue color, QWidget* parent = nullptr);
    // No colour yet.
    explicit TColourSwatch(QWidget* parent = nullptr);
    tw::ColorValue Color() const { return color_; }
    bool HasColor() const { return hasColor_; }
    void SetColor(tw::ColorValue color);
    void Clear();

  signals:
    void ColorChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    tw::ColorValue color_ = tw::kWhite;
    bool hasColor_ = true;
};

class TColourSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kSampleSize = 145;

    explicit TColourSettingsDialog(QWidget* parent = nullptr);
    ~TColourSettingsDialog() override;

    // Binds the picture and the part (neither owned; both must outlive the
    // showing) and shows the settings. part may be null: nothing to preview.
    void Prepare(const TTintwellSettings& settings, const tw::Bitmap* picture, TImagePart* part);
    // The settings on screen.
    TTintwellSettings Settings();
    void ShowSettings(const TTintwellSettings& s);
    void ReadControls();
    // Copies the window at (X, Y) of the picture and of the part that the
    // previews show (at least kSampleSize square).
    void ExtractSamples(QPoint at);
    // The mean colour of the (2 radius + 1)^2 square at (x, y); a position
    // outside the bitmap counts with the nearest pixel inside. Black for null.
    static tw::ColorValue AverageColorAt(const tw::Bitmap* bitmap, int x, int y, int radius);

    // How the "..." buttons choose a colour: the standard colour dialog
    // unless replaced (tests); nullopt when the user cancels.
    void SetColourChooser(TColourChooser chooser) { chooseColour_ = std::move(chooser); }
    // The picture's colour profile: the preview takes colours stated in sRGB
    // into the picture's values, as the document recolours.
    void SetProfile(const TColourProfile& profile) { profile_ = profile; }

    const tw::Bitmap& OriginalSample() const { return originalSample_; }
    const tw::Bitmap& PartSample() const { return partSample_; }
    const tw::Bitmap& HueStrip() const { return hueStripBitmap_; }
    const TImagePart* BoundPart() const { return part_; }

    // The buttons' work.
    void ShowHueStrip();
    void SolveForGoal();
    void ResetSettings();
    void ChooseOriginalColour();
    void ChooseGoalColour();

  public slots:
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Controls; their object names are the keys of tests and screen readers.
    QGroupBox* settingsGroup_ = nullptr;
    QLabel* hueStrip_ = nullptr;
    QLabel* hueCaption_ = nullptr;
    QLabel* saturationCaption_ = nullptr;
    QLabel* valueCaption_ = nullptr;
    QSlider* hue_ = nullptr;
    QLabel* hueNumber_ = nullptr; // the hue track bar's number
    QSlider* saturationTint_ = nullptr;
    QSlider* valueTint_ = nullptr;
    QLabel* saturationPercent_ = nullptr;
    QLabel* valuePercent_ = nullptr;
    QGroupBox* hueModes_ = nullptr;
    QRadioButton* changeHue_ = nullptr;
    QRadioButton* shiftHue_ = nullptr;
    QRadioButton* keepHue_ = nullptr;
    QRadioButton* matchColour_ = nullptr;
    QCheckBox* avoidSingularities_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QLabel* originalCaption_ = nullptr;
    QLabel* partCaption_ = nullptr;
    QScrollArea* originalArea_ = nullptr;
    TnvOffscreenPaint* originalPreview_ = nullptr;
    QScrollArea* partArea_ = nullptr;
    TnvOffscreenPaint* partPreview_ = nullptr;
    QLabel* dragHint_ = nullptr;
    QLabel* hsvAtMouse_ = nullptr;
    QGroupBox* goalGroup_ = nullptr;
    QCheckBox* fivePointAverage_ = nullptr;
    QToolButton* pickOriginal_ = nullptr;
    QToolButton* pickGoal_ = nullptr;
    QToolButton* chooseOriginal_ = nullptr;
    QToolButton* chooseGoal_ = nullptr;
    TColourSwatch* originalSwatch_ = nullptr;
    TColourSwatch* goalSwatch_ = nullptr;
    QLabel* originalLabel_ = nullptr;
    QLabel* goalLabel_ = nullptr;
    QPushButton* goButton_ = nullptr;
    // After "GO!" from a grey original: the goal is out of reach; what the
    // settings give instead. Hidden otherwise.
    QLabel* unreachableText_ = nullptr;
    TColourSwatch* reachedSwatch_ = nullptr;
    QPushButton* useMatch_ = nullptr;
    QLineEdit* goalHex_ = nullptr;
    // The goal was stated in sRGB (typed or chosen), not picked from the picture.
    bool goalSrgb_ = true;
    // The original was picked or chosen by the user since the dialog opened.
    bool originalChosen_ = false;
    // The original the user gave for Match colour (in the settings, picked or chosen).
    std::optional<TGivenColour> givenFrom_;
    std::optional<tw::ColorValue> matchReference_;
    bool matchReferenceKnown_ = false;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;

    TColourChooser chooseColour_;

    TColourProfile profile_;

    void BuildControls();
    // The controls a mode does not use are disabled: hue and tints in Match colour.
    void ShowModeControls();
    void ShowPercentages();
    void ShowUnreachableGoal(bool show);
    void PaintOriginalPreview();
    void PaintPartPreview();
    void PreviewMouseDown(TnvOffscreenPaint& box, int X, int Y);
    void PreviewMouseMove(TnvOffscreenPaint& box, bool leftDown, int X, int Y);
    void PreviewClick(TnvOffscreenPaint& box);
    void PreviewScrolled(QScrollArea* from);
    void ScrollTo(QScrollArea* box, QPoint at);
    void ScrollToPendingCentre();
    // The middle of the part's pixels (its anchor when it has none).
    static QPoint PartCentre(const TImagePart& part);
    // The colour the part stands for: the colour a grown part was grown from,
    // else the mean of the picture under the part; none for an empty part.
    // The middle of the part's colours (the median in L*a*b*), none for a part without pixels.
    static std::optional<tw::ColorValue> MatchReference(const TImagePart& part, const tw::Bitmap& picture);
    // The original swatch shows what the mode starts from, unless the user gave one.
    void ShowOriginalForMode();
    static std::optional<tw::ColorValue> ReferenceColor(const TImagePart& part, const tw::Bitmap& picture);
    QScrollArea* AreaOf(const TnvOffscreenPaint& box) const;
    const tw::Bitmap* SampleOf(const TnvOffscreenPaint& box) const;
    void ReleasePart();
    std::optional<tw::ColorValue> ChooseColor(tw::ColorValue initial);

    const tw::Bitmap* picture_ = nullptr;
    TImagePart* part_ = nullptr;
    tw::Bitmap originalSample_;
    tw::Bitmap partSample_;
    tw::Bitmap hueStripBitmap_;
    TTintwellSettings settings_;
    int32_t downX_ = 0;
    int32_t downY_ = 0;
    TnvOffscreenPaint* downBox_ = nullptr;
    QPoint originalScroll_;
    QPoint partScroll_;
    // Prepare's scroll to the part's centre waits until the boxes have their size.
    std::optional<QPoint> pendingCentre_;
    bool syncingScroll_ = false;
    // Grab and drag: where the press was on screen, the scroll position then,
    // and whether the mouse has moved far enough for a drag (not a click).
    QPoint dragStartGlobal_;
    QPoint dragStartScroll_;
    bool dragging_ = false;
    bool dragged_ = false;
};
