#ifndef MALVORANT_REPORTSOURCE_H
#define MALVORANT_REPORTSOURCE_H

#include <memory>
#include <string>

class CEcgBuffer;
class CFileEcg;

// Where a report reads its recording from: the entries (unfiltered leads
// I, II, III, -aVR, aVL, aVF and the record type) and the file header.
class CReportSource
{
public:
    virtual ~CReportSource();
    virtual int count() const = 0;
    // False outside 0 .. count - 1. For event entries the leads are not set.
    virtual bool entry(int index, float leads[6], int& type) = 0;
    virtual const CFileEcg& header() const = 0;
};

// The recording open in the recordings manager's buffer; null when none is.
std::unique_ptr<CReportSource> reportSourceOfBuffer(CEcgBuffer& buffer);
// A recording file read on its own (no one-hour buffer needed); null with a
// reason when it can't be opened or holds no records.
std::unique_ptr<CReportSource> reportSourceOfFile(const std::string& path, std::string* reason);

// The leading run of lead-in entries measured as the viewer does: 0 for a
// run that ends before entry 10, else the first other entry + 2; 2501 when
// entries 5 .. 2499 are all lead-in.
int measureLeadIn(CReportSource& source);

#endif
