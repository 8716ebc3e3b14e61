#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a folder and whether its subfolders count too. OK hides the
// dialog with what was entered; Cancel and the close box empty the folder
// first, so the caller adds nothing. It checks nothing itself.
class FrmPath : public QDialog {
    Q_OBJECT

public:
    explicit FrmPath(QWidget *owner);

    void CmdFolder_Click();
    void CmdOK_Click();
    void CmdCancel_Click();

    QGroupBox *Frame1;
    QLabel *Label1, *Label2;
    QLineEdit *txtFolder;
    QPushButton *CmdFolder;
    QComboBox *Combo1;
    QCheckBox *ChkSubdir;
    QPushButton *CmdOK, *CmdCancel;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
