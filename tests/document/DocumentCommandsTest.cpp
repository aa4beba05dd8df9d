// Each edit of the document: done, undone and redone, bit for bit.
#include "document/DocumentCommands.h"
#include "cli/CliTestSupport.h"
#include "document/DocumentTestSupport.h"
#include "masking/PartGrower.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

using namespace twtest;

namespace {

const TTintwellSettings kTeal{175, false, false, 10, -20, false};
const TTintwellSettings kWarm{28, false, false, 10, 15, true};

// A picture with three parts: the blank one, two grown ones; parts 1 and 2 selected, 2 current.
struct Fixture {
    TTintwellDocument doc;
    TempDir dir;
    Fixture() {
        tw::Bitmap picture = Scene(120, 90);
        picture.FillRect(QRect(0, 0, 6, 6), tw::kWhite); // the brush leaves white out
        doc.NewDocument(picture, "scene.png");
        doc.AddGrownPart(RectPart(picture, QRect(10, 10, 50, 40), kTeal), QPoint(30, 25), // anchor: the click
                         TPartGrower::GrowthAt(picture, {30, 25}, TWalkerRules::Default()));
        doc.SetCurrentSettings(kWarm);
        doc.AddGrownPart(RectPart(picture, QRect(40, 30, 60, 50), kWarm), QPoint(70, 55),
                         TPartGrower::GrowthAt(picture, {70, 55}, TWalkerRules::Default()));
        doc.SetSelection({doc.Part(1), doc.Part(2)});
        doc.MarkSaved();
    }
};

void Stroke(TTintwellDocument& doc, TStrokeKind kind, std::initializer_list<QPoint> points, int radius) {
    doc.BeginStroke();
    for (QPoint p : points)
        doc.Dab(kind, p, radius);
    doc.EndStroke();
}

} // namespace

TEST(DocumentCommands, EveryEditUndoesAndRedoesBitForBit) {
    const struct {
        QString name;
        std::function<void(Fixture&)> edit;
    } edits[] = {
        {"Add this",
         [](Fixture& f) {
             f.doc.AddGrownPart(RectPart(f.doc.Picture(), {5, 60, 30, 20}, kTeal), {5, 60});
         }},
        {"Add image part", [](Fixture& f) { f.doc.AddBlankPart(); }},
        {"Load image part from file",
         [](Fixture& f) {
             tw::SavePicture(RectPart(f.doc.Picture(), {0, 0, 20, 20}, kTeal), f.dir.Path("p.png"));
             f.doc.LoadPartFromFile(QString::fromStdString(f.dir.Path("p.png")));
         }},
        {"Delete image part", [](Fixture& f) { f.doc.DeleteSelectedParts(); }},
        {"Join selected image parts", [](Fixture& f) { f.doc.JoinSelectedParts(); }},
        {"Clear image parts", [](Fixture& f) { f.doc.ClearParts(); }},
        {"Change color...", [](Fixture& f) { f.doc.ChangeColor(kTeal); }},
        {"Brush stroke",
         [](Fixture& f) {
             Stroke(f.doc, TStrokeKind::Brush, {{3, 3}, {20, 15}, {60, 40}, {119, 89}}, 8);
         }},
        {"Erase stroke",
         [](Fixture& f) {
             Stroke(f.doc, TStrokeKind::Erase, {{50, 40}, {90, 70}, {50, 41}}, 5);
         }},
        {"Add to current part",
         [](Fixture& f) {
             f.doc.ReshapeCurrentPart(RectPart(f.doc.Picture(), {5, 60, 30, 20}, kTeal), false);
         }},
        {"Remove from current part",
         [](Fixture& f) {
             f.doc.ReshapeCurrentPart(RectPart(f.doc.Picture(), {50, 40, 30, 20}, kTeal), true);
         }},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.name.toStdString());
        Fixture f;
        const TDocumentSnapshot before = Snapshot(f.doc);
        const int steps = f.doc.UndoStack().count();
        e.edit(f);
        const TDocumentSnapshot after = Snapshot(f.doc);
        ASSERT_EQ(f.doc.UndoStack().count(), steps + 1);
        EXPECT_EQ(f.doc.UndoStack().undoText(), e.name);
        EXPECT_TRUE(f.doc.IsModified());
        EXPECT_FALSE(Same(before, after));
        for (int round = 0; round < 2; ++round) {
            f.doc.Undo();
            EXPECT_TRUE(Same(Snapshot(f.doc), before));
            EXPECT_FALSE(f.doc.IsModified());
            f.doc.Redo();
            EXPECT_TRUE(Same(Snapshot(f.doc), after));
        }
    }
}

// A growth describes a part only while its pixels are the grown ones:
// recolouring keeps it, brushing and joining drop it, undo brings it back.
TEST(DocumentCommands, GrowthLastsWhileThePartKeepsItsShape) {
    Fixture f;
    TTintwellDocument& doc = f.doc;
    const std::optional<TPartGrowth> grown = doc.Part(2)->Growth;
    ASSERT_TRUE(grown && doc.Part(1)->Growth);
    EXPECT_FALSE(doc.Part(0)->Growth) << "the blank part was painted, not grown";
    doc.ChangeColor(kTeal);
    EXPECT_EQ(doc.Part(2)->Growth, grown);
    Stroke(doc, TStrokeKind::Erase, {{50, 40}, {52, 40}}, 3);
    EXPECT_FALSE(doc.Part(2)->Growth);
    doc.Undo();
    EXPECT_EQ(doc.Part(2)->Growth, grown);
    doc.JoinSelectedParts();
    EXPECT_FALSE(doc.Part(1)->Growth);
    doc.Undo();
    EXPECT_TRUE(doc.Part(1)->Growth);
}

