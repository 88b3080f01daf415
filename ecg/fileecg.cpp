#include "fileecg.h"

#include "debuglog.h"
#include "filesafety.h"
#include "headerlesscheck.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/types.h>

namespace {

const unsigned char kSync[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55};
// One second of records at 500 per second: samples appended at the live rate
// reach the system at least once a second even when no one calls writeThrough.
constexpr std::size_t kAppendBuffer = 500 * sizeof(EcgFileRecord);
// Records appended far faster than that (every waiting one came within the
// last 100 ms: a backlog, the ring flushed at the stop, a copy) are gathered
// into larger writes: the buffer takes 400 records more at a time (0.8 s at
// the live rate, so still none waits a second), up to 256 KiB.
constexpr auto kBurst = std::chrono::milliseconds(100);
constexpr std::size_t kBurstStep = 400 * sizeof(EcgFileRecord);
constexpr std::size_t kAppendBufferMax = std::size_t(1) << 18;

const char* const kGenderTexts[] = {"Other", "Male", "Female", "Male-N", "Female-S", "nospec"};
const char* const kSpeciesTexts[] = {"Unknown", "Equine", "Canine", "Feline", "Other", "Alpaca",
                                     "Avian", "Cow", "Ferret", "Goat", "GuineaPig", "Lizard",
                                     "Llama", "Porcine", "Primate", "Rabbit", "Reptile", "Rodent",
                                     "Sheep", "Small Mammal", "Snake"};
constexpr int kSpeciesCount = sizeof(kSpeciesTexts) / sizeof(kSpeciesTexts[0]);

// Text fields of the patient block: offset within the block and width.
struct TextField {
    int offset;
    int width;
    std::string CQFile::*member;
};
const TextField kPatientFields[] = {
    {0, 60, &CQFile::patientName},      {60, 15, &CQFile::patientBirthdate},
    {105, 60, &CQFile::ownerLastName},  {165, 40, &CQFile::ownerFirstName},
    {205, 60, &CQFile::spareText1},     {265, 15, &CQFile::spareText2},
    {280, 60, &CQFile::spareText3},     {340, 60, &CQFile::spareText4},
    {595, 60, &CQFile::extPatientId},
};
constexpr int kGenderOffset = 75, kGenderWidth = 10;
constexpr int kSpeciesOffset = 85, kSpeciesWidth = 20;
constexpr int kRecordingTextWidth = 20;
constexpr int kDateOffset = 44, kTimeOffset = 56;

bool equalsNoCase(const std::string& a, const char* b)
{
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Writes text zero-padded into a field, at most width - 1 bytes so a zero
// always ends it; a UTF-8 character is never cut in half.
void putText(unsigned char* field, int width, const std::string& text)
{
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(width - 1));
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memset(field, 0, static_cast<std::size_t>(width));
    std::memcpy(field, text.data(), n);
}

std::string getText(const unsigned char* field, int width)
{
    const void* zero = std::memchr(field, 0, static_cast<std::size_t>(width));
    const std::size_t n = zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - field)
                               : static_cast<std::size_t>(width);
    return std::string(reinterpret_cast<const char*>(field), n);
}

