// Opening pictures into the main window, saving the result and single parts,
// and pictures dropped on the window.

#include "app/TintwellApplication.h"
#include "app/WindowDriver.h"
#include "colour/HSV.h"
#include "platform/DeferredCalls.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr tw::ColorValue kSkin = 0x5080C0;
constexpr tw::ColorValue kBlue = 0xAA0000;
constexpr tw::ColorValue kGreen = 0x00AA00;

// A main window whose file dialogs and questions are answered by the test.
struct Window : twtest::TWindow {
    // Runs the command from the event loop, as a click would.
    void RunFromEventLoop(QAction* action) {
        QTimer::singleShot(0, window.get(), [action] { action->trigger(); });
        Settle();
    }
};
using twtest::ShownErrors;

// A picture whose pixels differ, so that a shifted or scaled copy shows.
tw::Bitmap Pattern(int width, int height) {
    tw::Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y, static_cast<tw::ColorValue>((x * 7) % 251 + 256 * ((y * 5) % 241) + 65536 * 40));
    return b;
}

std::vector<QPoint> PartPixels(const tw::Bitmap& b) {
    std::vector<QPoint> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (b.Pixel(x, y) != tw::kWhite) out.emplace_back(x, y);
    return out;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TEST(PictureFiles, OpeningReducesToTheWorkingSizeAndResetsThePartsOnly) {
    twtest::TempDir dir;
    struct Case {
        const char* name;
        QSize file, working;
    };
    const Case cases[] = {
        {"wide.jpg", {1000, 750}, {800, 600}},
        {"tall.png", {700, 1000}, {420, 600}},
        // The width rule replaces the height rule's scale.
        {"big.JPEG", {3000, 4000}, {800, 1067}},
        {"small.bmp", {640, 480}, {640, 480}},
        {"exact.jpg", {800, 600}, {800, 600}},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(tw::SavePicture(tw::Bitmap(c.file.width(), c.file.height(), kSkin), dir.Path(c.name)));

    Window w;
    // What opening must leave alone.
    w.SetZoom(3); // factor 0.5
    w.Trigger("erase");
    w.Trigger("smallBrush");
    w.Trigger("originalInBackground"); // off
    TTintwellSettings own = w.Doc().CurrentSettings();
    own.Hue = 123;
    own.SaturationTint = 77;
    w.Doc().SetCurrentSettings(own);
    const TTintwellSettings settings = w.Doc().CurrentSettings();
    w.Doc().AddBlankPart();
    w.Doc().AddBlankPart();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.Open(dir.Path(c.name));
        EXPECT_EQ(w.Picture().Rect().size(), c.working);
        EXPECT_EQ(w.Picture().Pixel(c.working.width() / 2, c.working.height() / 2), kSkin);
        EXPECT_EQ(w.Label("fileName"), Q(dir.Path(c.name)));
        ASSERT_EQ(w.Grid().RowCount(), 2) << "one blank part";
        ASSERT_NE(w.PartAt(1), nullptr);
        EXPECT_EQ(w.PartAt(1)->Bitmap.Rect().size(), c.working);
        EXPECT_TRUE(PartPixels(w.PartAt(1)->Bitmap).empty());
        EXPECT_TRUE(w.RowSelected(1));
        EXPECT_EQ(w.Surface().width(), Round(c.working.width() * 0.5));
        EXPECT_EQ(w.Surface().height(), Round(c.working.height() * 0.5));
        EXPECT_EQ(w.ViewBitmap().Rect().size(), c.working);
        EXPECT_EQ(w.View().ZoomStep(), 3);
        EXPECT_TRUE(w.Action("erase")->isChecked());
        EXPECT_TRUE(w.Action("smallBrush")->isChecked());
        EXPECT_FALSE(w.Action("originalInBackground")->isChecked());
        EXPECT_EQ(w.Doc().CurrentSettings(), settings);
    }

    // A picture that already fits arrives pixel for pixel.
    const tw::Bitmap pattern = Pattern(640, 480);
    ASSERT_TRUE(tw::SavePicture(pattern, dir.Path("pattern.bmp")));
    w.Open(dir.Path("pattern.bmp"));
    EXPECT_TRUE(w.Picture() == pattern);

    // Cancel in the dialog changes nothing.
    w.openChoice.clear();
    w.Trigger("openPicture");
    EXPECT_TRUE(w.Picture() == pattern);
}

TEST(PictureFiles, IconsOpenOverWhite) {
    twtest::TempDir dir;
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            icon.setPixel(x, y, qRgba(0, 0, 170, 255));
    QImageWriter writer(Q(dir.Path("half.ico")), "ico");
    ASSERT_TRUE(writer.write(icon));

    Window w;
    w.Open(dir.Path("half.ico"));
    ASSERT_EQ(w.Picture().Rect().size(), QSize(32, 32));
    EXPECT_EQ(w.Picture().Pixel(5, 5), kBlue);
    EXPECT_EQ(w.Picture().Pixel(5, 25), tw::kWhite);
}

TEST(PictureFiles, AnUnreadableFileLeavesTheDocumentAndShowsOneMessage) {
    twtest::TempDir dir;
    QByteArray corrupt("\xFF\xD8\xFF\xE0 this is no picture at all");
    corrupt.append(2000, '\x55');
    twtest::WriteAll(dir.Path("broken.jpg"), corrupt);
    twtest::WriteAll(dir.Path("notes.txt"), "text");

    Window w;
    w.Doc().AddBlankPart();
    tw::Bitmap drawn(400, 400);
    drawn.FillRect(QRect(5, 5, 10, 10), kGreen);
    w.Doc().AddGrownPart(drawn, {0, 0});
    twtest::Child<QLabel>(w.window.get(), "fileName")->setText(QStringLiteral("before"));
    TDeferredCalls::RunQueue();
    const tw::Bitmap picture = w.Picture();

    for (const char* name : {"broken.jpg", "notes.txt", "missing.bmp"}) {
        SCOPED_TRACE(name);
        ShownErrors errors;
        w.openChoice = Q(dir.Path(name));
        w.RunFromEventLoop(w.Action("openPicture"));
        ASSERT_EQ(errors.messages.size(), 1u);
        EXPECT_NE(errors.messages[0].find(name), std::string::npos) << errors.messages[0];
        EXPECT_EQ(errors.messages[0].rfind("cannot read ", 0), 0u) << errors.messages[0];

        EXPECT_TRUE(w.Picture() == picture);
        EXPECT_EQ(w.Label("fileName"), QStringLiteral("before"));
        ASSERT_EQ(w.Grid().RowCount(), 4);
        EXPECT_EQ(PartPixels(w.PartAt(3)->Bitmap).size(), 100u);
    }
}

TEST(PictureFiles, SaveWritesByTheLowerCasedExtension) {
    twtest::TempDir dir;
    Window w;
    const tw::Bitmap picture = Pattern(60, 40);
    w.Doc().NewDocument(picture, QString(), false); // the result is the picture itself

    // No extension: a bitmap file with ".bmp" appended, and nothing under the bare name.
    w.SavePicture(Q(dir.Path("photo")));
    EXPECT_FALSE(twtest::FileExists(dir.Path("photo")));
    const QByteArray bmp = twtest::ReadAll(dir.Path("photo.bmp"));
    ASSERT_GT(bmp.size(), 30);
    EXPECT_TRUE(bmp.startsWith("BM"));
    EXPECT_EQ(static_cast<uint8_t>(bmp[28]), 24) << "24 bits per pixel";
    EXPECT_TRUE(tw::LoadPicture(dir.Path("photo.bmp")) == picture);

    // Upper-case extension: JPEG, and the name keeps its case.
    w.SavePicture(Q(dir.Path("Shot.JPG")));
    EXPECT_TRUE(twtest::ReadAll(dir.Path("Shot.JPG")).startsWith("\xFF\xD8\xFF"));
    EXPECT_FALSE(twtest::FileExists(dir.Path("Shot.jpg")));

    // The other formats we write, each recognisable by its first bytes.
    w.SavePicture(Q(dir.Path("a.jpeg")));
    EXPECT_TRUE(twtest::ReadAll(dir.Path("a.jpeg")).startsWith("\xFF\xD8\xFF"));
    w.SavePicture(Q(dir.Path("a.png")));
    EXPECT_TRUE(twtest::ReadAll(dir.Path("a.png")).startsWith("\x89PNG"));
    w.SavePicture(Q(dir.Path("a.ico")));
    EXPECT_TRUE(twtest::ReadAll(dir.Path("a.ico")).startsWith(QByteArray("\0\0\1\0", 4)));
    w.SavePicture(Q(dir.Path("a.emf")));
    EXPECT_TRUE(twtest::ReadAll(dir.Path("a.emf")).startsWith(QByteArray("\1\0\0\0", 4)));
    w.SavePicture(Q(dir.Path("a.Wmf")));
    EXPECT_GT(twtest::ReadAll(dir.Path("a.Wmf")).size(), 60 * 40 * 3);

    // Anything else: nothing written, nothing asked, nothing shown.
    ShownErrors errors;
    twtest::WriteAll(dir.Path("old.gif"), "old");
    for (const char* name : {"a.gif", "old.gif", "a.jpg.txt", "dot."})
        w.SavePicture(Q(dir.Path(name)));
    EXPECT_EQ(w.messages.size(), 4u) << "each told which names can be written";
    EXPECT_FALSE(twtest::FileExists(dir.Path("a.gif")));
    EXPECT_FALSE(twtest::FileExists(dir.Path("a.jpg.txt")));
    EXPECT_FALSE(twtest::FileExists(dir.Path("dot.")));
    EXPECT_EQ(twtest::ReadAll(dir.Path("old.gif")), QByteArray("old"));
    EXPECT_TRUE(w.replaceQuestions.empty());
    EXPECT_TRUE(errors.messages.empty());
}

// Ctrl+S to a name we cannot write says which names we can, and writes
// nothing; a name typed without extension takes the format of the filter chosen.
TEST(PictureFiles, SavingTellsWhatCannotBeWrittenAndTheFilterNamesTheFormat) {
    twtest::TempDir dir;
    Window w;
    w.saveChoice = Q(dir.Path("result.gif"));
    w.saveFilter = QStringLiteral("PNG Image File (*.png)");
    w.Trigger("savePicture");
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0],
              QStringLiteral("Cannot save result.gif: pictures are saved as .jpg, .jpeg, .bmp, "
                             ".ico, .png, .emf, .wmf, .tif, .tiff or .webp files. Nothing was written."));
    EXPECT_TRUE(QDir(dir.Dir().path()).isEmpty());

    struct Case {
        const char* filter;
        const char* written;
        QByteArray start;
    };
    const Case cases[] = {
        {"PNG Image File (*.png)", "photo.png", "\x89PNG"},
        {"JPEG Image File (*.jpeg)", "photo.jpeg", "\xFF\xD8\xFF"},
        {"Icons (*.ico)", "photo.ico", QByteArray("\0\0\1\0", 4)},
        {"Enhanced Metafiles (*.emf)", "photo.emf", QByteArray("\1\0\0\0", 4)},
        {"Bitmaps (*.bmp)", "photo.bmp", "BM"},
        {"", "plain.bmp", "BM"}, // no filter: a bitmap
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        const std::string written = c.written;
        w.saveChoice = Q(dir.Path(written.substr(0, written.find('.'))));
        w.saveFilter = QString::fromLatin1(c.filter);
        w.Trigger("savePicture");
        EXPECT_TRUE(twtest::ReadAll(dir.Path(written)).startsWith(c.start));
        EXPECT_FALSE(twtest::FileExists(w.saveChoice.toStdString()));
    }
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST(PictureFiles, ReplacingAFileAsksFirstAndCancelKeepsItByteForByte) {
    twtest::TempDir dir;
    Window w;
    w.Doc().NewDocument(tw::Bitmap(30, 20, kGreen), QString(), false);
    w.SavePicture(Q(dir.Path("keep.bmp")));
    EXPECT_TRUE(w.replaceQuestions.empty()) << "a new file is not asked about";
    const QByteArray before = twtest::ReadAll(dir.Path("keep.bmp"));

    w.Doc().NewDocument(tw::Bitmap(30, 20, kBlue), QString(), false);
    w.answerReplace = false;
    w.SavePicture(Q(dir.Path("keep.bmp")));
    ASSERT_EQ(w.replaceQuestions.size(), 1u);
    EXPECT_EQ(w.replaceQuestions[0], Q(dir.Path("keep.bmp")));
    EXPECT_EQ(twtest::ReadAll(dir.Path("keep.bmp")), before);

    // The question is about the name with ".bmp" appended.
    w.SavePicture(Q(dir.Path("keep")));
    ASSERT_EQ(w.replaceQuestions.size(), 2u);
    EXPECT_EQ(w.replaceQuestions[1], Q(dir.Path("keep.bmp")));
    EXPECT_EQ(twtest::ReadAll(dir.Path("keep.bmp")), before);

    w.answerReplace = true;
    w.SavePicture(Q(dir.Path("keep.bmp")));
    EXPECT_TRUE(tw::LoadPicture(dir.Path("keep.bmp")) == tw::Bitmap(30, 20, kBlue));
}

