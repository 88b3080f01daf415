// Synchronization Module: carried from a read object to a written one.
#ifndef WVFSYNC_H
#define WVFSYNC_H

#include "wvfutils.h"

class WvfSynchronizationModule
{
public:
    WvfSynchronizationModule();
    ~WvfSynchronizationModule();

    bool check(const bool& invent);
    // Whether Acquisition Time Synchronized is "Y": offsets of multiplex
    // groups to a common time belong only to such objects.
    bool isAcquisitionTimeSynchronized() const;
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;

private:
    WvfSynchronizationModule(const WvfSynchronizationModule&);
    WvfSynchronizationModule& operator=(const WvfSynchronizationModule&);

    DcmUniqueIdentifier m_frameOfReferenceUID;
    bool m_frameOfReferenceUIDSet;
    DcmCodeString m_synchronizationTrigger;
    bool m_synchronizationTriggerSet;
    DcmLongString m_triggerSourceOrType;
    bool m_triggerSourceOrTypeSet;
    DcmUnsignedShort m_synchronizationChannel;
    bool m_synchronizationChannelSet;
    DcmCodeString m_acquisitionTimeSynchronized;
    bool m_acquisitionTimeSynchronizedSet;
    DcmShortString m_timeSource;
    bool m_timeSourceSet;
    DcmCodeString m_timeDistributionProtocol;
    bool m_timeDistributionProtocolSet;
    DcmLongString m_ntpSourceAddress;
    bool m_ntpSourceAddressSet;
};

#endif
