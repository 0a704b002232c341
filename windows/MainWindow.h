#pragma once

#include "MainWindowLayout.h"
#include "WindowFields.h"

#include <QWidget>

#include <array>
#include <functional>

class QTimer;

// Why the window is asked to close; the values are those the close reasons are
// known by. Only the first two ask the user.
enum class CloseReason
{
    ByUser = 0,        // close box, window menu, Alt+F4
    ByProgram = 1,     // the tray menu's Exit
    SessionEnding = 2, // the desktop session ends or the process is told to stop
};

// The main window: its fields are the live configuration, it shows the
// last ping cycle, and it owns the two one-second timers and the tray menu. The
// logic reaches it through WindowFields and Meter and plugs its handlers into the
// on... members; a handler left empty makes its event do nothing.
class MainWindow final : public QWidget, public WindowFields, public Meter
{
    Q_OBJECT

public:
    // logPath is the log-file field's initial text.
    explicit MainWindow(const QString &logPath, QWidget *parent = nullptr);

    QString text(Field field) const override;
    void setText(Field field, const QString &text) override;
    using QWidget::isEnabled;
    bool isEnabled(Field field) const override;
    using QWidget::setEnabled;
    void setEnabled(Field field, bool enabled) override;

    int maximum() const override;
    bool setMaximum(int maximum) override;
    int value() const override;
    void setValue(int value) override;

    // Appends an item to the port list; the text shown stays as it is.
    void AddPortItem(const QString &item);
    // mPopupSys, opened at the tray icon, and its "&Restore" item.
    QMenu &PopupMenu() const { return *m_controls.mPopupSys; }
    QAction &RestoreItem() const { return *m_controls.mPopRestore; }
    // An item beyond the window's own: in the tray menu before "E&xit", and in the
    // menu a right click on the window opens, so that no control has to move for it.
    QAction *AddExtraItem(const QString &name, const QString &caption);
    // Unloads the window without the close question, for the end of the session.
    void CloseForSessionEnd();

    std::function<void()> onPingNowClick;  // PING NOW
    std::function<void()> onFailTestClick; // FAIL TEST
    std::function<void()> onViewLogClick;  // VIEW LOG and the tray menu's View Log
    // Timer1: the ping period counts down.
    std::function<void()> onSecondTick;
    // TimerComm: what the router sent is read.
    std::function<void()> onReceiveTick;
    // A txtSchedCmd field's text changed.
    std::function<void(int slot)> onScheduledCommandChange;
    // A field is about to lose the focus to another control of the window; setting
    // refuse keeps the focus in it and stops the click or key that would move it.
    std::function<void(Field field, bool &refuse)> onValidate;
    // Returns whether the window may close.
    std::function<bool(CloseReason reason)> onCloseRequest;
    // The window closes for good.
    std::function<void()> onUnload;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *widgetOf(Field field) const;
    void ConnectEvents();
    void CloseWithReason(CloseReason reason);
    bool MayClose(CloseReason reason);

    MainWindowControls m_controls;
    std::array<QWidget *, static_cast<int>(Field::SchedTime3) + 1> m_fieldWidgets{};
    QTimer *m_secondTimer = nullptr;
    QTimer *m_receiveTimer = nullptr;
    CloseReason m_closeReason = CloseReason::ByUser;
    bool m_askingToClose = false;
    bool m_sessionEndedWhileAsking = false;
    bool m_unloaded = false;
};
