#ifndef MALVORANT_ECGBUFFER_H
#define MALVORANT_ECGBUFFER_H

#include "ecgrecords.h"
#include "filters.h"

#include <cstdint>
#include <memory>
#include <string>

class CFileEcg;

// One record of a loaded recording: the six leads as stored and two filtered
// versions of them (I, II, III, -aVR, aVL, aVF each).
struct EcgBufferEntry {
    float leads[6];
    float mainsFiltered[6];   // first set: the mains notch of the filter mode
    float lowPassFiltered[6]; // second set: the notch and, when set, the 35 Hz low-pass
    std::uint64_t carried;    // the read record's fifth field
    std::int32_t extra;
    std::uint8_t typeChanged;
    std::int32_t type;        // EcgRecordType
};
static_assert(sizeof(EcgBufferEntry) == 96, "EcgBufferEntry is 96 bytes");

// The in-memory view of one .ecg recording: a window of up to one hour of
// records with both filtered sets computed once per load or filter change,
// so paging and switching filters never touch the disk. It also appends the
// samples of a recording being made and writes back changed record types.
class CEcgBuffer
{
public:
    static constexpr int kWindowEntries = 1800000; // one hour at 500 per second
    static constexpr int kMarginEntries = 15000;   // settles the filters before the window
    static constexpr int kFileTypeEcg = 1;

    // copyEcgFile results below 0.
    enum CopyError {
        CopyInputNotOpened = -1,
        CopyOutputNotCreated = -2,
        CopyWriteFailed = -3,
        CopyCloseFailed = -4,
        CopyOntoItself = -5,
        CopyHeaderRefused = -6,
        CopyReadFailed = -7,
        CopyTooLarge = -8,
    };

    CEcgBuffer();
    ~CEcgBuffer();

    CEcgBuffer(const CEcgBuffer&) = delete;
    CEcgBuffer& operator=(const CEcgBuffer&) = delete;

    // mode: 0 no mains filter, 1 the 50 Hz notch, 2 the 60 Hz notch.
    void setFilterOptions(int mode, bool lowPass);
    bool openFile(const std::string& directory, const std::string& fileName, int fileType);
    void readFileEntries();

    // Fails outside 0 .. record count - 1. For a -101 entry only the type is
    // given and value holds the entry's address (see entryOfValue); leads
    // are left as they were.
    bool getEntry(int index, bool wantMains, bool wantLowPass, bool wantThird, float leads[6],
                  int& type, std::uint64_t& value);
    bool getEntry(int index, bool wantMains, bool wantLowPass, float leads[6], int& type,
                  std::uint64_t& value);
    static const EcgBufferEntry* entryOfValue(std::uint64_t value)
    {
        return reinterpret_cast<const EcgBufferEntry*>(static_cast<std::uintptr_t>(value));
    }

    // Fails outside 0 .. record count - 1 or without an open .ecg file.
    bool setEntryType(int index, int type);
    bool writeBackTypes();

    bool addSample(const EcgStreamSample& sample);
    // Each tick of a recording: see CFileEcg::writeThrough. False once a
    // write failed (the recording must stop).
    bool writeThrough();
    bool finishFile();
    // False when changed record types could not all be written back.
    bool closeFile();
    int getTotalValidSamples() const;

    // Copies a recording; with patchHeader the header fields set on file are
    // written into the copy. file stays the caller's; without one a temporary
    // object is used. Returns the input's size in bytes, or a CopyError.
    int copyEcgFile(std::string inPath, std::string outPath, bool patchHeader, CFileEcg* file);

    // The shared file object: created on first need, or handed in (the buffer
    // then owns it).
    CFileEcg* getFileEcg() const { return m_file; }
    void setFileEcg(CFileEcg* file);

    bool isFileInUse() const { return m_fileInUse; }
    const std::string& getFileName() const { return m_fileName; }
    int getRecordCount() const { return m_recordCount; }
    int getWindowBase() const { return m_windowBase; }
    int getFileType() const { return m_fileType; }
    int getFilterMode() const { return m_filterMode; }
    bool getLowPass() const { return m_lowPass; }
    // Slot of the entry array (margin first) and the entry at a slot; a slot
    // outside the array gives an all-zero entry.
    const EcgBufferEntry& entryAtSlot(int slot) const;

private:
    void refilter();
    void forgetRecords();
    bool bringIntoWindow(int index);
    EcgBufferEntry& entryOf(int index) { return m_entries[static_cast<std::size_t>(index - m_windowBase + kMarginEntries)]; }

    int m_filterMode = 0;
    bool m_lowPass = false;
    bool m_thirdOption = false;
    bool m_typesChanged = false;
    int m_fileType = 0;
    std::unique_ptr<EcgBufferEntry[]> m_entries; // margin, then the window; allocated once
    EcgFilterChain m_chainI;
    EcgFilterChain m_chainII;
    int m_windowBase = 0;
    CFileEcg* m_file = nullptr;
    bool m_fileInUse = false;
    std::string m_fileName;
    int m_recordCount = 0;
    int m_loadedEnd = 0; // one past the last record read into the window
};

#endif
