#include "app/HelpModule.h"
#include "app/HelpViewer.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <gtest/gtest.h>

using tw::THelpModule;
using tw::THelpModuleSetup;

namespace {

// A program "installed" in its own folder, with a separate temporary folder.
struct Installation {
    twtest::TempDir programDir;
    twtest::TempDir tempDir;

    THelpModuleSetup Setup(const QStringList& arguments = {}) const {
        THelpModuleSetup setup;
        setup.ProgramFile = programDir.Dir().filePath(QStringLiteral("tintwell"));
        setup.Arguments = arguments;
        setup.TempDir = tempDir.Dir().path();
        return setup;
    }
    QString ProgramPath(const QString& name) const { return programDir.Dir().filePath(name); }
    QString TempPath(const QString& name) const { return tempDir.Dir().filePath(name); }
};

QStringList LogLines(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// A log line of the call kind: the text, three blanks, the time of day.
void ExpectTimedLine(const QString& line, const QString& text) {
    static const QRegularExpression time(QStringLiteral("^   \\d\\d:\\d\\d:\\d\\d$"));
    ASSERT_TRUE(line.startsWith(text)) << line.toStdString();
    EXPECT_TRUE(time.match(line.mid(text.size())).hasMatch()) << line.toStdString();
}

} // namespace

TEST(HelpPath, TopicsBecomeAbsolutePathsInsideTheHelpFile) {
    const QString file = QStringLiteral("/opt/tintwell/Tintwell.chm");
    EXPECT_EQ(THelpModule::BuildHelpPath(file, QStringLiteral("a\\b.htm"), {}, 0),
              QStringLiteral("/opt/tintwell/Tintwell.chm::/a/b.htm"));
    EXPECT_EQ(THelpModule::BuildHelpPath(file, QStringLiteral("/a/b.htm"), {}, 0),
              QStringLiteral("/opt/tintwell/Tintwell.chm::/a/b.htm"));
    EXPECT_EQ(THelpModule::BuildHelpPath(file, QStringLiteral("\\x.htm"), {}, 0),
              QStringLiteral("/opt/tintwell/Tintwell.chm::/x.htm"));
    // No topic: the file alone; no file: the topic alone.
    EXPECT_EQ(THelpModule::BuildHelpPath(file, {}, {}, 0), file);
    EXPECT_EQ(THelpModule::BuildHelpPath({}, QStringLiteral("a\\b.htm"), {}, 0), QStringLiteral("/a/b.htm"));
}

TEST(HelpPath, EncodedBlanksAreDecodedAndTrimmed) {
    EXPECT_EQ(THelpModule::BuildHelpPath(QStringLiteral("%20/my%20files/Tintwell.chm "),
                                         QStringLiteral(" %20two%20words.htm%20"),
                                         QStringLiteral("%20main%20"), 0),
              QStringLiteral("/my files/Tintwell.chm::/two words.htm>main"));
    // Blanks only count as nothing.
    EXPECT_EQ(THelpModule::BuildHelpPath(QStringLiteral("T.chm"), QStringLiteral("%20 %20"),
                                         QStringLiteral(" "), 0),
              QStringLiteral("T.chm"));
}

TEST(HelpPath, WindowNameAndModePrefixes) {
    const QString file = QStringLiteral("T.chm");
    const QString topic = QStringLiteral("p.htm");
    EXPECT_EQ(THelpModule::BuildHelpPath(file, topic, QStringLiteral("main"), 0),
              QStringLiteral("T.chm::/p.htm>main"));
    EXPECT_EQ(THelpModule::BuildHelpPath(file, {}, QStringLiteral("main"), 0), QStringLiteral("T.chm>main"));
    EXPECT_EQ(THelpModule::BuildHelpPath(file, topic, {}, 1), QStringLiteral("mk:@MSITStore:T.chm::/p.htm"));
    EXPECT_EQ(THelpModule::BuildHelpPath(file, topic, QStringLiteral("w"), 2),
              QStringLiteral("ms-its:T.chm::/p.htm>w"));
}

TEST(HelpModule, WithoutTheHelpBookModeZeroShowsNothingAndReturnsOne) {
    Installation installation;
    THelpModuleSetup setup = installation.Setup();
    setup.BookPrefix = QStringLiteral(":/no-such-book/");
    THelpModule help(setup);
    EXPECT_FALSE(help.Installed());
    EXPECT_EQ(help.ShowHelpTopic(help.HelpFile(), THelpModule::kDefaultTopic, {}, 0), tw::kHelpNoViewer);
    EXPECT_EQ(help.Viewer(), nullptr);
}

TEST(HelpModule, ModeZeroShowsTheTopicInTheHelpWindow) {
    Installation installation;
    THelpModule help(installation.Setup());
    ASSERT_TRUE(help.Installed());
    ASSERT_TRUE(help.EntryPointFound());
    EXPECT_EQ(help.HelpFile(), installation.ProgramPath(QStringLiteral("Tintwell.chm")));

    ASSERT_EQ(help.ShowHelpTopic(help.HelpFile(), THelpModule::kDefaultTopic, {}, 0), tw::kHelpShown);
    tw::THelpViewer* viewer = help.Viewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Tintwell Help"));
    EXPECT_EQ(viewer->PageTitle(), QStringLiteral("What is Tintwell?"));
    EXPECT_EQ(viewer->CurrentPage(), QUrl(QStringLiteral("qrc:/help/What_is_Tintwell.htm")));

    // A backslash topic, a window name and an anchor; the same window is reused.
    ASSERT_EQ(help.ShowHelpTopic(help.HelpFile(), QStringLiteral("\\Change_color_dialog.htm#x"),
                                 QStringLiteral("main"), 0),
              tw::kHelpShown);
    EXPECT_EQ(help.Viewer(), viewer);
    EXPECT_EQ(viewer->CurrentPage().path(), QStringLiteral("/help/Change_color_dialog.htm"));
    EXPECT_EQ(viewer->PageTitle(), QStringLiteral("The \"Color settings\" window"));

    // The help file alone opens the start page.
    help.ShowHelpTopic(help.HelpFile(), {}, {}, 0);
    EXPECT_EQ(viewer->PageTitle(), QStringLiteral("What is Tintwell?"));
}

TEST(HelpModule, MissingPagesAndForeignHelpFilesAreReportedInTheHelpWindow) {
    Installation installation;
    THelpModule help(installation.Setup());
    help.ShowHelpTopic(help.HelpFile(), THelpModule::kDefaultTopic, {}, 0);
    EXPECT_EQ(help.ShowHelpTopic(help.HelpFile(), QStringLiteral("No_such_page.htm"), {}, 0), tw::kHelpShown);
    tw::THelpViewer* viewer = help.Viewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->PageTitle(), QStringLiteral("Page not found"));
    EXPECT_TRUE(viewer->CurrentPage().isEmpty());
    EXPECT_TRUE(viewer->Browser()->toPlainText().contains(QStringLiteral("No_such_page.htm")));

