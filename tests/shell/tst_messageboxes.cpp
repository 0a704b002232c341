#include "QtMessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <cstdio>

// The desktop boxes show the button set and icon of their style; the headless
// ones write one line each and answer as the default button would.
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
        QTest::addRow("warning") << BoxStyle::OkExclamation << QMessageBox::Warning
                                 << int(QMessageBox::Ok) << int(QMessageBox::Ok) << BoxAnswer::Ok;
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
