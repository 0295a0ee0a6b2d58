#pragma once
// "Command line usage": the usage text in a read-only box with an OK button.
#include <QDialog>

namespace lumora::app {

class CUsageDlg : public QDialog {
public:
    explicit CUsageDlg(QWidget *parent = nullptr);
};

} // namespace lumora::app
