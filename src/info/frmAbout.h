#pragma once

#include <QDialog>
#include <QStringList>

class QGroupBox;
class QLabel;
class QPushButton;

// The about window "关于本程序": the program's picture, name, version and a
// one-line description, and a button that closes it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    void Form_Load(); // centres the window
    void Button1_Click();

    // The three lines beside the picture, top to bottom.
    static QStringList lines();

private:
    QGroupBox* Frame1 = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* Button1 = nullptr;
};
