#pragma once
// The job's window side when there is no window to show: progress is not
// shown, messages go to standard error one line each, and questions that
// nobody can answer are answered in the way that loses nothing.
#include "app/ConversionJob.h"

#include <cstdio>

namespace lumora::app {

class HeadlessJobWindow : public JobWindow {
public:
    explicit HeadlessJobWindow(std::FILE *messages = stderr) : messages_(messages) {}

    void SetInfoText(InfoText, const std::string &) override {}
    void SetProgress(ProgressBar, int) override {}
    void SetStopButtonText(const std::string &) override {}
    void EnablePause(bool) override {}
    void ShowError(const std::string &message) override;
    // Cancel: the existing output stays and the file is skipped.
    Answer AskOverwrite(const std::string &message) override;
    std::optional<std::string> AskSaveAsPath(const SaveAsRequest &) override { return std::nullopt; }
    void ShowConversionComplete() override;
    // Nothing to open a page with.
    void OpenWithShell(const std::string &) override {}

private:
    std::FILE *messages_;
};

} // namespace lumora::app
