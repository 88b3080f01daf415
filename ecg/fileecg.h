#ifndef MALVORANT_FILEECG_H
#define MALVORANT_FILEECG_H

#include "qfile.h"

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class CEcgBuffer;

// Reader and writer of one .ecg recording: a fixed header (sync bytes,
// version, patient block, recording block) followed by 16-byte
// EcgFileRecords, 500 per second, to the end of the file.
//
// One file at a time: opening or creating a file closes the previous one.
// Open files are read through a window of up to 300,000 records; record type
// changes stay in the window until it moves or the file is closed.
class CFileEcg final : public CQFile
{
public:
    // Layout of the file, offsets from its start.
    static constexpr int kSyncLength = 8;
    static constexpr int kVersionOffset = 8;
    static constexpr int kPatientBlockOffset = 10;
    static constexpr int kPatientBlockSize = 655;
    static constexpr int kRecordingBlockOffset = 671;
    static constexpr int kRecordingBlockSize = 92;
    static constexpr int kTableOffset = 10000;
    static constexpr int kTableEntries = 200;
    static constexpr int kTableEntrySize = 456;
    static constexpr int kDataStartV1 = 1000;
    static constexpr int kDataStartV2 = 110000;
    static constexpr int kWrittenVersion = 2;
    static constexpr int kWindowRecords = 300000;
    // Trailer rule: a recording stopped by the user ends with records flushed
    // from the lead-in ring; they are not counted as valid.
    static constexpr int kTrailerRecords = 1250;

    CFileEcg();
    ~CFileEcg() override;

    bool openFileReadWrite(std::string path) override;
    bool openFileReadWriteNoHeader(std::string path) override;
    // Opens an existing recording for reading only (conversions never change it).
    bool openFileReadOnly(std::string path);
    // Why the last open refused the file, in words for the user; empty after
    // an open that succeeded. A file without sync bytes is taken as an old
    // records-only recording only when its records are plausibly one.
    const std::string& refusal() const { return m_refusal; }
    // The refusal of opening the file at path for reading; empty when it
    // opens as a recording.
    static std::string refusalOf(const std::string& path);
    bool createFile(std::string path) override;
    bool patchFileHeader(bool onReadWriteFile) override;
    bool createFileNoHeader(std::string path) override;
    // Fails for an index outside 0 .. record count - 1 or when the read fails.
    // Reading through a recording calls it once per record: a record of the
    // loaded window is converted inline, only a window change leaves it.
    bool readData(int index, EcgReadRecord& out) override
    {
        // Within the loaded window (a window is only ever loaded while a file
        // is open and below its record count).
        const unsigned offset = static_cast<unsigned>(index) - static_cast<unsigned>(m_windowBase);
        if (offset >= static_cast<unsigned>(m_windowCount))
            return readOutsideWindow(index, out);
        out = readRecordFromFile(m_window[offset]);
        return true;
    }
    // Stores a new type and extra word (low 16 bits each) for the record;
    // leads are never changed. Fails outside 0 .. record count - 1 and on a
    // file opened read-only.
    bool writeData(int index, const EcgReadRecord& record) override;
    bool addData(const unsigned char* bytes, int length) override;
    bool addData(const EcgFileRecord* records, int count) override
    {
        // The recorder's case, one record into the append buffer, stays
        // inline: one room check stands for the open file, the failed write
        // and the count limit (see openRoom).
        if (count == 1 && records
            && m_roomEnd - m_pendingEnd >= static_cast<std::ptrdiff_t>(sizeof(EcgFileRecord))) {
            std::memcpy(m_pendingEnd, records, sizeof(EcgFileRecord));
            m_pendingEnd += sizeof(EcgFileRecord);
            ++m_recordCount;
            return true;
        }
        return appendRecords(records, count);
    }
    // The recorder calls it each tick: appended records go to the system
    // once a page's worth waits or the first of them waited half a second,
    // so none waits in the program for as long as a second. False once a
    // write failed.
    bool writeThrough();
    // On the file being created: of its last count records (all of them when
    // it holds fewer), those of type fromType take type toType, rewritten in
    // place with one write. The recorder marks its trailer this way when it
    // stops. False when the records could not be read back or written; a
    // failed write is a failed write of the file.
    bool retypeLastRecords(int count, int fromType, int toType);
    static constexpr std::size_t kWriteThroughBytes = 4096;
    static constexpr int kWriteThroughMs = 500;
    // Records handed to the system so far (the rest wait in the program).
    int recordsWritten() const
    {
        return m_recordCount - static_cast<int>(pendingBytes() / sizeof(EcgFileRecord));
    }
    bool hasWriteFailed() const { return m_writeFailed; }
    // Ends the file: a created one is written out and synced to the disk.
    bool close() override;
    // Puts changed record types of the open file onto the disk now, so that
    // another reader of the file sees them.
    bool writeBackChanges() { return writeBackWindow(); }
    // Clears the header fields only; pending record changes stay pending.
    void resetHeaderData() override;
    int getTotalValidSamples() override;
    // Loads the window starting at the index; null and count 0 outside
    // 0 .. record count - 1.
    const EcgFileRecord* retDataSet(int index, int& count) override;

