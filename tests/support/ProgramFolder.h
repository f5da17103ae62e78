#pragma once

#include "ProgramDir.h"
#include "RichText.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A program folder of its own with an optional Set.ini, and every modal
// question answered by a script: what each window's fixture starts from.
struct ProgramFolder {
    QTemporaryDir dir;
    std::unique_ptr<ProgramDirOverride> programDir = std::make_unique<ProgramDirOverride>(dir.path());
    ScriptedDialogs dialogs;

    explicit ProgramFolder(const QByteArray& settings = {})
    {
        if (!settings.isNull())
            write(u"Set.ini", settings);
    }

    QString path(QStringView name) const { return ProgramDir() + name; }
    bool exists(QStringView name) const { return QFile::exists(path(name)); }
    void write(QStringView name, const QByteArray& bytes) const
    {
        QVERIFY(TestFiles::writeBytes(path(name), bytes));
    }
    QByteArray read(QStringView name) const { return TestFiles::bytesOf(path(name)); }
    void writeDocument(const QString& text) const
    {
        QVERIFY(RichText::saveText(path(u"Doc.dat"), text));
    }
    QString documentText() const
    {
        return RichText::loadText(path(u"Doc.dat")).value_or(QStringLiteral("<missing>"));
    }
};
