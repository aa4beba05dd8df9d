#include "app/HelpModule.h"

#include "app/HelpViewer.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTime>
#include <QToolButton>
#include <QVariant>
#include <QWidget>

#include <mutex>

// The help book is a resource of this static library; its initialiser must be
// called from outside any namespace.
static void InitTintwellHelp() {
    Q_INIT_RESOURCE(tintwell_help);
}

namespace tw {

namespace {

constexpr char kKeywordProperty[] = "tintwellHelpKeyword";

QString CompiledVersion() {
#ifdef TW_VERSION
    return QStringLiteral(TW_VERSION);
#else
    return {};
#endif
}

// Blanks and control characters off both ends.
QString TrimBlanks(const QString& s) {
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && s.at(first).unicode() <= ' ')
        ++first;
    while (last > first && s.at(last - 1).unicode() <= ' ')
        --last;
    return s.mid(first, last - first);
}

QString CleanPart(QString s) {
    return TrimBlanks(s.replace(QStringLiteral("%20"), QStringLiteral(" ")));
}

QString YesNo(bool b) {
    return b ? QStringLiteral("YES") : QStringLiteral("NO");
}

QString Hex4(unsigned value) {
    return QStringLiteral("0x%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0'));
}

// The log's language numbers: a primary language number and a sub-language
// (1 = the language's usual form, 0 = unknown), packed as sub << 10 | primary.
struct LanguageIds {
    unsigned Primary = 0;
    unsigned Sub = 0;
    unsigned Packed() const { return (Sub << 10) | Primary; }
};

LanguageIds LanguageIdsOf(const QLocale& locale) {
    struct Row {
        QLocale::Language Language;
        unsigned Primary;
    };
    static const Row rows[] = {
        {QLocale::C, 0x09},       {QLocale::English, 0x09},
        {QLocale::Swedish, 0x1D}, {QLocale::German, 0x07},
        {QLocale::French, 0x0C},  {QLocale::Spanish, 0x0A},
        {QLocale::Italian, 0x10}, {QLocale::Dutch, 0x13},
        {QLocale::Danish, 0x06},  {QLocale::NorwegianBokmal, 0x14},
        {QLocale::Finnish, 0x0B}, {QLocale::Portuguese, 0x16},
        {QLocale::Polish, 0x15},  {QLocale::Japanese, 0x11},
        {QLocale::Chinese, 0x04}, {QLocale::Russian, 0x19},
    };
    for (const Row& row : rows)
        if (row.Language == locale.language()) return {row.Primary, 1};
    return {};
}

// One header line: the format's "%s" becomes a tab and the value.
QString HeaderLine(const char* format, const QString& value) {
    return QString::asprintf(format, (QStringLiteral("\t") + value).toUtf8().constData());
}

} // namespace

THelpModuleSetup THelpModuleSetup::FromApplication() {
    THelpModuleSetup setup;
    setup.ProgramFile = QCoreApplication::applicationFilePath();
    setup.Arguments = QCoreApplication::arguments().mid(1);
    setup.TempDir = QDir::tempPath();
    setup.WindowsDir = qEnvironmentVariable("WINDIR");
    return setup;
}

THelpModule::THelpModule(THelpModuleSetup setup)
    : programFile_(setup.ProgramFile), programDir_(QFileInfo(setup.ProgramFile).absolutePath()),
      windowsDir_(setup.WindowsDir), bookPrefix_(setup.BookPrefix) {
    static std::once_flag once;
    std::call_once(once, InitTintwellHelp);

    // The viewer is our own window; it is there when the help book is.
    installed_ = QFile::exists(bookPrefix_ + kDefaultTopic);
    if (installed_) {
        viewerVersion_ = CompiledVersion();
        friendlyViewerVersion_ = QStringLiteral("Tintwell Help ") + viewerVersion_;
    }
    // The pages are drawn by Qt's text browser.
    browserVersion_ = QString::fromLatin1(qVersion());
    friendlyBrowserVersion_ = QStringLiteral("Qt ") + browserVersion_ + QStringLiteral(" text browser");

    logOn_ = QFileInfo::exists(programDir_ + QStringLiteral("/debug.debug"));
    for (const QString& argument : setup.Arguments) {
        if (argument.compare(QStringLiteral("/debug"), Qt::CaseInsensitive) == 0 ||
            argument.compare(QStringLiteral("-debug"), Qt::CaseInsensitive) == 0)
            logOn_ = true;
    }

    // The log goes next to the program when that folder takes a file, else to
    // the temporary folder.
    QFile probe(programDir_ + QStringLiteral("/$_Temp_$.$$$"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.close();
        if (probe.remove()) logDir_ = programDir_;
    }
    if (logDir_.isEmpty()) logDir_ = setup.TempDir.isEmpty() ? QDir::tempPath() : setup.TempDir;
    QFile::remove(LogFile());

    if (logOn_) WriteHeader();
}

THelpModule::~THelpModule() = default;

QString THelpModule::HelpFile() const {
    return programDir_ + QLatin1Char('/') + kHelpFileName;
}

QString THelpModule::LogFile() const {
    return logDir_ + QLatin1Char('/') + kLogFileName;
}

bool THelpModule::EntryPointFound() const {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

void THelpModule::WriteHeader() const {
    const QLocale locale = QLocale::system();
    const LanguageIds ids = LanguageIdsOf(locale);
    const QString programDir = programDir_;
    Log(HeaderLine("!Filename:             %s", LogFile()));
    Log(HeaderLine("!Date:                 %s",
                   QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    Log(HeaderLine("!SysLocale.DefaultLCID: %s", Hex4(ids.Packed())));
    Log(HeaderLine("!SysLocale.PriLangID:   %s", Hex4(ids.Primary)));
    Log(HeaderLine("!SysLocale.SubLangID:   %s", Hex4(ids.Sub)));
    Log(HeaderLine("!DecimalSeparator:      %s", locale.decimalPoint()));
    Log(QStringLiteral("-"));
    Log(HeaderLine("!EXE Path =          %s", programFile_));
    Log(HeaderLine("!_RunDir =           %s", QDir::currentPath()));
    Log(HeaderLine("!_ModuleName =       %s", programFile_));
    Log(HeaderLine("!_ModuleDir =        %s", programDir));
    Log(HeaderLine("!_hhInstalled =      %s", YesNo(installed_)));
    Log(HeaderLine("!_hhVerStr =         %s", viewerVersion_));
    Log(HeaderLine("!_hhFriendlyVerStr = %s", friendlyViewerVersion_));
    Log(HeaderLine("!_ieInstalled =      %s", YesNo(!browserVersion_.isEmpty())));
    Log(HeaderLine("!_ieVerStr =         %s", browserVersion_));
    Log(HeaderLine("!_ieFriendlyVerStr = %s", friendlyBrowserVersion_));
    Log(QStringLiteral("="));
}

// A line that is exactly "-" or "=" becomes a rule of 80; lines starting with
// "!", "-" or "=" lose that first character, all others get the time of day.
// The file is opened for each line so that the log survives a crash; a line
// that cannot be written is dropped.
void THelpModule::Log(const QString& line) const {
    if (!logOn_) return;
    QString text = line;
    if (text == QStringLiteral("-") || text == QStringLiteral("=")) text = QString(80, text.at(0));
    if (text.startsWith(QLatin1Char('!')) || text.startsWith(QLatin1Char('-')) ||
        text.startsWith(QLatin1Char('=')))
        text.remove(0, 1);
    else
        text += QStringLiteral("   ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    QFile file(LogFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    file.write(text.toUtf8() + '\n');
}

QString THelpModule::BuildHelpPath(const QString& file, const QString& topic, const QString& window,
                                   int mode) {
    const QString cleanFile = CleanPart(file);
    QString cleanTopic = CleanPart(topic);
    const QString cleanWindow = CleanPart(window);

    QString path;
    if (cleanTopic.isEmpty()) {
        path = cleanFile;
    } else {
        cleanTopic.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!cleanTopic.startsWith(QLatin1Char('/'))) cleanTopic.prepend(QLatin1Char('/'));
        path = cleanFile.isEmpty() ? cleanTopic : cleanFile + QStringLiteral("::") + cleanTopic;
    }
    if (!cleanWindow.isEmpty()) path += QLatin1Char('>') + cleanWindow;

    if (mode == 1) return QStringLiteral("mk:@MSITStore:") + path;
    if (mode == 2) return QStringLiteral("ms-its:") + path;
    return path;
}

int THelpModule::ShowHelpTopic(const QString& file, const QString& topic, const QString& window, int mode) {
    Log(QString::asprintf("HHHelpContext(\"%s\", %s, \"%s\", %d)", file.toUtf8().constData(),
                          topic.toUtf8().constData(), window.toUtf8().constData(), mode));
    const QString path = BuildHelpPath(file, topic, window, mode);
    Log(QString::asprintf("ShowTopic(\"%s\", %d)", path.toUtf8().constData(), mode));

    int result = kHelpBadMode;
    switch (mode) {
    case 0:
        result = ShowInViewer(path);
        break;
    case 1:
        result = StartExternal(QStringLiteral("KeyHH.EXE"), {QStringLiteral("-win"), path}, kHelpNoKeyHH);
        break;
    case 2:
        result = StartExternal(QStringLiteral("HH.EXE"), {path}, kHelpNoHHExe);
        break;
    default:
        break;
    }
    Log(QString::asprintf("  returned - %d", result));
    return result;
}

int THelpModule::ShowInViewer(const QString& path) {
    if (!installed_ || !EntryPointFound()) return kHelpNoViewer;
    if (!viewer_) viewer_ = std::make_unique<THelpViewer>(bookPrefix_, kDefaultTopic);
    if (QWidget* window = viewer_->DisplayTopic(path)) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        window->activateWindow();
    }
    return kHelpShown;
}

int THelpModule::StartExternal(const QString& program, const QStringList& arguments,
                               int missingResult) const {
    if (windowsDir_.isEmpty()) return missingResult;
    const QString programPath = QDir(windowsDir_).filePath(program);
    if (!QFileInfo(programPath).isFile()) return missingResult;
    return QProcess::startDetached(programPath, arguments) ? kHelpShown : missingResult;
}

int THelpModule::ShowHelpFor(const QWidget* active) {
    return ShowHelpTopic(HelpFile(), HelpKeywordFor(active), QString(), 0);
}

int THelpModule::ShowStartPage() {
    return ShowHelpTopic(HelpFile(), kDefaultTopic, QString(), 0);
}

void SetHelpKeyword(QObject* controlOrAction, const QString& keyword) {
    if (controlOrAction) controlOrAction->setProperty(kKeywordProperty, keyword);
}

QString HelpKeyword(const QObject* controlOrAction) {
    if (!controlOrAction) return {};
    const QString own = controlOrAction->property(kKeywordProperty).toString();
    if (!own.isEmpty()) return own;
    // A tool button takes the keyword of the command it shows.
    if (const auto* button = qobject_cast<const QToolButton*>(controlOrAction))
        if (const QAction* action = button->defaultAction())
            return action->property(kKeywordProperty).toString();
    return {};
}

QString HelpKeywordFor(const QWidget* active) {
    QString keyword;
    if (active) {
        keyword = HelpKeyword(active);
        if (keyword.isEmpty() && active->window() != active) keyword = HelpKeyword(active->window());
    }
    return keyword.isEmpty() ? THelpModule::kDefaultTopic : keyword;
}

} // namespace tw
