#include "Dialogs.h"

#include "RowChoiceDialog.h"
#include "WindowPlacement.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>

#include <algorithm>

namespace {

// The offered text of an input box: greyed in the empty field, put in by
// Down or Tab; nothing else of the box changes.
class Offer final : public QObject {
public:
    Offer(QLineEdit* field, const QString& text) : QObject(field), m_field(field), m_text(text)
    {
        field->setPlaceholderText(text);
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !m_field->text().isEmpty())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Down && key->key() != Qt::Key_Tab)
            || key->modifiers() != Qt::NoModifier)
            return false;
        m_field->setText(m_text);
        return true;
    }

private:
    QLineEdit* m_field;
    QString m_text;
};

} // namespace

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
                                            const QString& title, const QString& defaultText,
                                            const QString& offered)
{
    QInputDialog dialog(parent);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    if (auto* field = dialog.findChild<QLineEdit*>(); field && !offered.isEmpty())
        new Offer(field, offered);
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
    static const QRegularExpression suffixPattern(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
    const QStringList types = filter.split(QStringLiteral(";;"));
    const auto suffixOf = [](const QString& type) {
        return suffixPattern.match(type.trimmed()).captured(1);
    };
    if (types.size() < 2 || std::any_of(types.cbegin(), types.cend(), [&](const QString& type) {
            return suffixOf(type).isEmpty();
        }))
        return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                            QFileDialog::HideNameFilterDetails);
    // Several file types, each of its own suffix (an export to one of several
    // formats): a name typed without a suffix gets the chosen type's, so the
    // type chosen is the type written.
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(suffixOf(types.first()));
    // The dialog may name the type chosen without its pattern.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& chosen) {
        for (const QString& type : types) {
            if (type == chosen || type.startsWith(chosen + u" ("))
                dialog.setDefaultSuffix(suffixOf(type));
        }
    });
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
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
