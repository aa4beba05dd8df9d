// The history as a whole: random edits with undo and redo against a plain
// replay, and the bound on the memory it keeps.
#include "cli/CliTestSupport.h"
#include "document/DocumentCommands.h"
#include "document/DocumentTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

using namespace twtest;

namespace {

// One random edit with its own selection, current part and settings, so that
// it does the same wherever the document stands as it did.
using Edit = std::function<void(TTintwellDocument&)>;

Edit RandomEdit(std::mt19937& rng, int parts) {
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<int> selected;
    for (int i = 0; i < parts + 1; ++i)
        if (pick(3) == 0) selected.push_back(i);
    const int current = pick(parts + 2) - 1;
    const TTintwellSettings s{pick(361),     pick(4) == 0,  pick(2) == 0,
                              pick(81) - 40, pick(81) - 40, pick(5) == 0};
    const QRect rect(pick(70) - 5, pick(50) - 5, 1 + pick(40), 1 + pick(30));
    const int radius = pick(7);
    std::vector<QPoint> dabs;
    for (int n = 1 + pick(6); n > 0; --n)
        dabs.emplace_back(pick(74) - 5, pick(54) - 5);
    // Mostly growing, joining, recolouring and strokes; now and then all parts go.
    const int kind = pick(100) == 0 ? 9 : pick(9);
    return [=](TTintwellDocument& doc) {
        std::vector<TImagePart*> chosen;
        for (int i : selected)
            if (i < doc.PartCount()) chosen.push_back(doc.Part(i));
        doc.SetSelection(chosen);
        doc.SetCurrentPart(doc.Part(current));
        doc.SetCurrentSettings(s);
        if (kind <= 1) doc.AddGrownPart(RectPart(doc.Picture(), rect, s), rect.center());
        if (kind == 2) doc.AddBlankPart();
        if (kind == 3) doc.DeleteSelectedParts();
        if (kind == 4) doc.JoinSelectedParts();
        if (kind == 5) doc.ChangeColor({rect.x(), false, radius % 2 == 0, rect.y(), -rect.y(), false});
        if (kind >= 6 && kind <= 8) {
            doc.BeginStroke();
            for (QPoint p : dabs)
                doc.Dab(kind == 8 ? TStrokeKind::Erase : TStrokeKind::Brush, p, radius);
            doc.EndStroke();
        }
        if (kind == 9) doc.ClearParts();
    };
}

const TStrokeEdit* TopStroke(TTintwellDocument& doc) {
    const QUndoStack& stack = doc.UndoStack();
    if (stack.index() == 0) return nullptr;
    const auto* entry = static_cast<const TUndoEntry*>(stack.command(stack.index() - 1));
    return dynamic_cast<const TStrokeEdit*>(entry->Edit());
}

void ExpectStrokeWithinTwiceItsRectangle(TTintwellDocument& doc) {
    if (const TStrokeEdit* stroke = TopStroke(doc)) {
        const int64_t area = static_cast<int64_t>(stroke->Touched().width()) * stroke->Touched().height();
        EXPECT_LE(stroke->BufferPixels(), 2 * area);
    }
}

void DrawLineStroke(TTintwellDocument& doc, TStrokeKind kind, QPoint from, QPoint to, int radius) {
    doc.BeginStroke();
    const int steps = std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y())) / 4 + 1;
    for (int i = 0; i <= steps; ++i) {
        doc.Dab(kind, from + (to - from) * i / steps, radius);
        ExpectStrokeWithinTwiceItsRectangle(doc);
    }
    doc.EndStroke();
}

} // namespace

TEST(DocumentHistory, RandomEditsUndosAndRedosEqualAPlainReplay) {
    const tw::Bitmap picture = Scene(64, 48);
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        TTintwellDocument doc;
        doc.NewDocument(picture, "p.png");
        const TDocumentSnapshot start = Snapshot(doc);
        std::vector<Edit> log; // the edits the document now stands on come first
        size_t at = 0;
        for (int step = 0; step < 300; ++step) {
            const unsigned roll = rng() % 10;
            if (roll < 2 && doc.UndoStack().canUndo()) {
                doc.Undo();
                --at;
            } else if (roll < 3 && doc.UndoStack().canRedo()) {
                doc.Redo();
                ++at;
            } else {
                const Edit e = RandomEdit(rng, doc.PartCount());
                const int index = doc.UndoStack().index();
                e(doc);
                if (doc.UndoStack().index() == index) continue; // nothing to do: no step
                ASSERT_EQ(doc.UndoStack().index(), index + 1);
                log.resize(at);
                log.push_back(e);
                ++at;
                ExpectStrokeWithinTwiceItsRectangle(doc);
            }
        }
        TTintwellDocument replay;
        replay.NewDocument(picture, "p.png");
        for (size_t i = 0; i < at; ++i)
            log[i](replay);
        EXPECT_TRUE(Same(Snapshot(doc), Snapshot(replay), false));
        EXPECT_TRUE(doc.ComposeResult() == replay.ComposeResult());
        while (doc.UndoStack().canUndo())
            doc.Undo();
        // The selection is as the first edit found it, not as the document started.
        EXPECT_TRUE(Same(Snapshot(doc), start, false));
    }
}