TEST(PictureFiles, TheSavedResultHoldsEveryPartLowerNumbersOnTop) {
    twtest::TempDir dir;
    Window w;
    w.Doc().NewDocument(tw::Bitmap(400, 400, kSkin), QString());
    tw::Bitmap a(400, 400), b(400, 400);
    a.FillRect(QRect(0, 0, 20, 20), kBlue);
    b.FillRect(QRect(10, 10, 20, 20), kGreen);
    w.Doc().AddGrownPart(a, {0, 0});   // part 2
    w.Doc().AddGrownPart(b, {0, 0});   // part 3, the only selected one
    w.Trigger("originalInBackground"); // the view drops the picture; the result must not
    ASSERT_FALSE(w.RowSelected(2));

    w.saveChoice = Q(dir.Path("result.png"));
    w.Trigger("savePicture");
    ASSERT_EQ(w.saveCaptions, std::vector<QString>{QStringLiteral("Save Picture")});
    const tw::Bitmap result = tw::LoadPicture(dir.Path("result.png"));
    ASSERT_EQ(result.Rect(), QRect(0, 0, 400, 400));
    EXPECT_EQ(result.Pixel(5, 5), kBlue) << "unselected part 2";
    EXPECT_EQ(result.Pixel(15, 15), kBlue) << "part 2 over part 3";
    EXPECT_EQ(result.Pixel(25, 25), kGreen);
    EXPECT_EQ(result.Pixel(100, 100), kSkin);
    EXPECT_EQ(result.Pixel(25, 5), kSkin);
    // Saving composes a copy: the picture and the parts are as they were.
    EXPECT_EQ(w.Picture().Pixel(5, 5), kSkin);
    EXPECT_EQ(w.PartAt(3)->Bitmap.Pixel(15, 15), kGreen);

    // Cancel in the dialog writes nothing.
    w.saveChoice.clear();
    w.Trigger("savePicture");
    EXPECT_EQ(w.saveCaptions.size(), 2u);
    EXPECT_TRUE(w.replaceQuestions.empty());
}

