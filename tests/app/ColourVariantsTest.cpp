// Colour variants in the main window: listed in their dialog, kept by the
// document, and saved as one picture each with a contact sheet.

#include "document/ColourVariants.h"
#include "app/WindowDriver.h"
#include "dialogs/ColourVariantsDialog.h"
#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QLabel>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

tw::Bitmap Cloth(int width, int height) {
    tw::Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y, RGBToColor(180 + (x * 7 + y * 3) % 40, 40 + (x + y) % 20, 30));
    return b;
}

} // namespace

TEST(ColourVariants, ListedInTheirDialogAndSavedOnePictureEachWithASheet) {
    twtest::TempDir dir;
    const std::string photo = dir.Path("cups.png");
    ASSERT_TRUE(tw::SavePicture(Cloth(1600, 1200), photo));
    twtest::TWindow w;
    w.Open(photo);
    w.Doc().AddGrownPart(tw::Bitmap(800, 600, 0xC83228), {0, 0});
    EXPECT_FALSE(w.Enabled("saveColourVariants"));

    auto* dialog = w->findChild<TColourVariantsDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* table = twtest::Child<QTableWidget>(dialog, "variants");
    QString problemShown;
    bool okWhileBad = true;
    const tw::ColorValue navy = RGBToColor(0x1F, 0x2A, 0x44);
    dialog->SetColourChooser([navy](tw::ColorValue) { return std::optional<tw::ColorValue>(navy); });
    PressWhen(
        [&] {
            if (!dialog->isVisible()) return false;
            twtest::Child<QPushButton>(dialog, "addColour")->click();
            twtest::Child<QPushButton>(dialog, "addCurrent")->click();
            // A name twice is refused until it is changed.
            table->item(1, 0)->setText(QStringLiteral("1f2a44"));
            problemShown = twtest::Child<QLabel>(dialog, "problem")->text();
            okWhileBad = twtest::Child<QPushButton>(dialog, "ok")->isEnabled();
            table->item(0, 0)->setText(QStringLiteral("navy"));
            table->item(1, 0)->setText(QStringLiteral("as-set"));
            return true;
        },
        twtest::Child<QPushButton>(dialog, "ok"));
    w.Trigger("colourVariants");
    EXPECT_EQ(problemShown, QStringLiteral("Two variants are named \"1f2a44\"."));
    EXPECT_FALSE(okWhileBad);
    ASSERT_EQ(w.Doc().Variants().size(), 2u);
    EXPECT_EQ(w.Doc().Variants()[0].Name, "navy");
    EXPECT_EQ(w.Doc().Variants()[0].Goal, (TGivenColour{navy, true}));
    EXPECT_EQ(w.Doc().Variants()[1].Parts.size(), static_cast<size_t>(w.Doc().PartCount()));
    EXPECT_TRUE(w.Enabled("saveColourVariants"));

    // At full size: NAME-VARIANT for each, the settings' variant as Save
    // Full-Size would write it, and the sheet.
    w.saveChoice = Q(dir.Path("cups.png"));
    w.answerFullSize = true;
    w.Trigger("saveColourVariants");
    ASSERT_TRUE(w.WaitForFullSizeSave());
    ASSERT_EQ(w.sizeQuestions.size(), 1u);
    EXPECT_TRUE(w.sizeQuestions[0].contains("(1600 × 1200)")) << w.sizeQuestions[0].toStdString();
    const std::optional<tw::Bitmap> asSet = w.Doc().ComposeFullSizeResult();
    ASSERT_TRUE(asSet);
    EXPECT_TRUE(tw::LoadPicture(dir.Path("cups-as-set.png")) == *asSet);
    const tw::Bitmap navyResult = tw::LoadPicture(dir.Path("cups-navy.png"));
    EXPECT_EQ(navyResult.Width(), 1600);
    EXPECT_FALSE(navyResult == *asSet);
    EXPECT_EQ(tw::LoadPicture(dir.Path("cups-contact-sheet.png")).Width() > 0, true);
    EXPECT_TRUE(w.replaceFilesQuestions.empty());

    // Again: the three files are named in one question, and No keeps them.
    w.answerReplaceFiles = false;
    QFile::remove(Q(dir.Path("cups-navy.png")));
    w.Trigger("saveColourVariants");
    EXPECT_FALSE(w->FullSizeSaveRunning());
    ASSERT_EQ(w.replaceFilesQuestions.size(), 1u);
    EXPECT_EQ(w.replaceFilesQuestions[0], QStringList({"cups-as-set.png", "cups-contact-sheet.png"}));
    EXPECT_FALSE(twtest::FileExists(dir.Path("cups-navy.png")));

    // The list is an undo step.
    w.Doc().Undo();
    EXPECT_TRUE(w.Doc().Variants().empty());
    EXPECT_FALSE(w.Enabled("saveColourVariants"));
}
