#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

// Answers modal dialogs from a test while the code under test runs them with
// exec(). It polls QApplication::activeModalWidget() from the nested event
// loop; every QMessageBox it meets is recorded and answered with the next
// queued button (Ok, or the box's escape button, once the queue is empty);
// a queued QMessageBox::NoButton presses Enter, which clicks the default button.
// A QFileDialog is answered with the next queued file path: an empty path
// cancels it.
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    struct Seen
    {
        QString title;
        QString text;
    };

    explicit ModalAnswerer(QObject *parent = nullptr);
    ~ModalAnswerer() override;

    void answer(QMessageBox::StandardButton button);
    void answerFile(const QString &path);

    const QList<Seen> &seen() const { return m_seen; }

private:
    void poll();

    QTimer m_timer;
    QList<QMessageBox::StandardButton> m_buttons;
    QStringList m_files;
    QList<Seen> m_seen;
    QPointer<QWidget> m_lastHandled;
};