TEST(PictureFiles, APartSavedAsBitmapLoadsBackIdentical) {
    twtest::TempDir dir;
    Window w;
    w.Doc().NewDocument(Pattern(400, 400), QString());
    tw::Bitmap mask(400, 400);
    mask.FillRect(QRect(30, 40, 25, 15), 0x123456);
    mask.SetPixel(399, 399, 0xFEFFFF);  // near-white is part of the part
    w.Doc().AddGrownPart(mask, {0, 0}); // part 2
    w.Doc().AddGrownPart(tw::Bitmap(400, 400, kGreen), {0, 0});
    w.Select(2);

    w.saveChoice = Q(dir.Path("part"));
    w.Trigger("saveImagePart");
    ASSERT_EQ(w.saveCaptions, std::vector<QString>{QStringLiteral("Save Image part")});
    ASSERT_TRUE(twtest::FileExists(dir.Path("part.bmp")));
    w.LoadPart(Q(dir.Path("part.bmp")));
    ASSERT_EQ(w.Grid().RowCount(), 5);
    EXPECT_TRUE(w.PartAt(4)->Bitmap == mask);

    // A JPEG part is written, but parts are read from lossless files only.
    w.Select(2);
    w.saveChoice = Q(dir.Path("part.jpg"));
    w.Trigger("saveImagePart");
    ASSERT_TRUE(twtest::FileExists(dir.Path("part.jpg")));
    ShownErrors errors;
    w.LoadPart(Q(dir.Path("part.jpg")));
    EXPECT_EQ(errors.messages.size(), 1u);
    EXPECT_EQ(w.Grid().RowCount(), 5);
}

