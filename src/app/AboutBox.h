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

class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 332;
    static constexpr int kClientHeight = 410;
    static inline const QString kNoVersionInfo =
        QStringLiteral("VERSIONSINFO SAKNAS!!! SLÅ PÅ DET I DITT PROJEKT");

    explicit TAboutBox(QWidget* parent = nullptr);

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

    int32_t FadeLevel() const { return fadeLevel_; }
    QColor TextColor() const;

  public slots:
    // One step of the fade-in.
    void Fade();
    // Closes the box and opens the help book.
    void OpenHelp();

  signals:
    // The help link was clicked, after the box has closed (a modal box would
    // keep the help window from being used).
    void helpRequested();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Controls; their object names are the keys of tests and screen readers.
    QLabel* picture_ = nullptr;      // the start picture
    QLabel* versionLabel_ = nullptr; // over the picture's top-left corner
    QPlainTextEdit* note_ = nullptr; // the note
    QWidget* strip_ = nullptr;       // the bottom strip
    QLabel* helpLink_ = nullptr;     // the link to the help book
    QPushButton* closeButton_ = nullptr;
    QTimer* fadeTimer_ = nullptr;

    void Build();
    void StartFade();
    void SetTextGrey(int level);
    void FitNoteFont();

    Bitmap startPicture_;
    int32_t fadeLevel_ = 255;
};

} // namespace tw
