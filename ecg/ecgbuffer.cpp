#include "ecgbuffer.h"

#include "debuglog.h"
#include "fileecg.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

constexpr int kSlots = CEcgBuffer::kWindowEntries + CEcgBuffer::kMarginEntries;

// The six leads from I and II, in single precision.
inline void deriveSix(float* out, float i, float ii)
{
    out[0] = i;
    out[1] = ii;
    out[2] = ii - i;
    out[3] = (ii + i) * 0.5f;
    out[4] = i - ii * 0.5f;
    out[5] = ii - i * 0.5f;
}

inline float bitsAsFloat(std::int32_t v)
{
    float f;
    std::memcpy(&f, &v, sizeof(f));
    return f;
}

// The device values of a -101 record as integers again; values no int32 can
// hold (only a damaged file has them) become 0.
inline std::int32_t deviceValue(float v)
{
    return v >= -2147483648.0f && v < 2147483648.0f ? static_cast<std::int32_t>(v) : 0;
}

} // namespace

CEcgBuffer::CEcgBuffer()
    : m_entries(new EcgBufferEntry[kSlots])
{
    m_chainI.init();
    m_chainII.init();
}

CEcgBuffer::~CEcgBuffer()
{
    closeFile();
    delete m_file;
}

void CEcgBuffer::setFileEcg(CFileEcg* file)
{
    if (file == m_file)
        return;
    closeFile();
    delete m_file;
    m_file = file;
}

void CEcgBuffer::setFilterOptions(int mode, bool lowPass)
{
    const bool changed = mode != m_filterMode || lowPass != m_lowPass;
    m_filterMode = mode;
    m_lowPass = lowPass;
    m_thirdOption = false;
    if (changed)
        refilter();
}

bool CEcgBuffer::openFile(const std::string& directory, const std::string& fileName, int fileType)
{
    m_fileName = fileName;
    if (m_fileName.size() > 4 && m_fileName[m_fileName.size() - 4] == '.')
        m_fileName.erase(m_fileName.size() - 4);
    if (m_fileInUse || fileType != kFileTypeEcg)
        return false;

    if (!m_file)
        m_file = new CFileEcg;
    m_typesChanged = false;
    m_fileType = kFileTypeEcg;
    m_fileInUse = m_file->openFileReadWrite(directory + "/" + fileName);
    if (!m_fileInUse) {
        forgetRecords();
        return false;
    }
    m_filterMode = 0;
    m_lowPass = false;
    m_thirdOption = false;
    m_recordCount = m_file->getRecordCount();
    m_windowBase = 0;
    readFileEntries();
    return true;
}

void CEcgBuffer::readFileEntries()
{
    writeBackTypes();

    int slot = kMarginEntries;
    int record = m_windowBase;
    if (m_windowBase > 0) {
        slot = 0;
        record = std::max(0, m_windowBase - kMarginEntries);
        slot = kMarginEntries - (m_windowBase - record);
        std::memset(static_cast<void*>(m_entries.get()), 0, sizeof(EcgBufferEntry) * static_cast<std::size_t>(slot));
    } else {
        std::memset(static_cast<void*>(m_entries.get()), 0, sizeof(EcgBufferEntry) * kMarginEntries);
    }

    const std::int64_t end = std::min<std::int64_t>(m_recordCount, std::int64_t(m_windowBase) + kWindowEntries);
    m_loadedEnd = m_windowBase;
    EcgReadRecord r{};
    for (; record < end; ++record, ++slot) {
        if (!m_file || !m_file->readData(record, r)) {
            debugLogError("CEcgBuffer::readFileEntries() loop ended prematurely due to negative response of readData()");
            break;
        }
        EcgBufferEntry& e = m_entries[static_cast<std::size_t>(slot)];
        std::memset(static_cast<void*>(&e), 0, sizeof(e));
        if (r.type >= 0) {
            deriveSix(e.leads, r.leadI, r.leadII);
            std::memcpy(e.mainsFiltered, e.leads, sizeof(e.leads));
            std::memcpy(e.lowPassFiltered, e.leads, sizeof(e.leads));
            e.extra = r.extra;
            e.carried = static_cast<std::uint32_t>(r.reserved);
        } else if (r.type == ECG_EVENT_DEVICE_INFO) {
            // D, E and F travel as integer bit patterns in float slots.
            e.leads[4] = bitsAsFloat(deviceValue(r.leadII));
            e.leads[5] = bitsAsFloat(r.extra);
            e.mainsFiltered[0] = bitsAsFloat(deviceValue(r.leadI));
        }
        e.type = r.type;
        e.typeChanged = 0;
        if (record >= m_windowBase)
            m_loadedEnd = record + 1;
    }
    m_typesChanged = false;
    refilter();
}