bool allDigits(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned daysInMonth(std::int64_t y, unsigned m)
{
    static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

int toInt(const std::string& s, std::size_t pos, std::size_t len)
{
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

} // namespace

CFileEcg::CFileEcg() = default;

CFileEcg::~CFileEcg()
{
    close();
}

int CFileEcg::versionFromStart(const unsigned char* bytes, std::size_t length)
{
    for (int i = 0; i < kSyncLength; ++i) {
        if (static_cast<std::size_t>(i) >= length || bytes[i] != kSync[i])
            return 0;
    }
    if (length < static_cast<std::size_t>(kVersionOffset + 2))
        return 0;
    return (bytes[kVersionOffset] << 8) | bytes[kVersionOffset + 1];
}

std::int64_t CFileEcg::dataStartOf(int version)
{
    if (version == 1)
        return kDataStartV1;
    if (version == 2)
        return kDataStartV2;
    return 0;
}

const char* CFileEcg::genderText(int code)
{
    return code >= 0 && code <= 4 ? kGenderTexts[code] : kGenderTexts[5];
}

int CFileEcg::genderCodeFromText(const std::string& text)
{
    for (int code = 0; code <= 4; ++code) {
        if (equalsNoCase(text, kGenderTexts[code]))
            return code;
    }
    return 5;
}

const char* CFileEcg::speciesName(int code)
{
    return code >= 0 && code < kSpeciesCount ? kSpeciesTexts[code] : "";
}

int CFileEcg::speciesCodeFromText(const std::string& text)
{
    for (int code = 0; code < kSpeciesCount; ++code) {
        if (equalsNoCase(text, kSpeciesTexts[code]))
            return code;
    }
    return 0;
}

std::string CFileEcg::dateTimeTextOf(std::int64_t utcSeconds)
{
    std::int64_t days = utcSeconds / 86400;
    std::int64_t rest = utcSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    if (y < 0 || y > 9999)
        return std::string();
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%04d%02u%02u%02d%02d%02d", static_cast<int>(y), m, d,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return buf;
}

std::int64_t CFileEcg::utcSecondsOf(const std::string& text)
{
    if (text.size() != 14 || !allDigits(text))
        return -1;
    const int y = toInt(text, 0, 4);
    const unsigned mo = static_cast<unsigned>(toInt(text, 4, 2));
    const unsigned d = static_cast<unsigned>(toInt(text, 6, 2));
    const int h = toInt(text, 8, 2), mi = toInt(text, 10, 2), s = toInt(text, 12, 2);
    if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 || mi > 59 || s > 59)
        return -1;
    return daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

// ---------------------------------------------------------------- opening

bool CFileEcg::openFileReadWrite(std::string path)
{
    return openExisting(path, true);
}

bool CFileEcg::openFileReadWriteNoHeader(std::string path)
{
    return openExisting(path, false);
}

bool CFileEcg::openFileReadOnly(std::string path)
{
    return openExisting(path, true, true);
}

bool CFileEcg::openExisting(const std::string& path, bool withHeader, bool readOnly)
{
    bool closed = true;
    closeStreams(closed);
    resetHeaderData();
    m_refusal.clear();

    m_readOnly = readOnly;
    m_rwFile = std::fopen(path.c_str(), readOnly ? "rb" : "r+b");
    if (!m_rwFile && !readOnly && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        // A recording on a read-only medium can still be viewed and copied.
        m_rwFile = std::fopen(path.c_str(), "rb");
        m_readOnly = m_rwFile != nullptr;
    }
    if (!m_rwFile) {
        m_refusal = "It can't be opened: check that it still exists and that you may read it.";
        debugLogError("openFile: unable to open " + path);
        return false;
    }
    m_path = path;

    std::int64_t size = -1;
    if (fseeko(m_rwFile, 0, SEEK_END) == 0)
        size = ftello(m_rwFile);
    if (size < 0)
        return refuseOpen("openFile: unable to open " + path, "It can't be read.");

    if (withHeader) {
        unsigned char start[kVersionOffset + 2] = {};
        std::size_t got = 0;
        readAt(0, start, sizeof(start), &got);
        m_version = versionFromStart(start, got);
        if (m_version > kWrittenVersion) {
            debugLogError("CFileEcg::readHeaderV3() not yet implemented");
            return refuseOpen("openFile: file " + path + " is empty",
                              "It was written in a newer format (version " + toStdString(m_version)
                                  + ") that this program can't read.");
        }
        // Without sync bytes nothing but the records themselves says whether
        // this is a recording at all (shorter than a record, it holds none).
        if (m_version == 0 && size >= static_cast<std::int64_t>(sizeof(EcgFileRecord))
            && !isPlausibleHeaderless(size))
            return refuseOpen("openFile: refusing " + path + " as a recording: " + m_refusal, m_refusal);
        readHeader(path, size);
    } else {
        m_version = 0;
        m_dataStart = 0;
        setRecordCount(size / 16);
    }

    if (m_recordCount <= 0)
        return refuseOpen("openFile: file " + path + " is empty", "It holds no ECG samples.");
    return true;
}

bool CFileEcg::refuseOpen(const std::string& logLine, const std::string& why)
{
    debugLogError(logLine);
    bool closed = true;
    closeStreams(closed);
    resetHeaderData();
    m_refusal = why;
    return false;
}

bool CFileEcg::isPlausibleHeaderless(std::int64_t fileSize)
{
    CHeaderlessCheck check(fileSize);
    std::vector<EcgFileRecord> block(4096);
    const std::size_t blockBytes = block.size() * sizeof(EcgFileRecord);
    for (std::int64_t offset = 0; check.reason().empty() && offset < fileSize;
         offset += static_cast<std::int64_t>(blockBytes)) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(fileSize - offset, static_cast<std::int64_t>(blockBytes)));
        std::size_t got = 0;
        if (!readAt(offset, block.data(), want, &got)) {
            m_refusal = "It can't be read to its end.";
            return false;
        }
        check.add(block.data(), want / sizeof(EcgFileRecord));
    }
    if (!check.finish()) {
        m_refusal = check.reason();
        return false;
    }
    return true;
}

