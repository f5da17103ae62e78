#pragma once

#include <QPlainTextEdit>

// The visible rich-text box. A QPlainTextEdit, since it stays responsive with
// documents of many megabytes; it loads and saves like RichTextBuffer and
// uses the same line-break convention (RichText.h).
class RichTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget* parent = nullptr);

    // On failure the text is left as it was.
    bool LoadFile(const QString& path, QString* error = nullptr);
    bool SaveFile(const QString& path, QString* error = nullptr) const;

    QString Text() const;
    void setText(const QString& text);

    QString SelText() const;
    // Characters before the selection (or the cursor), in units of Text().
    int SelStart() const;
    void Undo();
};
