#include "app/UsageDialog.h"

#include "app/CommandLine.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumora::app {

CUsageDlg::CUsageDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle("Command line usage");
    QFont font("Courier", 10);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);

    auto *usage = new QPlainTextEdit(this); // owned by the dialog
    usage->setReadOnly(true);
    usage->setLineWrapMode(QPlainTextEdit::NoWrap);
    usage->setPlainText(QString::fromStdString(UsageText()).remove('\r'));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(usage);
    layout->addWidget(buttons);
    resize(640, 420);
}

} // namespace lumora::app
