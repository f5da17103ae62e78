#include "SessionGuard.h"

#include "TerminationSignals.h"
#include "frmCollectorWindow.h"

#include <QGuiApplication>
#include <QSessionManager>

SessionGuard::SessionGuard(frmCollectorWindow& collector, std::function<void()> quit)
    : m_collector(collector), m_quit(std::move(quit)), m_signals(new TerminationSignals(this))
{
    if (!m_quit)
        m_quit = [] { QCoreApplication::quit(); };
    connect(m_signals, &TerminationSignals::received, this, [this] {
        m_collector.runEnding();
        m_collector.savePendingQuietly();
        m_quit();
    });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { m_collector.savePendingQuietly(); });
        connect(app, &QCoreApplication::aboutToQuit, this,
                [this] { m_collector.savePendingQuietly(); });
    }
}

SessionGuard::~SessionGuard() = default;
