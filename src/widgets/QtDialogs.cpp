#include "Dialogs.h"

#include "RowChoiceDialog.h"
#include "WindowPlacement.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

Dialogs::Answer QtDialogs::message(QWidget* parent, const QString& text, const QString& title,
                                   Icon icon, Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // Message boxes of a top-most window must not open behind it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    WindowPlacement::keepClearOfOwner(&box, parent);
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Ok: return Answer::Ok;
    default: return Answer::Cancel;
    }
}

std::optional<QString> QtDialogs::inputText(QWidget* parent, const QString& prompt,
                                            const QString& title, const QString& defaultText)
{
    QInputDialog dialog(parent);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    WindowPlacement::keepClearOfOwner(&dialog, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString QtDialogs::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                const QString& filter)
{
    // The filter names show their patterns themselves ("文本文件（*.txt）").
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

QString QtDialogs::existingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

std::optional<QColor> QtDialogs::color(QWidget* parent, const QColor& initial)
{
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

std::optional<int> QtDialogs::chooseRow(QWidget* parent, const QString& title,
                                        const QString& prompt, const QStringList& headers,
                                        const QList<QStringList>& rows)
{
    RowChoiceDialog dialog(title, prompt, headers, rows, parent);
    WindowPlacement::keepClearOfOwner(&dialog, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen() < 0)
        return std::nullopt;
    return dialog.chosen();
}