void CEcgBuffer::refilter()
{
    // Nothing loaded, nothing to hand out: the margin is left untouched (it
    // holds nothing yet, and an hour's window costs memory only where used).
    if (m_loadedEnd <= m_windowBase)
        return;
    const int notch = m_filterMode == 1 ? 50 : m_filterMode == 2 ? 60 : 0;
    const int slots = std::max(0, m_loadedEnd - m_windowBase) + kMarginEntries;
    EcgBufferEntry* entries = m_entries.get();

    for (int pass = 0; pass < 2; ++pass) {
        for (EcgFilterChain* c : {&m_chainI, &m_chainII}) {
            c->lowPass = pass == 1 && m_lowPass ? 1 : 0;
            c->highPass = 0;
            c->notch = notch;
            c->reset();
        }
        for (int s = 0; s < slots; ++s) {
            EcgBufferEntry& e = entries[s];
            if (e.type < 0)
                continue;
            const float i = static_cast<float>(m_chainI.process(e.leads[0]));
            const float ii = static_cast<float>(m_chainII.process(e.leads[1]));
            deriveSix(pass == 0 ? e.mainsFiltered : e.lowPassFiltered, i, ii);
        }
    }
}

bool CEcgBuffer::bringIntoWindow(int index)
{
    if (index < 0 || index >= m_recordCount)
        return false;
    if (index < m_windowBase || std::int64_t(index) >= std::int64_t(m_windowBase) + kWindowEntries) {
        // The marks belong to the window loaded now: they are written back
        // before the base moves, and the window stays when that fails.
        if (!writeBackTypes())
            return false;
        m_windowBase = index / kWindowEntries * kWindowEntries;
        readFileEntries();
    }
    // Records the last load could not read are not handed out.
    return index < m_loadedEnd;
}

bool CEcgBuffer::getEntry(int index, bool wantMains, bool wantLowPass, bool wantThird, float leads[6],
                          int& type, std::uint64_t& value)
{
    if (!bringIntoWindow(index))
        return false;
    const EcgBufferEntry& e = entryOf(index);
    type = e.type;
    if (e.type == ECG_EVENT_DEVICE_INFO) {
        value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&e));
        return true;
    }
    const float* set = e.leads;
    if ((wantLowPass && m_lowPass) || (wantThird && m_thirdOption))
        set = e.lowPassFiltered;
    else if (wantMains && m_filterMode != 0)
        set = e.mainsFiltered;
    std::memcpy(leads, set, sizeof(float) * 6);
    value = e.carried;
    return true;
}

bool CEcgBuffer::getEntry(int index, bool wantMains, bool wantLowPass, float leads[6], int& type,
                          std::uint64_t& value)
{
    return getEntry(index, wantMains, wantLowPass, m_thirdOption, leads, type, value);
}

bool CEcgBuffer::setEntryType(int index, int type)
{
    if (m_fileType != kFileTypeEcg || !m_fileInUse || !bringIntoWindow(index))
        return false;
    EcgBufferEntry& e = entryOf(index);
    if (e.type != type) {
        e.type = type;
        e.typeChanged = 1;
        m_typesChanged = true;
    }
    return true;
}

bool CEcgBuffer::writeBackTypes()
{
    if (m_fileType != kFileTypeEcg || !m_typesChanged)
        return true;
    bool ok = m_file != nullptr;
    for (int index = m_windowBase; ok && index < m_loadedEnd; ++index) {
        EcgBufferEntry& e = entryOf(index);
        if (!e.typeChanged)
            continue;
        EcgReadRecord r{};
        r.leadI = e.leads[0];
        r.leadII = e.leads[1];
        r.type = e.type;
        r.extra = e.extra;
        r.reserved = static_cast<std::int32_t>(e.carried);
        if (!m_file->writeData(index, r)) {
            ok = false;
            break;
        }
        e.typeChanged = 0;
    }
    if (!ok) {
        // The marks stay, so a later write-back can try again.
        debugLogError("CEcgBuffer::writeBackTypes() unable to write changed record types");
        return false;
    }
    m_typesChanged = false;
    return true;
}

bool CEcgBuffer::addSample(const EcgStreamSample& sample)
{
    if (!m_file)
        return false;
    const EcgFileRecord r = fileRecordFromStream(sample);
    return m_file->addData(&r, 1);
}

bool CEcgBuffer::finishFile()
{
    bool ok = writeBackTypes();
    ok = m_file != nullptr && m_file->close() && ok;
    m_fileInUse = false;
    forgetRecords();
    return ok;
}

