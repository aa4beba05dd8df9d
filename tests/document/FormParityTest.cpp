// The document gives what the main window gives for the same edits: parts,
// view (the quick dab updates included) and result picture.
#include "app/Form_Main.h"
#include "cli/CliTestSupport.h"
#include "document/DocumentTestSupport.h"
#include "grid/nvDoLater.h"

#include <QAction>

#include <gtest/gtest.h>

#include <memory>

using namespace twtest;

namespace {

struct Pair {
    std::unique_ptr<TFormMain> form;
    TTintwellDocument doc;
    tw::Bitmap view; // the document side's view, kept as the window keeps its own

    Pair() {
        TFormMainOptions options;
        options.ShowMessage = [](const QString&) {};
        form = std::make_unique<TFormMain>(options);
        form->Document.NewDocument(Scene(400, 400), QString());
        doc.NewDocument(form->PictureBitmap, "scene.png");
        Refresh();
    }
    ~Pair() {
        form.reset();
        TDoLater::RunQueue();
    }
    void Refresh() {
        form->RedrawLater();
        TDoLater::RunQueue();
        view = doc.ComposeView(form->ActionOrgImageInBack->isChecked());
    }
    // Rows are numbered from 1, parts from 0.
    void Select(std::initializer_list<int> rows, int current) {
        TnvGrid& grid = *form->nvGridImageParts;
        bool first = true;
        std::vector<TImagePart*> parts;
        for (int row : rows) {
            grid.RootCell().SelectCell(grid.Cells(0, row), first ? 0 : ssCtrl);
            first = false;
            parts.push_back(doc.Part(row - 1));
        }
        grid.SetFocusedCell(grid.Cells(0, current));
        doc.SetSelection(parts);
        doc.SetCurrentPart(doc.Part(current - 1));
    }
    void Dab(QAction* mode, QPoint at) {
        bool handled = false;
        form->DispatchAction(mode, true, handled);
        form->TrackViewMouse(ssLeft, at.x(), at.y()); // zoom 1: view and picture points agree
        const TStrokeKind kind = mode == form->ActionBrushMode ? TStrokeKind::Brush : TStrokeKind::Erase;
        doc.ShowDabInView(view, doc.Dab(kind, at, TTintwellDocument::DabRadius(form->BrushRadius(), 1.0)),
                          form->ActionOrgImageInBack->isChecked());
    }
    ::testing::AssertionResult Agree() {
        for (int row = 1; row < form->nvGridImageParts->RowCount(); ++row) {
            const TImagePart* a = form->ImagePartAt(row);
            const TImagePart* b = doc.Part(row - 1);
            if (!a || !b || !(a->Bitmap == b->Bitmap) || !(a->Settings == b->Settings) ||
                a->AnchorX != b->AnchorX || a->AnchorY != b->AnchorY)
                return ::testing::AssertionFailure() << "part " << row << " differs";
        }
        if (form->nvGridImageParts->RowCount() - 1 != doc.PartCount())
            return ::testing::AssertionFailure() << "part counts differ";
        if (!(form->CurrentSettings == doc.CurrentSettings()))
            return ::testing::AssertionFailure() << "current settings differ";
        if (!(form->ViewBitmap == view)) return ::testing::AssertionFailure() << "views differ";
        if (!(form->ComposeResultPicture() == doc.ComposeResult()))
            return ::testing::AssertionFailure() << "results differ";
        return ::testing::AssertionSuccess();
    }
};

} // namespace

TEST(DocumentFormParity, EditsGiveTheWindowsPixels) {
    Pair p;
    const tw::Bitmap& picture = p.doc.Picture();
    for (const QRect& r : {QRect(60, 80, 150, 120), QRect(150, 150, 200, 150), QRect(20, 280, 300, 60)}) {
        const tw::Bitmap mask = RectPart(picture, r, p.doc.CurrentSettings());
        p.form->AddImagePart(mask, r.center()); // recolouring moves the anchor to the first pixel
        p.doc.AddGrownPart(mask, r.center());
    }
    p.Refresh();
    ASSERT_TRUE(p.Agree());

    TTintwellSettings teal{175, false, false, 10, -20, true};
    p.Select({2, 3}, 3);
    p.form->OnShowColorSettings = [&](TImagePart*, TTintwellSettings& s) {
        s = teal;
        return true;
    };
    p.form->ApplyColorSettings();
    p.doc.ChangeColor(teal);
    p.Refresh();
    EXPECT_TRUE(p.Agree());

    // Quick view updates, with and without the picture behind.
    for (QPoint at : {QPoint(100, 100), QPoint(205, 160), QPoint(398, 1)})
        p.Dab(p.form->ActionBrushMode, at);
    EXPECT_TRUE(p.Agree());
    p.Dab(p.form->ActionEraseMode, {170, 170});
    EXPECT_TRUE(p.Agree());
    bool handled = false;
    p.form->DispatchAction(p.form->ActionOrgImageInBack, true, handled);
    p.Refresh();
    p.Dab(p.form->ActionEraseMode, {210, 180});
    EXPECT_TRUE(p.Agree());

    p.Select({2, 3, 4}, 4);
    p.form->JoinSelectedImageParts();
    p.doc.JoinSelectedParts();
    p.Refresh();
    EXPECT_TRUE(p.Agree());

    p.Select({1, 2}, 1);
    p.form->DeleteSelectedImageParts();
    p.doc.DeleteSelectedParts();
    p.Refresh();
    EXPECT_TRUE(p.Agree());
}
