// Start-up: the settings' home, the worker, the command line, then the event
// loop for the whole life of the process.
#include "app/CommandLine.h"
#include "app/ConversionJob.h"
#include "app/DialogJobWindow.h"
#include "app/HeadlessJobWindow.h"
#include "app/SettingsStore.h"
#include "app/UsageDialog.h"
#include "engine/HtmlPageWriter.h"

#include <QApplication>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace lumora;
using namespace lumora::app;

bool Exists(const std::string &path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

// A local X display ":N" is reachable through its socket; a display on
// another host is taken as reachable, Qt finds out.
bool X11DisplayReachable()
{
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    const std::string name = display;
    if (name[0] != ':')
        return true;
    const std::string number = name.substr(1, name.find('.') == std::string::npos ? std::string::npos
                                                                                   : name.find('.') - 1);
    return Exists("/tmp/.X11-unix/X" + number);
}

bool WaylandDisplayReachable()
{
    const char *display = std::getenv("WAYLAND_DISPLAY");
    if (!display || !*display)
        return false;
    if (display[0] == '/')
        return Exists(display);
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && Exists(std::string(runtime) + "/" + display);
}

bool HasDisplay() { return X11DisplayReachable() || WaylandDisplayReachable(); }

// Unattended runs must not need a display: Qt then draws off the screen.
bool ChooseOffscreenPlatform(const CommandLineOptions &options)
{
    const bool offscreen = options.runWithoutWindow || !HasDisplay();
    if (offscreen)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return offscreen;
}

int ShowUsage(bool offscreen)
{
    if (offscreen) {
        const std::string usage = UsageText();
        std::fwrite(usage.data(), 1, usage.size(), stderr);
    } else {
        CUsageDlg dialog;
        dialog.exec();
    }
    return 1;
}

// The page writer's "Create file error" goes nowhere under -r, to standard
// error under -m, and to the window otherwise.
void RoutePageWriterMessages(JobWindow &window)
{
    SetMessageHook([&window](const std::string &message) {
        const RunFlags &flags = TheRunFlags();
        if (flags.overwriteWithoutPrompt)
            return;
        if (flags.runWithoutWindow)
            std::fprintf(stderr, "lumora: %s\n", message.c_str());
        else
            window.ShowError(message);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    std::vector<std::string> arguments(argv, argv + argc);
    CommandLineOptions options;
    // Parsing has no effect beyond the options, so it can come before Qt:
    // whether a display is needed depends on -m.
    const bool parsed = ParseOptions(arguments, options);
    const bool offscreen = ChooseOffscreenPlatform(options);

    // Qt sees the program name only: the converter's options are its own.
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QString::fromUtf8(settings::kApplicationName.data(),
                                                       qsizetype(settings::kApplicationName.size())));
    QApplication::setOrganizationName(QString::fromUtf8(settings::kRegistryKey.data(),
                                                        qsizetype(settings::kRegistryKey.size())));
    QApplication::setQuitOnLastWindowClosed(false);

    // Until the main window exists, the program shows no window of its own;
    // on a desktop it still asks and tells in message boxes.
    HeadlessJobWindow headlessWindow;
    DialogJobWindow dialogWindow;
    JobWindow &window = offscreen ? static_cast<JobWindow &>(headlessWindow) : dialogWindow;
    RoutePageWriterMessages(window);
    ConversionJob job(window);
    job.Start();

    if (argc > 1) {
        if (!parsed || options.help)
            return ShowUsage(offscreen);
        ApplyRunFlags(options);
        WriteOptionsToSettings(options);
        TheRunFlags().conversionType = kHtmlSite;
        QueueInputFiles(job, options);
    }
    return application.exec();
}
