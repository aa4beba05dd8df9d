#pragma once
// "Color settings": edits the recolour settings of the selected image parts,
// with the original and the live-recoloured part side by side, and solves for
// the settings that take an original colour to a goal colour ("GO!").
//
// Created once and reused. Use: Prepare (when a part is selected), exec, and on
// OK GetSettings. The swatches, the averaging box and the toggle buttons keep
// their state between uses.

#include "colour/HSV.h"
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
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QToolButton;
class TnvOffscreenPaint;

// A framed colour swatch that fills itself with its colour.
// A colour field, or the sign for no colour (a diagonal line) until one is set.
class TColorSwatch : public QFrame {
    Q_OBJECT
  public:
    explicit TColorSwatch(tw::ColorValue color, QWidget* parent = nullptr);
    // No colour yet.
    explicit TColorSwatch(QWidget* parent = nullptr);
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

class TFormColorSettings : public QDialog {
    Q_OBJECT
  public:
    static constexpr int SampleSize = 145;

    explicit TFormColorSettings(QWidget* parent = nullptr);
    ~TFormColorSettings() override;

    // Binds the picture and the part (neither owned; both must outlive the
    // showing) and shows the settings. part may be null: nothing to preview.
    void Prepare(const TTintwellSettings& settings, const tw::Bitmap* picture, TImagePart* part);
    // The settings on screen.
    void GetSettings(TTintwellSettings& s);
    void ShowSettings(const TTintwellSettings& s);
    void ReadControls();
    // Copies the window at (X, Y) of the picture and of the part that the
    // previews show (at least SampleSize square).
    void ExtractSamples(QPoint at);
    // The mean colour of the (2 radius + 1)^2 square at (x, y); a position
    // outside the bitmap counts with the nearest pixel inside. Black for null.
    static tw::ColorValue AverageColorAt(const tw::Bitmap* bitmap, int x, int y, int radius);

    // Chooses a colour (the standard colour dialog unless replaced); nullopt
    // when the user cancels.
    std::function<std::optional<tw::ColorValue>(tw::ColorValue initial)> OnChooseColor;

    const tw::Bitmap& OrgSample() const { return OrgSample_; }
    const tw::Bitmap& NewSample() const { return NewSample_; }
    const tw::Bitmap& HueStrip() const { return HueStrip_; }
    const TImagePart* BoundPart() const { return Part; }

    // Controls, by their names in the help pages.
    QGroupBox* GroupBox1 = nullptr;
    QLabel* ImageHue = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QSlider* TrackHue = nullptr;
    QLabel* LabelHueValue = nullptr; // the hue track bar's number
    QSlider* TrackBarSaturation = nullptr;
    QSlider* TrackBarValue = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QGroupBox* RGHue = nullptr;
    QRadioButton* RGHueChange = nullptr;
    QRadioButton* RGHueShift = nullptr;
    QRadioButton* RGHueKeep = nullptr;
    QCheckBox* CBAvoidSing = nullptr;
    QPushButton* ButtonReset = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QScrollArea* ScrollBoxOrg = nullptr;
    TnvOffscreenPaint* PaintBoxOrg = nullptr;
    QScrollArea* ScrollBoxNew = nullptr;
    TnvOffscreenPaint* PaintBoxNew = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* LabelHSVATMouse = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* CheckBox5pointavg = nullptr;
    QToolButton* ToolButtonOrgColor = nullptr;
    QToolButton* ToolButtonGoalColor = nullptr;
    QToolButton* ToolButtonOrgColorPick = nullptr;
    QToolButton* ToolButtonGoalPick = nullptr;
    TColorSwatch* PanelOrgColor = nullptr;
    TColorSwatch* PanelGoalColor = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* ButtonChangeTo = nullptr;
    // After "GO!" from a grey original: the goal is out of reach; what the
    // settings give instead. Hidden otherwise.
    QLabel* LabelUnreachable = nullptr;
    TColorSwatch* PanelReachedColor = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    void TrackHueChange();
    void ButtonChangeToClick();
    void ButtonResetClick();
    void ToolButtonOrgColorPickClick();
    void ToolButtonGoalPickClick();

  public slots:
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void PercentLabelsChange();
    void ShowUnreachableGoal(bool show);
    void PaintBoxOrgPaint();
    void PaintBoxNewPaint();
    void PaintBoxMouseDown(TnvOffscreenPaint& box, int X, int Y);
    void PaintBoxMouseMove(TnvOffscreenPaint& box, bool leftDown, int X, int Y);
    void PaintBoxNewClick(TnvOffscreenPaint& box);
    void PreviewScrolled(QScrollArea* from);
    void ScrollTo(QScrollArea* box, QPoint at);
    void ScrollToPendingCentre();
    // The middle of the part's pixels (its anchor when it has none).
    static QPoint PartCentre(const TImagePart& part);
    // The colour the part stands for: the colour a grown part was grown from,
    // else the mean of the picture under the part; none for an empty part.
    static std::optional<tw::ColorValue> ReferenceColor(const TImagePart& part, const tw::Bitmap& picture);
    QScrollArea* ScrollBoxOf(const TnvOffscreenPaint& box) const;
    const tw::Bitmap* SampleOf(const TnvOffscreenPaint& box) const;
    void FormClose();
    std::optional<tw::ColorValue> ChooseColor(tw::ColorValue initial);

    const tw::Bitmap* Picture = nullptr;
    TImagePart* Part = nullptr;
    tw::Bitmap OrgSample_;
    tw::Bitmap NewSample_;
    tw::Bitmap HueStrip_;
    TTintwellSettings Settings;
    int32_t DownX = 0;
    int32_t DownY = 0;
    TnvOffscreenPaint* DownBox = nullptr;
    QPoint OrgScroll;
    QPoint NewScroll;
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
