#ifndef MALVORANT_DCMERRORS_H
#define MALVORANT_DCMERRORS_H

#include <string>

// Result codes of the DICOM layer: 0 is success, every other number names the
// step that failed. The failing object keeps an error text beside the number.
enum DcmErrorCode : int
{
    DCM_OK = 0,
    DCM_ERR_STORE_REFUSED = 9900,        // the peer answered a C-STORE with a failure status
    DCM_ERR_SOP_CLASS = 9901,            // SOP class missing or not accepted by the import
    DCM_ERR_NO_MPLX_GROUP = 9902,
    DCM_ERR_NO_CHANNELS = 9903,
    DCM_ERR_SAMPLING_FREQUENCY = 9904,   // other than 500 Hz
    DCM_ERR_NOT_ORIGINAL = 9905,         // waveform originality set and not "ORIGINAL"
    DCM_ERR_CHANNEL_MISSING = 9906,
    DCM_ERR_NO_SAMPLE_BUFFER = 9907,
    DCM_ERR_NO_SAMPLE_DATA = 9908,
    DCM_ERR_CHANNEL_LENGTHS = 9909,      // the first two channels differ in length
    DCM_ERR_SAMPLE_BITS = 9910,          // samples not 16 bits wide
    DCM_ERR_NO_INTERPRETATION = 9911,
    DCM_ERR_INTERPRETATION = 9912,       // other than signed 16-bit
    DCM_ERR_NO_OBJECT = 9913,            // no waveform object or plug-in given
    DCM_ERR_WRITE_DATASET = 9914,
    DCM_ERR_SAVE_FILE = 9915,            // also a missing or read-only fetch folder
    DCM_ERR_OPEN_FILE = 9916,
    DCM_ERR_CREATE_MPLX_GROUP = 9917,
    DCM_ERR_STORE_SAMPLES = 9918,
    DCM_ERR_CREATE_CHANNEL = 9919,
    DCM_ERR_INIT_NETWORK = 9920,
    DCM_ERR_CFIND = 9921,
    DCM_ERR_DROP_NETWORK_QUERY = 9922,
    DCM_ERR_NO_DICTIONARY = 9923,
    DCM_ERR_UID_TOO_LONG = 9924,
    DCM_ERR_NETWORK_9925 = 9925,         // no producer
    DCM_ERR_ASSOC_PARAMETERS = 9926,
    DCM_ERR_ADD_PRESENTATION_CONTEXT = 9927,
    DCM_ERR_ASSOC_REJECTED = 9928,
    DCM_ERR_ASSOC_REQUEST = 9929,        // also the storage client's association parameters
    DCM_ERR_DROP_NETWORK = 9930,
    DCM_ERR_DESTROY_ASSOC = 9931,
    DCM_ERR_NO_ACCEPTED_CONTEXT = 9932,
    DCM_ERR_ABORT_ASSOC = 9933,
    DCM_ERR_RELEASE_ASSOC = 9934,
    DCM_ERR_STORE_FAILED = 9935,         // the C-STORE exchange broke off (abort, time-out, release)
    DCM_ERR_NO_FILE = 9936,              // no producer
    DCM_ERR_NETWORK_9937 = 9937,         // 9937 to 9941: no producer
    DCM_ERR_NETWORK_9938 = 9938,
    DCM_ERR_NETWORK_9939 = 9939,
    DCM_ERR_NETWORK_9940 = 9940,
    DCM_ERR_NETWORK_9941 = 9941,
    DCM_ERR_TRANSPORT_LAYER = 9942,
    DCM_ERR_USER_IDENTITY = 9943,
    // 9944: the query table's rewrite failed (dcmquerytable.h)
    DCM_ERR_VALUES_NOT_FINITE = 9945,    // a channel's scale gives values that are not finite numbers
    DCM_ERR_NO_LIMB_LEADS = 9946         // no channel is, or with another gives, lead I, II or III
};

// The grouping of result codes that leaves the worker thread.
enum DcmResultClass : int
{
    DCM_CLASS_SUCCESS = 0,
    DCM_CLASS_CONTENT = 3,         // the data is of a kind the program does not handle
    DCM_CLASS_STRUCTURE = 4,       // the data lacks a required part
    DCM_CLASS_SAVE = 5,
    DCM_CLASS_DERIVED = 10,
    DCM_CLASS_NETWORK = 11,
    DCM_CLASS_OTHER = 255          // every other failure, also an unknown command
};

// The two flags that begin every DICOM answer.
struct DcmAnswerFlags
{
    bool hasNetworkError = false;
    bool hasErrorResponse = false;
};

// Total mapping: any int, including negative and unknown numbers.
DcmResultClass dcmResultClass(int code);
DcmAnswerFlags dcmAnswerFlags(int resultClass);

// Decimal text of an unsigned number for log lines (C locale).
std::string uintToStdString(unsigned int value);

#endif
