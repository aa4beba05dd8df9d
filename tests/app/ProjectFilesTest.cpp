// Project files in the main window: saving, and opening with a moved or changed picture.

#include "app/WindowDriver.h"
#include "masking/PartGrower.h"
#include "platform/DeferredCalls.h"
#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

using ProjectWindow = twtest::TWindow;

tw::Bitmap Stripes(int width, int height, int shift) {
    tw::Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y, RGBToColor((x * 9 + shift) % 256, (y * 4) % 256, 90));
    return b;
}

} // namespace

TEST(ProjectFiles, SaveClearsTheMarkAndOpeningFindsMovedAndChangedPictures) {
    twtest::TempDir dir;
    QDir(Q(dir.Path(""))).mkdir("moved");
    const std::string picture = dir.Path("photo.png"), project = dir.Path("work.tintwell");
    ASSERT_TRUE(tw::SavePicture(Stripes(120, 90, 0), picture));
    ProjectWindow w;
    w.Open(Q(picture));
    w.Doc().BeginStroke();
    w.Doc().Dab(TStrokeKind::Brush, QPoint(40, 40), 5);
    w.Doc().EndStroke();
    ASSERT_TRUE(w.Doc().IsModified());
    // A part grown from a seed, as "Add this" adds it.
    tw::Bitmap grown(120, 90);
    grown.FillRect(QRect(10, 10, 4, 4), 0x123456);
    w.Doc().AddGrownPart(grown, {10, 10},
                         TPartGrower::GrowthAt(w.Picture(), {10, 10}, TWalkerRules::Default()));
    w.SaveProject(Q(dir.Path("work"))); // the extension is added
    ASSERT_TRUE(twtest::FileExists(project));
    EXPECT_FALSE(w.Doc().IsModified());
    const QImage painted = w.Doc().Part(0)->Bitmap.Image();

    // Moved: asked for, then opened from where the user says it is.
    ASSERT_TRUE(QFile::rename(Q(picture), Q(dir.Path("moved/photo.png"))));
    ProjectWindow other;
    other.moved = Q(dir.Path("moved/photo.png"));
    other.OpenProject(Q(project));
    ASSERT_EQ(other.movedQuestions.size(), 1u);
    EXPECT_TRUE(other.changedQuestions.empty());
    ASSERT_EQ(other.Doc().PartCount(), 2);
    EXPECT_EQ(other.Doc().Part(0)->Bitmap.Image(), painted);
    EXPECT_EQ(other.Doc().FileName(), other.moved);
    EXPECT_EQ(other.Doc().UndoStack().count(), 0);

    // Changed: a warning first; "no" leaves the document as it was.
    ASSERT_TRUE(tw::SavePicture(Stripes(120, 90, 50), dir.Path("moved/photo.png")));
    other.openChanged = false;
    other.Doc().AddBlankPart();
    other.OpenProject(Q(project));
    ASSERT_EQ(other.changedQuestions.size(), 1u);
    EXPECT_EQ(other.Doc().PartCount(), 3) << "nothing changes when the user declines";
    // The question names the grown part whose seed no longer lands on its colour.
    EXPECT_TRUE(other.changedQuestions[0].contains(QStringLiteral("|Part 2: the seed lands on (")))
        << other.changedQuestions[0].toStdString();
    other.openChanged = true;
    other.OpenProject(Q(project));
    EXPECT_EQ(other.Doc().PartCount(), 2) << "the stored parts, as they were saved";
    EXPECT_EQ(other.Doc().Part(0)->Bitmap.Image(), painted);
    EXPECT_FALSE(other.Doc().IsModified());
}