    // Header fields beside the texts of CQFile.
    std::int64_t recordingTime = 0; // Unix seconds of the recording's start, 0 = none
    int genderCode = 0;             // 0 other, 1 male, 2 female, 3 male-n, 4 female-s, 5 unspecified
    int speciesCode = 0;            // 0 unknown, 1 .. 20 by the species table

    // Records in the open file, or appended to the file being created.
    int getRecordCount() const { return m_recordCount; }
    // Header version of the open or created file: 0 records only, 1 or 2.
    int getVersion() const { return m_version; }
    bool isReadOnly() const { return m_readOnly; }
    bool isOpen() const { return m_rwFile != nullptr || m_writeFile != nullptr; }
    // The 200 x 456-byte table of a version-2 header as read (empty otherwise).
    const std::vector<unsigned char>& table() const { return m_table; }

    // Version named by the first bytes of a file: 0 when they are not the
    // sync bytes, else the big-endian number after them.
    static int versionFromStart(const unsigned char* bytes, std::size_t length);
    // Byte offset of record 0 for a version.
    static std::int64_t dataStartOf(int version);

    // Gender and species texts of the header.
    static const char* genderText(int code);           // "nospec" for unknown codes
    static int genderCodeFromText(const std::string& text); // 5 for unknown texts
    static const char* speciesName(int code);           // empty for codes outside 0..20
    static int speciesCodeFromText(const std::string& text); // 0 for unknown texts

    // "YYYYMMDDhhmmss" of a UTC instant ("" when it can't be written) and back
    // (-1 when the text names no valid instant).
    static std::string dateTimeTextOf(std::int64_t utcSeconds);
    static std::int64_t utcSecondsOf(const std::string& dateTimeText);

private:
    friend class CEcgBuffer; // marks the version of raw copies it writes

    bool openExisting(const std::string& path, bool withHeader, bool readOnly = false);
    void readHeader(const std::string& path, std::int64_t fileSize);
    bool refuseOpen(const std::string& logLine, const std::string& why);
    bool isPlausibleHeaderless(std::int64_t fileSize);
    void setRecordCount(std::int64_t records);
    void closeStreams(bool& ok);
    bool readAt(std::int64_t offset, void* buffer, std::size_t length, std::size_t* got = nullptr);
    bool writeAt(std::FILE* f, std::int64_t offset, const void* buffer, std::size_t length);
    bool ensureWindow(int index);
    bool readOutsideWindow(int index, EcgReadRecord& out);
    bool loadWindow(int start);
    bool writeBackWindow();
    bool startWriting(const std::string& path, int version, const char* operation);
    void startAppending();
    bool flushPending();
    bool growForBurst(std::size_t n);
    void dropPartialRecord();
    std::size_t pendingBytes() const
    {
        return m_pendingEnd ? static_cast<std::size_t>(m_pendingEnd - m_pending.data()) : 0;
    }
    void openRoom();
    bool append(const void* bytes, std::size_t n);
    bool appendRecords(const EcgFileRecord* records, int count);
    void countAppended(int count)
    {
        if (m_recordCount <= INT_MAX - count)
            m_recordCount += count;
    }
    void buildPatientBlock(unsigned char* block) const;
    void buildRecordingBlock(unsigned char* block) const;

    std::FILE* m_rwFile = nullptr;    // file opened for viewing and type changes
    std::FILE* m_writeFile = nullptr; // file being created and appended to
    std::vector<unsigned char> m_pending;  // append buffer
    std::size_t m_appendLimit = 0;         // bytes it may hold before they are written
    std::chrono::steady_clock::time_point m_handedOverAt; // last write of the buffer
    unsigned char* m_pendingEnd = nullptr; // end of the appended bytes not yet written
    unsigned char* m_roomEnd = nullptr;    // end of the inline path's room, m_pendingEnd when shut
    bool m_writeFailed = false;
    bool m_pendingWaiting = false; // appended records wait since m_pendingSince
    std::chrono::steady_clock::time_point m_pendingSince;
    bool m_readOnly = false;          // opened file could only be opened for reading
    std::string m_path;
    std::string m_refusal;
    int m_version = 0;
    std::int64_t m_dataStart = 0;
    int m_recordCount = 0;
    int m_validCount = -1;

    std::vector<EcgFileRecord> m_window;
    int m_windowBase = 0;
    int m_windowCount = 0;
    bool m_windowDirty = false;

    std::vector<unsigned char> m_table;
    unsigned char m_patientBlock[kPatientBlockSize] = {};
    unsigned char m_recordingBlock[kRecordingBlockSize] = {};
};

#endif
