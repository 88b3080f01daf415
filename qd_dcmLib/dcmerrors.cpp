#include "dcmerrors.h"

#include <sstream>

DcmResultClass dcmResultClass(int code)
{
    if (code == DCM_OK)
        return DCM_CLASS_SUCCESS;
    if (code == DCM_ERR_STORE_REFUSED || code == DCM_ERR_VALUES_NOT_FINITE || code == DCM_ERR_NO_LIMB_LEADS)
        return DCM_CLASS_CONTENT;
    if (code < 9901 || code > 9943)
        return DCM_CLASS_OTHER;

    // Classes of 9901..9943, one entry per code.
    static const unsigned char kClasses[43] = {
        3, 4, 4, 3, 10, 4, 4, 4, 4, 3,                     // 9901..9910
        4, 3, 255, 255, 5, 255, 255, 255, 255, 11,         // 9911..9920
        11, 11, 11, 3, 11, 11, 11, 11, 11, 11,             // 9921..9930
        11, 11, 11, 11, 11, 4, 11, 11, 11, 11,             // 9931..9940
        11, 11, 11                                         // 9941..9943
    };
    return static_cast<DcmResultClass>(kClasses[code - 9901]);
}

DcmAnswerFlags dcmAnswerFlags(int resultClass)
{
    DcmAnswerFlags flags;
    switch (resultClass) {
    case DCM_CLASS_CONTENT:
    case DCM_CLASS_STRUCTURE:
    case DCM_CLASS_SAVE:
    case DCM_CLASS_DERIVED:
    case DCM_CLASS_OTHER:
        flags.hasErrorResponse = true;
        break;
    case DCM_CLASS_NETWORK:
        flags.hasNetworkError = true;
        break;
    default:
        break;
    }
    return flags;
}

std::string uintToStdString(unsigned int value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}
