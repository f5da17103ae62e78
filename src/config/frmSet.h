#pragma once

#include "AdvancedSettings.h"

#include <QDialog>

#include <functional>

class Dialogs;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

// The advanced settings dialog "高级设置": save mode, save folder, caching,
// automatic naming and the save tip. Shown modal; every opening starts from
// what Set.ini holds, and only OK writes anything.
class frmSet : public QDialog {
    Q_OBJECT
public:
    // `apply` receives the five settings on OK, right after they are written,
    // so the running collector follows them from its next drop on.
    using Apply = std::function<void(const SaveSettings&)>;

    frmSet(Dialogs& dialogs, Apply apply, QWidget* parent = nullptr);

    void Form_Load();                 // centres the dialog and loads the settings
    void LoadSettings();
    void Option6_Click(int index);
    void Command3_Click();            // browse for the folder
    void Command1_Click();            // OK
    void Command2_Click();            // Cancel

    const AdvancedSettings& state() const { return m_state; }

private:
    void build();
    void showState();

    Dialogs& m_dialogs;
    Apply m_apply;
    AdvancedSettings m_state;

    QGroupBox* Frame6 = nullptr;
    QRadioButton* Option6[3] = {};
    QCheckBox* ChkCacheUpdate = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* text1 = nullptr;
    QToolButton* Command3 = nullptr;
    QLabel* Label1 = nullptr;
    QCheckBox* ChkAutoName = nullptr;
    QCheckBox* Check7 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};