std::string CFileEcg::refusalOf(const std::string& path)
{
    CFileEcg file;
    if (file.openFileReadOnly(path)) {
        file.close();
        return std::string();
    }
    return file.refusal().empty() ? std::string("It can't be read as an ECG recording.") : file.refusal();
}

void CFileEcg::readHeader(const std::string& path, std::int64_t fileSize)
{
    resetHeaderData();
    m_table.clear();
    std::memset(m_patientBlock, 0, sizeof(m_patientBlock));
    std::memset(m_recordingBlock, 0, sizeof(m_recordingBlock));

    // Without sync bytes the file starts with records: there is no patient
    // block to read, only sample bytes.
    if (m_version >= 1) {
        readAt(kPatientBlockOffset, m_patientBlock, sizeof(m_patientBlock));
        for (const TextField& f : kPatientFields)
            this->*f.member = getText(m_patientBlock + f.offset, f.width);
        const std::string gender = getText(m_patientBlock + kGenderOffset, kGenderWidth);
        speciesText = getText(m_patientBlock + kSpeciesOffset, kSpeciesWidth);
        genderCode = genderCodeFromText(gender);
        speciesCode = speciesCodeFromText(speciesText);

        readAt(kRecordingBlockOffset, m_recordingBlock, sizeof(m_recordingBlock));
        recordingText = getText(m_recordingBlock, kRecordingTextWidth);
        std::string date = getText(m_recordingBlock + kDateOffset, 8);
        std::string time = getText(m_recordingBlock + kTimeOffset, 6);
        if (time.size() >= 2 && allDigits(time.substr(0, 2)) && toInt(time, 0, 2) > 23) {
            // Some writers put minutes before hours.
            std::string swapped = time.substr(2, 2) + time.substr(0, 2);
            if (time.size() > 4)
                swapped += time.substr(4);
            time = swapped;
        }
        if (date.empty() && path.size() >= 20 && path.size() <= 530) {
            // Names end in <date 8>_<time 6>.ecg
            date = path.substr(path.size() - 19, 8);
            time = path.substr(path.size() - 10, 6);
        }
        dateTimeText = date + time;
        const std::int64_t t = utcSecondsOf(dateTimeText);
        if (t < 0) {
            dateTimeText.clear();
            recordingTime = 0;
        } else {
            recordingTime = t;
        }

        if (m_version == 2) {
            m_table.assign(static_cast<std::size_t>(kTableEntries) * kTableEntrySize, 0);
            readAt(kTableOffset, m_table.data(), m_table.size());
        }
    }

    m_dataStart = dataStartOf(m_version);
    setRecordCount(fileSize > m_dataStart ? (fileSize - m_dataStart) / 16 : 0);

    m_validCount = m_recordCount;
    if (m_recordCount >= 4) {
        EcgFileRecord fourthFromEnd{};
        if (readAt(m_dataStart + static_cast<std::int64_t>(m_recordCount - 4) * 16, &fourthFromEnd, 16)
            && fourthFromEnd.type == ECG_SAMPLE_LEADIN && m_recordCount > kTrailerRecords)
            m_validCount = m_recordCount - kTrailerRecords;
    }
}

