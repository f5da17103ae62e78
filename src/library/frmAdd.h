#pragma once

#include "Dialogs.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class RichTextBox;
class frmMain;

// The add-document dialog, always modal over the browser. It opens in add
// mode; the browser turns it into edit mode before showing it (caption
// "编辑文档", its add button captioned "修    改", the check box hidden).
// The mode is told by the caption alone.
class frmAdd : public QDialog {
    Q_OBJECT
public:
    static const QString AddCaption;
    static const QString EditCaption;

    explicit frmAdd(frmMain& browser);

    void Button1_Click(); // adds, or stores the edit
    void Button2_Click(); // closes without storing

    QLineEdit* text1 = nullptr;   // the title
    RichTextBox* text2 = nullptr; // the content
    QCheckBox* Check1 = nullptr;  // 添加多个文档
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

private:
    void addDocument();
    void saveEdit();
    void tell(const QString& text, Dialogs::Icon icon);

    frmMain& m_browser;
};
