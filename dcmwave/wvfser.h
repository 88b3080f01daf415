// General Series Module.
#ifndef WVFSER_H
#define WVFSER_H

#include "wvfutils.h"

class WvfSeriesMod
{
public:
    WvfSeriesMod();
    ~WvfSeriesMod();

    OFCondition setModality(const OFString& value);
    OFCondition setSeriesInstanceUID(const OFString& value);
    OFCondition setSeriesNumber(const OFString& value);
    bool getModality(OFString& value);
    bool getSeriesInstanceUID(OFString& value);
    bool getSeriesNumber(OFString& value);

    bool check(const bool& invent);
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;

private:
    WvfSeriesMod(const WvfSeriesMod&);
    WvfSeriesMod& operator=(const WvfSeriesMod&);

    DcmCodeString m_modality;
    bool m_modalitySet;
    DcmUniqueIdentifier m_seriesInstanceUID;
    bool m_seriesInstanceUIDSet;
    DcmIntegerString m_seriesNumber;
    bool m_seriesNumberSet;
    DcmCodeString m_laterality;
    bool m_lateralitySet;
};

#endif