void CFileEcg::setRecordCount(std::int64_t records)
{
    if (records > INT_MAX) {
        debugLogError("openFile: file " + m_path + " holds more records than can be addressed");
        records = 0;
    }
    m_recordCount = static_cast<int>(records);
}

// ---------------------------------------------------------------- creating

// Closes whatever was open and opens path for writing from its start.
bool CFileEcg::startWriting(const std::string& path, int version, const char* operation)
{
    bool closed = true;
    closeStreams(closed);
    // Recordings carry patient and owner names: owner-only from the start.
    m_writeFile = platform::createOwnerOnlyFile(path);
    if (!m_writeFile) {
        debugLogError(std::string("CFileEcg::") + operation + "() unable to create " + path);
        return false;
    }
    startAppending();
    m_path = path;
    m_version = version;
    m_dataStart = dataStartOf(version);
    return true;
}

bool CFileEcg::createFile(std::string path)
{
    if (!startWriting(path, kWrittenVersion, "createFile"))
        return false;
    std::vector<unsigned char> start(static_cast<std::size_t>(kDataStartV2), 0);
    std::memcpy(start.data(), kSync, sizeof(kSync));
    start[kVersionOffset] = 0;
    start[kVersionOffset + 1] = kWrittenVersion;
    bool ok = std::fwrite(start.data(), 1, start.size(), m_writeFile) == start.size();
    ok = ok && patchFileHeader(false);
    ok = ok && fseeko(m_writeFile, kDataStartV2, SEEK_SET) == 0;
    ok = ok && std::fflush(m_writeFile) == 0;
    if (!ok) {
        debugLogError("CFileEcg::createFile() unable to write the header of " + path);
        // No header-less stub is left behind to be taken for a recording
        // (only a plain file; a device stays what it is).
        const bool plainFile = platform::isRegularFile(m_writeFile);
        bool ignored = true;
        closeStreams(ignored);
        if (plainFile)
            std::remove(path.c_str());
        return false;
    }
    return true;
}

bool CFileEcg::createFileNoHeader(std::string path)
{
    return startWriting(path, 0, "createFileNoHeader");
}

void CFileEcg::buildPatientBlock(unsigned char* block) const
{
    std::memset(block, 0, kPatientBlockSize);
    for (const TextField& f : kPatientFields)
        putText(block + f.offset, f.width, this->*f.member);
    putText(block + kGenderOffset, kGenderWidth, genderText(genderCode));
    putText(block + kSpeciesOffset, kSpeciesWidth, speciesName(speciesCode));
}

void CFileEcg::buildRecordingBlock(unsigned char* block) const
{
    std::memset(block, 0, kRecordingBlockSize);
    putText(block, kRecordingTextWidth, recordingText);
    if (recordingTime != 0) {
        const std::string text = dateTimeTextOf(recordingTime);
        if (text.size() == 14) {
            std::memcpy(block + kDateOffset, text.data(), 8);
            std::memcpy(block + kTimeOffset, text.data() + 8, 6);
        }
    }
}

bool CFileEcg::patchFileHeader(bool onReadWriteFile)
{
    std::FILE* f = onReadWriteFile ? m_rwFile : m_writeFile;
    if (!f) {
        debugLogError("CFileEcg::patchFileHeader() no file open to write the header to");
        return false;
    }
    if (onReadWriteFile && m_readOnly) {
        debugLogError("CFileEcg::patchFileHeader() " + m_path + " is read-only");
        return false;
    }
    if (m_version != 1 && m_version != 2) {
        // Without sync bytes the header area holds sample records.
        debugLogError("CFileEcg::patchFileHeader() " + m_path
                      + " has no header (version " + toStdString(m_version)
                      + "), refusing to write one over its records");
        return false;
    }

    unsigned char patient[kPatientBlockSize];
    unsigned char recording[kRecordingBlockSize];
    buildPatientBlock(patient);
    buildRecordingBlock(recording);

    // The header is written in place; a recording being appended continues
    // where it stood.
    bool ok = onReadWriteFile || flushPending();
    const std::int64_t position = ftello(f);
    ok = ok && position >= 0;
    ok = ok && writeAt(f, kPatientBlockOffset, patient, sizeof(patient));
    ok = ok && writeAt(f, kRecordingBlockOffset, recording, sizeof(recording));
    ok = ok && std::fflush(f) == 0;
    ok = ok && fseeko(f, position, SEEK_SET) == 0;
    if (!ok)
        debugLogError("CFileEcg::patchFileHeader() unable to write the header of " + m_path);
    return ok;
}

