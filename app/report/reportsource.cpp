#include "reportsource.h"

#include "ecgbuffer.h"
#include "ecgrecords.h"
#include "fileecg.h"

CReportSource::~CReportSource() = default;

namespace {

class BufferSource final : public CReportSource
{
public:
    BufferSource(CEcgBuffer& buffer, const CFileEcg& file) : m_buffer(buffer), m_file(file) {}
    int count() const override { return m_buffer.getRecordCount(); }
    bool entry(int index, float leads[6], int& type) override
    {
        std::uint64_t value = 0;
        // The report prints the signal as recorded: no display filter.
        return m_buffer.getEntry(index, false, false, false, leads, type, value);
    }
    const CFileEcg& header() const override { return m_file; }

private:
    CEcgBuffer& m_buffer;
    const CFileEcg& m_file;
};

class FileSource final : public CReportSource
{
public:
    int count() const override { return m_file.getRecordCount(); }
    bool entry(int index, float leads[6], int& type) override
    {
        EcgReadRecord r{};
        if (index < 0 || index >= m_file.getRecordCount() || !m_file.readData(index, r))
            return false;
        type = r.type;
        if (r.type >= 0) {
            // The same six leads the recording buffer derives.
            leads[0] = r.leadI;
            leads[1] = r.leadII;
            leads[2] = r.leadII - r.leadI;
            leads[3] = (r.leadII + r.leadI) * 0.5f;
            leads[4] = r.leadI - r.leadII * 0.5f;
            leads[5] = r.leadII - r.leadI * 0.5f;
        }
        return true;
    }
    const CFileEcg& header() const override { return m_file; }

    CFileEcg m_file;
};

} // namespace

std::unique_ptr<CReportSource> reportSourceOfBuffer(CEcgBuffer& buffer)
{
    const CFileEcg* file = buffer.getFileEcg();
    if (!buffer.isFileInUse() || !file || buffer.getRecordCount() <= 0)
        return nullptr;
    return std::make_unique<BufferSource>(buffer, *file);
}

std::unique_ptr<CReportSource> reportSourceOfFile(const std::string& path, std::string* reason)
{
    auto source = std::make_unique<FileSource>();
    if (!source->m_file.openFileReadWrite(path) || source->m_file.getRecordCount() <= 0) {
        if (reason)
            *reason = "cannot read the recording " + path;
        return nullptr;
    }
    return source;
}

int measureLeadIn(CReportSource& source)
{
    float leads[6] = {};
    int type = 0;
    int k = 5;
    for (; k <= 2499; ++k) {
        if (!source.entry(k, leads, type) || type != ECG_SAMPLE_LEADIN)
            break;
    }
    if (k > 2499)
        return 2501;
    return k <= 9 ? 0 : k + 2;
}
