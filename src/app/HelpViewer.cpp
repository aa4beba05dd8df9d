#include "app/HelpViewer.h"

#include "app/Accessibility.h"
#include "resources/ActionIcons.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace tw {

namespace {

const QString kBookFileName = QStringLiteral("Tintwell.chm");

// ":/help/" -> "qrc:/help/"
QString UrlPrefixOf(const QString& resourcePrefix) {
    return resourcePrefix.startsWith(QLatin1Char(':')) ? QStringLiteral("qrc") + resourcePrefix
                                                       : resourcePrefix;
}

QString FileNameOf(const QString& path) {
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

} // namespace

THelpViewer::THelpViewer(const QString& bookPrefix, const QString& homeTopic, QWidget* parent)
    : QWidget(parent, Qt::Window), bookPrefix_(bookPrefix), homeTopic_(homeTopic) {
    setWindowTitle(tr("Tintwell Help"));
    setWindowIcon(ActionIcon(QStringLiteral("help")));
    // An aid to the main window, not a window of its own standing: when the main
    // window closes the program ends, even with help still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(760, 560);

    // The pages show the command icons.
    RegisterActionIcons();

    auto* toolBar = new QToolBar(this);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->setIconSize(QSize(16, 16));
    back_ = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("Back"));
    forward_ = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("Forward"));
    home_ = toolBar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("Home"));
    back_->setShortcut(QKeySequence::Back);
    forward_->setShortcut(QKeySequence::Forward);
    back_->setEnabled(false);
    forward_->setEnabled(false);
    // Escape puts the help away, as it closes a dialog.
    auto* closer = new QAction(tr("Close"), this);
    closer->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(closer, &QAction::triggered, this, &QWidget::close);
    addAction(closer);

    browser_ = new QTextBrowser(this);
    browser_->setOpenExternalLinks(true); // web addresses go to the default browser
    browser_->setSearchPaths({bookPrefix_});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(browser_);

    connect(back_, &QAction::triggered, browser_, &QTextBrowser::backward);
    connect(forward_, &QAction::triggered, browser_, &QTextBrowser::forward);
    connect(home_, &QAction::triggered, this, &THelpViewer::GoHome);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] { showingProblem_ = false; });
    NameControlsForAccessibility(
        this, {{browser_, tr("Help page"), tr("The help page; links lead to other pages")}});
}

QWidget* THelpViewer::DisplayTopic(const QString& path) {
    QString rest = path;
    for (const QString& prefix : {QStringLiteral("mk:@MSITStore:"), QStringLiteral("ms-its:")})
        if (rest.startsWith(prefix, Qt::CaseInsensitive)) rest.remove(0, prefix.size());

    QString file = rest;
    QString topic;
    const qsizetype separator = rest.indexOf(QStringLiteral("::"));
    if (separator >= 0) {
        file = rest.left(separator);
        topic = rest.mid(separator + 2);
    }
    // The window name is not needed: there is only this window.
    QString& last = separator >= 0 ? topic : file;
    const qsizetype window = last.indexOf(QLatin1Char('>'));
    if (window >= 0) last.truncate(window);

    if (FileNameOf(file).compare(kBookFileName, Qt::CaseInsensitive) != 0) {
        ShowProblem(tr("The help file cannot be opened"),
                    tr("Tintwell's help is in \"%1\"; \"%2\" is not a help file this window can show.")
                        .arg(kBookFileName, file.toHtmlEscaped()));
    } else {
        ShowPage(topic);
    }
    show();
    return this;
}

void THelpViewer::GoHome() {
    ShowPage(homeTopic_);
}

void THelpViewer::ShowPage(const QString& topic) {
    QString page = topic;
    while (page.startsWith(QLatin1Char('/')))
        page.remove(0, 1);
    if (page.isEmpty()) page = homeTopic_;

    QString fragment;
    const qsizetype hash = page.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        fragment = page.mid(hash + 1);
        page.truncate(hash);
    }
    page = QDir::cleanPath(page);
    if (page.startsWith(QStringLiteral("..")) || !QFileInfo(bookPrefix_ + page).isFile()) {
        ShowProblem(tr("Page not found"),
                    tr("The help has no page called \"%1\".").arg(topic.toHtmlEscaped()));
        return;
    }
    QUrl url(UrlPrefixOf(bookPrefix_) + page);
    if (!fragment.isEmpty()) url.setFragment(fragment);
    showingProblem_ = false;
    browser_->setSource(url);
}

void THelpViewer::ShowProblem(const QString& heading, const QString& detail) {
    showingProblem_ = true;
    browser_->setHtml(
        QStringLiteral("<html><head><title>%1</title></head><body>"
                       "<h2>%1</h2><p>%2</p><p><a href=\"%3\">Go to the start page of the help</a></p>"
                       "</body></html>")
            .arg(heading.toHtmlEscaped(), detail, UrlPrefixOf(bookPrefix_) + homeTopic_));
}

QString THelpViewer::PageTitle() const {
    return browser_->documentTitle();
}

QUrl THelpViewer::CurrentPage() const {
    return showingProblem_ ? QUrl() : browser_->source();
}

} // namespace tw
