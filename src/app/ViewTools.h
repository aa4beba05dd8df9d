#pragma once
// What the mouse does on the picture view: one tool at a time. Fill asks for a
// part to be grown from the clicked pixel; Brush and Erase paint the
// document's current part, a press-to-release stroke being one step to undo.

#include <QPoint>
#include <QString>

class TPictureView;

class TViewTool {
  public:
    virtual ~TViewTool() = default;
    // The word drawn beside the cross.
    virtual QString Name() const = 0;
    // Points on the view's surface, in zoomed picture pixels.
    virtual void Press(TPictureView& view, QPoint at) = 0;
    virtual void Drag(TPictureView& view, QPoint at) = 0;
    virtual void Release(TPictureView& view) = 0;
    // A press and release without moving away.
    virtual void Click(TPictureView& view, QPoint at) = 0;
};

class TFillTool : public TViewTool {
  public:
    QString Name() const override;
    void Press(TPictureView&, QPoint) override {}
    void Drag(TPictureView&, QPoint) override {}
    void Release(TPictureView&) override {}
    void Click(TPictureView& view, QPoint at) override;
};

class TPaintTool : public TViewTool {
  public:
    explicit TPaintTool(bool erase) : erase_(erase) {}
    QString Name() const override;
    void Press(TPictureView& view, QPoint at) override;
    void Drag(TPictureView& view, QPoint at) override;
    void Release(TPictureView& view) override;
    void Click(TPictureView&, QPoint) override {}

  private:
    void Dab(TPictureView& view, QPoint at);
    const bool erase_;
};
