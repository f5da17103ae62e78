#include "AdvancedSettings.h"

#include "Settings.h"

using namespace Qt::StringLiterals;

namespace {

const QString Default = u"default"_s;

} // namespace

QString AdvancedSettings::modeWord(Mode mode)
{
    switch (mode) {
    case Create: return u"create"_s;
    case Database: return u"database"_s;
    case Append: break;
    }
    return u"append"_s;
}

void AdvancedSettings::LoadSettings()
{
    using namespace SettingRules;
    const QString save = ReadSetting(u"save"_s, u"append"_s);
    mode = save == u"create"_s ? Create : save == u"database"_s ? Database : Append;
    cacheUpdate = onUnlessFalse(ReadSetting(u"CacheUpdate"_s, True));
    autoName = onlyIfTrue(ReadSetting(u"AutoName"_s, False));
    m_storedPath = ReadSetting(u"filepath"_s, Default);
    path = m_storedPath == Default ? QString() : m_storedPath;
    tip = onUnlessFalse(ReadSetting(u"tip"_s, True));
}

SaveSettings AdvancedSettings::Save(const QString& programDir, bool* pathKept) const
{
    using namespace SettingRules;
    SaveSettings chosen;
    chosen.save = modeWord(mode);
    WriteSetting(u"save"_s, chosen.save);

    chosen.CacheUpdate = cacheUpdate;
    WriteSetting(u"CacheUpdate"_s, boolWord(cacheUpdate));

    // "/" stays "/": only a missing separator is added.
    const QString wanted = path.isEmpty() ? Default : resolveFilePath(path, programDir);
    // The folder used is the one the file names, at the next start too.
    const bool kept = WriteSettingWhole(u"filepath"_s, wanted) || wanted == m_storedPath;
    chosen.filepath = resolveFilePath(kept ? wanted : m_storedPath, programDir);
    if (pathKept)
        *pathKept = kept;

    chosen.autoname = autoName;
    WriteSetting(u"AutoName"_s, boolWord(autoName));

    chosen.tip = tip;
    WriteSetting(u"tip"_s, boolWord(tip));
    return chosen;
}
