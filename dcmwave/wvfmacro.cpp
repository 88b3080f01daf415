#include "wvfmacro.h"

CodeSequenceMacro::CodeSequenceMacro()
    : m_codeValue(DCM_CodeValue), m_codeValueSet(false),
      m_codingSchemeDesignator(DCM_CodingSchemeDesignator), m_codingSchemeDesignatorSet(false),
      m_codingSchemeVersion(DCM_CodingSchemeVersion), m_codingSchemeVersionSet(false),
      m_codeMeaning(DCM_CodeMeaning), m_codeMeaningSet(false)
{
}

CodeSequenceMacro::CodeSequenceMacro(const CodeSequenceMacro& other)
    : m_codeValue(other.m_codeValue), m_codeValueSet(other.m_codeValueSet),
      m_codingSchemeDesignator(other.m_codingSchemeDesignator),
      m_codingSchemeDesignatorSet(other.m_codingSchemeDesignatorSet),
      m_codingSchemeVersion(other.m_codingSchemeVersion), m_codingSchemeVersionSet(other.m_codingSchemeVersionSet),
      m_codeMeaning(other.m_codeMeaning), m_codeMeaningSet(other.m_codeMeaningSet)
{
}

CodeSequenceMacro& CodeSequenceMacro::operator=(const CodeSequenceMacro& other)
{
    if (this != &other) {
        m_codeValue = other.m_codeValue;
        m_codeValueSet = other.m_codeValueSet;
        m_codingSchemeDesignator = other.m_codingSchemeDesignator;
        m_codingSchemeDesignatorSet = other.m_codingSchemeDesignatorSet;
        m_codingSchemeVersion = other.m_codingSchemeVersion;
        m_codingSchemeVersionSet = other.m_codingSchemeVersionSet;
        m_codeMeaning = other.m_codeMeaning;
        m_codeMeaningSet = other.m_codeMeaningSet;
    }
    return *this;
}

CodeSequenceMacro::~CodeSequenceMacro() {}

OFCondition CodeSequenceMacro::setCodeValue(const OFString& value)
{
    return WvfUtils::putStringValue(m_codeValue, m_codeValueSet, value);
}

OFCondition CodeSequenceMacro::setCodingSchemeDesignator(const OFString& value)
{
    return WvfUtils::putStringValue(m_codingSchemeDesignator, m_codingSchemeDesignatorSet, value);
}

OFCondition CodeSequenceMacro::setCodingSchemeVersion(const OFString& value)
{
    return WvfUtils::putStringValue(m_codingSchemeVersion, m_codingSchemeVersionSet, value);
}

OFCondition CodeSequenceMacro::setCodeMeaning(const OFString& value)
{
    return WvfUtils::putStringValue(m_codeMeaning, m_codeMeaningSet, value);
}

bool CodeSequenceMacro::getCodeValue(OFString& value)
{
    value = WvfUtils::getStringValue(m_codeValue);
    return m_codeValueSet;
}

bool CodeSequenceMacro::getCodingSchemeDesignator(OFString& value)
{
    value = WvfUtils::getStringValue(m_codingSchemeDesignator);
    return m_codingSchemeDesignatorSet;
}

bool CodeSequenceMacro::getCodingSchemeVersion(OFString& value)
{
    value = WvfUtils::getStringValue(m_codingSchemeVersion);
    return m_codingSchemeVersionSet;
}

bool CodeSequenceMacro::getCodeMeaning(OFString& value)
{
    value = WvfUtils::getStringValue(m_codeMeaning);
    return m_codeMeaningSet;
}

OFCondition CodeSequenceMacro::read(DcmItem* item)
{
    if (!item)
        return EC_WvfError("Nullpointer Exception");
    WvfUtils::getAndCheckElementFromDataset(*item, m_codeValue, m_codeValueSet, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_codingSchemeDesignator, m_codingSchemeDesignatorSet, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_codingSchemeVersion, m_codingSchemeVersionSet, "1", "1C");
    WvfUtils::getAndCheckElementFromDataset(*item, m_codeMeaning, m_codeMeaningSet, "1", "1");
    return EC_Normal;
}

