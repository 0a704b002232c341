#include "QtMessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
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
        QTest::addRow("text over lines")
            << "first\r\nsecond\nthird" << BoxStyle::Ok << "Comm Port Error: first  second third\n"
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
