#include "BatchProgressDialog.h"

#include <QCoreApplication>
#include <QProgressDialog>

using namespace Qt::StringLiterals;

BatchProgressDialog::BatchProgressDialog(QWidget* parent, int showAfterMs, int turnEveryMs)
    : m_parent(parent), m_showAfterMs(showAfterMs), m_turnEveryMs(turnEveryMs)
{
}

BatchProgressDialog::~BatchProgressDialog()
{
    finish();
}

void BatchProgressDialog::begin(const QString& title, const QString& label, int total)
{
    finish();
    m_shown = false;
    m_title = title;
    m_label = label;
    m_total = total;
    m_started.start();
    m_lastTurn.start();
}

bool BatchProgressDialog::due()
{
    if (!m_lastTurn.isValid())
        return false;
    // Until the dialog is due nothing else runs, so the batch need not pause.
    if (!m_dialog)
        return m_started.elapsed() >= m_showAfterMs;
    return m_lastTurn.elapsed() >= m_turnEveryMs;
}

bool BatchProgressDialog::update(int done)
{
    m_lastTurn.start();
    if (m_shown && !m_dialog)
        return false; // gone with its parent window: nobody is left to watch
    if (!m_dialog) {
        // Until it shows, the batch keeps the event loop to itself: nothing
        // the user does can reach the browser before the dialog blocks it.
        if (!m_started.isValid() || m_started.elapsed() < m_showAfterMs || done >= m_total)
            return true;
        auto* dialog = new QProgressDialog(m_label, u"取消"_s, 0, m_total, m_parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        dialog->setWindowTitle(m_title);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setAutoReset(false);
        dialog->setAutoClose(false);
        dialog->setMinimumDuration(0);
        dialog->setMinimumWidth(360);
        m_dialog = dialog;
        m_shown = true;
        dialog->setValue(done);
        dialog->show();
    }
    m_dialog->setLabelText(u"%1\n%2 / %3"_s.arg(m_label).arg(done).arg(m_total));
    m_dialog->setValue(done);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return m_dialog && !m_dialog->wasCanceled();
}

void BatchProgressDialog::finish()
{
    m_lastTurn.invalidate();
    delete m_dialog.data();
}
