#pragma once

#include <QDialog>
#include <QStringList>

class RichTextBox;

// The help window "Quorrel帮助": the fixed instructions in a read-only box
// that fills the window. Reads and writes nothing.
class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget* parent = nullptr);

    void Form_Load(); // centres the window

    // The help text, one entry per paragraph.
    static QStringList paragraphs();

private:
    RichTextBox* RichTextBox1 = nullptr;
};
