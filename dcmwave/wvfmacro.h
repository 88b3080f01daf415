// Code sequence macro (one coded concept) and person identification macro.
#ifndef WVFMACRO_H
#define WVFMACRO_H

#include "wvfutils.h"

class CodeSequenceMacro
{
public:
    CodeSequenceMacro();
    CodeSequenceMacro(const CodeSequenceMacro& other);
    CodeSequenceMacro& operator=(const CodeSequenceMacro& other);
    ~CodeSequenceMacro();

    OFCondition setCodeValue(const OFString& value);
    OFCondition setCodingSchemeDesignator(const OFString& value);
    OFCondition setCodingSchemeVersion(const OFString& value);
    OFCondition setCodeMeaning(const OFString& value);

    // Readers: copy the value and return whether it is set.
    bool getCodeValue(OFString& value);
    bool getCodingSchemeDesignator(OFString& value);
    bool getCodingSchemeVersion(OFString& value);
    bool getCodeMeaning(OFString& value);

    OFCondition read(DcmItem* item);
    bool check(const bool& invent);
    OFCondition write(DcmItem* item) const;
    void clear();

private:
    DcmShortString m_codeValue;
    bool m_codeValueSet;
    DcmShortString m_codingSchemeDesignator;
    bool m_codingSchemeDesignatorSet;
    DcmShortString m_codingSchemeVersion;
    bool m_codingSchemeVersionSet;
    DcmLongString m_codeMeaning;
    bool m_codeMeaningSet;
};

class PersonIdentificationMacro
{
public:
    PersonIdentificationMacro();
    ~PersonIdentificationMacro();

    OFCondition setInstitutionName(const OFString& value);
    OFCondition write(DcmItem* item) const;

private:
    PersonIdentificationMacro(const PersonIdentificationMacro&);
    PersonIdentificationMacro& operator=(const PersonIdentificationMacro&);

    OFList<CodeSequenceMacro> m_personIdentificationCodes;
    DcmShortText m_personsAddress;
    bool m_personsAddressSet;
    DcmLongString m_personsTelephoneNumbers;
    bool m_personsTelephoneNumbersSet;
    DcmLongString m_institutionName;
    bool m_institutionNameSet;
    DcmShortText m_institutionAddress;
    bool m_institutionAddressSet;
    CodeSequenceMacro m_institutionCode;
    bool m_institutionCodeSet;
};

#endif
