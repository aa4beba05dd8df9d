#pragma once
// The parts list: a grid row per image part (its number and a thumbnail) that
// follows the document. The document owns the selection and the current part;
// the grid shows them, and a click or key in it changes them in the document.

#include <QObject>

class TImagePart;
class TnvGrid;
class TTintwellDocument;
class TVokCell;
class QWidget;

class TPartsList : public QObject {
    Q_OBJECT

  public:
    TPartsList(TTintwellDocument& document, QWidget* parent);
    ~TPartsList() override;

    TnvGrid* Grid() const { return grid_; }
    // The grid row of a part (the first part is row 1); -1 when not listed.
    int RowOf(const TImagePart* part) const;
    TImagePart* PartAt(int row) const;

  private:
    void InsertRow(int index, TImagePart* part);
    void RemoveRow(TImagePart* part);
    // The grid shows the document's selection and current part.
    void ShowSelection();
    // The user changed the grid's selection or focus: the document takes it.
    void TakeSelection();

    TTintwellDocument& document_;
    TnvGrid* grid_ = nullptr;
    // The grid is being set from the document: its events are ours.
    bool showing_ = false;
};
