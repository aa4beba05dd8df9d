#pragma once
// The help window: a small, non-modal browser for the help book embedded in
// the program, with Back, Forward and Home.

#include <QString>
#include <QUrl>
#include <QWidget>

class QAction;
class QTextBrowser;

namespace tw {

class THelpViewer : public QWidget {
    Q_OBJECT

  public:
    // bookPrefix: the resource folder of the book (":/help/"); homeTopic: the
    // page Home shows and a path without a topic opens.
    explicit THelpViewer(const QString& bookPrefix, const QString& homeTopic, QWidget* parent = nullptr);

    // Opens "<help file>::/<topic>[>window]" (the help file names our book
    // when it is called "Tintwell.chm"; the window name is ignored, there is one
    // window) and shows the window. A help file or page that is not there is
    // reported in the window itself. Returns the window.
    QWidget* DisplayTopic(const QString& path);

    QTextBrowser* Browser() const { return browser_; }
    // The title of the page shown (its <title>).
    QString PageTitle() const;
    // The page shown as a "qrc:" address; empty while a problem is reported.
    QUrl CurrentPage() const;

  public slots:
    void GoHome();

  private:
    void ShowPage(const QString& topic);
    void ShowProblem(const QString& heading, const QString& detail);

    QString bookPrefix_;
    QString homeTopic_;
    QTextBrowser* browser_ = nullptr;
    QAction* back_ = nullptr;
    QAction* forward_ = nullptr;
    QAction* home_ = nullptr;
    bool showingProblem_ = false;
};

} // namespace tw
