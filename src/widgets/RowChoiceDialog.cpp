#include "RowChoiceDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

RowChoiceDialog::RowChoiceDialog(const QString& title, const QString& prompt,
                                 const QStringList& headers, const QList<QStringList>& rows,
                                 QWidget* parent)
    : QDialog(parent), m_rows(new QTreeWidget(this))
{
    setObjectName(u"RowChoiceDialog"_s);
    setWindowTitle(title);
    setWindowFlag(Qt::WindowStaysOnTopHint, true); // like the message boxes
    auto* label = new QLabel(prompt, this);
    label->setWordWrap(true);

    m_rows->setObjectName(u"rows"_s);
    m_rows->setRootIsDecorated(false);
    m_rows->setUniformRowHeights(true);
    m_rows->setAllColumnsShowFocus(true);
    m_rows->setHeaderLabels(headers);
    for (const QStringList& row : rows)
        m_rows->addTopLevelItem(new QTreeWidgetItem(row));
    for (int c = 0; c < headers.size(); ++c)
        m_rows->resizeColumnToContents(c);
    if (!rows.isEmpty())
        m_rows->setCurrentItem(m_rows->topLevelItem(0));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* open = buttons->addButton(u"打开"_s, QDialogButtonBox::AcceptRole);
    buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    open->setDefault(true);
    open->setEnabled(!rows.isEmpty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_rows, &QTreeWidget::itemActivated, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_rows, 1);
    layout->addWidget(buttons);
    // Wide enough for the time, size and reason side by side; a window
    // manager may otherwise give the word-wrapped prompt its narrowest width.
    setMinimumWidth(480);
    resize(480, 320);
}

int RowChoiceDialog::chosen() const
{
    QTreeWidgetItem* item = m_rows->currentItem();
    return item ? m_rows->indexOfTopLevelItem(item) : -1;
}
