#include "app/DialogJobWindow.h"

#include "app/SettingsStore.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include <functional>

namespace lumora::app {

namespace {

// Widgets live on the application's thread: the worker's calls are carried
// over and waited for.
void OnApplicationThread(const std::function<void()> &work)
{
    if (QThread::currentThread() == qApp->thread())
        work();
    else
        QMetaObject::invokeMethod(qApp, work, Qt::BlockingQueuedConnection);
}

QString ApplicationName()
{
    return QString::fromUtf8(settings::kApplicationName.data(), qsizetype(settings::kApplicationName.size()));
}

} // namespace

std::string QtFileFilter(const std::string &pipeSeparatedFilter)
{
    // The pieces alternate between a shown name and its pattern; the shown
    // names already carry their patterns, which is all Qt needs.
    std::string filter;
    std::size_t start = 0;
    for (int piece = 0;; ++piece) {
        const std::size_t bar = pipeSeparatedFilter.find('|', start);
        const std::string text = pipeSeparatedFilter.substr(start, bar == std::string::npos ? bar : bar - start);
        if (text.empty())
            break;
        if (piece % 2 == 0)
            filter += (filter.empty() ? "" : ";;") + text;
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return filter;
}

void DialogJobWindow::ShowError(const std::string &message)
{
    OnApplicationThread([&] {
        QMessageBox box(QMessageBox::Warning, ApplicationName(), QString::fromStdString(message), QMessageBox::Ok);
        box.exec();
    });
}

Answer DialogJobWindow::AskOverwrite(const std::string &message)
{
    Answer answer = Answer::Cancel;
    OnApplicationThread([&] {
        QMessageBox box(QMessageBox::Warning, ApplicationName(), QString::fromStdString(message),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        const int pressed = box.exec();
        answer = pressed == QMessageBox::Yes ? Answer::Yes : pressed == QMessageBox::No ? Answer::No : Answer::Cancel;
    });
    return answer;
}

std::optional<std::string> DialogJobWindow::AskSaveAsPath(const SaveAsRequest &request)
{
    std::optional<std::string> chosen;
    OnApplicationThread([&] {
        QFileDialog dialog(nullptr, QString(), QString(), QString::fromStdString(QtFileFilter(request.filter)));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().front().toStdString();
    });
    return chosen;
}

void DialogJobWindow::ShowConversionComplete()
{
    OnApplicationThread([] {
        QMessageBox box(QMessageBox::Warning, "Sitefold software", "Conversion complete!", QMessageBox::Ok);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
    });
}

void DialogJobWindow::OpenWithShell(const std::string &path)
{
    OnApplicationThread([&] { QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))); });
}

} // namespace lumora::app
