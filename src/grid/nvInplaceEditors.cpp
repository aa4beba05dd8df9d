#include "grid/nvInplaceEditors.h"

#include "grid/nvVokGridContent.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <stdexcept>

namespace {

// Hidden, reached only through the grid (never by Tab), no 3-D frame.
void Prepare(QWidget& editor) {
    editor.hide();
    editor.setFocusPolicy(Qt::ClickFocus);
}

QString ShortDateFormat() {
    return QLocale().dateFormat(QLocale::ShortFormat);
}

QString ShortTimeFormat() {
    return QLocale().timeFormat(QLocale::ShortFormat);
}

} // namespace

TVokInplaceEditor::TVokInplaceEditor(QWidget* parent) : QLineEdit(parent) {
    Prepare(*this);
    setFrame(false);
}

void TVokInplaceEditor::SetCellText(const QString& text) {
    setText(text);
}

TVokInplaceMemoEditor::TVokInplaceMemoEditor(QWidget* parent) : QPlainTextEdit(parent) {
    Prepare(*this);
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(true);
}

void TVokInplaceMemoEditor::SetCellText(const QString& text) {
    setPlainText(text);
}

TVokInplaceComboEditor::TVokInplaceComboEditor(QWidget* parent) : QComboBox(parent) {
    Prepare(*this);
    setEditable(false);
    setFrame(false);
}

void TVokInplaceComboEditor::SetCellText(const QString& text) {
    int at = findText(text);
    if (at < 0) {
        addItem(text);
        at = count() - 1;
    }
    setCurrentIndex(at);
}

TVokInplaceBoolEditor::TVokInplaceBoolEditor(QWidget* parent) : QCheckBox(parent) {
    Prepare(*this);
    setAutoFillBackground(true);
}

void TVokInplaceBoolEditor::SetCellText(const QString& text) {
    setChecked(text.toUpper() == QStringLiteral("TRUE"));
}

QString TVokInplaceBoolEditor::CellText() const {
    return isChecked() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

TVokInplaceDateTimeEditor::TVokInplaceDateTimeEditor(QWidget* parent) : QDateTimeEdit(parent) {
    Prepare(*this);
    setFrame(false);
}

void TVokInplaceDateTimeEditor::SetCellText(const QString& text, bool dateMode) {
    dateMode_ = dateMode;
    if (dateMode) {
        setDisplayFormat(ShortDateFormat());
        if (text.isEmpty()) {
            setDate(QDate::currentDate());
            return;
        }
        // The same reading of day, month and year as the date sort.
        const QDate date = QDate::fromString(DateSortText(text), QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid()) throw std::runtime_error("'" + text.toStdString() + "' is not a valid date");
        setDate(date);
        return;
    }
    setDisplayFormat(ShortTimeFormat());
    if (text.isEmpty()) {
        setTime(QTime(0, 0));
        return;
    }
    QTime time = QLocale().toTime(text, QLocale::ShortFormat);
    if (!time.isValid()) time = QLocale().toTime(text, QLocale::LongFormat);
    if (!time.isValid()) time = QTime::fromString(text, Qt::ISODate);
    if (!time.isValid()) throw std::runtime_error("'" + text.toStdString() + "' is not a valid time");
    setTime(time);
}

QString TVokInplaceDateTimeEditor::CellText() const {
    return dateMode_ ? QLocale().toString(date(), QLocale::ShortFormat)
                     : QLocale().toString(time(), QLocale::ShortFormat);
}