bool CodeSequenceMacro::check(const bool& invent)
{
    if (WvfUtils::checkAndInventType1Attrib(m_codeValue, invent, "", m_codeValueSet).bad())
        return false;
    if (WvfUtils::checkAndInventType1Attrib(m_codingSchemeDesignator, invent, "", m_codingSchemeDesignatorSet).bad())
        return false;
    if (!WvfUtils::checkElementValue(m_codingSchemeVersion, "1", "1C", m_codingSchemeVersionSet))
        return false;
    if (WvfUtils::checkAndInventType1Attrib(m_codeMeaning, invent, "", m_codeMeaningSet).bad())
        return false;
    return true;
}

OFCondition CodeSequenceMacro::write(DcmItem* item) const
{
    if (!item)
        return EC_IllegalCall;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_codeValue, m_codeValueSet);
    WvfUtils::addIfSet(result, *item, m_codingSchemeDesignator, m_codingSchemeDesignatorSet);
    WvfUtils::addIfSet(result, *item, m_codingSchemeVersion, m_codingSchemeVersionSet);
    WvfUtils::addIfSet(result, *item, m_codeMeaning, m_codeMeaningSet);
    return result;
}

void CodeSequenceMacro::clear()
{
    m_codeValue.clear();
    m_codingSchemeDesignator.clear();
    m_codingSchemeVersion.clear();
    m_codeMeaning.clear();
    m_codeValueSet = m_codingSchemeDesignatorSet = m_codingSchemeVersionSet = m_codeMeaningSet = false;
}

// --- person identification ---

PersonIdentificationMacro::PersonIdentificationMacro()
    : m_personsAddress(DCM_PersonAddress), m_personsAddressSet(false),
      m_personsTelephoneNumbers(DCM_PersonTelephoneNumbers), m_personsTelephoneNumbersSet(false),
      m_institutionName(DCM_InstitutionName), m_institutionNameSet(false),
      m_institutionAddress(DCM_InstitutionAddress), m_institutionAddressSet(false),
      m_institutionCodeSet(false)
{
}

PersonIdentificationMacro::~PersonIdentificationMacro() {}

OFCondition PersonIdentificationMacro::setInstitutionName(const OFString& value)
{
    return WvfUtils::putStringValue(m_institutionName, m_institutionNameSet, value);
}

OFCondition PersonIdentificationMacro::write(DcmItem* item) const
{
    if (!item)
        return EC_IllegalCall;
    OFCondition result = EC_Normal;
    const size_t n = m_personIdentificationCodes.size();
    if (n > 0) {
        DcmItem* entry = NULL;
        result = item->findOrCreateSequenceItem(DCM_PersonIdentificationCodeSequence, entry, OFstatic_cast(long, n - 1));
        if (result.bad()) {
            WVF_DEBUG("PersonIdentificationMacro: Unable to create 'Person Identification Sequence' or corresponding items");
        } else {
            unsigned long i = 0;
            for (OFListConstIterator(CodeSequenceMacro) it = m_personIdentificationCodes.begin();
                 it != m_personIdentificationCodes.end(); ++it, ++i) {
                result = item->findAndGetSequenceItem(DCM_PersonIdentificationCodeSequence, entry, OFstatic_cast(int, i));
                if (result.bad()) {
                    WVF_DEBUG("PersonIdentificationMacro: Unable write item to 'Person Identification Sequence'");
                    break;
                }
                result = it->write(entry);
                if (result.bad()) {
                    WVF_DEBUG("PersonIdentificationMacro: Unable to write item to 'Person Identification Sequence'");
                    break;
                }
            }
        }
    }
    WvfUtils::addIfSet(result, *item, m_personsAddress, m_personsAddressSet);
    WvfUtils::addIfSet(result, *item, m_personsTelephoneNumbers, m_personsTelephoneNumbersSet);
    WvfUtils::addIfSet(result, *item, m_institutionName, m_institutionNameSet);
    WvfUtils::addIfSet(result, *item, m_institutionAddress, m_institutionAddressSet);
    if (m_institutionCodeSet && result.good()) {
        DcmItem* entry = NULL;
        result = item->findOrCreateSequenceItem(DCM_InstitutionCodeSequence, entry, 0);
        if (result.good())
            result = m_institutionCode.write(entry);
        if (result.bad())
            WVF_DEBUG("PersonIdentificationMacro: Unable to write 'Institution Code Sequence'");
    }
    return result;
}
