#include "ProgramFolder.h"
#include "Settings.h"
#include "TestMain.h"
#include "frmSet.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The dialog opened on a program folder of its own, with every hand-over recorded.
struct DialogFixture : ProgramFolder {
    QList<SaveSettings> handedOver;
    std::unique_ptr<frmSet> dialog;

    explicit DialogFixture(const QByteArray& settings = {})
        : ProgramFolder(settings.isNull() ? settings : "[CollectorSet]\n" + settings)
    {
    }
    QByteArray iniBytes() const { return read(u"Set.ini"); }

    frmSet& open()
    {
        dialog = std::make_unique<frmSet>(
            dialogs, [this](const SaveSettings& s) { handedOver << s; });
        dialog->show();
        return *dialog;
    }
    template <typename T>
    T* control(const char* name) const
    {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }
    QRadioButton* option(int i) const
    {
        return dialog->findChild<QRadioButton*>(u"Option6_"_s + QString::number(i));
    }
    void click(QAbstractButton* button) const
    {
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    // The selected mode, and only its own part of the three enabled.
    void expectMode(int selected) const
    {
        for (int i = 0; i < 3; ++i)
            QCOMPARE(option(i)->isChecked(), i == selected);
        QCOMPARE(control<QCheckBox>("ChkCacheUpdate")->isEnabled(), selected == 0);
        QCOMPARE(control<QToolButton>("Command3")->isEnabled(), selected == 1);
        QCOMPARE(control<QCheckBox>("ChkAutoName")->isEnabled(), selected == 2);
        QVERIFY(control<QCheckBox>("Check7")->isEnabled());
    }
    // Each key of the section once, in the order OK wrote them.
    QStringList writtenKeys() const
    {
        QStringList keys;
        for (const QByteArray& line : iniBytes().split('\n')) {
            if (const qsizetype eq = line.indexOf('='); eq > 0)
                keys << QString::fromUtf8(line.left(eq));
        }
        return keys;
    }
};

const QStringList FiveKeys = {u"save"_s, u"CacheUpdate"_s, u"filepath"_s, u"AutoName"_s, u"tip"_s};

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void withoutSettingsFile()
    {
        // The dialog opens centred; OK at once writes the five defaults, in
        // order, and hands them over.
        DialogFixture f;
        frmSet& d = f.open();
        QVERIFY(f.control<QLineEdit>("text1")->isReadOnly());
        const QRect screen = d.screen()->geometry();
        QVERIFY(qAbs(d.x() - (screen.width() - d.width()) / 2) <= 1);
        QVERIFY(qAbs(d.y() - (screen.height() - d.height()) / 2) <= 1);
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(f.dialog->result(), int(QDialog::Accepted));
        QVERIFY(!f.dialog->isVisible());
        QCOMPARE(f.writtenKeys(), FiveKeys);
        const QStringList values = {u"append"_s, u"true"_s, u"default"_s, u"false"_s, u"true"_s};
        for (int i = 0; i < FiveKeys.size(); ++i)
            QCOMPARE(ReadSetting(FiveKeys[i], {}), values[i]);
        QCOMPARE(f.handedOver.size(), 1);
        const SaveSettings expected{u"append"_s, true, ProgramDir() + u"Documents/"_s, false, true};
        QCOMPARE(f.handedOver.first(), expected);
    }

