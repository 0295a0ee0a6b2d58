#pragma once
// The job's window side on a desktop, until the main window takes it over:
// progress is not shown, but the message boxes, the overwrite question and
// the Save As dialog are, on the application's own thread (the job calls
// from its worker and waits for the answer).
#include "app/ConversionJob.h"

namespace lumora::app {

class DialogJobWindow : public JobWindow {
public:
    void SetInfoText(InfoText, const std::string &) override {}
    void SetProgress(ProgressBar, int) override {}
    void SetStopButtonText(const std::string &) override {}
    void EnablePause(bool) override {}
    void ShowError(const std::string &message) override;
    Answer AskOverwrite(const std::string &message) override;
    std::optional<std::string> AskSaveAsPath(const SaveAsRequest &request) override;
    void ShowConversionComplete() override;
    void OpenWithShell(const std::string &path) override;
};

// "Name (*.X)|*.X|All Files (*.*)|*.*||" as Qt's "Name (*.X);;All Files (*.*)".
std::string QtFileFilter(const std::string &pipeSeparatedFilter);

} // namespace lumora::app
