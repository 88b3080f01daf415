#include "localtime.h"

std::int64_t localTimeStamp(std::time_t t)
{
    std::tm tmLocal{};
    if (!localtime_r(&t, &tmLocal))
        return static_cast<std::int64_t>(t);
    return static_cast<std::int64_t>(t) + tmLocal.tm_gmtoff;
}

std::int64_t localTimeStampNow()
{
    return localTimeStamp(std::time(nullptr));
}
