#include "Dialogs.h"
#include "TestMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QString>)

// The real input box with an offered text, answered with keys.
class DialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void inputBoxOffersAText_data()
    {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<std::optional<QString>>("answer");
        const QString page = u"测试页面"_s;
        QTest::newRow("Down takes it")
            << page << QList<int>{Qt::Key_Down, Qt::Key_Return} << std::optional(page);
        QTest::newRow("Tab takes it")
            << page << QList<int>{Qt::Key_Tab, Qt::Key_Return} << std::optional(page);
        QTest::newRow("Return leaves it")
            << page << QList<int>{Qt::Key_Return} << std::optional(QString());
        QTest::newRow("typed text stays")
            << page << QList<int>{Qt::Key_X, Qt::Key_Down, Qt::Key_Return} << std::optional(u"x"_s);
        QTest::newRow("Escape cancels")
            << page << QList<int>{Qt::Key_Down, Qt::Key_Escape} << std::optional<QString>();
        QTest::newRow("nothing offered")
            << QString() << QList<int>{Qt::Key_Down, Qt::Key_Return} << std::optional(QString());
    }

    void inputBoxOffersAText()
    {
        QFETCH(QString, offered);
        QFETCH(QList<int>, keys);
        QFETCH(std::optional<QString>, answer);
        QString shownEmpty;
        QTimer::singleShot(0, [&] {
            auto* field = QApplication::activeModalWidget()
                              ? QApplication::activeModalWidget()->findChild<QLineEdit*>()
                              : nullptr;
            if (!field)
                return;
            // Greyed in the field, not in it.
            shownEmpty = field->text().isEmpty() ? field->placeholderText() : u"<filled>"_s;
            field->setFocus();
            for (int key : keys) {
                QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : field;
                if (key == Qt::Key_X)
                    QTest::keyClick(to, 'x');
                else
                    QTest::keyClick(to, Qt::Key(key));
            }
        });
        QtDialogs dialogs;
        QCOMPARE(
            dialogs.inputText(nullptr, u"请输入文档标题:"_s, u"输入信息"_s, QString(), offered),
            answer);
        QCOMPARE(shownEmpty, offered);
    }
};

QUORREL_TEST(DialogsTest, "dialogs")
#include "tst_dialogs.moc"
