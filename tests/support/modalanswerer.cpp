#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

ModalAnswerer::ModalAnswerer(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::answer(QMessageBox::StandardButton button)
{
    m_buttons.append(button);
}

void ModalAnswerer::answerFile(const QString &path)
{
    m_files.append(path);
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || modal == m_lastHandled || !modal->isVisible())
        return;

    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        m_lastHandled = box;
        m_seen.append({box->windowTitle(), box->text()});
        QAbstractButton *button = nullptr;
        if (!m_buttons.isEmpty() && m_buttons.first() == QMessageBox::NoButton) {
            m_buttons.removeFirst();
            QTest::keyClick(box, Qt::Key_Return);
            return;
        }
        if (!m_buttons.isEmpty())
            button = box->button(m_buttons.takeFirst());
        if (!button)
            button = box->button(QMessageBox::Ok);
        if (!button)
            button = box->escapeButton();
        if (button)
            button->click();
        else
            box->reject();
        return;
    }
    if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        m_lastHandled = dialog;
        m_seen.append({dialog->windowTitle(), QString()});
        const QString path = m_files.isEmpty() ? QString() : m_files.takeFirst();
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name field like a user would: selectFile() races
            // the dialog's background directory model and can make accept()
            // report "File not found" for a file that exists.
            if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            else
                dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept(); // public in QDialog
        }
    }
}
