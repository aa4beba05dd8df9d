// Project files in the main window: saving, and opening with a moved or changed picture.

#include "app/Form_Main.h"
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

// A window whose project questions are answered by the test.
struct ProjectWindow {
    QString moved;           // the answer to "where is the picture?"
    bool openChanged = true; // the answer to "changed; open all the same?"
    std::vector<QString> movedQuestions, changedQuestions;
    std::unique_ptr<TFormMain> form;

    ProjectWindow() {
        TFormMainOptions options;
        options.ShowMessage = [](const QString&) {};
        options.ConfirmReplace = [](const QString&) { return true; };
        options.ChooseMovedPicture = [this](const QString& missing) {
            movedQuestions.push_back(missing);
            return moved;
        };
        options.ConfirmChangedPicture = [this](const QString& picture) {
            changedQuestions.push_back(picture);
            return openChanged;
        };
        form = std::make_unique<TFormMain>(options);
        TDeferredCalls::RunQueue();
    }
    ~ProjectWindow() {
        form.reset();
        TDeferredCalls::RunQueue();
    }
    TFormMain* operator->() { return form.get(); }
};

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
    w->OpenPicture1Accept(Q(picture));
    w->Document.BeginStroke();
    w->Document.Dab(TStrokeKind::Brush, QPoint(40, 40), 5);
    w->Document.EndStroke();
    ASSERT_TRUE(w->Document.IsModified());
    ASSERT_TRUE(w->SaveProjectAccept(Q(dir.Path("work")))); // the extension is added
    EXPECT_FALSE(w->Document.IsModified());
    const QImage painted = w->Document.Part(0)->Bitmap.Image();

    // Moved: asked for, then opened from where the user says it is.
    ASSERT_TRUE(QFile::rename(Q(picture), Q(dir.Path("moved/photo.png"))));
    ProjectWindow other;
    other.moved = Q(dir.Path("moved/photo.png"));
    other->OpenProjectAccept(Q(project));
    ASSERT_EQ(other.movedQuestions.size(), 1u);
    EXPECT_TRUE(other.changedQuestions.empty());
    ASSERT_EQ(other->Document.PartCount(), 1);
    EXPECT_EQ(other->Document.Part(0)->Bitmap.Image(), painted);
    EXPECT_EQ(other->Document.FileName(), other.moved);
    EXPECT_EQ(other->Document.UndoStack().count(), 0);

    // Changed: a warning first; "no" leaves the document as it was.
    ASSERT_TRUE(tw::SavePicture(Stripes(120, 90, 50), dir.Path("moved/photo.png")));
    other.openChanged = false;
    other->Document.AddBlankPart();
    other->OpenProjectAccept(Q(project));
    ASSERT_EQ(other.changedQuestions.size(), 1u);
    EXPECT_EQ(other->Document.PartCount(), 2) << "nothing changes when the user declines";
    other.openChanged = true;
    other->OpenProjectAccept(Q(project));
    EXPECT_EQ(other->Document.PartCount(), 1);
    EXPECT_EQ(other->Document.Part(0)->Bitmap.Image(), painted);
    EXPECT_FALSE(other->Document.IsModified());
}
