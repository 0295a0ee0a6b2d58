// The generated site in a real browser: the site is served from a local HTTP
// server (frames of one origin may script each other, pages from files may
// not) and headless Chromium loads a check page beside it, which drives the
// frames from script and writes its verdict into its own DOM.
#include "app/SiteGenerator.h"

#include "SiteTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace lumora::site {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char *kChromium = "/usr/bin/chromium";

// A child process started from an argument vector; ended and reaped when the
// object goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string> &arguments, const std::string &outputPath)
    {
        std::vector<char *> argv;
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (outputPath + ".err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
            pid_ = pid;
        posix_spawn_file_actions_destroy(&actions);
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess()
    {
        if (!pid_)
            return;
        ::kill(*pid_, SIGKILL);
        ::waitpid(*pid_, nullptr, 0);
    }

    bool Started() const { return pid_.has_value(); }

    // Waits at most `limit` for the process to end by itself.
    bool WaitForExit(std::chrono::milliseconds limit)
    {
        for (auto waited = 0ms; pid_ && waited < limit; waited += 100ms) {
            if (::waitpid(*pid_, nullptr, WNOHANG) == *pid_) {
                pid_.reset();
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        return !pid_;
    }

private:
    std::optional<pid_t> pid_;
};

bool ProgramRuns(const std::string &program, const std::string &output)
{
    ChildProcess probe({program, "--version"}, output);
    return probe.Started() && probe.WaitForExit(10000ms);
}

// A port on 127.0.0.1 that nothing listens on right now.
int FreePort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(socket);
    return port;
}

bool Accepts(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

bool WaitUntilAccepting(int port)
{
    for (int attempt = 0; attempt < 150; ++attempt) {
        if (Accepts(port))
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// A converted page as far as the site cares: it takes the zoom of the top
// frame when it loads, as the page writer's pages do.
std::string SitePage(int n)
{
    return "<html><head><title>pg_000" + std::to_string(n) + "</title></head><body><p id=\"page\">Page " +
           std::to_string(n) +
           "</p><script TYPE=\"text/javascript\">\nvar currentZoom = parent.ltop.currentZoom;\n"
           "if(currentZoom != undefined)\n\tdocument.body.style.zoom=currentZoom/100;\n</script></body></html>\n";
}

// Drives the site in an inner frame, one step after the other, each step
// waiting (a bounded number of polls) for the state it needs.
constexpr const char *kCheckPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Site check</title></head><body>
<div id="result">SITE-CHECK: RUNNING</div>
<iframe id="site" src="index.htm" width="900" height="600"></iframe>
<script>
var site = document.getElementById("site");
function frame(name) { return site.contentWindow.frames[name]; }
function doc(name) { return frame(name).document; }
function shown() { return frame("contents").location.pathname.split("/").pop(); }
function loaded(name) { return doc(name).readyState === "complete"; }
function finish(text) { document.getElementById("result").textContent = "SITE-CHECK: " + text; }
function when(what, test, then, polls) {
  polls = polls || 0;
  var ok = false;
  try { ok = test(); } catch (e) {}
  if (ok) {
    try { then(); } catch (e) { finish("FAIL after " + what + ": " + e); }
    return;
  }
  if (polls > 200) { finish("FAIL waiting for " + what); return; }
  setTimeout(function () { when(what, test, then, polls + 1); }, 50);
}
function pageIs(file) { return function () { return shown() === file && loaded("contents"); }; }

when("the start page", function () {
  return loaded("ltop") && loaded("lbottom") && pageIs("pg_0001.htm")() &&
         doc("lbottom").querySelectorAll("#pages a").length > 0;
}, function () {
  var links = doc("lbottom").querySelectorAll("#pages a");
  if (links.length !== 3 || links[2].getAttribute("href") !== "pg_0003.htm" || links[2].target !== "contents")
    return finish("FAIL page index has " + links.length + " links");
  doc("ltop").getElementById("next").click();
  when("next page", pageIs("pg_0002.htm"), function () {
    doc("ltop").getElementById("zoomIn").click();
    var zoom = doc("contents").body.style.zoom;
    if (frame("ltop").currentZoom !== 110 || Math.abs(parseFloat(zoom) - 1.1) > 1e-6)
      return finish("FAIL zoom in gave " + frame("ltop").currentZoom + " and " + zoom);
    doc("ltop").getElementById("first").click();
    when("first page", pageIs("pg_0001.htm"), function () {
      if (Math.abs(parseFloat(doc("contents").body.style.zoom) - 1.1) > 1e-6)
        return finish("FAIL a page loaded later did not take the zoom");
      frame("lbottom").location.href = "pg_bmark.htm";
      when("the bookmark tree", function () {
        return frame("lbottom").location.pathname.endsWith("pg_bmark.htm") && loaded("lbottom") &&
               doc("lbottom").querySelectorAll("#tree a").length > 0;
      }, function () {
        var tree = doc("lbottom");
        var toggle = tree.querySelector(".folder.closed .toggle");
        if (!toggle) return finish("FAIL no closed folder");
        var folder = toggle.closest(".folder");
        toggle.click();
        if (folder.classList.contains("closed")) return finish("FAIL the folder did not open");
        var leaf = Array.prototype.find.call(tree.querySelectorAll("#tree a"), function (a) {
          return a.textContent === "Leaf <3>";
        });
        if (!leaf) return finish("FAIL no leaf: " + tree.getElementById("tree").textContent);
        var icon = tree.querySelector("#tree img");
        if (!icon.complete || icon.naturalWidth !== 16) return finish("FAIL tree picture not drawn");
        leaf.click();
        when("the bookmarked page", pageIs("pg_0003.htm"), function () { finish("PASS"); });
      });
    });
  });
});
</script></body></html>
)";

class SiteBrowserTest : public sitetest::SiteTest {
protected:
    static fs::path ExecutableFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

    void CopyTemplates()
    {
        for (const auto &entry : fs::directory_iterator(ExecutableFolder())) {
            const std::string name = entry.path().filename().string();
            const std::string extension = entry.path().extension().string();
            if (name.starts_with("pg_") && (extension == ".htm" || extension == ".gif"))
                fs::copy_file(entry.path(), InFolder(name), fs::copy_options::overwrite_existing);
        }
    }

    // Pages 4 to 6 of a six-page document whose outline leads to page 6.
    void WriteSite()
    {
        CopyTemplates();
        lumora::test::PdfBuilder pdf;
        for (int n = 0; n < 6; ++n)
            pdf.AddPage(200, 200);
        pdf.SetOutline({lumora::test::OutlineEntry(
            "Part", lumora::test::Dest::Page(4), {lumora::test::OutlineEntry("Leaf <3>", lumora::test::Dest::Page(6))})});
        pdf.Save(dir_.File("in.pdf"));
        EngineHandle handle = PDF_Open(dir_.File("in.pdf").c_str(), "", "", 72);
        ASSERT_NE(handle, nullptr);
        WriteFrameset(Folder(), "book", 4, 6);
        AppendHomeLink(Folder());
        AppendBookmarkTree(handle, Folder(), "book", 4, 6);
        PDF_Close(handle);
        for (int n = 1; n <= 3; ++n)
            lumora::test::WriteFileBytes(InFolder("pg_000" + std::to_string(n) + ".htm"), SitePage(n));
        lumora::test::WriteFileBytes(InFolder("check.htm"), kCheckPage);
    }
};

TEST_F(SiteBrowserTest, NavigationZoomAndBookmarksWork)
{
    if (!fs::exists(kChromium))
        GTEST_SKIP() << kChromium << " is not installed; the site is not checked in a browser";
    if (!ProgramRuns("python3", dir_.File("probe.log")))
        GTEST_SKIP() << "python3 is not available to serve the site";
    ASSERT_NO_FATAL_FAILURE(WriteSite());
    ASSERT_TRUE(fs::exists(InFolder("pg_nav.htm"))) << "the site templates are not beside the test binary";

    const int port = FreePort();
    ASSERT_NE(port, 0);
    ChildProcess server({"python3", "-m", "http.server", std::to_string(port), "--bind", "127.0.0.1", "--directory",
                         Folder()},
                        dir_.File("server.log"));
    ASSERT_TRUE(server.Started());
    ASSERT_TRUE(WaitUntilAccepting(port)) << lumora::test::ReadFileBytes(dir_.File("server.log.err"));

    const std::string dom = dir_.File("dom.html");
    ChildProcess browser({kChromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                          "--disable-component-update", "--disable-sync", "--no-first-run",
                          "--user-data-dir=" + dir_.File("profile"), "--virtual-time-budget=10000", "--dump-dom",
                          "http://127.0.0.1:" + std::to_string(port) + "/check.htm"},
                         dom);
    ASSERT_TRUE(browser.Started());
    ASSERT_TRUE(browser.WaitForExit(90000ms)) << "the browser did not finish";

    const std::string page = lumora::test::ReadFileBytes(dom);
    const auto verdict = page.find("SITE-CHECK: ");
    ASSERT_NE(verdict, std::string::npos) << page << lumora::test::ReadFileBytes(dom + ".err");
    EXPECT_EQ(page.substr(verdict, page.find('<', verdict) - verdict), "SITE-CHECK: PASS");
}

} // namespace
} // namespace lumora::site
