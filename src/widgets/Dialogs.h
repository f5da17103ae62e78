#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every modal question the program asks goes through this interface, so tests
// answer it with scripted replies instead of blocking in a modal loop.
class Dialogs {
public:
    enum class Icon { None, Information, Question, Warning, Critical };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Dialogs() = default;

    virtual Answer message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                           Buttons buttons = Buttons::Ok) = 0;
    // nullopt when cancelled; the typed text (maybe "") on OK. `offered`,
    // when given, shows greyed in the empty field; Down or Tab puts it in.
    virtual std::optional<QString> inputText(QWidget* parent, const QString& prompt,
                                             const QString& title,
                                             const QString& defaultText = {},
                                             const QString& offered = {}) = 0;
    // "" when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    // Filters in Qt's form; a save dialog shows only the names, before "(".
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString existingDirectory(QWidget* parent, const QString& caption,
                                      const QString& dir) = 0;
    // nullopt when cancelled.
    virtual std::optional<QColor> color(QWidget* parent, const QColor& initial) = 0;
    // One of the rows of a table (a text per column); nullopt when cancelled,
    // as by a Dialogs that offers no choices.
    virtual std::optional<int> chooseRow(QWidget* /*parent*/, const QString& /*title*/,
                                         const QString& /*prompt*/,
                                         const QStringList& /*headers*/,
                                         const QList<QStringList>& /*rows*/)
    {
        return std::nullopt;
    }
};

// The real dialogs: QMessageBox, QInputDialog, QFileDialog, QColorDialog.
class QtDialogs final : public Dialogs {
public:
    Answer message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override;
    std::optional<QString> inputText(QWidget* parent, const QString& prompt, const QString& title,
                                     const QString& defaultText, const QString& offered) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString existingDirectory(QWidget* parent, const QString& caption,
                              const QString& dir) override;
    std::optional<QColor> color(QWidget* parent, const QColor& initial) override;
    std::optional<int> chooseRow(QWidget* parent, const QString& title, const QString& prompt,
                                 const QStringList& headers,
                                 const QList<QStringList>& rows) override;
};
