#include "RichTextBox.h"
#include "TestMain.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;

class RichTextBoxTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void normalisesLineBreaks_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("text");
        QTest::newRow("crlf") << u"a\r\nb\r\n"_s << u"a\nb\n"_s;
        QTest::newRow("lone cr") << u"a\rb\r\r"_s << u"a\nb\n\n"_s;
        QTest::newRow("nbsp kept") << u"a\u00A0b"_s << u"a\u00A0b"_s;
        QTest::newRow("shift+enter break") << u"a\u2028b"_s << u"a\nb"_s;
        QTest::newRow("empty lines") << u"\n\n"_s << u"\n\n"_s;
    }
    void normalisesLineBreaks()
    {
        QFETCH(QString, given);
        QFETCH(QString, text);
        RichTextBox box;
        box.setText(given);
        QCOMPARE(box.Text(), text);
    }

    // Positions count UTF-16 units and one per line break, as Text() does.
    void selectionIsInTextUnits_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("selected");
        QTest::newRow("across a line break") << 2 << 6 << u"c\n😀"_s;
        QTest::newRow("after a surrogate pair") << 6 << 9 << u"中文\n"_s;
        QTest::newRow("backwards") << 9 << 6 << u"中文\n"_s;
        QTest::newRow("empty") << 4 << 4 << QString();
    }
    void selectionIsInTextUnits()
    {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, selected);
        RichTextBox box;
        box.setText(u"abc\n😀中文\r\nz"_s);
        QTextCursor cursor = box.textCursor();
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        box.setTextCursor(cursor);
        QCOMPARE(box.SelText(), selected);
        QCOMPARE(box.SelStart(), std::min(start, end));
        QCOMPARE(box.Text().mid(box.SelStart(), box.SelText().size()), selected);
    }

    // Long texts are set in blocks of several lines; nothing outside may tell.
    void longTextReadsBackLineByLine()
    {
        QString text;
        for (int i = 0; i < 6000; ++i)
            text += u"第"_s + QString::number(i) + u"行\n"_s;
        RichTextBox box;
        box.setText(text);
        QCOMPARE(box.Text(), text);
        QCOMPARE(box.toPlainText(), text);
        const int start = int(text.indexOf(u"第5行"_s));
        QTextCursor cursor = box.textCursor();
        cursor.setPosition(start);
        cursor.setPosition(start + 10, QTextCursor::KeepAnchor);
        box.setTextCursor(cursor);
        QCOMPARE(box.SelText(), text.mid(start, 10));
        QCOMPARE(box.SelStart(), start);
        box.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), text.mid(start, 10));
        QTest::keyClick(&box, Qt::Key_Return);
        QCOMPARE(box.Text(), text.left(start) + u'\n' + text.mid(start + 10));
    }

};

QUORREL_TEST(RichTextBoxTest, "richtextbox")
#include "tst_richtextbox.moc"
