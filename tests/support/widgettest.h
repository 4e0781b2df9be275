#pragma once

// Finding, reading, filling and clicking the widgets of a form by their
// object names, for the tests of the dialogs.

#include "modalanswerer.h"

#include <QComboBox>
#include <QListWidget>
#include <QMetaProperty>
#include <QPushButton>
#include <QTime>

// The child `name` of `parent`, which a test cannot do without.
template <typename T = QWidget> T *child(const QObject *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return widget;
}

// What the widgets "name;..." show, joined by ";": a list's items joined by
// ",", a combo box's current text, a time as "hh:mm:ss", else the widget's
// user property (a line edit's text, a check box's "true" or "false").
inline QString shown(const QObject *form, const QString &names)
{
    QStringList texts;
    for (const QString &name : names.split(';')) {
        QWidget *w = child(form, qPrintable(name));
        QStringList items;
        if (auto *list = qobject_cast<QListWidget *>(w)) {
            for (int row = 0; row < list->count(); ++row)
                items << list->item(row)->text();
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            items << combo->currentText();
        } else {
            const QVariant value = w->metaObject()->userProperty().read(w);
            items << (value.type() == QVariant::Time ? value.toTime().toString(Qt::ISODate)
                                                     : value.toString());
        }
        texts << items.join(',');
    }
    return texts.join(';');
}

// Fills in "name=text;...", each text in the form shown() gives.
inline void enter(const QObject *form, const QString &input)
{
    for (const QString &pair : input.split(';', Qt::SkipEmptyParts)) {
        QWidget *w = child(form, qPrintable(pair.section('=', 0, 0)));
        const QString text = pair.section('=', 1);
        if (auto *list = qobject_cast<QListWidget *>(w)) {
            list->clear();
            list->addItems(text.split(',', Qt::SkipEmptyParts));
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            combo->setCurrentIndex(combo->findText(text));
        } else {
            w->metaObject()->userProperty().write(w, text);
        }
    }
}

// Clicks the button `name` of `form`. The message boxes it shows are answered
// with `answers`, then with Ok or their escape button. Returns what they
// showed, each as "title: text".
inline QStringList click(const QObject *form, const char *name,
                         const QList<QMessageBox::StandardButton> &answers = {})
{
    ModalAnswerer answerer;
    for (const QMessageBox::StandardButton answer : answers)
        answerer.answer(answer);
    child<QPushButton>(form, name)->click();
    QStringList seen;
    for (const ModalAnswerer::Seen &box : answerer.seen())
        seen << box.title + QStringLiteral(": ") + box.text;
    return seen;
}
