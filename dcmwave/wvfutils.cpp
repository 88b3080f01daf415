#include "wvfutils.h"

#include <new>

OFLogger wvfLogger = OFLog::getLogger("dcmtk.dcmwave");

OFCondition EC_WvfError(const OFString& text)
{
    return OFCondition(WVF_ERROR_MODULE, WVF_ERROR_CODE, OF_error, text.c_str());
}

bool isWvfError(const OFCondition& cond)
{
    return cond.module() == WVF_ERROR_MODULE && cond.code() == WVF_ERROR_CODE && cond.bad();
}

Uint16 wvfInterpretationBits(const WVF_SAMPLE_INTERPRETATION& interp)
{
    switch (interp) {
    case SB: case UB: case MB: case AB: return 8;
    case SS: case US: return 16;
    default: return 0;
    }
}

bool wvfInterpretationSigned(const WVF_SAMPLE_INTERPRETATION& interp)
{
    return interp == SB || interp == SS;
}

static OFString tagName(const DcmElement& element)
{
    DcmTag tag(element.getTag());
    return OFString(tag.getTagName());
}

DcmElement* WvfUtils::copyElement(const DcmElement& element)
{
    try {
        return OFstatic_cast(DcmElement*, element.clone());
    } catch (const std::bad_alloc&) {
        return NULL;
    }
}

OFCondition WvfUtils::addElementToDataset(OFCondition& result, DcmItem& item, DcmElement* element)
{
    if (result.good()) {
        if (element) {
            result = item.insert(element, OFTrue /*replaceOld*/, OFFalse /*checkInsertOrder*/);
            if (result.good())
                element = NULL; // owned by the item now
        } else {
            result = EC_MemoryExhausted;
        }
    }
    if (result.bad()) {
        WVF_DEBUG("WvfUtils: Unable to insert attribute "
                  << (element ? tagName(*element) : OFString("(no copy of the element)"))
                  << " into DICOM item");
        delete element;
    }
    return result;
}

bool WvfUtils::hasValue(const DcmElement& element)
{
    return const_cast<DcmElement&>(element).getLength() > 0;
}

OFCondition WvfUtils::addIfSet(OFCondition& result, DcmItem& item, const DcmElement& element, bool valueSet)
{
    if (!valueSet)
        return result;
    return addElementToDataset(result, item, copyElement(element));
}

OFCondition WvfUtils::checkAndInventType1Attrib(DcmElement& element, const bool& invent,
                                                const OFString& inventValue, bool& valueSet)
{
    if (valueSet && element.getLength(EXS_LittleEndianImplicit, EET_UndefinedLength) != 0)
        return EC_Normal;
    const OFString name = tagName(element);
    if (!invent) {
        WVF_DEBUG("WvfUtils: Missing type 1 attribute value for attribute " << name);
        valueSet = false;
        return EC_IllegalParameter;
    }
    if (inventValue.empty()) {
        WVF_DEBUG("WvfUtils: Unable to invent 1 attribute value for attribute " << name);
        valueSet = false;
        return EC_IllegalParameter;
    }
    OFCondition cond = element.putOFStringArray(inventValue);
    if (cond.bad()) {
        WVF_DEBUG("WvfUtils: Error inventing missing type 1 attribute value for attribute " << name << ": "
                  << cond.text());
        valueSet = false;
        return EC_IllegalParameter;
    }
    WVF_DEBUG("WvfUtils: Inserted missing type 1 attribute value for attribute " << name << ": " << inventValue);
    valueSet = true;
    return EC_Normal;
}

