// The job's way to the site generator.
#include "app/ConversionJob.h"
#include "app/SiteGenerator.h"

namespace lumora::app {

namespace {

class SiteGeneratorWriter final : public SiteWriter {
public:
    void WriteFrameset(const std::string &folder, const std::string &baseName, int first, int last) override
    {
        site::WriteFrameset(folder, baseName, first, last);
    }
    void AppendHomeLink(const std::string &folder, const std::string &, int, int) override
    {
        site::AppendHomeLink(folder);
    }
    void AppendBookmarkTree(EngineHandle handle, const std::string &folder, const std::string &baseName, int first,
                            int last) override
    {
        site::AppendBookmarkTree(handle, folder, baseName, first, last);
    }
    int FinishCharterPage(const std::string &folder, const std::string &baseName, int width, int height) override
    {
        return site::FinishCharterPage(folder, baseName, width, height);
    }
};

} // namespace

SiteWriter &DefaultSiteWriter()
{
    static SiteGeneratorWriter writer;
    return writer;
}

} // namespace lumora::app
