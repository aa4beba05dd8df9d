#include "app/AboutBox.h"

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

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), startPicture_(StartPicture()) {
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    // The box has the colour of a window's content (white on most desktops), so
    // the note is invisible while its text is white.
    QPalette boxPalette = palette();
    const QColor windowColour = boxPalette.color(QPalette::Base);
    boxPalette.setColor(QPalette::Window, windowColour);
    setPalette(boxPalette);
    setAutoFillBackground(true);

    picture_ = new QLabel(this);
    picture_->setGeometry(0, 0, kClientWidth, kPictureHeight);
    picture_->setAlignment(Qt::AlignCenter);
    const QImage& image = startPicture_.Image();
    picture_->setPixmap(QPixmap::fromImage(
        image.scaled(kClientWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));

    versionLabel_ = new QLabel(tr("Version:"), picture_);
    QFont versionFont = versionLabel_->font();
    versionFont.setPixelSize(24);
    versionLabel_->setFont(versionFont);
    versionLabel_->setAttribute(Qt::WA_TranslucentBackground);
    versionLabel_->move(4, 2);

    note_ = new QPlainTextEdit(this);
    note_->setReadOnly(true);
    note_->setFrameShape(QFrame::NoFrame);
    note_->setFocusPolicy(Qt::NoFocus);
    note_->setLineWrapMode(QPlainTextEdit::NoWrap);
    note_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    note_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    note_->setGeometry(kNoteMargin, kPictureHeight + 2, kClientWidth - 2 * kNoteMargin,
                       kClientHeight - kStripHeight - kPictureHeight - 4);
    note_->setPlainText(NoteLines().join(QLatin1Char('\n')));
    FitNoteFont();

    strip_ = new QWidget(this);
    strip_->setGeometry(0, kClientHeight - kStripHeight, kClientWidth, kStripHeight);

    helpLink_ = new QLabel(tr("Tintwell help"), strip_);
    QFont linkFont = helpLink_->font();
    linkFont.setPixelSize(16);
    linkFont.setBold(true);
    helpLink_->setFont(linkFont);
    QPalette linkPalette = helpLink_->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(192, 192, 192)); // silver
    helpLink_->setPalette(linkPalette);
    helpLink_->setCursor(Qt::PointingHandCursor);
    helpLink_->setToolTip(tr("Opens Tintwell's help book"));
    helpLink_->adjustSize();
    helpLink_->move(kNoteMargin, (kStripHeight - helpLink_->height()) / 2);
    helpLink_->installEventFilter(this);

    closeButton_ = new QPushButton(tr("Close"), strip_);
    closeButton_->setDefault(true);
    const int buttonWidth = std::max(80, closeButton_->sizeHint().width());
    const int buttonHeight = closeButton_->sizeHint().height();
    closeButton_->setGeometry(kClientWidth - kNoteMargin - buttonWidth, (kStripHeight - buttonHeight) / 2,
                              buttonWidth, buttonHeight);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    fadeTimer_ = new QTimer(this);
    const std::pair<QObject*, const char*> names[] = {
        {picture_, "picture"},   {versionLabel_, "version"}, {note_, "note"},          {strip_, "strip"},
        {helpLink_, "helpLink"}, {closeButton_, "close"},    {fadeTimer_, "fadeTimer"}};
    for (const auto& [control, name] : names)
        control->setObjectName(QLatin1String(name));
    fadeTimer_->setInterval(1000);
    connect(fadeTimer_, &QTimer::timeout, this, &TAboutBox::Fade);

    Build();
    // Frameless, so no title says what the box is.
    setAccessibleName(tr("About Tintwell"));
    NameControlsForAccessibility(this, {{note_, tr("About note")}});
}

QString TAboutBox::FileVersion() {
#ifdef TW_VERSION
    return QStringLiteral(TW_VERSION);
#else
    return {};
#endif
}

QString TAboutBox::VersionCaption(const QString& fileVersion) {
    if (fileVersion.isEmpty()) throw std::runtime_error(kNoVersionInfo.toStdString());
    return tr("Version: %1").arg(fileVersion);
}

QStringList TAboutBox::NoteLines() {
    return {
        tr("Thank you for using Tintwell. Pass it on. "),
        QString(),
        tr("The designers of this software humbly asks for any"),
        tr("and all ideas on how to bring this project forward."),
        tr("Pass them on where you got Tintwell from."),
        QString(),
        tr("TIA"),
        tr("New versions: see Tintwell's README."),
    };
}

QString TAboutBox::VersionCheckText() {
    const QString version = FileVersion();
    return tr("This is Tintwell %1.\n\n"
              "New versions are published with Tintwell's source code. Its README "
              "(README.md) tells how to get one and start it.")
        .arg(version.isEmpty() ? tr("of unknown version") : version);
}

void TAboutBox::Build() {
    // Without a version the label keeps its design caption; the error goes to
    // the application's handler and the box is still usable.
    try {
        versionLabel_->setText(VersionCaption(FileVersion()));
        versionLabel_->adjustSize();
    } catch (...) {
        ReportException(std::current_exception());
    }
    SetTextGrey(255);
    fadeLevel_ = 255;
}

void TAboutBox::StartFade() {
    fadeTimer_->start();
    SetTextGrey(255);
    fadeLevel_ = 255;
}

void TAboutBox::Fade() {
    if (fadeLevel_ <= 0) return;
    fadeLevel_ -= kFadeStep;
    if (fadeLevel_ < 0) {
        SetTextGrey(0);
        fadeTimer_->stop(); // nothing left to fade
    } else {
        SetTextGrey(fadeLevel_);
    }
}

void TAboutBox::OpenHelp() {
    accept();
    emit helpRequested();
}

QColor TAboutBox::TextColor() const {
    return note_->palette().color(QPalette::Text);
}

void TAboutBox::SetTextGrey(int level) {
    QPalette notePalette = note_->palette();
    notePalette.setColor(QPalette::Text, QColor(level, level, level));
    notePalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    note_->setPalette(notePalette);
}

// The note's lines must fit without wrapping or scrolling whatever fonts the
// desktop has: the largest bold size from 13 pixels down that fits is used.
void TAboutBox::FitNoteFont() {
    QFont font = note_->font();
    font.setBold(true);
    const QStringList lines = NoteLines();
    const int slack = 2 * static_cast<int>(note_->document()->documentMargin()) + 4;
    for (int pixels = 13; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        if (widest + slack <= note_->width() &&
            metrics.lineSpacing() * lines.size() + slack <= note_->height())
            break;
    }
    note_->setFont(font);
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) move(screen->availableGeometry().center() - rect().center());
        StartFade();
    }
}

void TAboutBox::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) fadeTimer_->stop();
}

// Without a window frame a white box would melt into a white window behind it;
// a hairline inside the edge keeps it apart.
void TAboutBox::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == helpLink_ && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && helpLink_->rect().contains(mouse->position().toPoint())) {
            OpenHelp();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tw