bool WvfUtils::checkElementValue(DcmElement& element, const OFString& vm, const OFString& type,
                                 const bool& present)
{
    const bool isSequence = element.ident() == EVR_SQ;
    unsigned long count = 0;
    bool empty = false;
    if (isSequence) {
        count = OFstatic_cast(DcmSequenceOfItems&, element).card();
        empty = count == 0;
    } else {
        count = element.getVM();
        empty = element.getLength() == 0 || count == 0;
    }
    const char* label = isSequence ? " #items" : " VM";
    const OFString name = tagName(element);
    OFString message;
    if ((type == "1" || type == "2") && !present) {
        message = name + " absent (type " + type + ")";
    } else if (!empty) {
        if (vm == "1" && count != 1)
            message = name + label + " != 1";
        else if (vm == "2" && count != 2)
            message = name + label + " != 2";
        else if (vm == "2-2n" && (count % 2) != 0)
            message = name + label + " != 2-2n";
    } else if ((type == "1" || type == "1C") && present) {
        message = name + " empty (type " + type + ")";
    }
    if (!message.empty()) {
        WVF_DEBUG(message);
        return false;
    }
    return true;
}

static bool isOtherByteOrWord(DcmEVR vr)
{
    return vr == EVR_OB || vr == EVR_OW || vr == EVR_ox || vr == EVR_UN || vr == EVR_lt;
}

void WvfUtils::assignElement(DcmElement& member, DcmElement& found)
{
    // Clearing first resets the cached string state of text elements; the
    // value then comes over through the base class, whatever class DCMTK
    // created for the found attribute. A value of another representation
    // (a damaged file) is not taken: the member stays empty.
    member.clear();
    const DcmEVR mine = member.ident();
    const DcmEVR theirs = found.ident();
    const bool compatible = found.isLeaf() &&
        (mine == theirs || (isOtherByteOrWord(mine) && isOtherByteOrWord(theirs)));
    if (!compatible) {
        WVF_DEBUG("WvfUtils: Attribute " << tagName(member) << " has value representation "
                  << DcmVR(theirs).getVRName() << ", value ignored");
        return;
    }
    found.loadAllDataIntoMemory();
    member.DcmElement::operator=(found);
    // The base assignment evens an odd in-memory length with a NUL byte,
    // which a text would then keep: take the text without it.
    if (DcmVR(mine).isaString()) {
        OFString text;
        if (member.getOFStringArray(text, OFFalse).good()) {
            const size_t end = text.find_last_not_of('\0');
            text.erase(end == OFString_npos ? 0 : end + 1);
            member.putOFStringArray(text);
        }
    }
}

OFCondition WvfUtils::getAndCheckElementFromDataset(DcmItem& item, DcmElement& element, bool& present,
                                                    const OFString& vm, const OFString& type)
{
    DcmElement* found = NULL;
    const OFCondition search = item.findAndGetElement(element.getTag(), found, OFFalse /*searchIntoSub*/);
    present = search.good() && found != NULL;
    if (present)
        assignElement(element, *found);
    return checkElementValue(element, vm, type, present) ? EC_Normal : EC_IllegalParameter;
}

OFCondition WvfUtils::getAndCheckStringValueFromDataset(DcmItem& item, const DcmTagKey& tag, OFString& value,
                                                        const OFString& vm, const OFString& type)
{
    DcmElement* found = NULL;
    OFCondition result = item.findAndGetElement(tag, found, OFFalse);
    if (result.bad()) {
        if (type == "1" || type == "2")
            WVF_DEBUG(DcmTag(tag).getTagName() << " absent (type " << type << ")");
    } else if (!found || !checkElementValue(*found, vm, type, true)) {
        result = EC_CorruptedData;
    } else {
        result = found->getOFString(value, 0, OFTrue);
    }
    if (result.bad())
        value.clear();
    return result;
}

OFCondition WvfUtils::getElementFromDataset(DcmItem& item, DcmElement& element)
{
    DcmElement* found = NULL;
    const OFCondition result = item.findAndGetElement(element.getTag(), found, OFFalse);
    if (result.good() && found)
        assignElement(element, *found);
    return result;
}

