#include "WindowPlacement.h"
#include "Dialogs.h"
#include "TestMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

class WindowPlacementTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keepsClearOfTheAskingWindow_data()
    {
        QTest::addColumn<QRect>("avoid");
        QTest::newRow("collector in the middle") << QRect(622, 382, 37, 37);
        QTest::newRow("collector top right") << QRect(1200, 20, 37, 37);
        QTest::newRow("collector bottom left") << QRect(0, 763, 37, 37);
        QTest::newRow("a large window in the middle") << QRect(300, 200, 680, 400);
    }
    void keepsClearOfTheAskingWindow()
    {
        QFETCH(QRect, avoid);
        const QRect screen(0, 0, 1280, 800);
        const QSize box(300, 140);
        const QPoint at = WindowPlacement::clearOf(avoid, box, screen);
        QVERIFY2(!QRect(at, box).intersects(avoid), qPrintable(u"at %1,%2"_s.arg(at.x()).arg(at.y())));
        QVERIFY(screen.contains(QRect(at, box)));
        // Away from the asking window the box stands centred, as a system box does.
        if (!QRect(QPoint(490, 330), box).intersects(avoid))
            QCOMPARE(at, QPoint(490, 330));
    }

    void tooSmallAScreenStillCentres()
    {
        const QRect screen(0, 0, 320, 200);
        QCOMPARE(WindowPlacement::clearOf(QRect(0, 0, 320, 200), QSize(200, 100), screen),
                 QPoint(60, 50));
    }

    // The real message box, shown over a tiny top-most window at the centre of
    // the screen, opens beside it.
    void realMessageBoxLeavesTheCollectorVisible()
    {
        QWidget collector(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        collector.setGeometry(QRect(screen.center() - QPoint(18, 18), QSize(37, 37)));
        collector.show();
        QVERIFY(QTest::qWaitForWindowExposed(&collector));

        // Each dialog is closed as soon as it shows; only a box within 10 s
        // counts, so a late one fails the test instead of hanging it.
        QRect shown;
        QElapsedTimer waited;
        waited.start();
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QDialog*>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                if (qobject_cast<QMessageBox*>(dialog) && waited.elapsed() < 10000)
                    shown = dialog->frameGeometry();
                dialog->close();
            }
        });
        closer.start(10);
        QtDialogs dialogs;
        dialogs.message(&collector, u"文件保存成功！"_s, u"提示"_s, Dialogs::Icon::Information,
                        Dialogs::Buttons::Ok);
        QVERIFY2(shown.isValid(), "a message box shown within 10 s");
        QVERIFY(!shown.intersects(collector.frameGeometry()));
    }
};

QUORREL_TEST(WindowPlacementTest, "windowplacement")
#include "tst_windowplacement.moc"