// Appends go through one buffer of our own (the stream itself is unbuffered),
// so a write error shows in the addData call whose flush met it.
void CFileEcg::startAppending()
{
    std::setvbuf(m_writeFile, nullptr, _IONBF, 0);
    m_pending.resize(kAppendBufferMax);
    m_pendingEnd = m_pending.data();
    m_appendLimit = kAppendBuffer;
    m_handedOverAt = std::chrono::steady_clock::now();
    m_writeFailed = false;
    openRoom();
}

// The inline single-record path may fill whole records up to the end of the
// buffer, and none once a write failed or the count has reached its limit;
// every change of the file, the buffer, the failure or the count calls this.
void CFileEcg::openRoom()
{
    m_roomEnd = m_pendingEnd;
    if (!m_writeFile || m_writeFailed || !m_pendingEnd || m_recordCount < 0)
        return;
    const std::size_t records = std::min<std::size_t>((m_appendLimit - pendingBytes()) / sizeof(EcgFileRecord),
                                                      static_cast<std::size_t>(INT_MAX - m_recordCount));
    m_roomEnd = m_pendingEnd + records * sizeof(EcgFileRecord);
}

bool CFileEcg::flushPending()
{
    m_pendingWaiting = false;
    const std::size_t n = pendingBytes();
    if (n > 0 && !m_writeFailed) {
        m_writeFailed = std::fwrite(m_pending.data(), 1, n, m_writeFile) != n;
        if (m_writeFailed)
            dropPartialRecord();
    }
    if (m_pendingEnd)
        m_pendingEnd = m_pending.data();
    m_appendLimit = kAppendBuffer;
    m_handedOverAt = std::chrono::steady_clock::now();
    openRoom();
    return !m_writeFailed;
}

// A burst: every waiting record came since the last hand-over, less than
// kBurst ago, so the buffer may take another step before it is written.
bool CFileEcg::growForBurst(std::size_t n)
{
    const std::size_t limit = m_appendLimit + kBurstStep;
    if (limit > m_pending.size() || pendingBytes() + n > limit
        || std::chrono::steady_clock::now() - m_handedOverAt >= kBurst)
        return false;
    m_appendLimit = limit;
    return true;
}

bool CFileEcg::append(const void* bytes, std::size_t n)
{
    if (m_writeFailed)
        return false;
    if (pendingBytes() + n > m_appendLimit && !growForBurst(n) && !flushPending())
        return false;
    if (n >= m_appendLimit) {
        m_writeFailed = std::fwrite(bytes, 1, n, m_writeFile) != n;
        if (m_writeFailed)
            dropPartialRecord();
        openRoom();
        return !m_writeFailed;
    }
    if (n > 0) {
        std::memcpy(m_pendingEnd, bytes, n);
        m_pendingEnd += n;
    }
    openRoom();
    return true;
}

// After a failed write the file ends with whole records only, so its size
// tells how many reached the disk.
void CFileEcg::dropPartialRecord()
{
    const std::int64_t end = ftello(m_writeFile);
    if (end < m_dataStart)
        return;
    const std::int64_t whole = m_dataStart + (end - m_dataStart) / 16 * 16;
    if (whole != end && platform::truncateFile(m_writeFile, whole))
        fseeko(m_writeFile, whole, SEEK_SET);
    debugLogError("CFileEcg: unable to write to " + m_path + " after "
                  + toStdString(static_cast<long long>((whole - m_dataStart) / 16)) + " records");
}