    // Pages outside the book are not reachable by climbing out of it.
    help.ShowHelpTopic(help.HelpFile(), QStringLiteral("../icons/fill.png"), {}, 0);
    EXPECT_EQ(viewer->PageTitle(), QStringLiteral("Page not found"));

    help.ShowHelpTopic(QStringLiteral("/elsewhere/Other.chm"), THelpModule::kDefaultTopic, {}, 0);
    EXPECT_EQ(viewer->PageTitle(), QStringLiteral("The help file cannot be opened"));
    EXPECT_TRUE(viewer->Browser()->toPlainText().contains(QStringLiteral("/elsewhere/Other.chm")));

    // Home leaves the problem page for the start page, shown before the problems.
    viewer->GoHome();
    EXPECT_EQ(viewer->PageTitle(), QStringLiteral("What is Tintwell?"));
    EXPECT_FALSE(viewer->CurrentPage().isEmpty());
}

TEST(HelpModule, HelpWindowGoesBackAndForward) {
    Installation installation;
    THelpModule help(installation.Setup());
    help.ShowHelpTopic(help.HelpFile(), THelpModule::kDefaultTopic, {}, 0);
    help.ShowHelpTopic(help.HelpFile(), QStringLiteral("Image_parts.htm"), {}, 0);
    QTextBrowser* browser = help.Viewer()->Browser();
    ASSERT_TRUE(browser->isBackwardAvailable());
    browser->backward();
    EXPECT_EQ(help.Viewer()->PageTitle(), QStringLiteral("What is Tintwell?"));
    ASSERT_TRUE(browser->isForwardAvailable());
    browser->forward();
    EXPECT_EQ(help.Viewer()->PageTitle(), QStringLiteral("Image parts"));
}

