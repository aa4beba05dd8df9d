#pragma once
// The help module: shows topics of Tintwell's help book and keeps an optional
// diagnostic log ("HHDebug.txt").
//
// The help file is "Tintwell.chm" in the program's folder; it names the help
// book embedded in the program, which our own viewer window (THelpViewer)
// shows. Topics are addressed as "<help file>::/<topic>[>window]".
//
// Create one THelpModule after the QApplication and before the main window,
// and keep it until the program ends.

#include <QString>
#include <QStringList>

#include <memory>

class QObject;
class QWidget;

namespace tw {

class THelpViewer;

// Where the module looks for its files. FromApplication() describes this
// program as it was started; tests point it elsewhere.
struct THelpModuleSetup {
    QString ProgramFile;   // the program's own file; its folder holds the help file and the log
    QStringList Arguments; // command-line arguments, without the program's name
    QString TempDir;       // where the log goes when the program's folder is not writable
    QString WindowsDir;    // where the external help programs of modes 1 and 2 would live
    QString BookPrefix = QStringLiteral(":/help/"); // resource folder of the embedded help book

    static THelpModuleSetup FromApplication();
};

// Results of ShowHelpTopic.
enum THelpResult : int {
    kHelpShown = 0,
    kHelpNoViewer = 1, // mode 0: no help book, or no widgets to show it with
    kHelpNoKeyHH = 2,  // mode 1: "KeyHH.EXE" is missing
    kHelpNoHHExe = 3,  // mode 2: "HH.EXE" is missing
    kHelpBadMode = -1, // a mode other than 0, 1 or 2: nothing is shown
};

class THelpModule {
  public:
    static inline const QString kHelpFileName = QStringLiteral("Tintwell.chm");
    static inline const QString kDefaultTopic = QStringLiteral("What_is_Tintwell.htm");
    static inline const QString kLogFileName = QStringLiteral("HHDebug.txt");

    // Start-up: finds the help book, decides on the log and its folder, deletes
    // an old log and, when the log is on, writes its header.
    explicit THelpModule(THelpModuleSetup setup = THelpModuleSetup::FromApplication());
    ~THelpModule();
    THelpModule(const THelpModule&) = delete;
    THelpModule& operator=(const THelpModule&) = delete;

    // Shows a topic. file: the help file; topic: a page of it ("a\b.htm" and
    // "/a/b.htm" both work); window: an optional window name; mode 0 shows the
    // topic in our viewer, modes 1 and 2 hand it to an external help program.
    // Returns one of THelpResult.
    int ShowHelpTopic(const QString& file, const QString& topic, const QString& window, int mode);

    // The path ShowHelpTopic hands on: "%20" becomes a blank, blanks are trimmed,
    // backslashes in the topic become "/", then file + "::/" + topic, ">" + window,
    // and the prefix of the mode.
    static QString BuildHelpPath(const QString& file, const QString& topic, const QString& window, int mode);

    // The help command: shows the help keyword of the active control, else that
    // of its window, else the default topic, from HelpFile() in mode 0.
    int ShowHelpFor(const QWidget* active);
    // The help book's start page, from HelpFile() in mode 0.
    int ShowStartPage();

    // The program's folder followed by "Tintwell.chm".
    QString HelpFile() const;
    QString ProgramDir() const { return programDir_; }

    bool Installed() const { return installed_; }
    // Whether topics can be shown at all: the viewer is a window, so it needs
    // a QApplication.
    bool EntryPointFound() const;
    QString ViewerVersion() const { return viewerVersion_; }
    QString FriendlyViewerVersion() const { return friendlyViewerVersion_; }
    QString BrowserVersion() const { return browserVersion_; }
    QString FriendlyBrowserVersion() const { return friendlyBrowserVersion_; }

    bool LogOn() const { return logOn_; }
    QString LogDir() const { return logDir_; }
    QString LogFile() const;
    // Appends one line to the log when it is on (see HelpModule.cpp for the form).
    void Log(const QString& line) const;

    // The viewer window, once a topic has been shown; null before.
    THelpViewer* Viewer() const { return viewer_.get(); }

  private:
    int ShowInViewer(const QString& path);
    int StartExternal(const QString& program, const QStringList& arguments, int missingResult) const;
    void WriteHeader() const;

    QString programFile_;
    QString programDir_;
    QString windowsDir_;
    QString bookPrefix_;
    bool installed_ = false;
    QString viewerVersion_;
    QString friendlyViewerVersion_;
    QString browserVersion_;
    QString friendlyBrowserVersion_;
    bool logOn_ = false;
    QString logDir_;
    std::unique_ptr<THelpViewer> viewer_;
};

// Help keywords: the topic a control (or an action, for every control linked
// to it) asks for when the help command runs while it is active.
void SetHelpKeyword(QObject* controlOrAction, const QString& keyword);
QString HelpKeyword(const QObject* controlOrAction);
// The control's own keyword, else that of its window, else the default topic.
QString HelpKeywordFor(const QWidget* active);

} // namespace tw
