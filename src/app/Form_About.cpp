#include "app/Form_About.h"

#include "app/Accessibility.h"
#include "platform/ErrorReport.h"
#include "resources/StartPicture.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace tw {

namespace {

constexpr int kPictureHeight = 250;
constexpr int kStripHeight = 41;
constexpr int kNoteMargin = 10;
constexpr int kFadeStep = 8;

} // namespace

TAbout::TAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), picture_(StartPicture()) {
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    // The box has the colour of a window's content (white on most desktops), so
    // the note is invisible while its text is white.
    QPalette boxPalette = palette();
    const QColor windowColour = boxPalette.color(QPalette::Base);
    boxPalette.setColor(QPalette::Window, windowColour);
    setPalette(boxPalette);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setGeometry(0, 0, kClientWidth, kPictureHeight);
    Image1->setAlignment(Qt::AlignCenter);
    const QImage& image = picture_.Image();
    Image1->setPixmap(QPixmap::fromImage(
        image.scaled(kClientWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));

    LabelVersion = new QLabel(QStringLiteral("Version:"), Image1);
    QFont versionFont = LabelVersion->font();
    versionFont.setPixelSize(24);
    LabelVersion->setFont(versionFont);
    LabelVersion->setAttribute(Qt::WA_TranslucentBackground);
    LabelVersion->move(4, 2);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setGeometry(kNoteMargin, kPictureHeight + 2, kClientWidth - 2 * kNoteMargin,
                       kClientHeight - kStripHeight - kPictureHeight - 4);
    Memo1->setPlainText(NoteLines().join(QLatin1Char('\n')));
    FitNoteFont();

    Panel1 = new QWidget(this);
    Panel1->setGeometry(0, kClientHeight - kStripHeight, kClientWidth, kStripHeight);

    Label1 = new QLabel(QStringLiteral("Tintwell help"), Panel1);
    QFont linkFont = Label1->font();
    linkFont.setPixelSize(16);
    linkFont.setBold(true);
    Label1->setFont(linkFont);
    QPalette linkPalette = Label1->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(192, 192, 192)); // silver
    Label1->setPalette(linkPalette);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setToolTip(QStringLiteral("Opens Tintwell's help book"));
    Label1->adjustSize();
    Label1->move(kNoteMargin, (kStripHeight - Label1->height()) / 2);
    Label1->installEventFilter(this);

    ButtonClose = new QPushButton(QStringLiteral("Close"), Panel1);
    ButtonClose->setDefault(true);
    const int buttonWidth = std::max(80, ButtonClose->sizeHint().width());
    const int buttonHeight = ButtonClose->sizeHint().height();
    ButtonClose->setGeometry(kClientWidth - kNoteMargin - buttonWidth, (kStripHeight - buttonHeight) / 2,
                             buttonWidth, buttonHeight);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TAbout::Timer1Timer);

    FormCreate();
    // Frameless, so no title says what the box is.
    setAccessibleName(QStringLiteral("About Tintwell"));
    NameControlsForAccessibility(this, {{Memo1, QStringLiteral("About note")}});
}

QString TAbout::FileVersion() {
#ifdef TW_VERSION
    return QStringLiteral(TW_VERSION);
#else
    return {};
#endif
}

QString TAbout::VersionCaption(const QString& fileVersion) {
    if (fileVersion.isEmpty()) throw std::runtime_error(kNoVersionInfo.toStdString());
    return QStringLiteral("Version: ") + fileVersion;
}

QStringList TAbout::NoteLines() {
    return {
        QStringLiteral("Thank you for using Tintwell. Pass it on. "),
        QString(),
        QStringLiteral("The designers of this software humbly asks for any"),
        QStringLiteral("and all ideas on how to bring this project forward."),
        QStringLiteral("Pass them on where you got Tintwell from."),
        QString(),
        QStringLiteral("TIA"),
        QStringLiteral("New versions: see Tintwell's README."),
    };
}

QString TAbout::VersionCheckText() {
    const QString version = FileVersion();
    return QStringLiteral("This is Tintwell %1.\n\n"
                          "New versions are published with Tintwell's source code. Its README "
                          "(README.md) tells how to get one and start it.")
        .arg(version.isEmpty() ? QStringLiteral("of unknown version") : version);
}

void TAbout::FormCreate() {
    // Without a version the label keeps its design caption; the error goes to
    // the application's handler and the box is still usable.
    try {
        LabelVersion->setText(VersionCaption(FileVersion()));
        LabelVersion->adjustSize();
    } catch (...) {
        ReportException(std::current_exception());
    }
    SetTextGrey(255);
    fadeLevel_ = 255;
}

void TAbout::FormShow() {
    Timer1->start();
    SetTextGrey(255);
    fadeLevel_ = 255;
}

void TAbout::Timer1Timer() {
    if (fadeLevel_ <= 0) return;
    fadeLevel_ -= kFadeStep;
    if (fadeLevel_ < 0) {
        SetTextGrey(0);
        Timer1->stop(); // nothing left to fade
    } else {
        SetTextGrey(fadeLevel_);
    }
}

void TAbout::Label1Click() {
    accept();
    if (OnShowHelp) OnShowHelp();
}

QColor TAbout::TextColor() const {
    return Memo1->palette().color(QPalette::Text);
}

void TAbout::SetTextGrey(int level) {
    QPalette notePalette = Memo1->palette();
    notePalette.setColor(QPalette::Text, QColor(level, level, level));
    notePalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    Memo1->setPalette(notePalette);
}

// The note's lines must fit without wrapping or scrolling whatever fonts the
// desktop has: the largest bold size from 13 pixels down that fits is used.
void TAbout::FitNoteFont() {
    QFont font = Memo1->font();
    font.setBold(true);
    const QStringList lines = NoteLines();
    const int slack = 2 * static_cast<int>(Memo1->document()->documentMargin()) + 4;
    for (int pixels = 13; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        if (widest + slack <= Memo1->width() &&
            metrics.lineSpacing() * lines.size() + slack <= Memo1->height())
            break;
    }
    Memo1->setFont(font);
}

void TAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) move(screen->availableGeometry().center() - rect().center());
        FormShow();
    }
}

void TAbout::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) Timer1->stop();
}

// Without a window frame a white box would melt into a white window behind it;
// a hairline inside the edge keeps it apart.
void TAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && Label1->rect().contains(mouse->position().toPoint())) {
            Label1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tw