// Closing the main window ends the program even while the help window is open.
TEST(HelpModule, AnOpenHelpWindowDoesNotKeepTheProgramRunning) {
    Installation installation;
    THelpModule help(installation.Setup());
    QWidget main;
    main.show();
    help.ShowStartPage();
    ASSERT_TRUE(help.Viewer()->isVisible());
    QTimer::singleShot(0, &main, &QWidget::close);
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stuck.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "the event loop went on after the main window closed";
}

TEST(HelpModule, ExternalHelpProgramsAreMissingHere) {
    Installation installation;
    THelpModule help(installation.Setup());
    EXPECT_EQ(help.ShowHelpTopic(help.HelpFile(), QStringLiteral("a.htm"), {}, 1), tw::kHelpNoKeyHH);
    EXPECT_EQ(help.ShowHelpTopic(help.HelpFile(), QStringLiteral("a.htm"), {}, 2), tw::kHelpNoHHExe);
    EXPECT_EQ(help.ShowHelpTopic(help.HelpFile(), QStringLiteral("a.htm"), {}, 7), tw::kHelpBadMode);
    EXPECT_EQ(help.Viewer(), nullptr);

    // A folder named as the programs' home that does not hold them.
    THelpModuleSetup setup = installation.Setup();
    setup.WindowsDir = installation.tempDir.Dir().path();
    THelpModule elsewhere(setup);
    EXPECT_EQ(elsewhere.ShowHelpTopic(elsewhere.HelpFile(), QStringLiteral("a.htm"), {}, 1),
              tw::kHelpNoKeyHH);
    EXPECT_EQ(elsewhere.ShowHelpTopic(elsewhere.HelpFile(), QStringLiteral("a.htm"), {}, 2),
              tw::kHelpNoHHExe);
}

TEST(HelpModule, ExternalHelpProgramGetsThePrefixedPath) {
    Installation installation;
    const QString program = installation.TempPath(QStringLiteral("HH.EXE"));
    const QString record = installation.TempPath(QStringLiteral("arguments.txt"));
    twtest::WriteAll(program.toStdString(),
                     QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.part' && mv '%1.part' '%1'\n")
                         .arg(record)
                         .toUtf8());
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    THelpModuleSetup setup = installation.Setup();
    setup.WindowsDir = installation.tempDir.Dir().path();
    THelpModule help(setup);
    ASSERT_EQ(help.ShowHelpTopic(QStringLiteral("T.chm"), QStringLiteral("a\\b.htm"), {}, 2), tw::kHelpShown);

    const QDeadlineTimer deadline(20000);
    while (!QFileInfo::exists(record) && !deadline.hasExpired())
        QThread::msleep(20);
    EXPECT_EQ(QString::fromUtf8(twtest::ReadAll(record.toStdString())),
              QStringLiteral("ms-its:T.chm::/a/b.htm\n"));
}

TEST(HelpLog, SwitchedOnByDebugArgumentOrDebugFile) {
    struct Case {
        QStringList arguments;
        bool on;
    };
    const Case cases[] = {
        {{}, false},
        {{QStringLiteral("-DEBUG")}, true},
        {{QStringLiteral("picture.jpg"), QStringLiteral("/Debug")}, true},
        {{QStringLiteral("-debug")}, true},
        {{QStringLiteral("debug")}, false},
        {{QStringLiteral("--debug")}, false},
        {{QStringLiteral("/debugx")}, false},
    };
    for (const Case& c : cases) {
        Installation installation;
        THelpModule help(installation.Setup(c.arguments));
        EXPECT_EQ(help.LogOn(), c.on) << c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(QFileInfo::exists(help.LogFile()), c.on);
    }

    Installation installation;
    twtest::WriteAll(installation.ProgramPath(QStringLiteral("debug.debug")).toStdString(), {});
    THelpModule help(installation.Setup());
    EXPECT_TRUE(help.LogOn());
}

