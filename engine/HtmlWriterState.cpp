// The HTML page writer's process-wide state, all in one place: the conversion
// job sets it per input file and the writer reads and advances it per page.
#include "engine/HtmlPageWriter.h"

#include <cstdio>
#include <utility>

namespace lumora {

namespace {

struct HtmlWriterState {
    FontClassTable fontClasses;
    bool continuousPageMode = false;
    int32_t pageOffsetX = 0;
    int32_t pageOffsetY = 0;
    MessageHook messageHook;
};

HtmlWriterState &State()
{
    static HtmlWriterState state;
    return state;
}

} // namespace

FontStyle FontStyle::Of(const TextBlock &text)
{
    return FontStyle{text.size, text.face ? text.face : "", text.colour, text.italic, text.bold};
}

int FontClassTable::Find(const TextBlock &text) const
{
    const FontStyle style = FontStyle::Of(text);
    for (size_t i = 0; i < styles_.size(); ++i)
        if (styles_[i] == style)
            return int(i);
    return -1;
}

int FontClassTable::Add(const TextBlock &text)
{
    if (const int found = Find(text); found >= 0)
        return found;
    styles_.push_back(FontStyle::Of(text));
    return int(styles_.size() - 1);
}

FontClassTable &TheFontClassTable() { return State().fontClasses; }

bool ContinuousPageMode() { return State().continuousPageMode; }
void SetContinuousPageMode(bool on) { State().continuousPageMode = on; }

int32_t PageOffsetX() { return State().pageOffsetX; }
int32_t PageOffsetY() { return State().pageOffsetY; }
void SetPageOffsetX(int32_t offset) { State().pageOffsetX = offset; }
void SetPageOffsetY(int32_t offset) { State().pageOffsetY = offset; }

void SetMessageHook(MessageHook hook) { State().messageHook = std::move(hook); }

void ReportToUser(const std::string &message)
{
    if (State().messageHook)
        State().messageHook(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

} // namespace lumora
