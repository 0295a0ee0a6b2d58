#include "app/HeadlessJobWindow.h"

namespace lumora::app {

void HeadlessJobWindow::ShowError(const std::string &message) { std::fprintf(messages_, "lumora: %s\n", message.c_str()); }

Answer HeadlessJobWindow::AskOverwrite(const std::string &message)
{
    std::fprintf(messages_, "lumora: %s Skipped: no display to ask on (-r overwrites).\n", message.c_str());
    return Answer::Cancel;
}

void HeadlessJobWindow::ShowConversionComplete() { std::fprintf(messages_, "lumora: Conversion complete!\n"); }

} // namespace lumora::app