bool CFileEcg::writeThrough()
{
    if (!m_writeFile || m_writeFailed)
        return false;
    const std::size_t n = pendingBytes();
    if (n == 0)
        return true;
    // One system call per page or per half second, not per tick: the cost
    // of a plain buffered write, and nothing waits as long as a second.
    const auto now = std::chrono::steady_clock::now();
    if (!m_pendingWaiting) {
        m_pendingWaiting = true;
        m_pendingSince = now;
    }
    if (n < kWriteThroughBytes && now - m_pendingSince < std::chrono::milliseconds(kWriteThroughMs))
        return true;
    return flushPending();
}

bool CFileEcg::retypeLastRecords(int count, int fromType, int toType)
{
    if (!m_writeFile || m_writeFailed || count < 0 || !flushPending())
        return false;
    const int n = std::min(count, m_recordCount);
    if (n == 0)
        return true;
    std::vector<EcgFileRecord> tail(static_cast<std::size_t>(n));
    const std::int64_t offset = m_dataStart + static_cast<std::int64_t>(m_recordCount - n) * 16;
    const std::size_t bytes = tail.size() * sizeof(EcgFileRecord);
    if (fseeko(m_writeFile, offset, SEEK_SET) != 0
        || std::fread(tail.data(), 1, bytes, m_writeFile) != bytes) {
        debugLogError("CFileEcg::retypeLastRecords() unable to read back the end of " + m_path);
        std::clearerr(m_writeFile);
        fseeko(m_writeFile, 0, SEEK_END);
        return false;
    }
    bool changed = false;
    for (EcgFileRecord& r : tail) {
        if (r.type == fromType) {
            r.type = static_cast<std::int16_t>(toType);
            changed = true;
        }
    }
    if (changed) {
        // Back in front of the records just read: a read and a write meet only
        // through a positioning call.
        m_writeFailed = fseeko(m_writeFile, offset, SEEK_SET) != 0
                        || std::fwrite(tail.data(), 1, bytes, m_writeFile) != bytes;
    }
    if (fseeko(m_writeFile, 0, SEEK_END) != 0)
        m_writeFailed = true;
    if (m_writeFailed)
        debugLogError("CFileEcg::retypeLastRecords() unable to rewrite the end of " + m_path);
    openRoom();
    return !m_writeFailed;
}

bool CFileEcg::addData(const unsigned char* bytes, int length)
{
    if (!m_writeFile || length < 0 || (length > 0 && !bytes))
        return false;
    return append(bytes, static_cast<std::size_t>(length));
}

bool CFileEcg::appendRecords(const EcgFileRecord* records, int count)
{
    if (!m_writeFile || count < 0 || (count > 0 && !records))
        return false;
    if (!append(records, static_cast<std::size_t>(count) * sizeof(EcgFileRecord)))
        return false;
    countAppended(count);
    openRoom();
    return true;
}

// ---------------------------------------------------------------- records

bool CFileEcg::readAt(std::int64_t offset, void* buffer, std::size_t length, std::size_t* got)
{
    if (got)
        *got = 0;
    if (!m_rwFile || fseeko(m_rwFile, offset, SEEK_SET) != 0)
        return false;
    const std::size_t n = std::fread(buffer, 1, length, m_rwFile);
    if (got)
        *got = n;
    if (n < length)
        std::memset(static_cast<unsigned char*>(buffer) + n, 0, length - n);
    return n == length;
}

bool CFileEcg::writeAt(std::FILE* f, std::int64_t offset, const void* buffer, std::size_t length)
{
    return fseeko(f, offset, SEEK_SET) == 0 && std::fwrite(buffer, 1, length, f) == length;
}

