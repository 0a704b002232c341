#include "MainWindowLayout.h"

#include "FieldConfirmation.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

namespace {

const QString kCommandTip =
    QStringLiteral("Command string to send to device (Use ^ to generate a control character)");
const QString kTimeoutTip = QStringLiteral("Wait time for ping response");
const QString kMsCaption = QStringLiteral("ms");

// Design places are in twips: 15 of them make one pixel at 96 dots per inch.
QRect Place(int left, int top, int width, int height)
{
    const auto pixels = [](int twips) { return (twips + 7) / 15; };
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

template <typename Control> Control *Named(Control *control, const QString &name, QRect place)
{
    control->setObjectName(name);
    control->setGeometry(place);
    return control;
}

QGroupBox *MakeFrame(QWidget &window, const QString &name, const QString &caption, QRect place)
{
    return Named(new QGroupBox(caption, &window), name, place);
}

// A field label: bold and right-aligned, so that its colon stands just left of the
// field. Text sits at the top, as the design's places assume.
QLabel *MakeFieldLabel(QWidget *parent, const QString &name, const QString &caption, QRect place,
                       QWidget *buddy = nullptr)
{
    auto *label = Named(new QLabel(caption, parent), name, place);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setBuddy(buddy);
    // Where the face is wider than the design's, the caption grows to the left,
    // keeping its colon beside the field.
    const int wanted = label->sizeHint().width();
    if (wanted > place.width()) {
        place.setLeft(qMax(0, place.left() + place.width() - wanted));
        label->setGeometry(place);
    }
    return label;
}

QLabel *MakeUnitLabel(QWidget *parent, const QString &name, const QString &caption, QRect place)
{
    auto *label = Named(new QLabel(caption, parent), name, place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit *MakeTextBox(QWidget *parent, const QString &name, QRect place, const QString &text,
                       const QString &tip = {})
{
    auto *box = Named(new QLineEdit(text, parent), name, place);
    box->setToolTip(tip);
    box->setCursorPosition(0);
    return box;
}

// Result fields are written by the ping cycle only; they stay out of the tab order.
QLineEdit *MakeResultBox(QWidget *parent, const QString &name, QRect place, const QString &tip = {})
{
    auto *box = MakeTextBox(parent, name, place, {}, tip);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    return box;
}

QPushButton *MakeButton(QWidget &window, const QString &name, const QString &caption, QRect place)
{
    auto *button = Named(new QPushButton(caption, &window), name, place);
    button->setAutoDefault(false);
    return button;
}

void BuildAddresses(QWidget &window, MainWindowControls &controls)
{
    QGroupBox *frame = MakeFrame(window, QStringLiteral("Frame1"),
                                 QStringLiteral("Addresses To Ping"), Place(120, 0, 8775, 1455));
    controls.txtAddrPri =
        MakeTextBox(frame, QStringLiteral("txtAddrPri"), Place(1440, 360, 1695, 375),
                    FieldDefault(Field::AddrPri), QStringLiteral("Primary IP address to ping"));
    MakeFieldLabel(frame, QStringLiteral("Label1"), QStringLiteral("Primary:"),
                   Place(120, 480, 1095, 375), controls.txtAddrPri);
    controls.txtTimeoutPri =
        MakeTextBox(frame, QStringLiteral("txtTimeoutPri"), Place(4920, 360, 615, 375),
                    FieldDefault(Field::TimeoutPri), kTimeoutTip);
    MakeFieldLabel(frame, QStringLiteral("Label11"), QStringLiteral("Timeout:"),
                   Place(3840, 480, 855, 375), controls.txtTimeoutPri);
    MakeUnitLabel(frame, QStringLiteral("Label13"), kMsCaption, Place(5640, 480, 375, 255));

    controls.txtAddrSec =
        MakeTextBox(frame, QStringLiteral("txtAddrSec"), Place(1440, 840, 1695, 375),
                    FieldDefault(Field::AddrSec), QStringLiteral("Secondary IP address to ping"));
    MakeFieldLabel(frame, QStringLiteral("Label2"), QStringLiteral("Secondary:"),
                   Place(120, 960, 1095, 375), controls.txtAddrSec);
    controls.txtTimeoutSec =
        MakeTextBox(frame, QStringLiteral("txtTimeoutSec"), Place(4920, 840, 615, 375),
                    FieldDefault(Field::TimeoutSec), kTimeoutTip);
    MakeFieldLabel(frame, QStringLiteral("Label12"), QStringLiteral("Timeout:"),
                   Place(3840, 960, 855, 375), controls.txtTimeoutSec);
    MakeUnitLabel(frame, QStringLiteral("Label14"), kMsCaption, Place(5640, 960, 375, 255));

    controls.txtPeriod =
        MakeTextBox(frame, QStringLiteral("txtPeriod"), Place(7320, 600, 495, 405),
                    FieldDefault(Field::Period), QStringLiteral("Wait time between pings"));
    MakeFieldLabel(frame, QStringLiteral("Label15"), QStringLiteral("Period:"),
                   Place(6120, 720, 1095, 255), controls.txtPeriod);
    MakeUnitLabel(frame, QStringLiteral("Label16"), QStringLiteral("seconds"),
                  Place(7920, 720, 735, 255));
}

void BuildLastResults(QWidget &window, MainWindowControls &controls)
{
    QGroupBox *frame = MakeFrame(window, QStringLiteral("Frame3"), QStringLiteral("Last Results"),
                                 Place(120, 1560, 7455, 2175));
    const QString status = QStringLiteral("Return Status:");
    const QString trip = QStringLiteral("Round Trip Time:");

    controls.txtStatusPri =
        MakeResultBox(frame, QStringLiteral("txtStatusPri"), Place(1680, 360, 2295, 375),
                      QStringLiteral("Results of last ping to primary address"));
    MakeFieldLabel(frame, QStringLiteral("Label6"), status, Place(120, 480, 1455, 255),
                   controls.txtStatusPri);
    controls.txtTripPri =
        MakeResultBox(frame, QStringLiteral("txtTripPri"), Place(6240, 360, 615, 375));
    MakeFieldLabel(frame, QStringLiteral("Label7"), trip, Place(4440, 480, 1575, 255),
                   controls.txtTripPri);
    MakeUnitLabel(frame, QStringLiteral("Label20"), kMsCaption, Place(6960, 480, 255, 255));

    controls.txtStatusSec =
        MakeResultBox(frame, QStringLiteral("txtStatusSec"), Place(1680, 840, 2295, 375),
                      QStringLiteral("Results of last ping to secondary address"));
    MakeFieldLabel(frame, QStringLiteral("Label8"), status, Place(120, 960, 1455, 255),
                   controls.txtStatusSec);
    controls.txtTripSec =
        MakeResultBox(frame, QStringLiteral("txtTripSec"), Place(6240, 840, 615, 375));
    MakeFieldLabel(frame, QStringLiteral("Label9"), trip, Place(4440, 960, 1575, 255),
                   controls.txtTripSec);
    MakeUnitLabel(frame, QStringLiteral("Label19"), kMsCaption, Place(6960, 960, 255, 255));

    auto *meter =
        Named(new QProgressBar(frame), QStringLiteral("progBar1"), Place(1680, 1320, 5535, 375));
    meter->setRange(0, 100);
    meter->setValue(0);
    meter->setTextVisible(false);
    meter->setToolTip(QStringLiteral("Consecutive failures meter"));
    controls.progBar1 = meter;
    MakeFieldLabel(frame, QStringLiteral("Label17"), QStringLiteral("Failures:"),
                   Place(120, 1440, 1455, 255));
    // Regular weight, right-aligned: its caret points up at the meter's right end.
    auto *actionTaken =
        MakeUnitLabel(frame, QStringLiteral("Label18"), QStringLiteral("Action Taken ^"),
                      Place(5520, 1800, 1695, 255));
    actionTaken->setAlignment(Qt::AlignRight | Qt::AlignTop);
}

void BuildFailureAction(QWidget &window, MainWindowControls &controls, const QString &logPath)
{
    // The caption's trailing blank belongs to it.
    QGroupBox *frame = MakeFrame(window, QStringLiteral("Frame2"),
                                 QStringLiteral("Failure Action "), Place(120, 3840, 7455, 1935));

    controls.txtFailCommand =
        MakeTextBox(frame, QStringLiteral("txtFailCommand"), Place(2040, 360, 3855, 375),
                    FieldDefault(Field::FailCommand), kCommandTip);
    MakeFieldLabel(frame, QStringLiteral("Label4"), QStringLiteral("Command String:"),
                   Place(240, 480, 1575, 375), controls.txtFailCommand);

    auto *port =
        Named(new QComboBox(frame), QStringLiteral("cmbFailPort"), Place(2040, 840, 615, 315));
    port->setEditable(true);
    port->setInsertPolicy(QComboBox::NoInsert);
    port->setEditText(FieldDefault(Field::FailPort));
    port->setToolTip(QStringLiteral("Comm port of target device"));
    controls.cmbFailPort = port;
    MakeFieldLabel(frame, QStringLiteral("Label5"), QStringLiteral("Comm Port:"),
                   Place(240, 960, 1575, 375), port);

    controls.txtFailLog =
        MakeTextBox(frame, QStringLiteral("txtFailLog"), Place(4320, 840, 2895, 375), logPath,
                    QStringLiteral("Full pathname of failure log"));
    MakeFieldLabel(frame, QStringLiteral("Label10"), QStringLiteral("Log File:"),
                   Place(3000, 960, 1095, 255), controls.txtFailLog);

    controls.txtFailTries =
        MakeTextBox(frame, QStringLiteral("txtFailTries"), Place(2040, 1320, 495, 375),
                    FieldDefault(Field::FailTries),
                    QStringLiteral("Number of ping failures before action taken"));
    MakeFieldLabel(frame, QStringLiteral("Label3"), QStringLiteral("Retries:"),
                   Place(720, 1440, 1095, 255), controls.txtFailTries);

    controls.txtFailResend =
        MakeTextBox(frame, QStringLiteral("txtFailResend"), Place(4320, 1320, 375, 375),
                    FieldDefault(Field::FailResend));
    MakeFieldLabel(frame, QStringLiteral("Label21"), QStringLiteral("Resend Delay:"),
                   Place(2760, 1440, 1335, 255), controls.txtFailResend);
    MakeUnitLabel(frame, QStringLiteral("Label22"), QStringLiteral("minutes"),
                  Place(4800, 1440, 735, 255));
}

void BuildSchedule(QWidget &window, MainWindowControls &controls)
{
    QGroupBox *frame = MakeFrame(window, QStringLiteral("Frame4"),
                                 QStringLiteral("Scheduled Actions"), Place(120, 5880, 8775, 2415));
    for (int slot = 0; slot < 4; ++slot) {
        const int top = 360 + 480 * slot;
        const QString index = QString::number(slot);
        auto *command = MakeTextBox(frame, QStringLiteral("txtSchedCmd") + index,
                                    Place(2040, top, 3855, 375), {}, kCommandTip);
        MakeFieldLabel(frame, QStringLiteral("lblSched") + index, QStringLiteral("Command String:"),
                       Place(240, top + 120, 1575, 375), command);
        auto *time = MakeTextBox(frame, QStringLiteral("txtSchedTime") + index,
                                 Place(7320, top, 1095, 375), FieldDefault(SchedTimeField(slot)));
        time->setEnabled(false);
        MakeFieldLabel(frame, QStringLiteral("lblSchedTime") + index, QStringLiteral("Send At:"),
                       Place(6240, top, 855, 375), time);
        controls.txtSchedCmd[slot] = command;
        controls.txtSchedTime[slot] = time;
    }
}

void BuildButtons(QWidget &window, MainWindowControls &controls)
{
    controls.Command3 = MakeButton(window, QStringLiteral("Command3"), QStringLiteral("VIEW LOG"),
                                   Place(7800, 3720, 1215, 495));
    controls.Command1 = MakeButton(window, QStringLiteral("Command1"), QStringLiteral("PING NOW"),
                                   Place(7800, 4440, 1215, 495));
    controls.Command2 = MakeButton(window, QStringLiteral("Command2"), QStringLiteral("FAIL TEST"),
                                   Place(7800, 5160, 1215, 495));
}

// Opened at the tray icon only; it never shows as a menu bar.
void BuildTrayMenu(QWidget &window, MainWindowControls &controls)
{
    controls.mPopupSys = new QMenu(QStringLiteral("&SysTray"), &window);
    controls.mPopupSys->setObjectName(QStringLiteral("mPopupSys"));
    const auto addItem = [&](const QString &name, const QString &caption) {
        QAction *action = controls.mPopupSys->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    controls.mPopRestore = addItem(QStringLiteral("mPopRestore"), QStringLiteral("&Restore"));
    controls.mViewLog = addItem(QStringLiteral("mViewLog"), QStringLiteral("&View Log"));
    controls.mPopExit = addItem(QStringLiteral("mPopExit"), QStringLiteral("E&xit"));
}

void SetTabOrder(const MainWindowControls &controls)
{
    QList<QWidget *> order = {
        controls.txtAddrPri,    controls.txtAddrSec,   controls.txtTimeoutPri,
        controls.txtTimeoutSec, controls.txtPeriod,    controls.txtFailCommand,
        controls.cmbFailPort,   controls.txtFailTries, controls.txtFailLog,
        controls.Command1,      controls.Command2};
    for (int slot = 0; slot < 4; ++slot)
        order << controls.txtSchedCmd[slot] << controls.txtSchedTime[slot];
    order << controls.txtFailResend << controls.Command3;
    for (qsizetype index = 1; index < order.size(); ++index)
        QWidget::setTabOrder(order[index - 1], order[index]);
}

} // namespace

MainWindowControls BuildMainWindowControls(QWidget &window, const QString &logPath)
{
    // The design's places were made for 8.25-point text of a narrow sans-serif
    // face; wider or larger text would not fit. Faces with the metrics of the
    // common Helvetica-like fonts come first, then whatever sans-serif there is.
    QFont font = window.font();
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"),
                      QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    window.setFont(font);

    MainWindowControls controls;
    BuildAddresses(window, controls);
    BuildLastResults(window, controls);
    BuildFailureAction(window, controls, logPath);
    BuildSchedule(window, controls);
    BuildButtons(window, controls);
    BuildTrayMenu(window, controls);
    SetTabOrder(controls);
    return controls;
}
