#pragma once
// The grid's in-place editors, one class per editor kind. Each is a plain Qt
// control without a frame that converts its value to and from the cell text;
// the view places, shows, commits and hides them and handles their keys.

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>

// Kind 0: a single-line edit.
class TVokInplaceEditor : public QLineEdit {
    Q_OBJECT

  public:
    explicit TVokInplaceEditor(QWidget* parent);
    void SetCellText(const QString& text);
    QString CellText() const { return text(); }
};

// Kind 1: several lines; Return inserts a line break.
class TVokInplaceMemoEditor : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit TVokInplaceMemoEditor(QWidget* parent);
    void SetCellText(const QString& text);
    QString CellText() const { return toPlainText(); }
};

// Kind 2: a pick list. A text that is not in the list is added to it, so the
// cell's value survives an edit that changes nothing.
class TVokInplaceComboEditor : public QComboBox {
    Q_OBJECT

  public:
    explicit TVokInplaceComboEditor(QWidget* parent);
    void SetCellText(const QString& text);
    QString CellText() const { return currentText(); }
};

// Kind 3: ticked when the text is "TRUE" in any case.
class TVokInplaceBoolEditor : public QCheckBox {
    Q_OBJECT

  public:
    explicit TVokInplaceBoolEditor(QWidget* parent);
    void SetCellText(const QString& text);
    QString CellText() const;
};

// Kind 4: a date or a time in the locale's short format. An empty text starts
// at today (date) or midnight (time); a text that cannot be read throws.
class TVokInplaceDateTimeEditor : public QDateTimeEdit {
    Q_OBJECT

  public:
    explicit TVokInplaceDateTimeEditor(QWidget* parent);
    void SetCellText(const QString& text, bool dateMode);
    QString CellText() const;
    bool DateMode() const { return dateMode_; }

  private:
    bool dateMode_ = true;
};