TEST(PictureFiles, CtrlSSavesThePicture) {
    twtest::TempDir dir;
    Window w;
    w->show();
    QApplication::setActiveWindow(w.window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    w.saveChoice = Q(dir.Path("keyed.bmp"));
    QTest::keyClick(w.window.get(), Qt::Key_S, Qt::ControlModifier);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w.saveCaptions, std::vector<QString>{QStringLiteral("Save Picture")});
    EXPECT_TRUE(twtest::FileExists(dir.Path("keyed.bmp")));
}

TEST(PictureFiles, ADroppedPictureFileOpens) {
    twtest::TempDir dir;
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(1000, 750, kSkin), dir.Path("dropped.JPG")));
    twtest::WriteAll(dir.Path("notes.txt"), "text");
    Window w;

    auto mime = [](const std::vector<QUrl>& urls) {
        auto data = std::make_unique<QMimeData>();
        data->setUrls(QList<QUrl>(urls.begin(), urls.end()));
        return data;
    };
    auto accepted = [&](const QMimeData* data) {
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QCoreApplication::sendEvent(w.window.get(), &enter);
        return enter.isAccepted();
    };
    const QUrl picture = QUrl::fromLocalFile(Q(dir.Path("dropped.JPG")));
    EXPECT_FALSE(accepted(mime({QUrl::fromLocalFile(Q(dir.Path("notes.txt")))}).get()));
    EXPECT_FALSE(accepted(mime({picture, picture}).get())) << "one file at a time";
    EXPECT_FALSE(accepted(mime({QUrl(QStringLiteral("https://example.org/a.jpg"))}).get()));
    const auto data = mime({picture});
    ASSERT_TRUE(accepted(data.get()));

    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    QCoreApplication::processEvents();
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w.Picture().Rect().size(), QSize(800, 600));
    EXPECT_EQ(w.Label("fileName"), Q(dir.Path("dropped.JPG")));
    EXPECT_EQ(w.Grid().RowCount(), 2);
}

