#include "engine/PageHead.h"

#include "surface/TextEncoding.h"

namespace lumora {

std::string SavedFromComment()
{
    return "<!-- saved from url=(0052)" + std::string(kSavedFromAddress) + " -->";
}

std::string PageHeadLines()
{
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n" + SavedFromComment() + "\n";
}

std::string_view CharsetMeta()
{
    return "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
}

std::string HeadStart(std::string_view lineBreak)
{
    std::string head = "<html>";
    head += lineBreak;
    head += "<head>";
    head += lineBreak;
    head += CharsetMeta();
    head += lineBreak;
    return head;
}

std::string TitleElement(std::string_view title)
{
    return "<title>" + EscapeMarkup(std::string(title), true) + "</title>";
}

} // namespace lumora
