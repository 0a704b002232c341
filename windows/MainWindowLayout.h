#pragma once

#include <QString>

#include <array>

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QWidget;

// The controls of the main window that the window's code works with, under their
// design names. Labels and frames are children of the window too, found by name.
struct MainWindowControls
{
    QLineEdit *txtAddrPri = nullptr;
    QLineEdit *txtAddrSec = nullptr;
    QLineEdit *txtTimeoutPri = nullptr;
    QLineEdit *txtTimeoutSec = nullptr;
    QLineEdit *txtPeriod = nullptr;
    QLineEdit *txtStatusPri = nullptr;
    QLineEdit *txtTripPri = nullptr;
    QLineEdit *txtStatusSec = nullptr;
    QLineEdit *txtTripSec = nullptr;
    QProgressBar *progBar1 = nullptr;
    QLineEdit *txtFailCommand = nullptr;
    QComboBox *cmbFailPort = nullptr;
    QLineEdit *txtFailLog = nullptr;
    QLineEdit *txtFailTries = nullptr;
    QLineEdit *txtFailResend = nullptr;
    std::array<QLineEdit *, 4> txtSchedCmd{};
    std::array<QLineEdit *, 4> txtSchedTime{};
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QMenu *mPopupSys = nullptr;
    QAction *mPopRestore = nullptr;
    QAction *mViewLog = nullptr;
    QAction *mPopExit = nullptr;
};

// Builds every control of the main window inside window at its design place, with
// its caption, initial text and tooltip, and sets the tab order. logPath is the
// initial text of the log-file field.
MainWindowControls BuildMainWindowControls(QWidget &window, const QString &logPath);