TEST(PictureFiles, UnsavedChangesAskBeforeOpeningDroppingAndQuitting) {
    twtest::TempDir dir;
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(40, 30, kSkin), dir.Path("photo.bmp")));
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(50, 20, kBlue), dir.Path("other.bmp")));
    Window w;
    w.openChoice = Q(dir.Path("photo.bmp"));
    w.Trigger("openPicture"); // nothing changed yet: no question
    EXPECT_TRUE(w.saveQuestions.empty());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("photo.bmp (no project) - Tintwell"));
    w.Doc().AddBlankPart();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("photo.bmp* (no project) - Tintwell"));

    // A picture written keeps the result, not the parts: the mark stays.
    w.SavePicture(Q(dir.Path("result.png")));
    ASSERT_TRUE(twtest::FileExists(dir.Path("result.png")));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("photo.bmp* (no project, exported) - Tintwell"));
    EXPECT_TRUE(w.Doc().IsModified());

    // Cancel, a project dialog cancelled and a project that cannot be written keep everything open.
    w.openChoice = Q(dir.Path("other.bmp"));
    w.answerSave = TSaveAnswer::Cancel;
    w.Trigger("openPicture");
    w.answerSave = TSaveAnswer::Save;
    w.projectChoice.clear();
    w.Trigger("openPicture");
    w.projectChoice = Q(dir.Path("missing/photo.tintwell"));
    {
        ShownErrors errors;
        w.Trigger("openPicture");
        EXPECT_EQ(errors.messages.size(), 1u);
    }
    const std::vector<QString> opening(
        3, QStringLiteral("Save the parts of photo.bmp as a project before opening another picture?"));
    EXPECT_EQ(w.saveQuestions, opening);
    EXPECT_EQ(w.Grid().RowCount(), 3);
    EXPECT_EQ(w.Picture().Rect().size(), QSize(40, 30));
    EXPECT_TRUE(w.Doc().IsModified());
    EXPECT_FALSE(w->close()) << "the close box asks too";
    w.answerSave = TSaveAnswer::Cancel;
    w.Trigger("exit");
    EXPECT_EQ(w.saveQuestions.back(),
              QStringLiteral("Save the parts of photo.bmp as a project before quitting?"));
    EXPECT_EQ(w.quitQuestions, 0);

    // Save writes the project and goes on; the new picture starts clean.
    w.answerSave = TSaveAnswer::Save;
    w.projectChoice = Q(dir.Path("photo.tintwell"));
    w.Trigger("openPicture");
    EXPECT_TRUE(twtest::FileExists(dir.Path("photo.tintwell")));
    EXPECT_EQ(w.Picture().Rect().size(), QSize(50, 20));
    EXPECT_EQ(w.Grid().RowCount(), 2);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("other.bmp (no project) - Tintwell"));
    EXPECT_FALSE(w.Action("undo")->isEnabled()) << "a new picture starts a new history";

    // A drop asks as well; Discard opens it.
    w.Doc().AddBlankPart();
    w.answerSave = TSaveAnswer::Discard;
    const size_t asked = w.saveQuestions.size();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(dir.Path("photo.bmp")))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window.get(), &enter);
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window.get(), &drop);
    QCoreApplication::processEvents();
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w.saveQuestions.size(), asked + 1);
    EXPECT_EQ(w.Picture().Rect().size(), QSize(40, 30));

    // Without changes, Exit asks the usual question and the close box nothing.
    w.Trigger("exit");
    EXPECT_EQ(w.quitQuestions, 1);
    EXPECT_EQ(w.saveQuestions.size(), asked + 1);
    EXPECT_TRUE(w->close());
}

