#pragma once

#include <QByteArrayList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <memory>

// One run of collector_child on a program folder of the test's.
class Child {
public:
    explicit Child(const QString& folder, const QStringList& args,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral(COLLECTOR_CHILD), QStringList{folder} + args);
    }
    ~Child()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(-1);
        }
    }

    bool running() const { return m_process.state() != QProcess::NotRunning; }

    // Waits for a whole output line equal to `line`; false when the child
    // ended (or stayed silent for a minute) without printing it.
    bool waitFor(const QByteArray& line)
    {
        for (;;) {
            collect();
            if (m_lines.contains(line))
                return true;
            if (!running() || !m_process.waitForReadyRead(60000)) {
                collect();
                return m_lines.contains(line);
            }
        }
    }

    void send(const QByteArray& line) { m_process.write(line + '\n'); m_process.waitForBytesWritten(); }

    // Lets it run for `ms`, reading what it prints; false once it has ended.
    bool runFor(int ms)
    {
        if (running())
            m_process.waitForFinished(ms);
        collect();
        return running();
    }

    void kill()
    {
        m_process.kill(); // SIGKILL: nothing of the program runs any more
        m_process.waitForFinished(-1);
        collect();
    }
    void terminate()
    {
        m_process.terminate(); // SIGTERM
        m_process.waitForFinished(60000);
        collect();
    }
    bool finish(int ms = 60000)
    {
        const bool ended = m_process.waitForFinished(ms);
        collect();
        return ended;
    }

    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    QByteArray errors() { return m_process.readAllStandardError(); }

    // The highest n of the "ack <n>" lines printed so far.
    int acknowledged() const
    {
        int n = 0;
        for (const QByteArray& line : m_lines)
            if (line.startsWith("ack "))
                n = std::max(n, line.mid(4).toInt());
        return n;
    }
    const QByteArrayList& lines() const { return m_lines; }

private:
    // Only whole lines count: a kill can cut the output anywhere.
    void collect()
    {
        m_pending += m_process.readAllStandardOutput();
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            m_lines << m_pending.left(end);
            m_pending.remove(0, end + 1);
        }
    }

    QProcess m_process;
    QByteArray m_pending;
    QByteArrayList m_lines;
};
