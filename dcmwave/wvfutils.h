// Attribute helpers, enumerations, error condition and logger shared by the
// DICOM waveform model.
#ifndef WVFUTILS_H
#define WVFUTILS_H

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dctk.h"
#include "dcmtk/oflog/oflog.h"
#include "dcmtk/ofstd/oflist.h"
#include "dcmtk/ofstd/ofstring.h"
#include "dcmtk/ofstd/ofcond.h"

// Waveform Sample Interpretation (003A,0103)
enum WVF_SAMPLE_INTERPRETATION {
    SB = 0,  // signed 8 bit
    UB = 1,  // unsigned 8 bit
    MB = 2,  // 8 bit mu-law
    AB = 3,  // 8 bit A-law
    SS = 4,  // signed 16 bit
    US = 5,  // unsigned 16 bit
    WVF_SAMPLE_INTERPRETATION_UNKNOWN = 6
};

// Temporal Range Type (0040,A130)
enum WVF_TEMPORAL_RANGE_TYPE {
    POINT = 0,
    MULTIPOINT = 1,
    SEGMENT = 2,
    MULTISEGMENT = 3,
    BEGIN = 4,
    END = 5,
    WVF_TEMPORAL_RANGE_TYPE_UNKNOWN = 6
};

// The model's own condition: module 20, code 22, error status; the text is
// copied into the condition.
const unsigned short WVF_ERROR_MODULE = 20;
const unsigned short WVF_ERROR_CODE = 22;
OFCondition EC_WvfError(const OFString& text);
bool isWvfError(const OFCondition& cond);

// Process-wide logger "dcmtk.dcmwave".
extern OFLogger wvfLogger;

#define WVF_DEBUG(msg) OFLOG_DEBUG(wvfLogger, msg)
#define WVF_ERROR(msg) OFLOG_ERROR(wvfLogger, msg)

// Width in bits of the values of an interpretation: 8, 16 or 0 when unknown.
Uint16 wvfInterpretationBits(const WVF_SAMPLE_INTERPRETATION& interp);
// Whether stored samples of an interpretation read as signed values.
bool wvfInterpretationSigned(const WVF_SAMPLE_INTERPRETATION& interp);

class WvfUtils
{
public:
    static OFCondition addElementToDataset(OFCondition& result, DcmItem& item, DcmElement* element);
    static OFCondition checkAndInventType1Attrib(DcmElement& element, const bool& invent,
                                                 const OFString& inventValue, bool& valueSet);
    static bool checkElementValue(DcmElement& element, const OFString& vm, const OFString& type,
                                  const bool& present);
    static OFCondition getAndCheckElementFromDataset(DcmItem& item, DcmElement& element, bool& present,
                                                     const OFString& vm, const OFString& type);
    static OFCondition getAndCheckStringValueFromDataset(DcmItem& item, const DcmTagKey& tag, OFString& value,
                                                         const OFString& vm, const OFString& type);
    static OFCondition getElementFromDataset(DcmItem& item, DcmElement& element);
    static OFString getStringValue(DcmElement& element);
    static double getFloat64Value(DcmElement& element);
    static Uint16 getUint16Value(DcmElement& element, const Uint32& position);
    static OFString doubleToDS(const double& value);
    static OFString doubleListToDS(const OFList<double>& values);
    static OFString getCurrentDate();
    static OFString getCurrentTime();
    static OFString getCurrentDateTime();
    static OFString sampleInterpretationToString(const WVF_SAMPLE_INTERPRETATION& interp);
    static WVF_SAMPLE_INTERPRETATION stringToSampleInterpretation(const OFString& text);
    static OFString temporalRangeTypeToString(const WVF_TEMPORAL_RANGE_TYPE& type);
    static WVF_TEMPORAL_RANGE_TYPE stringToTemporalRangeType(const OFString& text);

    // A heap copy of a member element for insertion into an item; null when
    // memory is short (addElementToDataset then reports EC_MemoryExhausted).
    static DcmElement* copyElement(const DcmElement& element);
    // Puts a decimal string value (locale-free) into a DS element.
    static OFCondition putDecimal(DcmElement& element, const double& value);
    // Copies the value of a found element into a member element.
    static void assignElement(DcmElement& member, DcmElement& found);
    // Puts a text value into a member; the flag is set when DCMTK accepts it.
    static OFCondition putStringValue(DcmElement& element, bool& valueSet, const OFString& value);
    // Takes a member from the item when present (flag set), else logs the text.
    static void readIfPresent(DcmItem& item, DcmElement& element, bool& valueSet, const char* missingText);
    // Whether an element holds a value (a non-zero length).
    static bool hasValue(const DcmElement& element);
    // Writes a flagged member element over the running result.
    static OFCondition addIfSet(OFCondition& result, DcmItem& item, const DcmElement& element, bool valueSet);
};

#endif
