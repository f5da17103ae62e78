#pragma once

#include "Dialogs.h"

#include <QStringList>

#include <deque>
#include <functional>

// Answers modal questions from a script and records every question asked.
// Unscripted questions get the dismissive answer (Cancel / "" / nullopt).
class ScriptedDialogs final : public Dialogs {
public:
    struct Message {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    std::deque<QString> fileNames;
    std::deque<std::optional<QColor>> colors;
    std::deque<std::optional<int>> rowChoices;

    QList<Message> messages;
    QStringList prompts; // "title|prompt" of each input box
    QStringList offered; // the text each input box offered
    // Runs while an input box is up, before it is answered (as the user
    // would take a moment, and the event loop runs meanwhile).
    std::function<void()> whileInputOpen;
    // The same while a message box is up.
    std::function<void()> whileMessageOpen;
    QStringList fileDialogs; // "caption|start folder" of each file or folder dialog
    QStringList fileFilters; // "caption|filter" of each file dialog
    QList<QList<QStringList>> tables; // the rows of each choice offered

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Message& m : messages)
            texts << m.text;
        return texts;
    }

    Answer message(QWidget*, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override
    {
        messages.append({text, title, icon, buttons});
        if (whileMessageOpen)
            whileMessageOpen();
        if (!answers.empty())
            return take(answers);
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    std::optional<QString> inputText(QWidget*, const QString& prompt, const QString& title,
                                     const QString&, const QString& offer) override
    {
        prompts << title + u'|' + prompt;
        offered << offer;
        if (whileInputOpen)
            whileInputOpen();
        return inputs.empty() ? std::nullopt : take(inputs);
    }
    QString openFileName(QWidget*, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        fileFilters << caption + u'|' + filter;
        return nextFileName(caption, dir);
    }
    QString saveFileName(QWidget*, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        fileFilters << caption + u'|' + filter;
        return nextFileName(caption, dir);
    }
    QString existingDirectory(QWidget*, const QString& caption, const QString& dir) override
    {
        return nextFileName(caption, dir);
    }
    std::optional<QColor> color(QWidget*, const QColor&) override
    {
        return colors.empty() ? std::nullopt : take(colors);
    }
    std::optional<int> chooseRow(QWidget*, const QString&, const QString&, const QStringList&,
                                 const QList<QStringList>& rows) override
    {
        tables << rows;
        return rowChoices.empty() ? std::nullopt : take(rowChoices);
    }

private:
    template <typename T>
    static T take(std::deque<T>& queue)
    {
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }
    QString nextFileName(const QString& caption, const QString& dir)
    {
        fileDialogs << caption + u'|' + dir;
        return fileNames.empty() ? QString() : take(fileNames);
    }
};
