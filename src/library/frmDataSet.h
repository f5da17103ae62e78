#pragma once

#include <QWidget>

#include <array>

class Dialogs;
class QRadioButton;
class QPushButton;
class RichTextBox;

// The display settings window: the font size and background colour of the
// browser's content box, applied at once and kept nowhere. Top-most and
// modeless; it belongs to its browser and closes with it. It is handed the
// box it changes, so it knows nothing else of the browser.
class frmDataSet : public QWidget {
    Q_OBJECT
public:
    // Option1 … Option5: 最大, 较大, 中等, 较小, 最小.
    static constexpr std::array<int, 5> Sizes{36, 28, 15, 11, 9};

    frmDataSet(QWidget& browser, RichTextBox& content, Dialogs& dialogs);

    // Shows the window and selects the option of the content box's size,
    // when it is exactly one of the five.
    void Form_Load();

    void Option_Click(int index); // 0 for Option1
    void Button3_Click();         // 背景颜色

    // The option matching a font size exactly, -1 for none.
    static int optionOf(qreal points);

private:
    QWidget& m_browser;
    RichTextBox& m_content;
    Dialogs& m_dialogs;
    std::array<QRadioButton*, 5> m_options{};
};
