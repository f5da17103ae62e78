#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QTreeWidget;

// The choice of one row of a table (QtDialogs::chooseRow): a prompt over the
// rows, "打开" and "取消"; a double click or Enter opens the row under it.
class RowChoiceDialog : public QDialog {
    Q_OBJECT
public:
    RowChoiceDialog(const QString& title, const QString& prompt, const QStringList& headers,
                    const QList<QStringList>& rows, QWidget* parent = nullptr);

    // The row chosen, -1 when none is.
    int chosen() const;

private:
    QTreeWidget* m_rows = nullptr;
};
