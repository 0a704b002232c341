#include "QtMessageBoxes.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include <cstdio>

namespace {

QList<QMessageBox *> VisibleBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

} // namespace

// The desktop boxes show the button set and icon of their style, and a warning
// leaves its caller at once; the headless ones write one line each and answer as
// the default button would.
class TestMessageBoxes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void desktopBox_data()
    {
        QTest::addColumn<BoxStyle>("style");
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<BoxAnswer>("answer");

        QTest::addRow("notice") << BoxStyle::Ok << QMessageBox::NoIcon << int(QMessageBox::Ok)
                                << int(QMessageBox::Ok) << BoxAnswer::Ok;
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        QTest::addRow("question, yes") << BoxStyle::YesNoQuestion << QMessageBox::Question << yesNo
                                       << int(QMessageBox::Yes) << BoxAnswer::Yes;
        QTest::addRow("question, no") << BoxStyle::YesNoQuestion << QMessageBox::Question << yesNo
                                      << int(QMessageBox::No) << BoxAnswer::No;
        QTest::addRow("question, escape") << BoxStyle::YesNoQuestion << QMessageBox::Question
                                          << yesNo << int(QMessageBox::NoButton) << BoxAnswer::No;
    }

    void desktopBox()
    {
        QFETCH(BoxStyle, style);
        QFETCH(QMessageBox::Icon, icon);
        QFETCH(int, buttons);
        QFETCH(int, press);
        QFETCH(BoxAnswer, answer);

        QString seenTitle;
        QString seenText;
        QMessageBox::Icon seenIcon = QMessageBox::Critical;
        int seenButtons = 0;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenTitle = box->windowTitle();
            seenText = box->text();
            seenIcon = box->icon();
            seenButtons = int(box->standardButtons());
            if (press == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(QMessageBox::StandardButton(press))->click();
        });

        QtMessageBoxes boxes;
        QCOMPARE(boxes.show(QStringLiteral("Stop monitoring the router?"),
                            QStringLiteral("Corvane"), style),
                 answer);
        QCOMPARE(seenTitle, QStringLiteral("Corvane"));
        QCOMPARE(seenText, QStringLiteral("Stop monitoring the router?"));
        QCOMPARE(seenIcon, icon);
        QCOMPARE(seenButtons, buttons);
    }

    // Whether the window is away in the tray, shown, or not made yet, a warning
    // opens in front without holding its caller, is not stacked on an identical
    // one, and is gone for good once closed.
    void warningOpensWithoutWaiting_data()
    {
        QTest::addColumn<bool>("withWindow");
        QTest::addColumn<bool>("windowShown");

        QTest::addRow("window in the tray") << true << false;
        QTest::addRow("window shown") << true << true;
        QTest::addRow("no window yet") << false << false;
    }

    void warningOpensWithoutWaiting()
    {
        QFETCH(bool, withWindow);
        QFETCH(bool, windowShown);

        QWidget window;
        QtMessageBoxes boxes;
        if (withWindow)
            boxes.setWindow(&window);
        if (windowShown) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        const QString text = QStringLiteral("Port could not be opened.");
        const QString title = QStringLiteral("Comm Port Error");

        QCOMPARE(boxes.show(text, title, BoxStyle::OkExclamation), BoxAnswer::Ok);
        QCOMPARE(VisibleBoxes().size(), 1);
        QPointer<QMessageBox> box = VisibleBoxes().first();
        QCOMPARE(box->windowTitle(), title);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(int(box->standardButtons()), int(QMessageBox::Ok));
        QCOMPARE(box->parentWidget(), withWindow ? &window : nullptr);
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QVERIFY(QTest::qWaitForWindowActive(box));
        QCOMPARE(window.isVisible(), windowShown);

        // The same again while it is open is not stacked; another text is.
        QCOMPARE(boxes.show(text, title, BoxStyle::OkExclamation), BoxAnswer::Ok);
        QCOMPARE(VisibleBoxes().size(), 1);
        QCOMPARE(boxes.show(QStringLiteral("Port is not open."), title, BoxStyle::OkExclamation),
                 BoxAnswer::Ok);
        QCOMPARE(VisibleBoxes().size(), 2);

        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(box.isNull());
        QCOMPARE(VisibleBoxes().size(), 1);
        // Once closed, the same warning opens again.
        boxes.show(text, title, BoxStyle::OkExclamation);
        QCOMPARE(VisibleBoxes().size(), 2);
    }

    // A warning belongs to the window the user works in, the Options window say, which
    // it keeps in front and gets the keyboard back, its field still focused, once the
    // warning is answered. Where none of ours is active, or a box is, it belongs to
    // the main window.
    void warningBelongsToTheActiveWindow_data()
    {
        QTest::addColumn<QString>("active"); // "main", "other", "box" or none
        QTest::addColumn<QString>("owner");

        QTest::addRow("main window active") << "main"
                                            << "main";
        QTest::addRow("another window active") << "other"
                                               << "other";
        QTest::addRow("another box active") << "box"
                                            << "main";
        QTest::addRow("none active, main window tucked away") << ""
                                                              << "main";
    }

    void warningBelongsToTheActiveWindow()
    {
        QFETCH(QString, active);
        QFETCH(QString, owner);

        QWidget main;
        main.setObjectName(QStringLiteral("main"));
        QWidget other;
        other.setObjectName(QStringLiteral("other"));
        auto *field = new QLineEdit(&other);
        QtMessageBoxes boxes;
        boxes.setWindow(&main);
        QMessageBox earlier(QMessageBox::Warning, QStringLiteral("Earlier"), QStringLiteral("text"),
                            QMessageBox::Ok);
        QWidget *activated = active == u"main"    ? &main
                             : active == u"other" ? static_cast<QWidget *>(&other)
                             : active == u"box"   ? &earlier
                                                  : nullptr;
        if (activated) {
            other.show();
            field->setFocus();
            activated->show();
            activated->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(activated));
        }

        boxes.show(QStringLiteral("A whole number is required."), QStringLiteral("Options"),
                   BoxStyle::OkExclamation);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box && box != &earlier);
        QCOMPARE(box->parentWidget()->objectName(), owner);
        QVERIFY(QTest::qWaitForWindowActive(box));
        box->button(QMessageBox::Ok)->click();

        QWidget *ownerWindow = owner == u"main" ? &main : &other;
        if (ownerWindow->isVisible()) {
            QVERIFY(QTest::qWaitForWindowActive(ownerWindow));
            if (ownerWindow == &other)
                QCOMPARE(QApplication::focusWidget(), field);
        }
    }

    // A command in a warning keeps a line of its own however long it is: the box
    // grows to hold it and only the prose around it wraps. Repeating it opens no
    // second box.
    void commandsStayWhole()
    {
        QtMessageBoxes boxes;
        const QString command = QStringLiteral("echo 'net.ipv4.ping_group_range = 0 2147483647' | "
                                               "sudo tee /etc/sysctl.d/60-ping.conf");
        const QString text = QStringLiteral("Pings cannot be sent: this user may not open an ICMP "
                                            "socket. Until that changes, no outage is seen and no "
                                            "fail command is sent. Allow the user's group:\n  ") +
                             command;
        boxes.show(text, QStringLiteral("Ping Permission"), BoxStyle::OkExclamation);
        boxes.show(text, QStringLiteral("Ping Permission"), BoxStyle::OkExclamation);
        QCOMPARE(VisibleBoxes().size(), 1);
        auto *label =
            VisibleBoxes().first()->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QVERIFY(QTest::qWaitForWindowExposed(VisibleBoxes().first()));

        QTextDocument shown;
        shown.setDefaultFont(label->font());
        shown.setHtml(label->text());
        shown.setDocumentMargin(0);
        shown.setTextWidth(label->contentsRect().width());
        QVERIFY(shown.size().height() > 0); // lays the text out
        const QTextBlock commandBlock = shown.lastBlock();
        QCOMPARE(commandBlock.text(), command);
        QCOMPARE(commandBlock.layout()->lineCount(), 1);
        QVERIFY(shown.firstBlock().layout()->lineCount() > 1);
        qDeleteAll(VisibleBoxes());
    }

    void headlessBox_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<BoxStyle>("style");
        QTest::addColumn<QString>("line");
        QTest::addColumn<BoxAnswer>("answer");

        QTest::addRow("warning") << "Port could not be opened." << BoxStyle::OkExclamation
                                 << "Comm Port Error: Port could not be opened.\n"
                                 << BoxAnswer::Ok;
        QTest::addRow("question") << "Stop monitoring the router?" << BoxStyle::YesNoQuestion
                                  << "Comm Port Error: Stop monitoring the router?\n"
                                  << BoxAnswer::Yes;
        QTest::addRow("text over lines") << "first\r\nsecond\nthird" << BoxStyle::Ok
                                         << "Comm Port Error: first\n  second\n  third\n"
                                         << BoxAnswer::Ok;
    }

    void headlessBox()
    {
        QFETCH(QString, text);
        QFETCH(BoxStyle, style);
        QFETCH(QString, line);
        QFETCH(BoxAnswer, answer);

        std::FILE *stream = std::tmpfile();
        QVERIFY(stream);
        HeadlessMessageBoxes boxes(stream);
        QCOMPARE(boxes.show(text, QStringLiteral("Comm Port Error"), style), answer);
        QVERIFY(!QApplication::activeModalWidget());

        std::rewind(stream);
        char written[256] = {};
        const size_t length = std::fread(written, 1, sizeof written - 1, stream);
        std::fclose(stream);
        QCOMPARE(QString::fromLocal8Bit(written, qsizetype(length)), line);
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