// "Add to current part" takes the region in with the part's own settings,
// whatever the current ones; "Remove from current part" takes it out; either
// keeps the part as its bitmap.
TEST(DocumentCommands, ReshapingTheCurrentPart) {
    Fixture f;
    TTintwellDocument& doc = f.doc;
    TImagePart* part = doc.Part(2); // warm, 40..99 x 30..79
    doc.SetCurrentPart(part);
    doc.SetCurrentSettings(kTeal);
    const tw::Bitmap& picture = doc.Picture();
    ASSERT_TRUE(doc.ReshapeCurrentPart(RectPart(picture, {10, 70, 40, 15}, kTeal), false));
    const tw::Bitmap none;
    tw::Bitmap target;
    const TPartRecolourer warm(kWarm, none, target);
    for (const QPoint at : {QPoint(10, 70), QPoint(45, 84), QPoint(60, 50)})
        EXPECT_EQ(part->Bitmap.Pixel(at.x(), at.y()), warm.TransformColor(picture.Pixel(at.x(), at.y())));
    EXPECT_EQ(part->Bitmap.Pixel(10, 69), tw::kWhite);
    EXPECT_FALSE(part->Growth);
    EXPECT_EQ(part->Settings, kWarm);
    ASSERT_TRUE(doc.ReshapeCurrentPart(RectPart(picture, {0, 0, 60, 60}, kTeal), true));
    EXPECT_EQ(part->Bitmap.Pixel(45, 50), tw::kWhite);
    EXPECT_NE(part->Bitmap.Pixel(60, 50), tw::kWhite);
    doc.SetCurrentPart(nullptr);
    EXPECT_FALSE(doc.ReshapeCurrentPart(RectPart(picture, {0, 0, 60, 60}, kTeal), false));
}

TEST(DocumentCommands, PartFilesSelectionAndStartingOver) {
    Fixture f;
    TTintwellDocument& doc = f.doc;
    const int steps = doc.UndoStack().count();
    // Part files: .bmp and .png only, with the desktop program's message.
    tw::SavePicture(doc.Part(1)->Bitmap, f.dir.Path("part.jpg"));
    EXPECT_THROW(
        try {
            doc.LoadPartFromFile(QString::fromStdString(f.dir.Path("part.jpg")));
        } catch (const tw::PictureError& e) {
            EXPECT_STREQ(
                e.what(),
                "cannot read part.jpg: image parts are read from bitmap (.bmp) or PNG (.png) files only");
            throw;
        },
        tw::PictureError);
    // Selection changes are no edits, but they bring the first selected part's settings.
    doc.SetSelection({doc.Part(2)});
    EXPECT_EQ(doc.CurrentSettings(), kWarm);
    EXPECT_EQ(doc.UndoStack().count(), steps);
    // Opening starts over: one blank part, nothing to undo, nothing unsaved.
    doc.NewDocument(Scene(40, 30), "other.png");
    EXPECT_EQ(doc.PartCount(), 1);
    EXPECT_EQ(doc.UndoStack().count(), 0);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.CurrentPart(), doc.Part(0));
}

// Radius 0 (the brush at the highest zoom) still paints the pixel under the
// point; other squares are as they always were.
TEST(DocumentCommands, TheSmallestDabCoversThePoint) {
    Fixture f;
    TTintwellDocument& doc = f.doc;
    const int steps = doc.UndoStack().count();
    doc.SetCurrentPart(doc.Part(0));
    const QPoint at(60, 45);
    EXPECT_EQ(doc.Dab(TStrokeKind::Brush, at, 0).Changed, QRect(at, QSize(1, 1)));
    tw::Bitmap expected(120, 90);
    TPartRecolourer(doc.CurrentSettings(), doc.Picture(), expected).PaintRect(60, 45, 60, 45);
    EXPECT_TRUE(doc.Part(0)->Bitmap == expected);
    EXPECT_EQ(doc.Dab(TStrokeKind::Erase, at, 0).Changed, QRect(at, QSize(1, 1)));
    EXPECT_EQ(doc.Part(0)->Bitmap.Pixel(60, 45), tw::kWhite);
    EXPECT_EQ(doc.Dab(TStrokeKind::Erase, at, 3).Square, QRect(57, 42, 5, 5));
    EXPECT_TRUE(doc.Dab(TStrokeKind::Brush, {500, 5}, 2).Changed.isEmpty()) << "off the picture";
    doc.SetCurrentPart(nullptr);
    EXPECT_TRUE(doc.Dab(TStrokeKind::Brush, at, 2).Changed.isEmpty());
    EXPECT_EQ(doc.UndoStack().count(), steps + 2) << "one brush step, one erase step of two dabs";
}

TEST(DocumentCommands, ComposedRectanglesMatchTheWholeView) {
    Fixture f;
    for (bool showPicture : {true, false}) {
        const tw::Bitmap whole = f.doc.ComposeView(showPicture);
        tw::Bitmap patched = f.doc.ComposeView(!showPicture);
        for (const QRect& r : {QRect(0, 0, 120, 45), QRect(-10, 40, 200, 60), QRect(30, 0, 1, 90)})
            f.doc.ComposeViewRect(patched, r, showPicture);
        EXPECT_TRUE(patched == whole);
    }
}