    void loadsWhatTheFileHolds_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("cache");
        QTest::addColumn<bool>("autoName");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("tip");
        QTest::newRow("no file") << QByteArray() << 0 << true << false << QString() << true;
        QTest::newRow("database") << QByteArray("save=database\nAutoName=true\n") << 2 << true
                                  << true << QString() << true;
        QTest::newRow("create, path as stored")
            << QByteArray("save=create\nfilepath=/srv/文本\ntip=false\nCacheUpdate=false\n") << 1
            << false << false << u"/srv/文本"_s << false;
        // Exact words only: anything else takes the other state.
        QTest::newRow("not the exact words")
            << QByteArray("save=Create\nCacheUpdate=False\nAutoName=True\ntip=FALSE\nfilepath=\n")
            << 0 << true << false << QString() << true;
    }
    void loadsWhatTheFileHolds()
    {
        QFETCH(QByteArray, settings);
        QFETCH(int, mode);
        QFETCH(bool, cache);
        QFETCH(bool, autoName);
        QFETCH(QString, path);
        QFETCH(bool, tip);
        DialogFixture f(settings);
        f.open();
        f.expectMode(mode);
        QCOMPARE(f.control<QCheckBox>("ChkCacheUpdate")->isChecked(), cache);
        QCOMPARE(f.control<QCheckBox>("ChkAutoName")->isChecked(), autoName);
        QCOMPARE(f.control<QLineEdit>("text1")->text(), path);
        QCOMPARE(f.control<QCheckBox>("Check7")->isChecked(), tip);
    }

    // Each option enables its own part; a box it disables keeps its tick.
    // Only OK keeps the choice, the disabled boxes' ticks with it.
    void optionsEnableTheirPartsAndOnlyOkKeepsThem()
    {
        DialogFixture f("AutoName=true\n");
        f.open();
        for (const int i : {1, 2, 0, 2}) {
            f.click(f.option(i));
            f.expectMode(i);
        }
        f.click(f.control<QPushButton>("Command2"));
        f.open();
        f.expectMode(0); // the cancelled choice is gone
        auto* cache = f.control<QCheckBox>("ChkCacheUpdate");
        f.click(cache); // untick while enabled
        QVERIFY(!cache->isChecked());
        f.click(f.option(1));
        f.expectMode(1);
        QVERIFY(!cache->isChecked());
        QVERIFY(f.control<QCheckBox>("ChkAutoName")->isChecked()); // disabled all along
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(ReadSetting(u"save"_s, {}), u"create"_s);
        QCOMPARE(ReadSetting(u"CacheUpdate"_s, {}), u"false"_s);
        QCOMPARE(ReadSetting(u"AutoName"_s, {}), u"true"_s);
        QCOMPARE(f.handedOver.size(), 1);
        QCOMPARE(f.handedOver.first().CacheUpdate, false);
        QCOMPARE(f.handedOver.first().autoname, true);
        f.open();
        f.expectMode(1);
    }

    // The path box: filled by the chooser (which starts where the box points),
    // emptied by cancelling it, or as the file had it; OK adds the separator.
    // A folder the file cannot keep as chosen is refused with a message, and
    // the old one stays in the file and with the collector.
    void savePath_data()
    {
        QTest::addColumn<QByteArray>("settings"); // "<folder>": Set.ini is a folder
        QTest::addColumn<QStringList>("chooser"); // its answer; {""}: cancelled; {}: not opened
        QTest::addColumn<QString>("startsAt");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("kept");
        const QString documents = u"<Documents>"_s;
        const QByteArray create = "save=create\n";
        const QByteArray texts = "save=create\nfilepath=/srv/texts/\n";
        const QString longPath = u"/home/用户/"_s + QString(100, u'摘');
        QTest::newRow("folder") << create << QStringList{u"/home/u/Texts"_s} << documents
                                << u"/home/u/Texts/"_s << true;
        QTest::newRow("root: no second separator")
            << create << QStringList{u"/"_s} << documents << u"/"_s << true;
        QTest::newRow("Chinese and spaces") << create << QStringList{u"/home/用户/摘 录"_s}
                                            << documents << u"/home/用户/摘 录/"_s << true;
        QTest::newRow("long Chinese path, read whole")
            << create << QStringList{longPath} << documents << longPath + u'/' << true;
        QTest::newRow("cancelled: the default")
            << texts << QStringList{QString()} << u"/srv/texts/"_s << u"default"_s << true;
        QTest::newRow("hand-written") << QByteArray("filepath=/srv/texts\n") << QStringList{}
                                      << QString() << u"/srv/texts/"_s << true;
        QTest::newRow("line break in the name: the old folder")
            << texts << QStringList{u"/srv/a\nb"_s} << u"/srv/texts/"_s << u"/srv/texts/"_s
            << false;
        QTest::newRow("settings cannot be written: the old folder")
            << QByteArray("<folder>") << QStringList{u"/home/u/Texts"_s} << documents
            << u"default"_s << false;
    }
    void savePath()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, chooser);
        QFETCH(QString, startsAt);
        QFETCH(QString, written);
        QFETCH(bool, kept);
        const bool folder = settings == "<folder>";
        DialogFixture f(folder ? QByteArray() : settings);
        if (folder)
            QVERIFY(QDir().mkdir(f.path(u"Set.ini")));
        f.open();
        if (!chooser.isEmpty()) {
            if (!chooser.first().isEmpty())
                f.dialogs.fileNames.push_back(chooser.first());
            f.click(f.option(1)); // the folder is create mode's
            f.click(f.control<QToolButton>("Command3"));
            startsAt.replace(u"<Documents>"_s, ProgramDir() + u"Documents"_s);
            QCOMPARE(f.dialogs.fileDialogs, QStringList(u"请选择文档的保存路径：|"_s + startsAt));
            QCOMPARE(f.control<QLineEdit>("text1")->text(), chooser.first());
        }
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(ReadSetting(u"filepath"_s, u"default"_s), written);
        QCOMPARE(f.dialogs.messages.size(), kept ? 0 : 1);
        QCOMPARE(f.handedOver.size(), 1);
        QCOMPARE(f.handedOver.first().filepath,
                 written == u"default"_s ? ProgramDir() + u"Documents/"_s : written);
    }

    void leavingWithoutOkWritesNothing()
    {
        const QByteArray settings = "save=Create\nCacheUpdate=x\nfilepath=/srv\n";
        for (int way = 0; way < 3; ++way) {
            DialogFixture f(settings);
            const QByteArray before = f.iniBytes();
            f.open();
            f.click(f.option(2));
            f.click(f.control<QCheckBox>("Check7"));
            if (way == 0)
                f.click(f.control<QPushButton>("Command2"));
            else if (way == 1)
                QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
            else
                f.dialog->close();
            QVERIFY(!f.dialog->isVisible());
            QCOMPARE(f.dialog->result(), int(QDialog::Rejected));
            QCOMPARE(f.iniBytes(), before);
            QVERIFY(f.handedOver.isEmpty());
        }

        // And without a settings file, none is made.
        DialogFixture f;
        for (int i = 0; i < 3; ++i) {
            f.open();
            f.click(f.control<QPushButton>("Command2"));
        }
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }
};

QUORREL_TEST(SettingsDialogTest, "settingsdialog")
#include "tst_settingsdialog.moc"
