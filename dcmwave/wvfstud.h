// General Study Module.
#ifndef WVFSTUD_H
#define WVFSTUD_H

#include "wvfutils.h"

class WvfStudyMod
{
public:
    WvfStudyMod();
    ~WvfStudyMod();

    OFCondition setStudyInstanceUID(const OFString& value);
    OFCondition setStudyDate(const OFString& value);
    OFCondition setStudyTime(const OFString& value);
    OFCondition setReferringPhysicianName(const OFString& value);
    bool getStudyInstanceUID(OFString& value);

    bool check(const bool& invent);
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;

private:
    WvfStudyMod(const WvfStudyMod&);
    WvfStudyMod& operator=(const WvfStudyMod&);

    DcmUniqueIdentifier m_studyInstanceUID;
    bool m_studyInstanceUIDSet;
    DcmDate m_studyDate;
    bool m_studyDateSet;
    DcmTime m_studyTime;
    bool m_studyTimeSet;
    DcmPersonName m_referringPhysicianName;
    bool m_referringPhysicianNameSet;
    DcmShortString m_studyID;
    bool m_studyIDSet;
    DcmShortString m_accessionNumber;
    bool m_accessionNumberSet;
};

#endif
