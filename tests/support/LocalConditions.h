#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <optional>
#include <unistd.h>

// Hostile but ordinary local conditions: an environment without a runtime
// folder, files and folders that another account made.
namespace LocalConditions {

// The account that plays "someone else on this machine".
constexpr uid_t Nobody = 65534;

// Hands `path` (not what a link leads to) to the other account: root only.
inline bool giveAway(const QString& path)
{
    return ::lchown(QFile::encodeName(path).constData(), Nobody, Nobody) == 0;
}

// Sets or (nullopt) unsets environment variables while alive.
class Environment {
public:
    void set(const char* name, const std::optional<QString>& value)
    {
        m_saved.append(
            {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
        if (value)
            qputenv(name, QFile::encodeName(*value));
        else
            qunsetenv(name);
    }
    ~Environment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                qputenv(it->first, *it->second);
            else
                qunsetenv(it->first);
        }
    }

private:
    QList<std::pair<const char*, std::optional<QByteArray>>> m_saved;
};

} // namespace LocalConditions
