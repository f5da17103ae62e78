#pragma once

#include <QObject>

#include <functional>

class frmCollectorWindow;
class TerminationSignals;

// Keeps the cached text from being lost when the run ends other than through
// the exit item: on SIGTERM, SIGINT or SIGHUP, when the desktop session ends,
// and when the application quits, the text goes to Doc.dat first.
class SessionGuard : public QObject {
    Q_OBJECT
public:
    // `quit` ends the run after a signal; the application's quit by default.
    explicit SessionGuard(frmCollectorWindow& collector, std::function<void()> quit = {});
    ~SessionGuard() override;

private:
    frmCollectorWindow& m_collector;
    std::function<void()> m_quit;
    TerminationSignals* m_signals;
};