// The project holds the work: its name is the title, saving it again asks
// nothing, and on the start picture, which no project can hold, Save keeps the
// result picture as before.
TEST(PictureFiles, TheProjectIsWhatHoldsTheWork) {
    twtest::TempDir dir;
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(40, 30, kSkin), dir.Path("photo.bmp")));
    Window w;
    w.Doc().AddBlankPart(); // on the start picture
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Untitled* - Tintwell"));
    w.answerSave = TSaveAnswer::Save;
    w.saveChoice = Q(dir.Path("start.png"));
    w.Open(dir.Path("photo.bmp"));
    EXPECT_EQ(w.saveQuestions, std::vector<QString>{QStringLiteral(
                                   "Save changes to Untitled before opening another picture?")});
    EXPECT_TRUE(twtest::FileExists(dir.Path("start.png")));
    EXPECT_EQ(w.Picture().Rect().size(), QSize(40, 30));

    w.Doc().AddBlankPart();
    w.projectChoice = Q(dir.Path("work"));
    w.Trigger("saveProject");
    EXPECT_EQ(w->windowTitle(), QStringLiteral("work.tintwell - Tintwell"));
    w.Doc().AddBlankPart();
    w.projectChoice.clear(); // the project's own file is used without a dialog
    w.replaceQuestions.clear();
    w.Trigger("exit");
    EXPECT_EQ(w.saveQuestions.back(),
              QStringLiteral("Save the parts of work.tintwell as a project before quitting?"));
    EXPECT_TRUE(w.replaceQuestions.empty());
    EXPECT_FALSE(w.Doc().IsModified());
}

