// The page picture as a JPEG file: the external encoder beside the executable
// (the IJG reference encoder's command line) reads a temporary BMP file.
#include "engine/HtmlPageWriter.h"

#include "surface/ModulePath.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

extern char **environ;

namespace lumora {

namespace {

constexpr const char *kEncoderName = "jpeg";

class SpawnFileActions {
public:
    SpawnFileActions() { valid_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnFileActions()
    {
        if (valid_)
            posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnFileActions(const SpawnFileActions &) = delete;
    SpawnFileActions &operator=(const SpawnFileActions &) = delete;

    bool Valid() const { return valid_; }
    // The child reads nothing and prints nothing of ours: it runs unseen.
    bool Silence()
    {
        return posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0;
    }
    const posix_spawn_file_actions_t *Get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    bool valid_ = false;
};

// A uniquely named file in the temporary directory that is removed when it
// goes out of scope.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string &suffix)
    {
        std::string pattern = TemporaryDirectory() + "/lumora-page-XXXXXX" + suffix;
        const int fd = ::mkstemps(pattern.data(), int(suffix.size()));
        if (fd < 0)
            return;
        ::close(fd);
        path_ = std::move(pattern);
    }
    ~TemporaryFile()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool Valid() const { return !path_.empty(); }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

bool IsNonEmptyFile(const std::string &path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0;
}

} // namespace

int RunHidden(const std::vector<std::string> &arguments)
{
    if (arguments.empty() || arguments.front().empty())
        return -1;
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnFileActions actions;
    if (!actions.Valid() || !actions.Silence())
        return -1;
    pid_t child = 0;
    if (posix_spawn(&child, argv.front(), actions.Get(), nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> EncoderCommand(const std::string &jpegPath, const std::string &bmpPath, bool grayscale,
                                        int quality)
{
    std::vector<std::string> command{ExecutableDirectory() + kEncoderName, "-outfile", jpegPath};
    if (grayscale)
        command.push_back("-grayscale");
    if (quality >= 1 && quality <= 100) {
        command.push_back("-quality");
        command.push_back(std::to_string(quality));
    }
    command.push_back(bmpPath);
    return command;
}

bool EncodePicture(DrawSurface &picture, const std::string &jpegPath, const PageWriterSettings &settings)
{
    // A temporary name of our own, so that no file beside the page is
    // overwritten or left behind.
    const TemporaryFile bitmap(".bmp");
    if (!bitmap.Valid() || !picture.Save(bitmap.Path(), 24))
        return false;
    const int exitCode =
        RunHidden(EncoderCommand(jpegPath, bitmap.Path(), settings.grayscale, settings.jpegQuality));
    return exitCode == 0 && IsNonEmptyFile(jpegPath);
}

} // namespace lumora