OFString WvfUtils::getStringValue(DcmElement& element)
{
    OFString value;
    if (element.getOFString(value, 0, OFTrue).bad())
        value.clear();
    return value;
}

double WvfUtils::getFloat64Value(DcmElement& element)
{
    Float64 value = 0.0;
    if (element.getFloat64(value, 0).bad())
        return 0.0;
    return value;
}

Uint16 WvfUtils::getUint16Value(DcmElement& element, const Uint32& position)
{
    Uint16 value = 0;
    if (element.getUint16(value, position).bad())
        return 0;
    return value;
}

OFString WvfUtils::doubleToDS(const double& value)
{
    char buffer[1000];
    OFStandard::ftoa(buffer, sizeof(buffer), value, 0, 0, -1);
    return OFString(buffer);
}

OFString WvfUtils::doubleListToDS(const OFList<double>& values)
{
    OFString text;
    for (OFListConstIterator(double) it = values.begin(); it != values.end(); ++it) {
        text += doubleToDS(*it);
        text += "\\";
    }
    if (!text.empty())
        text.erase(text.length() - 1);
    return text;
}

OFCondition WvfUtils::putStringValue(DcmElement& element, bool& valueSet, const OFString& value)
{
    const OFCondition cond = element.putOFStringArray(value);
    if (cond.good())
        valueSet = true;
    return cond;
}

void WvfUtils::readIfPresent(DcmItem& item, DcmElement& element, bool& valueSet, const char* missingText)
{
    if (getElementFromDataset(item, element).good())
        valueSet = true;
    else
        WVF_DEBUG(missingText);
}

OFCondition WvfUtils::putDecimal(DcmElement& element, const double& value)
{
    return element.putOFStringArray(doubleToDS(value));
}

OFString WvfUtils::getCurrentDate()
{
    OFString text;
    DcmDate::getCurrentDate(text);
    return text;
}

OFString WvfUtils::getCurrentTime()
{
    OFString text;
    DcmTime::getCurrentTime(text, OFTrue /*seconds*/, OFFalse /*fraction*/);
    return text;
}

OFString WvfUtils::getCurrentDateTime()
{
    OFString text;
    DcmDateTime::getCurrentDateTime(text, OFTrue /*seconds*/, OFFalse /*fraction*/, OFFalse /*timeZone*/);
    return text;
}

static const char* const kInterpretationTexts[] = {"SB", "UB", "MB", "AB", "SS", "US"};
static const char* const kTemporalRangeTexts[] = {"POINT", "MULTIPOINT", "SEGMENT", "MULTISEGMENT", "BEGIN", "END"};

OFString WvfUtils::sampleInterpretationToString(const WVF_SAMPLE_INTERPRETATION& interp)
{
    const int i = OFstatic_cast(int, interp);
    return (i >= 0 && i < 6) ? OFString(kInterpretationTexts[i]) : OFString();
}

WVF_SAMPLE_INTERPRETATION WvfUtils::stringToSampleInterpretation(const OFString& text)
{
    for (int i = 0; i < 6; ++i)
        if (text == kInterpretationTexts[i])
            return OFstatic_cast(WVF_SAMPLE_INTERPRETATION, i);
    return WVF_SAMPLE_INTERPRETATION_UNKNOWN;
}

OFString WvfUtils::temporalRangeTypeToString(const WVF_TEMPORAL_RANGE_TYPE& type)
{
    const int i = OFstatic_cast(int, type);
    return (i >= 0 && i < 6) ? OFString(kTemporalRangeTexts[i]) : OFString();
}

WVF_TEMPORAL_RANGE_TYPE WvfUtils::stringToTemporalRangeType(const OFString& text)
{
    for (int i = 0; i < 6; ++i)
        if (text == kTemporalRangeTexts[i])
            return OFstatic_cast(WVF_TEMPORAL_RANGE_TYPE, i);
    return WVF_TEMPORAL_RANGE_TYPE_UNKNOWN;
}
