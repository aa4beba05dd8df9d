#pragma once
// "Colour Variants...": the list of colour variants a project keeps, for
// "Save Colour Variants..." and the batch tool to write. Each row is a name
// and a goal colour every part is matched to (typed as #rrggbb or chosen), or
// the parts' settings as they were when the row was added.

#include "dialogs/ColourChooser.h"
#include "recolour/ColourVariant.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

class TColourVariantsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit TColourVariantsDialog(QWidget* parent = nullptr);

    // The list to edit, and the parts' settings as they are now (what "Add
    // Current Settings" takes).
    void Prepare(const std::vector<TColourVariant>& variants, const std::vector<TTintwellSettings>& parts);
    // The list as edited; sound whenever OK is enabled.
    std::vector<TColourVariant> Variants() const;
    // The colour dialog, or a test's chooser.
    void SetColourChooser(TColourChooser chooser) { chooseColour_ = std::move(chooser); }

  private:
    enum TColumn { kName, kColour };

    void AddGoal();
    void AddCurrentSettings();
    void ChangeGoal();
    void RemoveSelected();
    // A row for the variant, selected.
    void AddRow(const TColourVariant& variant);
    void ShowColour(int row);
    // The list read back; the first problem shown, and OK enabled only without one.
    void Check();
    // A name not in the list yet: base, or base-2, base-3, ...
    QString FreeName(const QString& base) const;
    int SelectedRow() const;

    QTableWidget* table_ = nullptr;
    QPushButton* addGoal_ = nullptr;
    QPushButton* addCurrent_ = nullptr;
    QPushButton* changeGoal_ = nullptr;
    QPushButton* remove_ = nullptr;
    QLabel* problem_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;

    // The variants' settings per part, by row (empty for a goal).
    std::vector<std::vector<TTintwellSettings>> perPart_;
    std::vector<TTintwellSettings> parts_;
    TColourChooser chooseColour_;
    bool filling_ = false;
};