bool CFileEcg::loadWindow(int start)
{
    if (!writeBackWindow())
        return false;
    if (m_window.empty())
        m_window.resize(kWindowRecords);
    const int wanted = std::min(m_recordCount - start, static_cast<int>(kWindowRecords));
    std::size_t got = 0;
    readAt(m_dataStart + static_cast<std::int64_t>(start) * 16, m_window.data(),
           static_cast<std::size_t>(wanted) * sizeof(EcgFileRecord), &got);
    m_windowBase = start;
    m_windowCount = static_cast<int>(got / sizeof(EcgFileRecord));
    if (m_windowCount < wanted)
        debugLogError("CFileEcg: " + m_path + " ended early: read " + toStdString(m_windowCount)
                      + " of " + toStdString(wanted) + " records from record " + toStdString(start));
    return m_windowCount > 0;
}

bool CFileEcg::ensureWindow(int index)
{
    if (!m_rwFile || index < 0 || index >= m_recordCount)
        return false;
    if (index >= m_windowBase && index < m_windowBase + m_windowCount)
        return true;
    return loadWindow(index);
}

bool CFileEcg::writeBackWindow()
{
    if (!m_windowDirty)
        return true;
    const std::size_t bytes = static_cast<std::size_t>(m_windowCount) * sizeof(EcgFileRecord);
    const bool ok = m_rwFile
        && writeAt(m_rwFile, m_dataStart + static_cast<std::int64_t>(m_windowBase) * 16, m_window.data(), bytes)
        && std::fflush(m_rwFile) == 0;
    if (!ok) {
        debugLogError("CFileEcg: unable to write changed record types back to " + m_path);
        return false;
    }
    m_windowDirty = false;
    return true;
}

bool CFileEcg::readOutsideWindow(int index, EcgReadRecord& out)
{
    if (!ensureWindow(index))
        return false;
    out = readRecordFromFile(m_window[static_cast<std::size_t>(index - m_windowBase)]);
    return true;
}

bool CFileEcg::writeData(int index, const EcgReadRecord& record)
{
    if (m_readOnly) {
        debugLogError("CFileEcg::writeData() " + m_path + " is read-only");
        return false;
    }
    if (!ensureWindow(index))
        return false;
    EcgFileRecord& stored = m_window[static_cast<std::size_t>(index - m_windowBase)];
    const auto type = static_cast<std::int16_t>(static_cast<std::uint16_t>(record.type & 0xFFFF));
    const auto extra = static_cast<std::int16_t>(static_cast<std::uint16_t>(record.extra & 0xFFFF));
    if (stored.type != type || stored.extra != extra) {
        stored.type = type;
        stored.extra = extra;
        m_windowDirty = true;
    }
    return true;
}

const EcgFileRecord* CFileEcg::retDataSet(int index, int& count)
{
    count = 0;
    if (!m_rwFile || index < 0 || index >= m_recordCount || !loadWindow(index))
        return nullptr;
    count = m_windowCount;
    return m_window.data();
}

int CFileEcg::getTotalValidSamples()
{
    return m_validCount;
}

// ---------------------------------------------------------------- closing

void CFileEcg::closeStreams(bool& ok)
{
    if (m_rwFile) {
        ok = writeBackWindow() && ok;
        ok = std::fclose(m_rwFile) == 0 && ok;
        m_rwFile = nullptr;
    }
    if (m_writeFile) {
        ok = flushPending() && ok;
        ok = !std::ferror(m_writeFile) && ok;
        // A finished file is on the disk before anything (a row) names it.
        ok = platform::syncFile(m_writeFile) && ok;
        ok = std::fclose(m_writeFile) == 0 && ok;
        m_writeFile = nullptr;
    }
    m_pendingEnd = nullptr;
    m_roomEnd = nullptr;
    m_readOnly = false;
    m_version = 0;
    m_dataStart = 0;
    m_recordCount = 0;
    m_validCount = -1;
    m_windowBase = 0;
    m_windowCount = 0;
    m_windowDirty = false;
}

bool CFileEcg::close()
{
    bool ok = true;
    const bool wasOpen = isOpen();
    closeStreams(ok);
    if (wasOpen && !ok)
        debugLogError("CFileEcg::close() " + m_path + " was not closed cleanly");
    resetHeaderData();
    return ok;
}

void CFileEcg::resetHeaderData()
{
    clearHeaderTexts();
    recordingTime = 0;
    genderCode = 0;
    speciesCode = 0;
}
