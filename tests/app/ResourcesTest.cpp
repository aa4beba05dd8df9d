// The command icons and the help book, as embedded in the program.

#include "app/HelpModule.h"
#include "resources/ActionIcons.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

QImage IconImage(const QIcon& icon, int size) {
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

int OpaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128) ++count;
    return count;
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST(ActionIcons, EveryCommandHasADistinctIconAtBothSizes) {
    const QStringList& names = tw::ActionIconNames();
    ASSERT_EQ(names.size(), 22);
    QSet<QByteArray> seen;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QIcon icon = tw::ActionIcon(name);
        ASSERT_FALSE(icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(24, 24)));
        EXPECT_TRUE(sizes.contains(QSize(48, 48)));

        const QImage small = IconImage(icon, 24);
        const QImage large = IconImage(icon, 48);
        EXPECT_EQ(small.size(), QSize(24, 24));
        EXPECT_EQ(large.size(), QSize(48, 48));
        // Drawn, not empty, and the large picture is a drawing of its own size.
        EXPECT_GT(OpaquePixels(small), 10);
        EXPECT_GT(OpaquePixels(large), 3 * OpaquePixels(small));
        const QByteArray bits(reinterpret_cast<const char*>(large.constBits()), large.sizeInBytes());
        EXPECT_FALSE(seen.contains(bits)) << "the same picture as another command";
        seen.insert(bits);
    }
    EXPECT_TRUE(tw::ActionIcon(QStringLiteral("no_such_command")).isNull());
}

TEST(ActionIcons, TheResourceFolderHoldsExactlyTheListedIcons) {
    tw::RegisterActionIcons();
    QStringList files = QDir(QStringLiteral(":/icons")).entryList(QDir::Files);
    QStringList expected;
    for (const QString& name : tw::ActionIconNames())
        expected << name + QStringLiteral(".png") << name + QStringLiteral("@2x.png");
    files.sort();
    expected.sort();
    EXPECT_EQ(files, expected);
}

// Every page has a title, and every link and picture in the book leads somewhere.
TEST(HelpBook, PagesHaveTitlesAndNoBrokenLinks) {
    const twtest::TempDir programDir;
    tw::THelpModuleSetup setup;
    setup.ProgramFile = programDir.Dir().filePath(QStringLiteral("tintwell"));
    setup.TempDir = programDir.Dir().path();
    tw::THelpModule help(setup); // registers the book
    tw::RegisterActionIcons();

    const QStringList pages =
        QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.htm")}, QDir::Files);
    ASSERT_GE(pages.size(), 6);
    EXPECT_TRUE(pages.contains(tw::THelpModule::kDefaultTopic));
    EXPECT_TRUE(pages.contains(QStringLiteral("Change_color_dialog.htm")));

    const QRegularExpression title(QStringLiteral("<title>([^<]+)</title>"));
    const QRegularExpression reference(QStringLiteral("(?:href|src)=\"([^\"]+)\""));
    QSet<QString> linkedTo;
    for (const QString& page : pages) {
        SCOPED_TRACE(page.toStdString());
        const QString html = ReadText(QStringLiteral(":/help/") + page);
        ASSERT_FALSE(html.isEmpty());
        EXPECT_TRUE(title.match(html).hasMatch());
        for (auto it = reference.globalMatch(html); it.hasNext();) {
            QString target = it.next().captured(1);
            if (target.startsWith(QStringLiteral("https://"))) continue;
            target = target.section(QLatin1Char('#'), 0, 0);
            const QString resource = target.startsWith(QStringLiteral("qrc:"))
                                         ? target.mid(3)
                                         : QStringLiteral(":/help/") + target;
            EXPECT_TRUE(QFile::exists(resource)) << target.toStdString();
            if (target != page) linkedTo.insert(target);
        }
    }
    // No page is left without a way to reach it.
    for (const QString& page : pages)
        EXPECT_TRUE(linkedTo.contains(page)) << page.toStdString() << " is not linked from another page";
}