bool CEcgBuffer::closeFile()
{
    if (!m_fileInUse)
        return true;
    bool ok = writeBackTypes();
    ok = m_file->close() && ok; // writes back its own window
    if (!ok)
        debugLogError("CEcgBuffer::closeFile() changed record types of " + m_fileName
                      + " could not all be written");
    delete m_file;
    m_file = nullptr;
    m_fileInUse = false;
    forgetRecords();
    return ok;
}

bool CEcgBuffer::writeThrough()
{
    return m_file != nullptr && m_file->writeThrough();
}

// Once its file is closed, no record of a recording is handed out.
void CEcgBuffer::forgetRecords()
{
    m_recordCount = 0;
    m_loadedEnd = 0;
    m_windowBase = 0;
}

const EcgBufferEntry& CEcgBuffer::entryAtSlot(int slot) const
{
    static const EcgBufferEntry kNoEntry{};
    if (slot < 0 || slot >= kSlots)
        return kNoEntry;
    return m_entries[static_cast<std::size_t>(slot)];
}

int CEcgBuffer::getTotalValidSamples() const
{
    return m_file ? m_file->getTotalValidSamples() : -1;
}

int CEcgBuffer::copyEcgFile(std::string inPath, std::string outPath, bool patchHeader, CFileEcg* file)
{
    std::error_code ec;
    if (std::filesystem::equivalent(inPath, outPath, ec) && !ec) {
        debugLogError("CEcgBuffer::copyEcgFile() refusing to copy " + inPath + " onto itself");
        return CopyOntoItself;
    }
    std::FILE* in = std::fopen(inPath.c_str(), "rb");
    if (!in) {
        debugLogError("CEcgBuffer::copyEcgFile() unable to open input .ecg file " + inPath);
        return CopyInputNotOpened;
    }
    std::int64_t size = -1;
    if (fseeko(in, 0, SEEK_END) == 0)
        size = ftello(in);
    if (size < 0 || size > INT_MAX || fseeko(in, 0, SEEK_SET) != 0) {
        std::fclose(in);
        debugLogError("CEcgBuffer::copyEcgFile() unable to take the size of " + inPath);
        return size > INT_MAX ? CopyTooLarge : CopyReadFailed;
    }
    unsigned char start[CFileEcg::kVersionOffset + 2] = {};
    const std::size_t startLength = std::fread(start, 1, sizeof(start), in);
    const int inVersion = CFileEcg::versionFromStart(start, startLength);
    if (std::fseek(in, 0, SEEK_SET) != 0 || (patchHeader && inVersion > CFileEcg::kWrittenVersion)) {
        std::fclose(in);
        debugLogError("CEcgBuffer::copyEcgFile() no header can be written for " + inPath);
        return CopyHeaderRefused;
    }

    std::unique_ptr<CFileEcg> own;
    if (!file) {
        own = std::make_unique<CFileEcg>();
        file = own.get();
    }
    // A copy is the input byte for byte. Records-only input that is to get a
    // header is put behind a new one, never under it.
    const bool addHeader = patchHeader && inVersion == 0;
    const bool created = addHeader ? file->createFile(outPath) : file->createFileNoHeader(outPath);
    if (!created) {
        std::fclose(in);
        file->close();
        return CopyOutputNotCreated;
    }

    int result = static_cast<int>(size);
    std::vector<unsigned char> block(1 << 16);
    std::int64_t copied = 0;
    while (copied < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size - copied, std::int64_t(block.size())));
        const std::size_t got = std::fread(block.data(), 1, want, in);
        if (got != want) {
            debugLogError("CEcgBuffer::copyEcgFile() unable to read " + inPath);
            result = CopyReadFailed;
            break;
        }
        if (!file->addData(block.data(), static_cast<int>(got))) {
            debugLogError("CEcgBuffer::copyEcgFile() pCFile->addData() unable to write to file");
            result = CopyWriteFailed;
            break;
        }
        copied += static_cast<std::int64_t>(got);
    }
    std::fclose(in);

    if (result >= 0 && patchHeader && !addHeader) {
        // The copied bytes carry the input's header layout.
        file->m_version = inVersion;
        file->m_dataStart = CFileEcg::dataStartOf(inVersion);
        if (!file->patchFileHeader(false))
            result = CopyWriteFailed;
    }
    if (!file->close() && result >= 0) {
        debugLogError("CEcgBuffer::copyEcgFile() unable to close " + outPath);
        result = CopyCloseFailed;
    }
    return result;
}
