#pragma once
// The about box: the start picture with the version over its corner, a short
// note that fades in from white to black, a link to the help book and "Close".
// Create it once and show it modally (exec()) whenever the about command runs.

#include "platform/Bitmap.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace tw {

class TAbout : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 332;
    static constexpr int kClientHeight = 410;
    static inline const QString kNoVersionInfo =
        QStringLiteral("VERSIONSINFO SAKNAS!!! SLÅ PÅ DET I DITT PROJEKT");

    explicit TAbout(QWidget* parent = nullptr);

    // The program's version as built (the project's version), or empty when
    // none was compiled in.
    static QString FileVersion();
    // "Version: " + the version; throws kNoVersionInfo for an empty version.
    static QString VersionCaption(const QString& fileVersion);
    // The lines of the note.
    static QStringList NoteLines();
    // What "New version check" says: the running version and where new
    // versions are published. Tintwell never looks online by itself.
    static QString VersionCheckText();

    // Runs when the help link is clicked, after the box has closed (a modal box
    // would keep the help window from being used).
    std::function<void()> OnShowHelp;

    int32_t FadeLevel() const { return fadeLevel_; }
    QColor TextColor() const;

    QLabel* Image1 = nullptr;        // the start picture
    QLabel* LabelVersion = nullptr;  // over the picture's top-left corner
    QPlainTextEdit* Memo1 = nullptr; // the note
    QWidget* Panel1 = nullptr;       // the bottom strip
    QLabel* Label1 = nullptr;        // the link to the help book
    QPushButton* ButtonClose = nullptr;
    QTimer* Timer1 = nullptr;

  public slots:
    // One step of the fade-in.
    void Timer1Timer();
    // Closes the box and opens the help book.
    void Label1Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();
    void FormShow();
    void SetTextGrey(int level);
    void FitNoteFont();

    Bitmap picture_;
    int32_t fadeLevel_ = 255;
};

} // namespace tw