TEST(HelpLog, HeaderAndOneContextBlockPerRequest) {
    Installation installation;
    // An old log goes at start-up.
    twtest::WriteAll(installation.ProgramPath(QStringLiteral("HHDebug.txt")).toStdString(), "old line\n");

    THelpModule help(installation.Setup({QStringLiteral("-DEBUG")}));
    ASSERT_EQ(help.LogDir(), installation.programDir.Dir().path());
    EXPECT_EQ(help.LogFile(), installation.ProgramPath(QStringLiteral("HHDebug.txt")));
    // The probe file is gone again.
    EXPECT_FALSE(QFileInfo::exists(installation.ProgramPath(QStringLiteral("$_Temp_$.$$$"))));

    const QStringList header = LogLines(help.LogFile());
    const char* const labels[] = {
        "Filename:             \t",
        "Date:                 \t",
        "SysLocale.DefaultLCID: \t",
        "SysLocale.PriLangID:   \t",
        "SysLocale.SubLangID:   \t",
        "DecimalSeparator:      \t",
        nullptr,
        "EXE Path =          \t",
        "_RunDir =           \t",
        "_ModuleName =       \t",
        "_ModuleDir =        \t",
        "_hhInstalled =      \t",
        "_hhVerStr =         \t",
        "_hhFriendlyVerStr = \t",
        "_ieInstalled =      \t",
        "_ieVerStr =         \t",
        "_ieFriendlyVerStr = \t",
    };
    constexpr int kLabels = sizeof labels / sizeof labels[0];
    ASSERT_EQ(header.size(), kLabels + 1);
    for (int i = 0; i < kLabels; ++i) {
        if (labels[i]) {
            EXPECT_TRUE(header[i].startsWith(QString::fromUtf8(labels[i]))) << header[i].toStdString();
        }
    }
    EXPECT_EQ(header[0], QStringLiteral("Filename:             \t") + help.LogFile());
    EXPECT_EQ(header[6], QString(79, QLatin1Char('-')));
    EXPECT_EQ(header[7], QStringLiteral("EXE Path =          \t") +
                             installation.ProgramPath(QStringLiteral("tintwell")));
    EXPECT_EQ(header[11], QStringLiteral("_hhInstalled =      \tYES"));
    EXPECT_EQ(header[14], QStringLiteral("_ieInstalled =      \tYES"));
    EXPECT_EQ(header.last(), QString(79, QLatin1Char('=')));
    const QRegularExpression hex4(QStringLiteral("\\t0x[0-9a-f]{4}$"));
    for (int i = 2; i <= 4; ++i)
        EXPECT_TRUE(hex4.match(header[i]).hasMatch()) << header[i].toStdString();

    help.ShowHelpTopic(QStringLiteral("/x/Tintwell.chm"), QStringLiteral("a\\b.htm"), QStringLiteral("win"),
                       1);
    help.ShowHelpTopic(help.HelpFile(), THelpModule::kDefaultTopic, {}, 0);
    const QStringList lines = LogLines(help.LogFile()).mid(header.size());
    ASSERT_EQ(lines.size(), 6);
    ExpectTimedLine(lines[0], QStringLiteral("HHHelpContext(\"/x/Tintwell.chm\", a\\b.htm, \"win\", 1)"));
    ExpectTimedLine(lines[1],
                    QStringLiteral("ShowTopic(\"mk:@MSITStore:/x/Tintwell.chm::/a/b.htm>win\", 1)"));
    ExpectTimedLine(lines[2], QStringLiteral("  returned - 2"));
    ExpectTimedLine(
        lines[3],
        QStringLiteral("HHHelpContext(\"%1\", What_is_Tintwell.htm, \"\", 0)").arg(help.HelpFile()));
    ExpectTimedLine(lines[4],
                    QStringLiteral("ShowTopic(\"%1::/What_is_Tintwell.htm\", 0)").arg(help.HelpFile()));
    ExpectTimedLine(lines[5], QStringLiteral("  returned - 0"));
}

