#ifndef MALVORANT_LOCALTIME_H
#define MALVORANT_LOCALTIME_H

#include <cstdint>
#include <ctime>

// Local wall-clock seconds: t shifted by the local offset from UTC in force at
// t, daylight saving included. Every time column the program computes
// (ecgTime, pacsTs, tsLastChanged, tsStudy) and the recording time of new
// .ecg headers use this one helper.
std::int64_t localTimeStamp(std::time_t t);
// localTimeStamp of the current time.
std::int64_t localTimeStampNow();

#endif
