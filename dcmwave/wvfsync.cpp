#include "wvfsync.h"

WvfSynchronizationModule::WvfSynchronizationModule()
    : m_frameOfReferenceUID(DCM_SynchronizationFrameOfReferenceUID), m_frameOfReferenceUIDSet(false),
      m_synchronizationTrigger(DCM_SynchronizationTrigger), m_synchronizationTriggerSet(false),
      m_triggerSourceOrType(DCM_TriggerSourceOrType), m_triggerSourceOrTypeSet(false),
      m_synchronizationChannel(DCM_SynchronizationChannel), m_synchronizationChannelSet(false),
      m_acquisitionTimeSynchronized(DCM_AcquisitionTimeSynchronized), m_acquisitionTimeSynchronizedSet(false),
      m_timeSource(DCM_TimeSource), m_timeSourceSet(false),
      m_timeDistributionProtocol(DCM_TimeDistributionProtocol), m_timeDistributionProtocolSet(false),
      m_ntpSourceAddress(DCM_NTPSourceAddress), m_ntpSourceAddressSet(false)
{
}

WvfSynchronizationModule::~WvfSynchronizationModule() {}

bool WvfSynchronizationModule::check(const bool& /*invent*/)
{
    return true;
}

bool WvfSynchronizationModule::isAcquisitionTimeSynchronized() const
{
    if (!m_acquisitionTimeSynchronizedSet)
        return false;
    OFString value;
    const_cast<DcmCodeString&>(m_acquisitionTimeSynchronized).getOFString(value, 0, OFTrue);
    return value == "Y";
}

OFCondition WvfSynchronizationModule::read(DcmItem* item)
{
    WVF_DEBUG("WvfSynchMod: Reading Synchronization Module data");
    if (!item)
        return EC_IllegalParameter;
    if (!item->tagExists(DCM_SynchronizationFrameOfReferenceUID, OFFalse))
        return EC_Normal;
    WvfUtils::getAndCheckElementFromDataset(*item, m_frameOfReferenceUID, m_frameOfReferenceUIDSet, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_synchronizationTrigger, m_synchronizationTriggerSet, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_triggerSourceOrType, m_triggerSourceOrTypeSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_synchronizationChannel, m_synchronizationChannelSet, "2", "1C");
    WvfUtils::getAndCheckElementFromDataset(*item, m_acquisitionTimeSynchronized, m_acquisitionTimeSynchronizedSet, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_timeSource, m_timeSourceSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_timeDistributionProtocol, m_timeDistributionProtocolSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_ntpSourceAddress, m_ntpSourceAddressSet, "1", "3");
    return EC_Normal;
}

OFCondition WvfSynchronizationModule::write(DcmItem* item) const
{
    WVF_DEBUG("WvfSynchMod: Writing Synchronization Module information");
    if (!item)
        return EC_IllegalParameter;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_frameOfReferenceUID, m_frameOfReferenceUIDSet);
    WvfUtils::addIfSet(result, *item, m_synchronizationTrigger, m_synchronizationTriggerSet);
    WvfUtils::addIfSet(result, *item, m_synchronizationChannel, m_synchronizationChannelSet);
    WvfUtils::addIfSet(result, *item, m_acquisitionTimeSynchronized, m_acquisitionTimeSynchronizedSet);
    return result;
}
