#include "app/Accessibility.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

namespace tw {
namespace {

QString AccessibleText(QWidget* w, QAccessible::Text which) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(which) : QString();
}

// What kind of control it is, in words, for names and descriptions.
QString Kind(const QWidget* w) {
    if (qobject_cast<const QToolButton*>(w)) return QStringLiteral("tool button");
    if (qobject_cast<const QCheckBox*>(w)) return QStringLiteral("check box");
    if (qobject_cast<const QRadioButton*>(w)) return QStringLiteral("option button");
    if (qobject_cast<const QAbstractButton*>(w)) return QStringLiteral("button");
    if (auto* bar = qobject_cast<const QScrollBar*>(w))
        return bar->orientation() == Qt::Horizontal ? QStringLiteral("horizontal scroll bar")
                                                    : QStringLiteral("vertical scroll bar");
    if (qobject_cast<const QAbstractSlider*>(w)) return QStringLiteral("track bar");
    if (qobject_cast<const QAbstractScrollArea*>(w)) return QStringLiteral("scroll box");
    if (qobject_cast<const QGroupBox*>(w)) return QStringLiteral("group");
    if (qobject_cast<const QTabWidget*>(w) || qobject_cast<const QTabBar*>(w)) return QStringLiteral("pages");
    if (qobject_cast<const QToolBar*>(w)) return QStringLiteral("tool bar");
    if (qobject_cast<const QMenuBar*>(w)) return QStringLiteral("menu bar");
    if (qobject_cast<const QSplitter*>(w)) return QStringLiteral("divider");
    return QStringLiteral("control");
}

// Controls a user reaches or reads; plain containers and static text are left
// to Qt.
bool IsControl(const QWidget* w) {
    if (qobject_cast<const QLabel*>(w)) return false;
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QGroupBox*>(w) ||
           qobject_cast<const QTabWidget*>(w) || qobject_cast<const QTabBar*>(w) ||
           qobject_cast<const QToolBar*>(w) || qobject_cast<const QMenuBar*>(w) ||
           qobject_cast<const QSplitter*>(w) || w->focusPolicy() != Qt::NoFocus;
}

QString LabelFor(const QWidget* w) {
    const QWidget* window = w->window();
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy() == w && !label->text().isEmpty()) return WithoutAccessKeys(label->text());
    return {};
}

// The name of the nearest enclosing group or scroll box, for a control that
// has none of its own (a scroll bar takes its scroll box's).
QString OwnerName(const QWidget* w) {
    for (QWidget* p = w->parentWidget(); p && p != w->window(); p = p->parentWidget()) {
        if (auto* group = qobject_cast<QGroupBox*>(p); group && !group->title().isEmpty())
            return WithoutAccessKeys(group->title());
        if (qobject_cast<QAbstractScrollArea*>(p)) {
            const QString name = AccessibleText(p, QAccessible::Name);
            if (!name.isEmpty()) return name;
        }
    }
    return w->window()->windowTitle();
}

void NameToolButton(QToolButton* button) {
    QAction* action = button->defaultAction();
    const auto apply = [button, action] {
        button->setAccessibleName(WithoutAccessKeys(action->text()));
        QString hint = action->statusTip();
        if (hint.isEmpty()) hint = action->toolTip();
        button->setAccessibleDescription(hint.isEmpty() ? button->accessibleName() : hint);
    };
    apply();
    // Undo and Redo carry the name of what they take back.
    QObject::connect(action, &QAction::changed, button, apply);
}

void NameControl(QWidget* w) {
    if (auto* button = qobject_cast<QToolButton*>(w); button && button->defaultAction()) {
        NameToolButton(button);
        return;
    }
    QString name = AccessibleText(w, QAccessible::Name);
    if (name.isEmpty()) {
        name = LabelFor(w);
        if (name.isEmpty()) name = w->toolTip();
        if (name.isEmpty()) name = OwnerName(w) + QLatin1Char(' ') + Kind(w);
        w->setAccessibleName(name.trimmed());
    }
    if (AccessibleText(w, QAccessible::Description).isEmpty()) {
        QString kind = Kind(w);
        kind[0] = kind[0].toUpper();
        w->setAccessibleDescription(kind + QStringLiteral(": ") + name.trimmed());
    }
}

} // namespace

QString WithoutAccessKeys(const QString& caption) {
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

void NameControlsForAccessibility(QWidget* window, std::initializer_list<TAccessibleName> named) {
    for (const TAccessibleName& n : named) {
        n.Control->setAccessibleName(n.Name);
        n.Control->setAccessibleDescription(n.Description.isEmpty() ? n.Name : n.Description);
    }
    if (AccessibleText(window, QAccessible::Description).isEmpty())
        window->setAccessibleDescription(window->windowTitle());
    // Parents first: a scroll bar takes its scroll box's name.
    for (QWidget* w : window->findChildren<QWidget*>())
        if (IsControl(w)) NameControl(w);
}

} // namespace tw
