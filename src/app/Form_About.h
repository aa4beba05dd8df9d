#pragma once
// The about box: the start picture with the version over its corner, a short
// note that fades in from white to black, the maker's web address and "Close".
// Create it once and show it modally (exec()) whenever the about command runs.

#include "platform/Bitmap.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <cstdint>

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

    int32_t FadeLevel() const { return fadeLevel_; }
    QColor TextColor() const;

    QLabel* Image1 = nullptr;        // the start picture
    QLabel* LabelVersion = nullptr;  // over the picture's top-left corner
    QPlainTextEdit* Memo1 = nullptr; // the note
    QWidget* Panel1 = nullptr;       // the bottom strip
    QLabel* Label1 = nullptr;        // the web address, clickable
    QPushButton* ButtonClose = nullptr;
    QTimer* Timer1 = nullptr;

  public slots:
    // One step of the fade-in.
    void Timer1Timer();
    // Opens the maker's web site.
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