TEST(DocumentHistory, LargeStrokesStayUnderTheBoundAndWhatIsLeftUndoesCorrectly) {
    TTintwellDocument doc;
    doc.NewDocument(Scene(400, 300), "big.png");
    const int64_t limit = 2 << 20; // room for a few strokes across the picture
    doc.SetHistoryLimit(limit);
    std::vector<TDocumentSnapshot> states{Snapshot(doc)};
    const int strokes = 40;
    for (int k = 0; k < strokes; ++k) {
        DrawLineStroke(doc, k % 3 == 2 ? TStrokeKind::Erase : TStrokeKind::Brush, {0, (k * 37) % 300},
                       {399, (k * 91) % 300}, 20);
        EXPECT_LE(doc.HistoryBytes(), limit);
        if (k == 10) {
            // The opened state has been dropped: undoing all that is left does not get back to it.
            ASSERT_LT(doc.UndoStack().count(), k + 1);
            while (doc.UndoStack().canUndo())
                doc.Undo();
            EXPECT_TRUE(doc.IsModified());
            while (doc.UndoStack().canRedo())
                doc.Redo();
        }
        if (k == strokes - 2) doc.MarkSaved();
        states.push_back(Snapshot(doc));
    }
    const int kept = doc.UndoStack().count();
    ASSERT_GE(kept, 2);
    ASSERT_LT(kept, strokes);
    // What the undo and redo commands are named after and whether they can run.
    EXPECT_EQ(doc.UndoStack().undoText(), QStringLiteral("Brush stroke"));
    EXPECT_FALSE(doc.UndoStack().canRedo());
    doc.Undo();
    EXPECT_EQ(doc.UndoStack().index(), kept - 1) << "one step per undo";
    EXPECT_TRUE(doc.UndoStack().canRedo());
    EXPECT_FALSE(doc.IsModified()) << "back at the saved state";
    while (doc.UndoStack().canUndo())
        doc.Undo();
    EXPECT_TRUE(Same(Snapshot(doc), states[static_cast<size_t>(strokes - kept)]));
    EXPECT_TRUE(doc.IsModified());
    while (doc.UndoStack().canRedo())
        doc.Redo();
    EXPECT_TRUE(Same(Snapshot(doc), states.back()));

    // A lower bound drops steps to redo too, once there is nothing left to undo.
    doc.Undo();
    doc.SetHistoryLimit(0);
    EXPECT_EQ(doc.UndoStack().count(), 0);
    EXPECT_TRUE(Same(Snapshot(doc), states[states.size() - 2]));
    EXPECT_FALSE(doc.IsModified()) << "still the saved state";
}

// A picture written from one state shows that state only: a step on, a dab
// merged into the last stroke, or another history from an earlier step, and
// it no longer does; undoing back to it does again.
TEST(DocumentHistory, AnExportedStateIsThatStateOnly) {
    TTintwellDocument doc;
    doc.NewDocument(Scene(80, 60), "photo.png");
    doc.AddBlankPart();
    doc.BeginStroke();
    doc.Dab(TStrokeKind::Brush, {10, 10}, 3);
    const TTintwellDocument::TStateKey written = doc.StateKey();
    doc.MarkExported(written);
    EXPECT_TRUE(doc.IsExported());
    EXPECT_TRUE(doc.IsModified()) << "a picture does not keep the parts";
    doc.Dab(TStrokeKind::Brush, {30, 10}, 3); // merged into the same step
    doc.EndStroke();
    EXPECT_FALSE(doc.IsExported());

    doc.MarkExported(doc.StateKey());
    doc.AddBlankPart();
    EXPECT_FALSE(doc.IsExported());
    doc.Undo();
    EXPECT_TRUE(doc.IsExported()) << "back at the state written";
    doc.Undo();
    doc.AddBlankPart(); // the written state's step is gone for good
    doc.Undo();
    doc.Redo();
    EXPECT_FALSE(doc.IsExported());
    doc.NewDocument(Scene(80, 60), "other.png");
    EXPECT_FALSE(doc.IsExported());
}
