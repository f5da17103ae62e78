#include "ProgramDir.h"
#include "ScriptedDialogs.h"
#include "Settings.h"
#include "TestMain.h"
#include "frmSet.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A program folder of its own, an optional Set.ini, and the dialog opened on
// it with every hand-over recorded.
struct DialogFixture {
    QTemporaryDir dir;
    ProgramDirOverride programDir{dir.path()};
    ScriptedDialogs dialogs;
    QList<SaveSettings> handedOver;
    std::unique_ptr<frmSet> dialog;

    explicit DialogFixture(const QByteArray& settings = {})
    {
        if (!settings.isNull()) {
            QFile file(ini());
            if (file.open(QIODevice::WriteOnly))
                file.write("[CollectorSet]\n" + settings);
        }
    }
    QString ini() const { return ProgramDir() + u"Set.ini"_s; }
    QByteArray iniBytes() const
    {
        QFile file(ini());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

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
    // The selected mode and which of the three mode-bound parts are enabled.
    void expectMode(int selected, bool cacheEnabled, bool pathEnabled, bool autoNameEnabled) const
    {
        for (int i = 0; i < 3; ++i)
            QCOMPARE(option(i)->isChecked(), i == selected);
        QCOMPARE(control<QCheckBox>("ChkCacheUpdate")->isEnabled(), cacheEnabled);
        QCOMPARE(control<QGroupBox>("Frame1")->isEnabled(), pathEnabled);
        // Disabling the group disables all it holds.
        QCOMPARE(control<QLineEdit>("text1")->isEnabled(), pathEnabled);
        QCOMPARE(control<QToolButton>("Command3")->isEnabled(), pathEnabled);
        QCOMPARE(control<QLabel>("Label1")->isEnabled(), pathEnabled);
        QCOMPARE(control<QCheckBox>("ChkAutoName")->isEnabled(), autoNameEnabled);
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
    void controlsTextsAndArrangement()
    {
        DialogFixture f;
        frmSet& d = f.open();
        QCOMPARE(d.windowTitle(), u"高级设置"_s);
        const auto* frame6 = f.control<QGroupBox>("Frame6");
        QVERIFY(frame6);
        QVERIFY(frame6->title().isEmpty());
        const QStringList modeTexts = {u"追加到默认保存文件"_s, u"新建一文件保存"_s, u"保存到数据库"_s};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(f.option(i));
            QCOMPARE(f.option(i)->text(), modeTexts[i]);
            QVERIFY(frame6->isAncestorOf(f.option(i)));
        }
        QCOMPARE(f.control<QCheckBox>("ChkCacheUpdate")->text(), u"缓存更新"_s);
        QCOMPARE(f.control<QGroupBox>("Frame1")->title(), u"保存路径"_s);
        QCOMPARE(f.control<QLabel>("Label1")->text(),
                 u"如不特别指定则保存在程序安装目录下的Documents子目录"_s);
        QCOMPARE(f.control<QCheckBox>("ChkAutoName")->text(), u"自动命名"_s);
        QCOMPARE(f.control<QCheckBox>("Check7")->text(), u"保存后提示是否保存成功"_s);
        QCOMPARE(f.control<QPushButton>("Command1")->text(), u"确  定"_s);
        QCOMPARE(f.control<QPushButton>("Command2")->text(), u"取  消"_s);
        QVERIFY(f.control<QToolButton>("Command3")->text().isEmpty());
        QVERIFY(!f.control<QToolButton>("Command3")->icon().isNull());
        QVERIFY(f.control<QLineEdit>("text1")->isReadOnly());

        // Top to bottom: append beside the cache box, create, the path group,
        // database beside the auto-name box; the tip box below the frame; OK
        // at the bottom right with Cancel to its right.
        const auto top = [&](const QWidget* w) { return w->mapTo(&d, QPoint(0, 0)).y(); };
        const auto left = [&](const QWidget* w) { return w->mapTo(&d, QPoint(0, 0)).x(); };
        auto* cache = f.control<QCheckBox>("ChkCacheUpdate");
        auto* autoName = f.control<QCheckBox>("ChkAutoName");
        auto* frame1 = f.control<QGroupBox>("Frame1");
        auto* ok = f.control<QPushButton>("Command1");
        auto* cancel = f.control<QPushButton>("Command2");
        QCOMPARE(top(cache), top(f.option(0)));
        QVERIFY(left(cache) > left(f.option(0)) + f.option(0)->width() - 1);
        QVERIFY(top(f.option(1)) > top(f.option(0)));
        QVERIFY(top(frame1) > top(f.option(1)));
        QVERIFY(top(f.option(2)) > top(frame1) + frame1->height() - 1);
        QCOMPARE(top(autoName), top(f.option(2)));
        QVERIFY(left(autoName) > left(f.option(2)) + f.option(2)->width() - 1);
        auto* text1 = f.control<QLineEdit>("text1");
        auto* browse = f.control<QToolButton>("Command3");
        QVERIFY(left(browse) >= left(text1) + text1->width());
        QCOMPARE(browse->width(), browse->height());
        QVERIFY(top(f.control<QLabel>("Label1")) >= top(text1) + text1->height());
        QVERIFY(top(f.control<QCheckBox>("Check7")) >= top(frame6) + frame6->height());
        QVERIFY(top(ok) > top(f.control<QCheckBox>("Check7")));
        QCOMPARE(top(cancel), top(ok));
        QVERIFY(left(cancel) >= left(ok) + ok->width());
        QVERIFY(left(cancel) + cancel->width() > d.width() * 3 / 4);
    }

    void centredOnTheScreen()
    {
        DialogFixture f;
        frmSet& d = f.open();
        const QRect screen = d.screen()->geometry();
        QVERIFY(qAbs(d.x() - (screen.width() - d.width()) / 2) <= 1);
        QVERIFY(qAbs(d.y() - (screen.height() - d.height()) / 2) <= 1);
    }

    void withoutSettingsFile()
    {
        DialogFixture f;
        f.open();
        f.expectMode(0, true, false, false);
        QVERIFY(f.control<QCheckBox>("ChkCacheUpdate")->isChecked());
        QVERIFY(!f.control<QCheckBox>("ChkAutoName")->isChecked());
        QVERIFY(f.control<QLineEdit>("text1")->text().isEmpty());
        QVERIFY(f.control<QCheckBox>("Check7")->isChecked());

        // OK at once writes the five defaults, in order, and hands them over.
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(f.dialog->result(), int(QDialog::Accepted));
        QVERIFY(!f.dialog->isVisible());
        QCOMPARE(f.writtenKeys(), FiveKeys);
        QCOMPARE(ReadSetting(u"save"_s, {}), u"append"_s);
        QCOMPARE(ReadSetting(u"CacheUpdate"_s, {}), u"true"_s);
        QCOMPARE(ReadSetting(u"filepath"_s, {}), u"default"_s);
        QCOMPARE(ReadSetting(u"AutoName"_s, {}), u"false"_s);
        QCOMPARE(ReadSetting(u"tip"_s, {}), u"true"_s);
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
        QTest::newRow("database") << QByteArray("save=database\nAutoName=true\n") << 2 << true
                                  << true << QString() << true;
        QTest::newRow("create, path as stored")
            << QByteArray("save=create\nfilepath=/srv/文本\ntip=false\nCacheUpdate=false\n") << 1
            << false << false << u"/srv/文本"_s << false;
        // Exact words only: anything else takes the other state.
        QTest::newRow("not the exact words")
            << QByteArray("save=Create\nCacheUpdate=False\nAutoName=True\ntip=FALSE\nfilepath=\n")
            << 0 << true << false << QString() << true;
        QTest::newRow("tip read case-blind") << QByteArray("Tip=false\n") << 0 << true << false
                                             << QString() << false;
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
        f.expectMode(mode, mode == 0, mode == 1, mode == 2);
        QCOMPARE(f.control<QCheckBox>("ChkCacheUpdate")->isChecked(), cache);
        QCOMPARE(f.control<QCheckBox>("ChkAutoName")->isChecked(), autoName);
        QCOMPARE(f.control<QLineEdit>("text1")->text(), path);
        QCOMPARE(f.control<QCheckBox>("Check7")->isChecked(), tip);
    }

    void optionsEnableTheirParts()
    {
        DialogFixture f;
        f.open();
        f.click(f.option(1));
        f.expectMode(1, false, true, false);
        f.click(f.option(2));
        f.expectMode(2, false, false, true);
        f.click(f.option(0));
        f.expectMode(0, true, false, false);
    }

    void disabledBoxesKeepTheirTicksAndAreSaved()
    {
        DialogFixture f("AutoName=true\n");
        f.open();
        auto* cache = f.control<QCheckBox>("ChkCacheUpdate");
        f.click(cache); // untick while enabled
        QVERIFY(!cache->isChecked());
        f.click(f.option(1));
        QVERIFY(!cache->isEnabled());
        QVERIFY(!cache->isChecked());
        QVERIFY(f.control<QCheckBox>("ChkAutoName")->isChecked()); // disabled all along
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(ReadSetting(u"save"_s, {}), u"create"_s);
        QCOMPARE(ReadSetting(u"CacheUpdate"_s, {}), u"false"_s);
        QCOMPARE(ReadSetting(u"AutoName"_s, {}), u"true"_s);
        QCOMPARE(f.handedOver.size(), 1);
        QCOMPARE(f.handedOver.first().CacheUpdate, false);
        QCOMPARE(f.handedOver.first().autoname, true);
    }

    void chosenFolder_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("folder") << u"/home/u/Texts"_s << u"/home/u/Texts/"_s;
        QTest::newRow("root: no second separator") << u"/"_s << u"/"_s;
        QTest::newRow("Chinese and spaces") << u"/home/用户/摘 录"_s << u"/home/用户/摘 录/"_s;
    }
    void chosenFolder()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        DialogFixture f("save=create\n");
        f.open();
        f.dialogs.fileNames.push_back(chosen);
        f.click(f.control<QToolButton>("Command3"));
        QCOMPARE(f.dialogs.fileDialogs,
                 QStringList(u"请选择文档的保存路径：|"_s + ProgramDir() + u"Documents"_s));
        QCOMPARE(f.control<QLineEdit>("text1")->text(), chosen);
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(ReadSetting(u"filepath"_s, {}), written);
        QCOMPARE(f.handedOver.size(), 1);
        QCOMPARE(f.handedOver.first().filepath, written);
    }

    void cancelledChooserReturnsToTheDefault()
    {
        DialogFixture f("save=create\nfilepath=/srv/texts/\n");
        f.open();
        QCOMPARE(f.control<QLineEdit>("text1")->text(), u"/srv/texts/"_s);
        f.click(f.control<QToolButton>("Command3")); // nothing scripted: cancelled
        QCOMPARE(f.dialogs.fileDialogs, QStringList(u"请选择文档的保存路径：|/srv/texts/"_s));
        QVERIFY(f.control<QLineEdit>("text1")->text().isEmpty());
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(ReadSetting(u"filepath"_s, {}), u"default"_s);
        QCOMPARE(f.handedOver.first().filepath, ProgramDir() + u"Documents/"_s);
    }

    void handWrittenPathGetsItsSeparatorOnOk()
    {
        DialogFixture f("filepath=/srv/texts\n");
        f.open();
        QCOMPARE(f.control<QLineEdit>("text1")->text(), u"/srv/texts"_s);
        f.click(f.control<QPushButton>("Command1"));
        QCOMPARE(ReadSetting(u"filepath"_s, {}), u"/srv/texts/"_s);
        QCOMPARE(f.handedOver.first().filepath, u"/srv/texts/"_s);
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

    void eachOpeningShowsTheFileAgain()
    {
        DialogFixture f;
        f.open();
        f.click(f.option(2));
        f.click(f.control<QPushButton>("Command2"));
        f.open();
        f.expectMode(0, true, false, false); // the cancelled choice is gone
        f.click(f.option(1));
        f.click(f.control<QPushButton>("Command1"));
        f.open();
        f.expectMode(1, false, true, false);
    }
};

QUORREL_TEST(SettingsDialogTest, "settingsdialog")
#include "tst_settingsdialog.moc"