// Ctrl+Shift+S writes the document's full-size result off the GUI thread; an
// icon cannot hold it and the dialog comes again; Cancel writes nothing.
TEST(PictureFiles, FullSizeSaveWritesTheDocumentsResultOrNothing) {
    twtest::TempDir dir;
    const std::string photo = dir.Path("photo.png");
    ASSERT_TRUE(tw::SavePicture(Pattern(1600, 1200), photo));
    Window w;
    w.Open(photo);
    w.Doc().AddGrownPart(tw::Bitmap(800, 600, kSkin), {0, 0});
    w->show();
    QApplication::setActiveWindow(w.window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    const auto waitForSave = [&] {
        for (int i = 0; i < 600 && w->FullSizeSaveRunning(); ++i)
            QTest::qWait(50);
        return !w->FullSizeSaveRunning();
    };

    // An icon: told why, offered the dialog again, which the user cancels.
    w.saveQueue = {Q(dir.Path("big.ico")), QString()};
    QTest::keyClick(w.window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w.saveCaptions.size(), 2u);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].contains("icons hold at most 256 x 256 pixels")) << w.messages[0].toStdString();
    EXPECT_TRUE(w.messages[0].contains(".png")) << "the other formats are named";
    EXPECT_FALSE(twtest::FileExists(dir.Path("big.ico")));

    w.saveCaptions.clear();
    w.saveChoice = Q(dir.Path("full.png"));
    QTest::keyClick(w.window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w.saveCaptions, std::vector<QString>{QStringLiteral("Save Full-Size Picture")});
    ASSERT_TRUE(waitForSave());
    const std::optional<tw::Bitmap> expected = w.Doc().ComposeFullSizeResult();
    ASSERT_TRUE(expected && expected->Width() == 1600);
    EXPECT_TRUE(tw::LoadPicture(dir.Path("full.png")) == *expected);
    EXPECT_TRUE(w.Doc().IsModified()) << "a picture does not keep the parts";
    EXPECT_EQ(w->windowTitle(), QStringLiteral("photo.png* (no project, exported) - Tintwell"));

    w.saveChoice = Q(dir.Path("cancelled.png"));
    w.Action("saveFullSizePicture")->trigger();
    ASSERT_TRUE(w->FullSizeSaveRunning());
    w->CancelFullSizeSave();
    ASSERT_TRUE(waitForSave());
    EXPECT_FALSE(twtest::FileExists(dir.Path("cancelled.png")));
    EXPECT_EQ(QDir(Q(dir.Path(""))).entryList(QDir::Files), QStringList({"full.png", "photo.png"}));
}

// Save Picture over the photo it came from would shrink it: the question says
// both sizes and offers the full-size save; a smaller or unreadable file gets
// the plain question.
TEST(PictureFiles, ReplacingALargerPictureSaysSoAndOffersTheFullSize) {
    twtest::TempDir dir;
    const std::string photo = dir.Path("photo.png");
    ASSERT_TRUE(tw::SavePicture(Pattern(1600, 1200), photo));
    ASSERT_TRUE(tw::SavePicture(Pattern(3200, 2400), dir.Path("huge.png")));
    ASSERT_TRUE(tw::SavePicture(Pattern(40, 30), dir.Path("small.png")));
    twtest::WriteAll(dir.Path("notes.png"), "not a picture");
    Window w;
    w.Open(photo);
    w.Doc().AddGrownPart(tw::Bitmap(800, 600, kSkin), {0, 0});
    const QByteArray before = twtest::ReadAll(photo);

    w.SavePicture(Q(photo));
    ASSERT_EQ(w.smallerQuestions.size(), 1u);
    EXPECT_EQ(w.smallerQuestions[0],
              QStringLiteral("photo.png is 1600 × 1200; Save Picture writes 800 × 600. "
                             "Replace it with the smaller picture?|full size offered"));
    EXPECT_TRUE(w.replaceQuestions.empty());
    EXPECT_EQ(twtest::ReadAll(photo), before) << "Cancel keeps the photo byte for byte";

    for (const char* name : {"small.png", "notes.png"}) {
        w.answerReplace = false;
        w.SavePicture(Q(dir.Path(name)));
        EXPECT_EQ(w.replaceQuestions.back(), Q(dir.Path(name))) << "the plain question for " << name;
    }
    EXPECT_EQ(w.smallerQuestions.size(), 1u);

    // A full-size save over a larger picture asks too, without the offer.
    w.SaveFullSize(Q(dir.Path("huge.png")));
    EXPECT_FALSE(w->FullSizeSaveRunning());
    EXPECT_EQ(w.smallerQuestions.back(),
              QStringLiteral("huge.png is 3200 × 2400; Save Full-Size Picture writes "
                             "1600 × 1200. Replace it with the smaller picture?"));

    w.answerSmaller = TReplaceAnswer::SaveFullSize;
    w.SavePicture(Q(photo));
    ASSERT_TRUE(w.WaitForFullSizeSave());
    const std::optional<tw::Bitmap> expected = w.Doc().ComposeFullSizeResult();
    ASSERT_TRUE(expected);
    EXPECT_TRUE(tw::LoadPicture(photo) == *expected) << "the photo replaced at its own size";
}

