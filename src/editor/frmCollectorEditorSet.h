#pragma once

#include <QDialog>

class CollectorEditor;
class QCheckBox;
class QGroupBox;
class QPushButton;

// The editor's two options, shown modal from the editor's toolbar. It shows
// the open editor's values (not the settings file's) and, on OK, assigns both
// to the editor and writes both keys.
class frmCollectorEditorSet : public QDialog {
    Q_OBJECT
public:
    explicit frmCollectorEditorSet(CollectorEditor& editor, QWidget* parent = nullptr);

    void Form_Load();
    void Command1_Click(); // OK
    void Command2_Click(); // Cancel

private:
    CollectorEditor& m_editor;
    QGroupBox* Frame1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};
