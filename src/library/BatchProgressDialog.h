#pragma once

#include "ImportExport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

// The window's progress for a batch command. A batch that is over within
// about half a second shows nothing; a longer one shows a progress dialog
// (files done of files found) with a cancel button. The dialog is
// application-modal, so while it is up the user can reach nothing but it;
// between two groups of files the event loop runs, so windows repaint and
// the cancel button answers.
class BatchProgressDialog final : public BatchProgress {
public:
    // `showAfterMs` and `turnEveryMs` may be shortened by tests.
    explicit BatchProgressDialog(QWidget* parent, int showAfterMs = 500, int turnEveryMs = 100);
    ~BatchProgressDialog() override;
    BatchProgressDialog(const BatchProgressDialog&) = delete;
    BatchProgressDialog& operator=(const BatchProgressDialog&) = delete;

    void begin(const QString& title, const QString& label, int total) override;
    bool due() override;
    bool update(int done) override;
    void finish() override;

    // The dialog while it is shown, else null.
    QProgressDialog* dialog() const { return m_dialog; }

private:
    QPointer<QWidget> m_parent;
    int m_showAfterMs;
    int m_turnEveryMs;
    QString m_title;
    QString m_label;
    int m_total = 0;
    QElapsedTimer m_started;
    QElapsedTimer m_lastTurn;
    QPointer<QProgressDialog> m_dialog;
    bool m_shown = false;
};
