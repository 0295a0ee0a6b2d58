#pragma once
// The command line: the option table, its parsing, the write-through of the
// options into the stored settings and the queueing of the named files.
//
// The options persist: they are written into the settings, and the job reads
// them from there exactly as if they had been set in the preference pages.
#include "app/ConversionJob.h"

#include <cstddef>
#include <string>
#include <vector>

namespace lumora::app {

// The targets of the options, with their initial values.
struct CommandLineOptions {
    int firstPage = 0;        // -f
    int lastPage = 100000;    // -l
    int zoom = -1;            // -z
    int continuous = 0;       // -c
    int removePictures = 0;   // -d
    int charSpacing = -1;     // -b
    int jpegQuality = 75;     // -j
    int grayscale = 0;        // -g
    std::string userPassword;  // -u
    std::string ownerPassword; // -w
    int exitAfterConvert = 0;       // -q
    int runWithoutWindow = 0;       // -m
    int overwriteWithoutPrompt = 0; // -r
    std::string inputPath;  // -i
    std::string outputPath; // -o
    int help = 0;           // -h, -?
};

enum class OptionKind { Flag, Integer, Text };

struct OptionSpec {
    const char *name;
    OptionKind kind;
    int CommandLineOptions::*number = nullptr;       // flag and integer targets
    std::string CommandLineOptions::*text = nullptr; // text targets
    // A text keeps at most capacity - 1 bytes; 0 keeps it whole (paths are
    // never cut).
    std::size_t capacity = 0;
    const char *usage = "";
};

const std::vector<OptionSpec> &OptionTable();

// Walks the arguments from the second one. Consumed options and their values
// are removed; anything else stays. False when an integer option lacks an
// integer value or an integer or text option lacks its value.
bool ParseOptions(std::vector<std::string> &arguments, CommandLineOptions &options);

// An optional sign followed only by decimal digits (none at all gives 0).
bool IsIntegerText(const std::string &text);

// The usage text: 23 lines, each ended by a carriage return and a line feed.
std::string UsageText();

// Writes the options into the stored settings, in the order and within the
// ranges the options allow.
void WriteOptionsToSettings(const CommandLineOptions &options);

// Sets the process-wide -q, -m and -r flags.
void ApplyRunFlags(const CommandLineOptions &options);

// The start page a job for pdfPath gets: a folder of its own, named after
// the output's (or else the PDF's) base name, with index.htm inside.
std::string OutputStartPage(const std::string &pdfPath, const std::string &outputPath);

// Queues { pdfPath, its start page }; nothing for an empty path.
void AddJob(ConversionJob &job, const std::string &pdfPath, const std::string &outputPath);

// Appends the regular files in directory whose names match pattern, without
// regard to case, in name order; the number of paths in the list.
int FindPdfFiles(const std::string &directory, const std::string &pattern, std::vector<std::string> &list);

// The input path (-i): one file, or a pattern containing "*.pdf".
void QueueInputFiles(ConversionJob &job, const CommandLineOptions &options);

} // namespace lumora::app
