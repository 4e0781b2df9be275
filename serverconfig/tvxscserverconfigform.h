#pragma once

#include "settingstable.h"

#include <QDialog>
#include <QMap>
#include <QVariant>

class QLineEdit;

namespace Ui {
class TVXSCServerConfigForm;
}

namespace Veltrix {
namespace Server {
namespace Controller {

// The modal dialog in which the administrator edits the server's settings
// file: device server, web server, SMTP and event-log e-mails, units, time
// zones, follow-up e-mails and nightly maintenance. The file is read once when
// the dialog is built; Save checks every input and writes the file only when
// all checks pass, then closes the dialog.
class TVXSCServerConfigForm : public QDialog
{
    Q_OBJECT

public:
    explicit TVXSCServerConfigForm(QWidget *parent = nullptr);
    ~TVXSCServerConfigForm() override;

    // Fills the widgets from the settings file (missing keys get their
    // defaults written first).
    void loadSettings();
    // Checks the input; on success writes every setting the user changed and
    // closes the dialog. Each failed check shows its own message box; nothing
    // is written then and the dialog keeps the input.
    void saveSettings();

private slots:
    void onClickedAddToAddress();
    void onClickedRemoveToAddress();
    void onClickedAddTimezone();
    void onClickedRemoveTimezone();
    void onClickedEmailEnable();
    void onClickedFollowUpEmailEnable();

private:
    // Lets the user pick a file for target, starting at its current text.
    void selectFile(QLineEdit *target, const QString &caption);
    // Every setting the dialog edits, as its widgets show it; the first web
    // user as its name and password field.
    QMap<eSetting, QVariant> shownValues() const;

    Ui::TVXSCServerConfigForm *ui;
    // shownValues() right after loading: Save writes only what differs.
    QMap<eSetting, QVariant> m_loadedValues;
};

} // namespace Controller
} // namespace Server
} // namespace Veltrix