TEST(PictureFiles, SaveDialogsSuggestANameInThePicturesFormatAndFolder) {
    twtest::TempDir dir;
    ASSERT_TRUE(tw::SavePicture(Pattern(60, 40), dir.Path("cups.jpg")));
    Window w;
    w.Trigger("savePicture"); // the start picture has no name to go by
    EXPECT_TRUE(w.saveSuggestions.back().endsWith(QStringLiteral("/recoloured.png")));
    w.Open(dir.Path("cups.jpg"));
    w.Trigger("savePicture");
    EXPECT_EQ(w.saveSuggestions.back(), Q(dir.Path("cups-recoloured.jpg")));
    w.Action("saveFullSizePicture")->trigger();
    EXPECT_EQ(w.saveSuggestions.back(), Q(dir.Path("cups-recoloured.jpg")));
    w.Doc().AddGrownPart(tw::Bitmap(60, 40, kSkin), {0, 0});
    w.Trigger("saveImagePart");
    EXPECT_EQ(w.saveSuggestions.back(), Q(dir.Path("cups-part2.png"))) << "parts keep PNG";
}

// Saved pictures keep the photo's metadata and profile on both save paths
// unless the preference says otherwise, which is remembered; a HEIC picture's
// result is suggested as JPEG and the dialog says why.
TEST(PictureFiles, SavedPicturesKeepThePhotosMetadataUnlessTurnedOff) {
    if (!twtest::HaveProgram("exiftool"))
        GTEST_SKIP() << "exiftool is not installed (scripts/setup installs it)";
    twtest::TempDir dir;
    const std::string photo = dir.Path("photo.jpg");
    ASSERT_TRUE(tw::SavePicture(Pattern(1000, 750), photo));
    // A profile's header without tags will do: what lcms2 cannot use is carried all the same.
    QByteArray icc(132, '\0');
    icc[3] = static_cast<char>(132);
    icc.replace(8, 4, QByteArray("\x02\x10\0\0", 4)).replace(12, 12, "mntrRGB XYZ ").replace(36, 4, "acsp");
    twtest::WriteAll(dir.Path("p.icc"), icc);
    ASSERT_EQ(twtest::RunProgram("exiftool", {"-q", "-overwrite_original", "-Make=Tintcam", "-Artist=Ann",
                                              "-ICC_Profile<=" + Q(dir.Path("p.icc")), Q(photo)}),
              0);
    const auto metadataOf = [](const std::string& path) {
        tw::TPictureMetadata metadata;
        tw::LoadPicture(path, {}, &metadata);
        return metadata;
    };
    const QByteArray profile = metadataOf(photo).IccProfile;
    ASSERT_FALSE(profile.isEmpty());
    const QString settings = QDir(Q(dir.Path("."))).filePath("tintwell.conf");
    {
        twtest::TWindow w({}, settings);
        w.Open(photo);
        ASSERT_TRUE(w.Action("keepMetadata")->isChecked());
        w.SavePicture(Q(dir.Path("small.png")));
        w.SaveFullSize(Q(dir.Path("full.tif")));
        ASSERT_TRUE(w.WaitForFullSizeSave());
        for (const char* name : {"small.png", "full.tif"}) {
            const tw::TPictureMetadata saved = metadataOf(dir.Path(name));
            EXPECT_EQ(saved.Orientation(), 1) << name;
            EXPECT_TRUE(saved.HasMetadata()) << name;
            EXPECT_EQ(saved.IccProfile, profile) << name;
        }
        w.Action("keepMetadata")->trigger();
        w.SavePicture(Q(dir.Path("bare.jpg")));
        EXPECT_FALSE(metadataOf(dir.Path("bare.jpg")).HasMetadata());
        EXPECT_EQ(metadataOf(dir.Path("bare.jpg")).IccProfile, profile);
    }
    twtest::TWindow again({}, settings);
    EXPECT_FALSE(again.Action("keepMetadata")->isChecked());

    if (twtest::RunProgram("convert", {Q(dir.Path("small.png")), Q(dir.Path("beach.heic"))}) != 0)
        GTEST_SKIP() << "ImageMagick cannot write HEIC here";
    again.Open(dir.Path("beach.heic"));
    again.SavePicture({});
    ASSERT_FALSE(again.saveCaptions.empty());
    EXPECT_TRUE(again.saveCaptions.back().contains("HEIC and AVIF are not written"));
    EXPECT_TRUE(again.saveSuggestions.back().endsWith("beach-recoloured.jpg"));
}