TEST(HelpLog, LineForms) {
    Installation installation;
    THelpModule help(installation.Setup({QStringLiteral("/debug")}));
    const int before = static_cast<int>(LogLines(help.LogFile()).size());
    help.Log(QStringLiteral("="));
    help.Log(QStringLiteral("-"));
    help.Log(QStringLiteral("--"));
    help.Log(QStringLiteral("!Key:\tvalue"));
    help.Log(QStringLiteral("=x"));
    help.Log(QStringLiteral("plain"));
    const QStringList lines = LogLines(help.LogFile()).mid(before);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QString(79, QLatin1Char('=')));
    EXPECT_EQ(lines[1], QString(79, QLatin1Char('-')));
    EXPECT_EQ(lines[2], QStringLiteral("-"));
    EXPECT_EQ(lines[3], QStringLiteral("Key:\tvalue"));
    EXPECT_EQ(lines[4], QStringLiteral("x"));
    ExpectTimedLine(lines[5], QStringLiteral("plain"));
}

TEST(HelpLog, GoesToTheTemporaryFolderWhenTheProgramFolderTakesNoFiles) {
    // A "folder" that is a file takes no files, even for root.
    Installation installation;
    const QString notAFolder = installation.ProgramPath(QStringLiteral("bin"));
    twtest::WriteAll(notAFolder.toStdString(), "not a folder");
    THelpModuleSetup setup = installation.Setup({QStringLiteral("-debug")});
    setup.ProgramFile = notAFolder + QStringLiteral("/tintwell");
    twtest::WriteAll(installation.TempPath(QStringLiteral("HHDebug.txt")).toStdString(), "old line\n");

    THelpModule help(setup);
    EXPECT_EQ(help.LogDir(), installation.tempDir.Dir().path());
    help.ShowHelpTopic(help.HelpFile(), QStringLiteral("a.htm"), {}, 2);
    const QStringList lines = LogLines(installation.TempPath(QStringLiteral("HHDebug.txt")));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("Filename:")));
    EXPECT_FALSE(lines.join(QLatin1Char('\n')).contains(QStringLiteral("old line")));
    ExpectTimedLine(lines.last(), QStringLiteral("  returned - 3"));

    // When the log cannot be written at all, lines are dropped and nothing fails.
    setup.TempDir = notAFolder;
    THelpModule nowhere(setup);
    EXPECT_TRUE(nowhere.LogOn());
    EXPECT_EQ(nowhere.ShowHelpTopic(nowhere.HelpFile(), QStringLiteral("a.htm"), {}, 2), tw::kHelpNoHHExe);
}

TEST(HelpKeywords, ControlThenCommandThenWindowThenDefault) {
    QWidget window;
    auto* plain = new QWidget(&window);
    auto* button = new QToolButton(&window);
    QAction changeColor(QStringLiteral("Change color..."));
    tw::SetHelpKeyword(&changeColor, QStringLiteral("Change_color_dialog.htm"));
    button->setDefaultAction(&changeColor);

    EXPECT_EQ(tw::HelpKeywordFor(nullptr), THelpModule::kDefaultTopic);
    EXPECT_EQ(tw::HelpKeywordFor(plain), THelpModule::kDefaultTopic);
    EXPECT_EQ(tw::HelpKeywordFor(button), QStringLiteral("Change_color_dialog.htm"));

    tw::SetHelpKeyword(&window, QStringLiteral("Main_window.htm"));
    EXPECT_EQ(tw::HelpKeywordFor(plain), QStringLiteral("Main_window.htm"));
    tw::SetHelpKeyword(plain, QStringLiteral("Image_parts.htm"));
    EXPECT_EQ(tw::HelpKeywordFor(plain), QStringLiteral("Image_parts.htm"));
    EXPECT_EQ(tw::HelpKeywordFor(button), QStringLiteral("Change_color_dialog.htm"));

    Installation installation;
    THelpModule help(installation.Setup());
    EXPECT_EQ(help.ShowHelpFor(button), tw::kHelpShown);
    EXPECT_EQ(help.Viewer()->PageTitle(), QStringLiteral("The \"Color settings\" window"));
}
